// Letterloom on Windows with its own folders, as it runs there: the window
// made with nothing of the tests' own but the message boxes and the mail
// client, so the templates are kept in the program's folder (this test
// program has one to itself) and the pairs in the user's registry key. A
// data folder made by earlier versions (Windows-1252, CR LF) is listed and
// shown, and Save writes beside the program.

#include "form1testing.h"
#include "testfiles.h"

#include <QStandardPaths>

using testfiles::contentsOf;
using testfiles::writeBytes;

namespace {

QString programFolder()
{
    return QCoreApplication::applicationDirPath();
}

QString inProgramFolder(const QString &name)
{
    return QDir(programFolder()).filePath(name);
}

} // namespace

class TestProgramFolder : public QObject
{
    Q_OBJECT

    RecordingDialogs m_dialogs;
    RecordingDesktop m_desktop;
    compose::RecordingMailClient::Log m_mailLog = std::make_shared<QStringList>();

    // The window as the program makes it, but for its message boxes and its
    // mail client.
    std::unique_ptr<Form1> open()
    {
        Form1Services services;
        services.dialogs = &m_dialogs;
        services.desktop = &m_desktop;
        services.mailClients = compose::RecordingMailClient::factory(m_mailLog);
        auto window = std::make_unique<Form1>(std::move(services));
        window->Form_Load();
        window->show();
        return window;
    }

    static void removeTemplates()
    {
        QDir folder(programFolder());
        for (const QString &name : folder.entryList({QStringLiteral("MainData.txt"), QStringLiteral("LTM-*.txt")},
                                                    QDir::Files))
            QVERIFY(folder.remove(name));
    }

private slots:
    void initTestCase()
    {
        startTestCase();
        // The folder is this program's own (see tests/compose.cmake).
        QCOMPARE(QFileInfo(programFolder()).fileName(), QStringLiteral("programfolder"));
    }
    void init()
    {
        clearSettings();
        removeTemplates();
        m_dialogs.messages.clear();
    }
    void cleanupTestCase() { removeTemplates(); }

    void earlierDataFolderListsAndShows();
    void saveWritesBesideTheProgram();
    void pairsTypedInTheWindow();
};

void TestProgramFolder::earlierDataFolderListsAndShows()
{
    // As an earlier version left them: the data file's name in capitals, the
    // West European code page, CR LF, a name with an accent, typographic
    // quotes and the euro sign.
    writeBytes(inProgramFolder(QStringLiteral("MAINDATA.TXT")),
               "Caf\xe9 offer\t\x93Special\x94 \x80 5\tC:\\Offers\\price list.pdf\tcc@example.com\tto@example.com\t"
               "bcc@example.com\tTrue\tFalse\t\r\n"
               "News\tNews \x96 May\t\t\tann@example.org\t\tFalse\tTrue\tC:\\Mail\\news.htm\r\n");
    writeBytes(inProgramFolder(QStringLiteral("LTM-Caf\u00e9 offer.txt")), "Dear customer,\r\n\r\nna\xefve \x84prices\x93.\r\n");

    auto w = open();
    QCOMPARE(entryCount(w.get()), 2);
    QCOMPARE(entryText(w.get(), 0).section(u' ', 0, 1), QStringLiteral("Caf\u00e9 offer"));

    clickEntry(list(w.get()), 0);
    QCOMPARE(box(w.get(), "Text1")->text(), QStringLiteral("Caf\u00e9 offer"));
    QCOMPARE(box(w.get(), "Text2")->text(), QStringLiteral("\u201cSpecial\u201d \u20ac 5"));
    QCOMPARE(box(w.get(), "Text3")->text(), QStringLiteral("C:\\Offers\\price list.pdf"));
    QCOMPARE(box(w.get(), "Text4")->text(), QStringLiteral("cc@example.com"));
    QCOMPARE(box(w.get(), "Text5")->text(), QStringLiteral("to@example.com"));
    QCOMPARE(box(w.get(), "Text10")->text(), QStringLiteral("bcc@example.com"));
    QVERIFY(button(w.get(), "Option1")->isChecked());
    QCOMPARE(bodyBox(w.get())->toPlainText(), QStringLiteral("Dear customer,\n\nna\u00efve \u201eprices\u201c.\n"));

    clickEntry(list(w.get()), 1);
    QCOMPARE(box(w.get(), "Text2")->text(), QStringLiteral("News \u2013 May"));
    QVERIFY(button(w.get(), "Option2")->isChecked());
    QVERIFY(panel(w.get(), "Frame2")->isVisible());
    QCOMPARE(box(w.get(), "Text8")->text(), QStringLiteral("C:\\Mail\\news.htm"));
    QVERIFY(bodyBox(w.get())->toPlainText().isEmpty());
    QVERIFY(m_dialogs.messages.isEmpty());
}

void TestProgramFolder::saveWritesBesideTheProgram()
{
    auto w = open();
    QTest::keyClicks(box(w.get(), "Text1"), QStringLiteral("Offer"));
    QTest::keyClicks(box(w.get(), "Text5"), QStringLiteral("to@example.com"));
    QTest::keyClicks(box(w.get(), "Text2"), QStringLiteral("Our offer"));
    QTest::keyClicks(bodyBox(w.get()), QStringLiteral("Dear customer,"));
    QTest::keyClick(bodyBox(w.get()), Qt::Key_Return);
    QTest::keyClicks(bodyBox(w.get()), QStringLiteral("prices attached."));
    QTest::mouseClick(button(w.get(), "Command3"), Qt::LeftButton);
    QVERIFY2(m_dialogs.messages.isEmpty(), qPrintable(m_dialogs.messages.join(u'\n')));

    QCOMPARE(contentsOf(inProgramFolder(QStringLiteral("MainData.txt"))),
             QByteArray("Offer\tOur offer\t\t\tto@example.com\t\tTrue\tFalse\t\r\n"));
    QCOMPARE(contentsOf(inProgramFolder(QStringLiteral("LTM-Offer.txt"))),
             QByteArray("Dear customer,\r\nprices attached.\r\n"));
    // Nothing in the user's data folders.
    for (const auto location : {QStandardPaths::AppDataLocation, QStandardPaths::AppLocalDataLocation}) {
        const QString folder = QStandardPaths::writableLocation(location);
        QVERIFY2(!QFileInfo::exists(QDir(folder).filePath(QStringLiteral("MainData.txt"))), qPrintable(folder));
    }

    // The next start lists it.
    w.reset();
    w = open();
    QCOMPARE(entryCount(w.get()), 1);
    clickEntry(list(w.get()), 0);
    QCOMPARE(box(w.get(), "Text2")->text(), QStringLiteral("Our offer"));
}

// Typed into the window; tests/windows/check-registry.sh reads the values
// back with Wine's "reg query" once this has run.
void TestProgramFolder::pairsTypedInTheWindow()
{
    auto w = open();
    QTest::keyClicks(findBox(w.get(), 2), QStringLiteral("[Name]"));
    QTest::keyClicks(replaceBox(w.get(), 2), QStringLiteral("Zoe Smith"));
    QTest::keyClicks(findBox(w.get(), 10), QStringLiteral("[Date]"));
    QTest::keyClicks(replaceBox(w.get(), 10), QStringLiteral("6 May"));
    QVERIFY(m_dialogs.messages.isEmpty());
    w.reset();

    // They come back at the next start.
    w = open();
    QCOMPARE(findBox(w.get(), 2)->text(), QStringLiteral("[Name]"));
    QCOMPARE(replaceBox(w.get(), 2)->text(), QStringLiteral("Zoe Smith"));
    QCOMPARE(findBox(w.get(), 10)->text(), QStringLiteral("[Date]"));
    QCOMPARE(replaceBox(w.get(), 10)->text(), QStringLiteral("6 May"));
}

QTEST_MAIN(TestProgramFolder)
#include "tst_programfolder_win.moc"
