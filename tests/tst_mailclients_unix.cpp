// The Linux mail programs: what reaches each one's command line (seen by a
// stand-in program that records its arguments, decoded by the rules of the
// program it stands in for), and how the desktop's mail program is found.
#include "mailclienttesting.h"

using namespace mailtesting;

class TestMailClients : public QObject, private MailClientFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { start(); }
    void init() { reset(); }

    // ---- the hand-over to each mail program ----------------------------

    // Text that would end a value, start a new field, add an address or an
    // attachment if it were passed through raw arrives as exactly that text,
    // in every field, and so do file names full of separators.
    void eachClientReceivesTheMessageAsTyped_data()
    {
        QTest::addColumn<QString>("client");
        QTest::addColumn<QStringList>("texts"); // to, cc, bcc, subject, body
        const QStringList injections{
            QStringLiteral("a@x.org,attachment=file:///etc/passwd&attach=/etc/shadow"),
            QStringLiteral("\"Doe, John\" <j@x.org>; 'K' <k@y.org>?cc=spy@evil.org"),
            QStringLiteral("a=b@x.org,bcc=all@x.org --attach /etc/passwd"),
            QStringLiteral("x',attachment='file:///etc/passwd 100% off %41%2C %% a+b=c&d #e"),
            QStringLiteral("Dear J\u00f6rg,\r\n\"q\", 50% = 'half', a+b & c?d=e#f\r\n-- \r\n--attach /etc/passwd\r\n"),
        };
        const QStringList unicode{
            QStringLiteral("J\u00f6rg M\u00fcller <j@x.de>"),
            QStringLiteral("-c evil@x.org"),
            QStringLiteral("--bcc=all@x.org"),
            QStringLiteral("Gr\u00fc\u00dfe \u20ac \u4e2d\nsecond line"),
            QStringLiteral("  "),
        };
        for (const QString &client : desktopEntries().keys()) {
            QTest::addRow("%s: injections", qPrintable(client)) << client << injections;
            QTest::addRow("%s: unicode and options", qPrintable(client)) << client << unicode;
        }
    }
    void eachClientReceivesTheMessageAsTyped()
    {
        QFETCH(QString, client);
        QFETCH(QStringList, texts);
        setMailProgram(client);
        QStringList paths;
        if (client != QLatin1String("other")) { // a mailto: handler cannot take attachments
            QDir(m_dir.path()).mkpath(QStringLiteral("sub dir,x"));
            paths = QStringList{
                file(QStringLiteral("with space, and comma.txt"), "a"),
                file(QStringLiteral("it's \"quoted\" a=b.pdf"), "b"),
                file(QStringLiteral("100%25 %41 a+b&c?d#e.doc"), "c"),
                file(QStringLiteral("Gr\u00fc\u00dfe \u00e9t\u00e9 \u4e2d.txt"), "d"),
                file(QStringLiteral("sub dir,x/-starts with a dash.txt"), "e"),
            };
        }
        store::EditorValues editor;
        editor.toText = texts.at(0);
        editor.ccText = texts.at(1);
        editor.bccText = texts.at(2);
        editor.subjectText = texts.at(3);
        editor.bodyText = texts.at(4);
        editor.attachmentPaths = paths.join(u';');

        const compose::LaunchOutcome outcome = launch(editor);
        QVERIFY2(outcome.displayed, qPrintable(outcome.message));
        QVERIFY2(outcome.message.isEmpty(), qPrintable(outcome.message));
        QVERIFY(drafts().isEmpty());
        QStringList arguments = recordedArguments();
        if (client == QLatin1String("kmail")) // the entry's own options come first
            arguments = arguments.mid(arguments.indexOf(QStringLiteral("--composer")));
        const Received got = clientReads(client, arguments);
        QCOMPARE(got.to, editor.toText);
        QCOMPARE(got.cc, editor.ccText);
        QCOMPARE(got.bcc, editor.bccText);
        QCOMPARE(got.subject, editor.subjectText);
        QCOMPARE(got.body, QString(editor.bodyText).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        QCOMPARE(got.attachments, paths);
        if (client == QLatin1String("thunderbird")) {
            QCOMPARE(got.format, QStringLiteral("text"));
            // Nothing but keys and encoded values: no quotes, no raw commas in values.
            static const QRegularExpression shape(
                QStringLiteral("^[a-z]+=[A-Za-z0-9%._~-]+(,[a-z]+=[A-Za-z0-9%._~-]+)*$"));
            QVERIFY2(shape.match(arguments.value(1)).hasMatch(), qPrintable(arguments.value(1)));
        }
        QCOMPARE(m_desktop.runs.size(), 1); // the mail program alone: no draft was opened
    }

    // The HTML goes to Thunderbird in a UTF-8 file in the hand-over folder,
    // the pairs applied to it, markup and all.
    void htmlBodyGoesToThunderbirdThroughAFile()
    {
        setMailProgram(QStringLiteral("thunderbird"));
        store::EditorValues editor;
        editor.plain = false;
        editor.subjectText = QStringLiteral("Caf\u00e9 NAME");
        editor.location = file(QStringLiteral("mail.html"), "<p title=\"NAME\">Gr\xfc\xdf" "e, NAME \x80</p>");
        editor.attachmentPaths = file(QStringLiteral("a, b.pdf"), "pdf");
        FakePairs pairs;
        pairs.set(0, QStringLiteral("NAME"), QStringLiteral("Zo\u00eb"));
        QVERIFY(launch(editor, pairs).displayed);
        const Received got = thunderbirdReads(recordedArguments().value(1));
        QCOMPARE(got.format, QStringLiteral("html"));
        QCOMPARE(got.subject, QStringLiteral("Caf\u00e9 Zo\u00eb"));
        QVERIFY(!got.keys.contains(QStringLiteral("body")));
        QCOMPARE(got.attachments, QStringList{editor.attachmentPaths});
        QVERIFY2(got.htmlFile.startsWith(m_setup.handoverDirectory + QStringLiteral("/Outgoing/")),
                 qPrintable(got.htmlFile));
        QCOMPARE(QString::fromUtf8(testfiles::contentsOf(got.htmlFile)),
                 QStringLiteral("<p title=\"Zo\u00eb\">Gr\u00fc\u00dfe, Zo\u00eb \u20ac</p>"));

        // Bodies handed over on earlier days go at the next HTML launch;
        // today's stay, as Thunderbird may not have read them yet.
        const QString outgoing = m_setup.handoverDirectory + QStringLiteral("/Outgoing/");
        QFile old(outgoing + QStringLiteral("body-old.html"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        QVERIFY(old.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
        old.close();
        QVERIFY(launch(editor, pairs).displayed);
        QVERIFY(!QFile::exists(old.fileName()));
        QVERIFY(QFile::exists(got.htmlFile));
    }

    // Without a default, the first installed mail program is used, with its
    // own command line.
    void installedProgramWithoutADefault()
    {
        m_desktop.defaults.remove(QStringLiteral("x-scheme-handler/mailto"));
        m_desktop.installed[QStringLiteral("claws-mail")] = standin;
        store::EditorValues editor;
        editor.subjectText = QStringLiteral("by search");
        editor.attachmentPaths = file(QStringLiteral("x.txt"), "x");
        QVERIFY(launch(editor).displayed);
        const Received got = clawsReads(recordedArguments());
        QCOMPARE(got.subject, QStringLiteral("by search"));
        QCOMPARE(got.attachments, QStringList{editor.attachmentPaths});
    }

    // A mail program that takes over a running copy ends at once; one that
    // starts stays running: both were handed the message.
    void programStillStartingCountsAsHandedOver()
    {
        setMailProgram(QStringLiteral("evolution"));
        qputenv("LETTERLOOM_STANDIN_STAY", "3000");
        m_setup.watchMs = 300;
        store::EditorValues editor;
        editor.subjectText = QStringLiteral("cold start");
        const compose::LaunchOutcome outcome = launch(editor);
        m_setup.watchMs = 5000;
        QVERIFY2(outcome.displayed && outcome.message.isEmpty(), qPrintable(outcome.message));
        QCOMPARE(mailtoReads(recordedArguments().value(0), false).subject, QStringLiteral("cold start"));
        QVERIFY(drafts().isEmpty());
    }

    // ---- the desktop's own look-ups --------------------------------------

    // Desktop entries' Exec lines become the command, the message's
    // arguments in place of the file code; Flatpak's forwarding marks stay
    // only for files.
    void commandsFromDesktopEntries_data()
    {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<bool>("files");
        QTest::addColumn<QStringList>("command");
        QTest::newRow("plain") << "/usr/bin/thunderbird %u" << false
                               << QStringList{"/usr/bin/thunderbird", "-compose", "x"};
        QTest::newRow("quotes and %%") << "\"/opt/a b/tb\" --name \"a \\\"b\\\"\" 100%% %U" << false
                                       << QStringList{"/opt/a b/tb", "--name", "a \"b\"", "100%", "-compose", "x"};
        QTest::newRow("no file code") << "kmail --composer" << false
                                      << QStringList{"kmail", "--composer", "-compose", "x"};
        QTest::newRow("other codes") << "kmail -qwindowtitle %c %i %u" << false
                                     << QStringList{"kmail", "-qwindowtitle", "-compose", "x"};
        QTest::newRow("flatpak, arguments")
            << "/usr/bin/flatpak run --command=thunderbird --file-forwarding org.mozilla.Thunderbird @@u %u @@" << false
            << QStringList{"/usr/bin/flatpak", "run", "--command=thunderbird", "--file-forwarding",
                           "org.mozilla.Thunderbird", "-compose", "x"};
        QTest::newRow("flatpak, files")
            << "/usr/bin/flatpak run --file-forwarding org.mozilla.Thunderbird @@u %u @@" << true
            << QStringList{"/usr/bin/flatpak", "run", "--file-forwarding", "org.mozilla.Thunderbird", "@@u",
                           "-compose", "x", "@@"};
    }
    void commandsFromDesktopEntries()
    {
        QFETCH(QString, exec);
        QFETCH(bool, files);
        QFETCH(QStringList, command);
        const platform::DesktopApplication app = application(QStringLiteral("x.desktop"), exec);
        QCOMPARE(platform::commandFor(app, {QStringLiteral("-compose"), QStringLiteral("x")}, files), command);
    }

    // The program is known by its desktop entry's name, a Flatpak's
    // command, or the name of the program the entry starts.
    void mailProgramsAreKnownByAnyOfTheirNames_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("exec");
        QTest::addColumn<int>("kind");
        using compose::ClientKind;
        QTest::newRow("entry name") << "org.gnome.Evolution.desktop" << "evolution %U" << int(ClientKind::Evolution);
        QTest::newRow("program name") << "userapp-Mail-3KX1.desktop" << "/opt/tb/thunderbird %u"
                                      << int(ClientKind::Thunderbird);
        QTest::newRow("flatpak command") << "com.example.Mail.desktop"
                                         << "/usr/bin/flatpak run --command=claws-mail org.claws_mail %u"
                                         << int(ClientKind::ClawsMail);
        QTest::newRow("unknown") << "mutt.desktop" << "xterm -e mutt %u" << int(ClientKind::Mailto);
    }
    void mailProgramsAreKnownByAnyOfTheirNames()
    {
        QFETCH(QString, id);
        QFETCH(QString, exec);
        QFETCH(int, kind);
        QCOMPARE(int(compose::clientKindOf(id, platform::splitExec(exec))), kind);
    }

    // The real look-up: GIO reads the desktop's mimeapps.list and entries.
    void gioFindsTheDefaultMailProgram()
    {
        QTemporaryDir data, config;
        writeFile(data.filePath(QStringLiteral("applications/letterloom-test-mail.desktop")),
                  "[Desktop Entry]\nType=Application\nName=Test Mail\nExec=" + standin.toUtf8()
                      + " --flag %u\nMimeType=x-scheme-handler/mailto;message/rfc822;\nCategories=Network;Email;\n");
        writeFile(config.filePath(QStringLiteral("mimeapps.list")),
                  "[Default Applications]\nx-scheme-handler/mailto=letterloom-test-mail.desktop\n"
                  "message/rfc822=letterloom-test-mail.desktop\n");
        QProcess child; // GIO reads the folders once per process: ask in a fresh one
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
        env.insert(QStringLiteral("XDG_DATA_DIRS"), data.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        env.insert(QStringLiteral("XDG_CONFIG_DIRS"), config.path());
        env.insert(QStringLiteral("LETTERLOOM_ASK_GIO"), QStringLiteral("1"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("askGio")});
        QVERIFY(child.waitForFinished(30000));
        const QStringList lines = QString::fromUtf8(child.readAllStandardOutput()).split(u'\n');
        QVERIFY2(lines.contains(QStringLiteral("x-scheme-handler/mailto|letterloom-test-mail.desktop|Test Mail|")
                                + standin + QStringLiteral(" --flag %u|Network Email")),
                 qPrintable(lines.join(u'\n')));
        QVERIFY2(lines.contains(QStringLiteral("message/rfc822|letterloom-test-mail.desktop|Test Mail|") + standin
                                + QStringLiteral(" --flag %u|Network Email")),
                 qPrintable(lines.join(u'\n')));
    }
    void askGio()
    {
        // Run only as the child of gioFindsTheDefaultMailProgram.
        if (!qEnvironmentVariableIsSet("LETTERLOOM_ASK_GIO"))
            QSKIP("asked by gioFindsTheDefaultMailProgram only");
        for (const char *type : {"x-scheme-handler/mailto", "message/rfc822"}) {
            const platform::DesktopApplication app = platform::systemDesktop().defaultApplication(QLatin1String(type));
            std::printf("%s|%s|%s|%s|%s\n", type, qPrintable(app.id), qPrintable(app.name),
                        qPrintable(app.command.join(u' ')), qPrintable(app.categories.join(u' ')));
        }
    }
};

QTEST_GUILESS_MAIN(TestMailClients)
#include "tst_mailclients_unix.moc"
