// Windows-1252 text and the file operations under the template files.
#include "platform/ansitext.h"
#include "platform/textfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "testfiles.h"

#ifdef Q_OS_UNIX
#include <ctime>
#include <utime.h>
#endif
#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/resource.h>
#endif

using testfiles::contentsOf;
using testfiles::writeBytes;

Q_DECLARE_METATYPE(platform::LineStart)

class TestAnsiText : public QObject
{
    Q_OBJECT

private slots:
    void everyByteRoundTrips()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(static_cast<char>(b));
        const QString text = platform::fromAnsi(all);
        QCOMPARE(text.size(), 256);
        QCOMPARE(platform::firstUnrepresentable(text), qsizetype(-1));
        QCOMPARE(platform::toAnsi(text), all);
    }

    void typographicCharactersUseTheirWindowsBytes()
    {
        const QString text = QStringLiteral("\u201CQuote\u201D \u2013 \u20AC5 \u2018x\u2019 \u2026 \u0152 caf\u00E9");
        const QByteArray expected("\x93Quote\x94 \x96 \x80" "5 \x91x\x92 \x85 \x8C caf\xE9");
        QCOMPARE(platform::toAnsi(text), expected);
        QCOMPARE(platform::fromAnsi(expected), text);
    }

    void charactersOutsideWindows1252AreFound()
    {
        QCOMPARE(platform::firstUnrepresentable(u"plain \u00E9\u20AC"), qsizetype(-1));
        QCOMPARE(platform::firstUnrepresentable(u"ab\u03A9c"), qsizetype(2));
        QCOMPARE(platform::firstUnrepresentable(QStringView(QStringLiteral("x\U0001F600"))), qsizetype(1));
        // The encoder never produces more or fewer bytes than characters.
        QCOMPARE(platform::toAnsi(u"a\u03A9b"), QByteArray("a?b"));
    }

    void appendWritesTextAndCrLfCreatingTheFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f.txt"));
        QString error;
        QVERIFY(platform::appendAnsiLine(path, u"first \u20AC", platform::LineStart::AsIs, &error));
        QVERIFY(platform::appendAnsiLine(path, u"", platform::LineStart::AsIs, &error));
        QCOMPARE(contentsOf(path), QByteArray("first \x80\r\n\r\n"));
    }

    void appendCanStartOnAFreshLine_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<platform::LineStart>("start");
        QTest::addColumn<QByteArray>("after");
        using platform::LineStart;
        QTest::newRow("empty file") << QByteArray() << LineStart::EnsureNewLine << QByteArray("new\r\n");
        QTest::newRow("ends with CR LF") << QByteArray("a\r\n") << LineStart::EnsureNewLine << QByteArray("a\r\nnew\r\n");
        QTest::newRow("cut short") << QByteArray("a\tb") << LineStart::EnsureNewLine << QByteArray("a\tb\r\nnew\r\n");
        QTest::newRow("one byte") << QByteArray("a") << LineStart::EnsureNewLine << QByteArray("a\r\nnew\r\n");
        QTest::newRow("bare LF") << QByteArray("a\n") << LineStart::EnsureNewLine << QByteArray("a\n\r\nnew\r\n");
        QTest::newRow("as is") << QByteArray("a\tb") << LineStart::AsIs << QByteArray("a\tbnew\r\n");
    }

    void appendCanStartOnAFreshLine()
    {
        QFETCH(QByteArray, before);
        QFETCH(platform::LineStart, start);
        QFETCH(QByteArray, after);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f.txt"));
        if (!before.isEmpty())
            writeBytes(path, before);
        QVERIFY(platform::appendAnsiLine(path, u"new", start));
        QCOMPARE(contentsOf(path), after);
    }

    void appendToAFolderFailsNamingIt()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("taken.txt"));
        QVERIFY(QDir().mkpath(path));
        QString error;
        QVERIFY(!platform::appendAnsiLine(path, u"x", platform::LineStart::AsIs, &error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
        QVERIFY(error.contains(QLatin1String("folder")));
    }

#ifdef Q_OS_LINUX
    void aWriteCutShortLeavesNoPartialLine()
    {
        // The file may grow by 4 bytes only, as on a nearly full disk.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f.txt"));
        writeBytes(path, "kept\r\n");
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = 10;
        setrlimit(RLIMIT_FSIZE, &small);
        QString error;
        const bool ok = platform::appendAnsiLine(path, u"a line much longer than four bytes",
                                                 platform::LineStart::EnsureNewLine, &error);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(!ok);
        QVERIFY2(error.contains(path), qPrintable(error));
        QCOMPARE(contentsOf(path), QByteArray("kept\r\n"));
    }

    void aFullDiskIsReported()
    {
        QString error;
        QVERIFY(!platform::appendAnsiLine(QStringLiteral("/dev/full"), u"x", platform::LineStart::AsIs, &error));
        QVERIFY2(error.contains(QLatin1String("/dev/full")), qPrintable(error));
    }
#endif

    void readingAMissingFileGivesNothing()
    {
        QTemporaryDir dir;
        bool ok = true;
        QCOMPARE(platform::readAnsiFile(dir.filePath(QStringLiteral("none.txt")), &ok), QString());
        QVERIFY(!ok);
        QByteArray bytes("x");
        QString error;
        QVERIFY(!platform::readWholeFile(dir.path(), &bytes, &error));
        QVERIFY(!error.isEmpty());
    }

    void filesAreFoundWhateverTheirLetterCase()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows itself finds a file whatever the letter case of its name");
#endif
        QTemporaryDir dir;
        platform::FolderIndex index;
        // Nothing there: the exact name, for creating the file.
        QCOMPARE(index.resolve(dir.path(), QStringLiteral("MainData.txt")), dir.filePath(QStringLiteral("MainData.txt")));
        writeBytes(dir.filePath(QStringLiteral("maindata.txt")), "x");
        // The folder changed after it was listed: the new file is found.
        QCOMPARE(index.resolve(dir.path(), QStringLiteral("MainData.txt")), dir.filePath(QStringLiteral("maindata.txt")));
        QCOMPARE(index.resolve(dir.path(), QStringLiteral("MAINDATA.TXT")), dir.filePath(QStringLiteral("maindata.txt")));
        // An exact match wins over one of another case.
        writeBytes(dir.filePath(QStringLiteral("MainData.txt")), "y");
        QCOMPARE(index.resolve(dir.path(), QStringLiteral("MainData.txt")), dir.filePath(QStringLiteral("MainData.txt")));
        // Of several other-case matches, the first in name order.
        QCOMPARE(index.resolve(dir.path(), QStringLiteral("mAINDATA.txt")), dir.filePath(QStringLiteral("MainData.txt")));
        // A file the program created itself is known at once.
        writeBytes(dir.filePath(QStringLiteral("LTM-Offer.txt")), "z");
        index.noteCreated(dir.path(), QStringLiteral("LTM-Offer.txt"));
        QCOMPARE(index.resolve(dir.path(), QStringLiteral("ltm-offer.txt")), dir.filePath(QStringLiteral("LTM-Offer.txt")));
    }

    void aDeletedFileIsNotFoundAgain()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows itself finds a file whatever the letter case of its name");
#endif
        QTemporaryDir dir;
        platform::FolderIndex index;
        writeBytes(dir.filePath(QStringLiteral("ltm-a.txt")), "x");
        QCOMPARE(index.resolve(dir.path(), QStringLiteral("LTM-a.txt")), dir.filePath(QStringLiteral("ltm-a.txt")));
        QVERIFY(QFile::remove(dir.filePath(QStringLiteral("ltm-a.txt"))));
#ifdef Q_OS_UNIX
        // Make sure the folder's time stamp moves on even on a coarse clock.
        const utimbuf later{std::time(nullptr) + 5, std::time(nullptr) + 5};
        QCOMPARE(utime(QFile::encodeName(dir.path()).constData(), &later), 0);
#endif
        QCOMPARE(index.resolve(dir.path(), QStringLiteral("LTM-a.txt")), dir.filePath(QStringLiteral("LTM-a.txt")));
    }
};

QTEST_GUILESS_MAIN(TestAnsiText)
#include "tst_ansitext.moc"
