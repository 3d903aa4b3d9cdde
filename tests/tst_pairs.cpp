// The find/replace pairs: applying them, and keeping them in the settings store.
#include "support/fakepairs.h"
#include "support/testsettings.h"
#include "substitute/pairs.h"

#include <QDir>
#include <QFile>
#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using substitute::BoxArray;
using testsupport::userSettings;

namespace {

QString apply(FakePairs &boxes, const char *text)
{
    return substitute::ApplySubstitutionPairs(QString::fromUtf8(text), boxes);
}

} // namespace

class TestPairs : public QObject
{
    Q_OBJECT

private slots:
    void init() { testsupport::isolateSettings(); }

    // ---- applying --------------------------------------------------------
    void emptyPairsChangeNothing()
    {
        FakePairs boxes;
        QCOMPARE(apply(boxes, "Dear {name}"), QStringLiteral("Dear {name}"));
        QCOMPARE(boxes.yields, 11);
    }

    void pairsApplyInIndexOrder()
    {
        FakePairs boxes;
        boxes.set(0, "A", "B");
        boxes.set(1, "B", "C");
        QCOMPARE(apply(boxes, "A"), QStringLiteral("C"));
        FakePairs reversed;
        reversed.set(0, "B", "C");
        reversed.set(1, "A", "B");
        QCOMPARE(apply(reversed, "A"), QStringLiteral("B"));
        // Pair 10 comes last, after pair 9.
        FakePairs last;
        last.set(9, "x", "y");
        last.set(10, "y", "z");
        QCOMPARE(apply(last, "x"), QStringLiteral("z"));
    }

    void matchesDoNotOverlapAndAreNotSearchedAgain_data()
    {
        QTest::addColumn<QString>("find");
        QTest::addColumn<QString>("replace");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");
        QTest::newRow("aaaa") << "aa" << "X" << "aaaa" << "XX";
        QTest::newRow("aaa") << "aa" << "X" << "aaa" << "Xa";
        QTest::newRow("a to aa") << "a" << "aa" << "a" << "aa";
        QTest::newRow("case-sensitive") << "name" << "Bob" << "Name name NAME" << "Name Bob NAME";
        QTest::newRow("delete") << "[x]" << "" << "a[x]b[x]" << "ab";
        QTest::newRow("empty find") << "" << "Z" << "abc" << "abc";
        QTest::newRow("accents") << "caf\u00E9" << "tea" << "caf\u00E9 CAF\u00C9 cafe" << "tea CAF\u00C9 cafe";
        QTest::newRow("markup") << "<b>" << "<i>" << "<b>x</b>" << "<i>x</b>";
        QTest::newRow("near miss, then a match") << "ab" << "X" << "aab" << "aX";
        QTest::newRow("match at the very end") << "end" << "X" << "the end" << "the X";
        QTest::newRow("longer than the text") << "abcdef" << "X" << "abc" << "abc";
    }

    void matchesDoNotOverlapAndAreNotSearchedAgain()
    {
        QFETCH(QString, find);
        QFETCH(QString, replace);
        QFETCH(QString, text);
        QFETCH(QString, result);
        FakePairs boxes;
        boxes.find.at(4) = find;
        boxes.replace.at(4) = replace;
        QCOMPARE(substitute::ApplySubstitutionPairs(text, boxes), result);
    }

    void pairTextsAreReadAfreshAfterEachYield()
    {
        FakePairs boxes;
        boxes.set(0, "a", "b");
        boxes.set(1, "b", "c");
        // While pair 0 runs, the user empties pair 1's find box and fills pair 2.
        boxes.onYield = [&boxes](int pass) {
            if (pass == 1) {
                boxes.find.at(1).clear();
                boxes.set(2, "b", "d");
            }
        };
        QCOMPARE(apply(boxes, "a"), QStringLiteral("d"));
        QCOMPARE(boxes.reads.mid(0, 4), (QStringList{"F0", "R0", "F1", "R1"}));
    }

    void thePairCountIsReadBeforeEveryPass()
    {
        // A window with more boxes than eleven applies them all; the loop
        // bound is never cached.
        FakePairs boxes;
        boxes.onYield = [&boxes](int pass) {
            if (pass == 0) {
                boxes.find.push_back(QStringLiteral("q"));
                boxes.replace.push_back(QStringLiteral("Q"));
            }
        };
        QCOMPARE(apply(boxes, "q"), QStringLiteral("Q"));
        QCOMPARE(boxes.yields, 12);
    }

    // ---- the settings store ----------------------------------------------
    void savingOneBoxWritesOnlyItsKey()
    {
        platform::SettingsStore settings;
        QVERIFY(substitute::SaveSubstitutionBox(settings, BoxArray::Find, 3, QStringLiteral("x")));
        QSettings raw = userSettings();
        QCOMPARE(raw.allKeys(), QStringList{"replace/TextFind-3"});
        QCOMPARE(raw.value(QStringLiteral("replace/TextFind-3")).toString(), QStringLiteral("x"));
        QVERIFY(substitute::SaveSubstitutionBox(settings, BoxArray::Replace, 10, QString()));
        raw.sync();
        QCOMPARE(raw.allKeys().size(), 2);
        QCOMPARE(raw.value(QStringLiteral("replace/TextReplace-10"), QStringLiteral("missing")).toString(), QString());
    }

    void loadingFillsEveryBoxInOrder()
    {
        platform::SettingsStore settings;
        const QString awkward = QStringLiteral(" a, \"b\" = 50% ; c\\d @Variant(x) \u20AC ");
        for (int i = 0; i <= 11; ++i) {
            if (i == 7) // no entries: the boxes keep what they hold
                continue;
            QVERIFY(substitute::SaveSubstitutionBox(settings, BoxArray::Find, i, QStringLiteral("find %1").arg(i)));
            QVERIFY(substitute::SaveSubstitutionBox(settings, BoxArray::Replace, i, QStringLiteral("repl %1").arg(i)));
        }
        QVERIFY(substitute::SaveSubstitutionBox(settings, BoxArray::Replace, 5, awkward));
        FakePairs boxes;
        boxes.set(7, "seven", "VII");
        substitute::LoadSubstitutionPairs(boxes, settings);
        for (int i = 0; i <= 10; ++i) {
            QCOMPARE(boxes.find.at(i), i == 7 ? QStringLiteral("seven") : QStringLiteral("find %1").arg(i));
            QCOMPARE(boxes.replace.at(i), i == 5 ? awkward : i == 7 ? QStringLiteral("VII") : QStringLiteral("repl %1").arg(i));
        }
        // The entry for index 11 is never read: there are eleven boxes.
        QCOMPARE(boxes.find.size(), std::size_t(11));
        QCOMPARE(boxes.yields, 11);
        // Each pass reads the find box before the replace box (the defaults).
        QCOMPARE(boxes.reads.mid(0, 4), (QStringList{"F0", "R0", "F1", "R1"}));
    }

#ifdef Q_OS_WIN
    // Each box is one string value of the registry key that the program's
    // users look in, named by its key, holding the box's whole text.
    void boxesAreRegistryStrings()
    {
        platform::SettingsStore settings;
        const QString text = QStringLiteral("caf\u00e9 \u20ac; \"quoted\" = [x]");
        QVERIFY(substitute::SaveSubstitutionBox(settings, BoxArray::Replace, 10, text));
        QVERIFY(substitute::SaveSubstitutionBox(settings, BoxArray::Find, 0, QString()));
        const wchar_t *key = L"Software\\Letterloom\\Letterloom\\replace";
        wchar_t value[256];
        DWORD type = 0, size = sizeof value;
        QCOMPARE(RegGetValueW(HKEY_CURRENT_USER, key, L"TextReplace-10", RRF_RT_ANY, &type, value, &size),
                 LONG(ERROR_SUCCESS));
        QCOMPARE(type, DWORD(REG_SZ));
        QCOMPARE(QString::fromWCharArray(value), text);
        size = sizeof value;
        QCOMPARE(RegGetValueW(HKEY_CURRENT_USER, key, L"TextFind-0", RRF_RT_ANY, &type, value, &size),
                 LONG(ERROR_SUCCESS));
        QCOMPARE(type, DWORD(REG_SZ));
        QCOMPARE(QString::fromWCharArray(value), QString());
    }
#endif

#ifdef Q_OS_UNIX
    void aStoreThatCannotBeWrittenIsReported()
    {
        // A folder where the settings file should be.
        const QString file = userSettings().fileName();
        QFile::remove(file);
        QVERIFY(QDir().mkpath(file));
        platform::SettingsStore settings;
        QString error;
        const bool saved = substitute::SaveSubstitutionBox(settings, BoxArray::Find, 2, QStringLiteral("x"), &error);
        QDir(file).removeRecursively();
        QVERIFY(!saved);
        QVERIFY2(error.contains(QLatin1String("TextFind-2")) && error.contains(file), qPrintable(error));
    }
#endif
};

QTEST_GUILESS_MAIN(TestPairs)
#include "tst_pairs.moc"
