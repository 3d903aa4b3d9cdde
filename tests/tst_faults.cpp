// Faults put in the way of the window: special files where the template
// files should be, links out of the data folder, a record cut short by a
// killed process, a huge stored field. (A full disk is the store model's and
// tst_textfile's.) In every case the files are
// checked byte for byte afterwards, and so is what the user was told. (Two
// copies at once, killed copies and faults at every write are the store
// model's tests.)

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

} // namespace

class TestFaults : public testsupport::WindowTest
{
    Q_OBJECT

private slots:
    void startUpPassesOverWhatItCannotRead_data();
    void startUpPassesOverWhatItCannotRead();
    void saveWritesOnlyRegularFilesInTheFolder_data();
    void saveWritesOnlyRegularFilesInTheFolder();
    void aPipeAsBodyFileIsNotWaitedOn();
    void anUnfinishedLineIsSetAsideNotListed();
    void aHugeStoredFieldIsShownCutAndSaid();
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
    makeSpecial(kind, path(kData), QString());
    // A pipe would make start-up wait for ever, an endless device read until
    // memory runs out: the window comes up at once, empty and quiet.
    Form1 *w = openWindow();
    QCOMPARE(entryCount(w), 0);
    QVERIFY2(messages().isEmpty(), qPrintable(messages().join(u'\n')));
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
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath(QStringLiteral("target.txt"));
    if (kind == QLatin1String("link outside"))
        writeBytes(target, "someone else's file\r\n");
    makeSpecial(kind, path(file), target);

    Form1 *w = openWindow();
    typeTemplate(w, QStringLiteral("Offer"));
    QTest::mouseClick(button(w, "Command3"), Qt::LeftButton);

    QCOMPARE(messages().size(), 1);
    const QString message = messages().first();
    QVERIFY2(message.startsWith(QLatin1String("The template was not saved.")), qPrintable(message));
    QVERIFY2(message.contains(file) && message.contains(reason), qPrintable(message));
    QCOMPARE(entryCount(w), 0);
    // Nothing outside the folder was written or made, and nothing of the
    // template stays inside it.
    if (kind == QLatin1String("link outside"))
        QCOMPARE(contentsOf(target), QByteArray("someone else's file\r\n"));
    if (kind == QLatin1String("dangling link"))
        QVERIFY(!QFileInfo::exists(target));
    const QStringList regular = QDir(dataFolder()).entryList(QDir::Files | QDir::NoSymLinks);
    QCOMPARE(regular, QStringList());
}

void TestFaults::aPipeAsBodyFileIsNotWaitedOn()
{
    writeData(recordLine({QStringLiteral("Offer"), QStringLiteral("Hello"), QString(), QString(),
                            QStringLiteral("to@example.com"), QString(), QStringLiteral("True"),
                            QStringLiteral("False"), QString()}));
    makeSpecial(QStringLiteral("pipe"), path(QStringLiteral("LTM-Offer.txt")), QString());
    Form1 *w = openWindow();
    clickEntry(list(w), 0);
    QCOMPARE(box(w, "Text2")->text(), QStringLiteral("Hello"));
    QCOMPARE(bodyBox(w)->toPlainText(), QString());
    QVERIFY(messages().isEmpty());
}

void TestFaults::anUnfinishedLineIsSetAsideNotListed()
{
    // A copy killed while it saved left half a record behind.
    const QByteArray old = recordLine({QStringLiteral("Old"), QStringLiteral("kept")});
    writeData(old + "Torn\tSubject cut sh");
    Form1 *w = openWindow();
    QCOMPARE(entryCount(w), 1);
    typeTemplate(w, QStringLiteral("Offer"));
    QTest::mouseClick(button(w, "Command3"), Qt::LeftButton);

    const QStringList aside = QDir(dataFolder()).entryList({QStringLiteral("MainData-unfinished-*.txt")});
    QCOMPARE(aside.size(), 1);
    QCOMPARE(contentsOf(path(aside.first())), QByteArray("Torn\tSubject cut sh"));
    QCOMPARE(messages().size(), 1);
    QVERIFY2(messages().first().contains(aside.first()), qPrintable(messages().first()));
    QCOMPARE(contentsOf(path(kData)), old + "Offer\tHello\t\t\tto@example.com\t\tTrue\tFalse\t\r\n");
    QCOMPARE(entryCount(openWindow()), 2);
}

void TestFaults::aHugeStoredFieldIsShownCutAndSaid()
{
    const QString huge(store::LongestBoxText + 1, u's');
    writeData(recordLine({QStringLiteral("Huge"), huge, QString(), QString(), QStringLiteral("to@example.com")}));
    Form1 *w = openWindow();
    clickEntry(list(w), 0);
    QCOMPARE(box(w, "Text2")->text().size(), store::LongestBoxText);
    QCOMPARE(box(w, "Text5")->text(), QStringLiteral("to@example.com"));
    QCOMPARE(messages().size(), 1);
    QVERIFY2(messages().first().contains(QLatin1String("1,000,000 characters in Email Subject")),
             qPrintable(messages().first()));

    // Save stores no box longer than the window shows.
    const QByteArray data = contentsOf(path(kData));
    QTest::keyClicks(box(w, "Text1"), QStringLiteral("2"));
    QTest::keyClick(box(w, "Text2"), Qt::Key_S);
    QTest::mouseClick(button(w, "Command3"), Qt::LeftButton);
    QCOMPARE(messages().size(), 2);
    QCOMPARE(messages().last(), QStringLiteral("Email Subject can not be longer than 1,000,000 characters"));
    QCOMPARE(contentsOf(path(kData)), data);
    QCOMPARE(entryCount(w), 1);
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
