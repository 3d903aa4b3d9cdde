// One template for every row of a table: CSV files as spreadsheets and
// Python's csv module write them; LibreOffice's table of 20 customers
// through the stand-in mail programs and as drafts, and from the window's
// list menu, each message with its row's values as Python reads the table.
#include "compose/tablelaunch.h"
#include "support/testdata.h"
#include "support/testfiles.h"
#include "support/windowtest.h"
#ifndef Q_OS_WIN
#include "app/answers.h"
#include "support/mailprograms_unix.h"
#endif

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>

class TestTableLaunch : public testsupport::WindowTest
#ifndef Q_OS_WIN
    , private mailtesting::MailClientFixture
#endif
{
    Q_OBJECT

    static void addCases(const QString &folder)
    {
        for (const QFileInfo &csv : QDir(folder).entryInfoList({"*.csv"}, QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(csv.completeBaseName())) << csv.absoluteFilePath();
    }

#ifndef Q_OS_WIN
    QTemporaryDir m_random;
    store::EditorValues m_offer;

    void prepareTest() override
    {
        reset();
        m_offer.toText = "{{?Email}}";
        m_offer.subjectText = "Offer for {{?Customer}}";
        m_offer.bodyText = "Dear {{?Customer}},\r\nyour price: {{?Price}}\r\n";
        m_offer.attachmentPaths = "{{?File}}";
        for (int i = 1; i <= 20; ++i)
            testfiles::writeFile(QString("%1/offers/offer-%2.txt").arg(dataFolder()).arg(i, 2, 10, QChar('0')), "o");
    }
#endif

private slots:
    // Each file of tests/data/csv (LibreOffice's, on Linux, as Python's csv
    // module reads them), and random tables that Python's csv module writes
    // (LETTERLOOM_SEED replays a seed), read as its .json says.
    void readsTables_data()
    {
        QTest::addColumn<QString>("file");
        addCases(testdata::dataDir() + "/csv/cases");
#ifndef Q_OS_WIN
        addCases(testdata::dataDir() + "/csv/libreoffice");
        const QString seed = QString::number(testdata::seed(QRandomGenerator::global()->bounded(1 << 30)));
        QProcess::execute("python3", {qEnvironmentVariable("LETTERLOOM_SOURCE_DIR") + "/tests/standins/csv_tables.py",
                                      seed, "60", m_random.path()});
        addCases(m_random.path());
#endif
    }
    void readsTables()
    {
        QFETCH(QString, file);
        const QJsonObject expected = QJsonDocument::fromJson(testfiles::contentsOf(file.chopped(4) + ".json")).object();
        const QStringList questions = expected["questions"].toVariant().toStringList();
        const substitute::AnswerTable table = substitute::ReadAnswerFile(file, questions);
        const QString error = expected["error"].toString();
        QCOMPARE(table.error, error.isEmpty() ? error : "\"" + QDir::toNativeSeparators(file) + "\": " + error);
        QJsonArray rows;
        for (const substitute::AnswerTable::Row &row : table.rows) {
            QStringList answers;
            for (const QString &question : questions)
                answers << row.answers.value(question);
            rows.append(QJsonArray{row.number, QJsonArray::fromStringList(answers)});
        }
        QCOMPARE(rows, expected["rows"].toArray());
        QCOMPARE(table.ignored, expected["ignored"].toVariant().toStringList());
    }

#ifndef Q_OS_WIN
    // LibreOffice's 20 customers (UTF-8 with ",", Windows-1252 with ";"), one
    // message each in every mail program, read by its own argument rules, or
    // one draft each, read by Python's email package; from the window's list
    // menu too, where the answers are not remembered. A row whose attachment
    // is missing fails, and the rows after it are not opened.
    void launchesEveryRow_data() { testdata::addRows(QStringLiteral("each-row")); }
    void launchesEveryRow()
    {
        QFETCH(QString, client);
        QFETCH(QString, file);
        QFETCH(QString, missingRow);
        const int missing = missingRow.toInt();
        file = testdata::dataDir() + "/csv/libreoffice/" + file;
        // The rows as Python's csv module reads them (beside the table): Email, Customer, Price, File.
        const QJsonArray rows = QJsonDocument::fromJson(testfiles::contentsOf(file.chopped(4) + ".json"))["rows"].toArray();
        QCOMPARE(rows.size(), 20);
        const auto answers = [&rows](int i) { return rows[i][1].toVariant().toStringList(); };
        if (missing)
            QVERIFY(QFile::remove(dataFolder() + "/" + answers(missing - 1)[3]));
        const bool drafts = client == "drafts", window = client == "window";
        setMailProgram(window ? client = "thunderbird" : client);
        const int done = missing ? missing - 1 : 20;
        const QString failure = !missing ? QString()
                                         : "The messages of rows 2 to 8 were opened. Row 9 failed: The attachment \""
                                               + dataFolder() + "/" + answers(missing - 1)[3] + "\" cannot be attached: there is no "
                                               "such file. Nothing was done for the rows after it, up to row 21.";
        compose::TableOutcome outcome;
        if (window) {
            writeData(recordLine({"Offer", m_offer.subjectText, m_offer.attachmentPaths, "", m_offer.toText, "",
                                  "True", "False", ""}));
            testfiles::writeFile(path("LTM-Offer.txt"), m_offer.bodyText.toUtf8() + "\r\n"); // as Save writes it
            desktopMailClient = true;
            mailSetup = m_setup;
            Form1 *w = openWindow();
            dialogs.fileAnswers << file << path("LTM-Offer.txt");
            dialogs.answers << true;
            chooseFromContextMenu(w, 0, "LaunchForEachRowM");
            QCOMPARE(dialogs.questions, QStringList{"Open 20 messages in Thunderbird?\n\nNo question asks for the "
                                                    "columns \"ID\", \"Notes\": they are left out."});
            QCOMPARE(messages(), QStringList{failure});
            QCOMPARE(rememberedAnswers(settings, "Offer"), (QMap<QString, QString>()));
            chooseFromContextMenu(w, 0, "LaunchForEachRowM"); // a bad table opens nothing
            QCOMPARE(messages().last(), QString{"\"" + path("LTM-Offer.txt") + "\": Row 1 names no column for \"Email\", "
                                             "\"Customer\", \"Price\", \"File\", which the template asks."});
        } else {
            const substitute::AnswerTable table =
                substitute::ReadAnswerFile(file, compose::TemplateQuestions(m_offer, dataFolder()));
            QCOMPARE(table.ignored, QStringList({"ID", "Notes"}));
            FakePairs pairs;
            outcome = compose::LaunchEachRow(m_offer, pairs,
                                             drafts ? compose::draftFiles(m_setup) : compose::desktopMailClients(m_setup),
                                             table, {}, dataFolder(), drafts);
            QCOMPARE(outcome.failure, failure);
        }
        QJsonArray handed;
        for (const QString &notice : outcome.notices)
            handed.append(QJsonObject{{"kind", "draft"}, {"path", notice.section('"', 1, 1)}});
        for (const QStringList &run : std::as_const(m_desktop.runs))
            handed.append(mailtesting::handedItem(client, run.mid(1)));
        QCOMPARE(handed.size(), done);
        for (int i = 0; i < done; ++i) {
            const QStringList row = answers(i);
            const QString attached = drafts ? QFileInfo(row[3]).fileName() : dataFolder() + "/" + row[3];
            QJsonObject expected{{"to", QJsonArray{QJsonArray{"", row[0]}}}, {"subject", "Offer for " + row[1]},
                                 {"body", "Dear " + row[1] + ",\nyour price: " + row[2] + "\n"}, {"attach", QJsonArray{attached}}};
            if (client == "thunderbird")
                expected["format"] = "text";
            QJsonObject item = handed[i].toObject();
            item["case"] = QString("row %1").arg(i + 2);
            item["expected"] = expected;
            handed[i] = item;
        }
        QStringList read = QVariant(mailtesting::readByPython({"check"}, handed).toVariantList()).toStringList();
        QCOMPARE(read.size(), done);
        read.removeAll(QString());
        QVERIFY2(read.isEmpty(), qPrintable(read.join("\n\n")));
    }
#endif
};

QTEST_MAIN(TestTableLaunch)
#include "tst_tablelaunch.moc"
