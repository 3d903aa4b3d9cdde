// How the desktop's mail program is found on Linux: its desktop entry, GIO's
// own look-up, Thunderbird's default profile. (Which program a launch finds,
// and what each one receives: tst_messageroutes_unix.)
#include "compose/clientsetup_unix.h"
#include "support/mailprograms_unix.h"

#include <QProcess>

using namespace mailtesting;

class TestMailClients : public QObject, private MailClientFixture
{
    Q_OBJECT

private slots:
    void init() { reset(); }

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

    // A desktop entry and the mimeapps.list that names it, as a desktop
    // writes them (data/mail-programs/desktop).
    void gioFindsTheDefaultMailProgram()
    {
        QProcess child; // GIO reads the folders once per process: ask in a fresh one
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"})
            env.insert(name, m_dir->filePath("desktop")); // its data and configuration both
        env.insert("LETTERLOOM_ASK_GIO", "1");
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {"askGio"});
        QVERIFY(child.waitForFinished(30000));
        const QStringList lines = QString::fromUtf8(child.readAllStandardOutput()).split(u'\n');
        const QString application = "|letterloom-test-mail.desktop|Test Mail|true --flag %u|Network Email";
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
