#pragma once

// What the tests of the Linux mail programs share: how each program reads its
// command line, a desktop whose default applications the test sets, mail
// programs set up in a home of their own, and a stand-in that records the
// arguments it is started with.
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

namespace mailtesting {

inline const QString standin = QStringLiteral(RECORDARGS_STANDIN);

// ---- each mail program's own reading of its command line -----------------

// What a mail program took from its command line.
struct Received
{
    QString to, cc, bcc, subject, body, htmlFile, format;
    QStringList attachments;
    QStringList keys; // the fields it found, in order
};

inline QString percentDecoded(const QString &text, bool plusIsSpace)
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
inline Received thunderbirdReads(const QString &data)
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
inline Received mailtoReads(const QString &url, bool plusIsSpace)
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
inline Received clawsReads(const QStringList &arguments)
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
inline Received kmailReads(const QStringList &arguments)
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

inline Received clientReads(const QString &client, const QStringList &arguments)
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

inline platform::DesktopApplication application(const QString &id, const QString &exec,
                                         const QString &categories = QStringLiteral("Network;Email;"))
{
    return {id, id.section(u'.', 0, 0), platform::splitExec(exec), categories.split(u';', Qt::SkipEmptyParts)};
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    testfiles::writeBytes(path, bytes);
}

// A Thunderbird profile folder as Thunderbird 153 leaves it after its
// account setup; the parts a test leaves out are what the user never set up.
inline void makeThunderbirdProfile(const QString &home, bool installDefault, bool account, bool startWithLast = true)
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
inline void setUpEveryClient(const QString &home)
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


// The folders, the desktop and the stand-in of one test program.
struct MailClientFixture
{
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

    void start()
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

    void reset()
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
};

} // namespace mailtesting
