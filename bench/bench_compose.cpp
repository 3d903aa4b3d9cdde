// One launch through the draft route of the Linux mail client, from the
// editor's fields to a written .eml draft: a 10 MB saved HTML body with the
// eleven pairs applied, and three 5 MB attachments.
//
//   bench_compose [runs]   (default 5)
//
// Prints each run's time, the median, and the peak memory of the process
// (resident set, VmHWM) measured over the runs, next to the memory it had
// before the first launch. Writes into a temporary folder, removed at the end.
#include "compose/compose.h"
#include "platform/desktop.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <ctime>

namespace {

// CPU time of this process, in ms: unlike the wall clock, not stretched when
// other programs share the processors.
double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// A desktop without mail programs and without a program for e-mail files, so
// that the draft route runs and the draft is not opened.
struct NoMailPrograms final : platform::Desktop
{
    platform::DesktopApplication defaultApplication(const QString &) override { return {}; }
    QString findExecutable(const QString &) override { return QString(); }
};

struct Pairs final : substitute::PairBoxes
{
    int count() const override { return 11; }
    QString findText(int i) const override { return QStringLiteral("{FIELD%1}").arg(i); }
    QString replaceText(int i) const override { return QStringLiteral("Value number %1 \u00e9").arg(i); }
    void setFindText(int, const QString &) override {}
    void setReplaceText(int, const QString &) override {}
    void yield() override { QCoreApplication::processEvents(); }
};

struct Editor final : store::TemplateEditor
{
    QString html, files;
    QString templateName() const override { return QStringLiteral("Big"); }
    QString subject() const override { return QStringLiteral("Quarterly report for {FIELD0}"); }
    QString attachments() const override { return files; }
    QString cc() const override { return QStringLiteral("cc@example.org"); }
    QString to() const override { return QStringLiteral("J\u00f6rg <to@example.org>"); }
    QString bcc() const override { return QString(); }
    bool plainTextSelected() const override { return false; }
    bool htmlSelected() const override { return true; }
    QString htmlLocation() const override { return html; }
    QString body() const override { return QString(); }
    void yield() override { QCoreApplication::processEvents(); }
};

// Resident-set figures of this process, in KiB: "VmHWM" (peak) or "VmRSS".
long statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field)) + 1).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// Lets the kernel start counting the peak afresh.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray htmlOfSize(qsizetype size)
{
    QByteArray html("<html><head><meta charset=\"windows-1252\"></head><body>\r\n");
    int n = 0;
    while (html.size() < size - 20) {
        html += "<p class=\"row\">Caf\xe9 line " + QByteArray::number(n) + " for {FIELD" +
                QByteArray::number(n % 11) + "} \x80 and some more ordinary words to fill the line.</p>\r\n";
        ++n;
    }
    html += "</body></html>\r\n";
    return html;
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator gen(42);
    gen.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;

    QTemporaryDir dir;
    Editor editor;
    editor.html = dir.filePath(QStringLiteral("big.html"));
    if (!writeFile(editor.html, htmlOfSize(10 * 1000 * 1000)))
        return 1;
    QStringList files;
    for (int i = 1; i <= 3; ++i) {
        files << dir.filePath(QStringLiteral("attachment %1.pdf").arg(i));
        if (!writeFile(files.last(), randomBytes(5 * 1000 * 1000)))
            return 1;
    }
    editor.files = files.join(u';');

    NoMailPrograms desktop;
    compose::DesktopMailSetup setup;
    setup.desktop = &desktop;
    setup.handoverDirectory = dir.filePath(QStringLiteral("handover"));
    const compose::MailClientFactory clients = compose::desktopMailClients(setup);
    const QString drafts = setup.handoverDirectory + QStringLiteral("/Drafts");

    const long before = statusKiB("VmRSS:");
    resetPeak();
    std::vector<double> times, cpuTimes;
    qint64 draftSize = 0;
    for (int run = 0; run < runs; ++run) {
        Pairs pairs;
        QElapsedTimer timer;
        timer.start();
        const double cpuStart = cpuMs();
        const compose::LaunchOutcome outcome = compose::ComposeEmail(editor, pairs, clients);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        cpuTimes.push_back(cpuMs() - cpuStart);
        if (!outcome.displayed) {
            std::fprintf(stderr, "launch failed: %s\n", qPrintable(outcome.message));
            return 1;
        }
        const QFileInfoList written = QDir(drafts).entryInfoList({QStringLiteral("*.eml")}, QDir::Files);
        draftSize = written.isEmpty() ? 0 : written.first().size();
        QDir(drafts).removeRecursively();
        std::printf("run %d: %.1f ms (%.1f ms of processor time)\n", run + 1, times.back(), cpuTimes.back());
    }
    const long peak = statusKiB("VmHWM:");
    std::sort(times.begin(), times.end());
    std::sort(cpuTimes.begin(), cpuTimes.end());
    std::printf("draft of %.1f MB; median %.1f ms, slowest %.1f ms over %d runs; processor time median %.1f ms\n",
                double(draftSize) / 1e6, times[times.size() / 2], times.back(), runs, cpuTimes[cpuTimes.size() / 2]);
    std::printf("memory: %.1f MB before the first launch, peak %.1f MB during the launches\n", double(before) / 1024,
                double(peak) / 1024);
    const bool fastEnough = times[times.size() / 2] < 300.0;
    const bool smallEnough = double(peak) / 1024 < 150.0;
    std::printf("goal: under 300 ms (median) and 150 MB peak: %s, %s\n", fastEnough ? "met" : "NOT met",
                smallEnough ? "met" : "NOT met");
    return fastEnough && smallEnough ? 0 : 3;
}
