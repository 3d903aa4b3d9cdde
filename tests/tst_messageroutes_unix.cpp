// Every route a message can take on Linux, fed random messages
// (standins/read_messages.py makes them): addresses separated as people
// type them (",", ";", both, display names quoted or not, with commas,
// semicolons and letters of any script), subjects and bodies in any script
// with text that would end a value or start a field, an option or an
// attachment if it were passed through raw, and files whose names hold
// separators, quotes, line breaks and letters beyond ASCII. What each mail
// program received is read back by that program's own argument rules and by
// Python's parsers (email.utils for address lists, the email package for
// drafts), and must be the message as written.
// Then the HTML routes: an HTML message for a program that cannot take HTML.
#include "support/mailprograms_unix.h"
#include "support/recordingmailclient.h"

#include <QDateTime>

using namespace mailtesting;

namespace {

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
        const QJsonArray messages = readByPython({"make", QString::number(testdata::seed(20261207)), "48"});
        QCOMPARE(messages.size(), 48);
        const QStringList routes{"thunderbird", "evolution", "claws-mail", "sylpheed",
                                 "kmail",       "geary",     "other",      "draft"};
        const QStringList files = awkwardFiles();
        QJsonArray handed;
        for (qsizetype i = 0; i < messages.size(); ++i) {
            const QString route = routes.at(i % routes.size());
            const QJsonObject typed = messages[i]["typed"].toObject();
            QJsonObject expected = messages[i]["read"].toObject();
            store::EditorValues editor;
            editor.toText = typed["to"].toString();
            editor.ccText = typed["cc"].toString();
            editor.bccText = typed["bcc"].toString();
            editor.subjectText = typed["subject"].toString();
            editor.bodyText = typed["body"].toString();
            // Each round its own files; a mailto: handler cannot take them.
            const QStringList attached = route == "other" ? QStringList() : files.mid(i / routes.size() % 6, 3);
            editor.attachmentPaths = attached.join(u';');
            QStringList names; // as a draft names them
            for (const QString &path : attached)
                names << QFileInfo(path).fileName();
            if (!attached.isEmpty())
                expected["attach"] = QJsonArray::fromStringList(route == "draft" ? names : attached);
            if (route == "thunderbird")
                expected["format"] = "text";
            if (route == "draft") // a line break in a header is a space
                expected["subject"] = QString(editor.subjectText).replace(u'\n', u' ');
            // Claws Mail every other round not the default but the first one
            // installed; Evolution still starting when the watch ends.
            const bool installed = route == "claws-mail" && i / routes.size() % 2;
            setMailProgram(route == "draft" || installed ? QString() : route);
            m_desktop.installed = installed ? QMap<QString, QString>{{route, standin}} : QMap<QString, QString>();
            qputenv("LETTERLOOM_STANDIN_STAY", route == "evolution" ? "3" : "0");
            m_setup.watchMs = route == "evolution" ? 300 : 5000;
            const compose::LaunchOutcome outcome = launch(editor);
            QVERIFY2(outcome.displayed && outcome.message.isEmpty() == (route != "draft"), qPrintable(outcome.message));
            QJsonObject item = whatWasHanded(route);
            item["expected"] = expected;
            item["case"] = QString("%1: To [%2] Cc [%3] Bcc [%4]").arg(route, editor.toText, editor.ccText, editor.bccText);
            handed.append(item);
        }
        QStringList read = QVariant(readByPython({"check"}, handed).toVariantList()).toStringList();
        QCOMPARE(read.size(), handed.size());
        read.removeAll(QString());
        QVERIFY2(read.isEmpty(), qPrintable(read.join("\n\n")));
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
    void htmlForAProgramThatCannotTakeIt_data() { testdata::addRows(QStringLiteral("html-fallback")); }
    void htmlForAProgramThatCannotTakeIt()
    {
        QFETCH(QString, client);
        QFETCH(QString, setting);
        QFETCH(QString, answer);
        QFETCH(QString, asked);
        QFETCH(QString, attachment);
        QFETCH(QString, said);
        QFETCH(QString, opened);
        const QStringList choices{"ask", "plain text", "draft"}; // as HtmlFallback orders them
        setMailProgram(client);
        QStringList questions;
        m_setup.htmlFallback = compose::HtmlFallback(choices.indexOf(setting));
        m_setup.askHtmlFallback = [&](const QString &program) -> std::optional<compose::HtmlFallback> {
            questions << program;
            if (answer == u"Escape")
                return std::nullopt;
            return compose::HtmlFallback(choices.indexOf(answer));
        };
        store::EditorValues editor;
        editor.plain = false;
        editor.toText = "\u0141ukasz <l@example.pl>; b@example.org";
        editor.subjectText = "Oferta \U0001F600";
        editor.location = letters + "letter.html";
        if (!attachment.isEmpty())
            editor.attachmentPaths = file("price list.pdf", "%PDF");
        const compose::LaunchOutcome outcome = launch(editor);

        QCOMPARE(questions, asked.isEmpty() ? QStringList() : QStringList{asked});
        QCOMPARE(outcome.displayed, answer != u"Escape");
        QCOMPARE(handedOver("Outgoing"), QStringList());
        const QStringList drafts = handedOver("Drafts");
        QCOMPARE(drafts.size(), said.isEmpty() ? 0 : said.contains("{html}") ? 2 : 1);
        const QString draft = m_setup.handoverDirectory + "/Drafts/" + drafts.value(0);
        const QString html = draft.chopped(4) + ".html";
        QCOMPARE(outcome.message.isEmpty(), said.isEmpty());
        for (const QString &part : said.split(" | "))
            QVERIFY2(outcome.message.contains(QString(part).replace("{draft}", draft).replace("{html}", html)),
                     qPrintable(outcome.message));
        if (said.contains("{html}")) { // Evolution's: the HTML saved beside the draft, pictures and all
            const QString written = QString::fromUtf8(testfiles::contentsOf(html));
            QVERIFY(written.contains("Dear \u0141ukasz") && written.contains("src=\"data:image/png;base64,"));
        }
        if (opened == u"draft")
            QCOMPARE(m_desktop.runs, (QList<QStringList>{{standin, "--open-draft", draft}}));
        else
            QCOMPARE(m_desktop.runs.size(), opened == u"program" ? 1 : 0);
        if (opened == u"program") {
            const Received got = clientReads(client, recordedArguments());
            const QString text = QString::fromUtf8(testfiles::contentsOf(letters + "letter.txt")).replace("\r\n", "\n");
            QCOMPARE(got.value("subject"), QStringList{editor.subjectText});
            QCOMPARE(got.value("body"), said.isEmpty() ? QStringList{text} : QStringList());
            QCOMPARE(got.value("attach"), attachment.isEmpty() ? QStringList() : QStringList{editor.attachmentPaths});
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
        const QJsonObject read = readByPython({}, {item}).at(0).toObject();
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
    // Thunderbird's body file (UTF-8, in the hand-over folder), a draft, and
    // the HTMLBody Outlook is given.
    void answersInHtmlAreText()
    {
        const QJsonArray made = readByPython({"make", "20261214", "9"}); // random answers: their subjects
        FakePairs pairs;
        pairs.set(0, "[p]", "<b>bold</b>");
        substitute::PlaceholderValues values;
        values.calendar = {[] { return QDate(2026, 12, 14); }, QLocale(QLocale::English)};
        QJsonArray handed;
        QStringList answers;
        // Bodies handed to Thunderbird on earlier days go at its next HTML
        // launch; today's stay (Python reads them at the end), as
        // Thunderbird may not have read them yet.
        QFile old(file("Letterloom/Outgoing/body-old.html", "old"));
        QVERIFY(old.open(QIODevice::Append));
        QVERIFY(old.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
        old.close();
        for (const QString route : {"thunderbird", "draft", "outlook"}) {
            setMailProgram(route == "thunderbird" ? route : QString());
            for (int i = 0; i < 3; ++i) {
                answers << (i == 0 ? "Smith <Ltd> & Co" : made[answers.size()]["typed"]["subject"].toString() + " </p><i>'\"&amp;&#39;");
                values.answers["Kunde"] = answers.last();
                store::EditorValues editor;
                editor.plain = false;
                editor.location = file("a.html", "<p title=\"{{?Kunde}}\">Dear {{?Kunde}}, [p]</p><p>{{date:''yyyy''}} {{month}}");
                const auto log = std::make_shared<QStringList>();
                const auto client = route == "outlook" ? compose::RecordingMailClient::factory(log) : compose::desktopMailClients(m_setup);
                QVERIFY(compose::ComposeEmail(editor, pairs, client, values).displayed);
                QJsonObject item = route == "draft" ? whatWasHanded(route) : QJsonObject{{"kind", "html"}};
                if (route == "thunderbird") { // the HTML in a file of its own, and no body
                    const Received got = thunderbirdReads(recordedArguments().value(1));
                    QCOMPARE(got.keys(), (QStringList{"format", "message"}));
                    QCOMPARE(got["format"], QStringList{"html"});
                    QVERIFY(!QFile::exists(old.fileName()));
                    item["path"] = got["message"].value(0);
                } else if (route == "outlook")
                    item["path"] = file(QString("outlook-%1.html").arg(i), log->filter("HTMLBody=").value(0).mid(9).toUtf8());
                item["pictures"] = true;
                handed.append(item);
            }
        }
        const QJsonArray read = readByPython({}, handed);
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
        if (route != "draft")
            return handedItem(route, recordedArguments());
        recordedArguments(); // the draft opener's
        // The next launch's draft is the only one.
        const QString path = m_dir->filePath(QString("draft-%1.eml").arg(++m_drafts));
        QFile::rename(m_setup.handoverDirectory + "/Drafts/" + handedOver("Drafts").value(0), path);
        return {{"kind", "draft"}, {"path", path}};
    }

    int m_drafts = 0;
};

QTEST_GUILESS_MAIN(TestMessageRoutes)
#include "tst_messageroutes_unix.moc"
