// What others leave in a shared templates folder never harms or hangs
// Letterloom: records of unfinished changes that point out of the folder,
// come from a newer version or cannot be finished; links in place of the
// folder's own files; lock files that are no lock files; and renames that
// fail at any step of a change. The hostile folders are under tests/data/.

#include "platform/identity.h"
#include "platform/folderlock.h"
#include "platform/rawfile.h"
#include "platform/textfile.h"
#include "store/change.h"
#include "support/storemodel.h"
#include "support/testdata.h"

#include <QDirIterator>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <cerrno>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using storemodel::Operation;
using storemodel::Result;
using Snapshot = QMap<QString, QByteArray>;

namespace {

struct Run
{
    int status = -1;
    QString err;
};

// The program itself, without a display, as a shell runs it.
Run runProgram(const QStringList &arguments)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    if (arguments.contains(QStringLiteral("--launch")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(LETTERLOOM_PROGRAM), arguments);
    Run run;
    if (!program.waitForFinished(30000)) {
        program.kill();
        program.waitForFinished();
        return run;
    }
    run.status = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    run.err = QString::fromUtf8(program.readAllStandardError());
    return run;
}

// The folder as it should be after a record was set aside: the record
// under its new name, the files of unrecorded changes cleared away.
Snapshot setAside(Snapshot before, const Snapshot &after)
{
    const QByteArray record = before.take(store::Change::intentFileName());
    for (const QString &name : before.keys()) {
        if (name.contains(QLatin1String(".letterloom-change-")))
            before.remove(name);
    }
    for (const QString &name : after.keys()) {
        if (name.startsWith(store::Change::intentFileName() + QStringLiteral(".refused-")))
            before.insert(name, record);
    }
    return before;
}

Result save(store::TemplateStore &templates, const QString &name, const QString &subject)
{
    Operation op;
    op.editor.name = name;
    op.editor.subject = subject;
    op.editor.body = QStringLiteral("Saved\r\n");
    return storemodel::perform(templates, op);
}

} // namespace

class TestHostileFolder : public QObject
{
    Q_OBJECT

private slots:
    void recordsAreCheckedBeforeAnythingRuns_data();
    void recordsAreCheckedBeforeAnythingRuns();
    void readingChangesNothing();
    void linksAreNeverReadThrough_data();
    void linksAreNeverReadThrough();
    void oddLockFilesEndTheWait_data();
    void oddLockFilesEndTheWait();
    void failingRenamesLeaveEveryTemplateWhole();
    void changesAreOnTheDiskBeforeTheyAreDone();
    void aChangeThatCannotBeCarriedOutAgainIsRefused();
};

void TestHostileFolder::recordsAreCheckedBeforeAnythingRuns_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("said"); // what the user is told once; empty: the record is left for its version
    QTest::newRow("a removal outside the folder") << "remove-outside" << "not a file of the templates folder";
    QTest::newRow("an absolute path") << "absolute-path" << "/proc/self/environ\", which is not a file";
    QTest::newRow("a rename onto a file outside") << "rename-out" << "../outside/.bashrc";
    QTest::newRow("a path with backslashes") << "backslash" << "not a file of the templates folder";
    QTest::newRow("a drive") << "drive" << "C:LTM-Offer.txt";
    QTest::newRow("an unknown step") << "unknown-step" << "line 2";
    QTest::newRow("no end") << "no-end" << "not a whole record";
    QTest::newRow("Deleted a link") << "deleted-link" << "Deleted";
    QTest::newRow("steps in an order that cannot be redone") << "order" << "LTM-Other.txt";
    QTest::newRow("far too large") << "too-large" << "64 KiB";
    QTest::newRow("a link") << "linked-record" << "symbolic link";
    QTest::newRow("an append onto a file changed since") << "append-changed" << "MainData.txt";
    QTest::newRow("a newer version") << "newer-version" << "";
}

void TestHostileFolder::recordsAreCheckedBeforeAnythingRuns()
{
    QFETCH(QString, fixture);
    QFETCH(QString, said);
    const testdata::Fixture data(QStringLiteral("records/") + fixture);
    if (!data.isValid())
        QSKIP(qPrintable(data.error()));
    const QString dir = data.filePath(QStringLiteral("folder"));
    const Snapshot outside = testdata::snapshot(data.filePath(QStringLiteral("outside")));
    const Snapshot before = testdata::snapshot(dir);

    // The window's start finishes what it can; then a change is made.
    store::TemplateStore templates(dir);
    const QString notice = templates.FinishUnfinishedChange();
    QString message;
    Operation op;
    op.editor.name = QStringLiteral("Added");
    const Result result = storemodel::perform(templates, op, &message);

    QCOMPARE(testdata::snapshot(data.filePath(QStringLiteral("outside"))), outside);
    Snapshot after = testdata::snapshot(dir);
    if (said.isEmpty()) {
        // Left for the version that wrote it; no change until then, and the
        // message names the record, its version and the way out.
        QVERIFY2(notice.isEmpty(), qPrintable(notice));
        QCOMPARE(after, before);
        QCOMPARE(result, Result::Failed);
        QVERIFY2(message.contains(QStringLiteral("Letterloom.intent")) && message.contains(u'7')
                     && message.contains(QStringLiteral("remove")),
                 qPrintable(message));
        return;
    }
    // Set aside unrun (or taken back), told once, and changes go on.
    QVERIFY2(notice.contains(said) && notice.contains(QStringLiteral("set aside")), qPrintable(notice));
    QCOMPARE(result, Result::Done);
    after.remove(QStringLiteral("LTM-Added.txt"));
    QByteArray &lines = after[QStringLiteral("MainData.txt")];
    lines.truncate(lines.lastIndexOf("Added\t"));
    QCOMPARE(after, setAside(before, after));
    QCOMPARE(templates.FinishUnfinishedChange(), QString());
}

void TestHostileFolder::readingChangesNothing()
{
    const testdata::Fixture data(QStringLiteral("records/pending-replace"));
    QVERIFY2(data.isValid(), qPrintable(data.error()));
    const QString dir = data.filePath(QStringLiteral("folder"));
    const Snapshot before = testdata::snapshot(dir);

    const Run list = runProgram({QStringLiteral("--list"), QStringLiteral("--data-folder"), dir});
    QCOMPARE(list.status, 0);
    QVERIFY2(list.err.count(u'\n') == 1 && list.err.contains(QStringLiteral("Letterloom.intent")), qPrintable(list.err));
    // The unfinished change replaces Offer: launching it shows neither.
    const Run launch = runProgram({QStringLiteral("--launch"), QStringLiteral("Offer"), QStringLiteral("--no-ask"),
                                   QStringLiteral("--data-folder"), dir});
    QCOMPARE(launch.status, 1);
    QVERIFY2(launch.err.contains(QStringLiteral("a change to this template is unfinished; open Letterloom to finish it")),
             qPrintable(launch.err));
    for (const char *option : {"--help", "--version"})
        QCOMPARE(runProgram({QString::fromLatin1(option), QStringLiteral("--data-folder"), dir}).status, 0);
    QCOMPARE(testdata::snapshot(dir), before);

    // The window's start finishes it.
    store::TemplateStore templates(dir);
    QCOMPARE(templates.FinishUnfinishedChange(), QString());
    QVERIFY(templates.ReadDataFile().startsWith("Offer\tNew prices\t"));
    QCOMPARE(templates.ReadBody(QStringLiteral("Offer")), QStringLiteral("Dear customer, new prices"));
}

void TestHostileFolder::linksAreNeverReadThrough_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::newRow("a template's body") << "body";
    QTest::newRow("a kept version's body") << "kept-body";
    QTest::newRow("a kept version's record") << "kept-record";
    QTest::newRow("the folder Deleted") << "deleted-folder";
}

void TestHostileFolder::linksAreNeverReadThrough()
{
    QFETCH(QString, fixture);
    const testdata::Fixture data(QStringLiteral("links/") + fixture);
    if (!data.isValid())
        QSKIP(qPrintable(data.error()));
    // The kept versions are this user's.
    QDirIterator records(data.path(), {QStringLiteral("*.record"), QStringLiteral("record.txt")}, QDir::Files,
                         QDirIterator::Subdirectories);
    while (records.hasNext()) {
        QFile file(records.next());
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray bytes = file.readAll().replace("@USER@", platform::userName().toUtf8());
        QVERIFY(file.resize(0) && file.write(bytes) == bytes.size());
    }
    const QString dir = data.filePath(QStringLiteral("folder"));
    const QString outsideDir = data.filePath(QStringLiteral("outside"));
    const Snapshot outside = testdata::snapshot(outsideDir);
    const QByteArray secret = outside.value(QStringLiteral("secret.txt")).left(20);

    // Every command a user has, on the template whose files are links.
    store::TemplateStore templates(dir);
    QString error;
    QVERIFY(!templates.ReadBody(QStringLiteral("Offer"), &error).contains(QString::fromUtf8(secret)));
    QStringList results{error};
    Operation op;
    op.editor.name = QStringLiteral("Offer");
    op.editor.subject = QStringLiteral("Changed");
    for (Operation::Kind kind : {Operation::Kind::Save, Operation::Kind::Undo, Operation::Kind::Rename,
                                 Operation::Kind::Delete, Operation::Kind::Undo}) {
        op.kind = kind;
        op.newName = QStringLiteral("Renamed");
        QString message;
        results << storemodel::resultName(storemodel::perform(templates, op, &message)) + u' ' + message;
    }
    if (fixture == QLatin1String("body")) {
        const Run launch = runProgram({QStringLiteral("--launch"), QStringLiteral("Offer"), QStringLiteral("--no-ask"),
                                       QStringLiteral("--data-folder"), dir});
        QCOMPARE(launch.status, 1);
        results << launch.err;
        QVERIFY2(results.filter(QStringLiteral("symbolic link")).size() >= 3, qPrintable(results.join(u'\n')));
    }

    // Nothing outside changed, and the private file's text is in no file of
    // the folder.
    QCOMPARE(testdata::snapshot(outsideDir), outside);
    QDirIterator files(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        QByteArray bytes;
        if (!files.fileInfo().isSymLink() && platform::readOwnFile(path, &bytes))
            QVERIFY2(!bytes.contains(secret), qPrintable(path + u'\n' + results.join(u'\n')));
    }
}

void TestHostileFolder::oddLockFilesEndTheWait_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("said");
    QTest::newRow("a folder") << "folder" << "it is a folder";
    QTest::newRow("a pipe") << "fifo" << "pipe";
    QTest::newRow("a dangling link") << "link" << "it is a link";
}

void TestHostileFolder::oddLockFilesEndTheWait()
{
    QFETCH(QString, kind);
    QFETCH(QString, said);
#ifndef Q_OS_UNIX
    QSKIP("pipes and links are made on Unix");
#else
    QTemporaryDir dir;
    const QByteArray lock = QFile::encodeName(dir.filePath(platform::FolderLock::fileName()));
    QVERIFY(kind == u"folder" ? mkdir(lock, 0700) == 0
            : kind == u"fifo" ? mkfifo(lock, 0600) == 0
                              : symlink("gone", lock) == 0);
    const QString data = dir.filePath(QStringLiteral("MainData.txt"));
    QFile file(data);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("Offer\tSubject\t\t\t\t\tTrue\tFalse\t\r\n") > 0);
    file.close();

    // Reading needs no lock; a change waits until its limit and names the file.
    const Run list = runProgram({QStringLiteral("--list"), QStringLiteral("--data-folder"), dir.path()});
    QCOMPARE(list.status, 0);
    store::TemplateStore templates(dir.path());
    int waits = 0;
    templates.setLockWait(300, [&waits] { ++waits; });
    QString message;
    Operation op;
    op.editor.name = QStringLiteral("New");
    QCOMPARE(storemodel::perform(templates, op, &message), Result::Failed);
    QVERIFY2(message.contains(QStringLiteral("Letterloom.lock")) && message.contains(said), qPrintable(message));
    QVERIFY2(waits > 0 && waits < 100, qPrintable(QString::number(waits))); // it paused, and not for ever
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral(".letterloom")),
             QStringList());
#endif
}

void TestHostileFolder::failingRenamesLeaveEveryTemplateWhole()
{
    // At every operation one rename below the store fails, at a random one
    // of its renames: a change that had not recorded its steps changed
    // nothing and says why; one that had is done, or finished by the next
    // start. The record's own rename failing is never reported as done.
    for (int sequence = 0; sequence < 8; ++sequence) {
        const quint64 seed = 7000 + quint64(sequence);
        QRandomGenerator random{quint32(seed)};
        QTemporaryDir dir;
        storemodel::Folder model;
        store::TemplateStore templates(dir.path());
        storemodel::Generator generator(seed);
        for (int step = 0; step < 25; ++step) {
            const Operation op = generator.next(model);
            storemodel::Folder after = model;
            const Result expected = storemodel::apply(after, op);
            const int failAt = int(random.bounded(6)) + 1;
            int seen = 0;
            QString failed;
            platform::detail::setFileOpHook([&](platform::detail::FileOp kind, const QString &path, const QString &to) {
                if (kind != platform::detail::FileOp::Rename || ++seen != failAt)
                    return 0;
                failed = QFileInfo(to.isEmpty() ? path : to).fileName();
                return EIO;
            });
            QString message;
            const Result result = storemodel::perform(templates, op, &message);
            platform::detail::setFileOpHook({});
            const QString where = QStringLiteral("seed %1, step %2 (%3 fails): %4 gave %5: %6")
                                      .arg(seed)
                                      .arg(step)
                                      .arg(failed, op.describe(), storemodel::resultName(result), message);
            QStringList problems;
            if (failed == store::Change::intentFileName())
                QVERIFY2(result == Result::Failed, qPrintable(where));
            if (result == Result::Failed) {
                QVERIFY2(!failed.isEmpty() && message.contains(QStringLiteral("input/output error")), qPrintable(where));
                QVERIFY2(storemodel::read(dir.path(), &problems) == model && problems.isEmpty(),
                         qPrintable(where + u'\n' + problems.join(u'\n')));
                continue;
            }
            if (result == Result::Pending) {
                QVERIFY2(!failed.isEmpty(), qPrintable(where));
                store::TemplateStore(dir.path()).FinishUnfinishedChange();
            } else {
                QVERIFY2(result == expected, qPrintable(where));
            }
            QVERIFY2(storemodel::read(dir.path(), &problems) == after && problems.isEmpty(),
                     qPrintable(where + u'\n' + problems.join(u'\n')));
            model = after;
        }
    }
}

void TestHostileFolder::changesAreOnTheDiskBeforeTheyAreDone()
{
    // The renames, removals and folder syncs of a replace and a delete, in
    // their order: the folder is synced once the record is in place, once
    // the steps are carried out (Deleted too), and once the record is gone.
    QTemporaryDir dir;
    store::TemplateStore templates(dir.path());
    QCOMPARE(save(templates, QStringLiteral("Offer"), QStringLiteral("One")), Result::Done);
    QStringList ops;
    const QString deleted = QDir(dir.path()).filePath(QStringLiteral("Deleted"));
    platform::detail::setFileOpHook([&](platform::detail::FileOp kind, const QString &path, const QString &to) {
        const QString name = QFileInfo(to.isEmpty() ? path : to).fileName();
        if (kind == platform::detail::FileOp::SyncFolder)
            ops << (QDir::cleanPath(path) == QDir::cleanPath(deleted) ? QStringLiteral("sync Deleted")
                                                                      : QStringLiteral("sync"));
        else if (name == store::Change::intentFileName())
            ops << (kind == platform::detail::FileOp::Rename ? QStringLiteral("record") : QStringLiteral("unrecord"));
        else if (kind == platform::detail::FileOp::Rename)
            ops << QStringLiteral("step");
        return 0;
    });
    QCOMPARE(save(templates, QStringLiteral("Offer"), QStringLiteral("Two")), Result::Done);
    Operation remove;
    remove.kind = Operation::Kind::Delete;
    QCOMPARE(storemodel::perform(templates, remove), Result::Done);
    platform::detail::setFileOpHook({});
    const QString one = QStringLiteral("record sync (step )+sync sync Deleted unrecord sync ");
    const QString all = ops.join(u' ') + u' ';
    QVERIFY2(QRegularExpression(QStringLiteral("^(%1){2}$").arg(one)).match(all).hasMatch(), qPrintable(all));
}

void TestHostileFolder::aChangeThatCannotBeCarriedOutAgainIsRefused()
{
    // Carried out again after a crash, the second rename would move the
    // first one's result: such a change is refused before it is recorded.
    QTemporaryDir dir;
    for (const char *name : {"LTM-A.txt", "LTM-C.txt"}) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(name) > 0);
    }
    const Snapshot before = testdata::snapshot(dir.path());
    const auto lock = platform::FolderLock::take(dir.path(), 0, {}, nullptr, nullptr);
    QVERIFY(lock);
    store::Change change(dir.path());
    change.rename(dir.filePath(QStringLiteral("LTM-A.txt")), dir.filePath(QStringLiteral("LTM-B.txt")));
    change.rename(dir.filePath(QStringLiteral("LTM-C.txt")), dir.filePath(QStringLiteral("LTM-A.txt")));
    QString error;
    QVERIFY(!change.commit(*lock, &error));
    QVERIFY2(error.contains(QStringLiteral("LTM-A.txt")), qPrintable(error));
    Snapshot after = testdata::snapshot(dir.path());
    after.remove(platform::FolderLock::fileName());
    QCOMPARE(after, before);
}

QTEST_MAIN(TestHostileFolder)
#include "tst_hostilefolder.moc"
