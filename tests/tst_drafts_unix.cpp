// The draft route: when a launch becomes an unsent draft instead, what the
// user is told, and the draft itself, read back by Python's email package.
#include "support/mailprograms_unix.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

using namespace mailtesting;

class TestDrafts : public QObject, private MailClientFixture
{
    Q_OBJECT

private slots:
    void init() { reset(); }

    // Whatever keeps the mail program from showing the whole message sends
    // it the draft route instead. The message says why, where the draft is
    // and which program opened it, or why none did; the draft holds the
    // whole message.
    void draftWhenTheProgramCannotShowItAll_data()
    {
        QTest::addColumn<QString>("client"); // the desktop's mail program, as setMailProgram() takes it
        QTest::addColumn<QString>("setUp");  // what the test changes, separated by ", "
        QTest::addColumn<QString>("reason"); // why the message became a draft
        QTest::addColumn<QString>("told");   // how the message ends, after the draft's path
        QTest::addColumn<int>("started");    // how many programs were started
        auto row = [](const char *name, const char *client, const char *setUp, const char *reason, int started = 1,
                      const char *told = "\" and handed to drafts, the desktop's program for e-mail files.") {
            QTest::newRow(name) << client << setUp << reason << told << started;
        };
        row("no mail program", "", "", "No mail program");
        // A draft chosen beforehand (--draft) for Claws Mail, which cannot
        // write HTML: not opened, and nothing said of an account.
        const char *noHtml = "\". Claws Mail cannot write HTML, so the draft was not opened: sending it as HTML needs "
                             "a mail program that writes HTML, such as Thunderbird, which opens the draft as a "
                             "message to edit.";
        row("claws: no account, HTML, draft chosen", "claws-mail", "no claws account, html, draft chosen",
            "The HTML message", 0, noHtml);
        row("kmail: HTML", "kmail", "html", "KMail cannot be handed the HTML body");
        row("mailto handler: attachments", "other", "", "mutt-in-a-terminal cannot be handed the attachments");
        row("mailto handler: HTML and attachments", "other", "html", "the HTML body and the attachments");
        row("a browser handles mailto:, no addresses", "firefox-esr.desktop|%1 %u|Network;WebBrowser;", "no addresses",
            "which is not a mail program");
        row("thunderbird: no profile", "thunderbird", "no profile", "no profile");
        row("thunderbird: no default profile", "thunderbird", "no default profile", "no default profile");
        row("thunderbird: no account", "thunderbird", "no account", "no e-mail account");
        row("thunderbird: asks for a profile", "thunderbird", "asks for a profile", "asks which profile");
        row("claws: no account", "claws-mail", "no claws account", "Claws Mail has no e-mail account");
        row("sylpheed: no account", "sylpheed", "no sylpheed account", "Sylpheed has no e-mail account");
        row("geary: no account", "geary", "no geary account", "Geary has no e-mail account");
        row("ends with an error", "evolution", "fails", "exit status 3", 2);
        row("cannot start", "thunderbird.desktop|%1-missing %u", "", "could not be started", 2);
        row("body too long", "thunderbird", "long body", "too long");
        row("HTML, subject too long", "thunderbird", "html, long subject", "too long");
        row("no program for e-mail files", "", "no draft opener", "No mail program", 0,
            "\", but no program on this desktop opens e-mail files: open it with your mail program to review and "
            "send it.");
        row("the program for e-mail files fails", "", "fails", "No mail program", 1,
            "\", but it could not be opened: drafts ended with an error (exit status 3) instead of showing the "
            "message. It said: \"cannot open display: :99\" Open it with your mail program to review and send it.");
        // It would show its setup assistant, not the draft.
        row("the program for e-mail files is not set up", "thunderbird", "no account, thunderbird opens drafts",
            "no e-mail account", 0, "\": open it with your mail program once it is set up.");
        row("the program for e-mail files is Thunderbird", "other", "thunderbird opens drafts", "the attachments", 1,
            "\" and opened in Thunderbird.");
        // It shows nothing for a draft.
        row("the program for e-mail files is Evolution", "other", "evolution opens drafts", "the attachments", 0,
            "\". Evolution, the desktop's program for e-mail files, cannot open a draft: open it with your mail "
            "program to review and send it.");
    }
    void draftWhenTheProgramCannotShowItAll()
    {
        QFETCH(QString, client);
        QFETCH(QString, setUp);
        QFETCH(QString, reason);
        QFETCH(QString, told);
        QFETCH(int, started);
        setMailProgram(client);
        const QStringList changes = setUp.split(", ", Qt::SkipEmptyParts);
        for (const QString &change : changes)
            changeSetUp(change);
        store::EditorValues editor = hardMessage(changes.contains("html"));
        if (changes.contains("long subject"))
            editor.subjectText = QString(200000, u's');
        if (changes.contains("long body"))
            editor.bodyText = QString(200000, u'\u00e4');
        if (changes.contains("no addresses"))
            editor.toText = editor.ccText = editor.bccText = QString();
        if (changes.contains("draft chosen")) // letterloom --draft
            m_setup.htmlFallback = compose::HtmlFallback::Draft;
        const compose::LaunchOutcome outcome = launch(editor);

        QVERIFY2(outcome.displayed && outcome.message.contains(reason), qPrintable(outcome.message));
        if (changes.contains("draft chosen"))
            QVERIFY2(!outcome.message.contains("account"), qPrintable(outcome.message));
        QCOMPARE(handedOver("Drafts").size(), 1);
        const QString draft = m_setup.handoverDirectory + "/Drafts/" + handedOver("Drafts").first();
        QVERIFY2(outcome.message.endsWith("saved as a draft in \"" + draft + told), qPrintable(outcome.message));
        QCOMPARE(outcome.message.contains("handed to"), told.contains("handed to"));
        // Only the mail program that failed was started before the program
        // for e-mail files, which was handed the draft.
        QCOMPARE(m_desktop.runs.size(), started);
        if (started > 0)
            QCOMPARE(m_desktop.runs.last(), (QStringList{standin, "--open-draft", draft}));
        // An HTML body written for the program that did not take it is gone.
        QCOMPARE(handedOver("Outgoing"), QStringList());
        checkDraft(draft, editor);
    }

    // A file handed to a mail program that cannot be written whole (a full
    // disk) stops the launch with a message: nothing half written is handed
    // over or left behind as a draft.
    void fullDiskHandsNothingOver_data()
    {
        QTest::addColumn<QString>("client");
        QTest::addColumn<QString>("said");
        QTest::newRow("HTML body for Thunderbird") << "thunderbird"
                                                   << "The HTML body could not be handed to Thunderbird";
        QTest::newRow("draft") << "evolution" << "could not be saved as a draft";
    }
    void fullDiskHandsNothingOver()
    {
        QFETCH(QString, client);
        QFETCH(QString, said);
        setMailProgram(client);
        store::EditorValues editor = hardMessage(true);
        editor.location = file("big.html", "<p>" + QByteArray(200000, 'x') + "</p>");
        testfiles::SmallDisk disk(64);
        std::unique_ptr<testfiles::FileSizeLimit> limit;
        if (disk.mounted()) {
            m_setup.handoverDirectory = disk.filePath("Letterloom");
            for (const char *folder : {"/Outgoing", "/Drafts"})
                QDir().mkpath(m_setup.handoverDirectory + folder);
            disk.fill();
        } else {
            limit = std::make_unique<testfiles::FileSizeLimit>(64 * 1024);
        }
        const compose::LaunchOutcome outcome = launch(editor);
        limit.reset();
        QVERIFY2(!outcome.displayed && outcome.message.contains(said), qPrintable(outcome.message));
        QCOMPARE(handedOver("Drafts") + handedOver("Outgoing"), QStringList());
        QVERIFY(m_desktop.runs.isEmpty()); // no mail program, no draft opener started
    }

    // An attachment that goes away while the launch runs (the window handles
    // its events before each one) stops the launch: nothing is handed over
    // without it.
    void anAttachmentThatGoesAwayStopsTheLaunch()
    {
        setMailProgram("evolution");
        store::EditorValues editor = hardMessage(false);
        const QString first = file("first.pdf", "1");
        const QString second = file("second.pdf", "2");
        editor.attachmentPaths = first + ";" + second;
        editor.onYield = [&](int) {
            if (QFile::exists(first) && !QFile::exists(second + ".gone"))
                QFile::rename(second, second + ".gone");
        };
        const compose::LaunchOutcome outcome = launch(editor);
        QVERIFY2(!outcome.displayed && outcome.message.contains("second.pdf"), qPrintable(outcome.message));
        QVERIFY(m_desktop.runs.isEmpty());
        QCOMPARE(handedOver("Drafts"), QStringList());
    }

private:
    // Takes one step back from the setup of a mail program in the home, or
    // from the desktop's: the changes that the draft-route table names.
    void changeSetUp(const QString &change)
    {
        const QString home = m_setup.home + u'/';
        auto edit = [&](const QString &file, const char *before, const char *after) {
            writeFile(home + file, QByteArray(setUpHome.value(file)).replace(before, after));
        };
        if (change == "no profile")
            QDir(home + ".thunderbird").removeRecursively();
        else if (change == "no default profile")
            QFile::remove(home + ".thunderbird/installs.ini");
        else if (change == "no account") // accounts listed, none of them with an identity
            edit(thunderbirdProfile + "/prefs.js", "account2.identities", "account3.identities");
        else if (change == "asks for a profile")
            edit(".thunderbird/profiles.ini", "StartWithLastProfile=1", "StartWithLastProfile=0");
        else if (change == "no claws account")
            QFile::remove(home + ".claws-mail/accountrc");
        else if (change == "no sylpheed account")
            writeFile(home + ".sylpheed-2.0/accountrc", "");
        else if (change == "no geary account")
            QDir(home + ".config/geary").removeRecursively();
        else if (change == "fails") // the first program started
            writeFile(failNext(), "");
        else if (change == "no draft opener")
            m_desktop.defaults.remove("message/rfc822");
        else if (change == "thunderbird opens drafts")
            m_desktop.defaults["message/rfc822"] = application("thunderbird.desktop", standin + " --open-draft %u");
        else if (change == "evolution opens drafts")
            m_desktop.defaults["message/rfc822"] = application("org.gnome.Evolution.desktop", standin + " %U");
    }

    // A message with something hard for a draft in every field: names that
    // need encoding, quotes and commas, text that looks like an encoded word
    // or another field, a line break that would start a header of its own, a
    // subject long enough to be folded, body lines that mail systems change,
    // a space at a line's end; files whose names hold separators and line
    // breaks. The HTML body is a Windows-1252 file.
    store::EditorValues hardMessage(bool html)
    {
        store::EditorValues editor;
        editor.toText = "J\u00f6rg M\u00fcller <joerg@example.de>, b@example.org";
        editor.ccText = "\"Doe, John\" <john@example.org>";
        // The last, typed without angle brackets, keeps the space between its
        // two words beyond ASCII (encoded words side by side lose it).
        editor.bccText = "one@example.org, two@example.org\r\nX-Injected: spy@evil.org, Zo\u00eb \u0141\u00f3d\u017a zoe@example.org";
        editor.subjectText = "Gr\u00fc\u00dfe \U0001F600, \"quoted\" ',attachment='file:///etc/passwd 100% =?x?= a=b and a "
                             "subject long enough to be folded over more than one line\nX-Injected: yes\r\n\r\nbody?";
        editor.bodyText = "Dear J\u00f6rg, \r\n\r\n.\r\nFrom the start\r\n=41 stays =41 \u20ac\r\nends in a space ";
        editor.plain = !html;
        editor.location = file("m.html", "<html><body><p>Caf\xe9 \x80 =3D</p></body></html>\r\n");
        editor.attachmentPaths = awkwardFiles().join(u';');
        return editor;
    }

    // The draft as Python's email package reads it: no defects; folded
    // headers, quoted-printable and base64 within the usual width, CR LF line
    // ends; the headers in their order, Date first (so that file-type
    // detection takes the file for a message), X-Unsent and MIME-Version (so
    // that a mail program opens it as an unsent draft), no From (the mail
    // program fills it in) and none that a text smuggled in. Then the message
    // as it was typed: a line break in a header a space that starts nothing,
    // the body with its CR LF line ends, each attachment's name and bytes.
    void checkDraft(const QString &draft, const store::EditorValues &editor)
    {
        QProcess python;
        const QString script = qEnvironmentVariable("LETTERLOOM_SOURCE_DIR") + "/tests/standins/parse_eml.py";
        python.start("python3", {script, draft});
        if (!python.waitForFinished(30000) || python.exitCode() != 0)
            qWarning("%s", python.readAllStandardError().constData());
        const QJsonObject parsed = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
        QCOMPARE(parsed["defects"].toArray(), QJsonArray());
        QVERIFY(parsed["longest_line"].toInt() <= 78);
        QCOMPARE(parsed["bare_lf"].toInt(), 0);
        // No header for no addresses.
        const QStringList addresses = editor.toText.isEmpty() ? QStringList() : QStringList{"To", "Cc", "Bcc"};
        const QStringList names =
            QStringList{"Date", "Subject"} + addresses + QStringList{"X-Unsent", "MIME-Version", "Content-Type"};
        QCOMPARE(parsed["header_names"].toVariant().toStringList(), names);
        const QList<std::pair<QString, QString>> expected{{"Subject", editor.subjectText}, {"To", editor.toText},
                                                          {"Cc", editor.ccText}, {"Bcc", editor.bccText},
                                                          {"X-Unsent", "1"}, {"MIME-Version", "1.0"}};
        for (const auto &[name, text] : expected)
            QCOMPARE(parsed["headers"][name].toString(), QString(text).replace(u'\r', u' ').replace(u'\n', u' '));
        if (!editor.toText.isEmpty()) {
            const QJsonArray to{QJsonArray{"J\u00f6rg M\u00fcller", "joerg@example.de"}, QJsonArray{"", "b@example.org"}};
            QCOMPARE(parsed["addresses"]["To"].toArray(), to);
            QCOMPARE(parsed["addresses"]["Cc"].toArray(), (QJsonArray{QJsonArray{"Doe, John", "john@example.org"}}));
        }
        QCOMPARE(parsed["body_type"].toString(), editor.plain ? "text/plain" : "text/html");
        QCOMPARE(parsed["body"].toString(),
                 editor.plain ? editor.bodyText : "<html><body><p>Caf\u00e9 \u20ac =3D</p></body></html>\r\n");
        // A space at a line's end is written so that no mail program drops it.
        if (editor.plain && editor.bodyText.endsWith(u' '))
            QVERIFY(testfiles::contentsOf(draft).contains("ends in a space=20"));

        const QStringList paths = editor.attachmentPaths.split(u';');
        const QJsonArray attachments = parsed["attachments"].toArray();
        QCOMPARE(attachments.size(), paths.size());
        for (qsizetype i = 0; i < paths.size(); ++i) {
            const QJsonObject part = attachments.at(i).toObject();
            QCOMPARE(part["filename"].toString(), QFileInfo(paths.at(i)).fileName());
            QCOMPARE(part["disposition"].toString(), "attachment");
            QCOMPARE(part["header_names"].toArray(),
                     (QJsonArray{"Content-Type", "Content-Disposition", "Content-Transfer-Encoding"}));
            QCOMPARE(QByteArray::fromBase64(part["data"].toString().toLatin1()), testfiles::contentsOf(paths.at(i)));
        }
        QCOMPARE(attachments.at(2).toObject()["type"].toString(), "image/png");
        QCOMPARE(attachments.at(3).toObject()["type"].toString(), "application/pdf");
    }
};

QTEST_GUILESS_MAIN(TestDrafts)
#include "tst_drafts_unix.moc"
