// The main window at work: launches during a launch. (Saving, listing,
// selecting, bringing back and launching a template, the pair boxes, Browse
// and what the user is told when a step fails are steps of tests/data/window,
// which tst_form1_templates plays.)

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
    void launchesDuringALaunchWaitTheirTurn();
};

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
