// The main window at work: selecting entries, what the user is told when a
// step fails, launches during a launch. (Saving, listing, bringing back and
// launching a template, the pair boxes and Browse are steps of
// tests/data/window, which tst_form1_templates plays.)

#include "support/windowtest.h"
#include "support/testfiles.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

using compose::RecordingMailClient;
using testfiles::contentsOf;
using testfiles::writeBytes;

class TestForm1Flows : public WindowTest
{
    Q_OBJECT

private slots:
    void selectingEntries();
    void failuresAreToldOnceAndTheWindowGoesOn_data();
    void failuresAreToldOnceAndTheWindowGoesOn();
    void launchesDuringALaunchWaitTheirTurn();
};

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
