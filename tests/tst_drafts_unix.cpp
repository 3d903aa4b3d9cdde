// The draft route: when a launch becomes an unsent draft instead, what the
// user is told, and the draft itself, read back by Python's email package.
#include "mailclienttesting.h"

using namespace mailtesting;

class TestDrafts : public QObject, private MailClientFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { start(); }
    void init() { reset(); }

    // ---- the draft route, and what the user is told ---------------------

    // Whatever keeps the mail program from showing the whole message sends
    // it the draft route instead, and the message says why, where the
    // draft is and which program opened it.
    void draftWhenTheProgramCannotShowItAll_data()
    {
        QTest::addColumn<QString>("client");
        QTest::addColumn<QString>("setUp");  // what the test changes
        QTest::addColumn<QString>("reason"); // what the message says
        QTest::newRow("no mail program") << QString() << QString() << QStringLiteral("No mail program");
        QTest::newRow("evolution: HTML") << "evolution" << "html" << "Evolution cannot be handed the HTML body";
        QTest::newRow("claws: HTML") << "claws-mail" << "html" << "Claws Mail cannot be handed the HTML body";
        QTest::newRow("kmail: HTML") << "kmail" << "html" << "KMail cannot be handed the HTML body";
        QTest::newRow("mailto handler: attachments")
            << "other" << "attachment" << "mutt-in-a-terminal cannot be handed the attachments";
        QTest::newRow("mailto handler: HTML and attachments")
            << "other" << "html attachment" << "cannot be handed the HTML body and the attachments";
        QTest::newRow("a browser handles mailto:") << "browser" << QString() << "which is not a mail program";
        QTest::newRow("thunderbird: no profile") << "thunderbird" << "no thunderbird" << "no profile";
        QTest::newRow("thunderbird: no default profile")
            << "thunderbird" << "no install default" << "no default profile";
        QTest::newRow("thunderbird: no account") << "thunderbird" << "no account" << "no e-mail account";
        QTest::newRow("thunderbird: asks for a profile")
            << "thunderbird" << "profile manager" << "asks which profile";
        QTest::newRow("claws: no account") << "claws-mail" << "no accountrc" << "Claws Mail has no e-mail account";
        QTest::newRow("sylpheed: no account") << "sylpheed" << "no accountrc" << "Sylpheed has no e-mail account";
        QTest::newRow("geary: no account") << "geary" << "no geary" << "Geary has no e-mail account";
        QTest::newRow("ends with an error") << "evolution" << "exit 3" << "exit status 3";
        QTest::newRow("cannot start") << "missing" << QString() << "could not be started";
        QTest::newRow("body too long") << "thunderbird" << "long body" << "too long";
        QTest::newRow("HTML, subject too long") << "thunderbird" << "html long subject" << "too long";
    }
    void draftWhenTheProgramCannotShowItAll()
    {
        QFETCH(QString, client);
        QFETCH(QString, setUp);
        QFETCH(QString, reason);
        if (client.isEmpty())
            m_desktop.defaults.remove(QStringLiteral("x-scheme-handler/mailto"));
        else if (client == QLatin1String("browser"))
            m_desktop.defaults[QStringLiteral("x-scheme-handler/mailto")] = application(
                QStringLiteral("firefox-esr.desktop"), standin + QStringLiteral(" %u"), QStringLiteral("Network;WebBrowser;"));
        else if (client == QLatin1String("missing"))
            m_desktop.defaults[QStringLiteral("x-scheme-handler/mailto")] =
                application(QStringLiteral("thunderbird.desktop"), QStringLiteral("/nonexistent/thunderbird %u"));
        else
            setMailProgram(client);
        const QString tb = m_setup.home + QStringLiteral("/.thunderbird");
        if (setUp == QLatin1String("no thunderbird"))
            QDir(tb).removeRecursively();
        if (setUp == QLatin1String("no install default"))
            makeThunderbirdProfile(m_setup.home, false, true), QFile::remove(tb + QStringLiteral("/installs.ini"));
        if (setUp == QLatin1String("no account"))
            makeThunderbirdProfile(m_setup.home, true, false);
        if (setUp == QLatin1String("profile manager"))
            makeThunderbirdProfile(m_setup.home, true, true, false);
        if (setUp == QLatin1String("no accountrc")) {
            QFile::remove(m_setup.home + QStringLiteral("/.claws-mail/accountrc"));
            writeFile(m_setup.home + QStringLiteral("/.sylpheed-2.0/accountrc"), "");
        }
        if (setUp == QLatin1String("no geary"))
            QDir(m_setup.home + QStringLiteral("/.config/geary")).removeRecursively();
        if (setUp == QLatin1String("exit 3"))
            writeFile(failNext(), "");

        store::EditorValues editor;
        editor.subjectText = setUp.contains(QLatin1String("long subject")) ? QString(200000, u's') : QStringLiteral("kept");
        editor.bodyText = setUp == QLatin1String("long body") ? QString(200000, u'\u00e4') : QStringLiteral("body");
        if (setUp.contains(QLatin1String("html"))) {
            editor.plain = false;
            editor.location = file(QStringLiteral("m.html"), "<p>kept</p>");
        }
        if (setUp.contains(QLatin1String("attachment")))
            editor.attachmentPaths = file(QStringLiteral("a.txt"), "a");
        const compose::LaunchOutcome outcome = launch(editor);

        QVERIFY2(outcome.displayed, qPrintable(outcome.message));
        const QString draft = onlyDraft();
        QVERIFY(!draft.isEmpty());
        QVERIFY2(outcome.message.contains(reason), qPrintable(outcome.message));
        QVERIFY2(outcome.message.contains(QStringLiteral("saved as a draft in \"%1\" and handed to drafts, the desktop's program for e-mail files").arg(draft)),
                 qPrintable(outcome.message));
        // The draft went to the program for e-mail files, and only the
        // program that failed was started before it.
        QCOMPARE(m_desktop.runs.last(), (QStringList{standin, QStringLiteral("--open-draft"), draft}));
        const bool programRan = setUp == QLatin1String("exit 3") || client == QLatin1String("missing");
        QCOMPARE(m_desktop.runs.size(), programRan ? 2 : 1);
        const QJsonObject parsed = parsedDraft(draft);
        QCOMPARE(parsed[QLatin1String("headers")][QLatin1String("Subject")].toString(), editor.subjectText);
        // An HTML body written for the program that did not take it is gone.
        QCOMPARE(QDir(m_setup.handoverDirectory + QStringLiteral("/Outgoing")).entryList(QDir::Files), QStringList());
        QCOMPARE(parsed[QLatin1String("attachments")].toArray().size(), editor.attachmentPaths.isEmpty() ? 0 : 1);
        if (editor.plain)
            QCOMPARE(parsed[QLatin1String("body")].toString(), editor.bodyText);
    }

    // The draft is opened with the desktop's program for e-mail files; when
    // there is none, or it fails, the message says so and where the draft is.
    void draftOpenerMissingOrFailing_data()
    {
        QTest::addColumn<bool>("opener");
        QTest::addColumn<QString>("said");
        QTest::newRow("no program for e-mail files") << false << QStringLiteral("no program on this desktop opens");
        QTest::newRow("the program fails") << true << QStringLiteral("could not be opened: drafts ended with an error");
    }
    void draftOpenerMissingOrFailing()
    {
        QFETCH(bool, opener);
        QFETCH(QString, said);
        m_desktop.defaults.remove(QStringLiteral("x-scheme-handler/mailto"));
        if (!opener)
            m_desktop.defaults.remove(QStringLiteral("message/rfc822"));
        writeFile(failNext(), "");
        store::EditorValues editor;
        const compose::LaunchOutcome outcome = launch(editor);
        QVERIFY(outcome.displayed);
        QVERIFY(!onlyDraft().isEmpty());
        QVERIFY2(outcome.message.contains(said) && outcome.message.contains(onlyDraft()), qPrintable(outcome.message));
        QVERIFY(!outcome.message.contains(QLatin1String("handed to")));
    }

    // A mail program that is not set up is not asked to open the draft
    // either: it would show its setup assistant, not the draft.
    void draftNotOpenedByAProgramNotSetUp()
    {
        setMailProgram(QStringLiteral("thunderbird"));
        m_desktop.defaults[QStringLiteral("message/rfc822")] =
            application(QStringLiteral("thunderbird.desktop"), standin + QStringLiteral(" %u"));
        makeThunderbirdProfile(m_setup.home, true, false);
        store::EditorValues editor;
        const compose::LaunchOutcome outcome = launch(editor);
        QVERIFY(outcome.displayed);
        QVERIFY(!onlyDraft().isEmpty());
        QVERIFY2(outcome.message.contains(QLatin1String("no e-mail account"))
                     && outcome.message.contains(onlyDraft() + QStringLiteral("\": open it with your mail program once")),
                 qPrintable(outcome.message));
        QVERIFY(m_desktop.runs.isEmpty());
    }

    // A file handed to a mail program that cannot be written whole (a full
    // disk) stops the launch with a message: nothing half written is handed
    // over or left behind as a draft.
    void fullDiskHandsNothingOver_data()
    {
        QTest::addColumn<QString>("client");
        QTest::addColumn<QString>("said");
        QTest::newRow("HTML body for Thunderbird") << "thunderbird" << "The HTML body could not be handed to Thunderbird";
        QTest::newRow("draft") << "evolution" << "could not be saved as a draft";
    }
    void fullDiskHandsNothingOver()
    {
        QFETCH(QString, client);
        QFETCH(QString, said);
        setMailProgram(client);
        store::EditorValues editor;
        editor.plain = false;
        editor.location = file(QStringLiteral("big.html"), "<p>" + QByteArray(200000, 'x') + "</p>");
        testfiles::SmallDisk disk(64);
        std::unique_ptr<testfiles::FileSizeLimit> limit;
        if (disk.mounted()) {
            m_setup.handoverDirectory = disk.filePath(QStringLiteral("Letterloom"));
            QDir().mkpath(m_setup.handoverDirectory + QStringLiteral("/Outgoing"));
            QDir().mkpath(m_setup.handoverDirectory + QStringLiteral("/Drafts"));
            disk.fill();
        } else {
            limit = std::make_unique<testfiles::FileSizeLimit>(64 * 1024);
        }
        const compose::LaunchOutcome outcome = launch(editor);
        limit.reset();
        const QStringList left = QDir(m_setup.handoverDirectory + QStringLiteral("/Drafts")).entryList(QDir::Files)
                                 + QDir(m_setup.handoverDirectory + QStringLiteral("/Outgoing")).entryList(QDir::Files);
        m_setup.handoverDirectory = m_dir.filePath(QStringLiteral("Letterloom"));
        QVERIFY(!outcome.displayed);
        QVERIFY2(outcome.message.contains(said), qPrintable(outcome.message));
        QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));
        QVERIFY(m_desktop.runs.isEmpty()); // no mail program, no draft opener started
    }

    // Every header, the body and each attachment's bytes and name, read back
    // by an independent MIME parser.
    void draftReadBackByPython_data()
    {
        QTest::addColumn<bool>("html");
        QTest::newRow("plain") << false;
        QTest::newRow("html") << true;
    }
    void draftReadBackByPython()
    {
        QFETCH(bool, html);
        m_desktop.defaults.remove(QStringLiteral("x-scheme-handler/mailto"));
        store::EditorValues editor;
        editor.toText = QStringLiteral("J\u00f6rg M\u00fcller <joerg@example.de>, b@example.org");
        editor.ccText = QStringLiteral("\"Doe, John\" <john@example.org>");
        editor.bccText = QStringLiteral("one@example.org; two@example.org"); // as Outlook users type them
        editor.subjectText = QStringLiteral("Gr\u00fc\u00dfe \U0001F600, \"quoted\" ',attachment='file:///etc/passwd 100% =?x?= "
                                            "a=b and a subject long enough to be folded over more than one line");
        editor.bodyText = QStringLiteral("Dear J\u00f6rg, \r\n\r\n.\r\nFrom the start\r\n=41 stays =41 \u20ac\r\nends in a space ");
        editor.plain = !html;
        if (html)
            editor.location = file(QStringLiteral("m.html"), "<html><body><p>Caf\xe9 \x80 =3D</p></body></html>\r\n");
        const compose::LaunchOutcome outcome = launch(editor);
        QVERIFY2(outcome.displayed, qPrintable(outcome.message));

        const QJsonObject parsed = parsedDraft(onlyDraft());
        QVERIFY(!parsed.isEmpty());
        QCOMPARE(parsed[QLatin1String("defects")].toArray().size(), 0);
        // A space at a line's end is written so that no mail program drops it.
        if (!html)
            QVERIFY(testfiles::contentsOf(onlyDraft()).contains("ends in a space=20"));
        // Folded headers, quoted-printable and base64 keep to the usual width.
        QVERIFY(parsed[QLatin1String("longest_line")].toInt() <= 78);
        QCOMPARE(parsed[QLatin1String("bare_lf")].toInt(), 0);
        const QJsonObject headers = parsed[QLatin1String("headers")].toObject();
        QCOMPARE(headers[QLatin1String("X-Unsent")].toString(), QStringLiteral("1"));
        QCOMPARE(headers[QLatin1String("MIME-Version")].toString(), QStringLiteral("1.0"));
        QVERIFY(headers[QLatin1String("From")].isNull());
        // The first header makes file-type detection take the file for a message.
        QCOMPARE(parsed[QLatin1String("header_names")].toArray().first().toString(), QStringLiteral("Date"));
        const QStringList sent = {editor.subjectText, editor.toText, editor.ccText, editor.bccText};
        const QStringList read = {headers[QLatin1String("Subject")].toString(), headers[QLatin1String("To")].toString(),
                                  headers[QLatin1String("Cc")].toString(), headers[QLatin1String("Bcc")].toString()};
        QCOMPARE(read, sent);
        const QJsonObject addresses = parsed[QLatin1String("addresses")].toObject();
        QCOMPARE(addresses[QLatin1String("To")].toArray(),
                 QJsonArray({QJsonArray{QStringLiteral("J\u00f6rg M\u00fcller"), QStringLiteral("joerg@example.de")},
                             QJsonArray{QString(), QStringLiteral("b@example.org")}}));
        QCOMPARE(addresses[QLatin1String("Cc")].toArray(),
                 QJsonArray({QJsonArray{QStringLiteral("Doe, John"), QStringLiteral("john@example.org")}}));

        QCOMPARE(parsed[QLatin1String("body_type")].toString(),
                 html ? QStringLiteral("text/html") : QStringLiteral("text/plain"));
        // Line ends stay CR LF, as they are in the box and in the file.
        const QString expectedBody =
            html ? QStringLiteral("<html><body><p>Caf\u00e9 \u20ac =3D</p></body></html>\r\n") : editor.bodyText;
        QCOMPARE(parsed[QLatin1String("body")].toString(), expectedBody);
    }

    // Each attachment's name and bytes, whatever the name holds.
    void draftAttachmentsKeepTheirNamesAndBytes()
    {
        m_desktop.defaults.remove(QStringLiteral("x-scheme-handler/mailto"));
        QByteArray binary;
        for (int i = 0; i < 3000; ++i)
            binary += char(i * 7 % 256);
        const QStringList names{QStringLiteral("with space, and comma.bin"), QStringLiteral("it's \"quoted\".txt"),
                                QStringLiteral("Gr\u00fc\u00dfe \u00e9t\u00e9 \u4e2d.pdf"), QStringLiteral("plain.png"),
                                QStringLiteral("a=b 100%25 ',x.txt"),
                                QStringLiteral("line\r\nContent-Disposition: inline\nX-Injected: 1.txt"),
                                QStringLiteral("a very long file name that goes on and on past any header line width "
                                               "\u00e4\u00f6\u00fc and on.bin")};
        QStringList paths;
        for (const QString &name : names)
            paths << file(name, binary + name.toUtf8());
        store::EditorValues editor;
        editor.attachmentPaths = paths.join(u';');
        QVERIFY(launch(editor).displayed);

        const QJsonObject parsed = parsedDraft(onlyDraft());
        QCOMPARE(parsed[QLatin1String("defects")].toArray().size(), 0);
        QVERIFY(parsed[QLatin1String("longest_line")].toInt() <= 78);
        QVERIFY(!parsed[QLatin1String("header_names")].toArray().contains(QStringLiteral("X-Injected")));
        const QJsonArray attachments = parsed[QLatin1String("attachments")].toArray();
        QCOMPARE(attachments.size(), names.size());
        for (qsizetype i = 0; i < names.size(); ++i) {
            const QJsonObject part = attachments.at(i).toObject();
            QCOMPARE(part[QLatin1String("filename")].toString(), names.at(i));
            QCOMPARE(part[QLatin1String("disposition")].toString(), QStringLiteral("attachment"));
            QCOMPARE(part[QLatin1String("header_names")].toArray(),
                     QJsonArray({QStringLiteral("Content-Type"), QStringLiteral("Content-Disposition"),
                                 QStringLiteral("Content-Transfer-Encoding")}));
            QCOMPARE(QByteArray::fromBase64(part[QLatin1String("data")].toString().toLatin1()),
                     binary + names.at(i).toUtf8());
        }
        QCOMPARE(attachments.at(2).toObject()[QLatin1String("type")].toString(), QStringLiteral("application/pdf"));
        QCOMPARE(attachments.at(3).toObject()[QLatin1String("type")].toString(), QStringLiteral("image/png"));
    }

    // A header cannot hold a line break: it becomes a space and starts nothing.
    void draftHeadersCannotBeInjected()
    {
        m_desktop.defaults.remove(QStringLiteral("x-scheme-handler/mailto"));
        store::EditorValues editor;
        editor.toText = QStringLiteral("a@x.org\r\nBcc: spy@evil.org");
        editor.subjectText = QStringLiteral("hi\nX-Injected: yes\r\n\r\nbody?");
        QVERIFY(launch(editor).displayed);
        const QJsonObject parsed = parsedDraft(onlyDraft());
        const QJsonObject headers = parsed[QLatin1String("headers")].toObject();
        QCOMPARE(headers[QLatin1String("To")].toString(), QStringLiteral("a@x.org  Bcc: spy@evil.org"));
        QVERIFY(headers[QLatin1String("Bcc")].isNull());
        QCOMPARE(headers[QLatin1String("Subject")].toString(), QStringLiteral("hi X-Injected: yes    body?"));
        QVERIFY(!parsed[QLatin1String("header_names")].toArray().contains(QStringLiteral("X-Injected")));
    }

};

QTEST_GUILESS_MAIN(TestDrafts)
#include "tst_drafts_unix.moc"
