// Launching a template whose texts ask questions and hold dates, as a user
// does it: the question dialog answered with the keyboard, the message the
// mail client gets; the keys that save and launch from anywhere.
#include "support/testfiles.h"
#include "support/windowtest.h"

#include <QAccessible>
#include <QDialog>
#include <QLabel>
#include <QTimer>

#include <functional>

namespace {

// What the question dialog showed: its questions, the text each box held
// when it opened, and the boxes' names.
struct ShownDialog
{
    QString title;
    QStringList questions, prefilled, objectNames, accessibleNames;
};

QDialog *openQuestionDialog()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QStringLiteral("QuestionDialog") && w->isVisible())
            return static_cast<QDialog *>(w);
    }
    return nullptr;
}

} // namespace

class TestQuestions : public testsupport::WindowTest
{
    Q_OBJECT

    // Every question dialog that opened, in order.
    QList<ShownDialog> m_shown;
    // What the user does in the next dialogs, one after another; a dialog
    // that opens with none planned is cancelled and fails the test.
    QList<std::function<void(QDialog *)>> m_answers;
    QTimer m_watch;

    void prepareTest() override
    {
        m_shown.clear();
        m_answers.clear();
        // The dialog is modal: it is found and answered from the event loop
        // it runs.
        m_watch.setInterval(10);
        m_watch.callOnTimeout(this, [this] {
            QDialog *dialog = openQuestionDialog();
            if (!dialog || !dialog->isActiveWindow())
                return;
            ShownDialog shown;
            shown.title = dialog->windowTitle();
            for (int i = 0;; ++i) {
                auto *box = dialog->findChild<QLineEdit *>(QStringLiteral("Answer_%1").arg(i));
                if (!box)
                    break;
                shown.questions << dialog->findChild<QLabel *>(QStringLiteral("Question_%1").arg(i))->text();
                shown.prefilled << box->text();
                shown.objectNames << box->objectName();
                shown.accessibleNames << QAccessible::queryAccessibleInterface(box)->text(QAccessible::Name);
            }
            m_shown << shown;
            if (m_answers.isEmpty()) {
                dialog->reject();
                return;
            }
            m_answers.takeFirst()(dialog);
        });
        m_watch.start();
    }

    // Types each answer into its box, the first box first, going on with
    // Tab, and presses Enter.
    static std::function<void(QDialog *)> typing(const QStringList &answers)
    {
        return [answers](QDialog *dialog) {
            for (const QString &answer : answers) {
                QWidget *box = dialog->focusWidget();
                QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
                if (answer.isEmpty())
                    QTest::keyClick(box, Qt::Key_Delete);
                testsupport::typeText(box, answer);
                QTest::keyClick(box, Qt::Key_Tab);
            }
            QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
            QVERIFY(!dialog->isVisible());
        };
    }
    static std::function<void(QDialog *)> pressing(Qt::Key key)
    {
        return [key](QDialog *dialog) { QTest::keyClick(dialog->focusWidget(), key); };
    }

    void launch(Form1 *w) { QTest::mouseClick(button(w, "Command1"), Qt::LeftButton); }

    // A window the keyboard works in: the active one.
    Form1 *openActiveWindow()
    {
        Form1 *w = openWindow();
        QApplication::setActiveWindow(w);
        if (!QTest::qWaitForWindowActive(w))
            qFatal("the window does not become active");
        return w;
    }

private slots:
    // Every text a launch reads may ask; each question is asked once, in the
    // order of its first appearance, and its answer goes in as typed, where
    // no pair replaces anything in it. The pairs still work on the rest.
    void questionsAreAskedOnceAndAnsweredAsTyped()
    {
        calendar.today = [] { return QDate(2024, 12, 30); };
        calendar.locale = QLocale(QStringLiteral("en_GB"));
        Form1 *w = openWindow();
        const QString file = path("Invoice ACME.pdf");
        testfiles::writeBytes(file, "%PDF");
        typeInto(w, {{"Text1", "Invoice"},
                     {"Text5", "{{?Email}}"},
                     {"Text4", "{{?Name}} <{{?Email}}>"},
                     {"Text2", "Invoice {{?Number}} for {{?Name}}, {{month}} {{year}}"},
                     {"Text3", dataFolder() + "/Invoice {{?Name}}.pdf"},
                     {"Text7", "Dear {{?Name}},\ndue on {{date+3:d MMMM yyyy}}; Name: {{?Number}}"},
                     {"TextFind_0", "Name"},
                     {"TextReplaceit_0", "NAME"},
                     {"TextFind_1", "due"},
                     {"TextReplaceit_1", "payable"}});
        m_answers << typing({"ann@acme.example", "ACME", "Name due 7"});
        launch(w);

        QCOMPARE(m_shown.size(), 1);
        QCOMPARE(m_shown[0].title, "Launch \"Invoice\"");
        QCOMPARE(m_shown[0].questions, QStringList({"Email", "Name", "Number"}));
        QCOMPARE(m_shown[0].accessibleNames, m_shown[0].questions);
        QCOMPARE(m_shown[0].objectNames, QStringList({"Answer_0", "Answer_1", "Answer_2"}));
        QCOMPARE(m_shown[0].prefilled, QStringList({"", "", ""}));
        QCOMPARE(*mailLog, QStringList({"CreateItem 0", "To=ann@acme.example", "CC=ACME <ann@acme.example>",
                                        "BCC=", "Subject=Invoice Name due 7 for ACME, December 2024",
                                        "BodyFormat=3", "BodyFormat=1",
                                        "Body=Dear ACME,\r\npayable on 2 January 2025; NAME: Name due 7",
                                        "Attachments.Add " + file, "Display", "Release"}));
        QCOMPARE(messages(), QStringList());
    }

    // Escape, or Cancel, opens nothing and says nothing; the next launch asks
    // again. A template without questions, dates or not, asks nothing.
    void cancellingOpensNothing()
    {
        Form1 *w = openActiveWindow();
        typeInto(w, {{"Text2", "Hello {{?Who}}"}});
        m_answers << pressing(Qt::Key_Escape);
        launch(w);
        QCOMPARE(m_shown.size(), 1);
        QCOMPARE(*mailLog, QStringList());

        m_answers << [](QDialog *dialog) {
            QTest::mouseClick(dialog->findChild<QAbstractButton *>("CancelAnswers"), Qt::LeftButton);
        };
        QApplication::setActiveWindow(w); // back in the window, the dialog closed
        QTest::keyClick(box(w, "Text2"), Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(m_shown.size(), 2);
        QCOMPARE(*mailLog, QStringList());

        box(w, "Text2")->setText("Hello {{Who}} {{? }} on {{date:yyyy}}");
        calendar.today = [] { return QDate(1999, 1, 1); };
        w = openActiveWindow();
        typeInto(w, {{"Text2", "Hello {{Who}} {{? }} on {{date:yyyy}}"}});
        launch(w);
        QCOMPARE(m_shown.size(), 2);
        QVERIFY(mailLog->contains("Subject=Hello {{Who}} {{? }} on 1999"));
        QCOMPARE(messages(), QStringList());
    }

    // The answers last given for a template fill its boxes at the next launch,
    // from the list (double click, Enter) as from the button; they stay with
    // the template when it is renamed, and another template has its own.
    void answersAreRememberedPerTemplateAndFollowARename()
    {
        Form1 *w = openActiveWindow();
        typeInto(w, {{"Text1", "Offer"}, {"Text2", "{{?Customer}}: {{?Product}}"}});
        QTest::keyClick(box(w, "Text2"), Qt::Key_S, Qt::ControlModifier); // saves
        QCOMPARE(shownNames(w), QStringList({"Offer"}));
        m_answers << typing({"ACME", "Anvils"});
        doubleClickEntry(list(w), 0);
        QVERIFY(mailLog->contains("Subject=ACME: Anvils"));

        // A restart, Enter on the entry: the answers are offered; Enter takes them.
        mailLog->clear();
        w = openActiveWindow();
        selectEntry(w, 0);
        m_answers << pressing(Qt::Key_Return);
        QTest::keyClick(list(w), Qt::Key_Return);
        QCOMPARE(m_shown.last().prefilled, QStringList({"ACME", "Anvils"}));
        QVERIFY(mailLog->contains("Subject=ACME: Anvils"));

        dialogs.textAnswers << QStringLiteral("Special offer");
        chooseFromContextMenu(w, 0, "RenameTemplateM");
        QCOMPARE(shownNames(w), QStringList({"Special offer"}));
        selectEntry(w, 0);
        m_answers << typing({"Bolt Ltd"});
        launch(w);
        QCOMPARE(m_shown.last().prefilled, QStringList({"ACME", "Anvils"}));
        QVERIFY(mailLog->contains("Subject=Bolt Ltd: Anvils"));

        // A new template of the old name starts without answers.
        typeInto(w, {{"Text1", "x"}});
        box(w, "Text1")->setText("Offer");
        m_answers << pressing(Qt::Key_Escape);
        launch(w);
        QCOMPARE(m_shown.last().prefilled, QStringList({"", ""}));
        QCOMPARE(messages(), QStringList());
    }

    // Ctrl+S saves and Ctrl+Enter launches wherever the focus is, and neither
    // types anything into the box that has it.
    void keysSaveAndLaunchFromAnywhere_data()
    {
        QTest::addColumn<QString>("focus");
        for (const char *name : {"Text1", "Text7", "Text3", "TextFind_4", "TextReplaceit_10", "List1", "Command2",
                                 "Option1"})
            QTest::newRow(name) << name;
    }
    void keysSaveAndLaunchFromAnywhere()
    {
        QFETCH(QString, focus);
        Form1 *w = openActiveWindow();
        typeInto(w, {{"Text1", "Note"}, {"Text2", "Hi"}, {"Text7", "Body"}});
        auto *target = control<QWidget>(w, focus);
        target->setFocus();
        QTest::keyClick(target, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(shownNames(w), QStringList({"Note"}));
        QTest::keyClick(target, Qt::Key_Return, Qt::ControlModifier);
        QTest::keyClick(target, Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
        QCOMPARE(mailLog->count("Display"), 2);
        QVERIFY(mailLog->contains("Body=Body"));
        compareBoxes(w, {{"Text1", "Note"}, {"Text2", "Hi"}, {"Text3", ""}, {"TextFind_4", ""},
                         {"TextReplaceit_10", ""}});
        QCOMPARE(messages(), QStringList());
    }
};

QTEST_MAIN(TestQuestions)
#include "tst_questions.moc"
