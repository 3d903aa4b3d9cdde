// Launching on a Windows without classic Outlook ("Outlook.Application" is
// not registered): the window is driven as a user drives it, and what the
// desktop's programs are given is seen by a stand-in program
// (standins/recordargs_win.cpp) registered in the registry the way
// Thunderbird and the program for e-mail files register themselves.

#include "support/mailprograms.h"
#include "support/standins_win.h"
#include "support/testfiles.h"
#include "support/windowtest.h"

#include <QProcess>

#include <windows.h>
#include <objbase.h>

using standins::Registration;
using testfiles::contentsOf;
using testfiles::writeBytes;

class TestNoOutlook : public WindowTest
{
    Q_OBJECT

    QTemporaryDir m_programs; // the stand-ins, under the names Windows knows them by
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
        QFile::remove(m_record);
        QDir(m_drafts).removeRecursively();
        QFile::remove(profiles());
        standins::removeFromRegistry(m_thunderbird);
        standins::writeRegistry(m_emailFileProgram);
    }

private slots:
    void initTestCase()
    {
        if (!standins::throwawayWindows())
            QSKIP(standins::notThrowaway);
        // This Windows has no classic Outlook.
        CLSID clsid;
        QVERIFY(FAILED(CLSIDFromProgID(L"Outlook.Application", &clsid)));
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
        if (m_record.isEmpty())
            return; // nothing was changed
        standins::removeFromRegistry(m_thunderbird);
        standins::removeFromRegistry(m_emailFileProgram);
        QFile::remove(profiles());
    }

    void thunderbirdWhenItIsTheDefault();
    void draftOpenedWithTheProgramForEmailFiles_data();
    void draftOpenedWithTheProgramForEmailFiles();
    void theConsoleWaitsForTheLaunchAlone();
};

void TestNoOutlook::thunderbirdWhenItIsTheDefault()
{
    standins::writeRegistry(m_thunderbird);
    QVERIFY(QDir().mkpath(QFileInfo(profiles()).path()));
    writeBytes(profiles(), "[Profile0]\r\nName=default\r\nPath=Profiles/x.default\r\n");

    const QString attachment = path("price list, 2026.pdf");
    writeBytes(attachment, "%PDF");
    Form1 *w = openWindow();
    typeInto(w, {{"Text5", "ann@example.org"}, {"Text4", "bob@example.org, carl@example.org"},
                 {"Text10", "dora@example.org"}, {"Text2", "Offer for [Name], 50% off"},
                 {"Text7", "Dear [Name],\na=b & c"}, {"Text3", QDir::toNativeSeparators(attachment)},
                 {"TextFind_0", "[Name]"}, {"TextReplaceit_0", "Ann"}});
    QTest::mouseClick(button(w, "Command1"), Qt::LeftButton);

    // Thunderbird itself, with "-compose" and the message: not the
    // handler's own arguments, which are for addresses.
    const QStringList arguments = testfiles::recordedArguments(m_record);
    QCOMPARE(arguments.size(), 2);
    QCOMPARE(arguments[0], "-compose");
    mailtesting::Received got = mailtesting::thunderbirdReads(arguments[1]);
    const QStringList attached = got.take("attach");
    QCOMPARE(attached.size(), 1);
    QCOMPARE(QFileInfo(attached[0]).canonicalFilePath(), QFileInfo(attachment).canonicalFilePath());
    const mailtesting::Received expected = {
        {"to", {"ann@example.org"}}, {"cc", {"bob@example.org, carl@example.org"}}, {"bcc", {"dora@example.org"}},
        {"subject", {"Offer for Ann, 50% off"}}, {"format", {"text"}}, {"body", {"Dear Ann,\na=b & c"}}};
    QCOMPARE(got, expected);
    // Nothing to tell the user, and no draft.
    QVERIFY(drafts().isEmpty());
}

// No Thunderbird ready to take the message: it is saved as an unsent draft,
// opened with the program Windows opens e-mail files with when there is one,
// and the user is told why and where the draft is.
void TestNoOutlook::draftOpenedWithTheProgramForEmailFiles_data()
{
    QTest::addColumn<bool>("thunderbird"); // the default mail program, but without a profile yet
    QTest::addColumn<bool>("emailFileProgram");
    QTest::addColumn<QStringList>("told");
    const QString opened = "opened with the program for e-mail files";
    QTest::newRow("a program for e-mail files") << false << true << QStringList{opened};
    QTest::newRow("no program for e-mail files") << false << false << QStringList{"no program opens e-mail files"};
    QTest::newRow("Thunderbird not set up")
        << true << true << QStringList{"Thunderbird, the default mail program, is not set up", opened};
}

void TestNoOutlook::draftOpenedWithTheProgramForEmailFiles()
{
    QFETCH(bool, thunderbird);
    QFETCH(bool, emailFileProgram);
    QFETCH(QStringList, told);
    if (thunderbird)
        standins::writeRegistry(m_thunderbird);
    if (!emailFileProgram)
        standins::removeFromRegistry(m_emailFileProgram);
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
    for (const QString &part : told + QStringList{QDir::toNativeSeparators(draft)})
        QVERIFY2(message.contains(part), qPrintable(message));

    // An unsent draft of the launched template.
    const QByteArray eml = contentsOf(draft);
    QVERIFY2(eml.startsWith("Date: "), eml.left(200).constData());
    for (const char *part : {"\r\nX-Unsent: 1\r\n", "\r\nTo: ann@example.org\r\n", "\r\nSubject: =?UTF-8?",
                             "Dear Ann,\r\nprices attached."})
        QVERIFY2(eml.contains(part), part);

    // Opened with the program for e-mail files, not with Thunderbird.
    if (emailFileProgram) {
        QCOMPARE(testfiles::recordedArguments(m_record), QStringList{QDir::toNativeSeparators(draft)});
    } else {
        QTest::qWait(1000);
        QVERIFY(!QFileInfo::exists(m_record));
    }
}

// letterloom.com, read through pipes as a console or a script reads it,
// ends with the launch while the mail program it started stays running.
void TestNoOutlook::theConsoleWaitsForTheLaunchAlone()
{
    standins::writeRegistry(m_thunderbird);
    QVERIFY(QDir().mkpath(QFileInfo(profiles()).path()));
    writeBytes(profiles(), "[Profile0]\r\nName=default\r\nPath=Profiles/x.default\r\n");
    writeData(recordLine({"Offer", "Hello", "", "", "ann@example.org", "", "True", "False", ""}));
    for (const char *marker : {".ended", ".stop"})
        QFile::remove(m_record + marker);
    qputenv("LETTERLOOM_STANDIN_STAY", "60");
    QProcess console;
    console.start(LETTERLOOM_CONSOLE, {"--data-folder", dataFolder(), "--launch", "Offer", "--no-ask"});
    const bool ended = console.waitForFinished(40000);
    qunsetenv("LETTERLOOM_STANDIN_STAY");
    QVERIFY2(ended, "letterloom.com waited for the mail program");
    QCOMPARE(console.exitCode(), 0);
    QCOMPARE(testfiles::recordedArguments(m_record).value(0), "-compose");
    QVERIFY(!QFileInfo::exists(m_record + ".ended")); // the mail program still runs
    writeBytes(m_record + ".stop", "");
    QTRY_VERIFY(QFileInfo::exists(m_record + ".ended"));
}

QTEST_MAIN(TestNoOutlook)
#include "tst_nooutlook_win.moc"
