// Every route a message can take on Linux, fed random messages: addresses
// separated as people type them (",", ";", both, display names quoted or
// not, with commas, semicolons and letters of any script), subjects and
// bodies in any script. What each mail program received is read back by
// that program's own argument rules and by Python's parsers (urllib for
// mailto: addresses, email.utils for address lists, the email package for
// drafts), and must be the message as written. Then the HTML routes: an
// HTML message for a program that cannot take HTML.
#include "support/mailprograms_unix.h"
#include "support/recordingmailclient.h"
#include "support/testdata.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QUrl>

using namespace mailtesting;

namespace {

// A recipient as Python reads it: [display name, address].
using Person = std::pair<QString, QString>;

struct Written
{
    QMap<QString, QList<Person>> addresses; // "to", "cc", "bcc"
    store::EditorValues editor;
};

QString pick(QRandomGenerator &random, const QStringList &from)
{
    return from.at(random.bounded(static_cast<int>(from.size())));
}

// Text of any script: Polish, Cyrillic, Greek, CJK, Arabic, emoji (outside
// the 16-bit range), combining marks, and ASCII that means something to
// URLs, command lines and headers.
QString anyText(QRandomGenerator &random, int words)
{
    static const QStringList pool{
        "Za\u017c\u00f3\u0142\u0107", "g\u0119\u015bl\u0105", "\u041f\u0440\u0438\u0432\u0435\u0442",
        "\u0436\u0451\u043b\u0442\u044b\u0439", "\u03ba\u03cc\u03c3\u03bc\u03b5", "\u4e2d\u6587",
        "\u0645\u0631\u062d\u0628\u0627", "\U0001F600", "\U0001F468\u200D\U0001F469\u200D\U0001F467",
        "e\u0301t\u00e9", "\u20ac5", "100%", "a+b", "&x=1", "?q", "#f", "=?utf-8?q?x?=", "\"q\"", "'s'", "-c",
        "--bcc=x@y", "semi;colon", "com,ma", "<a@b>", "word", "\t", "\u00a0"};
    QStringList chosen;
    for (int i = 0; i < words; ++i)
        chosen << pick(random, pool);
    return chosen.join(u' ');
}

// A recipient and how a user might type it; the name may hold anything
// inside quotes, and, typed without quotes, commas and semicolons (a piece
// without "@" belongs to the next).
std::pair<Person, QString> anyRecipient(QRandomGenerator &random)
{
    static const QStringList names{"Doe, John", "Zo\u00eb", "\u0141ukasz Kowalski", "\u0418\u0432\u0430\u043d "
                                   "\u041f\u0435\u0442\u0440\u043e\u0432", "\U0001F600 Smile", "O'Brien; Pat",
                                   "Smith Jr.", "M\u00fcller-L\u00fcdenscheidt", "\u674e\u660e", "a \"quoted\" word",
                                   "back\\slash", "at@sign", "Kowalski, \u0141ukasz; Jr", "Team"};
    static const QStringList addresses{"alice@example.com", "bob.smith@example.org", "o'neil@example.ie",
                                       "a+tag@example.net", "x_y-z@sub.example.co.uk"};
    const QString address = pick(random, addresses);
    switch (random.bounded(4)) {
    case 0:
        return {{QString(), address}, address};
    case 1:
        return {{QString(), address}, "<" + address + ">"};
    default: {
        const QString name = pick(random, names);
        const bool bare = random.bounded(2) == 0 && !name.contains(u'"') && !name.contains(u'\\')
                          && !name.contains(u'@');
        if (bare)
            return {{name, address}, name + " <" + address + ">"};
        QString quoted = name;
        quoted.replace("\\", "\\\\").replace("\"", "\\\"");
        return {{name, address}, "\"" + quoted + "\" <" + address + ">"};
    }
    }
}

Written anyMessage(QRandomGenerator &random)
{
    static const QStringList separators{",", ";", ", ", "; ", " ; ", " ,", ";,", ",,", ";  ;"};
    Written written;
    QString *boxes[] = {&written.editor.toText, &written.editor.ccText, &written.editor.bccText};
    const char *keys[] = {"to", "cc", "bcc"};
    for (int field = 0; field < 3; ++field) {
        QStringList typed;
        const int count = random.bounded(field == 0 ? 1 : 0, 4);
        for (int i = 0; i < count; ++i) {
            const auto [person, text] = anyRecipient(random);
            written.addresses[keys[field]] << person;
            typed << text;
        }
        for (int i = 0; i < typed.size(); ++i)
            *boxes[field] += (i > 0 ? pick(random, separators) : QString()) + typed.at(i);
        if (!typed.isEmpty() && random.bounded(4) == 0)
            *boxes[field] += pick(random, separators); // a separator left at the end
    }
    written.editor.subjectText = anyText(random, random.bounded(1, 20));
    for (int line = random.bounded(1, 5); line > 0; --line)
        written.editor.bodyText += anyText(random, random.bounded(0, 12)) + "\r\n";
    return written;
}

QString lf(QString text)
{
    return text.replace("\r\n", "\n");
}

QJsonArray peopleJson(const QList<Person> &people)
{
    QJsonArray array;
    for (const auto &[name, address] : people)
        array.append(QJsonArray{name, address});
    return array;
}

// Python's reading of what the programs were handed, item by item.
QJsonArray readByPython(const QJsonArray &items)
{
    QProcess python;
    python.start("python3", {qEnvironmentVariable("LETTERLOOM_SOURCE_DIR") + "/tests/standins/read_messages.py"});
    python.write(QJsonDocument(items).toJson());
    python.closeWriteChannel();
    if (!python.waitForFinished(60000) || python.exitCode() != 0)
        qWarning("%s", python.readAllStandardError().constData());
    return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
}

// An HTML letter with pictures, as a mail program's editor saves it.
const QString letters = testdata::dataDir() + "/html-letter/";

} // namespace

class TestMessageRoutes : public QObject, private MailClientFixture
{
    Q_OBJECT

private slots:
    void init() { reset(); }

    // Random messages through every route, from a fixed seed so that a run
    // repeats exactly; LETTERLOOM_SEED gives another for a run by hand.
    void randomMessagesArriveAsWritten()
    {
        QRandomGenerator random(quint32(testdata::seed(20261207)));
        const QStringList routes{"thunderbird", "evolution", "claws-mail", "sylpheed",
                                 "kmail",       "geary",     "other",      "draft"};
        QJsonArray handed, expected;
        QStringList cases;
        for (int round = 0; round < 6; ++round) {
            for (const QString &route : routes) {
                const Written written = anyMessage(random);
                store::EditorValues editor = written.editor;
                setMailProgram(route == "draft" ? QString() : route);
                const compose::LaunchOutcome outcome = launch(editor);
                QVERIFY2(outcome.displayed, qPrintable(outcome.message));
                handed.append(whatWasHanded(route));
                QJsonObject message;
                for (auto it = written.addresses.begin(); it != written.addresses.end(); ++it) {
                    if (!it.value().isEmpty())
                        message[it.key()] = peopleJson(it.value());
                }
                message["subject"] = editor.subjectText;
                message["body"] = lf(editor.bodyText); // a text's line ends, as every route gives them
                expected.append(message);
                cases << QString("%1: To [%2] Cc [%3] Bcc [%4]").arg(route, editor.toText, editor.ccText, editor.bccText);
                QFile::remove(record());
            }
        }
        const QJsonArray read = readByPython(handed);
        QCOMPARE(read.size(), expected.size());
        for (qsizetype i = 0; i < read.size(); ++i) {
            QJsonObject got = read.at(i).toObject();
            if (got.contains("defects")) {
                QCOMPARE(got.take("defects").toArray(), QJsonArray());
            }
            for (const char *key : {"to", "cc", "bcc"}) {
                if (got.value(key).toArray().isEmpty())
                    got.remove(key);
            }
            if (got != expected.at(i).toObject())
                QFAIL(qPrintable(cases.at(i) + "\nreceived: " + QJsonDocument(got).toJson(QJsonDocument::Compact)
                                 + "\nwritten:  "
                                 + QJsonDocument(expected.at(i).toObject()).toJson(QJsonDocument::Compact)));
        }
    }

    // An HTML message for a program that cannot take HTML: one question,
    // naming the program. Its text opens in the program (paragraphs, line
    // breaks, the links' addresses); or the HTML is saved as a draft, and
    // the message says where; or nothing opens and nothing is said. Where
    // the program cannot take the attachments either, the draft is the only
    // way, and nothing is asked. A setup that says what to do asks nothing.
    // Claws Mail and Sylpheed, which cannot write HTML, open no draft; for
    // Evolution, which takes no HTML body, the HTML is saved beside the
    // draft and its message window opens with the rest.
    void htmlForAProgramThatCannotTakeIt_data()
    {
        QTest::addColumn<QString>("client");
        QTest::addColumn<int>("setting"); // HtmlFallback
        QTest::addColumn<int>("answer");  // -1: Escape
        QTest::addColumn<bool>("attachment");
        QTest::addColumn<QString>("result"); // "text", "draft", "nothing"
        using compose::HtmlFallback;
        const int ask = int(HtmlFallback::Ask), text = int(HtmlFallback::PlainText), draft = int(HtmlFallback::Draft);
        for (const QString client : {"evolution", "claws-mail", "sylpheed", "kmail", "geary", "other"}) {
            const QByteArray c = client.toUtf8();
            QTest::addRow("%s: plain text", c.constData()) << client << ask << text << false << "text";
            const char *drafted = client == "evolution" ? "evolution"
                                  : client == "claws-mail" || client == "sylpheed" ? "draft alone" : "draft";
            QTest::addRow("%s: draft", c.constData()) << client << ask << draft << false << drafted;
            QTest::addRow("%s: Escape", c.constData()) << client << ask << -1 << false << "nothing";
        }
        QTest::newRow("claws-mail: plain text, an attachment") << "claws-mail" << ask << text << true << "text";
        QTest::newRow("other: attachments go as a draft") << "other" << ask << -2 << true << "draft";
        QTest::newRow("evolution: set to plain text") << "evolution" << text << -2 << false << "text";
        QTest::newRow("kmail: set to draft") << "kmail" << draft << -2 << false << "draft";
        QTest::newRow("evolution: draft, an attachment") << "evolution" << ask << draft << true << "evolution";
    }
    void htmlForAProgramThatCannotTakeIt()
    {
        QFETCH(QString, client);
        QFETCH(int, setting);
        QFETCH(int, answer);
        QFETCH(bool, attachment);
        QFETCH(QString, result);
        setMailProgram(client);
        QStringList asked;
        m_setup.htmlFallback = compose::HtmlFallback(setting);
        m_setup.askHtmlFallback = [&](const QString &program) -> std::optional<compose::HtmlFallback> {
            asked << program;
            if (answer < 0)
                return std::nullopt;
            return compose::HtmlFallback(answer);
        };
        store::EditorValues editor;
        editor.plain = false;
        editor.toText = "\u0141ukasz <l@example.pl>; b@example.org";
        editor.subjectText = "Oferta \U0001F600";
        editor.location = letters + "letter.html";
        if (attachment)
            editor.attachmentPaths = file("price list.pdf", "%PDF");
        const compose::LaunchOutcome outcome = launch(editor);

        static const QMap<QString, QString> programNames{
            {"evolution", "Evolution"}, {"claws-mail", "Claws Mail"}, {"sylpheed", "Sylpheed"},
            {"kmail", "KMail"},         {"geary", "Geary"},           {"other", "mutt-in-a-terminal"}};
        QCOMPARE(asked, answer == -2 ? QStringList() : QStringList{programNames.value(client)});
        QCOMPARE(handedOver("Outgoing"), QStringList());
        if (result == "nothing") {
            QCOMPARE(outcome.displayed, false);
            QCOMPARE(outcome.message, QString());
            QVERIFY(m_desktop.runs.isEmpty());
            QCOMPARE(handedOver("Drafts"), QStringList());
        } else if (result.startsWith("draft")) {
            const bool alone = result == "draft alone"; // Claws Mail and Sylpheed cannot write HTML
            QCOMPARE(handedOver("Drafts").size(), 1);
            const QString draft = m_setup.handoverDirectory + "/Drafts/" + handedOver("Drafts").first();
            QVERIFY2(outcome.displayed && outcome.message.contains("saved as a draft in \"" + draft + "\"")
                         && outcome.message.contains(alone ? "needs a mail program that writes HTML"
                                                           : "cannot be handed the HTML body"),
                     qPrintable(outcome.message));
            QCOMPARE(m_desktop.runs, (alone ? QList<QStringList>() : QList<QStringList>{{standin, "--open-draft", draft}}));
        } else if (result == "evolution") {
            const QStringList saved = handedOver("Drafts");
            QCOMPARE(saved.size(), 2);
            const QString draft = m_setup.handoverDirectory + "/Drafts/" + saved[0];
            const QString html = draft.chopped(4) + ".html";
            QVERIFY2(outcome.displayed && outcome.message.contains("saved as a draft in \"" + draft + "\"")
                         && outcome.message.contains("Insert > HTML File... and the file \"" + html + "\""),
                     qPrintable(outcome.message));
            const QString written = QString::fromUtf8(testfiles::contentsOf(html));
            QVERIFY(written.contains("Dear \u0141ukasz") && written.contains("src=\"data:image/png;base64,"));
            QCOMPARE(m_desktop.runs.size(), 1);
            const Received got = clientReads(client, recordedArguments());
            QCOMPARE(got.value("subject"), QStringList{editor.subjectText});
            QCOMPARE(got.value("body"), QStringList());
            QCOMPARE(got.value("attach"), attachment ? QStringList{editor.attachmentPaths} : QStringList());
        } else {
            QVERIFY2(outcome.displayed && outcome.message.isEmpty(), qPrintable(outcome.message));
            QCOMPARE(handedOver("Drafts"), QStringList());
            QCOMPARE(m_desktop.runs.size(), 1);
            const Received got = clientReads(client, recordedArguments());
            QCOMPARE(got.value("subject"), QStringList{editor.subjectText});
            QCOMPARE(got.value("body"), QStringList{lf(QString::fromUtf8(testfiles::contentsOf(letters + "letter.txt")))});
            QCOMPARE(got.value("attach"), attachment ? QStringList{editor.attachmentPaths} : QStringList());
        }
    }

    // Pictures that the HTML names by relative paths (beside it, in its
    // "_files" folder, with an encoded space, with a Windows backslash, as a
    // table's background) arrive with the body: Thunderbird's file carries
    // them as data: URLs (its composer blocks pictures from files), the
    // draft as related parts named by cid: URLs. Web and cid: pictures stay
    // as they are, and a missing picture costs nothing but itself.
    void picturesTravelWithTheHtml_data()
    {
        QTest::addColumn<QString>("route");
        QTest::newRow("thunderbird") << "thunderbird";
        QTest::newRow("draft") << "draft";
    }
    void picturesTravelWithTheHtml()
    {
        QFETCH(QString, route);
        setMailProgram(route == "draft" ? QString() : route);
        store::EditorValues editor;
        editor.plain = false;
        editor.toText = "a@example.com";
        editor.location = letters + "pictures.html";
        QVERIFY(launch(editor).displayed);

        QJsonObject item;
        if (route == "draft") {
            const QString draft = m_setup.handoverDirectory + "/Drafts/" + handedOver("Drafts").value(0);
            item = {{"kind", "draft"}, {"path", draft}, {"pictures", true}};
        } else {
            item = {{"kind", "html"}, {"path", thunderbirdReads(recordedArguments().value(1)).value("message").value(0)}};
        }
        const QJsonObject read = readByPython({item}).at(0).toObject();
        const QStringList shown = read["pictures"].toVariant().toStringList();
        const QStringList named{"logo.png", "letter_files/image001.jpg", "my pic.png", "sub/pic.gif", "bg.gif"};
        QCOMPARE(shown.size(), 9);
        QCOMPARE(shown.mid(5, 2), (QStringList{"https://example.com/web.png", "cid:given@x"}));
        QCOMPARE(shown.at(7), QUrl::fromLocalFile(letters + "missing.png").toString(QUrl::FullyEncoded));
        QCOMPARE(shown.at(8), shown.at(0)); // one picture, named twice
        for (int i = 0; i < named.size(); ++i) {
            const QByteArray bytes = testfiles::contentsOf(letters + named.at(i));
            if (route == "draft") {
                QVERIFY2(shown.at(i).startsWith("cid:"), qPrintable(shown.at(i)));
                QCOMPARE(QByteArray::fromBase64(read["related"][shown.at(i).mid(4)].toString().toLatin1()), bytes);
            } else {
                const QString prefix = shown.at(i).section(u',', 0, 0), data = shown.at(i).section(u',', 1);
                QVERIFY2(prefix.startsWith("data:image/") && prefix.endsWith(";base64"), qPrintable(prefix));
                QCOMPARE(QByteArray::fromBase64(data.toLatin1()), bytes);
            }
        }
        if (route == "draft")
            QCOMPARE(read["related"].toObject().size(), named.size());
    }

    // What a placeholder puts into an HTML body (an answer, a date, a
    // month) is text: read back by Python's html.parser, each answer is
    // found as typed in the text and in an attribute, whatever markup it
    // holds, while a pair's replacement goes in as markup. Through
    // Thunderbird's body file, a draft, and the HTMLBody Outlook is given.
    void answersInHtmlAreText()
    {
        QRandomGenerator random(20261214u);
        FakePairs pairs;
        pairs.set(0, "[p]", "<b>bold</b>");
        substitute::PlaceholderValues values;
        values.calendar = {[] { return QDate(2026, 12, 14); }, QLocale(QLocale::English)};
        QJsonArray handed;
        QStringList answers;
        for (const QString route : {"thunderbird", "draft", "outlook"}) {
            setMailProgram(route == "thunderbird" ? route : QString());
            for (int i = 0; i < 3; ++i) {
                answers << (i == 0 ? "Smith <Ltd> & Co" : anyText(random, 6) + " </p><i>'\"&amp;&#39;");
                values.answers["Kunde"] = answers.last();
                store::EditorValues editor;
                editor.plain = false;
                editor.location = file("a.html", "<p title=\"{{?Kunde}}\">Dear {{?Kunde}}, [p]</p><p>{{date:''yyyy''}} {{month}}");
                const auto log = std::make_shared<QStringList>();
                const auto client = route == "outlook" ? compose::RecordingMailClient::factory(log) : compose::desktopMailClients(m_setup);
                QVERIFY(compose::ComposeEmail(editor, pairs, client, values).displayed);
                QJsonObject item = route == "draft" ? whatWasHanded(route) : QJsonObject{{"kind", "html"}};
                if (route == "thunderbird")
                    item["path"] = thunderbirdReads(recordedArguments().value(1)).value("message").value(0);
                else if (route == "outlook")
                    item["path"] = file(QString("outlook-%1.html").arg(i), log->filter("HTMLBody=").value(0).mid(9).toUtf8());
                item["pictures"] = true;
                handed.append(item);
            }
        }
        const QJsonArray read = readByPython(handed);
        QCOMPARE(read.size(), answers.size());
        for (qsizetype i = 0; i < read.size(); ++i) {
            QCOMPARE(read[i]["text"].toString(), "Dear " + answers[i] + ", bold'2026' December");
            QCOMPARE(read[i]["attributes"].toArray(), QJsonArray{answers[i]});
        }
    }

private:
    // What the route's program was handed, as an item for Python to read.
    QJsonObject whatWasHanded(const QString &route)
    {
        if (route == "draft") {
            const QStringList drafts = handedOver("Drafts");
            const QString path = m_setup.handoverDirectory + "/Drafts/" + drafts.value(0);
            QJsonObject item{{"kind", "draft"}, {"path", path}};
            recordedArguments(); // the draft opener's
            // The next launch's draft is the only one.
            QFile::rename(path, m_dir->filePath(QString("draft-%1.eml").arg(++m_drafts)));
            item["path"] = m_dir->filePath(QString("draft-%1.eml").arg(m_drafts));
            return item;
        }
        const QStringList arguments = recordedArguments();
        if (route == "thunderbird" || route == "kmail") {
            const Received got = clientReads(route, arguments);
            QJsonObject fields;
            for (auto it = got.begin(); it != got.end(); ++it) {
                if (it.key() == "format")
                    continue;
                if (it.key() == "to" || it.key() == "cc" || it.key() == "bcc")
                    fields[it.key()] = QJsonArray::fromStringList(it.value());
                else
                    fields[it.key()] = it.value().join("<given twice>");
            }
            if (route == "kmail") // each address after "--" is an argument of its own
                fields["to"] = QJsonArray::fromStringList(arguments.mid(arguments.indexOf("--") + 1));
            return {{"kind", "fields"}, {"fields", fields}};
        }
        const bool claws = route == "claws-mail" || route == "sylpheed";
        const QString url = claws ? arguments.value(arguments.indexOf("--compose") + 1) : arguments.value(0);
        return {{"kind", "mailto"}, {"url", url}, {"plus_is_space", claws}};
    }

    int m_drafts = 0;
};

QTEST_GUILESS_MAIN(TestMessageRoutes)
#include "tst_messageroutes_unix.moc"
