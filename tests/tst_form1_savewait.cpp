// Save while another copy holds the folder's lock: the window goes on while
// Save waits, and the user clicks another template in the list meanwhile.
// Save saves what the editor held when it was pressed, says so, and leaves
// the other template shown as it is stored.

#include "platform/folderlock.h"
#include "support/testfiles.h"
#include "support/windowtest.h"

#include <QTimer>

using testfiles::contentsOf;
using testfiles::writeBytes;

class TestForm1SaveWait : public testsupport::WindowTest
{
    Q_OBJECT

private slots:
    void saveDoesWhatItWasPressedForWhileAnotherTemplateIsClicked_data();
    void saveDoesWhatItWasPressedForWhileAnotherTemplateIsClicked();
};

void TestForm1SaveWait::saveDoesWhatItWasPressedForWhileAnotherTemplateIsClicked_data()
{
    QTest::addColumn<int>("row");        // the entry brought into the editor first; -1: none
    QTest::addColumn<QString>("name");   // then typed into the name box, when not empty
    QTest::addColumn<QByteArray>("line"); // the saved template's line as stored afterwards
    QTest::newRow("a new template") << -1 << "Fresh" << recordLine({"Fresh", "Subject typed", "", "",
                                                                   "fresh@example.com", "", "True", "False", ""});
    QTest::newRow("a stored one, replaced") << 0 << "" << recordLine({"Offer", "Subject typedfirst", "", "",
                                                                     "to@example.com", "", "True", "False", ""});
}

void TestForm1SaveWait::saveDoesWhatItWasPressedForWhileAnotherTemplateIsClicked()
{
    QFETCH(int, row);
    QFETCH(QString, name);
    QFETCH(QByteArray, line);
    writeBytes(path(QStringLiteral("MainData.txt")), templateLine("Offer", "first") + templateLine("Other", "kept"));
    writeBytes(path(QStringLiteral("LTM-Offer.txt")), "Offer body\r\n");
    writeBytes(path(QStringLiteral("LTM-Other.txt")), "Other body\r\n");
    Form1 *w = openWindow();
    if (row >= 0)
        clickEntry(list(w), row);
    if (!name.isEmpty())
        typeInto(w, {{"Text1", name}, {"Text5", QStringLiteral("fresh@example.com")}});
    typeInto(w, {{"Text2", QStringLiteral("Subject typed")}, {"Text7", QStringLiteral("typed")}});
    const QByteArray body = bodyBox(w)->toPlainText().toUtf8() + "\r\n";
    const QString saved = box(w, "Text1")->text();

    // Another copy holds the lock and lets go after a moment; meanwhile the
    // user clicks "Other" in the list.
    auto held = platform::FolderLock::take(dataFolder(), 0, {}, nullptr, nullptr);
    QVERIFY(held);
    bool clickedWhileWaiting = false;
    QTimer::singleShot(150, w, [&] {
        clickedWhileWaiting = held != nullptr;
        clickEntry(list(w), 1);
    });
    QTimer::singleShot(600, w, [&] { held.reset(); });
    if (row >= 0)
        dialogs.answers << true; // Yes, replace
    QTest::mouseClick(button(w, "Command3"), Qt::LeftButton);

    QVERIFY(clickedWhileWaiting);
    QCOMPARE(messages(), QStringList{QStringLiteral("The template \"%1\" was saved.").arg(saved)});
    const QByteArray data = contentsOf(path(QStringLiteral("MainData.txt")));
    QVERIFY2(data.contains(line) && data.contains(templateLine("Other", "kept")), data.constData());
    QCOMPARE(contentsOf(path(QStringLiteral("LTM-%1.txt").arg(saved))), body);
    QCOMPARE(contentsOf(path(QStringLiteral("LTM-Other.txt"))), QByteArray("Other body\r\n"));
    // The editor shows "Other" as stored, and Save has nothing to do for it.
    QCOMPARE(editorBoxes(w).mid(0, 5),
             (QStringList{"Other", "to@example.com", "", "", "kept"}));
    QCOMPARE(bodyBox(w)->toPlainText(), QStringLiteral("Other body"));
    const QByteArray before = contentsOf(path(QStringLiteral("MainData.txt")));
    QTest::mouseClick(button(w, "Command3"), Qt::LeftButton);
    QCOMPARE(contentsOf(path(QStringLiteral("MainData.txt"))), before);
    QCOMPARE(messages().size(), 1); // nothing more said
}

QTEST_MAIN(TestForm1SaveWait)
#include "tst_form1_savewait.moc"
