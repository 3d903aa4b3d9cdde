// How stored lines are listed and read back, Save's refusals, and the
// store's folders. What the store's files hold byte for byte is
// tst_hostilefolder's (data/otherprograms), what the store's commands do to a
// folder the model test's (tst_storemodel), what the window does with them
// the window tests'.
#include "platform/ansitext.h"
#include "store/names.h"
#include "store/templaterecord.h"
#include "support/storemodel.h"
#include "support/testdata.h"
#include "support/testfiles.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTest>

#include <random>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using storemodel::Result;

namespace {

// The list as start-up fills it.
struct VectorList final : store::TemplateList
{
    QStringList entries;
    int yields = 0;
    void addEntry(const QString &entry) override
    {
        entries.append(entry);
        QThread::msleep(2); // a line that takes a while to list
    }
    void yield() override { ++yields; }
};

VectorList listedFrom(const QString &dir)
{
    store::TemplateStore templates(dir);
    VectorList list;
    store::LoadTemplateList(templates, list);
    return list;
}

} // namespace

class TestTemplateStore : public QObject
{
    Q_OBJECT

private slots:
    // Each line of a data file is listed as its name, 200 spaces and the
    // rest of the line (a line without a TAB is none), and a click on it
    // shows its fields, runs of 100 spaces taken out.
    void storedLinesAreListedAndShown_data() { testdata::addRows(QStringLiteral("stored-lines")); }
    void storedLinesAreListedAndShown()
    {
        QFETCH(QString, line);
        QFETCH(QString, shown);
        QTemporaryDir dir;
        testfiles::writeBytes(dir.filePath(QStringLiteral("MainData.txt")), platform::toAnsi(line) + "\r\n");
        const QStringList entries = listedFrom(dir.path()).entries;
        QCOMPARE(entries.size(), shown.isEmpty() ? 0 : 1);
        if (entries.isEmpty())
            return;
        QCOMPARE(entries.first(), line.section(u'\t', 0, 0) + QString(200, u' ') + u'\t' + line.section(u'\t', 1));
        QCOMPARE(store::LineTextOfEntry(entries.first()), line);
        const store::ShownTemplate s = store::DecodeListEntry(entries.first());
        const auto flag = [](std::optional<bool> f) { return f ? QString::number(*f) : QStringLiteral("-"); };
        QCOMPARE(QStringList({s.name, s.subject, s.attachments, s.cc, s.to, s.bcc, s.htmlLocation, flag(s.plainFlag),
                              flag(s.htmlFlag)})
                     .join(u'|'),
                 shown);
    }

    // While a long list fills (tests/data/long-list: 60 templates), the
    // window handles its events again from time to time, not at every line.
    void longListsYield()
    {
        const VectorList list = listedFrom(testdata::Fixture(QStringLiteral("long-list")).path());
        QCOMPARE(list.entries.size(), 60);
        QVERIFY2(list.yields >= 1 && list.yields <= 60 / 4, qPrintable(QString::number(list.yields)));
    }

#ifdef Q_OS_WIN
    // Two names are one template exactly when Windows' own comparison of
    // file names (CompareStringOrdinal, letter case ignored) finds them
    // equal: random names of letters of many scripts, each against a copy
    // with some letters in another case or changed.
    void namesAreOneTemplateAsWindowsComparesFileNames()
    {
        // Wine's comparison differs from the program's rule on five letters,
        // which are left out here until a real Windows has said which is
        // right: the dotless i, Dz with a small z, the final sigma (Wine: not
        // their capitals; the program: one name) and alpha with psili and
        // ypogegrammeni (Wine: one with its capital; the program: two).
        const QString letters = testdata::table(QStringLiteral("name-letters")).value(1).value(0);
        std::mt19937_64 random(testdata::seed(20261223));
        const auto letter = [&] { return letters.at(qsizetype(random() % letters.size())); };
        for (int round = 0; round < 20000; ++round) {
            QString a, b;
            for (int n = int(random() % 4) + 1; n > 0; --n) {
                const QChar c = letter();
                a += c;
                const auto change = random() % 8;
                b += change < 3 ? QChar(c.toUpper()) : change < 6 ? QChar(c.toLower()) : change < 7 ? c : letter();
            }
            const bool same = CompareStringOrdinal(reinterpret_cast<const wchar_t *>(a.utf16()), int(a.size()),
                                                   reinterpret_cast<const wchar_t *>(b.utf16()), int(b.size()), TRUE)
                              == CSTR_EQUAL;
            // Compared as texts, which name the code points of a pair that differs.
            const auto verdict = [&a, &b](bool one, bool bodyOne) {
                return QStringLiteral("%1 and %2: one name %3, one body file %4").arg(a, b).arg(one).arg(bodyOne);
            };
            QCOMPARE(verdict(store::NameKey(a) == store::NameKey(b),
                             store::BodyKeyOfFileName(store::BodyFileName(a)) == store::NameKey(b)),
                     verdict(same, same));
        }
    }
#endif

    void refusedTemplatesWriteNothing_data() { testdata::addRows(QStringLiteral("refusals")); }
    void refusedTemplatesWriteNothing()
    {
        QFETCH(QString, name);
        QFETCH(QString, to);
        QFETCH(QString, message);
        QTemporaryDir dir;
        store::TemplateStore templates(dir.path());
        storemodel::Operation save;
        save.editor.name = name;
        save.editor.toText = to;
        QString said;
        QCOMPARE(storemodel::perform(templates, save, &said), Result::Refused);
        QCOMPARE(said, message);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }

    // Without a folder of its own, the store keeps its files in the user's
    // data folder for Letterloom.
    void theDataFolderIsTheUsersByDefault()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows keeps the templates in the program's folder (tst_programfolder_win)");
#endif
        QStandardPaths::setTestModeEnabled(true);
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QDir(folder).removeRecursively();
        store::TemplateStore templates;
        storemodel::Operation save;
        save.editor.name = QStringLiteral("Offer");
        QCOMPARE(storemodel::perform(templates, save), Result::Done);
        QVERIFY(QFile::exists(QDir(folder).filePath(QStringLiteral("MainData.txt"))));
        QDir(folder).removeRecursively();
    }
};

QTEST_GUILESS_MAIN(TestTemplateStore)
#include "tst_templatestore.moc"
