// Attachments that travel with a team's folder: one folder of templates
// (data/teamfolder), whose attachments and HTML files are named by paths
// relative to it with either separator, launched from wherever the folder
// is, on Linux and on Windows alike; paths that leave it are refused.
#include "compose/attachmentpaths.h"
#include "store/templaterecord.h"
#include "store/templatestore.h"
#include "support/fakepairs.h"
#include "support/storemodel.h"
#include "support/testdata.h"
#include "support/testfiles.h"
#include "support/windowtest.h"

class TestAttachmentPaths : public testsupport::WindowTest
{
    Q_OBJECT

    // The team's folder, wherever this computer has it.
    void prepareTest() override { QVERIFY(testdata::makeFixture("teamfolder", dataFolder()).isEmpty()); }

private slots:
    void launchedFromTheFolder_data() { testdata::addRows(QStringLiteral("team-folder")); }
    void launchedFromTheFolder()
    {
        QFETCH(QString, name);
        QFETCH(QString, answer);
        QFETCH(QString, attached);
        QFETCH(QString, refused);
        QTemporaryDir elsewhere;
        testfiles::writeBytes(elsewhere.filePath("terms.txt"), "not the team's");
#ifdef Q_OS_WIN
        if (name == "Linked")
            QSKIP("no links on Windows");
#endif
        if (name == "Linked")
            QVERIFY(QFile::link(elsewhere.path(), path("outside")));

        // The template as the list holds it.
        storemodel::EntryList list;
        store::TemplateStore templates(dataFolder());
        store::LoadTemplateList(templates, list);
        std::optional<store::EditorValues> editor;
        for (const QString &entry : std::as_const(list.entries)) {
            if (store::DecodeListEntry(entry).name == name)
                editor = store::EditorOf(store::DecodeListEntry(entry));
        }
        QVERIFY(editor);
        substitute::PlaceholderValues values;
        values.calendar.today = [] { return QDate(2024, 2, 28); };
        values.answers.insert("Report", answer);
        FakePairs pairs;
        const compose::LaunchOutcome outcome =
            compose::ComposeEmail(*editor, pairs, compose::RecordingMailClient::factory(mailLog), values, dataFolder());

        QStringList added;
        for (const QString &line : std::as_const(*mailLog)) {
            if (line.startsWith("Attachments.Add "))
                added << QDir(dataFolder()).relativeFilePath(QFileInfo(line.mid(16)).canonicalFilePath());
        }
        QCOMPARE(added, attached.split(u'|', Qt::SkipEmptyParts));
        QCOMPARE(outcome.displayed, refused.isEmpty());
        QVERIFY2(outcome.message.contains(refused), qPrintable(outcome.message));
        if (name == "Newsletter")
            QVERIFY(mailLog->contains("HTMLBody=<p>News of the team</p>\r\n"));
    }
};

QTEST_MAIN(TestAttachmentPaths)
#include "tst_attachmentpaths.moc"
