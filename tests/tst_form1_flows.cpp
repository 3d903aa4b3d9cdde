// The main window at work: saving a template, finding it listed after a
// restart, bringing it back, launching it; the find/replace boxes; Browse;
// what the user is told when a step fails; launches during a launch.

#include "support/windowtest.h"
#include "support/testfiles.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

using compose::RecordingMailClient;
using testfiles::contentsOf;
using testfiles::writeBytes;

namespace {

// Types a template into the editor, key by key, the body over two lines.
void typeOffer(QWidget *w, const QString &attachment)
{
    QTest::keyClicks(box(w, "Text1"), QStringLiteral("Offer"));
    QTest::keyClicks(box(w, "Text5"), QStringLiteral("[Email]"));
    QTest::keyClicks(box(w, "Text4"), QStringLiteral("sales@example.com"));
    QTest::keyClicks(box(w, "Text10"), QStringLiteral("boss@example.com"));
    QTest::keyClicks(box(w, "Text2"), QStringLiteral("Our offer, [Name]"));
    QTest::keyClicks(box(w, "Text3"), attachment);
    QTest::keyClicks(bodyBox(w), QStringLiteral("Dear [Name],"));
    QTest::keyClick(bodyBox(w), Qt::Key_Return);
    QTest::keyClick(bodyBox(w), Qt::Key_Return);
    QTest::keyClicks(bodyBox(w), QStringLiteral("caf"));
    QTest::sendKeyEvent(QTest::Click, bodyBox(w), Qt::Key_Eacute, QStringLiteral("\u00e9"), {});
    QTest::keyClicks(bodyBox(w), QStringLiteral(" prices attached."));
}

} // namespace

class TestForm1Flows : public WindowTest
{
    Q_OBJECT

private slots:
    void saveListRestartShowAndLaunch();
    void selectingEntries();
    void pairBoxesAreStoredAtOnce();
    void browseFillsTheLocationBox();
    void failuresAreToldOnceAndTheWindowGoesOn_data();
    void failuresAreToldOnceAndTheWindowGoesOn();
    void launchesDuringALaunchWaitTheirTurn();
};

void TestForm1Flows::saveListRestartShowAndLaunch()
{
    const QString attachment = path(QStringLiteral("price list.pdf"));
    writeBytes(attachment, "%PDF");

    Form1 *w = openWindow();
    typeOffer(w, attachment);
    QTest::mouseClick(button(w, "Command3"), Qt::LeftButton);

    const QString expectedEntry = QStringLiteral("Offer") + QString(200, u' ')
                                  + QStringLiteral("\tOur offer, [Name]\t") + attachment
                                  + QStringLiteral("\tsales@example.com\t[Email]\tboss@example.com\tTrue\tFalse\t");
    QCOMPARE(entryCount(w), 1);
    QCOMPARE(entryText(w, 0), expectedEntry);
    QCOMPARE(contentsOf(path(QStringLiteral("LTM-Offer.txt"))),
             QByteArray("Dear [Name],\r\n\r\ncaf\xe9 prices attached.\r\n"));
    QVERIFY(contentsOf(path(QStringLiteral("MainData.txt"))).startsWith("Offer\tOur offer, [Name]\t"));

    // A fresh window lists the template after start-up; a click brings it back.
    Form1 *again = openWindow();
    auto *listBox = list(again);
    QCOMPARE(entryCount(again), 1);
    QCOMPARE(entryText(again, 0), expectedEntry);
    QVERIFY(box(again, "Text1")->text().isEmpty());
    clickEntry(listBox, 0);
    QCOMPARE(editorBoxes(again), (QStringList{"Offer", "[Email]", "sales@example.com", "boss@example.com",
                                              "Our offer, [Name]", attachment, ""}));
    QVERIFY(button(again, "Option1")->isChecked());
    // The body as saved, without the line end Save put behind it.
    QCOMPARE(bodyBox(again)->toPlainText(), QStringLiteral("Dear [Name],\n\ncaf\u00e9 prices attached."));
    QCOMPARE(again->body(), QStringLiteral("Dear [Name],\r\n\r\ncaf\u00e9 prices attached."));

    // The pairs typed now apply to the launch.
    QTest::keyClicks(findBox(again, 0), QStringLiteral("[Name]"));
    QTest::keyClicks(replaceBox(again, 0), QStringLiteral("Mrs Smith"));
    QTest::keyClicks(findBox(again, 9), QStringLiteral("[Email]"));
    QTest::keyClicks(replaceBox(again, 9), QStringLiteral("smith@example.com"));
    QTest::mouseClick(button(again, "Command1"), Qt::LeftButton);

    // Addresses go as typed: the pairs apply to subject and body.
    const QStringList expectedLaunch = {
        "CreateItem 0", "To=[Email]", "CC=sales@example.com", "BCC=boss@example.com",
        "Subject=Our offer, Mrs Smith", "BodyFormat=3", "BodyFormat=1",
        QStringLiteral("Body=Dear Mrs Smith,\r\n\r\ncaf\u00e9 prices attached."),
        "Attachments.Add " + attachment, "Display", "Release"};
    QCOMPARE(*mailLog, expectedLaunch);

    // A double click on the selected entry launches it again.
    mailLog->clear();
    doubleClickEntry(listBox, 0);
    QCOMPARE(*mailLog, expectedLaunch);
}

void TestForm1Flows::selectingEntries()
{
    // The list shows each name alone, nothing for a nameless one.
    writeData(recordLine({QStringLiteral("First"), QStringLiteral("one")})
              + recordLine({QStringLiteral("Second "), QStringLiteral("two")})
              + recordLine({QStringLiteral("Third"), QStringLiteral("three")}) + recordLine({QString(), "nameless"}));
    Form1 *w = openWindow();
    QCOMPARE(shownNames(w), (QStringList{"First", "Second ", "Third", ""}));
    QApplication::setActiveWindow(w);
    QVERIFY(QTest::qWaitForWindowActive(w));
    auto *listBox = list(w);

    // The keyboard selects as the mouse does.
    listBox->setFocus(Qt::TabFocusReason);
    QVERIFY(box(w, "Text1")->text().isEmpty());
    QTest::keyClick(listBox, Qt::Key_Down);
    QCOMPARE(box(w, "Text1")->text(), QStringLiteral("First"));
    QTest::keyClick(listBox, Qt::Key_Down);
    QCOMPARE(box(w, "Text1")->text(), QStringLiteral("Second "));
    QCOMPARE(box(w, "Text2")->text(), QStringLiteral("two"));
    QTest::keyClick(listBox, Qt::Key_End);
    QCOMPARE(box(w, "Text2")->text(), QStringLiteral("nameless"));
    QTest::keyClick(listBox, Qt::Key_Up);
    QCOMPARE(box(w, "Text1")->text(), QStringLiteral("Third"));

    // A click on the entry already selected brings it back over the edits.
    QTest::keyClicks(box(w, "Text2"), QStringLiteral(" edited"));
    bodyBox(w)->setPlainText(QStringLiteral("typed"));
    clickEntry(listBox, 2);
    QCOMPARE(box(w, "Text2")->text(), QStringLiteral("three"));
    QVERIFY(bodyBox(w)->toPlainText().isEmpty()); // no body file: the box is emptied

    // Neither a press beside the entries nor Ctrl+click leaves the list
    // without a selection.
    QTest::mouseClick(listBox->viewport(), Qt::LeftButton, {}, QPoint(20, listBox->viewport()->height() - 5));
    QVERIFY(entrySelected(w));
    const QRect third = listBox->visualRect(listBox->model()->index(2, 0));
    QTest::mouseClick(listBox->viewport(), Qt::LeftButton, Qt::ControlModifier, QPoint(20, third.center().y()));
    QVERIFY(entrySelected(w));
    QCOMPARE(listBox->selectionModel()->selectedIndexes().value(0).row(), 2);
    QCOMPARE(box(w, "Text1")->text(), QStringLiteral("Third"));
    QVERIFY(mailLog->isEmpty());

    // A double click on another entry launches that one, over the edits.
    QTest::keyClicks(box(w, "Text2"), QStringLiteral(" edited"));
    doubleClickEntry(listBox, 0);
    QCOMPARE(box(w, "Text1")->text(), QStringLiteral("First"));
    QCOMPARE(mailLog->count(QStringLiteral("Display")), 1);
    QVERIFY(mailLog->contains(QStringLiteral("Subject=one")));
}

void TestForm1Flows::pairBoxesAreStoredAtOnce()
{
    Form1 *w = openWindow();

    // Each key stroke is stored before the next one, rows 10 and 11 alike.
    auto *find9 = findBox(w, 9);
    QTest::keyClick(find9, Qt::Key_A);
    QCOMPARE(storedBox("TextFind-9"), QStringLiteral("a"));
    QTest::keyClicks(find9, QStringLiteral("bc"));
    QTest::keyClicks(replaceBox(w, 8), QStringLiteral("row ten"));
    QTest::keyClicks(replaceBox(w, 10), QStringLiteral("row nine"));
    QCOMPARE(storedBox("TextFind-9"), QStringLiteral("abc"));
    QCOMPARE(storedBox("TextReplace-8"), QStringLiteral("row ten"));
    QCOMPARE(storedBox("TextReplace-10"), QStringLiteral("row nine"));

    // Emptying a box stores the empty text.
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(find9, Qt::Key_Backspace);
    QCOMPARE(storedBox("TextFind-9"), QString());

    // Typing in an editor box stores nothing.
    QTest::keyClicks(box(w, "Text1"), QStringLiteral("Unsaved"));
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("MainData.txt"))));

    Form1 *again = openWindow();
    QCOMPARE(replaceBox(again, 8)->text(), QStringLiteral("row ten"));
    QCOMPARE(replaceBox(again, 10)->text(), QStringLiteral("row nine"));
    QVERIFY(findBox(again, 9)->text().isEmpty());
    QVERIFY(box(again, "Text1")->text().isEmpty());
}

void TestForm1Flows::browseFillsTheLocationBox()
{
    Form1 *w = openWindow();
    QTest::mouseClick(button(w, "Option2"), Qt::LeftButton);
    auto *location = box(w, "Text8");
    QTest::keyClicks(location, QStringLiteral("/home/ann/typed.html"));

    // Cancel keeps what was typed; a file chosen fills the box; Cancel then
    // keeps that file.
    const QString chosen = QStringLiteral("/srv/mail/letter one.htm");
    dialogs.fileAnswers = {QString(), chosen, QString()};
    QTest::mouseClick(button(w, "Command4"), Qt::LeftButton);
    QCOMPARE(location->text(), QStringLiteral("/home/ann/typed.html"));
    QVERIFY(dialogs.lastFilter.contains(QStringLiteral("*.htm")));
    QVERIFY(dialogs.lastFilter.contains(QStringLiteral("*.html")));
    // The path as the system writes it.
    QTest::mouseClick(button(w, "Command4"), Qt::LeftButton);
    QCOMPARE(location->text(), QDir::toNativeSeparators(chosen));
    QTest::mouseClick(button(w, "Command4"), Qt::LeftButton);
    QCOMPARE(location->text(), QDir::toNativeSeparators(chosen));
    QVERIFY(button(w, "Option2")->isChecked());
    QVERIFY(panel(w, "Frame2")->isVisible());
}

void TestForm1Flows::failuresAreToldOnceAndTheWindowGoesOn_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("save"); // Save, else Launch
    QTest::addColumn<QString>("said");
    QTest::newRow("Save without a name") << "no name" << true << "Please Enter a Template Name";
    QTest::newRow("Save with nowhere to write") << "blocked folder" << true << "blocker";
    QTest::newRow("Launch without a mail client") << "no client" << false << "not to start";
    QTest::newRow("Launch with a missing attachment") << "missing attachment" << false << "no such file.pdf";
}

void TestForm1Flows::failuresAreToldOnceAndTheWindowGoesOn()
{
    QFETCH(QString, fault);
    QFETCH(bool, save);
    QFETCH(QString, said);
    if (fault == QLatin1String("blocked folder")) {
        writeBytes(path(QStringLiteral("blocker")), QByteArray());
        storeDirectory = path(QStringLiteral("blocker/templates"));
    }
    if (fault == QLatin1String("no client"))
        mailFailure = {RecordingMailClient::Operation::Create, 1};
    Form1 *w = openWindow();
    if (fault != QLatin1String("no name"))
        QTest::keyClicks(box(w, "Text1"), QStringLiteral("Offer"));
    if (fault == QLatin1String("missing attachment"))
        QTest::keyClicks(box(w, "Text3"), path(QStringLiteral("no such file.pdf")));
    QTest::keyClicks(box(w, "Text2"), QStringLiteral("still here"));
    QTest::mouseClick(button(w, save ? "Command3" : "Command1"), Qt::LeftButton);

    QCOMPARE(messages().size(), 1);
    QVERIFY2(messages()[0].contains(said), qPrintable(messages()[0]));
    QCOMPARE(entryCount(w), 0);
    QVERIFY(!mailLog->contains(QStringLiteral("Display")));
    // The editor keeps what was typed, and the other command still works.
    QCOMPARE(box(w, "Text2")->text(), QStringLiteral("still here"));
    box(w, "Text3")->clear();
    QTest::keyClicks(box(w, "Text1"), QStringLiteral("2"));
    QTest::mouseClick(button(w, save ? "Command1" : "Command3"), Qt::LeftButton);
    if (save)
        QVERIFY(mailLog->contains(QStringLiteral("Display")));
    else
        QCOMPARE(entryCount(w), 1);
}

// While a launch hands its message over (the window handles its events
// meanwhile), the busy cursor shows, and a second Launch waits until the
// first is done instead of being lost or mixed into it.
void TestForm1Flows::launchesDuringALaunchWaitTheirTurn()
{
    QStringList cursorAtDisplay;
    mailCalled = [&](const QString &line) {
        if (line != QLatin1String("Display"))
            return;
        const QCursor *cursor = QApplication::overrideCursor();
        cursorAtDisplay << (cursor && cursor->shape() == Qt::BusyCursor ? QStringLiteral("busy") : QStringLiteral("-"));
        if (cursorAtDisplay.size() == 1) { // the user clicks Launch twice more meanwhile
            QTest::mouseClick(button(window(), "Command1"), Qt::LeftButton);
            QTest::mouseClick(button(window(), "Command1"), Qt::LeftButton);
        }
    };
    Form1 *w = openWindow();
    QTest::keyClicks(box(w, "Text2"), QStringLiteral("Hello"));
    QTest::mouseClick(button(w, "Command1"), Qt::LeftButton);

    // Three whole launches, one after the other.
    QTRY_COMPARE(mailLog->count(QStringLiteral("Release")), 3);
    QCOMPARE(mailLog->filter(QRegularExpression(QStringLiteral("^(CreateItem|Display|Release)"))),
             (QStringList{QStringLiteral("CreateItem 0"), QStringLiteral("Display"), QStringLiteral("Release"),
                          QStringLiteral("CreateItem 0"), QStringLiteral("Display"), QStringLiteral("Release"),
                          QStringLiteral("CreateItem 0"), QStringLiteral("Display"), QStringLiteral("Release")}));
    QCOMPARE(cursorAtDisplay, (QStringList{QStringLiteral("busy"), QStringLiteral("busy"), QStringLiteral("busy")}));
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

QTEST_MAIN(TestForm1Flows)
#include "tst_form1_flows.moc"
