// The folder's lock between copies on several machines: a holder gone from
// this machine taken over at once and a live one named, two takers of one
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
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

namespace {

// A lock file of a copy on another machine, written at `written`; or, with
// a process id, of a copy on this machine, in this boot.
void writeLock(const QString &dir, const QDateTime &written, int refreshed = 0, qint64 pidHere = 0)
{
    const platform::MachineIdentity here = platform::thisMachine();
    QFile file(QDir(dir).filePath(platform::FolderLock::fileName()));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QStringLiteral("Letterloom lock\nhost=%1\npid=%2\nuser=anna\nsince=2026-12-01T10:00:00Z\n"
                              "token=anna-1\nrefreshed=%3\nmachine=%4\nboot=%5\npidns=%6\n")
                   .arg(pidHere ? QSysInfo::machineHostName() : QStringLiteral("pc-anna"))
                   .arg(pidHere ? pidHere : 4711)
                   .arg(refreshed)
                   .arg(pidHere ? here.machine : QStringLiteral("another"), pidHere ? here.boot : QStringLiteral("b"),
                        pidHere ? here.processSpace : QStringLiteral("p"))
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
    void aGoneHolderIsTakenOverAtOnceALiveOneNamed();
    void oneOfTwoTakersWinsAndKeepsIt();
    void aLockDatedAheadIsTakenOverOnceItStayedUnchanged();
    void aHolderThatStallsStopsAndNothingIsDoneTwice();
};

void TestFolderLock::aGoneHolderIsTakenOverAtOnceALiveOneNamed()
{
    // A holder on this machine whose process has ended: taken over at once,
    // refreshed while held (its time of writing moves on), let go of again.
    QProcess gone;
    gone.start(QCoreApplication::applicationFilePath(), {QStringLiteral("-functions")});
    QVERIFY(gone.waitForStarted());
    const qint64 pid = gone.processId();
    QVERIFY(gone.waitForFinished());
    QTemporaryDir dir;
    const QString lock = dir.filePath(platform::FolderLock::fileName());
    writeLock(dir.path(), QDateTime::currentDateTime(), 0, pid);
    QString error;
    auto taken = platform::FolderLock::take(dir.path(), 0, {}, nullptr, &error);
    QVERIFY2(taken && taken->stillHeld(), qPrintable(error));
    QCOMPARE(platform::FolderLock::holderOf(dir.path()).pid, QCoreApplication::applicationPid());
    const QDateTime before = QFileInfo(lock).lastModified();
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(lock).lastModified() > before, (platform::FolderLock::RefreshSeconds + 3) * 1000);
    taken.reset();
    QVERIFY(!QFile::exists(lock));

    // A holder on another machine, still writing its lock: waited for, and
    // named when the wait ends.
    writeLock(dir.path(), QDateTime::currentDateTime());
    platform::LockHolder holder;
    QVERIFY(!platform::FolderLock::take(dir.path(), 300, {}, &holder, &error));
    QCOMPARE(holder.host + u' ' + QString::number(holder.pid), QStringLiteral("pc-anna 4711"));
    QVERIFY2(error.contains(u"pc-anna") && error.contains(u"4711"), qPrintable(error));
}

void TestFolderLock::oneOfTwoTakersWinsAndKeepsIt()
{
    for (int round = 0; round < 6; ++round) {
        QTemporaryDir dir;
        writeLock(dir.path(), QDateTime::currentDateTime().addSecs(-platform::FolderLock::StaleSeconds - 60));
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
    writeLock(dir.path(), ahead);
    QString error;
    QVERIFY(!platform::FolderLock::take(dir.path(), 300, {}, nullptr, &error));
    QVERIFY2(error.contains(QStringLiteral("Letterloom.lock of Letterloom on the computer pc-anna (user anna, process "
                                           "4711) has not changed since"))
                 && error.contains(QStringLiteral("it is taken over at")),
             qPrintable(error));
    // Written again meanwhile, it is watched afresh; then left alone, it is
    // taken over once it stayed so for the stale period.
    QTest::qWait(1200);
    writeLock(dir.path(), ahead, 1);
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
    op.editor.bodyText = QStringLiteral("Body\r\n");
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
