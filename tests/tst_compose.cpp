// Launching a template: the calls ComposeEmail makes on the mail client, in
// order, and what happens when a file cannot be read or one of its steps
// fails.
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

    // The paths in a table's cell: {good} a file, {gone} none, {dir} a folder.
    QString paths(QString text, bool native)
    {
        const auto path = [native](const QString &p) { return native ? QDir::toNativeSeparators(p) : p; };
        return text.replace("{good}", path(testfiles::writeFile(m_dir.filePath("a good.txt"), "content")))
            .replace("{gone}", path(m_dir.filePath("gone.txt")))
            .replace("{dir}", path(m_dir.path()));
    }

private slots:
    // A launch's calls on the mail client, in order, and what it says. The
    // Plain Text option alone picks the body; the HTML option is not read.
    // The HTML file's own encoding decides how it is read, as editors and
    // mail programs save them (tests/data/html-encodings): a byte-order mark,
    // then its declared charset, then UTF-8 when it is valid, then
    // Windows-1252; pairs with non-ASCII find texts match the decoded text.
    // The attachments' parts are trimmed at their ends, as a list is typed,
    // and empty parts left out. A file that cannot be read, in either box,
    // is named, and nothing is shown or attached. Every call of the mail
    // client can fail: the launch stops there, and only the release of the
    // item follows.
    void launches_data() { testdata::addRows(QStringLiteral("launch-calls")); }
    void launches()
    {
        QFETCH(QString, options);
        QFETCH(QString, location);
        QFETCH(QString, attachments);
        QFETCH(QString, fails);
        QFETCH(QString, calls);
        QFETCH(QString, said);
#ifdef Q_OS_UNIX
        mkfifo(QFile::encodeName(m_dir.filePath("pipe.html")).constData(), 0600);
#else
        if (said.contains("pipe") || said.startsWith("/dev/"))
            QSKIP("no pipe, no /dev/zero");
#endif
        if (location.contains("iso-8859-15") && !QStringDecoder("ISO-8859-15").isValid())
            QSKIP("no ISO-8859-15 decoder here");
        Editor editor;
        editor.plain = options.contains("plain");
        editor.html = options.contains("html");
        editor.bodyText = QStringLiteral("typed");
        editor.location = paths(location, false);
        editor.attachmentPaths = paths(attachments, false);
        FakePairs pairs;
        pairs.set(0, QStringLiteral("Caf\u00e9 \u20ac"), QStringLiteral("Tea \u00a3"));
        const QStringList operations{"", "Create", "CreateItem", "Put", "BodyFormat", "AttachmentsAdd", "Display"};
        const Operation failing = Operation(operations.indexOf(fails.section(u' ', 0, 0)));
        const RecordingMailClient::Log log = std::make_shared<QStringList>();
        const compose::LaunchOutcome outcome = compose::ComposeEmail(
            editor, pairs, RecordingMailClient::factory(log, {failing, fails.section(u' ', 1).toInt()}));
        QCOMPARE(outcome.displayed, said.isEmpty());
        QVERIFY2(outcome.message.contains(paths(said, true)), qPrintable(outcome.message));
        QCOMPARE(*log, paths(calls, false).split(u'|', Qt::SkipEmptyParts));
    }
};

QTEST_GUILESS_MAIN(TestCompose)
#include "tst_compose.moc"
