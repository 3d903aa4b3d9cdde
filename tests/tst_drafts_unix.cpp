// The draft route: when a launch becomes an unsent draft instead, what the
// user is told, and the draft itself, read back by Python's email package.
#include "support/mailprograms_unix.h"

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
    void draftWhenTheProgramCannotShowItAll_data() { testdata::addRows(QStringLiteral("drafts")); }
    void draftWhenTheProgramCannotShowItAll()
    {
        QFETCH(QString, client);
        QFETCH(QString, setUp);
        QFETCH(QString, reason);
        QFETCH(QString, told);
        QFETCH(QString, started);
        if (told.isEmpty())
            told = "\" and handed to drafts, the desktop's program for e-mail files.";
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
        QCOMPARE(m_desktop.runs.size(), started.isEmpty() ? 1 : started.toInt());
        if (!m_desktop.runs.isEmpty())
            QCOMPARE(m_desktop.runs.last(), (QStringList{standin, "--open-draft", draft}));
        // An HTML body written for the program that did not take it is gone.
        QCOMPARE(handedOver("Outgoing"), QStringList());
        checkDraft(draft, editor);
    }

    // A launch cut short stops with a message: nothing half written is
    // handed over or left behind as a draft. A file handed to a mail program
    // that cannot be written whole (a full disk); an attachment that goes
    // away while the launch runs (the window handles its events before each
    // one).
    void aLaunchCutShortHandsNothingOver_data() { testdata::addRows(QStringLiteral("cut-short")); }
    void aLaunchCutShortHandsNothingOver()
    {
        QFETCH(QString, client);
        QFETCH(QString, fault);
        QFETCH(QString, said);
        setMailProgram(client);
        store::EditorValues editor = hardMessage(fault == "full disk");
        editor.location = file("big.html", "<p>" + QByteArray(200000, 'x') + "</p>");
        const QString second = editor.attachmentPaths.section(u';', 1, 1);
        testfiles::SmallDisk disk(64);
        std::unique_ptr<testfiles::FileSizeLimit> limit;
        if (fault == "attachment gone") {
            editor.onYield = [&](int) { QFile::rename(second, second + ".gone"); };
        } else if (disk.mounted()) {
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

private:
    // Takes one step back from the setup of a mail program in the home, or
    // from the desktop's: a change that the draft-route table names.
    void changeSetUp(const QString &change)
    {
        const QString step = change.section(u' ', 0, 0), rest = change.section(u' ', 1);
        const QString path = m_setup.home + u'/' + rest.section(": ", 0, 0);
        const QStringList edit = rest.section(": ", 1).split(" > ");
        if (step == "remove" && !QFile::remove(path))
            QDir(path).removeRecursively();
        else if (step == "empty")
            writeFile(path, "");
        else if (step == "edit")
            writeFile(path, testfiles::contentsOf(path).replace(edit.value(0).toUtf8(), edit.value(1).toUtf8()));
        else if (step == "drafts") // the desktop's program for e-mail files
            m_desktop.defaults["message/rfc822"] = application(rest.section(u'|', 0, 0), rest.section(u'|', 1).replace("%1", standin));
        else if (change == "fails") // the first program started
            writeFile(failNext(), "");
        else if (change == "no draft opener")
            m_desktop.defaults.remove("message/rfc822");
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
    // (The addresses as Python reads them: tst_messageroutes_unix's random
    // drafts.)
    void checkDraft(const QString &draft, const store::EditorValues &editor)
    {
        const QJsonObject parsed = readByPython({}, {QJsonObject{{"kind", "eml"}, {"path", draft}}}).at(0).toObject();
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
