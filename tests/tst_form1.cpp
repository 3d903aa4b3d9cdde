// The main window as it stands: its captions and the names a screen reader
// reads, the new window and its grid, every text through the translation;
// and the real dialogs. (Start-up, the stored flags as the
// options show them, clicks and keys on the options, launches during a
// launch and Exit are steps of tests/data/window.)

#include "app/layout.h"
#include "app/widgetdialogs.h"
#include "support/testdata.h"
#include "support/windowtest.h"

#include <QAccessible>
#include <QAction>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>

#include <limits>

class TestForm1 : public WindowTest
{
    Q_OBJECT

private slots:
    void captionsAreExact();
    void newWindowAndGrid();
    void everyTextTheWindowShowsCanBeTranslated();
    void theRealDialogs();
};

void TestForm1::captionsAreExact()
{
    Form1 *w = openWindow();
    for (const QStringList &row : testdata::table(QStringLiteral("captions")).mid(1)) {
        // An action's, a label's or a button's text, a menu's title.
        const QObject *shown = control<QObject>(w, row[0]);
        QCOMPARE(shown->property(qobject_cast<const QMenu *>(shown) ? "title" : "text").toString(), row[1]);
    }
    QStringList menuBar;
    for (QAction *top : w->menuBar()->actions())
        menuBar << top->text();
    QCOMPARE(menuBar, (QStringList{"File", "Help"}));
    // The attachments box and the list tell a screen reader what their
    // captions say; labels are read without their padding, the window as
    // "Letterloom". (The Tab order with the names a screen reader reads:
    // tests/data/window/tab-order-*.)
    QCOMPARE(QAccessible::queryAccessibleInterface(box(w, "Text3"))->text(QAccessible::Description),
             "Attachments Full Path (Seperate multiple attaments with ; )");
#ifdef Q_OS_WIN
    const QString hint = QStringLiteral(" (Make sure Outlook is open)");
#else
    const QString hint;
#endif
    QCOMPARE(QAccessible::queryAccessibleInterface(list(w))->text(QAccessible::Description),
             "Click to Edit or Double Click to Open in a Email" + hint);
    for (QLabel *l : w->findChildren<QLabel *>())
        QCOMPARE(QAccessible::queryAccessibleInterface(l)->text(QAccessible::Name), l->text().simplified());
    QCOMPARE(QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name), QStringLiteral("Letterloom"));
}

void TestForm1::newWindowAndGrid()
{
    Form1 *w = openWindow();
    QVERIFY(QTest::qWaitForWindowExposed(w));

    QVERIFY(w->windowTitle().startsWith(QStringLiteral("Letterloom 2.1 - by: ")) && w->windowTitle().size() > 21);
    QCOMPARE(w->centralWidget()->size(), QSize(667, 434));
    QCOMPARE(w->windowIcon().availableSizes(), QList<QSize>({QSize(16, 16), QSize(32, 32)}));
    QCOMPARE(QApplication::focusWidget(), box(w, "Text1"));
    // Plain Text, the body box shown, the location box and Browse not.
    QVERIFY(button(w, "Option1")->isChecked() && !button(w, "Option2")->isChecked());
    QVERIFY(bodyBox(w)->isVisible() && !box(w, "Text8")->isVisible() && !button(w, "Command4")->isVisible());
    for (const QLineEdit *e : w->findChildren<QLineEdit *>())
        QVERIFY(!e->isReadOnly() && e->maxLength() == std::numeric_limits<int>::max());

    // Every control stands where the layout puts it, within its panel; of
    // the grid, rows 1 to 9 lie in the window's first size, 10 and 11 below.
    for (const layout::Place &place : layout::places())
        QCOMPARE(control<QWidget>(w, place.control)->geometry(), layout::pixels(place));
    const QRect client = w->centralWidget()->rect();
    int above = -1;
    for (int row = 1; row <= 11; ++row) {
        const int pair = layout::pairOfRow(row);
        const QRect find = control<QWidget>(w, QString("TextFind_%1").arg(pair))->geometry();
        QCOMPARE(client.contains(find), row <= 9);
        QVERIFY(find.right() < control<QWidget>(w, QString("TextReplaceit_%1").arg(pair))->geometry().left());
        QVERIFY2(find.top() > above, qPrintable(QString::number(row))); // rows stand in their order
        above = find.top();
    }
    QCOMPARE(control<QWidget>(w, "Label3")->parentWidget(), control<QWidget>(w, "Frame1"));
    QCOMPARE(button(w, "Command4")->parentWidget(), control<QWidget>(w, "Frame2"));

    // The list shows an entry's name only: nothing scrolls sideways and the
    // 200 spaces push the rest out of sight.
    auto *listBox = list(w);
    QCOMPARE(listBox->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(listBox->textElideMode(), Qt::ElideNone);
    QVERIFY(QFontMetrics(listBox->font()).horizontalAdvance(QString(200, u' ')) > listBox->viewport()->width());
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
    // The caption; the labels', buttons', actions' and menus' texts and the
    // names a screen reader reads (the window's own is the program's name).
    QStringList texts{w->windowTitle()}, untranslated;
    for (const QObject *shown : w->findChildren<QObject *>()) {
        for (const char *property : {"title", "text", "accessibleName"})
            texts << shown->property(property).toString();
    }
    for (const QString &text : std::as_const(texts)) {
        if (!text.isEmpty() && !(text.startsWith(u'\u00ab') && text.endsWith(u'\u00bb')))
            untranslated << text;
    }
    QVERIFY2(untranslated.isEmpty(), qPrintable(untranslated.join(u'\n')));
}

// The boxes the user sees: Letterloom's title, no picture, each answered as
// a user answers it; Browse starting in the documents folder (or home), never
// the working folder.
void TestForm1::theRealDialogs()
{
    QWidget parent;
    WidgetDialogs real(&parent);
    QStringList seen;
    // Notes what the next modal box shows, then presses the button of that
    // caption, or Escape, or closes or rejects the box.
    const auto next = [&](const QString &action) {
        QTimer::singleShot(0, &parent, [&seen, action] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            seen << dialog->windowTitle();
            if (auto *box = qobject_cast<QMessageBox *>(dialog)) {
                seen << box->text() << QString::number(box->icon());
                for (QAbstractButton *b : box->buttons())
                    seen << b->text().remove(u'&');
            } else if (auto *input = qobject_cast<QInputDialog *>(dialog)) {
                seen << input->textValue();
            } else if (auto *files = qobject_cast<QFileDialog *>(dialog)) {
                seen << files->objectName() << files->directory().absolutePath();
            }
            for (QAbstractButton *b : dialog->findChildren<QAbstractButton *>()) {
                if (b->text().remove(u'&') == action)
                    QTest::mouseClick(b, Qt::LeftButton);
            }
            if (action == u"Escape")
                QTest::keyClick(dialog, Qt::Key_Escape);
            else if (action == u"close")
                dialog->close();
            else if (action == u"reject")
                dialog->reject();
        });
    };
    next("Yes");
    QVERIFY(real.question(QStringLiteral("Replace it?")));
    next("OK");
    real.message(QStringLiteral("Line one\r\nline two"));
    next("Save as Draft");
    QCOMPARE(real.choice("Which one?", {"Open as Plain Text", "Save as Draft"}), std::optional<int>(1));
    next("Escape");
    QCOMPARE(real.choice("Which one?", {"Open as Plain Text", "Save as Draft"}), std::nullopt);
    next("close");
    QCOMPARE(real.choice("Which one?", {"Open as Plain Text", "Save as Draft"}), std::nullopt);
    next("reject");
    QCOMPARE(real.textInput(QStringLiteral("New name:"), QStringLiteral("Offer")), std::nullopt);
    next("reject");
    QVERIFY(real.openFileName(QStringLiteral("HTML files (*.htm *.html)")).isEmpty());
    QCOMPARE(seen.mid(0, 3), (QStringList{"Letterloom", "Replace it?", "0"}));
    QCOMPARE(QSet<QString>(seen.begin() + 3, seen.begin() + 5), (QSet<QString>{"No", "Yes"}));
    QCOMPARE(seen.mid(5, 4), (QStringList{"Letterloom", "Line one\nline two", "0", "OK"}));
    const QStringList choice{"Letterloom", "Which one?", "0", "Open as Plain Text", "Save as Draft"};
    QCOMPARE(seen.mid(9, 15), choice + choice + choice);
    QCOMPARE(seen.mid(24, 2), (QStringList{"Letterloom", "Offer"}));
    // Browse starts in the documents folder (or home), never the working folder.
    QCOMPARE(seen.value(27), QStringLiteral("CommonDialog1"));
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString directory = seen.value(28);
    QVERIFY2(directory == (QDir(documents).exists() ? QDir(documents).absolutePath() : QDir::homePath()),
             qPrintable(directory));
    QVERIFY(directory != QDir::currentPath());
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
