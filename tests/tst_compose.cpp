// Launching a template: the calls ComposeEmail makes on the mail client, in
// order, and what happens when one of its steps fails.
#include "compose/compose.h"
#include "support/recordingmailclient.h"
#include "support/fakepairs.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using compose::RecordingMailClient;
using Operation = RecordingMailClient::Operation;

namespace {

using Editor = store::EditorValues;

QStringList lines(std::initializer_list<const char *> texts)
{
    QStringList list;
    for (const char *text : texts)
        list << QString::fromUtf8(text);
    return list;
}

} // namespace

class TestCompose : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    RecordingMailClient::Log m_log;

    QString file(const QString &name, const QByteArray &bytes = "content")
    {
        return testfiles::writeFile(m_dir.filePath(name), bytes);
    }

    compose::LaunchOutcome launch(Editor &editor, FakePairs &pairs, RecordingMailClient::Failure failure = {})
    {
        return compose::ComposeEmail(editor, pairs, RecordingMailClient::factory(m_log, failure));
    }

private slots:
    void init() { m_log = std::make_shared<QStringList>(); }

    // The HTML file's own encoding decides how it is read: a byte-order
    // mark, then its declared charset, then UTF-8 when it is valid, then
    // Windows-1252. Pairs with non-ASCII find texts match the decoded text.
    void htmlFileIsReadInItsOwnEncoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        const QString cafe = QStringLiteral("<p>Caf\u00e9 \u20ac 5</p>");
        const QByteArray utf8 = cafe.toUtf8();
        QTest::newRow("UTF-8, no declaration") << utf8 << cafe;
        QTest::newRow("UTF-8 with a mark") << "\xef\xbb\xbf" + utf8 << cafe;
        QByteArray le("\xff\xfe"), be("\xfe\xff");
        for (const QChar c : cafe) {
            le += char(c.unicode() & 0xff), le += char(c.unicode() >> 8);
            be += char(c.unicode() >> 8), be += char(c.unicode() & 0xff);
        }
        QTest::newRow("UTF-16LE with a mark") << le << cafe;
        QTest::newRow("UTF-16BE with a mark") << be << cafe;
        QTest::newRow("Windows-1252, no declaration") << QByteArray("<p>Caf\xe9 \x80 5</p>") << cafe;
        // Bytes that are valid UTF-8 too: the declaration wins.
        const QByteArray declared1252 = "<meta charset=\"windows-1252\"><p>Caf\xc3\xa9</p>";
        QTest::newRow("declared windows-1252") << declared1252 << QString::fromLatin1(declared1252);
        const QByteArray equiv = "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=ISO-8859-1\">\xc3\xa9";
        QTest::newRow("http-equiv iso-8859-1") << equiv << QString::fromLatin1(equiv);
        const QByteArray declaredUtf8 = "<meta charset='utf-8'>" + utf8;
        QTest::newRow("declared utf-8") << declaredUtf8 << QString::fromUtf8(declaredUtf8);
        const QByteArray unknown = "<meta charset=\"x-no-such-charset\">" + utf8;
        QTest::newRow("unknown charset: UTF-8 found") << unknown << QString::fromUtf8(unknown);
        if (QStringDecoder("ISO-8859-15").isValid()) {
            const QByteArray latin9 = "<meta http-equiv=\"content-type\" content=\"text/html;charset=iso-8859-15\">\xa4";
            QTest::newRow("declared iso-8859-15") << latin9 << QString::fromLatin1(latin9.chopped(1)) + QChar(0x20ac);
        }
    }
    void htmlFileIsReadInItsOwnEncoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        Editor editor;
        editor.plain = false;
        editor.location = file(QStringLiteral("encoded.html"), bytes);
        FakePairs pairs;
        pairs.set(0, QStringLiteral("Caf\u00e9 \u20ac"), QStringLiteral("Tea \u00a3"));
        QVERIFY(launch(editor, pairs).displayed);
        QCOMPARE(m_log->at(7), QStringLiteral("HTMLBody=") + QString(text).replace(QStringLiteral("Caf\u00e9 \u20ac"),
                                                                                    QStringLiteral("Tea \u00a3")));
    }

    // The Plain Text option alone picks the body; the HTML option is not read.
    void plainOptionAloneDecides_data()
    {
        QTest::addColumn<bool>("plain");
        QTest::addColumn<bool>("html");
        QTest::addColumn<QString>("bodyLine");
        QTest::newRow("plain") << true << false << QStringLiteral("Body=typed");
        QTest::newRow("both set") << true << true << QStringLiteral("Body=typed");
        QTest::newRow("html") << false << true << QStringLiteral("HTMLBody=<i>file</i>");
        QTest::newRow("neither set") << false << false << QStringLiteral("HTMLBody=<i>file</i>");
    }
    void plainOptionAloneDecides()
    {
        QFETCH(bool, plain);
        QFETCH(bool, html);
        QFETCH(QString, bodyLine);
        Editor editor;
        editor.plain = plain;
        editor.html = html;
        editor.bodyText = QStringLiteral("typed");
        editor.location = file(QStringLiteral("f.html"), "<i>file</i>");
        FakePairs pairs;
        QVERIFY(launch(editor, pairs).displayed);
        QCOMPARE(m_log->at(5), QStringLiteral("BodyFormat=3"));
        QCOMPARE(m_log->at(7), bodyLine);
        QCOMPARE(m_log->at(6), plain ? QStringLiteral("BodyFormat=1") : QStringLiteral("BodyFormat=2"));
    }

    void pairsOnlyTouchSubjectAndBody()
    {
        const QString path = file(QStringLiteral("KEY.txt"));
        Editor editor;
        editor.toText = QStringLiteral("KEY@to.org");
        editor.ccText = QStringLiteral("KEY@cc.org");
        editor.bccText = QStringLiteral("KEY@bcc.org");
        editor.subjectText = QStringLiteral("KEY subject");
        editor.bodyText = QStringLiteral("KEY body");
        editor.attachmentPaths = path;
        FakePairs pairs;
        pairs.find[10] = QStringLiteral("KEY");
        pairs.replace[10] = QStringLiteral("VALUE");
        QVERIFY(launch(editor, pairs).displayed);
        QCOMPARE(m_log->mid(1, 4), (lines({"To=KEY@to.org", "CC=KEY@cc.org", "BCC=KEY@bcc.org", "Subject=VALUE subject"})));
        QCOMPARE(m_log->at(7), QStringLiteral("Body=VALUE body"));
        QCOMPARE(m_log->at(8), QStringLiteral("Attachments.Add ") + path);
    }

    // Parts are trimmed at their ends, as a list is typed, and empty parts
    // are left out; the ";" inside a name still splits it.
    void attachmentPartsAreTrimmed()
    {
        file(QStringLiteral("a.txt"));
        file(QStringLiteral("b c.txt"));
        file(QStringLiteral("c;d.txt")); // cannot be named: the box splits at every ";"
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        Editor editor;
        editor.attachmentPaths = QStringLiteral(" ;a.txt; b c.txt \t;; ;");
        FakePairs pairs;
        const bool displayed = launch(editor, pairs).displayed;
        editor.attachmentPaths = QStringLiteral("a.txt;c;d.txt");
        const compose::LaunchOutcome second = launch(editor, pairs);
        QDir::setCurrent(before);
        QVERIFY(displayed);
        QCOMPARE(m_log->filter(QStringLiteral("Attachments.Add")),
                 lines({"Attachments.Add a.txt", "Attachments.Add b c.txt"}));
        QVERIFY(!second.displayed);
        QVERIFY2(second.message.contains(QLatin1String("\"c\"")), qPrintable(second.message));
    }

    // The editor is read afresh at each step: what a yield changes is what
    // the later steps see.
    void editorIsReadAfreshAfterYields()
    {
        Editor editor;
        editor.subjectText = QStringLiteral("s");
        editor.bodyText = QStringLiteral("old body");
        FakePairs pairs;
        pairs.find[0] = QStringLiteral("zz");
        int pairYields = 0;
        pairs.onYield = [&](int) {
            if (++pairYields == 1)
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
        FakePairs pairs;
        editor.onYield = [&](int n) {
            if (n != 1)
                return;
            Editor inner;
            inner.subjectText = QStringLiteral("inner");
            QVERIFY(launch(inner, pairs).displayed);
        };
        QVERIFY(launch(editor, pairs).displayed);
        QCOMPARE(m_log->filter(QRegularExpression(QStringLiteral("^(Subject|Display|Release)"))),
                 lines({"Subject=outer", "Subject=inner", "Display", "Release", "Display", "Release"}));
    }

    // ---- failures: nothing is displayed and the user is told why ----------

    void missingOrUnnamedHtmlFile_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("named");
        const QString missing = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("gone.html")));
        QTest::newRow("missing file") << m_dir.filePath(QStringLiteral("gone.html")) << missing;
        QTest::newRow("a folder") << m_dir.path() << QDir::toNativeSeparators(m_dir.path());
        QTest::newRow("empty box") << QString() << QStringLiteral("Saved HTML Email Location");
#ifdef Q_OS_UNIX
        // Neither is read: a pipe would wait for a writer, /dev/zero never ends.
        const QString fifo = m_dir.filePath(QStringLiteral("pipe.html"));
        QFile::remove(fifo);
        if (mkfifo(QFile::encodeName(fifo).constData(), 0600) != 0)
            qFatal("cannot make a pipe");
        QTest::newRow("a pipe") << fifo << QDir::toNativeSeparators(fifo);
        QTest::newRow("/dev/zero") << QStringLiteral("/dev/zero") << QStringLiteral("/dev/zero");
#endif
    }
    void missingOrUnnamedHtmlFile()
    {
        QFETCH(QString, location);
        QFETCH(QString, named);
        Editor editor;
        editor.plain = false;
        editor.location = location;
        editor.attachmentPaths = file(QStringLiteral("x.txt"));
        FakePairs pairs;
        const compose::LaunchOutcome outcome = launch(editor, pairs);
        QVERIFY(!outcome.displayed);
        QVERIFY2(outcome.message.contains(named), qPrintable(outcome.message));
        // The item was made and let go of, never shown, nothing attached.
        QCOMPARE(m_log->last(), QStringLiteral("Release"));
        QVERIFY(!m_log->contains(QStringLiteral("Display")));
        QVERIFY(m_log->filter(QStringLiteral("Attachments.Add")).isEmpty());
        QCOMPARE(editor.yields, 0);
    }

    // A bad attachment is found before the mail client is even started.
    void badAttachmentStartsNothing_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("named");
        const QString good = file(QStringLiteral("good.txt"));
        const QString gone = m_dir.filePath(QStringLiteral("gone.txt"));
        QTest::newRow("missing file") << good + u';' + gone << QDir::toNativeSeparators(gone);
        QTest::newRow("a folder") << m_dir.path() << QDir::toNativeSeparators(m_dir.path());
        QTest::newRow("spaces around a missing file") << good + QStringLiteral(";  ") + gone + u' '
                                                      << u'"' + QDir::toNativeSeparators(gone) + u'"';
    }
    void badAttachmentStartsNothing()
    {
        QFETCH(QString, box);
        QFETCH(QString, named);
        Editor editor;
        editor.attachmentPaths = box;
        FakePairs pairs;
        const compose::LaunchOutcome outcome = launch(editor, pairs);
        QVERIFY(!outcome.displayed);
        QVERIFY2(outcome.message.contains(named), qPrintable(outcome.message));
        QVERIFY2(m_log->isEmpty(), qPrintable(m_log->join(u'\n')));
    }

    // A file that goes away between the check and the adding: the client's
    // own Add fails, and the item with what was added is not displayed.
    void attachmentThatVanishesWhileYielding()
    {
        const QString first = file(QStringLiteral("1.txt")), second = file(QStringLiteral("2.txt"));
        Editor editor;
        editor.attachmentPaths = first + u';' + second;
        editor.onYield = [&](int n) {
            if (n == 2)
                QFile::remove(second);
        };
        FakePairs pairs;
        const compose::LaunchOutcome outcome = launch(editor, pairs);
        QVERIFY(!outcome.displayed);
        QVERIFY2(outcome.message.contains(second), qPrintable(outcome.message));
        QCOMPARE(m_log->mid(m_log->size() - 4),
                 (QStringList{QStringLiteral("Attachments.Add ") + first, QStringLiteral("Attachments.Add ") + second,
                              QStringLiteral("failed"), QStringLiteral("Release")}));
    }

    // Every operation of the mail client can fail; the launch stops there.
    void failingOperationEndsTheLaunch_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<int>("occurrence");
        QTest::addColumn<QString>("lastCall");
        QTest::newRow("start") << int(Operation::Create) << 1 << QString();
        QTest::newRow("CreateItem") << int(Operation::CreateItem) << 1 << QStringLiteral("CreateItem 0");
        QTest::newRow("To") << int(Operation::Put) << 1 << QStringLiteral("To=t");
        QTest::newRow("CC") << int(Operation::Put) << 2 << QStringLiteral("CC=c");
        QTest::newRow("BCC") << int(Operation::Put) << 3 << QStringLiteral("BCC=b");
        QTest::newRow("Subject") << int(Operation::Put) << 4 << QStringLiteral("Subject=s");
        QTest::newRow("BodyFormat 3") << int(Operation::BodyFormat) << 1 << QStringLiteral("BodyFormat=3");
        QTest::newRow("BodyFormat 1") << int(Operation::BodyFormat) << 2 << QStringLiteral("BodyFormat=1");
        QTest::newRow("Body") << int(Operation::Put) << 5 << QStringLiteral("Body=text");
        QTest::newRow("second Add") << int(Operation::AttachmentsAdd) << 2 << QStringLiteral("Attachments.Add 2");
        QTest::newRow("Display") << int(Operation::Display) << 1 << QStringLiteral("Display");
    }
    void failingOperationEndsTheLaunch()
    {
        QFETCH(int, operation);
        QFETCH(int, occurrence);
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
        FakePairs pairs;
        const compose::LaunchOutcome outcome =
            launch(editor, pairs, {static_cast<Operation>(operation), occurrence});
        QDir::setCurrent(before);
        QVERIFY(!outcome.displayed);
        QVERIFY(!outcome.message.isEmpty());
        if (lastCall.isEmpty()) {
            QVERIFY(m_log->isEmpty());
            return;
        }
        // The failed call is the last one; only the release of the item follows.
        const qsizetype at = m_log->indexOf(QStringLiteral("failed"));
        QVERIFY(at > 0);
        QCOMPARE(m_log->at(at - 1), lastCall);
        const QStringList after = m_log->mid(at + 1);
        QCOMPARE(after, lastCall.startsWith(QLatin1String("CreateItem")) ? QStringList() : lines({"Release"}));
        if (operation != int(Operation::Display))
            QVERIFY(!m_log->contains(QStringLiteral("Display")));
    }
};

QTEST_GUILESS_MAIN(TestCompose)
#include "tst_compose.moc"
