// The keys that save and launch from anywhere. (Launching a template whose
// texts ask questions and hold dates, the question dialog answered with the
// keyboard, are steps of tests/data/window.)
#include "support/windowtest.h"

class TestQuestions : public testsupport::WindowTest
{
    Q_OBJECT

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
