// The template store against a model of the folder (support/storemodel.h):
// random sequences of save, replace, rename, delete and undo, with names
// that differ only in letter case or spaces and text of every script, applied
// to the model and to real files and compared after every step; the same
// with writes that fail at random (a full disk, a file-size limit) below
// the store; in a child process stopped at each named step of a change in
// turn and killed at random moments, then started again; and two copies on
// one machine kept apart by the lock file alone.
//
// Every failure prints its seed. LETTERLOOM_MODEL_SEQUENCES (default 40)
// and LETTERLOOM_MODEL_STEPS (default 40) make a longer run by hand.

#include "platform/folderlock.h"
#include "platform/identity.h"
#include "platform/rawfile.h"
#include "store/change.h"
#include "support/storemodel.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSysInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>

using storemodel::Folder;
using storemodel::Operation;
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

// Compares a folder read back with what the model says, or with either of
// two states; empty when it matches.
QString mismatch(const QString &dir, const QList<Folder> &expected)
{
    QStringList problems;
    const Folder actual = storemodel::read(dir, &problems);
    if (!problems.isEmpty())
        return problems.join(u'\n') + QStringLiteral("\nthe folder:\n") + actual.describe();
    for (const Folder &folder : expected) {
        if (actual == folder)
            return QString();
    }
    QString text = QStringLiteral("the folder:\n") + actual.describe();
    for (const Folder &folder : expected)
        text += QStringLiteral("\nthe model:\n") + folder.describe();
    return text;
}

// What the window does with a folder when it starts: finishes what a copy
// left unfinished, reads the data file and lists the folder.
void restart(const QString &dir)
{
    store::TemplateStore templates(dir);
    templates.FinishUnfinishedChange();
    templates.ReadDataFile();
    templates.IndexFolder();
}

// What is wrong after a step: the result the store gave, then the folder,
// against the model; empty when both match.
QString stepMismatch(const QString &where, Result result, Result expected, const QString &message,
                     const QString &dir, const Folder &after)
{
    if (result != expected)
        return QStringLiteral("%1 gave %2, the model %3 (%4)")
            .arg(where, storemodel::resultName(result), storemodel::resultName(expected), message);
    const QString wrong = mismatch(dir, {after});
    return wrong.isEmpty() ? QString() : where + u'\n' + wrong;
}

// A driver run's report, line by line.
struct Report
{
    QStringList lines;
    int lastBegun = -1;
    QMap<int, QString> results;
    QStringList mismatches;
};

Report readReport(const QByteArray &output)
{
    Report report;
    // Windows writes its line ends as CR LF.
    for (const QString &line : QString::fromUtf8(output).remove(u'\r').split(u'\n', Qt::SkipEmptyParts)) {
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

QByteArray runDriver(const QStringList &arguments, int *exitCode = nullptr)
{
    QProcess driver;
    driver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    driver.start(kDriver, arguments);
    if (!driver.waitForFinished(120000))
        qFatal("the store driver did not finish");
    if (exitCode)
        *exitCode = driver.exitStatus() == QProcess::NormalExit ? driver.exitCode() : -1;
    return driver.readAllStandardOutput();
}

// The model's states around what a driver reported: the folder before the
// operation it began last, and after it.
QList<Folder> statesAround(quint64 seed, bool legacy, const Report &report)
{
    Folder model;
    if (legacy) {
        QTemporaryDir scratch;
        model = storemodel::writeLegacyFolder(scratch.path());
    }
    storemodel::Generator generator(seed);
    for (int i = 0;; ++i) {
        const Operation op = generator.next(model);
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
    void failingWritesLeaveEveryTemplateWhole();
    void stoppedAtEveryStepOfAChangeItIsWholeAfterARestart();
    void killedAtRandomMomentsItIsWholeAfterARestart();
    void aFileSizeLimitLeavesEveryTemplateWhole();
    void twoCopiesKeptApartByTheLockFileAloneLoseNothing();
    void aLockWhoseHolderIsGoneIsTakenOver();
};

void TestStoreModel::randomSequencesMatchTheModel_data()
{
    QTest::addColumn<bool>("legacy");
    QTest::newRow("a new folder") << false;
    QTest::newRow("a folder of earlier versions") << true;
}

void TestStoreModel::randomSequencesMatchTheModel()
{
    QFETCH(bool, legacy);
    for (int sequence = 0; sequence < kSequences / 2; ++sequence) {
        const quint64 seed = 1000 + quint64(sequence) * 2 + (legacy ? 1 : 0);
        QTemporaryDir dir;
        Folder model = legacy ? storemodel::writeLegacyFolder(dir.path()) : Folder();
        store::TemplateStore templates(dir.path());
        storemodel::Generator generator(seed);
        for (int step = 0; step < kSteps; ++step) {
            const Operation op = generator.next(model);
            Folder after = model;
            const Result expected = storemodel::apply(after, op);
            QString message;
            const Result result = storemodel::perform(templates, op, &message);
            const QString where = QStringLiteral("seed %1, step %2: %3").arg(seed).arg(step).arg(op.describe());
            const QString wrong = stepMismatch(where, result, expected, message, dir.path(), after);
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
            model = after;
        }
    }
}

void TestStoreModel::failingWritesLeaveEveryTemplateWhole()
{
    // At every operation, one write below the store fails, at a random one
    // of its writes: as a full disk or as a file grown to its limit.
    for (int sequence = 0; sequence < kSequences / 2; ++sequence) {
        const quint64 seed = 5000 + quint64(sequence);
        QRandomGenerator random{quint32(seed)};
        QTemporaryDir dir;
        Folder model = storemodel::writeLegacyFolder(dir.path());
        store::TemplateStore templates(dir.path());
        storemodel::Generator generator(seed);
        for (int step = 0; step < kSteps; ++step) {
            const Operation op = generator.next(model);
            Folder after = model;
            const Result expected = storemodel::apply(after, op);
            const int failAt = int(random.bounded(8)) + 1;
            const int error = random.bounded(2) ? ENOSPC : EFBIG;
            int writes = 0;
            bool failed = false;
            platform::detail::setWriteFault([&](qint64) {
                failed = failed || ++writes == failAt;
                return writes == failAt ? error : 0;
            });
            QString message;
            const Result result = storemodel::perform(templates, op, &message);
            platform::detail::setWriteFault({});
            const QString where = QStringLiteral("seed %1, step %2 (write %3 fails): %4")
                                      .arg(seed)
                                      .arg(step)
                                      .arg(failAt)
                                      .arg(op.describe());
            if (result == Result::Failed) {
                QVERIFY2(failed, qPrintable(where + QStringLiteral(" failed without a failing write: ") + message));
                const QString cause = error == ENOSPC ? QStringLiteral("no space left on the device")
                                                      : QStringLiteral("the file is too large");
                QVERIFY2(message.contains(cause), qPrintable(where + QStringLiteral(": ") + message));
                const QString wrong = mismatch(dir.path(), {model});
                QVERIFY2(wrong.isEmpty(), qPrintable(where + u'\n' + wrong));
                continue;
            }
            const QString wrong = stepMismatch(where, result, expected, message, dir.path(), after);
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
            model = after;
        }
    }
}

void TestStoreModel::stoppedAtEveryStepOfAChangeItIsWholeAfterARestart()
{
    // The process ends at the k-th named step of all its changes, for every
    // k of a short sequence: every gap between two steps is hit.
    const int steps = std::max(12, kSteps / 3);
    for (const quint64 seed : {quint64(71), quint64(72)}) {
        const bool legacy = seed % 2 == 0;
        QStringList arguments{QString(), QStringLiteral("sequence"), QString::number(seed), QString::number(steps)};
        if (legacy)
            arguments << QStringLiteral("--legacy");
        int named = 0;
        {
            QTemporaryDir dir;
            arguments[0] = dir.path();
            const Report full = readReport(runDriver(arguments + QStringList{QStringLiteral("--count-steps")}));
            QVERIFY2(full.mismatches.isEmpty(), qPrintable(full.mismatches.join(u'\n')));
            QVERIFY(full.lines.last().startsWith(u"steps "));
            named = full.lines.last().mid(6).toInt();
            QVERIFY(named > steps);
        }
        for (int k = 1; k <= named; ++k) {
            QTemporaryDir dir;
            arguments[0] = dir.path();
            int exitCode = 0;
            const Report report = readReport(runDriver(arguments + QStringList{"--stop-at", QString::number(k)}, &exitCode));
            QCOMPARE(exitCode, 86);
            QVERIFY2(report.mismatches.isEmpty(), qPrintable(report.mismatches.join(u'\n')));
            // Started again: what the change left is finished or taken back.
            restart(dir.path());
            const QString wrong = mismatch(dir.path(), statesAround(seed, legacy, report));
            QVERIFY2(wrong.isEmpty(), qPrintable(QStringLiteral("seed %1, stopped at named step %2 of %3, in operation "
                                                                "%4:\n%5")
                                                     .arg(seed)
                                                     .arg(k)
                                                     .arg(named)
                                                     .arg(report.lastBegun)
                                                     .arg(wrong)));
        }
    }
}

void TestStoreModel::killedAtRandomMomentsItIsWholeAfterARestart()
{
#ifndef Q_OS_UNIX
    QSKIP("kill -9 is a Unix signal");
#else
    const int runs = std::max(10, kSequences / 2);
    // How long a whole run takes here, so that the kills fall anywhere in it.
    QElapsedTimer clock;
    clock.start();
    {
        QTemporaryDir dir;
        runDriver({dir.path(), QStringLiteral("sequence"), QStringLiteral("9000"), QString::number(kSteps),
                   QStringLiteral("--legacy")});
    }
    const int whole = int(clock.elapsed()) + 1;
    for (int run = 0; run < runs; ++run) {
        const quint64 seed = 9000 + quint64(run);
        QTemporaryDir dir;
        storemodel::writeLegacyFolder(dir.path());
        QProcess driver;
        driver.start(kDriver, {dir.path(), QStringLiteral("sequence"), QString::number(seed), QString::number(kSteps),
                               QStringLiteral("--legacy")});
        QVERIFY(driver.waitForStarted());
        const pid_t pid = pid_t(driver.processId());
        QVERIFY(pid > 0);
        QTest::qSleep(int(QRandomGenerator::global()->bounded(whole)));
        ::kill(pid, SIGKILL); // the process is not reaped before waitForFinished: its number is still its own
        driver.waitForFinished();
        const Report report = readReport(driver.readAllStandardOutput());
        QVERIFY2(report.mismatches.isEmpty(), qPrintable(report.mismatches.join(u'\n')));
        restart(dir.path());
        const QString wrong = mismatch(dir.path(), statesAround(seed, true, report));
        QVERIFY2(wrong.isEmpty(), qPrintable(QStringLiteral("seed %1, killed in operation %2:\n%3")
                                                 .arg(seed)
                                                 .arg(report.lastBegun)
                                                 .arg(wrong)));
    }
#endif
}

void TestStoreModel::aFileSizeLimitLeavesEveryTemplateWhole()
{
#ifndef Q_OS_UNIX
    QSKIP("RLIMIT_FSIZE is a Unix limit");
#else
    // The process may write no file beyond a size that the data file
    // reaches during the sequence: from then on, writes fail for real.
    for (const int limit : {200, 260, 340}) {
        const quint64 seed = quint64(limit);
        QTemporaryDir dir;
        const Report report = readReport(runDriver({dir.path(), QStringLiteral("sequence"), QString::number(seed),
                                                    QString::number(kSteps), QStringLiteral("--legacy"),
                                                    QStringLiteral("--file-size-limit"), QString::number(limit)}));
        QVERIFY2(report.mismatches.isEmpty(), qPrintable(report.mismatches.join(u'\n')));
        QVERIFY2(report.results.values().contains(u"failed"),
                 qPrintable(QStringLiteral("no write reached the limit of %1 bytes").arg(limit)));
        const QString wrong = mismatch(dir.path(), statesAround(seed, true, report));
        QVERIFY2(wrong.isEmpty(), qPrintable(QStringLiteral("seed %1:\n%2").arg(seed).arg(wrong)));
    }
#endif
}

void TestStoreModel::twoCopiesKeptApartByTheLockFileAloneLoseNothing()
{
    // Two copies on one machine, without the machine's own lock, as two
    // machines on one network share are: one saves, the other renames and
    // deletes. Every template reported saved must be there.
    QTemporaryDir dir;
    const int toChange = 30;
    const int toSave = 150;
    QVERIFY(runDriver({dir.path(), QStringLiteral("save"), QStringLiteral("B"), QString::number(toChange)})
                .count("saved") == toChange);
    QProcess saver, changer;
    for (QProcess *copy : {&saver, &changer})
        copy->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    saver.start(kDriver, {dir.path(), QStringLiteral("save"), QStringLiteral("A"), QString::number(toSave),
                          QStringLiteral("--no-local-lock")});
    changer.start(kDriver, {dir.path(), QStringLiteral("rename-delete"), QStringLiteral("B"),
                            QString::number(toChange), QStringLiteral("--no-local-lock")});
    QVERIFY(saver.waitForFinished(120000) && changer.waitForFinished(120000));
    const QStringList saved = readReport(saver.readAllStandardOutput()).lines;
    const QStringList changed = readReport(changer.readAllStandardOutput()).lines;

    QStringList problems;
    const Folder folder = storemodel::read(dir.path(), &problems);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    QStringList names;
    for (const QString &line : folder.lines)
        names << line.section(u'\t', 0, 0);
    QStringList expected;
    for (const QString &line : saved) {
        QVERIFY2(line.startsWith(u"saved "), qPrintable(line));
        expected << line.mid(6);
    }
    for (const QString &line : changed) {
        if (line.startsWith(u"renamed "))
            expected << line.mid(8) + QStringLiteral("-renamed");
        else
            QVERIFY2(line.startsWith(u"deleted "), qPrintable(line));
    }
    names.sort();
    expected.sort();
    QCOMPARE(names, expected);
    for (const QString &name : std::as_const(expected))
        QVERIFY2(folder.bodies.contains(storemodel::modelKey(name)), qPrintable(name));
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
