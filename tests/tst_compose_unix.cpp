// The Linux mail client: what reaches each mail program's command line (seen
// by a stand-in program that records its arguments, decoded by the rules of
// the program it stands in for), when the message goes the draft route
// instead and what the user is told, and the draft itself, read back by
// Python's email package.
#include "compose/compose.h"
#include "compose/mailclients.h"
#include "fakepairs.h"
#include "testfiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>


namespace {

const QString standin = QStringLiteral(RECORDARGS_STANDIN);

// ---- each mail program's own reading of its command line -----------------

// What a mail program took from its command line.
struct Received
{
    QString to, cc, bcc, subject, body, htmlFile, format;
    QStringList attachments;
    QStringList keys; // the fields it found, in order
};

QString percentDecoded(const QString &text, bool plusIsSpace)
{
    QByteArray bytes = text.toLatin1();
    if (plusIsSpace)
        bytes.replace('+', ' ');
    return QString::fromUtf8(QByteArray::fromPercentEncoding(bytes));
}

// Thunderbird's "-compose" argument: split at commas that are not inside a
// quoted value (a quote opens a value only right after "=" and closes before
// a comma or the end), the first occurrence of a key wins, a quoted value is
// taken as it is and any other is percent-decoded; attachments are file URLs
// separated by commas.
Received thunderbirdReads(const QString &data)
{
    QStringList pairs;
    QString current;
    QChar quote, previous;
    for (qsizetype i = 0; i < data.size(); ++i) {
        const QChar c = data.at(i);
        const QChar next = i + 1 < data.size() ? data.at(i + 1) : QChar();
        if (!quote.isNull() && c == quote && (next == u',' || next.isNull())) {
            quote = QChar();
            current += c;
        } else if ((c == u'\'' || c == u'"') && previous == u'=') {
            if (quote.isNull())
                quote = c;
            current += c;
        } else if (c == u',' && quote.isNull()) {
            pairs << current;
            current.clear();
        } else {
            current += c;
        }
        previous = c;
    }
    pairs << current;
    QMap<QString, QString> fields;
    Received r;
    for (qsizetype i = pairs.size() - 1; i >= 0; --i) {
        const qsizetype eq = pairs.at(i).indexOf(u'=');
        if (eq < 0)
            continue;
        const QString value = pairs.at(i).mid(eq + 1);
        fields[pairs.at(i).left(eq)] = value.size() >= 2 && value.startsWith(u'\'') && value.endsWith(u'\'')
                                           ? value.mid(1, value.size() - 2)
                                           : percentDecoded(value, false);
    }
    r.keys = fields.keys();
    r.to = fields.value(QStringLiteral("to"));
    r.cc = fields.value(QStringLiteral("cc"));
    r.bcc = fields.value(QStringLiteral("bcc"));
    r.subject = fields.value(QStringLiteral("subject"));
    r.body = fields.value(QStringLiteral("body"));
    r.format = fields.value(QStringLiteral("format"));
    r.htmlFile = fields.value(QStringLiteral("message"));
    if (!fields.value(QStringLiteral("attachment")).isEmpty()) {
        for (const QString &url : fields.value(QStringLiteral("attachment")).split(u','))
            r.attachments << QUrl(url).toLocalFile();
    }
    return r;
}

// A mailto: address as the programs read it: the addresses up to the first
// "?", then fields split at "&" and at their first "="; every value
// percent-decoded, "+" as a space for Claws Mail and Sylpheed; the first
// subject and body count; "attach" may repeat (Evolution, Geary).
Received mailtoReads(const QString &url, bool plusIsSpace)
{
    Received r;
    if (!url.startsWith(QLatin1String("mailto:")))
        return r;
    const QString rest = url.mid(7);
    const qsizetype question = rest.indexOf(u'?');
    r.to = percentDecoded(rest.left(question), plusIsSpace);
    if (question < 0)
        return r;
    for (const QString &field : rest.mid(question + 1).split(u'&')) {
        const qsizetype eq = field.indexOf(u'=');
        const QString key = field.left(eq).toLower();
        const QString value = percentDecoded(field.mid(eq + 1), plusIsSpace);
        r.keys << key;
        if (key == QLatin1String("cc"))
            r.cc = value;
        else if (key == QLatin1String("bcc"))
            r.bcc = value;
        else if (key == QLatin1String("subject") && r.subject.isEmpty())
            r.subject = value;
        else if (key == QLatin1String("body") && r.body.isEmpty())
            r.body = value;
        else if (key == QLatin1String("attach"))
            r.attachments << value;
    }
    return r;
}

// Claws Mail and Sylpheed: "--compose URL", then "--attach" and the names
// that follow it up to one that begins with "-".
Received clawsReads(const QStringList &arguments)
{
    Received r = mailtoReads(arguments.value(arguments.indexOf(QStringLiteral("--compose")) + 1), true);
    const qsizetype attach = arguments.indexOf(QStringLiteral("--attach"));
    for (qsizetype i = attach + 1; attach >= 0 && i < arguments.size() && !arguments.at(i).startsWith(u'-'); ++i)
        r.attachments << arguments.at(i);
    return r;
}

// KMail's options, as its command-line parser reads them: each option takes
// the next argument as its value, "--" ends the options, and what follows
// are the addresses.
Received kmailReads(const QStringList &arguments)
{
    Received r;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a == QLatin1String("--")) {
            r.to = arguments.mid(i + 1).join(QStringLiteral(", "));
            break;
        }
        if (a == QLatin1String("--composer"))
            continue;
        const QString value = arguments.value(++i);
        r.keys << a;
        if (a == QLatin1String("--subject"))
            r.subject = value;
        else if (a == QLatin1String("--cc"))
            r.cc = value;
        else if (a == QLatin1String("--bcc"))
            r.bcc = value;
        else if (a == QLatin1String("--body"))
            r.body = value;
        else if (a == QLatin1String("--attach"))
            r.attachments << value;
    }
    return r;
}

Received clientReads(const QString &client, const QStringList &arguments)
{
    if (client == QLatin1String("thunderbird"))
        return arguments.value(0) == QLatin1String("-compose") ? thunderbirdReads(arguments.value(1)) : Received();
    if (client == QLatin1String("claws-mail") || client == QLatin1String("sylpheed"))
        return clawsReads(arguments);
    if (client == QLatin1String("kmail"))
        return kmailReads(arguments);
    return arguments.size() == 1 ? mailtoReads(arguments.first(), false) : Received();
}

// ---- the desktop --------------------------------------------------------

// The desktop's default applications and installed programs as the test
// sets them; programs are started for real (the stand-in), and every start
// is noted.
struct TestDesktop final : platform::Desktop
{
    QMap<QString, platform::DesktopApplication> defaults;
    QMap<QString, QString> installed;
    QList<QStringList> runs;

    platform::DesktopApplication defaultApplication(const QString &type) override { return defaults.value(type); }
    QString findExecutable(const QString &name) override { return installed.value(name); }
    platform::ProgramRun run(const QString &program, const QStringList &arguments, int watchMs) override
    {
        runs << (QStringList{program} + arguments);
        return Desktop::run(program, arguments, watchMs);
    }
};

platform::DesktopApplication application(const QString &id, const QString &exec,
                                         const QString &categories = QStringLiteral("Network;Email;"))
{
    return {id, id.section(u'.', 0, 0), platform::splitExec(exec), categories.split(u';', Qt::SkipEmptyParts)};
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    testfiles::writeBytes(path, bytes);
}

// A Thunderbird profile folder as Thunderbird 153 leaves it after its
// account setup; the parts a test leaves out are what the user never set up.
void makeThunderbirdProfile(const QString &home, bool installDefault, bool account, bool startWithLast = true)
{
    const QString root = home + QStringLiteral("/.thunderbird");
    QByteArray profiles = "[Profile0]\nName=default\nIsRelative=1\nPath=abcd.default\nDefault=1\n\n[General]\n"
                          "StartWithLastProfile=" + QByteArray(startWithLast ? "1" : "0") + "\nVersion=2\n";
    writeFile(root + QStringLiteral("/profiles.ini"), profiles);
    if (installDefault)
        writeFile(root + QStringLiteral("/installs.ini"), "[FDC34C9F024745EB]\nDefault=abcd.default\nLocked=1\n");
    QByteArray prefs = "user_pref(\"mail.accountmanager.accounts\", \"account2,account1\");\n"
                       "user_pref(\"mail.account.account1.server\", \"server1\");\n";
    if (account)
        prefs += "user_pref(\"mail.account.account2.identities\", \"id1\");\n";
    writeFile(root + QStringLiteral("/abcd.default/prefs.js"), prefs);
}

// Every mail program set up with an account.
void setUpEveryClient(const QString &home)
{
    makeThunderbirdProfile(home, true, true);
    writeFile(home + QStringLiteral("/.claws-mail/accountrc"), "[Account: 1]\naccount_name=Tester\n");
    writeFile(home + QStringLiteral("/.sylpheed-2.0/accountrc"), "[Account: 1]\naccount_name=Tester\n");
    writeFile(home + QStringLiteral("/.config/geary/account_01/geary.ini"), "[Metadata]\nversion=1\n");
}

// The desktop entry of each mail program, as Debian installs it.
const QMap<QString, QString> &desktopEntries()
{
    static const QMap<QString, QString> entries{
        {QStringLiteral("thunderbird"), QStringLiteral("thunderbird.desktop|%1 %u")},
        {QStringLiteral("evolution"), QStringLiteral("org.gnome.Evolution.desktop|%1 %U")},
        {QStringLiteral("claws-mail"), QStringLiteral("claws-mail.desktop|%1 %u")},
        {QStringLiteral("sylpheed"), QStringLiteral("sylpheed.desktop|%1 %u")},
        {QStringLiteral("kmail"), QStringLiteral("org.kde.kmail2.desktop|%1 -qwindowtitle %c %u")},
        {QStringLiteral("geary"), QStringLiteral("org.gnome.Geary.desktop|%1 %U")},
        {QStringLiteral("other"), QStringLiteral("mutt-in-a-terminal.desktop|%1 %u")},
    };
    return entries;
}

} // namespace

class TestComposeUnix : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_record;
    TestDesktop m_desktop;
    compose::DesktopMailSetup m_setup;

    QString file(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        writeFile(path, bytes);
        return path;
    }

    compose::LaunchOutcome launch(store::EditorValues &editor, FakePairs pairs = {})
    {
        return compose::ComposeEmail(editor, pairs, compose::desktopMailClients(m_setup));
    }

    void setMailProgram(const QString &client)
    {
        const QStringList entry = desktopEntries().value(client).split(u'|');
        m_desktop.defaults[QStringLiteral("x-scheme-handler/mailto")] =
            application(entry.at(0), entry.at(1).arg(standin));
    }

    // The arguments the stand-in was last started with.
    QStringList recordedArguments()
    {
        if (!QTest::qWaitFor([&] { return QFile::exists(m_record); }, 10000))
            return {QStringLiteral("<the stand-in was not started>")};
        QByteArray bytes = testfiles::contentsOf(m_record);
        QFile::remove(m_record);
        bytes.chop(1);
        QStringList arguments;
        for (const QByteArray &arg : bytes.split('\0'))
            arguments << QString::fromUtf8(arg);
        return arguments;
    }

    // The draft, as Python's email package reads it.
    QJsonObject parsedDraft(const QString &path)
    {
        QProcess python;
        python.start(QStringLiteral("python3"),
                     {QString::fromUtf8(qgetenv("LETTERLOOM_SOURCE_DIR")) + QStringLiteral("/tests/standins/parse_eml.py"),
                      path});
        if (!python.waitForFinished(30000) || python.exitCode() != 0)
            qWarning("%s", python.readAllStandardError().constData());
        return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    }

    QStringList drafts() const
    {
        const QDir dir(m_setup.handoverDirectory + QStringLiteral("/Drafts"));
        QStringList paths;
        for (const QString &name : dir.entryList({QStringLiteral("*.eml")}, QDir::Files))
            paths << dir.filePath(name);
        return paths;
    }
    // The next start of the stand-in fails, as long as this file is there.
    QString failNext() const { return m_dir.filePath(QStringLiteral("fail-next")); }

    QString onlyDraft() const { return drafts().size() == 1 ? drafts().first() : QString(); }

private slots:
    void initTestCase()
    {
        QVERIFY(qEnvironmentVariableIsSet("LETTERLOOM_SOURCE_DIR"));
        m_record = m_dir.filePath(QStringLiteral("arguments"));
        qputenv("LETTERLOOM_STANDIN_RECORD", QFile::encodeName(m_record));
        qputenv("LETTERLOOM_STANDIN_FAIL", QFile::encodeName(failNext()));
        m_setup.desktop = &m_desktop;
        m_setup.handoverDirectory = m_dir.filePath(QStringLiteral("Letterloom"));
        m_setup.home = m_dir.filePath(QStringLiteral("home"));
        m_setup.watchMs = 5000;
    }

    void init()
    {
        QDir(m_setup.home).removeRecursively();
        QDir(m_setup.handoverDirectory).removeRecursively();
        QFile::remove(m_record);
        setUpEveryClient(m_setup.home);
        m_desktop = TestDesktop();
        m_desktop.defaults[QStringLiteral("message/rfc822")] =
            application(QStringLiteral("drafts.desktop"), standin + QStringLiteral(" --open-draft %f"));
        QFile::remove(failNext());
        qunsetenv("LETTERLOOM_STANDIN_STAY");
    }

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
        editor.subjectText = QStringLiteral("kept");
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
        QCOMPARE(parsed[QLatin1String("headers")][QLatin1String("Subject")].toString(), QStringLiteral("kept"));
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
        editor.toText = QStringLiteral("J\u00f6rg M\u00fcller <joerg@example.de>, b@example.org");
        editor.ccText = QStringLiteral("\"Doe, John\" <john@example.org>");
        editor.bccText = QStringLiteral("one@example.org; two@example.org"); // as Outlook users type them
        editor.subjectText = QStringLiteral("Gr\u00fc\u00dfe \U0001F600, \"quoted\" ',attachment='file:///etc/passwd 100% =?x?= "
                                            "a=b and a subject long enough to be folded over more than one line");
        editor.bodyText = QStringLiteral("Dear J\u00f6rg, \r\n\r\n.\r\nFrom the start\r\n=41 stays =41 \u20ac\r\nends in a space ");
        editor.plain = !html;
        if (html)
            editor.location = file(QStringLiteral("m.html"), "<html><body><p>Caf\xe9 \x80 =3D</p></body></html>\r\n");
        editor.attachmentPaths = paths.join(u';');
        const compose::LaunchOutcome outcome = launch(editor);
        QVERIFY2(outcome.displayed, qPrintable(outcome.message));

        const QJsonObject parsed = parsedDraft(onlyDraft());
        QVERIFY(!parsed.isEmpty());
        QCOMPARE(parsed[QLatin1String("defects")].toArray().size(), 0);
        QCOMPARE(parsed[QLatin1String("long_lines")].toInt(), 0);
        // Folded headers, quoted-printable and base64 keep to the usual width.
        QVERIFY(parsed[QLatin1String("longest_line")].toInt() <= 78);
        QCOMPARE(parsed[QLatin1String("bare_lf")].toInt(), 0);
        const QJsonObject headers = parsed[QLatin1String("headers")].toObject();
        QCOMPARE(headers[QLatin1String("X-Unsent")].toString(), QStringLiteral("1"));
        QCOMPARE(headers[QLatin1String("MIME-Version")].toString(), QStringLiteral("1.0"));
        QVERIFY(headers[QLatin1String("From")].isNull());
        // The first header makes file-type detection take the file for a message.
        QCOMPARE(parsed[QLatin1String("header_names")].toArray().first().toString(), QStringLiteral("Date"));
        QVERIFY(!parsed[QLatin1String("header_names")].toArray().contains(QStringLiteral("X-Injected")));
        QCOMPARE(headers[QLatin1String("Subject")].toString(), editor.subjectText);
        QCOMPARE(headers[QLatin1String("To")].toString(), editor.toText);
        QCOMPARE(headers[QLatin1String("Cc")].toString(), editor.ccText);
        QCOMPARE(headers[QLatin1String("Bcc")].toString(), editor.bccText);
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

QTEST_GUILESS_MAIN(TestComposeUnix)
#include "tst_compose_unix.moc"
