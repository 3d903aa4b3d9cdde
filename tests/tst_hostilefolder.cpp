// Folders that others wrote: other programs (the earlier Windows program,
// Notepad, git, Linux editors, an older copy; tests/data/otherprograms), and
// hostile colleagues, newer versions and crashes (records of unfinished
// changes, links where the folder's own files are, odd lock files;
// tests/data/records and tests/data/links). Each case is a fixture:
//   before/    the folder, as the commands find it
//   outside/   files of someone else beside it, which must never change, and
//              whose secret.txt must never be copied into the folder; and no
//              file may be left open
//   do         the commands, one a line: start (the window's start: an
//              unfinished change finished), list, show NAME, save NAME
//              [FIELD=TEXT]... (the template as the window shows it, fields
//              changed: subject, attachments, cc, to, bcc, location, body),
//              rename NAME NEW, delete NAME, undo, program ARGS... (the
//              program from a shell on the folder), change FROM TO... (a
//              change of these renames recorded under the lock), syncs
//              COMMAND (the command, then its renames, removals and folder
//              syncs in order); in names and texts "_" is a space, and the
//              escapes of tests/data/tables work
//   said       a regular expression a command, matching the whole of what it
//              said: "<command>: <result> <message>" ("¶" for a line end)
//   after/     the folder's own files after the commands, byte for byte (the
//              time in a set-aside file's name left out); without it, nothing
//              in the folder may change at all.

#include "platform/folderlock.h"
#include "platform/identity.h"
#include "platform/rawfile.h"
#include "store/change.h"
#include "store/templaterecord.h"
#include "store/templatestore.h"
#include "support/storemodel.h"
#include "support/testdata.h"

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using Snapshot = QMap<QString, QByteArray>;

namespace {

// The program itself, without a display, as a shell runs it: its status and
// what it wrote to the error output.
QString runProgram(const QStringList &arguments)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    if (arguments.contains(QStringLiteral("--launch")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(LETTERLOOM_PROGRAM), arguments);
    if (!program.waitForFinished(30000)) {
        program.kill();
        program.waitForFinished();
        return QStringLiteral("did not end");
    }
    const QString err = QString::fromUtf8(program.readAllStandardError());
    return QString::number(program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1)
           + (err.isEmpty() ? QString() : u' ' + err);
}

// The folder's own files (not the kept versions; links by their target), a
// set-aside file's time left out of its name.
Snapshot topFiles(const QString &dir)
{
    static const QRegularExpression time(QStringLiteral("(?<=-unfinished-|\\.refused-)[0-9-]+"));
    Snapshot files;
    const Snapshot all = testdata::snapshot(dir);
    for (auto it = all.cbegin(); it != all.cend(); ++it) {
        if (!it.key().contains(u'/'))
            files.insert(QString(it.key()).remove(time), it.value());
    }
    return files;
}

QString text(const QString &word)
{
    return testdata::unescaped(QString(word).replace(u'_', u' '));
}

// Carries out one command; what it said.
QString carryOut(store::TemplateStore &templates, const QString &dir, const QStringList &command)
{
    static const char *const results[] = {"done", "unchanged", "refused", "failed", "pending", "changed"};
    const auto outcome = [](const store::Outcome &o) {
        return QString::fromLatin1(results[int(o.status)]) + (o.message.isEmpty() ? QString() : u' ' + o.message);
    };
    storemodel::EntryList list;
    store::LoadTemplateList(templates, list);
    QStringList names;
    for (const QString &listed : std::as_const(list.entries))
        names << store::NameOfListEntry(listed);
    const QString verb = command.value(0), name = text(command.value(1));
    const QString entry = list.entries.value(names.indexOf(name));
    const store::EntryRef ref{store::LineTextOfEntry(entry), 0};
    if (verb == u"start")
        return templates.FinishUnfinishedChange();
    if (verb == u"list")
        return names.join(QStringLiteral(" | "));
    if (verb == u"show") {
        QString error;
        const QString body = templates.ReadBody(name, &error);
        return body + error;
    }
    if (verb == u"save") {
        store::EditorValues editor = store::EditorOf(store::DecodeListEntry(entry));
        editor.name = name;
        editor.bodyText = templates.ReadBody(name);
        const QMap<QString, QString *> fields{{"subject", &editor.subjectText}, {"attachments", &editor.attachmentPaths},
                                              {"cc", &editor.ccText},          {"to", &editor.toText},
                                              {"bcc", &editor.bccText},        {"location", &editor.location},
                                              {"body", &editor.bodyText}};
        for (const QString &change : command.mid(2)) {
            if (!fields.contains(change.section(u'=', 0, 0)))
                return QStringLiteral("no such field: ") + change;
            *fields.value(change.section(u'=', 0, 0)) = text(change.section(u'=', 1));
        }
        return outcome(templates.Save(editor, templates.PlanSave(editor, store::ShownVersion())));
    }
    if (verb == u"rename")
        return outcome(templates.Rename(templates.PlanRename(ref, text(command.value(2)))));
    if (verb == u"delete")
        return outcome(templates.Delete(templates.PlanDelete(ref)));
    if (verb == u"undo") {
        const store::UndoPlan plan = templates.PlanUndo();
        if (!plan.version)
            return QStringLiteral("nothing");
        return (plan.bodyGone ? QStringLiteral("[body gone] ") : QString())
               + (plan.nameTaken ? QStringLiteral("[as %1] ").arg(plan.freeName) : QString()) + outcome(templates.Undo(plan));
    }
    if (verb == u"program")
        return runProgram(command.mid(1) + QStringList{QStringLiteral("--data-folder"), dir});
    if (verb == u"change") { // renames FROM TO..., recorded under the lock
        const auto lock = platform::FolderLock::take(dir, 0, {}, nullptr, nullptr);
        store::Change change(dir);
        for (qsizetype i = 1; i + 1 < command.size(); i += 2)
            change.rename(QDir(dir).filePath(command.at(i)), QDir(dir).filePath(command.at(i + 1)));
        QString error;
        return lock && change.commit(*lock, &error) ? QStringLiteral("recorded") : QStringLiteral("refused ") + error;
    }
    if (verb == u"syncs") { // the command, then its renames, removals and folder syncs in order
        QStringList ops;
        platform::detail::setFileOpHook([&](platform::detail::FileOp kind, const QString &path, const QString &to) {
            const QString file = QFileInfo(to.isEmpty() ? path : to).fileName();
            if (kind == platform::detail::FileOp::SyncFolder)
                ops << (QDir::cleanPath(path) == QDir(dir).filePath("Deleted") ? QStringLiteral("sync Deleted") : QStringLiteral("sync"));
            else if (file == store::Change::intentFileName())
                ops << (kind == platform::detail::FileOp::Rename ? QStringLiteral("record") : QStringLiteral("unrecord"));
            else if (kind == platform::detail::FileOp::Rename)
                ops << QStringLiteral("step");
            return 0;
        });
        const QString said = carryOut(templates, dir, command.mid(1));
        platform::detail::setFileOpHook({});
        return said + QStringLiteral(" [%1]").arg(ops.join(u' '));
    }
    return QStringLiteral("no such command");
}

} // namespace

class TestHostileFolder : public QObject
{
    Q_OBJECT

private slots:
    void commandsOnTheirFiles_data();
    void commandsOnTheirFiles();
};

void TestHostileFolder::commandsOnTheirFiles_data()
{
    QTest::addColumn<QString>("fixture");
    for (const char *kind : {"otherprograms/", "records/", "links/"}) {
        for (const QString &name : QDir(testdata::dataDir() + u'/' + kind).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            QTest::newRow(qPrintable(kind + name)) << kind + name;
    }
}

void TestHostileFolder::commandsOnTheirFiles()
{
    QFETCH(QString, fixture);
    const testdata::Fixture data(fixture);
    if (!data.isValid())
        QSKIP(qPrintable(data.error()));
    // Kept versions are this user's.
    QDirIterator files(data.path(), QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (files.fileInfo().isSymLink() || !file.open(QIODevice::ReadWrite))
            continue;
        const QByteArray bytes = file.readAll().replace("@USER@", platform::userName().toUtf8());
        QVERIFY(file.resize(0) && file.write(bytes) == bytes.size());
    }
    const QString dir = data.filePath(QStringLiteral("before"));
    const Snapshot before = testdata::snapshot(dir);
    const Snapshot outside = testdata::snapshot(data.filePath(QStringLiteral("outside")));

    // Every file opened is closed again (on Linux, where the process's open
    // files can be counted; under Wine /proc shows Wine's own).
    const auto openFiles = [] {
#ifdef Q_OS_LINUX
        return QDir(QStringLiteral("/proc/self/fd")).count();
#else
        return 0u;
#endif
    };
    const uint openBefore = openFiles();
    store::TemplateStore templates(dir);
    int waits = 0;
    templates.setLockWait(300, [&waits] { ++waits; });
    QStringList said;
    for (const QString &line : QString::fromUtf8(testdata::snapshot(data.path()).value("do")).split(u'\n', Qt::SkipEmptyParts)) {
        waits = 0;
        const QStringList command = line.trimmed().split(u' ', Qt::SkipEmptyParts);
        QString words = carryOut(templates, dir, command);
        words.replace(QStringLiteral("\r\n"), QStringLiteral("¶")).replace(u'\n', QStringLiteral("¶"));
        if (waits > 0)
            words += QStringLiteral(" (waited)");
        said << command.join(u' ') + (words.isEmpty() ? QString() : QStringLiteral(": ") + words);
        QVERIFY2(waits < 100, qPrintable(said.last())); // it paused, and not for ever
    }
    const QStringList wanted = QString::fromUtf8(testdata::snapshot(data.path()).value("said")).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(said.size(), wanted.size());
    for (int i = 0; i < said.size(); ++i) {
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(wanted.at(i))).match(said.at(i)).hasMatch(),
                 qPrintable(said.at(i) + QStringLiteral("\ndoes not match\n") + wanted.at(i)));
    }

    QCOMPARE(openFiles(), openBefore);
    const QString after = data.filePath(QStringLiteral("after"));
    if (QFileInfo(after).isDir())
        QCOMPARE(topFiles(dir), topFiles(after));
    else
        QCOMPARE(testdata::snapshot(dir), before);
    // Nothing outside changed, and its secret is in no file of the folder.
    QCOMPARE(testdata::snapshot(data.filePath(QStringLiteral("outside"))), outside);
    const QByteArray secret = outside.value(QStringLiteral("secret.txt")).left(20);
    const Snapshot inside = testdata::snapshot(dir); // links by their target
    for (auto it = inside.cbegin(); !secret.isEmpty() && it != inside.cend(); ++it)
        QVERIFY2(!it.value().contains(secret), qPrintable(it.key() + u'\n' + said.join(u'\n')));
}

QTEST_MAIN(TestHostileFolder)
#include "tst_hostilefolder.moc"
