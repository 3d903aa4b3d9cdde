// The find/replace pairs: applying them, against a model of their rules, and
// keeping them in the settings store.
#include "support/fakepairs.h"
#include "support/testdata.h"
#include "support/testsettings.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <random>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using substitute::BoxArray;
using testsupport::userSettings;

class TestPairs : public QObject
{
    Q_OBJECT

private slots:
    void init() { testsupport::isolateSettings(); }

    // Random texts and pairs whose finds overlap, repeat, meet across the
    // text a pair before put in, and differ in letter case or accents; and
    // boxes the user edits while a pass yields, read afresh by the pairs
    // after it.
    void randomPairsAgainstTheModel()
    {
        const QStringList pieces{"", "a", "aa", "ab", "b", "ba", "name", "Name", "caf\u00e9", "CAF\u00c9", "<b>", " "};
        std::mt19937_64 random(testdata::seed(20261223));
        const auto pick = [&] { return pieces.at(qsizetype(random() % pieces.size())); };
        for (int round = 0; round < 3000; ++round) {
            QString text;
            for (int n = int(random() % 10); n > 0; --n)
                text += pick();
            FakePairs pairs;
            for (int i = int(random() % 5); i > 0; --i)
                pairs.set(int(random() % 11), pick(), pick());
            pairs.onYield = [&](int pass) {
                if (random() % 4 == 0) // a pair not applied yet
                    pairs.set(pass + int(random() % (11 - pass)), pick(), pick());
            };
            const QString applied = substitute::ApplySubstitutionPairs(text, pairs);
            QCOMPARE(applied, pairs.model(text));
            QCOMPARE(pairs.yields, 11);
        }
    }

    // ---- the settings store ----------------------------------------------
    // Each box is its own key (typing and the next start: the window's
    // pair-boxes-are-stored-at-once); a text that the store's format
    // treats specially comes back as typed, an empty one is stored, and a
    // box without an entry keeps what it holds.
    void eachBoxIsItsOwnKeyAndLoadedInOrder()
    {
        platform::SettingsStore settings;
        const QString awkward = QStringLiteral(" a, \"b\" = 50% ; c\\d @Variant(x) \u20AC ");
        QVERIFY(substitute::SaveSubstitutionBox(settings, BoxArray::Find, 3, QString()));
        QVERIFY(substitute::SaveSubstitutionBox(settings, BoxArray::Replace, 5, awkward));
        QCOMPARE(userSettings().allKeys(), (QStringList{"replace/TextFind-3", "replace/TextReplace-5"}));
        FakePairs boxes;
        boxes.set(3, "kept if the empty text were not stored", "three");
        boxes.set(7, "seven", "VII");
        substitute::LoadSubstitutionPairs(boxes, settings);
        QCOMPARE(boxes.find, (std::vector<QString>{"", "", "", "", "", "", "", "seven", "", "", ""}));
        QCOMPARE(boxes.replace, (std::vector<QString>{"", "", "", "three", "", awkward, "", "VII", "", "", ""}));
        QCOMPARE(boxes.yields, 11);
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
        for (const auto &[name, expected] : {std::pair{L"TextReplace-10", text}, std::pair{L"TextFind-0", QString()}}) {
            wchar_t value[256];
            DWORD type = 0, size = sizeof value;
            QCOMPARE(RegGetValueW(HKEY_CURRENT_USER, L"Software\\Letterloom\\Letterloom\\replace", name, RRF_RT_ANY,
                                  &type, value, &size),
                     LONG(ERROR_SUCCESS));
            QCOMPARE(type, DWORD(REG_SZ));
            QCOMPARE(QString::fromWCharArray(value), expected);
        }
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
