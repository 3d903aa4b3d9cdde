// The main window as it stands: its controls and menus, the focus order, the
// body mode switch and start-up.

#include "app/layout.h"
#include "support/windowtest.h"

#include <QAction>
#include <QDirIterator>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QTranslator>

#include <limits>

class TestForm1 : public WindowTest
{
    Q_OBJECT

private slots:
    void captionsAreExact();
    void everyTextTheWindowShowsCanBeTranslated();
    void newWindowAndGrid();
    void tabFollowsTheFocusOrder_data();
    void tabFollowsTheFocusOrder();
    void optionsFollowStoredFlags_data();
    void optionsFollowStoredFlags();
    void optionClicksSwitchPanels();
    void startUpReadsWhatItCan_data();
    void startUpReadsWhatItCan();
};

void TestForm1::captionsAreExact()
{
    // The texts are the program's own, misspellings included.
    const std::pair<const char *, const char *> captions[] = {
        {"Label1", "Template Name"},
        {"Label9", "TO: Email Address          CC: Email Address            BCC: Email Address"},
        {"Label2", "Email Subject"},
        {"Label4", "Attachments Full Path (Seperate multiple attaments with ; )"},
        {"Label3", "Email Body"},
        {"Label10", "Saved HTML Email Location"},
        {"Label5", "Click to Edit or Double Click to Open in a Email (Make sure Outlook is open)"},
        {"Label8", "Find Text                               Replace Text"},
        {"Option1", "Plain Text"},
        {"Option2", "Saved HTML Email"},
        {"Command1", "Launch"},
        {"Command2", "Clear"},
        {"Command3", "Save"},
        {"Command4", "Browse"},
        {"FileM", "File"},
        {"SuggestionsM", "Suggestions"},
        {"ExitM", "E&xit"},
        {"HelpM", "Help"},
        {"HelpMMMM", "Help"},
        {"AboutMMMM", "About"},
        {"DeleteTemplateM", "Delete Template"},
        {"RenameTemplateM", "Rename Template"},
    };
    Form1 *w = openWindow();
    for (const auto &[name, caption] : captions) {
        QString text;
        if (auto *action = w->findChild<QAction *>(QLatin1String(name)))
            text = action->text();
        else if (auto *menu = w->findChild<QMenu *>(QLatin1String(name)))
            text = menu->title();
        else if (auto *label = w->findChild<QLabel *>(QLatin1String(name)))
            text = label->text();
        else
            text = button(w, name)->text();
        QCOMPARE(text, QLatin1String(caption));
    }
    QStringList menuBar;
    for (QAction *top : w->menuBar()->actions())
        menuBar << top->text();
    QCOMPARE(menuBar, (QStringList{"File", "Help"}));
}

void TestForm1::newWindowAndGrid()
{
    Form1 *w = openWindow();
    QVERIFY(QTest::qWaitForWindowExposed(w));

    QVERIFY(w->windowTitle().startsWith(QStringLiteral("Letterloom 2.1 - by: ")));
    QVERIFY(w->windowTitle().size() > 21);
    QCOMPARE(w->centralWidget()->size(), QSize(667, 434));
    QCOMPARE(w->windowIcon().availableSizes(), QList<QSize>({QSize(16, 16), QSize(32, 32)}));
    QCOMPARE(QApplication::focusWidget(), box(w, "Text1"));

    // Plain Text, the body box shown, the location box and Browse not.
    QVERIFY(button(w, "Option1")->isChecked());
    QVERIFY(!button(w, "Option2")->isChecked());
    QVERIFY(bodyBox(w)->isVisible());
    QVERIFY(!box(w, "Text8")->isVisible());
    QVERIFY(!button(w, "Command4")->isVisible());
    QCOMPARE(entryCount(w), 0);
    for (const QLineEdit *e : w->findChildren<QLineEdit *>()) {
        QVERIFY2(e->text().isEmpty(), qPrintable(e->objectName()));
        QVERIFY(!e->isReadOnly());
        QCOMPARE(e->maxLength(), std::numeric_limits<int>::max());
    }

    // Every control stands where the layout puts it, within its panel; of
    // the grid, rows 1 to 9 lie in the window's first size, 10 and 11 below.
    for (const layout::Place &place : layout::places()) {
        const QWidget *c = control<QWidget>(w, place.control);
        QCOMPARE(c->geometry(), layout::pixels(place));
    }
    const QRect client = w->centralWidget()->rect();
    int above = -1;
    for (int row = 1; row <= 11; ++row) {
        const int pair = layout::pairOfRow(row);
        const QRect find = findBox(w, pair)->geometry();
        QCOMPARE(client.contains(find), row <= 9);
        QVERIFY(find.right() < replaceBox(w, pair)->geometry().left());
        QVERIFY2(find.top() > above, qPrintable(QString::number(row))); // rows stand in their order
        above = find.top();
    }
    QCOMPARE(panel(w, "Label3")->parentWidget(), panel(w, "Frame1"));
    QCOMPARE(button(w, "Command4")->parentWidget(), panel(w, "Frame2"));

    // The list shows an entry's name only: nothing scrolls sideways and the
    // 200 spaces push the rest out of sight.
    auto *listBox = list(w);
    QCOMPARE(listBox->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(listBox->textElideMode(), Qt::ElideNone);
    QCOMPARE(listBox->selectionMode(), QAbstractItemView::SingleSelection);
    const QFontMetrics metrics(listBox->font());
    QVERIFY(metrics.horizontalAdvance(QString(200, QLatin1Char(' '))) > listBox->viewport()->width());

    // Every caption fits its fixed box in the window's font.
    for (const QLabel *l : w->findChildren<QLabel *>()) {
        if (!l->wordWrap())
            QVERIFY2(l->fontMetrics().horizontalAdvance(l->text()) <= l->width(), qPrintable(l->objectName()));
    }
    for (const QAbstractButton *b : w->findChildren<QAbstractButton *>())
        QVERIFY2(b->fontMetrics().horizontalAdvance(b->text()) < b->width(), qPrintable(b->objectName()));
}

void TestForm1::tabFollowsTheFocusOrder_data()
{
    QTest::addColumn<bool>("html");
    QTest::addColumn<QStringList>("order");

    QStringList head = {QStringLiteral("Text1"), QStringLiteral("Text5"), QStringLiteral("Text4"),
                        QStringLiteral("Text10"), QStringLiteral("Text2"), QStringLiteral("Text3")};
    QStringList grid;
    for (int pair : {0, 1, 2, 3, 4, 5, 6, 7, 10})
        grid << QStringLiteral("TextFind_%1").arg(pair) << QStringLiteral("TextReplaceit_%1").arg(pair);
    grid << QStringLiteral("Command1") << QStringLiteral("TextFind_9") << QStringLiteral("TextFind_8")
         << QStringLiteral("TextReplaceit_8") << QStringLiteral("TextReplaceit_9") << QStringLiteral("List1")
         << QStringLiteral("Command2") << QStringLiteral("Command3");

    QTest::newRow("plain") << false
                           << (head + QStringList{QStringLiteral("Text7")} + grid
                               + QStringList{QStringLiteral("Option1"), QStringLiteral("Text1")});
    QTest::newRow("HTML") << true
                          << (head + grid
                              + QStringList{QStringLiteral("Option2"), QStringLiteral("Text8"),
                                            QStringLiteral("Command4"), QStringLiteral("Text1")});
}

void TestForm1::tabFollowsTheFocusOrder()
{
    QFETCH(bool, html);
    QFETCH(QStringList, order);

    writeData(recordLine({QStringLiteral("Offer"), QStringLiteral("s")}));
    Form1 *w = openWindow();
    QApplication::setActiveWindow(w);
    QVERIFY(QTest::qWaitForWindowActive(w));
    if (html)
        QTest::mouseClick(button(w, "Option2"), Qt::LeftButton);
    box(w, "Text1")->setFocus();
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Text1"));

    QStringList seen = {QApplication::focusWidget()->objectName()};
    for (qsizetype i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(seen, order);
    // Tabbing through the list selected nothing and showed nothing.
    QVERIFY(!entrySelected(w));
    QVERIFY(box(w, "Text1")->text().isEmpty());
}

void TestForm1::optionsFollowStoredFlags_data()
{
    QTest::addColumn<QString>("plainFlag");
    QTest::addColumn<QString>("htmlFlag");
    QTest::addColumn<bool>("fromHtmlState");
    QTest::addColumn<bool>("option1");
    QTest::addColumn<bool>("option2");
    QTest::addColumn<bool>("plainPanel");

    QTest::newRow("True/False") << "True" << "False" << true << true << false << true;
    QTest::newRow("False/True") << "False" << "True" << false << false << true << false;
    QTest::newRow("false/TRUE") << "false" << "TRUE" << false << false << true << false;
    QTest::newRow("0/-1") << "0" << "-1" << false << false << true << false;
    QTest::newRow("True/True") << "True" << "True" << false << false << true << false;
    // Neither selected: the panel that plain text showed stays.
    QTest::newRow("False/False") << "False" << "False" << false << false << false << true;
    QTest::newRow("False/False after HTML") << "False" << "False" << true << false << false << true;
    QTest::newRow("unreadable") << "yes" << "" << true << true << false << true;
    QTest::newRow("missing") << "" << "" << false << true << false << true;
}

void TestForm1::optionsFollowStoredFlags()
{
    QFETCH(QString, plainFlag);
    QFETCH(QString, htmlFlag);
    QFETCH(bool, fromHtmlState);
    QFETCH(bool, option1);
    QFETCH(bool, option2);
    QFETCH(bool, plainPanel);

    const QString e;
    writeData(recordLine({QStringLiteral("Html"), e, e, e, e, e, QStringLiteral("False"), QStringLiteral("True"),
                          QStringLiteral("/tmp/x.html")})
              + recordLine({QStringLiteral("Tested"), e, e, e, e, e, plainFlag, htmlFlag, QStringLiteral("loc")}));
    Form1 *w = openWindow();
    auto *listBox = list(w);
    QCOMPARE(entryCount(w), 2);
    if (fromHtmlState) {
        clickEntry(listBox, 0);
        QVERIFY(panel(w, "Frame2")->isVisible());
    }
    clickEntry(listBox, 1);

    QCOMPARE(box(w, "Text1")->text(), QStringLiteral("Tested"));
    QCOMPARE(button(w, "Option1")->isChecked(), option1);
    QCOMPARE(button(w, "Option2")->isChecked(), option2);
    QCOMPARE(panel(w, "Frame1")->isVisible(), plainPanel);
    QCOMPARE(panel(w, "Frame2")->isVisible(), !plainPanel);
    QCOMPARE(box(w, "Text8")->text(), QStringLiteral("loc"));
    QCOMPARE(w->plainTextSelected(), option1);
    QCOMPARE(w->htmlSelected(), option2);

    // From any of these states a click on an option selects it alone.
    QTest::mouseClick(button(w, "Option2"), Qt::LeftButton);
    QVERIFY(button(w, "Option2")->isChecked());
    QVERIFY(!button(w, "Option1")->isChecked());
    QVERIFY(panel(w, "Frame2")->isVisible());
}

void TestForm1::optionClicksSwitchPanels()
{
    Form1 *w = openWindow();
    QApplication::setActiveWindow(w);
    QVERIFY(QTest::qWaitForWindowActive(w));
    auto *option1 = button(w, "Option1");
    auto *option2 = button(w, "Option2");
    QTest::keyClicks(bodyBox(w), QStringLiteral("kept body"));
    box(w, "Text8")->setText(QStringLiteral("/kept/path.html"));

    QTest::mouseClick(option2, Qt::LeftButton);
    QVERIFY(option2->isChecked() && !option1->isChecked());
    QVERIFY(!bodyBox(w)->isVisible());
    QVERIFY(box(w, "Text8")->isVisible() && button(w, "Command4")->isVisible());

    // A click on the selected option keeps it selected.
    QTest::mouseClick(option2, Qt::LeftButton);
    QVERIFY(option2->isChecked() && !option1->isChecked());
    QVERIFY(panel(w, "Frame2")->isVisible());

    // The arrow keys move the selection within the group, and Space
    // selects the option that has the focus.
    option2->setFocus();
    QTest::keyClick(option2, Qt::Key_Up);
    QVERIFY(option1->isChecked() && !option2->isChecked());
    QCOMPARE(QApplication::focusWidget(), option1);
    QTest::keyClick(option1, Qt::Key_Right);
    QVERIFY(option2->isChecked() && panel(w, "Frame2")->isVisible());
    option1->setFocus();
    QTest::keyClick(option1, Qt::Key_Space);
    QVERIFY(option1->isChecked() && !option2->isChecked());
    QVERIFY(bodyBox(w)->isVisible());
    QCOMPARE(bodyBox(w)->toPlainText(), QStringLiteral("kept body"));
    QCOMPARE(box(w, "Text8")->text(), QStringLiteral("/kept/path.html"));

    w->SetFrame();
    QVERIFY(panel(w, "Frame1")->isVisible() && !panel(w, "Frame2")->isVisible());
}

void TestForm1::startUpReadsWhatItCan_data()
{
    QTest::addColumn<bool>("dataFile");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("entries");

    QByteArray garbage;
    for (int round = 0; round < 4; ++round) {
        for (int b = 255; b >= 0; --b)
            garbage.append(static_cast<char>((b * 7 + round) & 0xFF));
    }
    QTest::newRow("no data file") << false << QByteArray() << 0;
    QTest::newRow("empty data file") << true << QByteArray() << 0;
    // Each line of it that holds a TAB is a template.
    int garbageLines = 0;
    const QList<QByteArray> pieces = garbage.split('\n');
    for (qsizetype i = 0; i + 1 < pieces.size(); ++i)
        garbageLines += pieces.at(i).contains('\t') ? 1 : 0;
    QTest::newRow("garbage bytes") << true << garbage << garbageLines;
    QTest::newRow("unfinished last line") << true << QByteArray("A\tx\r\nNo line\tend") << 1;
    QTest::newRow("line without TAB skipped") << true << QByteArray("just text\r\n\r\nB\ty\r\n") << 1;
}

void TestForm1::startUpReadsWhatItCan()
{
    QFETCH(bool, dataFile);
    QFETCH(QByteArray, contents);
    QFETCH(int, entries);

    storeBoxes({{"TextFind-2", "[Name]"}, {"TextReplace-10", "Ann"}});
    if (dataFile)
        writeData(contents);
    Form1 *w = openWindow();

    QCOMPARE(entryCount(w), entries);
    QVERIFY(!entrySelected(w));
    QCOMPARE(findBox(w, 2)->text(), QStringLiteral("[Name]"));
    QCOMPARE(replaceBox(w, 10)->text(), QStringLiteral("Ann"));
    QVERIFY(findBox(w, 0)->text().isEmpty());
    QVERIFY(box(w, "Text1")->text().isEmpty());
    QVERIFY(button(w, "Option1")->isChecked());
    QVERIFY(panel(w, "Frame1")->isVisible());
}

// A translation that marks every text it is asked for.
class MarkingTranslator final : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *, const char *source, const char *, int) const override
    {
        return QStringLiteral("\u00ab") + QString::fromUtf8(source) + QStringLiteral("\u00bb");
    }
};

void TestForm1::everyTextTheWindowShowsCanBeTranslated()
{
    MarkingTranslator marking;
    QCoreApplication::installTranslator(&marking);
    Form1 *w = openWindow();
    QCoreApplication::removeTranslator(&marking);
    const auto marked = [](const QString &text) { return text.startsWith(u'\u00ab') && text.endsWith(u'\u00bb'); };
    QStringList untranslated;
    for (const QLabel *label : w->findChildren<QLabel *>())
        untranslated << (marked(label->text()) ? QString() : label->text());
    for (const QAbstractButton *b : w->findChildren<QAbstractButton *>())
        untranslated << (marked(b->text()) ? QString() : b->text());
    for (const QAction *action : w->findChildren<QAction *>()) {
        if (!action->isSeparator() && !action->text().isEmpty())
            untranslated << (marked(action->text()) ? QString() : action->text());
    }
    for (const QWidget *widget : w->findChildren<QWidget *>()) {
        if (!widget->accessibleName().isEmpty())
            untranslated << (marked(widget->accessibleName()) ? QString() : widget->accessibleName());
    }
    untranslated.removeAll(QString());
    QVERIFY2(untranslated.isEmpty(), qPrintable(untranslated.join(u'\n')));
    QVERIFY(marked(w->windowTitle()));
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
