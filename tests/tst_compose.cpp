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
    void plainOptionAloneDecides()
    {
        for (const bool html : {false, true}) {
            for (const bool plain : {false, true}) {
                m_log->clear();
                Editor editor;
                editor.plain = plain;
                editor.html = html;
                editor.bodyText = QStringLiteral("typed");
                editor.location = file(QStringLiteral("f.html"), "<i>file</i>");
                QVERIFY(launch(editor).displayed);
                QCOMPARE(m_log->mid(5, 3), plain ? QStringList({"BodyFormat=3", "BodyFormat=1", "Body=typed"})
                                                 : QStringList({"BodyFormat=3", "BodyFormat=2", "HTMLBody=<i>file</i>"}));
            }
        }
    }

    // Parts are trimmed at their ends, as a list is typed, and empty parts
    // are left out.
    void attachmentPartsAreTrimmed()
    {
        Editor editor;
        editor.attachmentPaths = " ;" + file("a.txt") + "; " + file("b c.txt") + " \t;; ;";
        QVERIFY(launch(editor).displayed);
        QCOMPARE(m_log->filter(QStringLiteral("Attachments.Add")),
                 QStringList({"Attachments.Add " + m_dir.filePath("a.txt"), "Attachments.Add " + m_dir.filePath("b c.txt")}));
    }

    // ---- failures: nothing is displayed and the user is told why ----------

    // A file that cannot be read, in either box, is named, and nothing is
    // shown or attached: a bad attachment is found before the mail client
    // is even started, an HTML file once the item is made, which is let go
    // of.
    void badFileStartsNothing_data() { testdata::addRows(QStringLiteral("bad-files")); }
    void badFileStartsNothing()
    {
        QFETCH(QString, location);
        QFETCH(QString, box);
        QFETCH(QString, named);
#ifdef Q_OS_UNIX
        mkfifo(QFile::encodeName(m_dir.filePath("pipe.html")).constData(), 0600);
#else
        if (named.contains("pipe") || named.startsWith("/dev/"))
            QSKIP("no pipe, no /dev/zero");
#endif
        Editor editor;
        editor.plain = location == u"plain";
        editor.location = editor.plain ? QString() : paths(location, false);
        editor.attachmentPaths = paths(box, false);
        const compose::LaunchOutcome outcome = launch(editor);
        QVERIFY(!outcome.displayed);
        QVERIFY2(outcome.message.contains(paths(named, true)), qPrintable(outcome.message));
        QCOMPARE(m_log->isEmpty(), editor.plain);
        QVERIFY(editor.plain || m_log->last() == u"Release"); // the item made was let go of
        QVERIFY(!m_log->contains(QStringLiteral("Display")));
        QVERIFY(m_log->filter(QStringLiteral("Attachments.Add")).isEmpty());
        QCOMPARE(editor.yields, 0);
    }

    // Every operation of the mail client can fail; the launch stops there,
    // and only the release of the item follows.
    void failingOperationEndsTheLaunch_data() { testdata::addRows(QStringLiteral("failing-client-calls")); }
    void failingOperationEndsTheLaunch()
    {
        QFETCH(QString, operation);
        QFETCH(QString, occurrence);
        QFETCH(QString, lastCall);
        Editor editor;
        editor.toText = QStringLiteral("t");
        editor.ccText = QStringLiteral("c");
        editor.bccText = QStringLiteral("b");
        editor.subjectText = QStringLiteral("s");
        editor.bodyText = QStringLiteral("text");
        editor.attachmentPaths = file(QStringLiteral("1")) + u';' + file(QStringLiteral("2"));
        const QStringList operations{"None", "Create", "CreateItem", "Put", "BodyFormat", "AttachmentsAdd", "Display"};
        const compose::LaunchOutcome outcome =
            launch(editor, {}, {Operation(operations.indexOf(operation)), occurrence.toInt()});
        QVERIFY(!outcome.displayed && !outcome.message.isEmpty());
        const qsizetype at = m_log->indexOf(QStringLiteral("failed"));
        QCOMPARE(m_log->value(at - 1), paths(lastCall, false));
        const QStringList after = lastCall.isEmpty() || lastCall.startsWith("CreateItem") ? QStringList() : QStringList{"Release"};
        QCOMPARE(m_log->mid(at + 1), at < 0 ? QStringList() : after);
        QCOMPARE(m_log->count(QStringLiteral("Display")), lastCall == u"Display" ? 1 : 0);
    }
};

QTEST_GUILESS_MAIN(TestCompose)
#include "tst_compose.moc"
