// From process start to the window shown, with many stored templates.
//
//   bench_startup [runs]   (default 5)
//
// For 10,000 and 100,000 templates (data file lines of about 300 bytes, one
// body file per template, eleven stored find/replace pairs) in a throwaway
// data and settings folder, starts bench_startup_window on the offscreen
// platform `runs` times after one warm-up run, and reports the median and
// the slowest time until it says the window is shown, and its peak memory.
//
// On Windows the templates are kept beside the program, so the window
// program is copied into the throwaway folder (Qt's DLLs must be on the
// search path), it shows a real window, and the pairs go into the user's
// registry key, which is given back its own values afterwards.
#include "storedtemplates.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const QString kWindowProgram = QStringLiteral("bench_startup_window");

#ifdef Q_OS_WIN
// The user's find/replace pairs, put back when the benchmark ends.
class PairsKeptAside
{
public:
    PairsKeptAside() : m_settings(QSettings::UserScope, QStringLiteral("Letterloom"), QStringLiteral("Letterloom"))
    {
        m_settings.beginGroup(QStringLiteral("replace"));
        for (const QString &key : m_settings.childKeys())
            m_saved.insert(key, m_settings.value(key));
    }
    ~PairsKeptAside()
    {
        m_settings.remove(QString());
        for (auto it = m_saved.cbegin(); it != m_saved.cend(); ++it)
            m_settings.setValue(it.key(), it.value());
    }
    PairsKeptAside(const PairsKeptAside &) = delete;
    PairsKeptAside &operator=(const PairsKeptAside &) = delete;

private:
    QSettings m_settings;
    QVariantMap m_saved;
};

bool fillFolders(const QString &root, int count)
{
    if (!bench::writeStoredTemplates(root, count))
        return false;
    const QString program = kWindowProgram + QStringLiteral(".exe");
    if (!QFile::copy(QCoreApplication::applicationDirPath() + u'/' + program, root + u'/' + program))
        return false;
    QSettings settings(QSettings::UserScope, QStringLiteral("Letterloom"), QStringLiteral("Letterloom"));
    for (int i = 0; i < 11; ++i) {
        settings.setValue(QStringLiteral("replace/TextFind-%1").arg(i), QStringLiteral("[field %1]").arg(i));
        settings.setValue(QStringLiteral("replace/TextReplace-%1").arg(i), QStringLiteral("value %1").arg(i));
    }
    return true;
}

QString windowProgram(const QString &root)
{
    return root + u'/' + kWindowProgram;
}

QProcessEnvironment windowEnvironment(const QString &)
{
    return QProcessEnvironment::systemEnvironment();
}
#else
bool fillFolders(const QString &root, int count)
{
    const QString data = root + QStringLiteral("/data/Letterloom/Letterloom");
    const QString config = root + QStringLiteral("/config/Letterloom");
    if (!QDir().mkpath(data) || !QDir().mkpath(config))
        return false;
    if (!bench::writeStoredTemplates(data, count))
        return false;
    QFile settings(config + QStringLiteral("/Letterloom.conf"));
    if (!settings.open(QIODevice::WriteOnly))
        return false;
    settings.write("[replace]\n");
    for (int i = 0; i < 11; ++i)
        settings.write(QStringLiteral("TextFind-%1=[field %1]\nTextReplace-%1=value %1\n").arg(i).toLatin1());
    return true;
}

QString windowProgram(const QString &)
{
    return QCoreApplication::applicationDirPath() + u'/' + kWindowProgram;
}

QProcessEnvironment windowEnvironment(const QString &root)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), root + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), root + QStringLiteral("/cache"));
    return env;
}
#endif

struct Run
{
    double seconds = -1;
    long peakKiB = 0;
};

Run startOnce(const QString &root)
{
    QProcess process;
    process.setProcessEnvironment(windowEnvironment(root));
    process.setProcessChannelMode(QProcess::SeparateChannels);

    Run run;
    QElapsedTimer timer;
    timer.start();
    process.start(windowProgram(root), {});
    while (process.waitForReadyRead(30000)) {
        if (process.canReadLine())
            break;
    }
    const QByteArray line = process.readLine().trimmed();
    const double elapsed = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    process.waitForFinished(30000);
    if (!line.startsWith("shown ")) {
        std::fprintf(stderr, "unexpected output: %s\n%s\n", line.constData(),
                     process.readAllStandardError().constData());
        return run;
    }
    run.seconds = elapsed;
    run.peakKiB = line.mid(6).toLong();
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
#ifdef Q_OS_WIN
    const PairsKeptAside userPairs;
#endif

    std::printf("%-10s %12s %12s %14s\n", "templates", "median s", "slowest s", "peak MiB");
    for (int count : {10000, 100000}) {
        QTemporaryDir root;
        if (!root.isValid() || !fillFolders(root.path(), count)) {
            std::fprintf(stderr, "cannot write the test folders\n");
            return 1;
        }
        startOnce(root.path()); // warm-up: files and libraries in the page cache
        std::vector<Run> results;
        for (int i = 0; i < runs; ++i) {
            const Run run = startOnce(root.path());
            if (run.seconds < 0)
                return 1;
            results.push_back(run);
        }
        std::sort(results.begin(), results.end(), [](const Run &a, const Run &b) { return a.seconds < b.seconds; });
        long peak = 0;
        for (const Run &r : results)
            peak = std::max(peak, r.peakKiB);
        std::printf("%-10d %12.3f %12.3f %14.1f\n", count, results[results.size() / 2].seconds,
                    results.back().seconds, static_cast<double>(peak) / 1024.0);
        std::fflush(stdout);
    }
    return 0;
}
