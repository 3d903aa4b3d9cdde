// The folder's lock between copies on several machines: two takers of one
// stale lock, a lock dated ahead of the share's clock taken over only after
// it stayed unchanged while watched, and a holder that stalls past the stale
// period stopping at its next step while the copy that took over finishes
// its change once.

#include "platform/folderlock.h"
#include "platform/identity.h"
#include "store/change.h"
#include "store/templatestore.h"
#include "support/storemodel.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

namespace {

// A lock file of a copy on another machine, written at `written`.
void writeForeignLock(const QString &dir, const QDateTime &written, int refreshed = 0)
{
    QFile file(QDir(dir).filePath(platform::FolderLock::fileName()));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QStringLiteral("Letterloom lock\nhost=pc-anna\npid=4711\nuser=anna\nsince=2026-12-01T10:00:00Z\n"
                              "token=anna-1\nrefreshed=%1\nmachine=another\nboot=b\npidns=p\n")
                   .arg(refreshed)
                   .toUtf8());
    QVERIFY(file.flush() && file.setFileTime(written, QFileDevice::FileModificationTime));
}

} // namespace

class TestFolderLock : public QObject
{
    Q_OBJECT

private slots:
    void init() { platform::FolderLock::setLocalLockUsed(false); }
    void cleanup()
    {
        platform::FolderLock::setLocalLockUsed(true);
        platform::FolderLock::setStaleSeconds(0);
        store::Change::setStepHook({});
    }
    void oneOfTwoTakersWinsAndKeepsIt();
    void aLockDatedAheadIsTakenOverOnceItStayedUnchanged();
    void aHolderThatStallsStopsAndNothingIsDoneTwice();
};

void TestFolderLock::oneOfTwoTakersWinsAndKeepsIt()
{
    for (int round = 0; round < 6; ++round) {
        QTemporaryDir dir;
        writeForeignLock(dir.path(), QDateTime::currentDateTime().addSecs(-platform::FolderLock::StaleSeconds - 60));
        std::unique_ptr<platform::FolderLock> locks[2];
        std::atomic<int> ready{0};
        std::thread takers[2];
        for (int i = 0; i < 2; ++i) {
            takers[i] = std::thread([&, i] {
                ++ready;
                while (ready < 2) {
                }
                locks[i] = platform::FolderLock::take(dir.path(), 1000, {}, nullptr, nullptr);
            });
        }
        for (std::thread &taker : takers)
            taker.join();
        // Exactly one has it, and its lock file is the one that stands.
        QCOMPARE(int(bool(locks[0])) + int(bool(locks[1])), 1);
        const platform::FolderLock &winner = locks[0] ? *locks[0] : *locks[1];
        QVERIFY(winner.stillHeld());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{platform::FolderLock::fileName()});
    }
}

void TestFolderLock::aLockDatedAheadIsTakenOverOnceItStayedUnchanged()
{
    platform::FolderLock::setStaleSeconds(2);
    QTemporaryDir dir;
    const QDateTime ahead = QDateTime::currentDateTime().addDays(1);
    writeForeignLock(dir.path(), ahead);
    QString error;
    QVERIFY(!platform::FolderLock::take(dir.path(), 300, {}, nullptr, &error));
    QVERIFY2(error.contains(QStringLiteral("Letterloom.lock of Letterloom on the computer pc-anna (user anna, process "
                                           "4711) has not changed since"))
                 && error.contains(QStringLiteral("it is taken over at")),
             qPrintable(error));
    // Written again meanwhile, it is watched afresh; then left alone, it is
    // taken over once it stayed so for the stale period.
    QTest::qWait(1200);
    writeForeignLock(dir.path(), ahead, 1);
    QVERIFY(platform::FolderLock::watch(dir.path()));
    QTest::qWait(1200);
    QVERIFY2(!platform::FolderLock::take(dir.path(), 0, {}, nullptr, &error), "taken while it was being written");
    QTest::qWait(1200);
    const auto taken = platform::FolderLock::take(dir.path(), 0, {}, nullptr, &error);
    QVERIFY2(taken && taken->tookOver(), qPrintable(error));
}

void TestFolderLock::aHolderThatStallsStopsAndNothingIsDoneTwice()
{
    // This copy stalls after the first step of a Save; meanwhile another
    // copy finds its lock unchanged for the stale period, takes it over and
    // finishes the recorded change. The stalled copy, going on, finds the
    // lock gone and stops.
    platform::FolderLock::setStaleSeconds(1);
    QTemporaryDir dir;
    store::TemplateStore templates(dir.path());
    std::unique_ptr<platform::FolderLock> other;
    store::Change::setStepHook([&](const char *step) {
        if (QByteArray(step) != "step 1")
            return;
        QString error;
        other = platform::FolderLock::take(dir.path(), 10000, {}, nullptr, &error);
        QVERIFY2(other && other->tookOver(), qPrintable(error));
        QVERIFY(store::Change::recover(dir.path(), true, &error));
    });
    storemodel::Operation op;
    op.editor.name = QStringLiteral("Offer");
    op.editor.body = QStringLiteral("Body\r\n");
    QString message;
    QCOMPARE(storemodel::perform(templates, op, &message), storemodel::Result::Pending);
    QVERIFY2(message.contains(QStringLiteral("took over")), qPrintable(message));
    store::Change::setStepHook({});
    QVERIFY(other && other->stillHeld());
    other.reset();
    QStringList problems;
    storemodel::Folder expected;
    storemodel::apply(expected, op);
    QVERIFY(storemodel::read(dir.path(), &problems) == expected);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
}

QTEST_GUILESS_MAIN(TestFolderLock)
#include "tst_folderlock.moc"
