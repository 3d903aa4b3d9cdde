// One very large stored template: the time from creating the window to its
// first paint with that template listed, and from a click on it to the
// editor filled and painted, with the process's peak memory after each.
//
//   bench_bigrecord [megabytes] [field]     (default 50 MB in the subject)
//
// field is one of: name, subject, attachments, to, location, body (body:
// the record is short and the body file holds the megabytes).
#include "app/form1.h"
#include "peakmemory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <cstdio>
#include <cstdlib>


namespace {

// Messages are counted, not shown: a modal box would wait for a user.
struct CountingDialogs final : platform::Dialogs
{
    int messages = 0;
    void message(const QString &) override { ++messages; }
    bool question(const QString &) override { return false; }
    std::optional<int> choice(const QString &, const QStringList &) override { return std::nullopt; }
    std::optional<QString> textInput(const QString &, const QString &) override { return std::nullopt; }
    QString openFileName(const QString &) override { return QString(); }
};

long peakKiB()
{
    return peakMemoryKiB();
}

void settle(QWidget &window)
{
    while (!window.windowHandle() || !window.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    window.repaint();
    QCoreApplication::processEvents();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const int megabytes = argc > 1 ? std::atoi(argv[1]) : 50;
    const QByteArray field = argc > 2 ? QByteArray(argv[2]) : QByteArray("subject");

    QTemporaryDir dir;
    {
        const QByteArray big(qsizetype(megabytes) * 1024 * 1024, 'x');
        QList<QByteArray> fields = {"Big", "Subject", "", "", "to@example.com", "", "True", "False", ""};
        const QList<QByteArray> names = {"name", "subject", "attachments", "cc", "to", "bcc", "", "", "location"};
        if (names.contains(field))
            fields[names.indexOf(field)] = big;
        QFile data(dir.filePath(QStringLiteral("MainData.txt")));
        QFile body(dir.filePath(QStringLiteral("LTM-Big.txt")));
        if (!data.open(QIODevice::WriteOnly) || !body.open(QIODevice::WriteOnly))
            return 1;
        data.write(fields.join('\t') + "\r\n");
        body.write(field == "body" ? big + "\r\n" : QByteArray("Dear client,\r\n"));
        data.close();
        body.close();
        std::setvbuf(stdout, nullptr, _IOLBF, 0);
    }
    std::printf("record of %d MB in %s, peak before the window %ld MiB\n", megabytes, field.constData(),
                peakKiB() / 1024);

    CountingDialogs dialogs;
    Form1Services services;
    services.storeDirectory = dir.path();
    services.dialogs = &dialogs;
    QElapsedTimer timer;
    timer.start();
    Form1 window(std::move(services));
    window.Form_Load();
    window.show();
    settle(window);
    std::printf("start-up to first paint: %.2f s, peak %ld MiB\n", double(timer.nsecsElapsed()) / 1e9,
                peakKiB() / 1024);

    auto *list = window.findChild<QListView *>(QStringLiteral("List1"));
    const QRect entry = list->visualRect(list->model()->index(0, 0));
    timer.restart();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(20, entry.center().y()));
    settle(window);
    std::printf("click to editor painted: %.2f s, peak %ld MiB, %d message(s)\n",
                double(timer.nsecsElapsed()) / 1e9, peakKiB() / 1024, dialogs.messages);
    return 0;
}
