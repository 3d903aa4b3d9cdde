#pragma once

// What the tests of the Linux mail programs share: how each program reads its
// command line, a desktop whose default applications the test sets, mail
// programs set up in a home of their own, and a stand-in that records the
// arguments it is started with.
#include "compose/compose.h"
#include "compose/mailclients.h"
#include "support/fakepairs.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <optional>

namespace mailtesting {

inline const QString standin = QStringLiteral(RECORDARGS_STANDIN);

// ---- each mail program's own reading of its command line -----------------

// What a mail program took from its command line: the values of each field
// under its mailto: name ("to", "subject", "attach"...; Thunderbird's
// "format" and "message" too), in the order given. A field that a program
// reads once and is given twice shows as two values.
using Received = QMap<QString, QStringList>;

inline QString percentDecoded(const QString &text, bool plusIsSpace)
{
    QByteArray bytes = text.toLatin1();
    if (plusIsSpace)
        bytes.replace('+', ' ');
    return QString::fromUtf8(QByteArray::fromPercentEncoding(bytes));
}

// Thunderbird's "-compose" argument: fields split at commas and at their
// first "=", values percent-decoded, the attachments a list of file URLs
// split at commas. Thunderbird would take a value that opens with a quote as
// it is, commas and all; so that nothing can depend on that, the argument
// must be nothing but keys and percent-encoded values, else it reads as a
// single field that says so.
inline Received thunderbirdReads(const QString &data)
{
    static const QRegularExpression shape("^[a-z]+=[A-Za-z0-9%._~-]+(,[a-z]+=[A-Za-z0-9%._~-]+)*$");
    if (!shape.match(data).hasMatch())
        return {{"not keys and encoded values only: " + data, {}}};
    Received r;
    for (const QString &field : data.split(u','))
        r[field.section(u'=', 0, 0)] << percentDecoded(field.section(u'=', 1), false);
    for (const QString &urls : r.take("attachment")) {
        for (const QString &url : urls.split(u','))
            r["attach"] << QUrl(url).toLocalFile();
    }
    return r;
}

// A mailto: address as the programs read it: the addresses up to the first
// "?", then fields split at "&" and at their first "="; every value
// percent-decoded, "+" as a space for Claws Mail and Sylpheed.
inline Received mailtoReads(const QString &url, bool plusIsSpace)
{
    Received r;
    if (!url.startsWith("mailto:"))
        return r;
    const QString rest = url.mid(7);
    const qsizetype question = rest.indexOf(u'?');
    r["to"] << percentDecoded(rest.left(question), plusIsSpace);
    if (question < 0)
        return r;
    for (const QString &field : rest.mid(question + 1).split(u'&'))
        r[field.section(u'=', 0, 0).toLower()] << percentDecoded(field.section(u'=', 1), plusIsSpace);
    return r;
}

// Claws Mail and Sylpheed: "--compose URL", then "--attach" and the names
// that follow it up to one that begins with "-".
inline Received clawsReads(const QStringList &arguments)
{
    Received r = mailtoReads(arguments.value(arguments.indexOf("--compose") + 1), true);
    const qsizetype attach = arguments.indexOf("--attach");
    for (qsizetype i = attach + 1; attach >= 0 && i < arguments.size() && !arguments.at(i).startsWith(u'-'); ++i)
        r["attach"] << arguments.at(i);
    return r;
}

// KMail's options after "--composer" (the desktop entry's own come before
// it), as its command-line parser reads them: each option ("--subject")
// takes the next argument as its value, "--" ends the options, and what
// follows are the addresses.
inline Received kmailReads(const QStringList &arguments)
{
    Received r;
    for (qsizetype i = arguments.indexOf("--composer") + 1; i < arguments.size(); i += 2) {
        if (arguments.at(i) == "--") {
            r["to"] << arguments.mid(i + 1).join(", ");
            break;
        }
        r[arguments.at(i).mid(2)] << arguments.value(i + 1);
    }
    return r;
}

inline Received clientReads(const QString &client, const QStringList &arguments)
{
    if (client == "thunderbird")
        return arguments.value(0) == "-compose" ? thunderbirdReads(arguments.value(1)) : Received();
    if (client == "claws-mail" || client == "sylpheed")
        return clawsReads(arguments);
    if (client == "kmail")
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
                                                const QString &categories = "Network;Email;")
{
    return {id, id.section(u'.', 0, 0), platform::splitExec(exec), categories.split(u';', Qt::SkipEmptyParts)};
}

// The desktop entry of each mail program as Debian installs it ("id|Exec"),
// and a mailto: handler that is none of them.
inline const QMap<QString, QString> desktopEntries{
    {"thunderbird", "thunderbird.desktop|%1 %u"},
    {"evolution", "org.gnome.Evolution.desktop|%1 %U"},
    {"claws-mail", "claws-mail.desktop|%1 %u"},
    {"sylpheed", "sylpheed.desktop|%1 %u"},
    {"kmail", "org.kde.kmail2.desktop|%1 -qwindowtitle %c %u"},
    {"geary", "org.gnome.Geary.desktop|%1 %U"},
    {"other", "mutt-in-a-terminal.desktop|%1 %u"},
};

// The files of every mail program set up with an account, under home, as
// each leaves them after its setup (Thunderbird 153 its profile folder). The
// profile's folder has a name that ends in "]", as a user may rename one, so
// that a value is never taken for a section.
inline const QString thunderbirdProfile = QStringLiteral(".thunderbird/abcd.default [work]");
inline const QMap<QString, QByteArray> setUpHome{
    {".thunderbird/profiles.ini", "[Profile0]\nName=default\nIsRelative=1\nPath=abcd.default [work]\nDefault=1\n\n"
                                  "[General]\nStartWithLastProfile=1\nVersion=2\n"},
    {".thunderbird/installs.ini", "[FDC34C9F024745EB]\nDefault=abcd.default [work]\nLocked=1\n"},
    {thunderbirdProfile + "/prefs.js",
     "user_pref(\"mail.accountmanager.accounts\", \"account2,account1\");\n"
     "user_pref(\"mail.account.account1.server\", \"server1\");\n"
     "user_pref(\"mail.account.account2.identities\", \"id1\");\n"},
    {".claws-mail/accountrc", "[Account: 1]\naccount_name=Tester\n"},
    {".sylpheed-2.0/accountrc", "[Account: 1]\naccount_name=Tester\n"},
    {".config/geary/account_01/geary.ini", "[Metadata]\nversion=1\n"},
};

using testfiles::writeFile;

// The folders, the desktop and the stand-in of one test program.
struct MailClientFixture
{
    std::optional<QTemporaryDir> m_dir; // a new one for each test
    TestDesktop m_desktop;
    compose::DesktopMailSetup m_setup;

    QString file(const QString &name, const QByteArray &bytes) { return writeFile(m_dir->filePath(name), bytes); }

    // Files whose names hold separators, quotes, percent signs, a line
    // break, letters beyond ASCII, a leading dash, or more than a header
    // line holds; their bytes are all 256 values, and then the name.
    QStringList awkwardFiles()
    {
        QByteArray bytes(3000, '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 7 % 256);
        QStringList paths;
        for (const char *name : {"with space, and comma.bin", "it's \"quoted\" a=b.txt", "plain.png",
                                 "Gr\u00fc\u00dfe \u00e9t\u00e9 \u4e2d.pdf", "100%25 %41 a+b&c?d#e ',x.doc",
                                 "sub dir,x/-starts with a dash.txt",
                                 "line\r\nContent-Disposition: inline\nX-Injected: 1.txt",
                                 "a very long file name that goes on and on past any header line width "
                                 "\u00e4\u00f6\u00fc and on.bin"})
            paths << file(name, bytes + name);
        return paths;
    }

    compose::LaunchOutcome launch(store::EditorValues &editor, FakePairs pairs = {})
    {
        return compose::ComposeEmail(editor, pairs, compose::desktopMailClients(m_setup));
    }

    // The stand-in as the desktop's mail program, started as that program's
    // desktop entry starts it; or an entry given as "id|Exec|categories",
    // %1 in Exec the stand-in; none for an empty one.
    void setMailProgram(const QString &client)
    {
        const QStringList entry = desktopEntries.value(client, client).split(u'|');
        m_desktop.defaults["x-scheme-handler/mailto"] = application(
            entry.at(0), QString(entry.value(1)).replace("%1", standin), entry.value(2, "Network;Email;"));
    }

    // Where the stand-in records its arguments; while failNext() is there,
    // its next start fails.
    QString record() const { return m_dir->filePath("arguments"); }
    QString failNext() const { return m_dir->filePath("fail-next"); }

    // The arguments the stand-in was last started with.
    QStringList recordedArguments() const { return testfiles::recordedArguments(record()); }

    // The files in a folder of the hand-over folder ("Drafts", "Outgoing").
    QStringList handedOver(const QString &folder) const
    {
        return QDir(m_setup.handoverDirectory + u'/' + folder).entryList(QDir::Files);
    }

    // Every mail program set up, none the desktop's default yet, the
    // stand-in the program for e-mail files.
    void reset()
    {
        m_dir.emplace();
        qputenv("LETTERLOOM_STANDIN_RECORD", QFile::encodeName(record()));
        qputenv("LETTERLOOM_STANDIN_FAIL", QFile::encodeName(failNext()));
        qunsetenv("LETTERLOOM_STANDIN_STAY");
        m_setup = compose::DesktopMailSetup();
        m_setup.desktop = &m_desktop;
        m_setup.handoverDirectory = m_dir->filePath("Letterloom");
        m_setup.home = m_dir->filePath("home");
        m_setup.watchMs = 5000;
        for (auto it = setUpHome.begin(); it != setUpHome.end(); ++it)
            writeFile(m_setup.home + u'/' + it.key(), it.value());
        m_desktop = TestDesktop();
        m_desktop.defaults["message/rfc822"] = application("drafts.desktop", standin + " --open-draft %f");
    }
};

} // namespace mailtesting
