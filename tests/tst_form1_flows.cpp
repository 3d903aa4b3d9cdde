// The main window at work: saving a template, finding it listed after a
// restart, bringing it back, launching it; the find/replace boxes; Browse;
// and what the user is told when a step fails.

#include "support/windowtest.h"
#include "support/testfiles.h"

#include <QAction>
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

class TestForm1Flows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { startTestCase(); }
    void init() { clearSettings(); }

    void saveListRestartShowAndLaunch();
    void selectingEntries();
    void doubleClickLaunchesTheEntryClicked();
    void htmlTemplateLaunchesItsFile();
    void pairBoxesAreStoredAtOnce();
    void browseFillsTheLocationBox();
    void failuresAreToldOnceAndTheWindowGoesOn_data();
    void failuresAreToldOnceAndTheWindowGoesOn();
    void launchesDuringALaunchWaitTheirTurn();
    void entriesKeepTheirWholeText();
};

void TestForm1Flows::saveListRestartShowAndLaunch()
{
    WindowFixture f;
    const QString attachment = f.path(QStringLiteral("price list.pdf"));
    writeBytes(attachment, "%PDF");

    auto w = f.open();
    typeOffer(w.get(), attachment);
    QTest::mouseClick(button(w.get(), "Command3"), Qt::LeftButton);

    QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join(u'\n')));
    const QString expectedEntry = QStringLiteral("Offer") + QString(200, u' ')
                                  + QStringLiteral("\tOur offer, [Name]\t") + attachment
                                  + QStringLiteral("\tsales@example.com\t[Email]\tboss@example.com\tTrue\tFalse\t");
    QCOMPARE(entryCount(w.get()), 1);
    QCOMPARE(entryText(w.get(), 0), expectedEntry);
    QCOMPARE(contentsOf(f.path(QStringLiteral("LTM-Offer.txt"))),
             QByteArray("Dear [Name],\r\n\r\ncaf\xe9 prices attached.\r\n"));
    QVERIFY(contentsOf(f.path(QStringLiteral("MainData.txt"))).startsWith("Offer\tOur offer, [Name]\t"));
    w.reset();

    // A fresh window lists the template after start-up; a click brings it back.
    auto again = f.open();
    auto *listBox = list(again.get());
    QCOMPARE(entryCount(again.get()), 1);
    QCOMPARE(entryText(again.get(), 0), expectedEntry);
    QVERIFY(box(again.get(), "Text1")->text().isEmpty());
    clickEntry(listBox, 0);
    QCOMPARE(editorBoxes(again.get()), (QStringList{"Offer", "[Email]", "sales@example.com", "boss@example.com",
                                                    "Our offer, [Name]", attachment, ""}));
    QVERIFY(button(again.get(), "Option1")->isChecked());
    // The body as saved, without the line end Save put behind it.
    QCOMPARE(bodyBox(again.get())->toPlainText(), QStringLiteral("Dear [Name],\n\ncaf\u00e9 prices attached."));
    QCOMPARE(again->body(), QStringLiteral("Dear [Name],\r\n\r\ncaf\u00e9 prices attached."));

    // The pairs typed now apply to the launch.
    QTest::keyClicks(findBox(again.get(), 0), QStringLiteral("[Name]"));
    QTest::keyClicks(replaceBox(again.get(), 0), QStringLiteral("Mrs Smith"));
    QTest::keyClicks(findBox(again.get(), 9), QStringLiteral("[Email]"));
    QTest::keyClicks(replaceBox(again.get(), 9), QStringLiteral("smith@example.com"));
    QTest::mouseClick(button(again.get(), "Command1"), Qt::LeftButton);

    QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join(u'\n')));
    // Addresses go as typed: the pairs apply to subject and body.
    const QStringList expectedLaunch = {
        "CreateItem 0", "To=[Email]", "CC=sales@example.com", "BCC=boss@example.com",
        "Subject=Our offer, Mrs Smith", "BodyFormat=3", "BodyFormat=1",
        QStringLiteral("Body=Dear Mrs Smith,\r\n\r\ncaf\u00e9 prices attached."),
        "Attachments.Add " + attachment, "Display", "Release"};
    QCOMPARE(*f.mailLog, expectedLaunch);

    // A double click on the selected entry launches it again.
    f.mailLog->clear();
    doubleClickEntry(listBox, 0);
    QCOMPARE(*f.mailLog, expectedLaunch);
}

void TestForm1Flows::selectingEntries()
{
    WindowFixture f;
    f.writeData(recordLine({QStringLiteral("First"), QStringLiteral("one")})
                + recordLine({QStringLiteral("Second"), QStringLiteral("two")})
                + recordLine({QStringLiteral("Third"), QStringLiteral("three")}));
    auto w = f.open();
    QApplication::setActiveWindow(w.get());
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    auto *listBox = list(w.get());

    // The keyboard selects as the mouse does.
    listBox->setFocus(Qt::TabFocusReason);
    QVERIFY(box(w.get(), "Text1")->text().isEmpty());
    QTest::keyClick(listBox, Qt::Key_Down);
    QCOMPARE(box(w.get(), "Text1")->text(), QStringLiteral("First"));
    QTest::keyClick(listBox, Qt::Key_Down);
    QCOMPARE(box(w.get(), "Text1")->text(), QStringLiteral("Second"));
    QCOMPARE(box(w.get(), "Text2")->text(), QStringLiteral("two"));
    QTest::keyClick(listBox, Qt::Key_End);
    QCOMPARE(box(w.get(), "Text1")->text(), QStringLiteral("Third"));

    // A click on the entry already selected brings it back over the edits.
    QTest::keyClicks(box(w.get(), "Text2"), QStringLiteral(" edited"));
    bodyBox(w.get())->setPlainText(QStringLiteral("typed"));
    clickEntry(listBox, 2);
    QCOMPARE(box(w.get(), "Text2")->text(), QStringLiteral("three"));
    QVERIFY(bodyBox(w.get())->toPlainText().isEmpty()); // no body file: the box is emptied

    // Neither a press beside the entries nor Ctrl+click leaves the list
    // without a selection.
    QTest::mouseClick(listBox->viewport(), Qt::LeftButton, {}, QPoint(20, listBox->viewport()->height() - 5));
    QVERIFY(entrySelected(w.get()));
    const QRect third = listBox->visualRect(listBox->model()->index(2, 0));
    QTest::mouseClick(listBox->viewport(), Qt::LeftButton, Qt::ControlModifier, QPoint(20, third.center().y()));
    QVERIFY(entrySelected(w.get()));
    QCOMPARE(listBox->selectionModel()->selectedIndexes().value(0).row(), 2);
    QCOMPARE(box(w.get(), "Text1")->text(), QStringLiteral("Third"));
    QVERIFY(f.mailLog->isEmpty());
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TestForm1Flows::doubleClickLaunchesTheEntryClicked()
{
    WindowFixture f;
    f.writeData(recordLine({QStringLiteral("First"), QStringLiteral("one")})
                + recordLine({QStringLiteral("Second"), QStringLiteral("two")}));
    auto w = f.open();
    auto *listBox = list(w.get());
    clickEntry(listBox, 0);
    QTest::keyClicks(box(w.get(), "Text2"), QStringLiteral(" edited"));

    doubleClickEntry(listBox, 1);
    QCOMPARE(box(w.get(), "Text1")->text(), QStringLiteral("Second"));
    QCOMPARE(f.mailLog->count(QStringLiteral("Display")), 1);
    QVERIFY(f.mailLog->contains(QStringLiteral("Subject=two")));
}

void TestForm1Flows::htmlTemplateLaunchesItsFile()
{
    WindowFixture f;
    const QString page = f.path(QStringLiteral("news.html"));
    writeBytes(page, "<p>Hello [Name]</p>");
    const QString e;
    f.writeData(recordLine({QStringLiteral("News"), QStringLiteral("News for [Name]"), e, e, QStringLiteral("a@b"), e,
                            QStringLiteral("False"), QStringLiteral("True"), page}));
    {
        QSettings settings = userSettings();
        settings.setValue(QStringLiteral("replace/TextFind-8"), QStringLiteral("[Name]"));
        settings.setValue(QStringLiteral("replace/TextReplace-8"), QStringLiteral("Ann"));
    }
    auto w = f.open();
    clickEntry(list(w.get()), 0);
    QVERIFY(panel(w.get(), "Frame2")->isVisible());
    QTest::mouseClick(button(w.get(), "Command1"), Qt::LeftButton);
    QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join(u'\n')));
    QVERIFY(f.mailLog->contains(QStringLiteral("Subject=News for Ann")));
    QVERIFY(f.mailLog->contains(QStringLiteral("HTMLBody=<p>Hello Ann</p>")));
    QVERIFY(f.mailLog->contains(QStringLiteral("Display")));
}

void TestForm1Flows::pairBoxesAreStoredAtOnce()
{
    WindowFixture f;
    auto w = f.open();
    QSettings settings = userSettings();

    // Each key stroke is stored before the next one, rows 10 and 11 alike.
    auto *find9 = findBox(w.get(), 9);
    QTest::keyClick(find9, Qt::Key_A);
    settings.sync();
    QCOMPARE(settings.value(QStringLiteral("replace/TextFind-9")).toString(), QStringLiteral("a"));
    QTest::keyClicks(find9, QStringLiteral("bc"));
    QTest::keyClicks(replaceBox(w.get(), 8), QStringLiteral("row ten"));
    QTest::keyClicks(replaceBox(w.get(), 10), QStringLiteral("row nine"));
    settings.sync();
    QCOMPARE(settings.value(QStringLiteral("replace/TextFind-9")).toString(), QStringLiteral("abc"));
    QCOMPARE(settings.value(QStringLiteral("replace/TextReplace-8")).toString(), QStringLiteral("row ten"));
    QCOMPARE(settings.value(QStringLiteral("replace/TextReplace-10")).toString(), QStringLiteral("row nine"));

    // Emptying a box stores the empty text.
    QTest::keyClick(find9, Qt::Key_Backspace);
    QTest::keyClick(find9, Qt::Key_Backspace);
    QTest::keyClick(find9, Qt::Key_Backspace);
    settings.sync();
    QCOMPARE(settings.value(QStringLiteral("replace/TextFind-9"), QStringLiteral("gone")).toString(), QString());

    // Typing in an editor box stores nothing.
    QTest::keyClicks(box(w.get(), "Text1"), QStringLiteral("Unsaved"));
    QVERIFY(!QFileInfo::exists(f.path(QStringLiteral("MainData.txt"))));
    w.reset();

    auto again = f.open();
    QCOMPARE(replaceBox(again.get(), 8)->text(), QStringLiteral("row ten"));
    QCOMPARE(replaceBox(again.get(), 10)->text(), QStringLiteral("row nine"));
    QVERIFY(findBox(again.get(), 9)->text().isEmpty());
    QVERIFY(box(again.get(), "Text1")->text().isEmpty());
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TestForm1Flows::browseFillsTheLocationBox()
{
    WindowFixture f;
    auto w = f.open();
    QTest::mouseClick(button(w.get(), "Option2"), Qt::LeftButton);
    auto *location = box(w.get(), "Text8");
    QTest::keyClicks(location, QStringLiteral("/home/ann/typed.html"));

    // Cancel keeps what was typed.
    QTest::mouseClick(button(w.get(), "Command4"), Qt::LeftButton);
    QCOMPARE(f.dialogs.fileDialogs, 1);
    QCOMPARE(location->text(), QStringLiteral("/home/ann/typed.html"));
    QVERIFY(f.dialogs.lastFilter.contains(QStringLiteral("*.htm")));
    QVERIFY(f.dialogs.lastFilter.contains(QStringLiteral("*.html")));

    f.dialogs.fileAnswers << QStringLiteral("/srv/mail/letter one.htm");
    QTest::mouseClick(button(w.get(), "Command4"), Qt::LeftButton);
    QCOMPARE(location->text(), QStringLiteral("/srv/mail/letter one.htm"));
    // The next Browse starts afresh, not from the file chosen before.
    QTest::mouseClick(button(w.get(), "Command4"), Qt::LeftButton);
    QCOMPARE(f.dialogs.fileDialogs, 3);
    QCOMPARE(location->text(), QStringLiteral("/srv/mail/letter one.htm"));
    QVERIFY(button(w.get(), "Option2")->isChecked());
    QVERIFY(panel(w.get(), "Frame2")->isVisible());
    QVERIFY(f.dialogs.messages.isEmpty());
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
    WindowFixture f;
    if (fault == QLatin1String("blocked folder")) {
        writeBytes(f.path(QStringLiteral("blocker")), QByteArray());
        f.storeDirectory = f.path(QStringLiteral("blocker/templates"));
    }
    if (fault == QLatin1String("no client"))
        f.mailFailure = {RecordingMailClient::Operation::Create, 1};
    auto w = f.open();
    if (fault != QLatin1String("no name"))
        QTest::keyClicks(box(w.get(), "Text1"), QStringLiteral("Offer"));
    if (fault == QLatin1String("missing attachment"))
        QTest::keyClicks(box(w.get(), "Text3"), f.path(QStringLiteral("no such file.pdf")));
    QTest::keyClicks(box(w.get(), "Text2"), QStringLiteral("still here"));
    QTest::mouseClick(button(w.get(), save ? "Command3" : "Command1"), Qt::LeftButton);

    QCOMPARE(f.dialogs.messages.size(), 1);
    QVERIFY2(f.dialogs.messages[0].contains(said), qPrintable(f.dialogs.messages[0]));
    QCOMPARE(entryCount(w.get()), 0);
    QVERIFY(!f.mailLog->contains(QStringLiteral("Display")));
    // The editor keeps what was typed, and the other command still works.
    QCOMPARE(box(w.get(), "Text2")->text(), QStringLiteral("still here"));
    box(w.get(), "Text3")->clear();
    QTest::keyClicks(box(w.get(), "Text1"), QStringLiteral("2"));
    QTest::mouseClick(button(w.get(), save ? "Command1" : "Command3"), Qt::LeftButton);
    QCOMPARE(f.dialogs.messages.size(), 1);
    if (save)
        QVERIFY(f.mailLog->contains(QStringLiteral("Display")));
    else
        QCOMPARE(entryCount(w.get()), 1);
}

// While a launch hands its message over (the window handles its events
// meanwhile), the busy cursor shows, and a second Launch waits until the
// first is done instead of being lost or mixed into it.
void TestForm1Flows::launchesDuringALaunchWaitTheirTurn()
{
    WindowFixture f;
    QStringList cursorAtDisplay;
    Form1 *window = nullptr;
    f.mailCalled = [&](const QString &line) {
        if (line != QLatin1String("Display"))
            return;
        const QCursor *cursor = QApplication::overrideCursor();
        cursorAtDisplay << (cursor && cursor->shape() == Qt::BusyCursor ? QStringLiteral("busy") : QStringLiteral("-"));
        if (cursorAtDisplay.size() == 1) { // the user clicks Launch twice more meanwhile
            QTest::mouseClick(button(window, "Command1"), Qt::LeftButton);
            QTest::mouseClick(button(window, "Command1"), Qt::LeftButton);
        }
    };
    auto w = f.open();
    window = w.get();
    QTest::keyClicks(box(w.get(), "Text2"), QStringLiteral("Hello"));
    QTest::mouseClick(button(w.get(), "Command1"), Qt::LeftButton);

    // Three whole launches, one after the other.
    QTRY_COMPARE(f.mailLog->count(QStringLiteral("Release")), 3);
    QCOMPARE(f.mailLog->filter(QRegularExpression(QStringLiteral("^(CreateItem|Display|Release)"))),
             (QStringList{QStringLiteral("CreateItem 0"), QStringLiteral("Display"), QStringLiteral("Release"),
                          QStringLiteral("CreateItem 0"), QStringLiteral("Display"), QStringLiteral("Release"),
                          QStringLiteral("CreateItem 0"), QStringLiteral("Display"), QStringLiteral("Release")}));
    QCOMPARE(cursorAtDisplay, (QStringList{QStringLiteral("busy"), QStringLiteral("busy"), QStringLiteral("busy")}));
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TestForm1Flows::entriesKeepTheirWholeText()
{
    WindowFixture f;
    const QStringList lines = {
        QStringLiteral("\tstarts with TAB\tx"),
        QStringLiteral("Name ending in a space \tsubject"),
        QStringLiteral("Caf\u00e9 \u201cquoted\u201d\t\u20ac 5\t\t\t\t\tFalse\tTrue\tC:\\mail\\caf\u00e9.htm"),
        QStringLiteral("Spaces") + QString(250, u' ') + QStringLiteral("\tafter"),
        QStringLiteral("Long\t") + QString(40000, u'x'),
    };
    QByteArray data;
    for (const QString &line : lines)
        data += platform::toAnsi(line + QStringLiteral("\r\n"));
    f.writeData(data);
    auto w = f.open();
    QCOMPARE(entryCount(w.get()), lines.size());
    for (int i = 0; i < lines.size(); ++i) {
        const qsizetype tab = lines[i].indexOf(u'\t');
        QCOMPARE(entryText(w.get(), i), lines[i].left(tab) + QString(200, u' ') + lines[i].mid(tab));
        // The list shows the name alone (nothing at all for a nameless one).
        QCOMPARE(list(w.get())->model()->index(i, 0).data().toString(), lines[i].left(tab));
    }

    // Selecting them decodes exactly that text.
    clickEntry(list(w.get()), 1);
    QCOMPARE(box(w.get(), "Text1")->text(), QStringLiteral("Name ending in a space "));
    clickEntry(list(w.get()), 2);
    QCOMPARE(box(w.get(), "Text1")->text(), QStringLiteral("Caf\u00e9 \u201cquoted\u201d"));
    QCOMPARE(box(w.get(), "Text2")->text(), QStringLiteral("\u20ac 5"));
    QCOMPARE(box(w.get(), "Text8")->text(), QStringLiteral("C:\\mail\\caf\u00e9.htm"));
    QVERIFY(button(w.get(), "Option2")->isChecked());
    clickEntry(list(w.get()), 3);
    QCOMPARE(box(w.get(), "Text1")->text(), QStringLiteral("Spaces") + QString(50, u' '));
    clickEntry(list(w.get()), 4);
    QCOMPARE(box(w.get(), "Text2")->text(), QString(40000, u'x')); // longer than a line edit's usual limit
}

QTEST_MAIN(TestForm1Flows)
#include "tst_form1_flows.moc"
