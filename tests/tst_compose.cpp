// Launching a template: the calls ComposeEmail makes on the mail client, in
// order, and what happens when one of its steps fails.
#include "compose/compose.h"
#include "support/fakepairs.h"
#include "support/recordingmailclient.h"
#include "support/testdata.h"
#include "support/testfiles.h"

#include <QDir>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using compose::RecordingMailClient;
using Operation = RecordingMailClient::Operation;
using Editor = store::EditorValues;

class TestCompose : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    RecordingMailClient::Log m_log;

    QString file(const QString &name, const QByteArray &bytes = "content")
    {
        return testfiles::writeFile(m_dir.filePath(name), bytes);
    }

    compose::LaunchOutcome launch(Editor &editor, FakePairs pairs = {}, RecordingMailClient::Failure failure = {})
    {
        return compose::ComposeEmail(editor, pairs, RecordingMailClient::factory(m_log, failure));
    }

    // The paths in a table's cell: {good} a file, {gone} none, {dir} a folder.
    QString paths(QString text, bool native)
    {
        const auto path = [native](const QString &p) { return native ? QDir::toNativeSeparators(p) : p; };
        return text.replace("{good}", path(file("good.txt")))
            .replace("{gone}", path(m_dir.filePath("gone.txt")))
            .replace("{dir}", path(m_dir.path()));
    }

private slots:
    void init() { m_log = std::make_shared<QStringList>(); }

    // The HTML file's own encoding decides how it is read, as editors and
    // mail programs save them (tests/data/html-encodings): a byte-order
    // mark, then its declared charset, then UTF-8 when it is valid, then
    // Windows-1252. Pairs with non-ASCII find texts match the decoded text.
    void htmlFileIsReadInItsOwnEncoding_data()
    {
        QTest::addColumn<QString>("html");
        const QDir folder(testdata::dataDir() + "/html-encodings");
        for (const QString &name : folder.entryList({"*.html"})) {
            if (!name.contains("iso-8859-15") || QStringDecoder("ISO-8859-15").isValid())
                QTest::newRow(qPrintable(name)) << folder.filePath(name);
        }
    }
    void htmlFileIsReadInItsOwnEncoding()
    {
        QFETCH(QString, html);
        Editor editor;
        editor.plain = false;
        editor.location = html;
        FakePairs pairs;
        pairs.set(0, QStringLiteral("Caf\u00e9 \u20ac"), QStringLiteral("Tea \u00a3"));
        QVERIFY(launch(editor, pairs).displayed);
        const QString text = QString::fromUtf8(testfiles::contentsOf(html.chopped(5) + ".expected"));
        QCOMPARE(m_log->at(7), "HTMLBody=" + QString(text).replace(QStringLiteral("Caf\u00e9 \u20ac"), "Tea \u00a3"));
    }

    // The Plain Text option alone picks the body; the HTML option is not read.
    void plainOptionAloneDecides_data()
    {
        QTest::addColumn<bool>("plain");
        QTest::addColumn<bool>("html");
        QTest::newRow("plain") << true << false;
        QTest::newRow("both set") << true << true;
        QTest::newRow("html") << false << true;
        QTest::newRow("neither set") << false << false;
    }
    void plainOptionAloneDecides()
    {
        QFETCH(bool, plain);
        QFETCH(bool, html);
        Editor editor;
        editor.plain = plain;
        editor.html = html;
        editor.bodyText = QStringLiteral("typed");
        editor.location = file(QStringLiteral("f.html"), "<i>file</i>");
        QVERIFY(launch(editor).displayed);
        QCOMPARE(m_log->mid(5, 3), plain ? QStringList({"BodyFormat=3", "BodyFormat=1", "Body=typed"})
                                         : QStringList({"BodyFormat=3", "BodyFormat=2", "HTMLBody=<i>file</i>"}));
    }

    // Parts are trimmed at their ends, as a list is typed, and empty parts
    // are left out; a name with ";" cannot be given.
    void attachmentPartsAreTrimmed()
    {
        file(QStringLiteral("a.txt"));
        file(QStringLiteral("b c.txt"));
        file(QStringLiteral("c;d.txt"));
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        Editor editor;
        editor.attachmentPaths = QStringLiteral(" ;a.txt; b c.txt \t;; ;");
        const bool displayed = launch(editor).displayed;
        editor.attachmentPaths = QStringLiteral("a.txt;c;d.txt");
        const compose::LaunchOutcome second = launch(editor);
        QDir::setCurrent(before);
        QVERIFY(displayed);
        QCOMPARE(m_log->filter(QStringLiteral("Attachments.Add")),
                 QStringList({"Attachments.Add a.txt", "Attachments.Add b c.txt"}));
        QVERIFY(!second.displayed);
        QVERIFY2(second.message.contains(QLatin1String("\"c\"")), qPrintable(second.message));
    }

    // The editor is read afresh at each step: what a yield changes is what
    // the later steps see.
    void editorIsReadAfreshAfterYields()
    {
        Editor editor;
        editor.bodyText = QStringLiteral("old body");
        FakePairs pairs;
        pairs.onYield = [&](int pass) {
            if (pass == 0)
                editor.bodyText = QStringLiteral("new body");
        };
        QVERIFY(launch(editor, pairs).displayed);
        QCOMPARE(m_log->at(7), QStringLiteral("Body=new body"));
    }

    // A launch started while another one yields displays its own item, and
    // the first one goes on with its own.
    void nestedLaunchDisplaysItsOwnItem()
    {
        Editor editor;
        editor.subjectText = QStringLiteral("outer");
        editor.attachmentPaths = file(QStringLiteral("n.txt"));
        editor.onYield = [&](int n) {
            if (n != 1)
                return;
            Editor inner;
            inner.subjectText = QStringLiteral("inner");
            QVERIFY(launch(inner).displayed);
        };
        QVERIFY(launch(editor).displayed);
        QCOMPARE(m_log->filter(QRegularExpression(QStringLiteral("^(Subject|Display|Release)"))),
                 QStringList({"Subject=outer", "Subject=inner", "Display", "Release", "Display", "Release"}));
    }

    // ---- failures: nothing is displayed and the user is told why ----------

    void missingOrUnnamedHtmlFile_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("named");
        QTest::newRow("missing file") << "{gone}" << "{gone}";
        QTest::newRow("a folder") << "{dir}" << "{dir}";
        QTest::newRow("empty box") << QString() << QStringLiteral("Saved HTML Email Location");
#ifdef Q_OS_UNIX
        // Neither is read: a pipe would wait for a writer, /dev/zero never ends.
        QTest::newRow("a pipe") << "{dir}/pipe.html" << "{dir}/pipe.html";
        QTest::newRow("/dev/zero") << QStringLiteral("/dev/zero") << QStringLiteral("/dev/zero");
#endif
    }
    void missingOrUnnamedHtmlFile()
    {
        QFETCH(QString, location);
        QFETCH(QString, named);
#ifdef Q_OS_UNIX
        mkfifo(QFile::encodeName(m_dir.filePath("pipe.html")).constData(), 0600);
#endif
        Editor editor;
        editor.plain = false;
        editor.location = paths(location, false);
        editor.attachmentPaths = file(QStringLiteral("x.txt"));
        const compose::LaunchOutcome outcome = launch(editor);
        QVERIFY(!outcome.displayed);
        QVERIFY2(outcome.message.contains(paths(named, true)), qPrintable(outcome.message));
        // The item was made and let go of, never shown, nothing attached.
        QCOMPARE(m_log->last(), QStringLiteral("Release"));
        QVERIFY(!m_log->contains(QStringLiteral("Display")));
        QVERIFY(m_log->filter(QStringLiteral("Attachments.Add")).isEmpty());
        QCOMPARE(editor.yields, 0);
    }

    // A bad attachment is found before the mail client is even started.
    void badAttachmentStartsNothing_data() { testdata::addRows(QStringLiteral("bad-attachments")); }
    void badAttachmentStartsNothing()
    {
        QFETCH(QString, box);
        QFETCH(QString, named);
        Editor editor;
        editor.attachmentPaths = paths(box, false);
        const compose::LaunchOutcome outcome = launch(editor);
        QVERIFY(!outcome.displayed);
        QVERIFY2(outcome.message.contains(paths(named, true)), qPrintable(outcome.message));
        QVERIFY2(m_log->isEmpty(), qPrintable(m_log->join(u'\n')));
    }

    // Every operation of the mail client can fail; the launch stops there,
    // and only the release of the item follows.
    void failingOperationEndsTheLaunch_data() { testdata::addRows(QStringLiteral("failing-client-calls")); }
    void failingOperationEndsTheLaunch()
    {
        QFETCH(QString, operation);
        QFETCH(QString, occurrence);
        QFETCH(QString, lastCall);
        file(QStringLiteral("1"));
        file(QStringLiteral("2"));
        const QString before = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        Editor editor;
        editor.toText = QStringLiteral("t");
        editor.ccText = QStringLiteral("c");
        editor.bccText = QStringLiteral("b");
        editor.subjectText = QStringLiteral("s");
        editor.bodyText = QStringLiteral("text");
        editor.attachmentPaths = QStringLiteral("1;2");
        const QStringList operations{"None", "Create", "CreateItem", "Put", "BodyFormat", "AttachmentsAdd", "Display"};
        const compose::LaunchOutcome outcome =
            launch(editor, {}, {Operation(operations.indexOf(operation)), occurrence.toInt()});
        QDir::setCurrent(before);
        QVERIFY(!outcome.displayed && !outcome.message.isEmpty());
        const qsizetype at = m_log->indexOf(QStringLiteral("failed"));
        QCOMPARE(m_log->value(at - 1), lastCall);
        const QStringList after = lastCall.isEmpty() || lastCall.startsWith("CreateItem") ? QStringList() : QStringList{"Release"};
        QCOMPARE(m_log->mid(at + 1), at < 0 ? QStringList() : after);
        QCOMPARE(m_log->count(QStringLiteral("Display")), lastCall == u"Display" ? 1 : 0);
    }
};

QTEST_GUILESS_MAIN(TestCompose)
#include "tst_compose.moc"
