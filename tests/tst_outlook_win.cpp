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
#include <QRegularExpression>
#include <QSettings>
#include <QUrl>

#include <windows.h>
#include <objbase.h>

using testfiles::contentsOf;
using testfiles::writeBytes;

// The stand-in Outlook: "Outlook.Application" from start() to stop(), the
// log of the calls it got, and the call it fails at ("Add#2": the second
// Add of one application; empty: none).
namespace outlookstandin {
extern QStringList log;
extern QString failAt;
bool start();
void stop();
} // namespace outlookstandin

namespace {

// The stand-in's log of a launch that goes through: the item made, To, CC,
// BCC and Subject put, the body in its format (1 plain text, 2 HTML), each
// file attached, the item displayed and every object let go of.
QStringList launchLog(const QStringList &toCcBccSubject, bool html, const QString &body,
                      const QStringList &attachments)
{
    const auto put = [](const char *property, const QString &text) {
        return QStringLiteral("MailItem.%1 = VT_BSTR \"%2\"").arg(QLatin1String(property), text);
    };
    QStringList lines = {"new Application", "Application.CreateItem(VT_I4 0) -> MailItem"};
    const char *const fields[] = {"To", "CC", "BCC", "Subject"};
    for (int i = 0; i < 4; ++i)
        lines << put(fields[i], toCcBccSubject[i]);
    lines << "MailItem.BodyFormat = VT_I4 3" << QStringLiteral("MailItem.BodyFormat = VT_I4 %1").arg(html ? 2 : 1)
          << put(html ? "HTMLBody" : "Body", body);
    for (const QString &path : attachments) {
        lines << "MailItem.Attachments -> Attachments"
              << QStringLiteral("Attachments.Add(VT_BSTR \"%1\") -> Attachment").arg(QDir::toNativeSeparators(path))
              << "release Attachment" << "release Attachments";
    }
    return lines << "MailItem.Display()" << "release MailItem" << "release Application";
}

} // namespace

class TestOutlook : public WindowTest
{
    Q_OBJECT

    bool m_outlook = false; // the stand-in is started
    QTemporaryDir m_programs; // the other stand-ins, under the names Windows knows them by
    QString m_record;
    QString m_drafts;

    QString profiles() const { return QDir(qEnvironmentVariable("APPDATA")).filePath("Thunderbird/profiles.ini"); }
    QStringList drafts() const { return QDir(m_drafts).entryList({"*.eml"}, QDir::Files); }

    // Writes the registry values of a program as it registers itself
    // (data/tables/windows-registrations.tsv), or takes them away.
    void registerProgram(const QString &program, bool add) const
    {
        for (const QStringList &row : testdata::table(QStringLiteral("windows-registrations")).mid(1)) {
            QSettings key(row[1], QSettings::NativeFormat);
            if (row[0] == program && add)
                key.setValue(row[2], QString(row[3]).replace("{standins}", QDir::toNativeSeparators(m_programs.path())));
            else if (row[0] == program)
                key.remove(row[2]);
        }
    }

    void prepareTest() override
    {
        desktopMailClient = true;
        // The stand-in is "Outlook.Application" for the tests named
        // outlook..., and the others find no classic Outlook.
        const bool outlook = QByteArray(QTest::currentTestFunction()).startsWith("outlook");
        if (outlook && !m_outlook)
            QVERIFY2(outlookstandin::start(), "the stand-in Outlook could not be registered");
        else if (!outlook && m_outlook)
            outlookstandin::stop();
        m_outlook = outlook;
        CLSID clsid;
        QCOMPARE(SUCCEEDED(CLSIDFromProgID(L"Outlook.Application", &clsid)), outlook);
        outlookstandin::failAt.clear();
        outlookstandin::log.clear();
        QFile::remove(m_record);
        QDir(m_drafts).removeRecursively();
        QFile::remove(profiles());
        registerProgram("Thunderbird", false);
        registerProgram("mail reader", true);
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
    }
    void cleanupTestCase()
    {
        if (m_outlook)
            outlookstandin::stop();
        if (m_record.isEmpty())
            return; // nothing was changed
        registerProgram("Thunderbird", false);
        registerProgram("mail reader", false);
        QFile::remove(profiles());
    }

    // A message in any script, as an input method types it, pairs typed, two
    // files attached, launched as plain text or HTML: addresses go as typed
    // (Outlook resolves ";" itself), pictures named by relative paths reach
    // Outlook as file: URLs. Outlook refusing any one call with a COM
    // exception: the launch stops there, nothing is displayed, and the user
    // is told once, with Outlook's reason; the calls before were those of a
    // launch that goes through, the objects made were let go of, the last
    // made first; the next launch goes through.
    void outlookLaunches_data() { testdata::addRows(QStringLiteral("outlook-launches")); }
    void outlookLaunches()
    {
        QFETCH(QString, format);
        QFETCH(QString, failAt);
        QFETCH(QString, released);
        const bool html = format == "HTML";
        writeBytes(path("logo.png"), "\x89PNG\r\n\x1a\n");
        writeBytes(path("letter.html"), "<p>\xc5\x81\xc3\xb3" "d\xc5\xba [Name]</p><img src=\"logo.png\">");
        const QStringList attachments{path("one.txt"), path("two.txt")};
        for (const QString &attachment : attachments)
            writeBytes(attachment, "1");
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
        if (html)
            QTest::mouseClick(button(w, "Option2"), Qt::LeftButton);
        typeInto(w, {{html ? "Text8" : "Text7", html ? QDir::toNativeSeparators(path("letter.html")) : "Dear [Name]"},
                     {"Text3", QDir::toNativeSeparators(attachments.join(u';'))}, {"TextFind_0", "[Name]"},
                     {"TextReplaceit_0", "Mrs Smith"}, {"TextFind_10", "[Email]"},
                     {"TextReplaceit_10", "smith@example.com"}});
        outlookstandin::failAt = failAt;
        QTest::mouseClick(button(w, "Command1"), Qt::LeftButton);
        const QString logo = QUrl::fromLocalFile(path("logo.png")).toString(QUrl::FullyEncoded);
        QVERIFY2(logo.startsWith("file:///"), qPrintable(logo));
        const QString body = html ? "<p>\u0141\u00f3d\u017a Mrs Smith</p><img src=\"" + logo + "\">" : "Dear Mrs Smith";
        const QStringList launched = launchLog({texts[0], texts[1], texts[2],
                                                "Za\u017c\u00f3\u0142\u0107 \U0001F600 Mrs Smith \u2013 \u20ac 5"},
                                               html, body, attachments);
        if (!failAt.isEmpty()) {
            const QString reason = QStringLiteral("The stand-in was told to fail at %1.").arg(failAt.section(u'#', 0, 0));
            QCOMPARE(messages().size(), 1);
            QVERIFY2(messages()[0].contains(reason), qPrintable(messages()[0]));
            QTRY_VERIFY_WITH_TIMEOUT(outlookstandin::log.endsWith("release Application"), 10000);
            // The call failed is the n-th of its member in a launch that goes
            // through, without what it would have returned.
            const QRegularExpression call("\\w+\\." + failAt.section(u'#', 0, 0) + "\\b.*");
            qsizetype at = -1;
            for (int n = failAt.contains(u'#') ? failAt.section(u'#', 1).toInt() : 1; n > 0; --n)
                at = launched.indexOf(call, at + 1);
            QVERIFY(at >= 0);
            QStringList failed = launched.mid(0, at);
            failed << launched[at].section(" -> ", 0, 0) + " -> exception: " + reason
                   << released.split(u'|', Qt::SkipEmptyParts) << "release Application";
            QCOMPARE(outlookstandin::log, failed);
            QCOMPARE(box(w, "Text2")->text(), texts[3]);
            outlookstandin::failAt.clear();
            outlookstandin::log.clear();
            QTest::mouseClick(button(w, "Command1"), Qt::LeftButton);
        }
        QTRY_COMPARE_WITH_TIMEOUT(outlookstandin::log, launched, 10000);
    }

    // Without Outlook, Thunderbird when it is the default: Thunderbird itself
    // gets "-compose" and the message, not the handler's own arguments, which
    // are for addresses. Launched through letterloom.com, read through pipes
    // as a console or a script reads it, which ends with the launch while
    // Thunderbird stays running.
    void thunderbirdWhenItIsTheDefault()
    {
        registerProgram("Thunderbird", true);
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
        registerProgram("Thunderbird", thunderbird == "yes");
        registerProgram("mail reader", emailFileProgram == "yes");
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
