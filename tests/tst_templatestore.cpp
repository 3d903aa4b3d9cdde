// Template records and list entries, and Save and start-up as the template
// store does them (the window's tests drive the same through its controls).
#include "store/templaterecord.h"
#include "store/templatestore.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QTest>

#include "support/testfiles.h"

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

// The list as start-up fills it.
struct VectorList final : store::TemplateList
{
    QStringList entries;
    int yields = 0;
    void addEntry(const QString &entry) override { entries.append(entry); }
    void yield() override { ++yields; }
};

QStringList listedFrom(const QString &dir)
{
    store::TemplateStore templates(dir);
    VectorList list;
    store::LoadTemplateList(templates, list);
    return list.entries;
}

} // namespace

class TestTemplateStore : public QObject
{
    Q_OBJECT

private slots:
    // ---- the record line -------------------------------------------------
    void recordLine_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("location");
        QTest::addColumn<int>("mode"); // 1 plain, 2 HTML, 0 neither
        QTest::addColumn<QString>("line");
        const QString middle = QStringLiteral("\t/tmp/a.pdf;/tmp/b.pdf\tcc@example.com\tto@example.com\tbcc@example.com\t");
        QTest::newRow("plain") << "Offer" << "Your offer" << "/tmp/o.html" << 1
                               << "Offer\tYour offer" + middle + "True\tFalse\t/tmp/o.html";
        QTest::newRow("HTML") << "Offer" << "s" << "/tmp/o.html" << 2 << "Offer\ts" + middle + "False\tTrue\t/tmp/o.html";
        QTest::newRow("neither") << "Offer" << "s" << "" << 0 << "Offer\ts" + middle + "False\tFalse\t";
        // TABs become five spaces, except in the HTML path, which keeps them.
        QTest::newRow("TABs") << "A\tB" << "\tS\t" << "C:\\my\tfile.htm" << 1
                              << "A     B\t     S     " + middle + "True\tFalse\tC:\\my\tfile.htm";
        // Only plain spaces are trimmed, from the whole line's ends.
        QTest::newRow("spaces") << "  Offer" << "s" << "/tmp/o.html   " << 1
                                << "Offer\ts" + middle + "True\tFalse\t/tmp/o.html";
        QTest::newRow("no-break spaces") << "\u00A0Offer" << "s" << "o.html\u00A0" << 1
                                         << "\u00A0Offer\ts" + middle + "True\tFalse\to.html\u00A0";
    }

    void recordLine()
    {
        QFETCH(QString, name);
        QFETCH(QString, subject);
        QFETCH(QString, location);
        QFETCH(int, mode);
        QFETCH(QString, line);
        EditorValues e = offer();
        e.name = name;
        e.subjectText = subject;
        e.location = location;
        e.plain = mode == 1;
        e.html = mode == 2;
        QCOMPARE(store::FormatRecordLine(e), line);
        // The entry Save adds is the stored line's entry, but not trimmed.
        const QString entry = store::ListEntryFromEditor(e);
        if (name.startsWith(u' ') || location.endsWith(u' '))
            QVERIFY(entry.startsWith(name + spaces(200)) && entry.endsWith(location));
        else
            QCOMPARE(entry, store::ListEntryFromLine(line).value());
    }

    // While a long list fills, the window handles its events again as soon as
    // the time between yields has passed after the last one, not at every
    // line: no stretch without a yield lasts longer than that time and one
    // line, and a list of quick lines yields far less often than per line.
    void longListsYieldByTime()
    {
        QTemporaryDir dir;
        QByteArray data;
        for (int i = 0; i < 60; ++i)
            data += "Template " + QByteArray::number(i) + "\tsubject\r\n";
        writeBytes(dir.filePath(QStringLiteral("MainData.txt")), data);
        store::TemplateStore templates(dir.path());

        struct SlowList final : store::TemplateList
        {
            QElapsedTimer clock;
            QList<qint64> yieldsAt;
            qint64 longestLine = 0;
            int entries = 0;
            void addEntry(const QString &) override
            {
                const qint64 start = clock.elapsed();
                QThread::msleep(5); // a line that takes a while to list
                longestLine = std::max(longestLine, clock.elapsed() - start);
                ++entries;
            }
            void yield() override { yieldsAt << clock.elapsed(); }
        } list;
        list.clock.start();
        store::LoadTemplateList(templates, list);
        const qint64 end = list.clock.elapsed();
        QCOMPARE(list.entries, 60);
        QVERIFY(!list.yieldsAt.isEmpty() && list.yieldsAt.first() <= list.longestLine);
        list.yieldsAt << end;
        for (qsizetype i = 1; i < list.yieldsAt.size(); ++i) {
            const qint64 gap = list.yieldsAt.at(i) - list.yieldsAt.at(i - 1);
            QVERIFY2(gap <= store::YieldEveryMs + 2 * list.longestLine + 5,
                     qPrintable(QStringLiteral("%1 ms without a yield (lines take up to %2 ms)").arg(gap).arg(list.longestLine)));
        }
        QVERIFY2(list.yieldsAt.size() - 1 <= 60 / 4, qPrintable(QString::number(list.yieldsAt.size() - 1)));
    }

    // ---- list entries and their decoding -----------------------------------
    void entriesFromStoredLines()
    {
        QTemporaryDir dir;
        writeBytes(dir.filePath(QStringLiteral("MainData.txt")),
                   "\r\nOne\ta\r\nno tab\r\n\tunnamed\r\nlone CR\rand LF\n\tin one\r\nTwo\tb\r\nunfinished\tc");
        store::TemplateStore templates(dir.path());
        VectorList list;
        store::LoadTemplateList(templates, list);
        QCOMPARE(list.entries, (QStringList{"One" + spaces(200) + "\ta", spaces(200) + "\tunnamed",
                                            "lone CR\rand LF\n" + spaces(200) + "\tin one", "Two" + spaces(200) + "\tb"}));
        QCOMPARE(list.yields, 1); // before the first line; the rest takes less than the time between yields
        // The unnamed template's body file is "LTM-.txt".
        writeBytes(dir.filePath(QStringLiteral("LTM-.txt")), "nameless\r\n");
        QCOMPARE(templates.ReadBody(store::DecodeListEntry(list.entries.at(1)).name), QStringLiteral("nameless\r\n"));
    }

    void decodingGivesBackEveryField()
    {
        EditorValues e = offer();
        e.plain = false;
        e.html = true;
        const store::ShownTemplate shown = store::DecodeListEntry(store::ListEntryFromEditor(e));
        const QStringList fields = {shown.name, shown.subject, shown.attachments, shown.cc, shown.to, shown.bcc,
                                    shown.htmlLocation};
        QCOMPARE(fields, (QStringList{e.name, e.subjectText, e.attachmentPaths, e.ccText, e.toText, e.bccText,
                                      e.location}));
        QCOMPARE(shown.plainFlag, std::optional<bool>(false));
        QCOMPARE(shown.htmlFlag, std::optional<bool>(true));
        // Fields that are missing decode empty, flags unset.
        const store::ShownTemplate short_ = store::DecodeListEntry("N" + spaces(200) + "\tS\tA");
        QCOMPARE(short_.attachments, QStringLiteral("A"));
        QVERIFY(short_.to.isEmpty() && short_.htmlLocation.isEmpty() && !short_.plainFlag && !short_.htmlFlag);
    }

    void decodingRemovesSpacesInRunsOfOneHundred_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("subject");
        QTest::newRow("name ending in a space") << "Offer " + spaces(200) + "\tS" << "Offer " << "S";
        QTest::newRow("run of 250 keeps 50") << "N" + spaces(200) + "\ta" + spaces(250) + "b" << "N"
                                             << "a" + spaces(50) + "b";
        QTest::newRow("99 spaces stay") << "N" + spaces(200) + "\t" + spaces(99) << "N" << spaces(99);
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

    void flagsReadAsTruthValues_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("value"); // -1: unreadable
        QTest::newRow("true") << "true" << 1;
        QTest::newRow("FALSE") << "FALSE" << 0;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("decimal") << "0.5" << 1;
        QTest::newRow("padded") << " -1 " << 1;
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
        const QString folder = dir.filePath(QStringLiteral("not/yet/there"));
        store::TemplateStore templates(folder);
        EditorValues e = offer();
        e.subjectText = QStringLiteral("\u201CSpecial\u201D \u2013 \u20AC10");
        e.bodyText = QStringLiteral("  Dear client,\r\n\tthank you.  ");
        const SaveOutcome outcome = templates.SaveTemplate(e);
        QCOMPARE(outcome.status, SaveOutcome::Status::Saved);
        QVERIFY(outcome.message.isEmpty());
        QCOMPARE(outcome.listEntry, store::ListEntryFromEditor(e));
        QCOMPARE(QDir(folder).entryList(QDir::Files), (QStringList{"LTM-Offer.txt", "MainData.txt"}));
        QCOMPARE(contentsOf(QDir(folder).filePath(QStringLiteral("LTM-Offer.txt"))),
                 QByteArray("Dear client,\r\n\tthank you.\r\n"));
        QCOMPARE(contentsOf(QDir(folder).filePath(QStringLiteral("MainData.txt"))),
                 QByteArray("Offer\t\x93Special\x94 \x96 \x80" "10\t/tmp/a.pdf;/tmp/b.pdf\tcc@example.com\t"
                            "to@example.com\tbcc@example.com\tTrue\tFalse\t/tmp/offer.html\r\n"));
    }

    void theBodyFileKeepsTheNameAsTyped()
    {
        QTemporaryDir dir;
        store::TemplateStore templates(dir.path());
        EditorValues e = offer();
        e.name = QStringLiteral("  Offer");
        const SaveOutcome outcome = templates.SaveTemplate(e);
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("LTM-  Offer.txt"))));
        // The entry made now keeps the spaces and finds the body; the one made
        // from the stored line at the next start does not.
        QCOMPARE(templates.ReadBody(store::DecodeListEntry(outcome.listEntry).name),
                 QStringLiteral("Dear client,\r\nthank you.\r\n"));
        const QString restored = store::DecodeListEntry(listedFrom(dir.path()).value(0)).name;
        QCOMPARE(restored, QStringLiteral("Offer"));
        QCOMPARE(store::TemplateStore(dir.path()).ReadBody(restored), QString());
    }

    void refusedTemplatesWriteNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << "" << "" << "Please Enter a Template Name";
        QTest::newRow("spaces only") << "   " << "" << "Please Enter a Template Name";
        QTest::newRow("-Q-") << "My-Q-offer" << "" << "Template Name can not contain the text -Q-";
        // One character of the set a file name cannot hold stands for all.
        QTest::newRow("slash") << "../evil" << "" << "Template Name can not contain the character /";
        QTest::newRow("tab") << "a\tb" << "" << "Template Name can not contain a control character";
        QTest::newRow("delete") << "a\x7F" << "" << "Template Name can not contain a control character";
        QTest::newRow("dot dot") << ".." << "" << "Template Name can not be . or ..";
        QTest::newRow("outside Windows-1252") << "Offer \u03A9" << "" << "Template Name can not contain the character \u03A9";
        QTest::newRow("To outside Windows-1252") << "Offer" << "\u0416@example.com" << "To can not contain the character \u0416";
        QTest::newRow("emoji in To") << "Offer" << "\U0001F600" << "To can not contain the character \U0001F600";
    }

    void refusedTemplatesWriteNothing()
    {
        QFETCH(QString, name);
        QFETCH(QString, to);
        QFETCH(QString, message);
        QTemporaryDir dir;
        store::TemplateStore templates(dir.path());
        EditorValues e = offer();
        e.name = name;
        e.toText = to;
        const SaveOutcome outcome = templates.SaveTemplate(e);
        QCOMPARE(outcome.status, SaveOutcome::Status::Refused);
        QCOMPARE(outcome.message, message);
        QVERIFY(!outcome.addsEntry);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }

    void namesThatAFileNameCanHoldAreSaved()
    {
        QTemporaryDir dir;
        store::TemplateStore templates(dir.path());
        for (const QString &name : {QStringLiteral("My-q-offer"), QStringLiteral("Caf\u00E9 \u20AC"), QStringLiteral("..."),
                                    QStringLiteral(".hidden")}) {
            EditorValues e = offer();
            e.name = name;
            QCOMPARE(templates.SaveTemplate(e).status, SaveOutcome::Status::Saved);
            QVERIFY2(QFile::exists(dir.filePath(QStringLiteral("LTM-") + name + QStringLiteral(".txt"))), qPrintable(name));
        }
        QCOMPARE(listedFrom(dir.path()).size(), 4);
    }

    void filesAreFoundWhateverTheirLetterCase()
    {
        QTemporaryDir dir;
        writeBytes(dir.filePath(QStringLiteral("maindata.txt")), "Offer\tOld\r\n");
        writeBytes(dir.filePath(QStringLiteral("ltm-offer.txt")), "old body\r\n");
        store::TemplateStore templates(dir.path());
        QCOMPARE(templates.ReadBody(QStringLiteral("Offer")), QStringLiteral("old body\r\n"));
        EditorValues e = offer();
        e.name = QStringLiteral("OFFER");
        e.bodyText = QStringLiteral("new body");
        QVERIFY(templates.Contains(e.name));
        QCOMPARE(templates.ReplaceTemplate(e).status, store::ChangeOutcome::Status::Done);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), (QStringList{"ltm-offer.txt", "maindata.txt"}));
        QCOMPARE(contentsOf(dir.filePath(QStringLiteral("ltm-offer.txt"))), QByteArray("new body\r\n"));
        QCOMPARE(listedFrom(dir.path()).size(), 1);
        // A stored template whose body file has gone gets one again.
        QVERIFY(QFile::remove(dir.filePath(QStringLiteral("ltm-offer.txt"))));
        QCOMPARE(templates.ReplaceTemplate(e).status, store::ChangeOutcome::Status::Done);
        QCOMPARE(contentsOf(dir.filePath(QStringLiteral("LTM-OFFER.txt"))), QByteArray("new body\r\n"));
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
        QCOMPARE(templates.SaveTemplate(offer()).status, SaveOutcome::Status::Saved);
        QVERIFY(QFile::exists(QDir(folder).filePath(QStringLiteral("MainData.txt"))));
        QDir(folder).removeRecursively();
    }

    void aFolderThatCannotBeMadeIsReported()
    {
        QTemporaryDir dir;
        writeBytes(dir.filePath(QStringLiteral("file")), "x");
        store::TemplateStore blocked(dir.filePath(QStringLiteral("file")));
        const SaveOutcome outcome = blocked.SaveTemplate(offer());
        QCOMPARE(outcome.status, SaveOutcome::Status::Failed);
        QVERIFY2(outcome.message.contains(QLatin1String("cannot be created")), qPrintable(outcome.message));
    }

    // Another running copy appends; this one still knows every name.
    void storedNamesFollowTheFile()
    {
        QTemporaryDir dir;
        store::TemplateStore mine(dir.path()), theirs(dir.path());
        QVERIFY(!mine.Contains(QStringLiteral("Offer")));
        QCOMPARE(theirs.SaveTemplate(offer()).status, SaveOutcome::Status::Saved);
        QVERIFY(mine.Contains(QStringLiteral("  offer")));
        // A file put in the place of the one read, even a longer one, is read anew.
        QCOMPARE(theirs.RenameTemplate(QStringLiteral("Offer"), QStringLiteral("Offer with a much longer name")).status,
                 store::ChangeOutcome::Status::Done);
        QVERIFY(!mine.Contains(QStringLiteral("Offer")));
        QVERIFY(mine.Contains(QStringLiteral("Offer with a much longer name")));
        QCOMPARE(theirs.DeleteTemplate(QStringLiteral("Offer with a much longer name")).status,
                 store::ChangeOutcome::Status::Done);
        QVERIFY(!mine.Contains(QStringLiteral("Offer with a much longer name")));
    }
};

QTEST_GUILESS_MAIN(TestTemplateStore)
#include "tst_templatestore.moc"
