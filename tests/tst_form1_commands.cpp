// Clear, the window's commands that change nothing (Help, About,
// Suggestions, Exit and closing the window, also during a launch), a settings
// store that cannot be written, and the real dialogs. (The keys a desktop
// user expects are steps of tests/data/window.)

#include "app/appinfo.h"
#include "app/widgetdialogs.h"
#include "support/windowtest.h"
#include "support/testfiles.h"

#include <QAction>
#include <QDirIterator>
#include <QFileDialog>
#include <QInputDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>

#include <functional>

using testfiles::contentsOf;

class TestForm1Commands : public WindowTest
{
    Q_OBJECT

private slots:
    void clearEmptiesTheEditor();
    void helpAboutAndSuggestionsChangeNothing();
    void f1OpensTheHelpPage();
    void exitAndCloseEndWithoutSaving_data();
    void exitAndCloseEndWithoutSaving();
    void exitDuringALaunchShowsNothing();
    void pairSaveFailureIsReported();
    void theRealDialogs();
};

// Everything a user could see changed, and everything stored.
static QStringList snapshot(const Form1 *w, const QString &dir)
{
    QStringList s;
    for (const QLineEdit *e : w->findChildren<QLineEdit *>())
        s << e->objectName() + u'=' + e->text();
    s << QStringLiteral("Text7=") + bodyBox(w)->toPlainText();
    for (const QAbstractButton *b : w->findChildren<QAbstractButton *>())
        s << b->objectName() + (b->isChecked() ? QStringLiteral(" on") : QStringLiteral(" off"));
    s << QStringLiteral("Frame1 ") + QString::number(!panel(w, "Frame1")->isHidden());
    const QListView *l = list(w);
    for (int i = 0; i < entryCount(w); ++i) {
        const bool selected = l->selectionModel()->isSelected(l->model()->index(i, 0));
        s << entryText(w, i) + (selected ? QStringLiteral(" selected") : QString());
    }
    QDirIterator files(dir, QDir::Files);
    while (files.hasNext()) {
        QFile file(files.next());
        if (file.open(QIODevice::ReadOnly))
            s << file.fileName() + u'=' + QString::fromLatin1(file.readAll().toHex());
    }
    QSettings settings = userSettings();
    settings.beginGroup(QStringLiteral("replace"));
    for (const QString &key : settings.allKeys())
        s << key + u'=' + settings.value(key).toString();
    s.sort();
    return s;
}

// Clear leaves nothing of the template shown before: every box of the
// editor, the HTML option, the list's selection, and which template was
// shown, so that saving its name after another copy changed it asks as for
// a new template. It asks nothing; the pairs, the list and the files stay.
void TestForm1Commands::clearEmptiesTheEditor()
{
    writeData(recordLine({"Offer", "Subject", "a.pdf", "cc@x", "to@x", "bcc@x", "False", "True", "/a.html"}));
    testfiles::writeBytes(path("LTM-Offer.txt"), "Old body\r\n");
    Form1 *w = openWindow();
    QApplication::setActiveWindow(w);
    QVERIFY(QTest::qWaitForWindowActive(w));
    clickEntry(list(w), 0);
    QTest::keyClicks(findBox(w, 3), "find");
    const QByteArray data = contentsOf(path("MainData.txt"));
    QTest::mouseClick(button(w, "Command2"), Qt::LeftButton);
    QCOMPARE(editorBoxes(w) << bodyBox(w)->toPlainText(), QStringList(8, QString()));
    QVERIFY(button(w, "Option1")->isChecked() && !button(w, "Option2")->isChecked() && panel(w, "Frame2")->isHidden());
    QVERIFY(!entrySelected(w) && entryCount(w) == 1 && mailLog->isEmpty());
    QCOMPARE(QApplication::focusWidget(), box(w, "Text1"));
    QCOMPARE(findBox(w, 3)->text() + userSettings().value("replace/TextFind-3").toString(), "findfind");
    QCOMPARE(contentsOf(path("MainData.txt")), data);

    writeData(recordLine({"Offer", "Changed elsewhere"}));
    QTest::keyClicks(box(w, "Text1"), "Offer");
    dialogs.answers << true;
    QTest::keyClick(box(w, "Text1"), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(dialogs.questions.size(), 1);
    QVERIFY2(!dialogs.questions[0].contains("changed by someone else"), qPrintable(dialogs.questions[0]));
}

void TestForm1Commands::helpAboutAndSuggestionsChangeNothing()
{
    writeData(recordLine({QStringLiteral("Offer"), QStringLiteral("Subject")}));
    Form1 *w = openWindow();
    clickEntry(list(w), 0);
    const QStringList before = snapshot(w, dataFolder());

    control<QAction>(w, QStringLiteral("HelpMMMM"))->trigger(); // the page: tst_form1_display
    control<QAction>(w, QStringLiteral("AboutMMMM"))->trigger();
    control<QAction>(w, QStringLiteral("SuggestionsM"))->trigger();
    QCOMPARE(messages().size(), 2);
    const QStringList about = messages()[0].split(QStringLiteral("\r\n"));
    QCOMPARE(about.size(), 4);
    QCOMPARE(about[0], QStringLiteral("Letterloom 2.1"));
    QCOMPARE(about[1], QString());
    QVERIFY(about[2].startsWith(QStringLiteral("Written By: ")) && about[2].size() > 12);
    QVERIFY(about[3].contains(u'@') && !about[3].contains(u'\n'));
    const QString suggestion = messages()[1];
    QVERIFY(suggestion.startsWith(QStringLiteral("Email Suggestion to ")));
    QVERIFY(suggestion.contains(u'@') && !suggestion.contains(u'\n') && !suggestion.endsWith(u' '));

    QCOMPARE(snapshot(w, dataFolder()), before);
}

// F1 anywhere in the window opens the help page; the menu item shows no key.
void TestForm1Commands::f1OpensTheHelpPage()
{
    Form1 *w = openWindow();
    QApplication::setActiveWindow(w);
    QVERIFY(QTest::qWaitForWindowActive(w));
    for (const char *at : {"Text3", "TextFind_4"})
        QTest::keyClick(box(w, at), Qt::Key_F1);
    QCOMPARE(desktop.opened, QList<QUrl>(2, appinfo::helpPageUrl()));
    QVERIFY(control<QAction>(w, "HelpMMMM")->shortcut().isEmpty());
}

void TestForm1Commands::exitAndCloseEndWithoutSaving_data()
{
    QTest::addColumn<bool>("byMenu");
    QTest::newRow("File > Exit") << true;
    QTest::newRow("closing the window") << false;
}

void TestForm1Commands::exitAndCloseEndWithoutSaving()
{
    QFETCH(bool, byMenu);

    writeData(recordLine({QStringLiteral("Offer"), QStringLiteral("Subject")}));
    Form1 *w = openWindow();
    clickEntry(list(w), 0);
    QTest::keyClicks(box(w, "Text2"), QStringLiteral(" changed, not saved"));
    QTest::keyClicks(findBox(w, 0), QStringLiteral("x"));
    const QStringList before = snapshot(w, dataFolder());

    QTimer::singleShot(0, w, [w, byMenu] {
        if (byMenu)
            control<QAction>(w, QStringLiteral("ExitM"))->trigger();
        else
            w->close();
    });
    QTimer watchdog; // ends the event loop with 1 when the window does not end it
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
    watchdog.start(5000);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!w->isVisible());
    QCOMPARE(snapshot(w, dataFolder()), before);
}

void TestForm1Commands::exitDuringALaunchShowsNothing()
{
    Form1 *w = openWindow();
    QTest::keyClicks(box(w, "Text5"), QStringLiteral("to@example.com"));
    QTest::keyClicks(box(w, "Text2"), QStringLiteral("Hello"));

    // Exit is chosen while the launch lets the window handle its events (it
    // does so while the pairs are applied to the subject).
    QTimer::singleShot(0, w, [w] { control<QAction>(w, QStringLiteral("ExitM"))->trigger(); });
    QTest::mouseClick(button(w, "Command1"), Qt::LeftButton);

    QVERIFY(mailLog->contains(QStringLiteral("To=to@example.com")));
    QVERIFY(!mailLog->contains(QStringLiteral("Subject=Hello")));
    QVERIFY(!mailLog->contains(QStringLiteral("Display")));
    QCOMPARE(mailLog->last(), QStringLiteral("Release"));
    QVERIFY(!w->isVisible());
}

void TestForm1Commands::pairSaveFailureIsReported()
{
    storeBoxes({{"TextFind-0", "stored"}});
    BrokenSettings broken;
    Form1 *w = openWindow(&broken);
    // Start-up sets the boxes, which saves them; it reports nothing.
    QCOMPARE(findBox(w, 0)->text(), QStringLiteral("stored"));

    // One message for a run of keystrokes that cannot be stored, not one each.
    const int savesBefore = broken.saves;
    QTest::keyClicks(replaceBox(w, 4), QStringLiteral("xyz"));
    QCOMPARE(broken.saves, savesBefore + 3);
    QCOMPARE(messages().size(), 1);
    QVERIFY(messages()[0].contains(QStringLiteral("read-only")));
    // The typed text stays in the box, and the window goes on.
    QCOMPARE(replaceBox(w, 4)->text(), QStringLiteral("xyz"));
    // Once a write succeeds, the next failure is told again.
    broken.broken = false;
    QTest::keyClick(replaceBox(w, 4), Qt::Key_A);
    QCOMPARE(messages().size(), 1);
    broken.broken = true;
    QTest::keyClicks(replaceBox(w, 4), QStringLiteral("bc"));
    QCOMPARE(messages().size(), 2);
    // Save is not held up by it (and tells nothing more).
    QTest::keyClicks(box(w, "Text1"), QStringLiteral("Offer"));
    QTest::mouseClick(button(w, "Command3"), Qt::LeftButton);
    QCOMPARE(entryCount(w), 1);
}

// The boxes the user sees: Letterloom's title, no picture, each answered as
// a user answers it; Browse starting in the documents folder (or home), never
// the working folder.
void TestForm1Commands::theRealDialogs()
{
    QWidget parent;
    WidgetDialogs real(&parent);
    QStringList seen;
    // Notes what the next modal box shows, then does what the test says.
    const auto next = [&](std::function<void(QDialog *)> act) {
        QTimer::singleShot(0, &parent, [&seen, act] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            seen << dialog->windowTitle();
            if (auto *box = qobject_cast<QMessageBox *>(dialog)) {
                seen << box->text() << QString::number(box->icon());
                for (QAbstractButton *b : box->buttons())
                    seen << b->text().remove(u'&');
            }
            act(dialog);
        });
    };
    const auto press = [](const QString &caption) {
        return [caption](QDialog *dialog) {
            for (QAbstractButton *b : dialog->findChildren<QAbstractButton *>()) {
                if (b->text().remove(u'&') == caption)
                    QTest::mouseClick(b, Qt::LeftButton);
            }
        };
    };
    next(press("Yes"));
    QVERIFY(real.question(QStringLiteral("Replace it?")));
    next(press("OK"));
    real.message(QStringLiteral("Line one\r\nline two"));
    next(press("Save as Draft"));
    QCOMPARE(real.choice("Which one?", {"Open as Plain Text", "Save as Draft"}), std::optional<int>(1));
    next([](QDialog *dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    QCOMPARE(real.choice("Which one?", {"Open as Plain Text", "Save as Draft"}), std::nullopt);
    next([](QDialog *dialog) { dialog->close(); });
    QCOMPARE(real.choice("Which one?", {"Open as Plain Text", "Save as Draft"}), std::nullopt);
    QStringList buttons = seen.mid(3, 2);
    buttons.sort();
    QCOMPARE(buttons, (QStringList{"No", "Yes"}));
    QCOMPARE(seen.mid(5, 4), (QStringList{"Letterloom", "Line one\nline two", "0", "OK"}));
    const QStringList choice{"Letterloom", "Which one?", "0", "Open as Plain Text", "Save as Draft"};
    QCOMPARE(seen.mid(9), choice + choice + choice);
    QCOMPARE(seen.mid(0, 3), (QStringList{"Letterloom", "Replace it?", "0"}));

    QString initial;
    next([&initial](QDialog *dialog) {
        initial = qobject_cast<QInputDialog *>(dialog)->textValue();
        dialog->reject();
    });
    QCOMPARE(real.textInput(QStringLiteral("New name:"), QStringLiteral("Offer")), std::nullopt);
    QCOMPARE(seen.last(), QStringLiteral("Letterloom"));
    QCOMPARE(initial, QStringLiteral("Offer"));

    QString directory;
    next([&directory](QDialog *dialog) {
        QCOMPARE(dialog->objectName(), QStringLiteral("CommonDialog1"));
        directory = qobject_cast<QFileDialog *>(dialog)->directory().absolutePath();
        dialog->reject();
    });
    QVERIFY(real.openFileName(QStringLiteral("HTML files (*.htm *.html)")).isEmpty());
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QVERIFY2(directory == (QDir(documents).exists() ? QDir(documents).absolutePath() : QDir::homePath()),
             qPrintable(directory));
    QVERIFY(directory != QDir::currentPath());
}

QTEST_MAIN(TestForm1Commands)
#include "tst_form1_commands.moc"
