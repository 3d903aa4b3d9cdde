// Windows-1252 text, and finding files whatever the letter case of their names.
#include "platform/ansitext.h"
#include "platform/textfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "support/testfiles.h"

#ifdef Q_OS_UNIX
#include <ctime>
#include <utime.h>
#endif

using testfiles::contentsOf;
using testfiles::writeBytes;

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
        // An exact match wins over one of another case that comes first in
        // name order.
        writeBytes(dir.filePath(QStringLiteral("MainData.txt")), "y");
        QCOMPARE(index.resolve(dir.path(), QStringLiteral("maindata.txt")), dir.filePath(QStringLiteral("maindata.txt")));
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
