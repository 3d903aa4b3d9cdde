// From process start to the window shown, with many stored templates.
//
//   bench_startup [runs] [templates...]   (default 5 runs; 0 10000 20000 100000 templates,
//                                          on Windows 0 10000 20000)
//
// For each number of templates (data file lines of about 300 bytes, one body
// file per template, eleven stored find/replace pairs) in a throwaway data
// and settings folder, starts bench_startup_window on the offscreen
// platform `runs` times after one warm-up run, and reports the median and
// the slowest time until it says the window is shown, the median's excess
// over the empty folder's (what the templates add), and its peak memory.
//
// LETTERLOOM_BENCH_FOLDERS=DIR keeps the folders in DIR/<templates>/ and
// uses them again when they are complete: the Windows build under Wine
// writes files slowly, and can be given the folders the Linux build wrote
// (DIR as Wine names it, Z:/...).
//
// On Windows the templates are kept beside the program, so the window
// program is copied into the templates' folder (Qt's DLLs must be on the
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

// Where the templates of a benchmark folder are.
QString templateFolder(const QString &root)
{
    return root + QStringLiteral("/data/Letterloom/Letterloom");
}

// The templates, written once for a kept folder.
bool writeTemplates(const QString &root, int count)
{
    const QString done = root + QStringLiteral("/complete");
    if (QFile::exists(done))
        return true;
    if (!QDir().mkpath(templateFolder(root)) || !bench::writeStoredTemplates(templateFolder(root), count))
        return false;
    QFile mark(done);
    return mark.open(QIODevice::WriteOnly);
}

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
    if (!writeTemplates(root, count))
        return false;
    // This build's window program, the one measured.
    const QString program = kWindowProgram + QStringLiteral(".exe");
    const QString copy = templateFolder(root) + u'/' + program;
    QFile::remove(copy);
    if (!QFile::copy(QCoreApplication::applicationDirPath() + u'/' + program, copy))
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
    return templateFolder(root) + u'/' + kWindowProgram;
}

QProcessEnvironment windowEnvironment(const QString &)
{
    return QProcessEnvironment::systemEnvironment();
}
#else
bool fillFolders(const QString &root, int count)
{
    const QString config = root + QStringLiteral("/config/Letterloom");
    if (!writeTemplates(root, count) || !QDir().mkpath(config))
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
    std::vector<int> counts;
    for (int i = 2; i < argc; ++i)
        counts.push_back(std::max(0, std::atoi(argv[i])));
    if (counts.empty()) {
#ifdef Q_OS_WIN
        counts = {0, 10000, 20000};
#else
        counts = {0, 10000, 20000, 100000};
#endif
    }
#ifdef Q_OS_WIN
    const PairsKeptAside userPairs;
#endif
    const QString kept = qEnvironmentVariable("LETTERLOOM_BENCH_FOLDERS");

    std::printf("%-10s %10s %10s %12s %10s\n", "templates", "median s", "slowest s", "added s", "peak MiB");
    double empty = -1;
    for (int count : counts) {
        QTemporaryDir temporary;
        const QString root = kept.isEmpty() ? temporary.path() : kept + u'/' + QString::number(count);
        if (!temporary.isValid() || !QDir().mkpath(root) || !fillFolders(root, count)) {
            std::fprintf(stderr, "cannot write the test folders\n");
            return 1;
        }
        startOnce(root); // warm-up: files and libraries in the page cache
        std::vector<Run> results;
        for (int i = 0; i < runs; ++i) {
            const Run run = startOnce(root);
            if (run.seconds < 0)
                return 1;
            results.push_back(run);
        }
        std::sort(results.begin(), results.end(), [](const Run &a, const Run &b) { return a.seconds < b.seconds; });
        long peak = 0;
        for (const Run &r : results)
            peak = std::max(peak, r.peakKiB);
        const double median = results[results.size() / 2].seconds;
        if (count == 0)
            empty = median;
        std::printf("%-10d %10.3f %10.3f %12s %10.1f\n", count, median, results.back().seconds,
                    empty < 0 ? "-" : QByteArray::number(median - empty, 'f', 3).constData(),
                    static_cast<double>(peak) / 1024.0);
        std::fflush(stdout);
    }
    return 0;
}
