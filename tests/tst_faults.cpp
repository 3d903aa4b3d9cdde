// Faults put in the way of the window and of a second running copy: special
// files where the template files should be, links out of the data folder, a
// full disk, a record cut short by a killed process, a huge stored field. In
// every case the files are checked byte for byte afterwards, and so is what
// the user was told.

#include "support/windowtest.h"
#include "store/templaterecord.h"
#include "support/testfiles.h"

#include <QProcess>
#include <QRegularExpression>

#include <sys/stat.h>

using testfiles::contentsOf;
using testfiles::writeBytes;

namespace {

const QString kData = QStringLiteral("MainData.txt");

// Puts a file of the given kind at path: "pipe", "device" (a link to
// /dev/null), "endless device" (a link to /dev/zero), "full device" (a link
// to /dev/full), "folder", "link outside" (a link to target), "dangling link".
void makeSpecial(const QString &kind, const QString &path, const QString &target)
{
    bool made = false;
    if (kind == QLatin1String("pipe"))
        made = mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    else if (kind == QLatin1String("device"))
        made = QFile::link(QStringLiteral("/dev/null"), path);
    else if (kind == QLatin1String("endless device"))
        made = QFile::link(QStringLiteral("/dev/zero"), path);
    else if (kind == QLatin1String("full device"))
        made = QFile::link(QStringLiteral("/dev/full"), path);
    else if (kind == QLatin1String("folder"))
        made = QDir().mkpath(path);
    else if (kind == QLatin1String("link outside") || kind == QLatin1String("dangling link"))
        made = QFile::link(target, path);
    if (!made)
        qFatal("cannot make a %s at %s", qPrintable(kind), qPrintable(path));
}

void typeTemplate(QWidget *w, const QString &name)
{
    QTest::keyClicks(box(w, "Text1"), name);
    QTest::keyClicks(box(w, "Text5"), QStringLiteral("to@example.com"));
    QTest::keyClicks(box(w, "Text2"), QStringLiteral("Hello"));
    QTest::keyClicks(bodyBox(w), QStringLiteral("Body"));
}

// What the saver stand-in stores for a name, as its line in the data file.
QByteArray savedRecord(const QString &name)
{
    store::EditorValues editor;
    editor.name = name;
    editor.subjectText = QStringLiteral("Subject of %1, long enough to be cut short by a full disk").arg(name);
    editor.toText = name + QStringLiteral("@example.com");
    return platform::toAnsi(store::FormatRecordLine(editor));
}

// The saver stand-in's report: "saved <name>" or "failed <name>: <message>".
void readSaverReport(const QByteArray &output, QStringList *saved, QStringList *failed)
{
    for (const QByteArray &line : output.split('\n')) {
        if (line.startsWith("saved "))
            *saved << QString::fromUtf8(line.mid(6));
        else if (line.startsWith("failed "))
            *failed << QString::fromUtf8(line.mid(7));
    }
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { startTestCase(); }
    void init() { clearSettings(); }

    void startUpPassesOverWhatItCannotRead_data();
    void startUpPassesOverWhatItCannotRead();
    void saveWritesOnlyRegularFilesInTheFolder_data();
    void saveWritesOnlyRegularFilesInTheFolder();
    void aPipeAsBodyFileIsNotWaitedOn();
    void anUnfinishedLineIsSetAsideNotListed();
    void aFullDiskLeavesTheFilesAsTheyWere();
    void aHugeStoredFieldIsShownCutAndSaid();
    void twoCopiesSavingWhileOneRunsOutOfRoom_data();
    void twoCopiesSavingWhileOneRunsOutOfRoom();
};

void TestFaults::startUpPassesOverWhatItCannotRead_data()
{
    QTest::addColumn<QString>("kind");
    for (const char *kind : {"pipe", "endless device", "full device", "folder"})
        QTest::newRow(kind) << QString::fromLatin1(kind);
}

void TestFaults::startUpPassesOverWhatItCannotRead()
{
    QFETCH(QString, kind);
    WindowFixture f;
    makeSpecial(kind, f.path(kData), QString());
    // A pipe would make start-up wait for ever, an endless device read until
    // memory runs out: the window comes up at once, empty and quiet.
    auto w = f.open();
    QCOMPARE(entryCount(w.get()), 0);
    QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.join(u'\n')));
}

void TestFaults::saveWritesOnlyRegularFilesInTheFolder_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    for (const char *file : {"MainData.txt", "LTM-Offer.txt"}) {
        const QString name = QString::fromLatin1(file);
        QTest::addRow("%s is a pipe", file) << name << "pipe" << "pipe";
        QTest::addRow("%s is a link to /dev/null", file) << name << "device" << "symbolic link";
        QTest::addRow("%s is a link out of the folder", file) << name << "link outside" << "symbolic link";
        QTest::addRow("%s is a dangling link", file) << name << "dangling link" << "symbolic link";
    }
}

void TestFaults::saveWritesOnlyRegularFilesInTheFolder()
{
    QFETCH(QString, file);
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    WindowFixture f;
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath(QStringLiteral("target.txt"));
    if (kind == QLatin1String("link outside"))
        writeBytes(target, "someone else's file\r\n");
    makeSpecial(kind, f.path(file), target);

    auto w = f.open();
    typeTemplate(w.get(), QStringLiteral("Offer"));
    QTest::mouseClick(button(w.get(), "Command3"), Qt::LeftButton);

    QCOMPARE(f.dialogs.messages.size(), 1);
    const QString message = f.dialogs.messages.first();
    QVERIFY2(message.startsWith(QLatin1String("The template was not saved.")), qPrintable(message));
    QVERIFY2(message.contains(file) && message.contains(reason), qPrintable(message));
    QCOMPARE(entryCount(w.get()), 0);
    // Nothing outside the folder was written or made, and nothing of the
    // template stays inside it.
    if (kind == QLatin1String("link outside"))
        QCOMPARE(contentsOf(target), QByteArray("someone else's file\r\n"));
    if (kind == QLatin1String("dangling link"))
        QVERIFY(!QFileInfo::exists(target));
    const QStringList regular = QDir(f.dir.path()).entryList(QDir::Files | QDir::NoSymLinks);
    QCOMPARE(regular, QStringList());
}

void TestFaults::aPipeAsBodyFileIsNotWaitedOn()
{
    WindowFixture f;
    f.writeData(recordLine({QStringLiteral("Offer"), QStringLiteral("Hello"), QString(), QString(),
                            QStringLiteral("to@example.com"), QString(), QStringLiteral("True"),
                            QStringLiteral("False"), QString()}));
    makeSpecial(QStringLiteral("pipe"), f.path(QStringLiteral("LTM-Offer.txt")), QString());
    auto w = f.open();
    clickEntry(list(w.get()), 0);
    QCOMPARE(box(w.get(), "Text2")->text(), QStringLiteral("Hello"));
    QCOMPARE(bodyBox(w.get())->toPlainText(), QString());
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TestFaults::anUnfinishedLineIsSetAsideNotListed()
{
    // A copy killed while it saved left half a record behind.
    WindowFixture f;
    const QByteArray old = recordLine({QStringLiteral("Old"), QStringLiteral("kept")});
    f.writeData(old + "Torn\tSubject cut sh");
    auto w = f.open();
    QCOMPARE(entryCount(w.get()), 1);
    typeTemplate(w.get(), QStringLiteral("Offer"));
    QTest::mouseClick(button(w.get(), "Command3"), Qt::LeftButton);

    const QStringList aside = QDir(f.dir.path()).entryList({QStringLiteral("MainData-unfinished-*.txt")});
    QCOMPARE(aside.size(), 1);
    QCOMPARE(contentsOf(f.path(aside.first())), QByteArray("Torn\tSubject cut sh"));
    QCOMPARE(f.dialogs.messages.size(), 1);
    QVERIFY2(f.dialogs.messages.first().contains(aside.first()), qPrintable(f.dialogs.messages.first()));
    QCOMPARE(contentsOf(f.path(kData)), old + "Offer\tHello\t\t\tto@example.com\t\tTrue\tFalse\t\r\n");
    w.reset();
    auto again = f.open();
    QCOMPARE(entryCount(again.get()), 2);
}

void TestFaults::aFullDiskLeavesTheFilesAsTheyWere()
{
    WindowFixture f;
    testfiles::SmallDisk disk(64);
    if (disk.mounted())
        f.storeDirectory = disk.path();
    const QString folder = disk.mounted() ? disk.path() : f.dir.path();
    const QByteArray old = recordLine({QStringLiteral("Old"), QStringLiteral("kept")});
    writeBytes(QDir(folder).filePath(kData), old);
    auto w = f.open();
    typeTemplate(w.get(), QStringLiteral("Offer"));
    QTest::keyClicks(box(w.get(), "Text2"), QString(5000, u's'));
    {
        // Without a disk of its own, a file-size limit stands in for it.
        std::unique_ptr<testfiles::FileSizeLimit> limit;
        if (disk.mounted())
            disk.fill();
        else
            limit = std::make_unique<testfiles::FileSizeLimit>(old.size() + 100);
        QTest::mouseClick(button(w.get(), "Command3"), Qt::LeftButton);
    }
    QCOMPARE(f.dialogs.messages.size(), 1);
    const QString message = f.dialogs.messages.first();
    QVERIFY2(message.contains(disk.mounted() ? QLatin1String("no space left on the device")
                                             : QLatin1String("largest size")),
             qPrintable(message));
    QCOMPARE(entryCount(w.get()), 1);
    QCOMPARE(contentsOf(QDir(folder).filePath(kData)), old);
    QVERIFY(!QFile::exists(QDir(folder).filePath(QStringLiteral("LTM-Offer.txt"))));
}

void TestFaults::aHugeStoredFieldIsShownCutAndSaid()
{
    WindowFixture f;
    const QString huge(store::LongestBoxText + 1, u's');
    f.writeData(recordLine({QStringLiteral("Huge"), huge, QString(), QString(), QStringLiteral("to@example.com")}));
    auto w = f.open();
    clickEntry(list(w.get()), 0);
    QCOMPARE(box(w.get(), "Text2")->text().size(), store::LongestBoxText);
    QCOMPARE(box(w.get(), "Text5")->text(), QStringLiteral("to@example.com"));
    QCOMPARE(f.dialogs.messages.size(), 1);
    QVERIFY2(f.dialogs.messages.first().contains(QLatin1String("1,000,000 characters in Email Subject")),
             qPrintable(f.dialogs.messages.first()));

    // Save stores no box longer than the window shows.
    const QByteArray data = contentsOf(f.path(kData));
    QTest::keyClicks(box(w.get(), "Text1"), QStringLiteral("2"));
    QTest::keyClick(box(w.get(), "Text2"), Qt::Key_S);
    QTest::mouseClick(button(w.get(), "Command3"), Qt::LeftButton);
    QCOMPARE(f.dialogs.messages.size(), 2);
    QCOMPARE(f.dialogs.messages.last(), QStringLiteral("Email Subject can not be longer than 1,000,000 characters"));
    QCOMPARE(contentsOf(f.path(kData)), data);
    QCOMPARE(entryCount(w.get()), 1);
}

void TestFaults::twoCopiesSavingWhileOneRunsOutOfRoom_data()
{
    QTest::addColumn<bool>("smallDisk");
    QTest::newRow("one copy reaches its file-size limit") << false;
    QTest::newRow("both on a disk that fills up") << true;
}

void TestFaults::twoCopiesSavingWhileOneRunsOutOfRoom()
{
    QFETCH(bool, smallDisk);
    testfiles::SmallDisk disk(smallDisk ? 256 : 0);
    if (smallDisk && !disk.mounted())
        QSKIP("a disk of its own needs the right to mount");
    QTemporaryDir plain;
    const QString folder = smallDisk ? disk.path() : plain.path();
    constexpr int kSaves = 400;

    // Copy "a" saves freely (on the small disk until it is full); copy "b"
    // may not let a file grow beyond 40,000 bytes, which the data file
    // passes about halfway through.
    QProcess a, b;
    for (QProcess *copy : {&a, &b})
        copy->setProcessChannelMode(QProcess::SeparateChannels);
    a.start(QStringLiteral(SAVER_STANDIN), {folder, QStringLiteral("a"), QString::number(kSaves)});
    QStringList bArguments = {folder, QStringLiteral("b"), QString::number(kSaves)};
    if (!smallDisk)
        bArguments << QStringLiteral("40000");
    b.start(QStringLiteral(SAVER_STANDIN), bArguments);
    for (QProcess *copy : {&a, &b}) {
        QVERIFY(copy->waitForFinished(120000));
        // A write beyond the limit fails; it does not end the program.
        QCOMPARE(copy->exitStatus(), QProcess::NormalExit);
        QCOMPARE(copy->exitCode(), 0);
    }

    QStringList saved, failed;
    for (QProcess *copy : {&a, &b})
        readSaverReport(copy->readAllStandardOutput(), &saved, &failed);
    QCOMPARE(saved.size() + failed.size(), 2 * kSaves);
    QVERIFY2(!failed.isEmpty(), "the fault never happened");
    for (const QString &failure : failed)
        QVERIFY2(!failure.contains(QLatin1String("taken back")), qPrintable(failure));

    // Every reported Save is in the data file whole, once; nothing else is.
    const QByteArray data = contentsOf(QDir(folder).filePath(kData));
    QVERIFY(!data.contains('\0'));
    QVERIFY(data.endsWith("\r\n"));
    QList<QByteArray> lines = data.split('\n');
    lines.removeLast();
    QCOMPARE(lines.size(), saved.size());
    QSet<QByteArray> expected;
    for (const QString &name : saved)
        expected.insert(savedRecord(name) + '\r');
    for (const QByteArray &line : lines)
        QVERIFY2(expected.remove(line), line.constData());
    for (const QString &name : saved) {
        QCOMPARE(contentsOf(QDir(folder).filePath(QStringLiteral("LTM-%1.txt").arg(name))),
                 QByteArray("Body of " + name.toLatin1() + "\r\n"));
    }
    // A failed Save leaves no body file behind.
    for (const QString &failure : failed)
        QVERIFY(!QFileInfo::exists(QDir(folder).filePath(QStringLiteral("LTM-%1.txt").arg(failure.section(u':', 0, 0)))));
    // The copy with room never failed.
    if (!smallDisk)
        QCOMPARE(saved.filter(QRegularExpression(QStringLiteral("^a-"))).size(), kSaves);
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
