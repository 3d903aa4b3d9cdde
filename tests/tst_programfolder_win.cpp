// Letterloom on Windows with its own folders, as it runs there: the window
// made with nothing of the tests' own but the message boxes and the mail
// client, so the templates are kept in the program's folder (this test
// program has one to itself) and the pairs in the user's registry key. A
// data folder made by earlier versions (Windows-1252, CR LF) is listed and
// shown, and Save writes beside the program.

#include "support/testfiles.h"
#include "support/windowtest.h"

#include <QStandardPaths>

using testfiles::contentsOf;
using testfiles::writeBytes;

namespace {

QString inProgramFolder(const QString &name = QString())
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

void removeTemplates()
{
    QDir folder(inProgramFolder());
    for (const QString &name : folder.entryList({"MainData.txt", "LTM-*.txt"}, QDir::Files))
        QVERIFY(folder.remove(name));
}

} // namespace

class TestProgramFolder : public WindowTest
{
    Q_OBJECT

    // The window finds its folders as the program does; they hold no
    // templates at the start of a test.
    void prepareTest() override
    {
        programsOwnFolder = true;
        removeTemplates();
    }

private slots:
    void initTestCase()
    {
        // The folder is this program's own (see tests/CMakeLists.txt).
        QCOMPARE(QFileInfo(inProgramFolder()).fileName(), "programfolder");
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
    writeBytes(inProgramFolder("MAINDATA.TXT"),
               "Caf\xe9 offer\t\x93Special\x94 \x80 5\tC:\\Offers\\price list.pdf\tcc@example.com\tto@example.com\t"
               "bcc@example.com\tTrue\tFalse\t\r\n"
               "News\tNews \x96 May\t\t\tann@example.org\t\tFalse\tTrue\tC:\\Mail\\news.htm\r\n");
    writeBytes(inProgramFolder(QStringLiteral("LTM-Caf\u00e9 offer.txt")), "Dear customer,\r\n\r\nna\xefve \x84prices\x93.\r\n");

    Form1 *w = openWindow();
    QCOMPARE(entryCount(w), 2);
    QCOMPARE(entryText(w, 0).section(u' ', 0, 1), QStringLiteral("Caf\u00e9 offer"));

    clickEntry(list(w), 0);
    compareBoxes(w, {{"Text1", QStringLiteral("Caf\u00e9 offer")},
                     {"Text2", QStringLiteral("\u201cSpecial\u201d \u20ac 5")},
                     {"Text3", "C:\\Offers\\price list.pdf"}, {"Text4", "cc@example.com"},
                     {"Text5", "to@example.com"}, {"Text10", "bcc@example.com"}});
    QVERIFY(button(w, "Option1")->isChecked());
    QCOMPARE(bodyBox(w)->toPlainText(), QStringLiteral("Dear customer,\n\nna\u00efve \u201eprices\u201c."));

    clickEntry(list(w), 1);
    compareBoxes(w, {{"Text2", QStringLiteral("News \u2013 May")}, {"Text8", "C:\\Mail\\news.htm"}});
    QVERIFY(button(w, "Option2")->isChecked());
    QVERIFY(panel(w, "Frame2")->isVisible());
    QVERIFY(bodyBox(w)->toPlainText().isEmpty());
}

void TestProgramFolder::saveWritesBesideTheProgram()
{
    Form1 *w = openWindow();
    typeInto(w, {{"Text1", "Offer"}, {"Text5", "to@example.com"}, {"Text2", "Our offer"},
                 {"Text7", "Dear customer,\nprices attached."}});
    QTest::mouseClick(button(w, "Command3"), Qt::LeftButton);

    QCOMPARE(contentsOf(inProgramFolder("MainData.txt")),
             QByteArray("Offer\tOur offer\t\t\tto@example.com\t\tTrue\tFalse\t\r\n"));
    QCOMPARE(contentsOf(inProgramFolder("LTM-Offer.txt")), QByteArray("Dear customer,\r\nprices attached.\r\n"));
    // Nothing in the user's data folders.
    for (const auto location : {QStandardPaths::AppDataLocation, QStandardPaths::AppLocalDataLocation}) {
        const QString folder = QStandardPaths::writableLocation(location);
        QVERIFY2(!QFileInfo::exists(QDir(folder).filePath("MainData.txt")), qPrintable(folder));
    }

    // The next start lists it.
    w = openWindow();
    QCOMPARE(entryCount(w), 1);
    clickEntry(list(w), 0);
    QCOMPARE(box(w, "Text2")->text(), "Our offer");
}

// Typed into the window; tests/windows/check-registry.sh reads the values
// back with Wine's "reg query" once this has run.
void TestProgramFolder::pairsTypedInTheWindow()
{
    const BoxTexts pairs = {{"TextFind_2", "[Name]"}, {"TextReplaceit_2", "Zoe Smith"},
                            {"TextFind_10", "[Date]"}, {"TextReplaceit_10", "6 May"}};
    Form1 *w = openWindow();
    typeInto(w, pairs);

    // They come back at the next start.
    w = openWindow();
    compareBoxes(w, pairs);
}

QTEST_MAIN(TestProgramFolder)
#include "tst_programfolder_win.moc"
