// Template records and list entries, the rule for names, and what the
// store's files hold; what the store's commands do to a folder is the model
// test's (tst_storemodel), what the window does with them the window tests'.
#include "store/names.h"
#include "store/templaterecord.h"
#include "store/templatestore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTest>

#include "support/testfiles.h"

using store::EditorValues;
using Status = store::Outcome::Status;

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

store::Outcome save(store::TemplateStore &templates, const EditorValues &editor)
{
    return templates.Save(editor, templates.PlanSave(editor, store::ShownVersion()));
}

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
        // The list entry gives the line back.
        QCOMPARE(store::LineTextOfEntry(store::ListEntryFromLine(line).value()), line);
    }

    // While a long list fills, the window handles its events again once
    // 50 ms have passed since the last time, not at every line: no stretch
    // without a yield lasts longer than that and one line, and a list of
    // quick lines yields far less often than per line.
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
        QCOMPARE(list.entries, 60);
        const QList<qint64> yields = QList<qint64>{0} + list.yieldsAt + QList<qint64>{list.clock.elapsed()};
        for (qsizetype i = 1; i < yields.size(); ++i) {
            const qint64 gap = yields.at(i) - yields.at(i - 1);
            QVERIFY2(gap <= 50 + 2 * list.longestLine + 10,
                     qPrintable(QStringLiteral("%1 ms without a yield (lines take up to %2 ms)")
                                    .arg(gap)
                                    .arg(list.longestLine)));
        }
        QVERIFY2(list.yieldsAt.size() <= 60 / 4, qPrintable(QString::number(list.yieldsAt.size())));
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
        // LF ends a line as CR LF does; a lone CR ends none.
        QCOMPARE(list.entries, (QStringList{"One" + spaces(200) + "\ta", spaces(200) + "\tunnamed",
                                            spaces(200) + "\tin one", "Two" + spaces(200) + "\tb"}));
        // The unnamed template's body file is "LTM-.txt".
        writeBytes(dir.filePath(QStringLiteral("LTM-.txt")), "nameless\r\n");
        QCOMPARE(templates.ReadBody(store::DecodeListEntry(list.entries.at(1)).name), QStringLiteral("nameless"));
    }

    void decodingGivesBackEveryField()
    {
        EditorValues e = offer();
        e.plain = false;
        e.html = true;
        const store::ShownTemplate shown = store::DecodeListEntry(*store::ListEntryFromLine(store::FormatRecordLine(e)));
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

    // ---- names and files -------------------------------------------------
    void aSavedTemplateIsInItsFilesByteForByte()
    {
        QTemporaryDir dir;
        store::TemplateStore templates(dir.path());
        EditorValues e = offer();
        e.name = QStringLiteral("  Offer ");
        e.subjectText = QStringLiteral("\u201CSpecial\u201D \u2013 \u20AC10");
        e.bodyText = QStringLiteral("  Dear client,\r\n\tthank you.  ");
        QCOMPARE(save(templates, e).status, Status::Done);
        // The name without its spaces, in the data file, the body file's name
        // and the list; Windows-1252 where every character fits.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), (QStringList{"LTM-Offer.txt", "MainData.txt"}));
        QCOMPARE(contentsOf(dir.filePath(QStringLiteral("LTM-Offer.txt"))), QByteArray("Dear client,\r\n\tthank you.\r\n"));
        QCOMPARE(contentsOf(dir.filePath(QStringLiteral("MainData.txt"))),
                 QByteArray("Offer\t\x93Special\x94 \x96 \x80" "10\t/tmp/a.pdf;/tmp/b.pdf\tcc@example.com\t"
                            "to@example.com\tbcc@example.com\tTrue\tFalse\t/tmp/offer.html\r\n"));
        QCOMPARE(store::DecodeListEntry(listedFrom(dir.path()).value(0)).name, QStringLiteral("Offer"));
        // Beyond Windows-1252: the line in UTF-8, the body with its mark.
        e.name = QStringLiteral("\u0141\u00f3d\u017a");
        e.bodyText = QStringLiteral("\u0416 \U0001F600");
        QCOMPARE(save(templates, e).status, Status::Done);
        QCOMPARE(contentsOf(dir.filePath(QStringLiteral("LTM-\u0141\u00f3d\u017a.txt"))),
                 QByteArray("\xEF\xBB\xBF") + QStringLiteral("\u0416 \U0001F600\r\n").toUtf8());
        QVERIFY(contentsOf(dir.filePath(QStringLiteral("MainData.txt")))
                    .endsWith(QStringLiteral("\u0141\u00f3d\u017a\t\u201CSpecial\u201D").toUtf8() + " \xE2\x80\x93 \xE2\x82\xAC"
                              "10\t/tmp/a.pdf;/tmp/b.pdf\tcc@example.com\tto@example.com\tbcc@example.com\tTrue\tFalse\t"
                              "/tmp/offer.html\r\n"));
        QCOMPARE(templates.ReadBody(QStringLiteral("\u0141\u00d3D\u0179")), QStringLiteral("\u0416 \U0001F600"));
    }

    void namesAreOneTemplateAsWindowsComparesFileNames_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("letter case") << "Offer" << "OFFER" << true;
        QTest::newRow("spaces at the ends") << "  Offer" << "Offer " << true;
        QTest::newRow("a space inside") << "Our Offer" << "OurOffer" << false;
        QTest::newRow("sharp s is not ss") << "Stra\u00dfe" << "STRASSE" << false;
        QTest::newRow("Polish") << "\u0141\u00f3d\u017a" << "\u0142\u00d3D\u0179" << true;
        QTest::newRow("Greek final sigma") << "\u03a3\u03bf\u03c2" << "\u03a3\u039f\u03a3" << true;
        QTest::newRow("Cyrillic") << "\u0416" << "\u0436" << true;
        QTest::newRow("beyond the first plane") << "\U00010428" << "\U00010400" << false;
    }

    void namesAreOneTemplateAsWindowsComparesFileNames()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, same);
        QCOMPARE(store::NameKey(a) == store::NameKey(b), same);
        QCOMPARE(store::BodyKeyOfFileName(store::BodyFileName(a)) == store::NameKey(b), same);
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
        QTest::newRow("slash") << "../evil" << ""
                               << "Template Name can not contain the character /, because the name is part of the name "
                                  "of the template's file";
        QTest::newRow("tab") << "a\tb" << ""
                             << "Template Name can not contain a control character, because the name is part of the "
                                "name of the template's file";
        QTest::newRow("dot dot") << ".." << "" << "Template Name can not be . or ..";
        QTest::newRow("too long for a file name") << QString(100, u'\u00e9') + QString(100, u'a') << ""
                                                  << "Template Name is too long, because the name is part of the name of "
                                                     "the template's file; shorten it";
        QTest::newRow("a line break in To") << "Offer" << "a@example.com\nb@example.com" << "To can not contain a line break";
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
        const store::Outcome outcome = save(templates, e);
        QCOMPARE(outcome.status, Status::Refused);
        QCOMPARE(outcome.message, message);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }

    void namesThatAFileNameCanHoldAreSaved()
    {
        QTemporaryDir dir;
        store::TemplateStore templates(dir.path());
        for (const QString &name : {QStringLiteral("My-q-offer"), QStringLiteral("Caf\u00E9 \u20AC"), QStringLiteral("..."),
                                    QStringLiteral(".hidden"), QStringLiteral("\u65e5\u672c \U0001F600")}) {
            EditorValues e = offer();
            e.name = name;
            QCOMPARE(save(templates, e).status, Status::Done);
            QVERIFY2(QFile::exists(dir.filePath(QStringLiteral("LTM-") + name + QStringLiteral(".txt"))), qPrintable(name));
        }
        QCOMPARE(listedFrom(dir.path()).size(), 5);
    }

    void filesOfEarlierVersionsAreFound()
    {
        QTemporaryDir dir;
        writeBytes(dir.filePath(QStringLiteral("maindata.txt")), "Offer\tOld\r\nReminder\tR\r\n");
        writeBytes(dir.filePath(QStringLiteral("ltm-offer.txt")), "old body\r\n");
        writeBytes(dir.filePath(QStringLiteral("LTM-  Reminder.txt")), "reminder body\r\n");
        store::TemplateStore templates(dir.path());
        QCOMPARE(templates.ReadBody(QStringLiteral("Offer")), QStringLiteral("old body"));
        QCOMPARE(templates.ReadBody(QStringLiteral("Reminder")), QStringLiteral("reminder body"));
        // Replaced under another letter case: the one file keeps its name,
        // as it is that one file on Windows.
        EditorValues e = offer();
        e.name = QStringLiteral("OFFER");
        e.bodyText = QStringLiteral("new body");
        QCOMPARE(save(templates, e).status, Status::Done);
        QCOMPARE(contentsOf(dir.filePath(QStringLiteral("ltm-offer.txt"))), QByteArray("new body\r\n"));
        // Replaced, the body under the untrimmed name takes the name of the rule.
        e.name = QStringLiteral("Reminder");
        QCOMPARE(save(templates, e).status, Status::Done);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 (QStringList{"ltm-offer.txt", "LTM-Reminder.txt", "maindata.txt"}));
        QCOMPARE(listedFrom(dir.path()).size(), 2);
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
        QCOMPARE(save(templates, offer()).status, Status::Done);
        QVERIFY(QFile::exists(QDir(folder).filePath(QStringLiteral("MainData.txt"))));
        QDir(folder).removeRecursively();
    }

    void aChosenFolderThatIsNotThereIsNeverMade()
    {
        // A folder on a network share that is not connected: no local
        // folder takes its place.
        QTemporaryDir dir;
        const QString share = dir.filePath(QStringLiteral("share/templates"));
        store::TemplateStore templates(share);
        QVERIFY(!templates.folderIsThere());
        const store::Outcome outcome = save(templates, offer());
        QCOMPARE(outcome.status, Status::Failed);
        QVERIFY2(outcome.message.contains(QLatin1String("cannot be reached")), qPrintable(outcome.message));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("share"))));
    }

    // Deleted templates are kept in the folder itself, never in a desktop's
    // trash; when that cannot be, Delete says why at once and keeps all.
    void aPlaceForDeletedTemplatesThatCannotBeMadeLosesNothing()
    {
        QTemporaryDir dir;
        store::TemplateStore templates(dir.path());
        QCOMPARE(save(templates, offer()).status, Status::Done);
        writeBytes(dir.filePath(QStringLiteral("Deleted")), "a file where the folder would be");
        const QByteArray data = contentsOf(dir.filePath(QStringLiteral("MainData.txt")));
        const QString entry = listedFrom(dir.path()).value(0);
        const store::Outcome outcome = templates.Delete(templates.PlanDelete({store::LineTextOfEntry(entry), 0}));
        QCOMPARE(outcome.status, Status::Failed);
        QVERIFY2(outcome.message.contains(QLatin1String("Deleted")), qPrintable(outcome.message));
        QCOMPARE(contentsOf(dir.filePath(QStringLiteral("MainData.txt"))), data);
        QCOMPARE(contentsOf(dir.filePath(QStringLiteral("LTM-Offer.txt"))), QByteArray("Dear client,\r\nthank you.\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{"Deleted", "LTM-Offer.txt", "MainData.txt"}));
    }

    // Another running copy appends, renames and deletes; Save still tells a
    // new name from a stored one.
    void storedNamesFollowTheFile()
    {
        QTemporaryDir dir;
        store::TemplateStore mine(dir.path()), theirs(dir.path());
        const auto kind = [&mine](const QString &name) {
            EditorValues e = offer();
            e.name = name;
            e.subjectText = QStringLiteral("another subject");
            return mine.PlanSave(e, store::ShownVersion()).kind;
        };
        QCOMPARE(kind(QStringLiteral("Offer")), store::SavePlan::Kind::New);
        QCOMPARE(save(theirs, offer()).status, Status::Done);
        QCOMPARE(kind(QStringLiteral("  offer")), store::SavePlan::Kind::Replace);
        // A file put in the place of the one read, even a longer one, is read anew.
        const QString entry = listedFrom(dir.path()).value(0);
        const store::EntryRef ref{store::LineTextOfEntry(entry), 0};
        QCOMPARE(theirs.Rename(theirs.PlanRename(ref, QStringLiteral("Offer with a much longer name"))).status,
                 Status::Done);
        QCOMPARE(kind(QStringLiteral("Offer")), store::SavePlan::Kind::New);
        QCOMPARE(kind(QStringLiteral("Offer with a much longer name")), store::SavePlan::Kind::Replace);
    }
};

QTEST_GUILESS_MAIN(TestTemplateStore)
#include "tst_templatestore.moc"
