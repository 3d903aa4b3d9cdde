// Changing stored templates from the window, as only the window does it:
// the questions that name what a change touches, saving a template brought
// back without a change, the name box after a rename, Undo Delete from the
// list's menu and by Ctrl+Z, what another copy changed, one command at a
// time, and the lock of another copy. What the commands do to the files is
// the store model's test (tst_storemodel).

#include "platform/folderlock.h"
#include "support/testfiles.h"
#include "support/windowtest.h"

#include <QMenu>
#include <QSysInfo>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using testfiles::contentsOf;
using testfiles::writeBytes;

namespace {

const QString kData = QStringLiteral("MainData.txt");

// Every file of the folder and its contents, the kept versions aside.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files = testdata::snapshot(folder);
    files.removeIf([](const std::pair<const QString &, QByteArray &> &file) { return file.first.startsWith("Deleted"); });
    return files;
}

void save(QWidget *w)
{
    QTest::mouseClick(button(w, "Command3"), Qt::LeftButton);
}

// A data folder in which nothing can be changed, not even by root, once
// makeReadOnly() is called; null when this machine cannot make one.
#ifdef Q_OS_LINUX
struct ReadOnlyFolder
{
    testfiles::SmallDisk disk{512};
    QTemporaryDir plain;
    QString path() const { return disk.mounted() ? disk.path() : plain.path(); }
    bool makeReadOnly() const
    {
        if (disk.mounted())
            return disk.makeReadOnly();
        return geteuid() != 0 && chmod(QFile::encodeName(plain.path()).constData(), 0555) == 0;
    }
    ~ReadOnlyFolder() { chmod(QFile::encodeName(plain.path()).constData(), 0755); }
};
#else
struct ReadOnlyFolder
{
    QTemporaryDir plain;
    QString path() const { return plain.path(); }
    bool makeReadOnly() const { return false; }
};
#endif

} // namespace

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
    void whatAnotherCopyChangedIsSeen();
    void oneCommandAtATimeWhileOneWaits();
    void aFailedChangeSaysWhyAndChangesNothing();
    void aTeamFolderThatIsNotThereIsSaidAndNotMade();
};

void TestForm1Templates::whatAnotherCopyChangedIsSeen()
{
    copyFixture("two-offers");
    Form1 *w = openWindow();
    clickEntry(list(w), 1);
    // Another copy, on this machine or another, changes "Other" meanwhile.
    auto other = openAnotherWindow();
    clickEntry(list(other.get()), 1);
    QTest::keyClick(box(other.get(), "Text2"), Qt::Key_End); // a box brought back shows its start
    QTest::keyClicks(box(other.get(), "Text2"), QStringLiteral(" by them"));
    dialogs.answers << true;
    save(other.get());
    // Coming back to this window shows it.
    other.reset();
    w->activateWindow();
    QTRY_COMPARE(entryText(w, 1), QStringLiteral("Other") + QString(200, u' ')
                                      + QStringLiteral("\tkept by them\t\t\tto@example.com\t\tTrue\tFalse\t"));
    // Saving this window's older version asks before it overwrites theirs.
    QTest::keyClicks(box(w, "Text2"), QStringLiteral(" by me"));
    dialogs.answers << false;
    save(w);
    QVERIFY2(dialogs.questions.last().contains(QLatin1String("changed by someone else")),
             qPrintable(dialogs.questions.last()));
    QCOMPARE(messages(), QStringList());
}

void TestForm1Templates::oneCommandAtATimeWhileOneWaits()
{
    copyFixture("two-offers");
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
    QCOMPARE(contentsOf(path(kData)), templateLine("Other", "kept") + templateLine("offer", "second"));
    QCOMPARE(messages(), QStringList());
}

void TestForm1Templates::aFailedChangeSaysWhyAndChangesNothing()
{
    ReadOnlyFolder folder;
    storeDirectory = folder.path();
    QVERIFY(testdata::makeFixture("two-offers", folder.path()).isEmpty());
    const auto before = snapshot(folder.path());
    Form1 *w = openWindow();
    if (!folder.makeReadOnly())
        QSKIP("this machine cannot make a folder that its user cannot write");
    dialogs.answers << true;
    selectEntry(w, 0);
    QTest::keyClick(list(w), Qt::Key_Delete);
    QCOMPARE(messages().size(), 1);
    QVERIFY2(messages().first().startsWith(QLatin1String("The template was not deleted."))
                 && messages().first().contains(QLatin1String("read-only")),
             qPrintable(messages().first()));
    QCOMPARE(snapshot(folder.path()), before);
    QCOMPARE(entryCount(w), 3);
}

void TestForm1Templates::aTeamFolderThatIsNotThereIsSaidAndNotMade()
{
    // The share is not connected.
    storeDirectory = path(QStringLiteral("share/templates"));
    Form1 *w = openWindow();
    w->ReportStartUp();
    QCOMPARE(messages().size(), 1);
    QVERIFY2(messages().first().contains(QDir::toNativeSeparators(storeDirectory)), qPrintable(messages().first()));
    typeInto(w, {{"Text1", QStringLiteral("Offer")}});
    save(w);
    QCOMPARE(messages().size(), 2);
    QVERIFY2(messages().last().startsWith(QLatin1String("The template was not saved: the templates folder"))
                 && messages().last().contains(QLatin1String("cannot be reached")),
             qPrintable(messages().last()));
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("share"))));
}

QTEST_MAIN(TestForm1Templates)
#include "tst_form1_templates.moc"
