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

// Whether the list's menu, opened below the entries, offers Undo Delete.
bool undoOffered(QWidget *w)
{
    QListView *listBox = list(w);
    const QPoint below(20, listBox->viewport()->height() - 5);
    QContextMenuEvent event(QContextMenuEvent::Mouse, below, listBox->viewport()->mapToGlobal(below));
    QApplication::sendEvent(listBox->viewport(), &event);
    auto *menu = control<QMenu>(w, QStringLiteral("ListMenu"));
    const bool offered = menu->isVisible() && menu->findChild<QAction *>(QStringLiteral("UndoDeleteM"))->isEnabled();
    menu->close();
    return offered;
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
    void savingAStoredNameNamesEveryTemplateItReplaces();
    void aTemplateBroughtBackAndSavedUnchangedStaysByteForByte();
    void deleteNamesWhatItTouchesAndUndoBringsItBack_data();
    void deleteNamesWhatItTouchesAndUndoBringsItBack();
    void afterARenameTheEditorHoldsTheNewName();
    void whatAnotherCopyChangedIsSeen();
    void oneCommandAtATimeWhileOneWaits();
    void aFailedChangeSaysWhyAndChangesNothing();
    void theLockOfAnotherCopyIsWaitedForAndNamed();
    void aTeamFolderThatIsNotThereIsSaidAndNotMade();
};

void TestForm1Templates::savingAStoredNameNamesEveryTemplateItReplaces()
{
    copyFixture("two-offers");
    const auto before = snapshot(dataFolder());
    Form1 *w = openWindow();
    QTest::keyClicks(box(w, "Text1"), QStringLiteral("OFFER"));
    QTest::keyClicks(box(w, "Text2"), QStringLiteral("new"));
    QTest::keyClicks(bodyBox(w), QStringLiteral("New body"));

    dialogs.answers << false;
    save(w);
    QCOMPARE(dialogs.questions.size(), 1);
    const QString question = dialogs.questions.first();
    for (const char *named : {"\"Offer\" (Subject: \"first\")", "\"offer\" (Subject: \"second\")", "Undo Delete"})
        QVERIFY2(question.contains(QLatin1String(named)), qPrintable(question));
    QCOMPARE(snapshot(dataFolder()), before);

    dialogs.answers << true;
    save(w);
    QCOMPARE(contentsOf(path(kData)),
             QByteArray("OFFER\tnew\t\t\t\t\tTrue\tFalse\t\r\n") + templateLine("Other", "kept"));
    QCOMPARE(contentsOf(path(QStringLiteral("LTM-Offer.txt"))), QByteArray("New body\r\n"));
    QCOMPARE(shownNames(w), (QStringList{"OFFER", "Other"}));

    // Undo brings both back beside the new one, under a name of their own.
    dialogs.answers << true;
    selectEntry(w, 0);
    QTest::keySequence(list(w), QKeySequence::Undo);
    QVERIFY2(dialogs.questions.last().contains(QLatin1String("as \"Offer (2)\"")), qPrintable(dialogs.questions.last()));
    QCOMPARE(shownNames(w), (QStringList{"Offer (2)", "OFFER", "Other", "Offer (2)"}));
    QCOMPARE(contentsOf(path(QStringLiteral("LTM-Offer (2).txt"))), QByteArray("First body\r\nSecond body\r\n"));
    QCOMPARE(messages(), QStringList());
}

void TestForm1Templates::aTemplateBroughtBackAndSavedUnchangedStaysByteForByte()
{
    Form1 *w = openWindow();
    typeInto(w, {{"Text1", QStringLiteral("Offer")}, {"Text5", QStringLiteral("to@example.com")},
                 {"Text2", QStringLiteral("\u0141\u00f3d\u017a offer")},
                 {"Text7", QStringLiteral("Dear X,\nregards\n")}});
    save(w);
    const auto saved = snapshot(dataFolder());
    // The line end typed last is the body's; Save puts one behind it.
    QCOMPARE(saved.value(QStringLiteral("LTM-Offer.txt")), QByteArray("Dear X,\r\nregards\r\n\r\n"));
    // Brought back from the list, after a restart too, and saved again and
    // again: no question, not one byte more.
    for (int round = 0; round < 3; ++round) {
        w = round == 1 ? openWindow() : w;
        clickEntry(list(w), 0);
        QCOMPARE(bodyBox(w)->toPlainText(), QStringLiteral("Dear X,\nregards\n"));
        save(w);
        QCOMPARE(snapshot(dataFolder()), saved);
    }
    QCOMPARE(dialogs.questions, QStringList());
    // Changed, it is replaced once; saved again unchanged, nothing more.
    QTest::keyClick(bodyBox(w), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(bodyBox(w), QStringLiteral("and more"));
    dialogs.answers << true;
    save(w);
    save(w);
    QCOMPARE(dialogs.questions.size(), 1);
    QCOMPARE(contentsOf(path(QStringLiteral("LTM-Offer.txt"))), QByteArray("Dear X,\r\nregards\r\nand more\r\n"));
    QCOMPARE(messages(), QStringList());
}

void TestForm1Templates::deleteNamesWhatItTouchesAndUndoBringsItBack_data()
{
    QTest::addColumn<bool>("byMenu");
    QTest::newRow("Delete key, Ctrl+Z") << false;
    QTest::newRow("the list's menu") << true;
}

void TestForm1Templates::deleteNamesWhatItTouchesAndUndoBringsItBack()
{
    QFETCH(bool, byMenu);
    copyFixture("two-offers");
    const auto before = snapshot(dataFolder());
    Form1 *w = openWindow();
    const auto deleteRow = [&](int row) {
        if (byMenu) {
            chooseFromContextMenu(w, row, "DeleteTemplateM");
        } else {
            selectEntry(w, row);
            QTest::keyClick(list(w), Qt::Key_Delete);
        }
    };
    const auto undo = [&] {
        if (byMenu) {
            chooseFromContextMenu(w, 0, "UndoDeleteM");
        } else {
            list(w)->setFocus();
            QTest::keySequence(list(w), QKeySequence::Undo);
        }
    };
    QVERIFY(!undoOffered(w));
    // "offer" shares its body with "Offer": the question says that it stays.
    dialogs.answers << true;
    deleteRow(2);
    QVERIFY2(dialogs.questions.last().contains(QLatin1String("\"offer\" (Subject: \"second\")"))
                 && dialogs.questions.last().contains(QLatin1String("which keep it:\n  \"Offer\" (Subject: \"first\")")),
             qPrintable(dialogs.questions.last()));
    QCOMPARE(shownNames(w), (QStringList{"Offer", "Other"}));
    QCOMPARE(contentsOf(path(QStringLiteral("LTM-Offer.txt"))), QByteArray("First body\r\nSecond body\r\n"));
    // The last of the name takes the body along.
    dialogs.answers << true;
    deleteRow(0);
    QCOMPARE(shownNames(w), QStringList{"Other"});
    QVERIFY(!QFile::exists(path(QStringLiteral("LTM-Offer.txt"))));

    // Both come back, each to its place, also after a restart.
    QVERIFY(undoOffered(w));
    undo();
    w = openWindow();
    undo();
    QCOMPARE(snapshot(dataFolder()), before);
    QCOMPARE(shownNames(w), (QStringList{"Offer", "Other", "offer"}));
    // Nothing more to bring back: the menu item is off.
    QVERIFY(!undoOffered(w));
    QCOMPARE(messages(), QStringList());
}

void TestForm1Templates::afterARenameTheEditorHoldsTheNewName()
{
    copyFixture("two-offers");
    const auto before = snapshot(dataFolder());
    Form1 *w = openWindow();
    clickEntry(list(w), 1);
    // Cancelled: nothing changes.
    dialogs.textAnswers << std::nullopt;
    list(w)->setFocus();
    QTest::keyClick(list(w), Qt::Key_F2);
    QCOMPARE(snapshot(dataFolder()), before);
    QCOMPARE(box(w, "Text1")->text(), QStringLiteral("Other"));
    dialogs.textAnswers << QStringLiteral("  Other 2027 ");
    QTest::keyClick(list(w), Qt::Key_F2);
    QCOMPARE(box(w, "Text1")->text(), QStringLiteral("Other 2027"));
    QCOMPARE(shownNames(w), (QStringList{"Offer", "Other 2027", "offer"}));
    QCOMPARE(contentsOf(path(QStringLiteral("LTM-Other 2027.txt"))), QByteArray("Other body\r\n"));
    // Saving the editor now changes the renamed template, never the old name.
    QTest::keyClicks(box(w, "Text2"), QStringLiteral("!"));
    dialogs.answers << true;
    save(w);
    QCOMPARE(shownNames(w), (QStringList{"Offer", "Other 2027", "offer"}));
    // A name of another template is refused, and says so.
    selectEntry(w, 1);
    dialogs.textAnswers << QStringLiteral("OFFER");
    QTest::keyClick(list(w), Qt::Key_F2);
    QCOMPARE(messages(), QStringList{"A template named \"OFFER\" is saved already; choose another name."});
    QCOMPARE(box(w, "Text1")->text(), QStringLiteral("Other 2027"));
}

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
    QVERIFY(testdata::copyFixture("two-offers", folder.path()));
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

void TestForm1Templates::theLockOfAnotherCopyIsWaitedForAndNamed()
{
    copyFixture("two-offers");
    Form1 *w = openWindow();
    // A copy on another computer holds the folder's lock, and keeps it fresh.
    writeBytes(path(platform::FolderLock::fileName()),
               "Letterloom lock\nhost=pc-anna\npid=4711\nuser=anna\nsince=2026-12-07T09:15:00Z\ntoken=t1\n");
    const auto before = snapshot(dataFolder());
    dialogs.answers << true;
    selectEntry(w, 1);
    QTest::keyClick(list(w), Qt::Key_Delete);
    QCOMPARE(messages().size(), 1);
    for (const char *named : {"The template was not deleted", "pc-anna", "anna", "4711", "Try again"})
        QVERIFY2(messages().first().contains(QLatin1String(named)), qPrintable(messages().first()));
    QCOMPARE(snapshot(dataFolder()), before);
}

void TestForm1Templates::aTeamFolderThatIsNotThereIsSaidAndNotMade()
{
    // The share is not connected.
    storeDirectory = path(QStringLiteral("share/templates"));
    Form1 *w = openWindow();
    w->ReportMissingFolder();
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
