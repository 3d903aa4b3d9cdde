// letterloom --list with many stored templates, as a shell runs it: the
// program started as a process, its output thrown away.
//
//   bench_list [count...]   (default 10000 20000 40000 100000)
//
// For each count, writes a data file of that many templates (bench_store's
// lines, with their body files) into a temporary folder, then prints the
// median of five runs of `letterloom --list --data-folder FOLDER`.
#include "storedtemplates.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList counts = app.arguments().mid(1);
    if (counts.isEmpty())
        counts = {QStringLiteral("10000"), QStringLiteral("20000"), QStringLiteral("40000"), QStringLiteral("100000")};
    for (const QString &count : counts) {
        QTemporaryDir dir;
        if (!bench::writeStoredTemplates(dir.path(), count.toInt()))
            return 1;
        std::vector<double> times;
        for (int run = 0; run < 5; ++run) {
            QProcess program;
            program.setStandardOutputFile(QProcess::nullDevice());
            QElapsedTimer timer;
            timer.start();
            program.start(QStringLiteral(LETTERLOOM_PROGRAM),
                          {QStringLiteral("--list"), QStringLiteral("--data-folder"), dir.path()});
            if (!program.waitForFinished(300000) || program.exitCode() != 0) {
                std::fprintf(stderr, "letterloom --list failed: %s\n", program.readAllStandardError().constData());
                return 1;
            }
            times.push_back(double(timer.nsecsElapsed()) / 1e9);
        }
        std::sort(times.begin(), times.end());
        std::printf("%7d templates: --list %.3f s (median of 5; fastest %.3f s)\n", count.toInt(), times.at(2),
                    times.front());
        std::fflush(stdout);
    }
    return 0;
}
