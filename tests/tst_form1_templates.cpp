// Changing stored templates from the window: saving under a stored name
// replaces it after a question, the list's context menu and keys delete and
// rename, and every change leaves both files exactly as they were when it
// fails.

#include "support/windowtest.h"
#include "support/testfiles.h"

#include <QMenu>
#include <QStorageInfo>


#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using testfiles::contentsOf;
using testfiles::writeBytes;

namespace {

const QString kData = QStringLiteral("MainData.txt");

// A data folder as earlier versions left it: "Offer" saved twice.
void writeTwoOffers(const QString &folder)
{
    writeBytes(QDir(folder).filePath(kData),
               templateLine("Offer", "first") + templateLine("Other", "kept") + templateLine("Offer", "second"));
    writeBytes(QDir(folder).filePath(QStringLiteral("LTM-Offer.txt")), "First body\r\nSecond body\r\n");
    writeBytes(QDir(folder).filePath(QStringLiteral("LTM-Other.txt")), "Other body\r\n");
}

// Where a body file went when it was deleted: a trash's files folder, or the
// folder "Deleted" beside the data file.
QByteArray discardedBody(const QString &folder, const QString &fileName)
{
    const QStringList places = {
        QDir(folder).filePath(QStringLiteral("Deleted")),
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash/files"),
#ifdef Q_OS_UNIX
        QStorageInfo(folder).rootPath() + QStringLiteral("/.Trash-%1/files").arg(getuid()),
#endif
    };
    for (const QString &place : places) {
        if (QFileInfo::exists(QDir(place).filePath(fileName)))
            return contentsOf(QDir(place).filePath(fileName));
    }
    return "<nowhere>";
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
// Elsewhere the tests make no folder read-only.
struct ReadOnlyFolder
{
    QTemporaryDir plain;
    QString path() const { return plain.path(); }
    bool makeReadOnly() const { return false; }
};
#endif

} // namespace

class TestForm1Templates : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { startTestCase(); }
    void init() { clearSettings(); }

    void savingAStoredNameAsksToReplaceIt_data();
    void savingAStoredNameAsksToReplaceIt();
    void deleteAsksAndMovesTheBodyAway_data();
    void deleteAsksAndMovesTheBodyAway();
    void renameByF2AndByTheMenu_data();
    void renameByF2AndByTheMenu();
    void aRewriteKeepsWhatAnotherCopyAppended();
    void aFailedChangeLeavesBothFilesAsTheyWere_data();
    void aFailedChangeLeavesBothFilesAsTheyWere();
};

void TestForm1Templates::savingAStoredNameAsksToReplaceIt_data()
{
    QTest::addColumn<QString>("typedName");
    QTest::addColumn<bool>("yes");
    QTest::newRow("No") << "Offer" << false;
    QTest::newRow("Yes") << "Offer" << true;
    QTest::newRow("Yes, name in other letter case") << "OFFER" << true;
}

void TestForm1Templates::savingAStoredNameAsksToReplaceIt()
{
    QFETCH(QString, typedName);
    QFETCH(bool, yes);
    WindowFixture f;
    writeTwoOffers(f.dir.path());
    const QByteArray data = contentsOf(f.path(kData));
    auto w = f.open();
    QCOMPARE(shownNames(w.get()), (QStringList{"Offer", "Other", "Offer"}));

    QTest::keyClicks(box(w.get(), "Text1"), typedName);
    QTest::keyClicks(box(w.get(), "Text5"), QStringLiteral("to@example.com"));
    QTest::keyClicks(box(w.get(), "Text2"), QStringLiteral("new"));
    QTest::keyClicks(bodyBox(w.get()), QStringLiteral("New body"));
    f.dialogs.answers << yes;
    QTest::mouseClick(button(w.get(), "Command3"), Qt::LeftButton);

    QCOMPARE(f.dialogs.questions.size(), 1);
    QVERIFY2(f.dialogs.questions.first().contains(typedName), qPrintable(f.dialogs.questions.first()));
    QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join(u'\n')));
    if (!yes) {
        QCOMPARE(contentsOf(f.path(kData)), data);
        QCOMPARE(contentsOf(f.path(QStringLiteral("LTM-Offer.txt"))), QByteArray("First body\r\nSecond body\r\n"));
        QCOMPARE(entryCount(w.get()), 3);
        return;
    }
    // One line of that name, where the first one stood; the body file holds
    // the new body alone, under its old name.
    QCOMPARE(contentsOf(f.path(kData)),
             platform::toAnsi(typedName) + "\tnew\t\t\tto@example.com\t\tTrue\tFalse\t\r\n" + templateLine("Other", "kept"));
    QCOMPARE(contentsOf(f.path(QStringLiteral("LTM-Offer.txt"))), QByteArray("New body\r\n"));
    QCOMPARE(shownNames(w.get()), (QStringList{typedName, "Other"}));
    QVERIFY(!entrySelected(w.get()));
}

void TestForm1Templates::deleteAsksAndMovesTheBodyAway_data()
{
    QTest::addColumn<bool>("byMenu");
    QTest::addColumn<bool>("yes");
    QTest::newRow("Delete key, No") << false << false;
    QTest::newRow("Delete key, Yes") << false << true;
    QTest::newRow("context menu, Yes") << true << true;
}

void TestForm1Templates::deleteAsksAndMovesTheBodyAway()
{
    QFETCH(bool, byMenu);
    QFETCH(bool, yes);
    WindowFixture f;
    writeTwoOffers(f.dir.path());
    const QByteArray data = contentsOf(f.path(kData));
    auto w = f.open();
    f.dialogs.answers << yes;
    if (byMenu) {
        chooseFromContextMenu(w.get(), 2, "DeleteTemplateM");
    } else {
        selectEntry(w.get(), 2);
        QTest::keyClick(list(w.get()), Qt::Key_Delete);
    }
    QCOMPARE(f.dialogs.questions.size(), 1);
    QVERIFY2(f.dialogs.questions.first().contains(QLatin1String("\"Offer\"")), qPrintable(f.dialogs.questions.first()));
    // Beside the entries, the list has no menu to offer.
    QListView *listBox = list(w.get());
    const QPoint empty(20, listBox->viewport()->height() - 5);
    QContextMenuEvent beside(QContextMenuEvent::Mouse, empty, listBox->viewport()->mapToGlobal(empty));
    QApplication::sendEvent(listBox->viewport(), &beside);
    QVERIFY(!control<QMenu>(w.get(), QStringLiteral("ListMenu"))->isVisible());
    QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join(u'\n')));
    if (!yes) {
        QCOMPARE(contentsOf(f.path(kData)), data);
        QCOMPARE(entryCount(w.get()), 3);
        return;
    }
    QCOMPARE(contentsOf(f.path(kData)), templateLine("Other", "kept"));
    QCOMPARE(shownNames(w.get()), QStringList{"Other"});
    QVERIFY(!QFileInfo::exists(f.path(QStringLiteral("LTM-Offer.txt"))));
    QCOMPARE(discardedBody(f.dir.path(), QStringLiteral("LTM-Offer.txt")), QByteArray("First body\r\nSecond body\r\n"));
    QCOMPARE(contentsOf(f.path(QStringLiteral("LTM-Other.txt"))), QByteArray("Other body\r\n"));
}

void TestForm1Templates::renameByF2AndByTheMenu_data()
{
    QTest::addColumn<bool>("byMenu");
    QTest::addColumn<QString>("newName");
    QTest::addColumn<QString>("message"); // empty: renamed
    QTest::newRow("F2, new name") << false << "Offer 2027" << "";
    QTest::newRow("menu, new name") << true << "Offer 2027" << "";
    QTest::newRow("F2, other letter case") << false << "OFFER" << "";
    QTest::newRow("F2, taken name") << false << "other"
                                    << "A template named \"other\" is saved already; choose another name.";
    QTest::newRow("F2, refused name") << false << "a/b" << "Template Name can not contain the character /";
}

void TestForm1Templates::renameByF2AndByTheMenu()
{
    QFETCH(bool, byMenu);
    QFETCH(QString, newName);
    QFETCH(QString, message);
    WindowFixture f;
    writeTwoOffers(f.dir.path());
    const QByteArray data = contentsOf(f.path(kData));
    auto w = f.open();
    f.dialogs.textAnswers << newName;
    if (byMenu) {
        chooseFromContextMenu(w.get(), 0, "RenameTemplateM");
    } else {
        selectEntry(w.get(), 0);
        QTest::keyClick(list(w.get()), Qt::Key_F2);
    }
    QCOMPARE(f.dialogs.questions.size(), 1);
    if (!message.isEmpty()) {
        QCOMPARE(f.dialogs.messages, QStringList{message});
        QCOMPARE(contentsOf(f.path(kData)), data);
        QCOMPARE(contentsOf(f.path(QStringLiteral("LTM-Offer.txt"))), QByteArray("First body\r\nSecond body\r\n"));
        return;
    }
    QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join(u'\n')));
    const QByteArray renamed = platform::toAnsi(newName);
    QCOMPARE(contentsOf(f.path(kData)), QByteArray(data).replace("Offer\t", renamed + '\t'));
    QCOMPARE(contentsOf(f.path(QStringLiteral("LTM-%1.txt").arg(newName))), QByteArray("First body\r\nSecond body\r\n"));
    QCOMPARE(QDir(f.dir.path()).entryList({QStringLiteral("LTM-*")}),
             (QStringList{QStringLiteral("LTM-%1.txt").arg(newName), QStringLiteral("LTM-Other.txt")}));
    QCOMPARE(shownNames(w.get()), (QStringList{newName, "Other", newName}));
}

void TestForm1Templates::aRewriteKeepsWhatAnotherCopyAppended()
{
    WindowFixture f;
    writeTwoOffers(f.dir.path());
    auto w = f.open();
    // Another running copy saves a template after this window listed its own.
    QFile data(f.path(kData));
    QVERIFY(data.open(QIODevice::Append));
    data.write(templateLine("Theirs", "appended"));
    data.close();

    f.dialogs.answers << true;
    selectEntry(w.get(), 1);
    QTest::keyClick(list(w.get()), Qt::Key_Delete);
    QCOMPARE(contentsOf(f.path(kData)), templateLine("Offer", "first") + templateLine("Offer", "second") + templateLine("Theirs", "appended"));
    // The list follows the file.
    QCOMPARE(shownNames(w.get()), (QStringList{"Offer", "Offer", "Theirs"}));
}

void TestForm1Templates::aFailedChangeLeavesBothFilesAsTheyWere_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("fault");
    for (const char *change : {"replaced", "deleted", "renamed"}) {
        QTest::addRow("%s, read-only folder", change) << change << "read-only";
        QTest::addRow("%s, full disk", change) << change << "full";
    }
}

void TestForm1Templates::aFailedChangeLeavesBothFilesAsTheyWere()
{
    QFETCH(QString, change);
    QFETCH(QString, fault);
    ReadOnlyFolder folder;
    WindowFixture f;
    f.storeDirectory = folder.path();
    writeTwoOffers(folder.path());
    const QString body = QDir(folder.path()).filePath(QStringLiteral("LTM-Offer.txt"));
    const QByteArray data = contentsOf(QDir(folder.path()).filePath(kData));
    auto w = f.open();
    QTest::keyClicks(box(w.get(), "Text1"), QStringLiteral("Offer"));
    QTest::keyClicks(bodyBox(w.get()), QStringLiteral("New body"));
    f.dialogs.answers << true;
    f.dialogs.textAnswers << QStringLiteral("Renamed");

    if (fault == QLatin1String("read-only") && !folder.makeReadOnly())
        QSKIP("this machine cannot make a folder that its user cannot write");
#ifdef Q_OS_UNIX
    std::unique_ptr<testfiles::FileSizeLimit> limit;
    if (fault == QLatin1String("full"))
        limit = std::make_unique<testfiles::FileSizeLimit>(16); // smaller than any file written
#else
    if (fault == QLatin1String("full"))
        QSKIP("a full disk is made with a file size limit, which only Unix systems have");
#endif
    if (change == QLatin1String("replaced")) {
        QTest::mouseClick(button(w.get(), "Command3"), Qt::LeftButton);
    } else {
        selectEntry(w.get(), 0);
        QTest::keyClick(list(w.get()), change == QLatin1String("deleted") ? Qt::Key_Delete : Qt::Key_F2);
    }
#ifdef Q_OS_UNIX
    limit.reset();
#endif

    QCOMPARE(f.dialogs.messages.size(), 1);
    const QString message = f.dialogs.messages.first();
    QVERIFY2(message.startsWith(QStringLiteral("The template was not %1.").arg(change)), qPrintable(message));
    QVERIFY2(message.contains(QLatin1String("MainData.txt")) || message.contains(QLatin1String("LTM-Offer.txt")),
             qPrintable(message));
    QCOMPARE(contentsOf(QDir(folder.path()).filePath(kData)), data);
    QCOMPARE(contentsOf(body), QByteArray("First body\r\nSecond body\r\n"));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files),
             (QStringList{"LTM-Offer.txt", "LTM-Other.txt", "MainData.txt"}));
    QCOMPARE(entryCount(w.get()), 3);
}

QTEST_MAIN(TestForm1Templates)
#include "tst_form1_templates.moc"
