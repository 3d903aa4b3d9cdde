// The file operations under the template files: appending a line, setting
// an unfinished line aside, taking a failed line back, refusing what is not
// a regular file in the folder, and writing whole files that are checked to
// their last byte.
#include "platform/textfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "support/testfiles.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using testfiles::contentsOf;
using testfiles::writeBytes;

Q_DECLARE_METATYPE(platform::LineStart)

namespace {

// The files in dir, apart from the one the test works on.
QStringList otherFiles(const QDir &dir, const QString &except)
{
    QStringList names = dir.entryList(QDir::Files | QDir::Hidden);
    names.removeAll(except);
    return names;
}

} // namespace

class TestTextFile : public QObject
{
    Q_OBJECT

private slots:
    void appendWritesTextAndCrLfCreatingTheFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f.txt"));
        platform::AppendedLine first, second;
        QVERIFY(platform::appendAnsiLine(path, u"first \u20AC", platform::LineStart::AsIs, &first));
        QVERIFY(platform::appendAnsiLine(path, u"", platform::LineStart::AsIs, &second));
        QCOMPARE(contentsOf(path), QByteArray("first \x80\r\n\r\n"));
        QVERIFY(first.created);
        QVERIFY(!second.created);
        QCOMPARE(second.offset, qint64(9));
        QCOMPARE(second.size, qint64(2));
    }

    void anUnfinishedLastLineIsSetAside_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<platform::LineStart>("start");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QByteArray>("setAside"); // empty: nothing set aside
        using platform::LineStart;
        QTest::newRow("empty file") << QByteArray() << LineStart::SetAsideUnfinished << QByteArray("new\r\n")
                                    << QByteArray();
        QTest::newRow("ends with CR LF") << QByteArray("a\r\n") << LineStart::SetAsideUnfinished
                                         << QByteArray("a\r\nnew\r\n") << QByteArray();
        QTest::newRow("torn record") << QByteArray("a\tb\r\nc\tsubj") << LineStart::SetAsideUnfinished
                                     << QByteArray("a\tb\r\nnew\r\n") << QByteArray("c\tsubj");
        QTest::newRow("one byte") << QByteArray("a") << LineStart::SetAsideUnfinished << QByteArray("new\r\n")
                                  << QByteArray("a");
        QTest::newRow("LF line ends") << QByteArray("a\tb\nc\td\n") << LineStart::SetAsideUnfinished
                                      << QByteArray("new\r\n") << QByteArray("a\tb\nc\td\n");
        QTest::newRow("CR without LF") << QByteArray("x\r\ny\r") << LineStart::SetAsideUnfinished
                                       << QByteArray("x\r\nnew\r\n") << QByteArray("y\r");
        const QByteArray longTail(65535, 'x'); // its CR LF straddles the reading's 64 KiB chunks
        QTest::newRow("CR LF across chunks") << QByteArray("head\r\n" + longTail) << LineStart::SetAsideUnfinished
                                             << QByteArray("head\r\nnew\r\n") << longTail;
        QTest::newRow("as is") << QByteArray("a\tb") << LineStart::AsIs << QByteArray("a\tbnew\r\n") << QByteArray();
    }

    void anUnfinishedLastLineIsSetAside()
    {
        QFETCH(QByteArray, before);
        QFETCH(platform::LineStart, start);
        QFETCH(QByteArray, after);
        QFETCH(QByteArray, setAside);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("MainData.txt"));
        if (!before.isEmpty())
            writeBytes(path, before);
        platform::AppendedLine appended;
        QVERIFY(platform::appendAnsiLine(path, u"new", start, &appended));
        QCOMPARE(contentsOf(path), after);
        const QStringList others = otherFiles(QDir(dir.path()), QStringLiteral("MainData.txt"));
        if (setAside.isEmpty()) {
            QVERIFY(appended.setAsidePath.isEmpty());
            QCOMPARE(others, QStringList());
        } else {
            QCOMPARE(others.size(), 1);
            QVERIFY2(others.first().startsWith(QLatin1String("MainData-unfinished-")), qPrintable(others.first()));
            QCOMPARE(appended.setAsidePath, dir.filePath(others.first()));
            QCOMPARE(contentsOf(appended.setAsidePath), setAside);
        }
    }

    void aSecondSetAsideGetsANameOfItsOwn()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("MainData.txt"));
        writeBytes(path, "one");
        platform::AppendedLine first, second;
        QVERIFY(platform::appendAnsiLine(path, u"a", platform::LineStart::SetAsideUnfinished, &first));
        writeBytes(path, "two");
        QVERIFY(platform::appendAnsiLine(path, u"b", platform::LineStart::SetAsideUnfinished, &second));
        QVERIFY(first.setAsidePath != second.setAsidePath);
        QCOMPARE(contentsOf(first.setAsidePath), QByteArray("one"));
        QCOMPARE(contentsOf(second.setAsidePath), QByteArray("two"));
    }

#ifdef Q_OS_LINUX
    // Every file opened is closed again, whatever happened.
    void noFileIsLeftOpen()
    {
        const auto openFiles = [] { return QDir(QStringLiteral("/proc/self/fd")).count(); };
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f.txt"));
        const uint before = openFiles();
        platform::AppendedLine line;
        QVERIFY(platform::appendAnsiLine(path, u"a", platform::LineStart::SetAsideUnfinished, &line));
        QVERIFY(platform::undoAppend(path, line));
        QVERIFY(!platform::appendAnsiLine(dir.path(), u"a", platform::LineStart::AsIs, nullptr));
        QByteArray bytes;
        QVERIFY(!platform::readWholeFile(dir.path(), &bytes));
        QCOMPARE(openFiles(), before);
    }
#endif

    void undoTakesBackOnlyItsOwnBytes()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f.txt"));
        writeBytes(path, "kept\r\n");
        platform::AppendedLine mine;
        QVERIFY(platform::appendAnsiLine(path, u"mine", platform::LineStart::AsIs, &mine));
        QVERIFY(platform::undoAppend(path, mine));
        QCOMPARE(contentsOf(path), QByteArray("kept\r\n"));

        // Another running copy appended behind this line: nothing is cut.
        QVERIFY(platform::appendAnsiLine(path, u"mine", platform::LineStart::AsIs, &mine));
        QVERIFY(platform::appendAnsiLine(path, u"theirs", platform::LineStart::AsIs, nullptr));
        QVERIFY(!platform::undoAppend(path, mine));
        QCOMPARE(contentsOf(path), QByteArray("kept\r\nmine\r\ntheirs\r\n"));

        // A file the append made is removed when it is empty again.
        const QString fresh = dir.filePath(QStringLiteral("new.txt"));
        QVERIFY(platform::appendAnsiLine(fresh, u"x", platform::LineStart::AsIs, &mine));
        QVERIFY(platform::undoAppend(fresh, mine));
        QVERIFY(!QFile::exists(fresh));
    }

    void onlyRegularFilesAreRead_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "missing.txt" << "no such file";
        QTest::newRow("folder") << "." << "folder";
#ifdef Q_OS_UNIX
        QTest::newRow("pipe without a writer") << "fifo" << "pipe";
        QTest::newRow("endless device") << "/dev/zero" << "device";
        QTest::newRow("empty device") << "/dev/null" << "device";
#endif
    }

    void onlyRegularFilesAreRead()
    {
        QFETCH(QString, path);
        QFETCH(QString, reason);
        QTemporaryDir dir;
#ifdef Q_OS_UNIX
        if (path == QLatin1String("fifo"))
            QCOMPARE(mkfifo(QFile::encodeName(dir.filePath(path)).constData(), 0600), 0);
#endif
        const QString full = path.startsWith(u'/') ? path : dir.filePath(path);
        QByteArray bytes("before");
        QString error;
        // A pipe without a writer would make a plain read wait for ever.
        QVERIFY(!platform::readWholeFile(full, &bytes, &error));
        QVERIFY2(error.contains(reason), qPrintable(error));
        QCOMPARE(bytes, QByteArray("before"));
    }

#ifdef Q_OS_UNIX
    void aFailedAppendTakesBackItsPartAndNamesTheReason()
    {
        QTemporaryDir dir;
        const QString kept = dir.filePath(QStringLiteral("kept.txt"));
        const QString fresh = dir.filePath(QStringLiteral("fresh.txt"));
        writeBytes(kept, "kept\r\n");
        QString keptError, freshError;
        bool keptOk = true, freshOk = true;
        {
            // Room for 4 more bytes: the line goes short after them.
            testfiles::FileSizeLimit limit(10);
            keptOk = platform::appendAnsiLine(kept, u"a line much longer than four bytes",
                                              platform::LineStart::SetAsideUnfinished, nullptr, &keptError);
            // Not one more byte fits: the file this append created goes again.
            testfiles::FileSizeLimit none(0);
            freshOk = platform::appendAnsiLine(fresh, u"x", platform::LineStart::AsIs, nullptr, &freshError);
        }
        QVERIFY(!keptOk);
        QVERIFY2(keptError.contains(kept) && keptError.contains(QLatin1String("largest size")), qPrintable(keptError));
        QCOMPARE(contentsOf(kept), QByteArray("kept\r\n"));
        QVERIFY(!freshOk);
        QVERIFY(!QFile::exists(fresh));
    }

    void writeWholeFileChecksEveryByte()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("draft.eml"));
        QVERIFY(platform::writeWholeFile(path, QByteArray("old")));
        const QByteArray big(10 * 1024, 'm'); // fits the write buffer: only the flush fails
        QString error;
        bool ok = true;
        {
            testfiles::FileSizeLimit limit(4096);
            ok = platform::writeWholeFile(path, big, &error);
        }
        QVERIFY(!ok);
        QVERIFY2(error.contains(path), qPrintable(error));
        QCOMPARE(contentsOf(path), QByteArray("old"));
        QCOMPARE(otherFiles(QDir(dir.path()), QStringLiteral("draft.eml")), QStringList());
    }
#endif

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
        QVERIFY(!platform::appendAnsiLine(path, QString(8192, u'x'), platform::LineStart::AsIs, nullptr, &error));
        QVERIFY2(error.contains(QLatin1String("no space left on the device")), qPrintable(error));
        QCOMPARE(contentsOf(path), QByteArray("kept\r\n"));
        QVERIFY(!platform::writeWholeFile(disk.filePath(QStringLiteral("draft.eml")), QByteArray(10000, 'd'), &error));
        QVERIFY(!QFile::exists(disk.filePath(QStringLiteral("draft.eml"))));
    }
#endif
};

QTEST_GUILESS_MAIN(TestTextFile)
#include "tst_textfile.moc"
