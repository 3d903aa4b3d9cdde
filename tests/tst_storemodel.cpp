// The template store against a model of the folder (support/storemodel.h):
// random sequences of save, replace, rename, delete and undo, with names
// that differ only in letter case or spaces and text of every script, applied
// to the model and to real files and compared after every step; the same
// with a write that fails below the store in every step (a full disk, a
// file-size limit); in a
// child process ended at each named step of a change in turn, before a
// seeded read or write of a file, or limited in the size of its files, then
// started again; and two copies on one machine kept apart by the lock file
// alone.
//
// Every random choice comes from the seed the test prints
// (LETTERLOOM_SEED=..., which replays it). LETTERLOOM_MODEL_SEQUENCES
// (default 40) and LETTERLOOM_MODEL_STEPS (default 40) make a longer run by
// hand; LETTERLOOM_MODEL_TRACE=1 prints every step, with what the store and
// the model said.

#include "platform/folderlock.h"
#include "platform/identity.h"
#include "platform/rawfile.h"
#include "support/storemodel.h"
#include "support/testdata.h"

#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>
#include <QTest>

#include <cerrno>
#include <optional>

using storemodel::Folder;
using storemodel::Result;

namespace {

int setting(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

const int kSequences = setting("LETTERLOOM_MODEL_SEQUENCES", 40);
const int kSteps = setting("LETTERLOOM_MODEL_STEPS", 40);
const QString kDriver = QStringLiteral(STOREDRIVER);

// Compares a folder read back with what the model says, or with any of
// several states; empty when it matches.
QString mismatch(const QString &dir, const QList<Folder> &expected)
{
    QStringList problems;
    const Folder actual = storemodel::read(dir, &problems);
    if (problems.isEmpty() && expected.contains(actual))
        return QString();
    QString text = problems.join(u'\n') + QStringLiteral("\nthe folder:\n") + actual.describe();
    for (const Folder &folder : expected)
        text += QStringLiteral("\nthe model:\n") + folder.describe();
    return text;
}

// A driver run's report, line by line: "begin <i>", "end <i> <result>",
// "mismatch <i>: ...", and what it was told to print.
struct Report
{
    QStringList lines;
    int lastBegun = -1;
    QMap<int, QString> results;
    QStringList mismatches;
    int exitCode = -1;
};

Report runDriver(const QStringList &arguments)
{
    QProcess driver;
    driver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    driver.start(kDriver, arguments);
    if (!driver.waitForFinished(120000))
        qFatal("the store driver did not finish");
    Report report;
    report.exitCode = driver.exitStatus() == QProcess::NormalExit ? driver.exitCode() : -1;
    // Windows writes its line ends as CR LF.
    for (const QString &line :
         QString::fromUtf8(driver.readAllStandardOutput()).remove(u'\r').split(u'\n', Qt::SkipEmptyParts)) {
        report.lines << line;
        const QStringList words = line.split(u' ');
        if (words.value(0) == u"begin")
            report.lastBegun = words.value(1).toInt();
        else if (words.value(0) == u"end")
            report.results[words.value(1).toInt()] = words.value(2);
        else if (words.value(0) == u"mismatch")
            report.mismatches << line;
    }
    return report;
}

// The model's states around what a driver reported: the folder before the
// operation it began last, and after it.
QList<Folder> statesAround(quint64 seed, const Report &report)
{
    Folder model = storemodel::legacy();
    storemodel::Generator generator(seed);
    for (int i = 0;; ++i) {
        const storemodel::Operation op = generator.next(model);
        Folder after = model;
        storemodel::apply(after, op);
        if (!report.results.contains(i))
            return i == report.lastBegun ? QList<Folder>{model, after} : QList<Folder>{model};
        if (report.results.value(i) != u"failed")
            model = after;
    }
}

} // namespace

class TestStoreModel : public QObject
{
    Q_OBJECT

private slots:
    void randomSequencesMatchTheModel_data();
    void randomSequencesMatchTheModel();
    void endedAnywhereItIsWholeAfterARestart_data();
    void endedAnywhereItIsWholeAfterARestart();
    void twoCopiesKeptApartByTheLockFileAloneLoseNothing();
    void aLockWhoseHolderIsGoneIsTakenOver();
};

void TestStoreModel::randomSequencesMatchTheModel_data()
{
    QTest::addColumn<QString>("legacy"); // the fixture it starts from; empty: a new folder
    QTest::addColumn<bool>("faults");
    QTest::newRow("a new folder") << QString() << false;
    QTest::newRow("a folder of earlier versions") << "legacy" << false;
    QTest::newRow("the same with LF line ends") << "legacy-lf" << false;
    QTest::newRow("a write failing in every step") << "legacy" << true;
}

void TestStoreModel::randomSequencesMatchTheModel()
{
    QFETCH(QString, legacy);
    QFETCH(bool, faults);
    const quint64 first = testdata::seed(1000);
    for (int sequence = 0; sequence < kSequences / 2; ++sequence) {
        const quint64 seed = first + quint64(sequence);
        std::mt19937_64 random(seed);
        std::optional<testdata::Fixture> fixture;
        QTemporaryDir empty;
        const QString dir = legacy.isEmpty() ? empty.path() : fixture.emplace(legacy).path();
        Folder model = legacy.isEmpty() ? Folder() : storemodel::legacy(legacy);
        store::TemplateStore templates(dir);
        storemodel::Generator generator(seed);
        for (int step = 0; step < kSteps; ++step) {
            // With faults, one write below the store fails, at a random one of
            // the operation's writes: as a full disk or as a file grown to its
            // limit.
            const int failAt = faults ? int(random() % 8) + 1 : 0;
            const int error = random() % 2 ? ENOSPC : EFBIG;
            int writes = 0;
            platform::detail::setWriteFault([&](qint64) { return ++writes == failAt ? error : 0; });
            Result result = Result::Nothing;
            QString message;
            QString wrong = storemodel::step(templates, generator, model, &result, &message);
            platform::detail::setWriteFault({});
            const QString cause = error == ENOSPC ? QStringLiteral("no space left on the device")
                                                  : QStringLiteral("the file is too large");
            if (result == Result::Failed && (writes < failAt || failAt == 0 || !message.contains(cause)))
                wrong = QStringLiteral("failed without the failing write: ") + message;
            wrong += mismatch(dir, {model});
            QVERIFY2(wrong.trimmed().isEmpty(), qPrintable(QStringLiteral("LETTERLOOM_SEED=%1, step %2 (write %3 fails): %4")
                                                               .arg(seed)
                                                               .arg(step)
                                                               .arg(failAt)
                                                               .arg(wrong)));
        }
    }
}

void TestStoreModel::endedAnywhereItIsWholeAfterARestart_data()
{
    // Each row a sequence (the printed seed, or the one after it) of its own,
    // as a row has a limited time, and a child process costs a second or
    // two under Wine.
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("sequence");
    QTest::newRow("at every named step of a change") << "--end-at-step" << 0;
    QTest::newRow("at every named step of another change") << "--end-at-step" << 1;
    QTest::newRow("before seeded reads and writes") << "--end-at-io" << 0;
    QTest::newRow("before seeded reads and writes, another sequence") << "--end-at-io" << 1;
#ifdef Q_OS_UNIX
    QTest::newRow("files limited in size") << "--file-size-limit" << 0;
    QTest::newRow("files limited in size, another sequence") << "--file-size-limit" << 1;
#endif
}

void TestStoreModel::endedAnywhereItIsWholeAfterARestart()
{
    // The driver runs a sequence in a copy of the earlier versions' folder
    // and ends as told; started again, the store finishes or takes back what
    // the change left, and the folder is the model's before or after the
    // operation it was in.
    QFETCH(QString, how);
    QFETCH(int, sequence);
    const quint64 seed = testdata::seed(71) + quint64(sequence);
    std::mt19937_64 random(seed);
    const int steps = std::max(12, kSteps / 3);
    const QStringList run{QStringLiteral("sequence"), QString::number(seed), QString::number(steps),
                          QStringLiteral("--legacy")};
    testdata::Fixture whole(QStringLiteral("legacy"));
    const Report counted = runDriver(QStringList{whole.path()} + run + QStringList{QStringLiteral("--count")});
    QVERIFY2(counted.mismatches.isEmpty(), qPrintable(counted.mismatches.join(u'\n')));
    const QStringList totals = counted.lines.last().split(u' '); // "steps <s> io <n>"
    QCOMPARE(totals.value(0), QStringLiteral("steps"));
    // Every named step; ten seeded reads or writes; sizes that the files
    // reach in the sequence, so that writes fail for real from then on.
    QList<qint64> ends;
    for (qint64 k = 1; how == u"--end-at-step" && k <= totals.value(1).toLongLong(); ++k)
        ends << k;
    for (int k = 0; how == u"--end-at-io" && k < 10; ++k)
        ends << qint64(random() % totals.value(3).toULongLong()) + 1;
    if (how == u"--file-size-limit")
        ends = {150, 180, 220};
    for (const qint64 end : std::as_const(ends)) {
        testdata::Fixture fixture(QStringLiteral("legacy"));
        const Report report =
            runDriver(QStringList{fixture.path()} + run + QStringList{how, QString::number(end)});
        QVERIFY2(report.mismatches.isEmpty(), qPrintable(report.mismatches.join(u'\n')));
        if (how == u"--file-size-limit")
            QVERIFY2(report.results.values().contains(u"failed"), qPrintable(QString::number(end)));
        else
            QCOMPARE(report.exitCode, 86);
        // Started again, as the program starts.
        store::TemplateStore restarted(fixture.path());
        restarted.FinishUnfinishedChange();
        restarted.ReadDataFile();
        restarted.IndexFolder();
        const QString wrong = mismatch(fixture.path(), statesAround(seed, report));
        QVERIFY2(wrong.isEmpty(), qPrintable(QStringLiteral("LETTERLOOM_SEED=%1, %2 %3, in operation %4:\n%5")
                                                 .arg(seed)
                                                 .arg(how)
                                                 .arg(end)
                                                 .arg(report.lastBegun)
                                                 .arg(wrong)));
    }
}

void TestStoreModel::twoCopiesKeptApartByTheLockFileAloneLoseNothing()
{
    // Two copies on one machine, without the machine's own lock, as two
    // machines on one network share are: one saves, the other renames and
    // deletes. Every template reported saved must be there.
    QTemporaryDir dir;
    const int toChange = 30;
    QCOMPARE(runDriver({dir.path(), QStringLiteral("save"), QStringLiteral("B"), QString::number(toChange)})
                 .lines.filter(QStringLiteral("saved"))
                 .size(),
             toChange);
    QProcess saver, changer;
    for (QProcess *copy : {&saver, &changer})
        copy->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    saver.start(kDriver, {dir.path(), QStringLiteral("save"), QStringLiteral("A"), QStringLiteral("150"),
                          QStringLiteral("--no-local-lock")});
    changer.start(kDriver, {dir.path(), QStringLiteral("rename-delete"), QStringLiteral("B"),
                            QString::number(toChange), QStringLiteral("--no-local-lock")});
    QVERIFY(saver.waitForFinished(120000) && changer.waitForFinished(120000));
    QStringList expected;
    for (const QString &line : QString::fromUtf8(saver.readAllStandardOutput() + changer.readAllStandardOutput())
                                   .remove(u'\r')
                                   .split(u'\n', Qt::SkipEmptyParts)) {
        QVERIFY2(line.startsWith(u"saved ") || line.startsWith(u"renamed ") || line.startsWith(u"deleted "),
                 qPrintable(line));
        if (!line.startsWith(u"deleted "))
            expected << line.section(u' ', 1) + (line.startsWith(u"renamed ") ? QStringLiteral("-renamed") : QString());
    }
    QStringList problems;
    const Folder folder = storemodel::read(dir.path(), &problems);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    QStringList names;
    for (const QString &line : folder.lines) {
        names << line.section(u'\t', 0, 0);
        QVERIFY2(folder.bodies.contains(storemodel::modelKey(names.last())), qPrintable(names.last()));
    }
    names.sort();
    expected.sort();
    QCOMPARE(names, expected);
}

void TestStoreModel::aLockWhoseHolderIsGoneIsTakenOver()
{
    QTemporaryDir dir;
    const QString lock = dir.filePath(platform::FolderLock::fileName());
    const auto writeLock = [&lock](const QString &host, qint64 pid) {
        QFile file(lock);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        const platform::MachineIdentity here = platform::thisMachine();
        file.write(QStringLiteral("Letterloom lock\nhost=%1\npid=%2\nuser=x\nsince=2026-12-01T10:00:00Z\ntoken=t-%1\n"
                                  "machine=%3\nboot=%4\npidns=%5\n")
                       .arg(host)
                       .arg(pid)
                       .arg(host == QSysInfo::machineHostName() ? here.machine : QStringLiteral("another"),
                            here.boot, here.processSpace)
                       .toUtf8());
    };
    platform::LockHolder holder;
    QString error;

    // A holder on this machine whose process has ended: taken over at once.
    QProcess gone;
    gone.start(kDriver, {});
    QVERIFY(gone.waitForStarted());
    const qint64 pid = gone.processId();
    QVERIFY(gone.waitForFinished());
    writeLock(QSysInfo::machineHostName(), pid);
    QVERIFY2(platform::FolderLock::take(dir.path(), 0, {}, &holder, &error), qPrintable(error));
    QVERIFY(!QFile::exists(lock)); // let go of again

    // A holder on another machine, still writing its lock: waited for, and
    // named when the wait ends.
    writeLock(QStringLiteral("another-pc"), 4711);
    QVERIFY(!platform::FolderLock::take(dir.path(), 300, {}, &holder, &error));
    QCOMPARE(holder.host, QStringLiteral("another-pc"));
    QCOMPARE(holder.pid, qint64(4711));
    QVERIFY2(error.contains(u"another-pc") && error.contains(u"4711"), qPrintable(error));

    // The same, its lock not written for longer than the limit as the
    // share's clock counts: taken over.
    QFile file(lock);
    QVERIFY(file.open(QIODevice::ReadWrite));
    const QDateTime old = QDateTime::currentDateTimeUtc().addSecs(-platform::FolderLock::StaleSeconds - 5);
    QVERIFY(file.setFileTime(old, QFileDevice::FileModificationTime));
    file.close();
    auto taken = platform::FolderLock::take(dir.path(), 3000, {}, &holder, &error);
    QVERIFY2(taken, qPrintable(error));
    QVERIFY(taken->stillHeld());
    QVERIFY(platform::FolderLock::holderOf(dir.path()).pid == QCoreApplication::applicationPid());
    // Held, it is refreshed: its time of writing moves on.
    const QDateTime before = QFileInfo(lock).lastModified();
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(lock).lastModified() > before, (platform::FolderLock::RefreshSeconds + 3) * 1000);
}

QTEST_GUILESS_MAIN(TestStoreModel)
#include "tst_storemodel.moc"
