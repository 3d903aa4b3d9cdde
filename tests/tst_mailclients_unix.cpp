// The Linux mail programs: what reaches each one's command line (seen by a
// stand-in program that records its arguments, decoded by the rules of the
// program it stands in for), and how the desktop's mail program is found.
#include "compose/clientsetup_unix.h"
#include "support/mailprograms_unix.h"

#include <QDateTime>
#include <QProcess>

using namespace mailtesting;

class TestMailClients : public QObject, private MailClientFixture
{
    Q_OBJECT

private slots:
    void init() { reset(); }

    // ---- the hand-over to each mail program ----------------------------

    // Text that would end a value, start a new field, add an address or an
    // attachment if it were passed through raw arrives as exactly that text,
    // in every field, and so do file names full of separators. The mail
    // program is the desktop's default, or else the first one installed; one
    // that stays running after the watch has taken the message too.
    void eachClientReceivesTheMessageAsTyped_data()
    {
        QTest::addColumn<QString>("client");
        QTest::addColumn<QString>("found"); // "default", "installed", "still starting"
        QTest::addColumn<QStringList>("texts"); // to, cc, bcc, subject, body
        // The addresses separated as every route writes them (", "), so that
        // they arrive as typed.
        const QStringList injections{
            "a@x.org, attachment=file:///etc/passwd&attach=/etc/shadow",
            "\"Doe, John\" <j@x.org>, 'K' <k@y.org>?cc=spy@evil.org",
            "a=b@x.org, bcc=all@x.org --attach /etc/passwd",
            "x',attachment='file:///etc/passwd 100% off %41%2C %% a+b=c&d #e",
            "Dear J\u00f6rg,\r\n\"q\", 50% = 'half', a+b & c?d=e#f\r\n-- \r\n--attach /etc/passwd\r\n",
        };
        const QStringList unicode{"J\u00f6rg M\u00fcller <j@x.de>", "-c evil@x.org", "--bcc=all@x.org",
                                  "Gr\u00fc\u00dfe \u20ac \u4e2d\nsecond line", "  "};
        for (const QString &client : desktopEntries.keys()) {
            QTest::addRow("%s: injections", qPrintable(client)) << client << "default" << injections;
            QTest::addRow("%s: unicode and options", qPrintable(client)) << client << "default" << unicode;
        }
        QTest::newRow("no default, claws-mail installed") << "claws-mail" << "installed" << injections;
        QTest::newRow("evolution still starting") << "evolution" << "still starting" << unicode;
    }
    void eachClientReceivesTheMessageAsTyped()
    {
        QFETCH(QString, client);
        QFETCH(QString, found);
        QFETCH(QStringList, texts);
        if (found == "installed")
            m_desktop.installed[client] = standin;
        else
            setMailProgram(client);
        if (found == "still starting") {
            qputenv("LETTERLOOM_STANDIN_STAY", "3");
            m_setup.watchMs = 300;
        }
        // A mailto: handler cannot take attachments.
        const QStringList paths = client == "other" ? QStringList() : awkwardFiles();
        store::EditorValues editor;
        editor.toText = texts.at(0);
        editor.ccText = texts.at(1);
        editor.bccText = texts.at(2);
        editor.subjectText = texts.at(3);
        editor.bodyText = texts.at(4);
        editor.attachmentPaths = paths.join(u';');

        const compose::LaunchOutcome outcome = launch(editor);
        QVERIFY2(outcome.displayed && outcome.message.isEmpty(), qPrintable(outcome.message));
        QVERIFY(handedOver("Drafts").isEmpty());
        QCOMPARE(m_desktop.runs.size(), 1); // the mail program alone: no draft was opened
        const Received got = clientReads(client, recordedArguments());
        // Each field once, as typed, and nothing more; line ends as LF.
        Received typed{{"to", {texts.at(0)}}, {"cc", {texts.at(1)}}, {"bcc", {texts.at(2)}},
                       {"subject", {texts.at(3)}}, {"body", {QString(texts.at(4)).replace("\r\n", "\n")}}};
        if (client == "thunderbird")
            typed["format"] = QStringList{"text"};
        if (!paths.isEmpty())
            typed["attach"] = paths;
        QCOMPARE(got.keys(), typed.keys());
        for (const QString &key : typed.keys())
            QCOMPARE(got[key], typed[key]);
    }

    // The HTML goes to Thunderbird in a UTF-8 file in the hand-over folder,
    // the pairs applied to it, markup and all.
    void htmlBodyGoesToThunderbirdThroughAFile()
    {
        setMailProgram("thunderbird");
        store::EditorValues editor;
        editor.plain = false;
        editor.subjectText = "Caf\u00e9 NAME";
        editor.location = file("mail.html", "<p title=\"NAME\">Gr\xfc\xdf" "e, NAME \x80</p>");
        editor.attachmentPaths = file("a, b.pdf", "pdf");
        FakePairs pairs;
        pairs.set(0, "NAME", "Zo\u00eb");
        QVERIFY(launch(editor, pairs).displayed);
        const Received got = thunderbirdReads(recordedArguments().value(1));
        QCOMPARE(got.keys(), (QStringList{"attach", "format", "message", "subject"})); // no body
        QCOMPARE(got["format"], QStringList{"html"});
        QCOMPARE(got["subject"], QStringList{"Caf\u00e9 Zo\u00eb"});
        QCOMPARE(got["attach"], QStringList{editor.attachmentPaths});
        QCOMPARE(got["message"].size(), 1);
        const QString html = got["message"].first(), outgoing = m_setup.handoverDirectory + "/Outgoing/";
        QVERIFY2(html.startsWith(outgoing), qPrintable(html));
        QCOMPARE(QString::fromUtf8(testfiles::contentsOf(html)),
                 "<p title=\"Zo\u00eb\">Gr\u00fc\u00dfe, Zo\u00eb \u20ac</p>");

        // Bodies handed over on earlier days go at the next HTML launch;
        // today's stay, as Thunderbird may not have read them yet.
        QFile old(outgoing + "body-old.html");
        QVERIFY(old.open(QIODevice::WriteOnly));
        QVERIFY(old.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
        old.close();
        QVERIFY(launch(editor, pairs).displayed);
        QVERIFY(!QFile::exists(old.fileName()));
        QVERIFY(QFile::exists(html));
    }

    // ---- the desktop's own look-ups --------------------------------------

    // A desktop entry's program is known by the entry's name, a Flatpak's
    // command, or the name of the program the entry starts. Its Exec line
    // becomes the command, the message's arguments in place of the file
    // code; Flatpak's forwarding marks stay only for files.
    void desktopEntriesGiveTheProgramAndItsCommand_data() { testdata::addRows(QStringLiteral("desktop-entries")); }
    void desktopEntriesGiveTheProgramAndItsCommand()
    {
        QFETCH(QString, id);
        QFETCH(QString, exec);
        QFETCH(QString, files);
        QFETCH(QString, kind);
        QFETCH(QString, command);
        const platform::DesktopApplication app = application(id, exec);
        const QStringList kinds{"Thunderbird", "Evolution", "KMail", "ClawsMail", "Sylpheed", "Geary", "Mailto"};
        QCOMPARE(kinds.value(int(compose::clientKindOf(app.id, app.command))), kind);
        QCOMPARE(platform::commandFor(app, {"-compose", "x"}, files == u"1").join(u'|'), command);
    }

    // The real look-up: GIO reads the desktop's mimeapps.list and entries.
    // Thunderbird's default profile is found behind an installation that
    // names none (a stale one, a locked one).
    void thunderbirdsDefaultProfileBehindAnInstallationWithoutOne()
    {
        const QString installs = m_setup.home + "/.thunderbird/installs.ini";
        writeFile(installs, "[0123456789ABCDEF]\nLocked=1\n\n" + testfiles::contentsOf(installs));
        QString why;
        QVERIFY2(compose::clientIsSetUp(compose::ClientKind::Thunderbird, "thunderbird.desktop", m_setup.home, &why),
                 qPrintable(why));
    }

    void gioFindsTheDefaultMailProgram()
    {
        // The test's folder holds the desktop's data and configuration both.
        file("applications/letterloom-test-mail.desktop",
             "[Desktop Entry]\nType=Application\nName=Test Mail\nExec=" + standin.toUtf8()
                 + " --flag %u\nMimeType=x-scheme-handler/mailto;message/rfc822;\nCategories=Network;Email;\n");
        file("mimeapps.list", "[Default Applications]\nx-scheme-handler/mailto=letterloom-test-mail.desktop\n"
                              "message/rfc822=letterloom-test-mail.desktop\n");
        QProcess child; // GIO reads the folders once per process: ask in a fresh one
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"})
            env.insert(name, m_dir->path());
        env.insert("LETTERLOOM_ASK_GIO", "1");
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {"askGio"});
        QVERIFY(child.waitForFinished(30000));
        const QStringList lines = QString::fromUtf8(child.readAllStandardOutput()).split(u'\n');
        const QString application = "|letterloom-test-mail.desktop|Test Mail|" + standin + " --flag %u|Network Email";
        for (const char *type : {"x-scheme-handler/mailto", "message/rfc822"})
            QVERIFY2(lines.contains(type + application), qPrintable(lines.join(u'\n')));
    }
    void askGio()
    {
        // Run only as the child of gioFindsTheDefaultMailProgram.
        if (!qEnvironmentVariableIsSet("LETTERLOOM_ASK_GIO"))
            QSKIP("asked by gioFindsTheDefaultMailProgram only");
        for (const char *type : {"x-scheme-handler/mailto", "message/rfc822"}) {
            const platform::DesktopApplication app = platform::systemDesktop().defaultApplication(type);
            std::printf("%s|%s|%s|%s|%s\n", type, qPrintable(app.id), qPrintable(app.name),
                        qPrintable(app.command.join(u' ')), qPrintable(app.categories.join(u' ')));
        }
    }
};

QTEST_GUILESS_MAIN(TestMailClients)
#include "tst_mailclients_unix.moc"
