// Text in the template files: Windows-1252 where it fits, UTF-8 told apart
// without guessing where it does not; and finding files whatever the letter
// case of their names.
#include "platform/ansitext.h"
#include "platform/storedtext.h"
#include "platform/textfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <random>

#include "support/storemodel.h"
#include "support/testdata.h"
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
    // Every byte reads as Windows-1252 says (the model's own table), and
    // writes back as itself; every character of the first plane either has
    // a byte that gives it back, or is found as one that has none.
    void everyByteAndCharacterFitsOrIsFound()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(static_cast<char>(b));
        const QString text = platform::fromAnsi(all);
        QCOMPARE(text, storemodel::fromWindows1252(all));
        QCOMPARE(platform::firstUnrepresentable(text), qsizetype(-1));
        QCOMPARE(platform::toAnsi(text), all);
        for (char32_t c = 1; c <= 0xFFFF; ++c) {
            if (c >= 0xD800 && c <= 0xDFFF)
                continue;
            const QString one{QChar(char16_t(c))};
            const bool fits = platform::firstUnrepresentable(one) < 0;
            QVERIFY2(fits == (platform::fromAnsi(platform::toAnsi(one)) == one),
                     qPrintable(QStringLiteral("U+%1").arg(quint32(c), 4, 16, QLatin1Char('0'))));
        }
        // Found where it stands; written as one byte, as the encoder never
        // gives more or fewer bytes than characters.
        QCOMPARE(platform::firstUnrepresentable(QStringView(QStringLiteral("ab\U0001F600c"))), qsizetype(2));
        QCOMPARE(platform::toAnsi(u"a\u03A9b"), QByteArray("a?b"));
    }

    // Any text is written so that it reads back exactly; text that Windows-1252
    // holds is written as before, byte for byte, unless those bytes would
    // read as UTF-8.
    void anyTextReadsBackAsWritten()
    {
        const QList<QStringView> pieces = {u"a", u" ", u"\t", u"\u00e9", u"\u00c3\u00a9", u"\u20ac", u"\u0080",
                                           u"\u0081", u"\u0141", u"\u0416", u"\u65e5", u"\U0001F600", u"\u00ef\u00bb\u00bf",
                                           u"\u00e2\u0080", u"\u00c2", u"\ufeff"};
        std::mt19937_64 random(testdata::seed(20261207));
        for (int round = 0; round < 5000; ++round) {
            QString text;
            for (int i = int(random() % 8); i > 0; --i)
                text += pieces.at(qsizetype(random() % pieces.size()));
            const QByteArray line = platform::encodeLine(text);
            const QByteArray body = platform::encodeBody(text);
            QCOMPARE(platform::decodeLine(line), text);
            QCOMPARE(platform::decodeBody(body), text);
            if (platform::firstUnrepresentable(text) < 0) {
                const QByteArray ansi = platform::toAnsi(text);
                QCOMPARE(line, platform::isNonAsciiUtf8(ansi) ? text.toUtf8() : ansi);
                QCOMPARE(body, ansi.startsWith("\xEF\xBB\xBF") || platform::isNonAsciiUtf8(ansi)
                                   ? "\xEF\xBB\xBF" + text.toUtf8()
                                   : ansi);
            } else {
                QCOMPARE(line, text.toUtf8());
            }
        }
        // What earlier versions wrote reads as they meant it.
        QCOMPARE(platform::decodeLine("caf\xE9 \x80"), QStringLiteral("caf\u00e9 \u20ac"));
        QCOMPARE(platform::decodeBody("\x93x\x94"), QStringLiteral("\u201cx\u201d"));
        // Not UTF-8: overlong forms, surrogates, beyond U+10FFFF, cut short.
        for (const char *bytes : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82"})
            QVERIFY2(!platform::isNonAsciiUtf8(bytes), bytes);
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
        writeBytes(dir.filePath(QStringLiteral("ltm-a.txt")), "x");
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
        // A deleted file is not found again.
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
