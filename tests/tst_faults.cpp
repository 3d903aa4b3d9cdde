// Faults put in the way of the window: a huge stored field; the files are
// checked byte for byte afterwards, and so is what the user was told.
// (Special files where the template files should be and links out of the
// data folder are fixtures of tests/data/special-files played as steps of
// tests/data/window; a line cut short by a killed copy is a fixture of
// tests/data/otherprograms; a full disk, two copies at once, killed copies
// and faults at every write are the store model's and tst_textfile's.)

#include "support/windowtest.h"
#include "store/templaterecord.h"
#include "support/testfiles.h"

class TestFaults : public testsupport::WindowTest
{
    Q_OBJECT

private slots:
    void aHugeStoredFieldIsShownCutAndSaid();
};

void TestFaults::aHugeStoredFieldIsShownCutAndSaid()
{
    const QString huge(store::LongestBoxText + 1, u's');
    writeData(recordLine({QStringLiteral("Huge"), huge, QString(), QString(), QStringLiteral("to@example.com")}));
    Form1 *w = openWindow();
    clickEntry(list(w), 0);
    QCOMPARE(box(w, "Text2")->text().size(), store::LongestBoxText);
    QCOMPARE(box(w, "Text5")->text(), QStringLiteral("to@example.com"));
    QCOMPARE(messages().size(), 1);
    QVERIFY2(messages().first().contains(QLatin1String("1,000,000 characters in Email Subject")),
             qPrintable(messages().first()));

    // Save stores no box longer than the window shows.
    const QByteArray data = testfiles::contentsOf(path(QStringLiteral("MainData.txt")));
    QTest::keyClicks(box(w, "Text1"), QStringLiteral("2"));
    QTest::keyClick(box(w, "Text2"), Qt::Key_S);
    QTest::mouseClick(button(w, "Command3"), Qt::LeftButton);
    QCOMPARE(messages().size(), 2);
    QCOMPARE(messages().last(), QStringLiteral("Email Subject can not be longer than 1,000,000 characters"));
    QCOMPARE(testfiles::contentsOf(path(QStringLiteral("MainData.txt"))), data);
    QCOMPARE(entryCount(w), 1);
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
