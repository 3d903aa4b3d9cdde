// Folders that other programs wrote (the earlier Windows program, Notepad,
// git, Linux editors, an older copy), each a fixture under
// tests/data/otherprograms/<case>: its files `before/`, one command in
// `do`, and what must come of it: the folder's files `after/` byte for
// byte, the names listed (`listed`), words of the body shown or of the
// message (`said`; an empty one: nothing). Commands: list, show NAME, save NAME FIELD=TEXT,
// rename NAME NEW, delete NAME, undo.

#include "platform/identity.h"
#include "store/names.h"
#include "store/templaterecord.h"
#include "store/templatestore.h"
#include "support/testdata.h"

#include <QDir>
#include <QDirIterator>
#include <QTest>

namespace {

struct Entries final : store::TemplateList
{
    QStringList entries;
    void addEntry(const QString &entry) override { entries << entry; }
    void yield() override {}
};

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The folder's own files, not the kept versions or the lock.
QMap<QString, QByteArray> topFiles(const QString &dir)
{
    QMap<QString, QByteArray> files;
    for (const QString &name : QDir(dir).entryList(QDir::Files | QDir::Hidden))
        files.insert(name, contentsOf(QDir(dir).filePath(name)));
    return files;
}

QString entryNamed(const QStringList &entries, const QString &name)
{
    for (const QString &entry : entries) {
        if (store::NameOfListEntry(entry) == name)
            return entry;
    }
    return QString();
}

store::EntryRef entryOf(const QStringList &entries, const QString &name)
{
    return {store::LineTextOfEntry(entryNamed(entries, name)), 0};
}

} // namespace

class TestOtherPrograms : public QObject
{
    Q_OBJECT

private slots:
    void commandsOnTheirFiles_data();
    void commandsOnTheirFiles();
};

void TestOtherPrograms::commandsOnTheirFiles_data()
{
    QTest::addColumn<QString>("fixture");
    const QString dir = testdata::dataDir() + QStringLiteral("/otherprograms");
    for (const QString &name : QDir(dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        QTest::newRow(qPrintable(name)) << name;
}

void TestOtherPrograms::commandsOnTheirFiles()
{
    QFETCH(QString, fixture);
    const testdata::Fixture data(QStringLiteral("otherprograms/") + fixture);
    QVERIFY2(data.isValid(), qPrintable(data.error()));
    const QString dir = data.filePath(QStringLiteral("before"));
    // Kept versions are this user's.
    QDirIterator records(dir, {QStringLiteral("*.record")}, QDir::Files, QDirIterator::Subdirectories);
    while (records.hasNext()) {
        QFile file(records.next());
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray bytes = file.readAll().replace("@USER@", platform::userName().toUtf8());
        QVERIFY(file.resize(0) && file.write(bytes) == bytes.size());
    }
    const QStringList command = QString::fromUtf8(contentsOf(data.filePath(QStringLiteral("do"))).trimmed())
                                    .split(u' ', Qt::SkipEmptyParts);
    store::TemplateStore templates(dir);
    Entries list;
    store::LoadTemplateList(templates, list);
    QString said;
    const QString verb = command.value(0);
    const QString name = command.value(1).replace(u'_', u' ');
    if (verb == u"show") {
        said = templates.ReadBody(name);
    } else if (verb == u"save") {
        // The template as the window shows it, one field changed.
        store::EditorValues editor = store::EditorOf(store::DecodeListEntry(entryNamed(list.entries, name)));
        editor.bodyText = templates.ReadBody(name);
        for (const QString &change : command.mid(2)) {
            const QString text = change.section(u'=', 1).replace(u'_', u' ');
            if (change.startsWith(u"subject="))
                editor.subjectText = text;
            else if (change.startsWith(u"body="))
                editor.bodyText = text;
        }
        said = templates.Save(editor, templates.PlanSave(editor, store::ShownVersion())).message;
    } else if (verb == u"rename") {
        said = templates.Rename(templates.PlanRename(entryOf(list.entries, name), command.value(2))).message;
    } else if (verb == u"delete") {
        said = templates.Delete(templates.PlanDelete(entryOf(list.entries, name))).message;
    } else if (verb == u"undo") {
        const store::UndoPlan plan = templates.PlanUndo();
        QVERIFY2(plan.version, "nothing to bring back");
        said = (plan.bodyGone ? QStringLiteral("[body gone] ") : QString())
               + (plan.nameTaken ? QStringLiteral("[as %1] ").arg(plan.freeName) : QString())
               + templates.Undo(plan).message;
    }

    const QString expected = data.filePath(QStringLiteral("after"));
    if (QFileInfo(expected).isDir())
        QCOMPARE(topFiles(dir), topFiles(expected));
    if (QFile::exists(data.filePath(QStringLiteral("listed")))) {
        QStringList names;
        Entries now;
        store::LoadTemplateList(templates, now);
        for (const QString &entry : std::as_const(now.entries))
            names << store::NameOfListEntry(entry);
        QCOMPARE(names.join(u'\n') + u'\n', QString::fromUtf8(contentsOf(data.filePath(QStringLiteral("listed")))));
    }
    // A `said` file holds words of what was said; an empty one, that nothing was.
    const QString saidFile = data.filePath(QStringLiteral("said"));
    const QString wanted = QString::fromUtf8(contentsOf(saidFile)).trimmed();
    QVERIFY2(QFile::exists(saidFile) && wanted.isEmpty() ? said.isEmpty() : said.contains(wanted), qPrintable(said));
}

QTEST_GUILESS_MAIN(TestOtherPrograms)
#include "tst_otherprograms.moc"
