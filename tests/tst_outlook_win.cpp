// Launching on Windows, the window driven as a user drives it. First into
// Outlook, through the program's own Outlook adapter and COM, against the
// stand-in Outlook (standins/outlook_standin_win.cpp) registered as
// "Outlook.Application": its log says which calls reached "Outlook", in
// which order, with which values and types. Then on a Windows without
// classic Outlook, where what the desktop's programs are given is seen by a
// stand-in program (standins/recordargs_win.cpp) registered in the registry
// the way Thunderbird and the program for e-mail files register themselves.

#include "support/mailprograms.h"
#include "support/testdata.h"
#include "support/testfiles.h"
#include "support/windowtest.h"

#include <QInputMethodEvent>
#include <QProcess>
#include <QSettings>
#include <QUrl>

#include <array>
#include <optional>

#include <windows.h>
#include <objbase.h>

using testfiles::contentsOf;
using testfiles::writeBytes;

namespace {

// Registry values as a program writes them to register itself, each as its
// key, its name ("Default" for the key's own value) and its text.
using Registration = QList<std::array<QString, 3>>;

void writeRegistry(const Registration &values)
{
    for (const auto &[key, name, text] : values)
        QSettings(key, QSettings::NativeFormat).setValue(name, text);
}

void removeFromRegistry(const Registration &values)
{
    for (const auto &[key, name, text] : values)
        QSettings(key, QSettings::NativeFormat).remove(name);
}

// Where the stand-in Outlook reads, at every call, what it is to do.
const QString kOutlookKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Letterloom\\Outlook stand-in");

// The stand-in Outlook, registered as "Outlook.Application" while this
// lives, and its log of the calls it gets.
class StandInOutlook
{
public:
    explicit StandInOutlook(const QString &program) : m_program(program), m_log(m_folder.filePath("outlook.log"))
    {
        m_registered = m_folder.isValid() && QProcess::execute(m_program, {"/RegServer"}) == 0;
        failAt(QString());
    }
    ~StandInOutlook()
    {
        if (m_registered)
            QProcess::execute(m_program, {"/UnregServer"});
        QSettings(kOutlookKey, QSettings::NativeFormat).remove(QString());
    }
    bool registered() const { return m_registered; }

    // From now on the call named fails with a COM exception ("Add#2" for
    // the second Add; empty: none), and the log starts afresh.
    void failAt(const QString &call) const
    {
        QSettings settings(kOutlookKey, QSettings::NativeFormat);
        settings.setValue("Log", QDir::toNativeSeparators(m_log));
        settings.setValue("FailAt", call);
        settings.sync();
        QFile::remove(m_log);
    }
    // The log's lines so far. The releases are sent when the launch lets go
    // of its objects, so the last one may still be on its way.
    QStringList log() const { return QString::fromUtf8(contentsOf(m_log)).split("\r\n", Qt::SkipEmptyParts); }

private:
    QString m_program;
    QTemporaryDir m_folder;
    QString m_log;
    bool m_registered = false;
};

// A text as the log writes it: quoted, with backslash, quote, CR, LF and
// TAB escaped.
QString quoted(QString text)
{
    const std::pair<char16_t, const char *> escapes[] = {
        {u'\\', "\\\\"}, {u'"', "\\\""}, {u'\r', "\\r"}, {u'\n', "\\n"}, {u'\t', "\\t"}};
    for (const auto &[c, escaped] : escapes)
        text.replace(QChar(c), QLatin1String(escaped));
    return u'"' + text + u'"';
}

QString put(const char *property, const QString &text)
{
    return QStringLiteral("MailItem.%1 = VT_BSTR %2").arg(QLatin1String(property), quoted(text));
}

// The stand-in's log of a launch that goes through: the item made, To, CC,
// BCC and Subject put, the body in its format (1 plain text, 2 HTML), each
// file attached, the item displayed and every object let go of.
QStringList launchLog(const QStringList &toCcBccSubject, int bodyFormat, const QString &body,
                      const QStringList &attachments = {})
{
    QStringList lines = {"new Application", "Application.CreateItem(VT_I4 0) -> MailItem"};
    const char *const fields[] = {"To", "CC", "BCC", "Subject"};
    for (int i = 0; i < 4; ++i)
        lines << put(fields[i], toCcBccSubject[i]);
    lines << "MailItem.BodyFormat = VT_I4 3" << QStringLiteral("MailItem.BodyFormat = VT_I4 %1").arg(bodyFormat)
          << put(bodyFormat == 2 ? "HTMLBody" : "Body", body);
    for (const QString &path : attachments) {
        lines << "MailItem.Attachments -> Attachments"
              << QStringLiteral("Attachments.Add(VT_BSTR %1) -> Attachment")
                     .arg(quoted(QDir::toNativeSeparators(path)))
              << "release Attachment" << "release Attachments";
    }
    return lines << "MailItem.Display()" << "release MailItem" << "release Application";
}

} // namespace

class TestOutlook : public WindowTest
{
    Q_OBJECT

    std::optional<StandInOutlook> m_outlook;
    QTemporaryDir m_programs; // the other stand-ins, under the names Windows knows them by
    QString m_record;
    QString m_drafts;
    Registration m_thunderbird;
    Registration m_emailFileProgram;

    QString standIn(const QString &name) const { return QDir::toNativeSeparators(m_programs.filePath(name)); }
    QString profiles() const { return QDir(qEnvironmentVariable("APPDATA")).filePath("Thunderbird/profiles.ini"); }
    QStringList drafts() const { return QDir(m_drafts).entryList({"*.eml"}, QDir::Files); }

    void prepareTest() override
    {
        desktopMailClient = true;
        // The stand-in is "Outlook.Application" for the tests named
        // outlook..., and the others find no classic Outlook.
        const bool outlook = QByteArray(QTest::currentTestFunction()).startsWith("outlook");
        if (outlook && !m_outlook)
            m_outlook.emplace(OUTLOOK_STANDIN);
        else if (!outlook)
            m_outlook.reset();
        QVERIFY2(!outlook || m_outlook->registered(), "the stand-in Outlook could not be registered");
        CLSID clsid;
        QCOMPARE(SUCCEEDED(CLSIDFromProgID(L"Outlook.Application", &clsid)), outlook);
        if (outlook)
            m_outlook->failAt(QString());
        QFile::remove(m_record);
        QDir(m_drafts).removeRecursively();
        QFile::remove(profiles());
        removeFromRegistry(m_thunderbird);
        writeRegistry(m_emailFileProgram);
    }

private slots:
    void initTestCase()
    {
        // It changes the machine's registry: only in a throwaway Wine prefix
        // or Windows, which says so.
        if (!qEnvironmentVariableIsSet("LETTERLOOM_THROWAWAY_WINDOWS"))
            QSKIP("this test registers stand-ins for other programs: it runs in a throwaway Wine prefix or Windows "
                  "only (LETTERLOOM_THROWAWAY_WINDOWS=1)");
        QVERIFY(m_programs.isValid());
        QVERIFY(QDir(m_programs.path()).mkpath("Mozilla Thunderbird"));
        for (const char *name : {"Mozilla Thunderbird/thunderbird.exe", "mailreader.exe"})
            QVERIFY(QFile::copy(RECORDARGS_STANDIN, m_programs.filePath(name)));
        m_record = m_programs.filePath("arguments");
        qputenv("LETTERLOOM_STANDIN_RECORD", QDir::toNativeSeparators(m_record).toLocal8Bit());
        const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        m_drafts = QDir(documents).filePath("Letterloom/Drafts");

        // Thunderbird as it registers itself: the handler of mailto:
        // addresses, started as thunderbird.exe -osint -compose "%1".
        m_thunderbird = {
            {"HKEY_CLASSES_ROOT\\Thunderbird.Url.mailto", "Default", "Thunderbird URL"},
            {"HKEY_CLASSES_ROOT\\Thunderbird.Url.mailto\\shell\\open\\command", "Default",
             u'"' + standIn("Mozilla Thunderbird/thunderbird.exe") + "\" -osint -compose \"%1\""},
            {"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\mailto\\"
             "UserChoice",
             "ProgId", "Thunderbird.Url.mailto"},
        };
        // E-mail files opened with the stand-in "mail reader".
        m_emailFileProgram = {
            {"HKEY_CLASSES_ROOT\\LetterloomTests.eml\\shell\\open\\command", "Default",
             u'"' + standIn("mailreader.exe") + "\" \"%1\""},
            {"HKEY_CLASSES_ROOT\\.eml", "Default", "LetterloomTests.eml"},
        };
    }
    void cleanupTestCase()
    {
        m_outlook.reset();
        if (m_record.isEmpty())
            return; // nothing was changed
        removeFromRegistry(m_thunderbird);
        removeFromRegistry(m_emailFileProgram);
        QFile::remove(profiles());
    }

    // A message in any script, as an input method types it, pairs typed,
    // launched as HTML: addresses go as typed (Outlook resolves ";"
    // itself), pictures named by relative paths reach Outlook as file: URLs.
    // (A plain body with attachments goes through in every row of the next
    // test.)
    void outlookGetsTheMessageExactly()
    {
        writeBytes(path("logo.png"), "\x89PNG\r\n\x1a\n");
        writeBytes(path("letter.html"), "<p>\xc5\x81\xc3\xb3" "d\xc5\xba [Name]</p><img src=\"logo.png\">");
        const QStringList texts{"\"Kowalski, \u0141ukasz\" <l@example.pl>; [Email]", "\u674e\u660e <li@example.cn>",
                                "boss@example.com; audit@example.com",
                                "Za\u017c\u00f3\u0142\u0107 \U0001F600 [Name] \u2013 \u20ac 5"};
        Form1 *w = openWindow();
        const char *const boxes[] = {"Text5", "Text4", "Text10", "Text2"};
        for (int i = 0; i < 4; ++i) {
            QInputMethodEvent typed;
            typed.setCommitString(texts.at(i));
            QApplication::sendEvent(control<QWidget>(w, QLatin1String(boxes[i])), &typed);
        }
        QTest::mouseClick(button(w, "Option2"), Qt::LeftButton);
        typeInto(w, {{"Text8", QDir::toNativeSeparators(path("letter.html"))}, {"TextFind_0", "[Name]"},
                     {"TextReplaceit_0", "Mrs Smith"}, {"TextFind_10", "[Email]"},
                     {"TextReplaceit_10", "smith@example.com"}});
        QTest::mouseClick(button(w, "Command1"), Qt::LeftButton);
        const QString logo = QUrl::fromLocalFile(path("logo.png")).toString(QUrl::FullyEncoded);
        QVERIFY2(logo.startsWith("file:///"), qPrintable(logo));
        const QStringList fields{texts[0], texts[1], texts[2],
                                 "Za\u017c\u00f3\u0142\u0107 \U0001F600 Mrs Smith \u2013 \u20ac 5"};
        QTRY_COMPARE_WITH_TIMEOUT(
            m_outlook->log(), launchLog(fields, 2, "<p>\u0141\u00f3d\u017a Mrs Smith</p><img src=\"" + logo + "\">"),
            10000);
    }

    // Outlook refusing any one call with a COM exception: the launch stops
    // there, nothing is displayed, and the user is told once, with Outlook's
    // reason; the calls before were those of a launch that goes through, the
    // objects made were let go of, the last made first; the next launch goes
    // through.
    void outlookFailsAtEachStep_data() { testdata::addRows(QStringLiteral("outlook-failures")); }
    void outlookFailsAtEachStep()
    {
        QFETCH(QString, failAt);
        QFETCH(QString, failedCall);
        QFETCH(QString, released);
        const QString one = path("one.txt"), two = path("two.txt");
        writeBytes(one, "1");
        writeBytes(two, "2");
        failedCall.replace("%1", quoted(QDir::toNativeSeparators(one)))
            .replace("%2", quoted(QDir::toNativeSeparators(two)));
        const QStringList launched = launchLog({"to@example.com", "", "", "Hello"}, 1, "Text", {one, two});
        m_outlook->failAt(failAt);
        Form1 *w = openWindow();
        typeInto(w, {{"Text5", "to@example.com"}, {"Text2", "Hello"}, {"Text7", "Text"},
                     {"Text3", QDir::toNativeSeparators(one) + u';' + QDir::toNativeSeparators(two)}});
        QTest::mouseClick(button(w, "Command1"), Qt::LeftButton);

        const QString reason = QStringLiteral("The stand-in was told to fail at %1.").arg(failAt.section(u'#', 0, 0));
        QCOMPARE(messages().size(), 1);
        QVERIFY2(messages()[0].contains(reason), qPrintable(messages()[0]));
        QTRY_VERIFY_WITH_TIMEOUT(m_outlook->log().endsWith("release Application"), 10000);
        const QStringList lines = m_outlook->log();
        const QString failedLine = failedCall + " -> exception: " + reason;
        QCOMPARE(lines, launched.mid(0, lines.indexOf(failedLine)) << failedLine
                            << released.split(u'|', Qt::SkipEmptyParts) << "release Application");
        QCOMPARE(box(w, "Text2")->text(), "Hello");
        m_outlook->failAt(QString());
        QTest::mouseClick(button(w, "Command1"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(m_outlook->log(), launched, 10000);
    }

    // Without Outlook, Thunderbird when it is the default: Thunderbird itself
    // gets "-compose" and the message, not the handler's own arguments, which
    // are for addresses. Launched through letterloom.com, read through pipes
    // as a console or a script reads it, which ends with the launch while
    // Thunderbird stays running.
    void thunderbirdWhenItIsTheDefault()
    {
        writeRegistry(m_thunderbird);
        QVERIFY(QDir().mkpath(QFileInfo(profiles()).path()));
        writeBytes(profiles(), "[Profile0]\r\nName=default\r\nPath=Profiles/x.default\r\n");
        const QString attachment = path("price list, 2026.pdf");
        writeBytes(attachment, "%PDF");
        writeData(recordLine({"Offer", "Offer for you, 50% off", QDir::toNativeSeparators(attachment),
                              "bob@example.org, carl@example.org", "ann@example.org", "dora@example.org", "True",
                              "False", ""}));
        writeBytes(path("LTM-Offer.txt"), "Dear Ann,\r\na=b & c\r\n");
        for (const char *marker : {".ended", ".stop"})
            QFile::remove(m_record + marker);
        qputenv("LETTERLOOM_STANDIN_STAY", "60");
        QProcess console;
        console.start(LETTERLOOM_CONSOLE, {"--data-folder", dataFolder(), "--launch", "Offer", "--no-ask"});
        const bool ended = console.waitForFinished(40000);
        qunsetenv("LETTERLOOM_STANDIN_STAY");
        QVERIFY2(ended, "letterloom.com waited for the mail program");
        QCOMPARE(console.exitCode(), 0);

        const QStringList arguments = testfiles::recordedArguments(m_record);
        QCOMPARE(arguments.size(), 2);
        QCOMPARE(arguments[0], "-compose");
        mailtesting::Received got = mailtesting::thunderbirdReads(arguments[1]);
        const QStringList attached = got.take("attach");
        QCOMPARE(attached.size(), 1);
        QCOMPARE(QFileInfo(attached[0]).canonicalFilePath(), QFileInfo(attachment).canonicalFilePath());
        const mailtesting::Received expected = {
            {"to", {"ann@example.org"}}, {"cc", {"bob@example.org, carl@example.org"}}, {"bcc", {"dora@example.org"}},
            {"subject", {"Offer for you, 50% off"}}, {"format", {"text"}}, {"body", {"Dear Ann,\na=b & c"}}};
        QCOMPARE(got, expected);
        QVERIFY(drafts().isEmpty());
        QVERIFY(!QFileInfo::exists(m_record + ".ended")); // the mail program still runs
        writeBytes(m_record + ".stop", "");
        QTRY_VERIFY(QFileInfo::exists(m_record + ".ended"));
    }

    // No Thunderbird ready to take the message: it is saved as an unsent
    // draft, opened with the program Windows opens e-mail files with when
    // there is one, and the user is told why and where the draft is.
    void draftOpenedWithTheProgramForEmailFiles_data() { testdata::addRows(QStringLiteral("windows-drafts")); }
    void draftOpenedWithTheProgramForEmailFiles()
    {
        QFETCH(QString, thunderbird);
        QFETCH(QString, emailFileProgram);
        QFETCH(QString, told);
        if (thunderbird == "yes")
            writeRegistry(m_thunderbird);
        if (emailFileProgram == "no")
            removeFromRegistry(m_emailFileProgram);
        writeData(recordLine({"Offer", QStringLiteral("Caf\u00e9 offer"), "", "", "ann@example.org", "", "True",
                              "False", ""}));
        writeBytes(path("LTM-Offer.txt"), "Dear Ann,\r\nprices attached.\r\n");
        Form1 *w = openWindow();
        doubleClickEntry(list(w), 0);

        // One message: why Outlook was not used, and where the draft is.
        QCOMPARE(drafts().size(), 1);
        const QString draft = QDir(m_drafts).filePath(drafts().first());
        QCOMPARE(messages().size(), 1);
        const QString message = messages()[0];
        QVERIFY2(message.startsWith("Classic Outlook is not installed"), qPrintable(message));
        for (const QString &part : told.split(u'|') + QStringList{QDir::toNativeSeparators(draft)})
            QVERIFY2(message.contains(part), qPrintable(message));

        // An unsent draft of the launched template.
        const QByteArray eml = contentsOf(draft);
        for (const char *part : {"\r\nX-Unsent: 1\r\n", "\r\nTo: ann@example.org\r\n", "Dear Ann,\r\nprices attached."})
            QVERIFY2(eml.contains(part), part);

        // Opened with the program for e-mail files, not with Thunderbird.
        if (emailFileProgram == "yes") {
            QCOMPARE(testfiles::recordedArguments(m_record), QStringList{QDir::toNativeSeparators(draft)});
        } else {
            QTest::qWait(1000);
            QVERIFY(!QFileInfo::exists(m_record));
        }
    }
};

QTEST_MAIN(TestOutlook)
#include "tst_outlook_win.moc"
