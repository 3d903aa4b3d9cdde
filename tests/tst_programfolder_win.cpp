// Letterloom on Windows with its own folders, as it runs there: the window
// made with nothing of the tests' own but the message boxes and the mail
// client, so the templates are kept in the program's folder (this test
// program has one to itself) and the pairs in the user's registry key: Save
// writes beside the program, the pairs typed come back and are in the registry. (A folder of earlier
// versions is read by the store model test, which runs here too.)

#include "support/testfiles.h"
#include "support/windowtest.h"

#include <QProcess>
#include <QRegularExpression>

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

    void saveWritesBesideTheProgram();
    void pairsTypedInTheWindow();
};

void TestProgramFolder::saveWritesBesideTheProgram()
{
    Form1 *w = openWindow();
    typeInto(w, {{"Text1", "Offer"}, {"Text5", "to@example.com"}, {"Text2", "Our offer"},
                 {"Text7", "Dear customer,\nprices attached."}});
    QTest::mouseClick(button(w, "Command3"), Qt::LeftButton);

    QCOMPARE(contentsOf(inProgramFolder("MainData.txt")),
             QByteArray("Offer\tOur offer\t\t\tto@example.com\t\tTrue\tFalse\t\r\n"));
    QCOMPARE(contentsOf(inProgramFolder("LTM-Offer.txt")), QByteArray("Dear customer,\r\nprices attached.\r\n"));
    // The next start lists it.
    w = openWindow();
    QCOMPARE(entryCount(w), 1);
    clickEntry(list(w), 0);
    QCOMPARE(box(w, "Text2")->text(), "Our offer");
}

// Typed into the window, they come back at the next start, and the
// system's own "reg query" reads them in the user's registry key.
void TestProgramFolder::pairsTypedInTheWindow()
{
    const BoxTexts pairs = {{"TextFind_2", "[Name]"}, {"TextReplaceit_2", "Zoe Smith"},
                            {"TextFind_10", "[Date]"}, {"TextReplaceit_10", "6 May"}};
    Form1 *w = openWindow();
    typeInto(w, pairs);
    w = openWindow();
    compareBoxes(w, pairs);

    QProcess reg;
    reg.start("reg", {"query", "HKCU\\Software\\Letterloom\\Letterloom\\replace"});
    QVERIFY(reg.waitForFinished(30000));
    const QString listing = QString::fromLocal8Bit(reg.readAllStandardOutput());
    for (const auto &[name, text] : pairs) {
        const QString value = QString(name).replace("_", "-").replace("Replaceit", "Replace");
        const QRegularExpression line("^\\s+" + value + "\\s+REG_SZ\\s+" + QRegularExpression::escape(text) + "\r?$",
                                      QRegularExpression::MultilineOption);
        QVERIFY2(listing.contains(line), qPrintable(value + " is not the string " + text + " in:\n" + listing));
    }
}

QTEST_MAIN(TestProgramFolder)
#include "tst_programfolder_win.moc"
