// Template records, list entries, and Save / start-up reading of the files.
#include "store/templaterecord.h"
#include "store/templatestore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "testfiles.h"

using store::EditorValues;
using store::SaveOutcome;

using testfiles::contentsOf;
using testfiles::writeBytes;

namespace {

EditorValues offer()
{
    EditorValues e;
    e.name = QStringLiteral("Offer");
    e.subjectText = QStringLiteral("Your offer");
    e.attachmentPaths = QStringLiteral("/tmp/a.pdf;/tmp/b.pdf");
    e.ccText = QStringLiteral("cc@example.com");
    e.toText = QStringLiteral("to@example.com");
    e.bccText = QStringLiteral("bcc@example.com");
    e.location = QStringLiteral("/tmp/offer.html");
    e.bodyText = QStringLiteral("Dear client,\r\nthank you.");
    return e;
}

QString spaces(int n)
{
    return QString(n, QLatin1Char(' '));
}

struct VectorList final : store::TemplateList
{
    QStringList entries;
    int yields = 0;
    void addEntry(const QString &entry) override { entries.append(entry); }
    void yield() override { ++yields; }
};

} // namespace

class TestTemplateStore : public QObject
{
    Q_OBJECT

private slots:
    // ---- the record line -------------------------------------------------
    void recordLineHoldsNineFieldsInFileOrder()
    {
        QCOMPARE(store::FormatRecordLine(offer()),
                 QStringLiteral("Offer\tYour offer\t/tmp/a.pdf;/tmp/b.pdf\tcc@example.com\tto@example.com\t"
                                "bcc@example.com\tTrue\tFalse\t/tmp/offer.html"));
        EditorValues html = offer();
        html.plain = false;
        html.html = true;
        QVERIFY(store::FormatRecordLine(html).endsWith(QLatin1String("\tFalse\tTrue\t/tmp/offer.html")));
        EditorValues neither = offer();
        neither.plain = false;
        QVERIFY(store::FormatRecordLine(neither).endsWith(QLatin1String("\tFalse\tFalse\t/tmp/offer.html")));
    }

    void tabsBecomeFiveSpacesExceptInTheHtmlPath()
    {
        EditorValues e = offer();
        e.name = QStringLiteral("A\tB");
        e.subjectText = QStringLiteral("\tS\t\t");
        e.bccText = QStringLiteral("x\ty");
        e.location = QStringLiteral("C:\\my\tfile.htm");
        const QString line = store::FormatRecordLine(e);
        QCOMPARE(line.split(QLatin1Char('\t')).size(), 10);
        QVERIFY(line.startsWith(QStringLiteral("A     B\t     S          \t")));
        QVERIFY(line.contains(QStringLiteral("\tx     y\t")));
        QVERIFY(line.endsWith(QStringLiteral("\tC:\\my\tfile.htm")));
    }

    void onlyPlainSpacesAreTrimmedFromTheLine()
    {
        EditorValues e = offer();
        e.name = QStringLiteral("  Offer");
        e.location = QStringLiteral("/tmp/o.html   ");
        QVERIFY(store::FormatRecordLine(e).startsWith(QLatin1String("Offer\t")));
        QVERIFY(store::FormatRecordLine(e).endsWith(QLatin1String("\t/tmp/o.html")));
        // A TAB at the start of the name turns into spaces first, so it goes too.
        e.name = QStringLiteral("\tOffer");
        QVERIFY(store::FormatRecordLine(e).startsWith(QLatin1String("Offer\t")));
        // Other white space is kept.
        e.name = QStringLiteral("\u00A0Offer");
        e.location = QStringLiteral("/tmp/o.html\u00A0");
        QVERIFY(store::FormatRecordLine(e).startsWith(QStringLiteral("\u00A0Offer\t")));
        QVERIFY(store::FormatRecordLine(e).endsWith(QStringLiteral("o.html\u00A0")));
        // An empty HTML path leaves the TAB before it in place.
        e.location.clear();
        QVERIFY(store::FormatRecordLine(e).endsWith(QLatin1String("\tTrue\tFalse\t")));
    }

    // ---- splitting the data file -----------------------------------------
    void dataFileSplitsAtCrLf_data()
    {
        QTest::addColumn<QString>("contents");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("empty") << QString() << QStringList();
        QTest::newRow("two lines") << QStringLiteral("a\tb\r\nc\td\r\n") << QStringList{"a\tb", "c\td"};
        QTest::newRow("last line cut short") << QStringLiteral("a\r\nb") << QStringList{"a"};
        QTest::newRow("only an unfinished line") << QStringLiteral("abc") << QStringList();
        QTest::newRow("empty lines kept") << QStringLiteral("a\r\n\r\nb\r\n") << QStringList{"a", "", "b"};
        QTest::newRow("lone CR and LF are text") << QStringLiteral("a\rb\nc\r\n") << QStringList{"a\rb\nc"};
        QTest::newRow("CR CR LF") << QStringLiteral("a\r\r\n") << QStringList{"a\r"};
    }

    void dataFileSplitsAtCrLf()
    {
        QFETCH(QString, contents);
        QFETCH(QStringList, lines);
        QCOMPARE(store::SplitDataFile(contents), lines);
    }

    // ---- list entries and their decoding -----------------------------------
    void entryFromLinePutsTwoHundredSpacesBeforeTheFirstTab()
    {
        const QString line = QStringLiteral("Offer\tSubj\ta\tcc\tto\tbcc\tTrue\tFalse\t");
        QCOMPARE(store::ListEntryFromLine(line).value(),
                 QStringLiteral("Offer") + spaces(200) + QStringLiteral("\tSubj\ta\tcc\tto\tbcc\tTrue\tFalse\t"));
        QCOMPARE(store::ListEntryFromLine(QStringLiteral("\tx")).value(), spaces(200) + QStringLiteral("\tx"));
        QVERIFY(!store::ListEntryFromLine(QString()).has_value());
        QVERIFY(!store::ListEntryFromLine(QStringLiteral("no tab here")).has_value());
    }

    void entryFromEditorMatchesTheStoredLineButIsNotTrimmed()
    {
        const EditorValues e = offer();
        QCOMPARE(store::ListEntryFromEditor(e), store::ListEntryFromLine(store::FormatRecordLine(e)).value());
        EditorValues padded = offer();
        padded.name = QStringLiteral("  Offer\t");
        padded.location = QStringLiteral("/x.html  ");
        const QString entry = store::ListEntryFromEditor(padded);
        QVERIFY(entry.startsWith(QStringLiteral("  Offer     ") + spaces(200) + QStringLiteral("\tYour offer")));
        QVERIFY(entry.endsWith(QLatin1String("/x.html  ")));
    }

    void decodingGivesBackEveryField()
    {
        EditorValues e = offer();
        e.plain = false;
        e.html = true;
        const store::ShownTemplate shown = store::DecodeListEntry(store::ListEntryFromEditor(e));
        QCOMPARE(shown.name, e.name);
        QCOMPARE(shown.subject, e.subjectText);
        QCOMPARE(shown.attachments, e.attachmentPaths);
        QCOMPARE(shown.cc, e.ccText);
        QCOMPARE(shown.to, e.toText);
        QCOMPARE(shown.bcc, e.bccText);
        QCOMPARE(shown.plainFlag, std::optional<bool>(false));
        QCOMPARE(shown.htmlFlag, std::optional<bool>(true));
        QCOMPARE(shown.htmlLocation, e.location);
    }

    void decodingRemovesSpacesInRunsOfOneHundred_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("subject");
        QTest::newRow("name ending in a space")
            << QStringLiteral("Offer ") + spaces(200) + QStringLiteral("\tS") << QStringLiteral("Offer ") << QStringLiteral("S");
        QTest::newRow("subject of exactly 100 spaces")
            << QStringLiteral("N") + spaces(200) + QStringLiteral("\t") + spaces(100) << QStringLiteral("N") << QString();
        QTest::newRow("run of 250 keeps 50")
            << QStringLiteral("N") + spaces(200) + QStringLiteral("\ta") + spaces(250) + QStringLiteral("b")
            << QStringLiteral("N") << QStringLiteral("a") + spaces(50) + QStringLiteral("b");
        QTest::newRow("99 spaces stay")
            << QStringLiteral("N") + spaces(200) + QStringLiteral("\t") + spaces(99) << QStringLiteral("N") << spaces(99);
    }

    void decodingRemovesSpacesInRunsOfOneHundred()
    {
        QFETCH(QString, entry);
        QFETCH(QString, name);
        QFETCH(QString, subject);
        const store::ShownTemplate shown = store::DecodeListEntry(entry);
        QCOMPARE(shown.name, name);
        QCOMPARE(shown.subject, subject);
    }

    void missingFieldsDecodeEmpty()
    {
        const store::ShownTemplate shown = store::DecodeListEntry(QStringLiteral("N") + spaces(200) + QStringLiteral("\tS\tA"));
        QCOMPARE(shown.name, QStringLiteral("N"));
        QCOMPARE(shown.attachments, QStringLiteral("A"));
        QVERIFY(shown.cc.isEmpty() && shown.to.isEmpty() && shown.bcc.isEmpty() && shown.htmlLocation.isEmpty());
        QVERIFY(!shown.plainFlag && !shown.htmlFlag);
    }

    void flagsReadAsTruthValues_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("value"); // -1: unreadable
        QTest::newRow("True") << "True" << 1;
        QTest::newRow("true") << "true" << 1;
        QTest::newRow("FALSE") << "FALSE" << 0;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("minus one") << "-1" << 1;
        QTest::newRow("decimal") << "0.5" << 1;
        QTest::newRow("padded") << " 1 " << 1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("yes") << "yes" << -1;
        QTest::newRow("infinity") << "inf" << -1;
    }

    void flagsReadAsTruthValues()
    {
        QFETCH(QString, field);
        QFETCH(int, value);
        const std::optional<bool> read = store::ReadTruthValue(field);
        QCOMPARE(read.has_value(), value >= 0);
        if (read)
            QCOMPARE(*read, value == 1);
    }

    // ---- Save ------------------------------------------------------------
    void saveAppendsBodyAndRecordByteForByte()
    {
        QTemporaryDir dir;
        store::TemplateStore templates(dir.path());
        EditorValues e = offer();
        e.subjectText = QStringLiteral("\u201CSpecial\u201D \u2013 \u20AC10");
        e.bodyText = QStringLiteral("  Dear client,\r\n\tthank you.  ");
        const SaveOutcome outcome = templates.SaveTemplate(e);
        QCOMPARE(outcome.status, SaveOutcome::Status::Saved);
        QVERIFY(outcome.message.isEmpty());
        QVERIFY(outcome.addsEntry);
        QCOMPARE(outcome.listEntry, store::ListEntryFromEditor(e));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), (QStringList{"LTM-Offer.txt", "MainData.txt"}));
        QCOMPARE(contentsOf(dir.filePath(QStringLiteral("LTM-Offer.txt"))), QByteArray("Dear client,\r\n\tthank you.\r\n"));
        QCOMPARE(contentsOf(dir.filePath(QStringLiteral("MainData.txt"))),
                 QByteArray("Offer\t\x93Special\x94 \x96 \x80" "10\t/tmp/a.pdf;/tmp/b.pdf\tcc@example.com\t"
                            "to@example.com\tbcc@example.com\tTrue\tFalse\t/tmp/offer.html\r\n"));
    }

    void savingANameTwiceAppendsToBothFiles()
    {
        QTemporaryDir dir;
        store::TemplateStore templates(dir.path());
        EditorValues e = offer();
        e.bodyText = QStringLiteral("first");
        QCOMPARE(templates.SaveTemplate(e).status, SaveOutcome::Status::Saved);
        e.bodyText.clear();
        e.subjectText = QStringLiteral("second");
        QCOMPARE(templates.SaveTemplate(e).status, SaveOutcome::Status::Saved);
        QCOMPARE(contentsOf(dir.filePath(QStringLiteral("LTM-Offer.txt"))), QByteArray("first\r\n\r\n"));
        const QStringList lines = templates.ReadTemplateLines();
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.at(0).startsWith(QLatin1String("Offer\tYour offer\t")));
        QVERIFY(lines.at(1).startsWith(QLatin1String("Offer\tsecond\t")));
        QCOMPARE(templates.ReadBody(QStringLiteral("Offer")), QStringLiteral("first\r\n\r\n"));
    }

    void theBodyFileKeepsTheNameAsTyped()
    {
        QTemporaryDir dir;
        store::TemplateStore templates(dir.path());
        EditorValues e = offer();
        e.name = QStringLiteral("  Offer");
        QCOMPARE(templates.SaveTemplate(e).status, SaveOutcome::Status::Saved);
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("LTM-  Offer.txt"))));
        QVERIFY(templates.ReadTemplateLines().at(0).startsWith(QLatin1String("Offer\t")));
        // The entry made now keeps the spaces and finds the body; the one made
        // from the stored line at the next start does not.
        const QString thisRun = store::DecodeListEntry(templates.SaveTemplate(e).listEntry).name;
        QCOMPARE(templates.ReadBody(thisRun), QStringLiteral("Dear client,\r\nthank you.\r\nDear client,\r\nthank you.\r\n"));
        store::TemplateStore nextRun(dir.path());
        const QString restored = store::DecodeListEntry(*store::ListEntryFromLine(nextRun.ReadTemplateLines().at(0))).name;
        QCOMPARE(restored, QStringLiteral("Offer"));
        QCOMPARE(nextRun.ReadBody(restored), QString());
    }

    void refusedNamesWriteNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << "" << "Please Enter a Template Name";
        QTest::newRow("spaces only") << "   " << "Please Enter a Template Name";
        QTest::newRow("-Q-") << "My-Q-offer" << "Template Name can not contain the text -Q-";
        // One character of the set a file name cannot hold stands for all.
        QTest::newRow("slash") << "../evil" << "Template Name can not contain the character /";
        QTest::newRow("tab") << "a\tb" << "Template Name can not contain a control character";
        QTest::newRow("delete") << "a\x7F" << "Template Name can not contain a control character";
        QTest::newRow("dot dot") << ".." << "Template Name can not be . or ..";
        QTest::newRow("outside Windows-1252") << "Offer \u03A9" << "Template Name can not contain the character \u03A9";
    }

    void refusedNamesWriteNothing()
    {
        QFETCH(QString, name);
        QFETCH(QString, message);
        QTemporaryDir dir;
        store::TemplateStore templates(dir.path());
        EditorValues e = offer();
        e.name = name;
        const SaveOutcome outcome = templates.SaveTemplate(e);
        QCOMPARE(outcome.status, SaveOutcome::Status::Refused);
        QCOMPARE(outcome.message, message);
        QVERIFY(!outcome.addsEntry);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("evil.txt"))));
    }

    void namesThatAFileNameCanHoldAreSaved()
    {
        QTemporaryDir dir;
        store::TemplateStore templates(dir.path());
        for (const QString &name : {QStringLiteral("My-q-offer"), QStringLiteral("Caf\u00E9 \u20AC"), QStringLiteral("..."),
                                    QStringLiteral(".hidden"), QStringLiteral("a.b")}) {
            EditorValues e = offer();
            e.name = name;
            QCOMPARE(templates.SaveTemplate(e).status, SaveOutcome::Status::Saved);
            QVERIFY2(QFile::exists(dir.filePath(QStringLiteral("LTM-") + name + QStringLiteral(".txt"))), qPrintable(name));
        }
        QCOMPARE(templates.ReadTemplateLines().size(), 5);
    }

    void textOutsideWindows1252IsRefusedNotMangled()
    {
        QTemporaryDir dir;
        store::TemplateStore templates(dir.path());
        EditorValues e = offer();
        e.bodyText = QStringLiteral("Smile \U0001F600");
        SaveOutcome outcome = templates.SaveTemplate(e);
        QCOMPARE(outcome.status, SaveOutcome::Status::Refused);
        QCOMPARE(outcome.message, QStringLiteral("Email Body can not contain the character \U0001F600"));
        e = offer();
        e.toText = QStringLiteral("\u0416@example.com");
        outcome = templates.SaveTemplate(e);
        QCOMPARE(outcome.message, QStringLiteral("To can not contain the character \u0416"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
    }

    void anUnfinishedLastLineIsMovedAsideNotMadeATemplate()
    {
        // A copy killed while it wrote left a record without its end.
        QTemporaryDir dir;
        writeBytes(dir.filePath(QStringLiteral("MainData.txt")), "Old\tsubject\r\nTorn\tcut subj");
        store::TemplateStore templates(dir.path());
        const SaveOutcome outcome = templates.SaveTemplate(offer());
        QCOMPARE(outcome.status, SaveOutcome::Status::Saved);
        QVERIFY(outcome.addsEntry);
        const QByteArray data = contentsOf(dir.filePath(QStringLiteral("MainData.txt")));
        QVERIFY(data.startsWith("Old\tsubject\r\nOffer\tYour offer\t"));
        QCOMPARE(store::TemplateStore(dir.path()).ReadTemplateLines().size(), 2);
        const QStringList aside = QDir(dir.path()).entryList({QStringLiteral("MainData-unfinished-*.txt")});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(contentsOf(dir.filePath(aside.first())), QByteArray("Torn\tcut subj"));
        QVERIFY2(outcome.message.contains(aside.first()) && outcome.message.startsWith(QLatin1String("The template was saved.")),
                 qPrintable(outcome.message));
    }

    void filesAreFoundWhateverTheirLetterCase()
    {
        QTemporaryDir dir;
        writeBytes(dir.filePath(QStringLiteral("maindata.txt")), "Offer\tOld\r\n");
        writeBytes(dir.filePath(QStringLiteral("ltm-offer.txt")), "old body\r\n");
        store::TemplateStore templates(dir.path());
        QCOMPARE(templates.ReadTemplateLines(), QStringList{"Offer\tOld"});
        QCOMPARE(templates.ReadBody(QStringLiteral("Offer")), QStringLiteral("old body\r\n"));
        EditorValues e = offer();
        e.bodyText = QStringLiteral("new body");
        QCOMPARE(templates.SaveTemplate(e).status, SaveOutcome::Status::Saved);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), (QStringList{"ltm-offer.txt", "maindata.txt"}));
        QCOMPARE(contentsOf(dir.filePath(QStringLiteral("ltm-offer.txt"))), QByteArray("old body\r\nnew body\r\n"));
        QCOMPARE(templates.ReadTemplateLines().size(), 2);
    }

    void aNewDataFileIsCreatedAsMainData()
    {
        QTemporaryDir dir;
        const QString appDir = dir.filePath(QStringLiteral("not/yet/there"));
        store::TemplateStore templates(appDir);
        QCOMPARE(templates.ReadTemplateLines(), QStringList());
        QCOMPARE(templates.SaveTemplate(offer()).status, SaveOutcome::Status::Saved);
        QCOMPARE(QDir(appDir).entryList(QDir::Files), (QStringList{"LTM-Offer.txt", "MainData.txt"}));
    }

    void aFolderInPlaceOfTheBodyFileStopsSaveBeforeAnythingIsWritten()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("LTM-Offer.txt")));
        store::TemplateStore templates(dir.path());
        const SaveOutcome outcome = templates.SaveTemplate(offer());
        QCOMPARE(outcome.status, SaveOutcome::Status::Failed);
        QVERIFY(!outcome.addsEntry);
        QVERIFY2(outcome.message.contains(QDir::toNativeSeparators(dir.filePath(QStringLiteral("LTM-Offer.txt")))),
                 qPrintable(outcome.message));
        QVERIFY(outcome.message.startsWith(QLatin1String("The template was not saved.")));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("MainData.txt"))));
    }

    void aSaveThatFailsAtTheDataFileLeavesNothingBehind()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("MainData.txt")));
        writeBytes(dir.filePath(QStringLiteral("LTM-Kept.txt")), "kept body\r\n");
        store::TemplateStore templates(dir.path());
        const SaveOutcome outcome = templates.SaveTemplate(offer());
        QCOMPARE(outcome.status, SaveOutcome::Status::Failed);
        QVERIFY2(outcome.message.contains(QLatin1String("MainData.txt")), qPrintable(outcome.message));
        QVERIFY(!outcome.addsEntry);
        // The new body file is gone again; an existing one is as it was.
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("LTM-Offer.txt"))));
        EditorValues kept = offer();
        kept.name = QStringLiteral("Kept");
        QCOMPARE(templates.SaveTemplate(kept).status, SaveOutcome::Status::Failed);
        QCOMPARE(contentsOf(dir.filePath(QStringLiteral("LTM-Kept.txt"))), QByteArray("kept body\r\n"));
    }

    void anUnwritableFolderIsReported()
    {
        // /proc takes no new files, whoever asks.
        store::TemplateStore templates(QStringLiteral("/proc"));
        const SaveOutcome outcome = templates.SaveTemplate(offer());
        QCOMPARE(outcome.status, SaveOutcome::Status::Failed);
        QVERIFY2(outcome.message.contains(QLatin1String("LTM-Offer.txt")), qPrintable(outcome.message));
        // A file standing where the folder should be.
        QTemporaryDir dir;
        writeBytes(dir.filePath(QStringLiteral("file")), "x");
        store::TemplateStore blocked(dir.filePath(QStringLiteral("file")));
        const SaveOutcome second = blocked.SaveTemplate(offer());
        QCOMPARE(second.status, SaveOutcome::Status::Failed);
        QVERIFY2(second.message.contains(QLatin1String("cannot be created")), qPrintable(second.message));
    }

#ifdef Q_OS_LINUX
    void aFullDiskLeavesNoPartialRecord()
    {
        QTemporaryDir dir;
        const QByteArray stored("Old\tline\r\n");
        writeBytes(dir.filePath(QStringLiteral("MainData.txt")), stored);
        writeBytes(dir.filePath(QStringLiteral("LTM-Offer.txt")), QByteArray(200, 'b'));
        store::TemplateStore templates(dir.path());
        EditorValues e = offer();
        e.bodyText = QStringLiteral("short");
        e.subjectText = QString(300, QLatin1Char('s'));
        SaveOutcome outcome;
        {
            testfiles::FileSizeLimit limit(240); // room for the body, not for the whole record
            outcome = templates.SaveTemplate(e);
        }
        QCOMPARE(outcome.status, SaveOutcome::Status::Failed);
        QVERIFY2(outcome.message.contains(QLatin1String("MainData.txt")), qPrintable(outcome.message));
        QCOMPARE(contentsOf(dir.filePath(QStringLiteral("MainData.txt"))), stored);
        QCOMPARE(contentsOf(dir.filePath(QStringLiteral("LTM-Offer.txt"))), QByteArray(200, 'b'));
    }
#endif

    // ---- start-up --------------------------------------------------------
    void startUpListsEveryLineWithATab()
    {
        QTemporaryDir dir;
        writeBytes(dir.filePath(QStringLiteral("MainData.txt")),
                   "One\ta\r\n\r\nno tab\r\n\tunnamed\r\nTwo\tb\r\nunfinished\tc");
        store::TemplateStore templates(dir.path());
        VectorList list;
        store::LoadTemplateList(templates, list);
        QCOMPARE(list.entries.size(), 3);
        QCOMPARE(list.entries.at(0), QStringLiteral("One") + spaces(200) + QStringLiteral("\ta"));
        QCOMPARE(list.entries.at(1), spaces(200) + QStringLiteral("\tunnamed"));
        QCOMPARE(list.entries.at(2), QStringLiteral("Two") + spaces(200) + QStringLiteral("\tb"));
        QCOMPARE(list.yields, 5); // once before each line, listed or not
        // The unnamed template's body file is "LTM-.txt".
        writeBytes(dir.filePath(QStringLiteral("LTM-.txt")), "nameless\r\n");
        QCOMPARE(templates.ReadBody(store::DecodeListEntry(list.entries.at(1)).name), QStringLiteral("nameless\r\n"));
    }

    void startUpWithoutUsableFilesListsNothing()
    {
        QTemporaryDir dir;
        VectorList list;
        store::TemplateStore none(dir.path());
        store::LoadTemplateList(none, list);
        QVERIFY(QDir(dir.filePath(QStringLiteral("MainData.txt"))).exists() == false);
        writeBytes(dir.filePath(QStringLiteral("MainData.txt")), "");
        store::TemplateStore empty(dir.path());
        store::LoadTemplateList(empty, list);
        QCOMPARE(list.entries, QStringList());
        QVERIFY(QFile::remove(dir.filePath(QStringLiteral("MainData.txt"))));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("MainData.txt")));
        store::TemplateStore folder(dir.path());
        store::LoadTemplateList(folder, list);
        QCOMPARE(list.entries, QStringList());
    }

    void bodiesComeBackAsStored()
    {
        QTemporaryDir dir;
        store::TemplateStore templates(dir.path());
        QCOMPARE(templates.ReadBody(QStringLiteral("Missing")), QString());
        writeBytes(dir.filePath(QStringLiteral("LTM-Two.txt")), "first\r\nsecond \x80\r\n");
        QCOMPARE(templates.ReadBody(QStringLiteral("Two")), QStringLiteral("first\r\nsecond \u20AC\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestTemplateStore)
#include "tst_templatestore.moc"
