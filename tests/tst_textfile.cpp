// The file operations under the template files: writing new files whole or
// not at all, putting bytes at the end of a file so that putting them again
// changes nothing, and naming the cause of every failure, a full disk too.
// (Only regular files read, and none left open, are tst_hostilefolder's.)
#include "platform/rawfile.h"
#include "platform/textfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

#include "support/testdata.h"
#include "support/testfiles.h"

using testfiles::contentsOf;
using testfiles::writeBytes;

class TestTextFile : public QObject
{
    Q_OBJECT

private slots:
    // Bytes put at an offset once, whatever is behind it (a table).
    void writeAtEndPutsBytesOnceAndCutsBackWhatIsNotThem_data() { testdata::addRows(QStringLiteral("write-at-end")); }
    void writeAtEndPutsBytesOnceAndCutsBackWhatIsNotThem()
    {
        QFETCH(QString, before);
        QFETCH(QString, offset);
        QFETCH(QString, bytes);
        QFETCH(QString, said);
        QFETCH(QString, after);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("MainData.txt"));
        if (before != u"<missing>")
            writeBytes(path, before.toLatin1());
        QString error;
        QCOMPARE(platform::writeAtEnd(path, offset.toLongLong(), bytes.toLatin1(), &error), said.isEmpty());
        QVERIFY2(error.contains(said), qPrintable(error));
        QCOMPARE(contentsOf(path), after.toLatin1());
    }

    // A read that fails (a disk or a share that cannot be reached) is said
    // at once, with its cause; it is tried again only when a signal cut it
    // short.
    void aFailingReadIsSaid()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("MainData.txt"));
        writeBytes(path, "one\r\ntwo\r\n");
        int failures = 0;
        platform::detail::setReadFault([&failures](qint64) { return failures++ == 0 ? EIO : 0; });
        QByteArray bytes;
        const bool ranged = platform::readFileRange(path, 0, 5, &bytes);
        failures = 0;
        QString error;
        const bool whole = platform::readWholeFile(path, &bytes, &error);
        platform::detail::setReadFault({});
        QVERIFY(!ranged);
        QVERIFY(!whole);
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)) && error.contains(QLatin1String("input/output error")),
                 qPrintable(error));
        QVERIFY(platform::readWholeFile(path, &bytes));
        QCOMPARE(bytes, QByteArray("one\r\ntwo\r\n"));
    }

#ifdef Q_OS_UNIX
    // A device is named as such and never read (/dev/zero would never end).
    void aDeviceIsNotRead()
    {
        for (const QString &path : {QStringLiteral("/dev/zero"), QStringLiteral("/dev/null")}) {
            QByteArray bytes("before");
            QString error;
            QVERIFY(!platform::readWholeFile(path, &bytes, &error));
            QVERIFY2(error.contains(QLatin1String("it is a device")), qPrintable(error));
            QCOMPARE(bytes, QByteArray("before"));
        }
    }
#endif

    void newFilesAreWholeOrNotThere()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("new.txt"));
        QVERIFY(platform::createWholeFile(path, "first"));
        QString error;
        QVERIFY(!platform::createWholeFile(path, "second", &error));
        QVERIFY2(error.contains(QLatin1String("in the way")), qPrintable(error));
        QCOMPARE(contentsOf(path), QByteArray("first"));
#ifdef Q_OS_UNIX
        // No room for it: the file it began is gone again.
        const QString big = dir.filePath(QStringLiteral("big.txt"));
        bool ok = true;
        {
            testfiles::FileSizeLimit limit(10);
            ok = platform::createWholeFile(big, QByteArray(100, 'b'), &error);
        }
        QVERIFY(!ok);
        QVERIFY2(error.contains(big) && error.contains(QLatin1String("the file is too large")), qPrintable(error));
        QVERIFY(!QFile::exists(big));
        // writeWholeFile checks every byte: a file whose flush fails keeps
        // what it held, and no other file is left.
        const QString draft = dir.filePath(QStringLiteral("draft.eml"));
        QVERIFY(platform::writeWholeFile(draft, QByteArray("old")));
        {
            testfiles::FileSizeLimit limit(4096);
            ok = platform::writeWholeFile(draft, QByteArray(10 * 1024, 'm'), &error); // fits the write buffer
        }
        QVERIFY(!ok);
        QVERIFY2(error.contains(draft), qPrintable(error));
        QCOMPARE(contentsOf(draft), QByteArray("old"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"draft.eml", "new.txt"}));
#endif
    }

#ifdef Q_OS_LINUX
    void aFullDiskIsNamedAsSuch()
    {
        testfiles::SmallDisk disk(64);
        if (!disk.mounted())
            QSKIP("a disk of its own needs the right to mount");
        const QString path = disk.filePath(QStringLiteral("MainData.txt"));
        writeBytes(path, "kept\r\n");
        disk.fill();
        QString error;
        QVERIFY(!platform::writeAtEnd(path, 6, QByteArray(8192, 'x'), &error));
        QVERIFY2(error.contains(QLatin1String("no space left on the device")), qPrintable(error));
        QCOMPARE(contentsOf(path), QByteArray("kept\r\n"));
        QVERIFY(!platform::writeWholeFile(disk.filePath(QStringLiteral("draft.eml")), QByteArray(10000, 'd'), &error));
        QVERIFY(!QFile::exists(disk.filePath(QStringLiteral("draft.eml"))));
    }
#endif
};

QTEST_GUILESS_MAIN(TestTextFile)
#include "tst_textfile.moc"
