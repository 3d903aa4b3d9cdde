// One launch through the desktop's real mail program, timed from the start
// of the launch to the program's compose window on the screen (an X window
// whose title holds the subject, found with xdotool). Run by hand under an X
// server; bench/real_clients.sh runs it for each mail program, cold and with
// the program already running.
//
//   bench_launch SUBJECT [--html FILE] [--attach "a;b"] [--to T] [--cc C]
//                [--bcc B] [--body TEXT] [--timeout SECONDS]
//
// Prints the launch's outcome and message, the time the launch took and the
// time until the compose window was seen; exit status 0 when both happened.
#include "compose/compose.h"
#include "platform/desktop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: bench_launch SUBJECT [--html FILE] [--attach \"a;b\"] [--to T] [--cc C] "
                             "[--bcc B] [--body TEXT] [--timeout SECONDS]\n");
        return 2;
    }
    store::EditorValues editor;
    editor.subjectText = args.takeFirst();
    int timeout = 60;
    while (args.size() >= 2) {
        const QString option = args.takeFirst(), value = args.takeFirst();
        if (option == QLatin1String("--html")) {
            editor.plain = false;
            editor.html = true;
            editor.location = value;
        } else if (option == QLatin1String("--attach")) {
            editor.attachmentPaths = value;
        } else if (option == QLatin1String("--to")) {
            editor.toText = value;
        } else if (option == QLatin1String("--cc")) {
            editor.ccText = value;
        } else if (option == QLatin1String("--bcc")) {
            editor.bccText = value;
        } else if (option == QLatin1String("--body")) {
            editor.bodyText = value;
        } else if (option == QLatin1String("--timeout")) {
            timeout = value.toInt();
        }
    }
    struct NoPairs final : substitute::PairBoxes
    {
        int count() const override { return 0; }
        QString findText(int) const override { return QString(); }
        QString replaceText(int) const override { return QString(); }
        void setFindText(int, const QString &) override {}
        void setReplaceText(int, const QString &) override {}
        void yield() override {}
    } pairs;

    // The subject as a pattern for xdotool's --name (a POSIX regular
    // expression, in which a backslash before a quote means the end of the text).
    QString pattern;
    for (const QChar c : editor.subjectText) {
        if (QStringView(u".^$*+?()[]{}|\\").contains(c))
            pattern += u'\\';
        pattern += c;
    }
    // The screen is watched from the start of the launch, beside it: the
    // window may show before the launch has finished watching the program.
    QElapsedTimer timer;
    timer.start();
    std::atomic<qint64> seenAt{-1};
    std::atomic<bool> stop{false};
    std::thread watcher([&] {
        while (!stop && timer.elapsed() < timeout * 1000) {
            QProcess search;
            search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--name"), pattern});
            search.waitForFinished(5000);
            if (!search.readAllStandardOutput().trimmed().isEmpty()) {
                seenAt = timer.nsecsElapsed();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    const compose::LaunchOutcome outcome = compose::ComposeEmail(editor, pairs, compose::desktopMailClients());
    const double launchMs = double(timer.nsecsElapsed()) / 1e6;
    std::printf("displayed: %s\nmessage: %s\nlaunch returned after %.0f ms\n", outcome.displayed ? "yes" : "no",
                qPrintable(outcome.message), launchMs);
    std::fflush(stdout);
    if (!outcome.displayed)
        stop = true;
    watcher.join();
    if (!outcome.displayed)
        return 1;
    if (seenAt >= 0) {
        std::printf("compose window seen after %.0f ms\n", double(seenAt) / 1e6);
        return 0;
    }
    std::printf("no compose window within %d s\n", timeout);
    return 3;
}
