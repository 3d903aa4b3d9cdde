// The window driven as a user drives it: the steps of tests/data/window,
// one file a case (see WindowTest::runScript), and what needs code: one
// command at a time. What the commands do to the
// files is the store model's test (tst_storemodel).

#include "platform/folderlock.h"
#include "support/testfiles.h"
#include "support/windowtest.h"

#include <QTimer>

using testfiles::contentsOf;

class TestForm1Templates : public testsupport::WindowTest
{
    Q_OBJECT

private slots:
    // The user's steps of tests/data/window/*.txt (see WindowTest::runScript),
    // each file a case: saving a stored name, a template brought back and
    // saved unchanged, Delete and Undo by keys and by the list's menu, a
    // rename, the lock of another copy, and more.
    void steps_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString &file : QDir(testdata::dataDir() + "/window").entryList({"*.txt"}))
            QTest::newRow(qPrintable(file.chopped(4))) << file.chopped(4);
    }
    void steps()
    {
        QFETCH(QString, name);
        runScript(name);
    }
    void oneCommandAtATimeWhileOneWaits();
};

void TestForm1Templates::oneCommandAtATimeWhileOneWaits()
{
    QVERIFY(testdata::makeFixture("two-offers", dataFolder()).isEmpty());
    Form1 *w = openWindow();
    // Another copy holds the folder for a moment: the Delete waits, the
    // window handling its events meanwhile, and the user presses Delete
    // again on another template.
    auto held = platform::FolderLock::take(dataFolder(), 0, {}, nullptr, nullptr);
    QVERIFY(held);
    QTimer::singleShot(100, w, [&] {
        selectEntry(w, 1);
        QTest::keyClick(list(w), Qt::Key_Delete);
    });
    QTimer::singleShot(400, w, [&] { held.reset(); });
    dialogs.answers << true;
    selectEntry(w, 0);
    QTest::keyClick(list(w), Qt::Key_Delete);
    // The second did not start; the first was done, and the list is the file.
    QCOMPARE(dialogs.questions.size(), 1);
    QCOMPARE(shownNames(w), (QStringList{"Other", "offer"}));
    QCOMPARE(contentsOf(path("MainData.txt")), templateLine("Other", "kept") + templateLine("offer", "second"));
    QCOMPARE(messages(), QStringList());
}

QTEST_MAIN(TestForm1Templates)
#include "tst_form1_templates.moc"
