#pragma once

// What the tests of the Linux mail programs share: a desktop whose default
// applications the test sets, mail programs set up in a home of their own,
// and a stand-in that records the arguments it is started with; how each
// program reads its command line is in support/mailprograms.h.
#include "compose/compose.h"
#include "compose/mailclients.h"
#include "support/fakepairs.h"
#include "support/mailprograms.h"
#include "support/testdata.h"
#include "support/testfiles.h"

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

#include <optional>

namespace mailtesting {

inline const QString standin = QStringLiteral(RECORDARGS_STANDIN);

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

using testfiles::writeFile;

// What the mail programs were handed (items), read by Python's own parsers:
// standins/read_messages.py with these arguments.
inline QJsonArray readByPython(const QStringList &arguments, const QJsonArray &items = {})
{
    QProcess python;
    python.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    python.start("python3", QStringList{qEnvironmentVariable("LETTERLOOM_SOURCE_DIR") + "/tests/standins/read_messages.py"}
                                + arguments);
    python.write(QJsonDocument(items).toJson());
    python.closeWriteChannel();
    python.waitForFinished(60000);
    return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
}

// A mail program's command line as an item for readByPython: the fields
// that the program's own rules give.
inline QJsonObject handedItem(const QString &client, const QStringList &arguments)
{
    QJsonObject fields;
    const Received got = clientReads(client, arguments);
    for (auto it = got.begin(); it != got.end(); ++it)
        fields[it.key()] = QStringList{"to", "cc", "bcc", "attach"}.contains(it.key())
                               ? QJsonValue(QJsonArray::fromStringList(it.value()))
                               : QJsonValue(it.value().join("<given twice>"));
    return {{"kind", "fields"}, {"fields", fields}};
}

// The folders, the desktop and the stand-in of one test program.
struct MailClientFixture
{
    // A new one for each test: a copy of tests/data/mail-programs, whose
    // home holds every mail program set up with an account, as each leaves
    // its files after its setup.
    std::optional<testdata::Fixture> m_dir;
    TestDesktop m_desktop;
    compose::DesktopMailSetup m_setup;

    QString file(const QString &name, const QByteArray &bytes) { return writeFile(m_dir->filePath(name), bytes); }

    // Files whose names hold separators, quotes, a line break and more
    // (data/tables/awkward-files.tsv); their bytes are all 256 values, and
    // then the name.
    QStringList awkwardFiles()
    {
        QByteArray bytes(3000, '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 7 % 256);
        QStringList paths;
        for (const QStringList &row : testdata::table(QStringLiteral("awkward-files")).mid(1))
            paths << file(row.first(), bytes + row.first().toUtf8());
        return paths;
    }

    compose::LaunchOutcome launch(store::EditorValues &editor, FakePairs pairs = {})
    {
        return compose::ComposeEmail(editor, pairs, compose::desktopMailClients(m_setup));
    }

    // The stand-in as the desktop's mail program, started as that program's
    // desktop entry starts it (data/tables/mail-programs.tsv); or an entry
    // given as "id|Exec|categories", %1 in Exec the stand-in; none for an
    // empty one.
    void setMailProgram(const QString &client)
    {
        QStringList entry = client.split(u'|');
        for (const QStringList &row : testdata::table(QStringLiteral("mail-programs")))
            if (row.first() == client)
                entry = row.mid(1);
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
        m_dir.emplace(QStringLiteral("mail-programs"));
        qputenv("LETTERLOOM_STANDIN_RECORD", QFile::encodeName(record()));
        qputenv("LETTERLOOM_STANDIN_FAIL", QFile::encodeName(failNext()));
        qunsetenv("LETTERLOOM_STANDIN_STAY");
        m_setup = compose::DesktopMailSetup();
        m_setup.desktop = &m_desktop;
        m_setup.handoverDirectory = m_dir->filePath("Letterloom");
        m_setup.home = m_dir->filePath("home");
        m_setup.watchMs = 5000;
        m_desktop = TestDesktop();
        m_desktop.defaults["message/rfc822"] = application("drafts.desktop", standin + " --open-draft %f");
    }
};

} // namespace mailtesting
