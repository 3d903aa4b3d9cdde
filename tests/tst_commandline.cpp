// Letterloom from a shell: the program itself started as a process, with a
// data folder and settings of its own, as a script or a user in a terminal
// starts it. Listing, help and the version need no display; every failure is
// one line on standard error and an exit status of its own.
#include "support/testdata.h"
#include "support/testfiles.h"
#include "support/windowtest.h"
#ifndef Q_OS_WIN
#include "support/mailprograms_unix.h"
#endif

#include <QDate>
#include <QProcess>
#include <QSettings>

#ifdef Q_OS_WIN
#include "app/appinfo.h"

#include <windows.h>
#endif

namespace {

struct Run
{
    int status = -1;
    QString out, err;
    QStringList errLines() const { return err.split(QRegularExpression("\r?\n"), Qt::SkipEmptyParts); }
};

} // namespace

class TestCommandLine : public testsupport::WindowTest
{
    Q_OBJECT

    QTemporaryDir m_home;
    QString m_data;

    void prepareTest() override
    {
        m_home.~QTemporaryDir();
        new (&m_home) QTemporaryDir;
        m_data = m_home.filePath("templates");
        QVERIFY(QDir().mkpath(m_data));
        // Offer is stored twice; the second, saved last, is the one launched.
        testfiles::writeBytes(m_data + "/MainData.txt",
                              recordLine({"Offer", "First", "", "", "first@x.org", "", "True", "False", ""})
                                  + recordLine({"Other", "Hello", "", "", "", "", "True", "False", ""})
                                  + recordLine({"Offer", "Dear {{?Customer}} ({{date:yyyy}})", "", "",
                                                "{{?Customer}} <a@x.org>", "", "True", "False", ""})
                                  + recordLine({"Gr\u00fc\u00dfe", "Hi", "", "", "", "", "False", "True",
                                                m_data + "/page.html"}));
        testfiles::writeBytes(m_data + "/LTM-Offer.txt", "Price for {{?Customer}}: {{?Price}}\r\n");
        testfiles::writeBytes(m_data + "/page.html", "<p>Hello <b>{{?Customer}}</b></p>");
    }

    // The program run with these arguments, without a display, in a home of
    // its own: its settings and desktop there, none of the user's.
    Run run(const QStringList &arguments, const QString &workingFolder = QString())
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        // A launch may show a dialog, and so needs a display; Qt's offscreen
        // one stands in for it.
        if (arguments.contains("--launch"))
            env.insert("QT_QPA_PLATFORM", "offscreen");
#ifndef Q_OS_WIN
        QDir().mkpath(m_home.filePath("run"));
        QFile::setPermissions(m_home.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert("HOME", m_home.path());
        env.insert("XDG_RUNTIME_DIR", m_home.filePath("run"));
        for (const char *name : {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"})
            env.insert(name, m_home.path());
        env.insert("LETTERLOOM_STANDIN_RECORD", m_home.filePath("record"));
#endif
        QProcess program;
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(workingFolder.isEmpty() ? m_home.path() : workingFolder);
        program.start(QStringLiteral(LETTERLOOM_PROGRAM), arguments);
        Run result;
        if (!program.waitForFinished(60000)) {
            program.kill();
            program.waitForFinished();
            qWarning("letterloom %s did not end", qPrintable(arguments.join(u' ')));
            return result;
        }
        result.status = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
        result.out = QString::fromUtf8(program.readAllStandardOutput());
        result.err = QString::fromUtf8(program.readAllStandardError());
        return result;
    }

#ifndef Q_OS_WIN
    // The desktop's mail program: the stand-in that records its arguments,
    // a mailto: handler as Evolution or Geary are.
    void setMailProgram(bool mailProgram = true)
    {
        QVERIFY(QDir(m_home.path()).mkpath("applications"));
        testfiles::writeBytes(m_home.filePath("applications/letterloom-test-mail.desktop"),
                              "[Desktop Entry]\nType=Application\nName=Test Mail\nExec="
                                  + QByteArray(RECORDARGS_STANDIN) + " %u\nMimeType=x-scheme-handler/mailto;\n"
                                  + (mailProgram ? "Categories=Network;Email;\n" : ""));
        testfiles::writeBytes(m_home.filePath("mimeapps.list"),
                              "[Default Applications]\nx-scheme-handler/mailto=letterloom-test-mail.desktop\n");
    }
    mailtesting::Received received()
    {
        QStringList arguments = QString::fromUtf8(testfiles::contentsOf(m_home.filePath("record")))
                                    .split(QChar(0), Qt::SkipEmptyParts);
        QFile::remove(m_home.filePath("record"));
        return arguments.size() == 1 ? mailtesting::mailtoReads(arguments.first(), false) : mailtesting::Received();
    }
#endif

private slots:
    // Listing, help and the version, with no display to be had.
    void listHelpAndVersionNeedNoDisplay()
    {
        Run listed = run({"--list", "--data-folder", m_data});
        QCOMPARE(listed.err, QString());
        QCOMPARE(listed.status, 0);
        QCOMPARE(listed.out.split(QRegularExpression("\r?\n")),
                 QStringList({"Offer", "Other", "Gr\u00fc\u00dfe", ""}));
        // A relative folder is taken from where the program was started.
        listed = run({"--data-folder=templates", "--list"});
        QCOMPARE(listed.out.count("Offer"), 1);

        const Run version = run({"--version"});
        QCOMPARE(version.status, 0);
        QCOMPARE(version.out.trimmed(), "Letterloom 2.1");
        const Run help = run({"--help"});
        QCOMPARE(help.status, 0);
        for (const char *option : {"--list", "--launch NAME", "--value", "--no-ask", "--plain-text", "--draft",
                                   "--data-folder PATH", "Exit status"})
            QVERIFY2(help.out.contains(option), option);
    }

    // --match lists the templates holding each word (as the window's picker
    // finds them), names first, each name once; nothing found is no failure.
    void listsMatches_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("subject, not an HTML file") << "HELLO" << QStringList{"Other", ""};
        QTest::newRow("folded") << "grusse" << QStringList{"Gr\u00fc\u00dfe", ""};
        QTest::newRow("a plain body, the name once") << "price" << QStringList{"Offer", ""};
        QTest::newRow("names first") << "T" << QStringList{"Other", "Offer", ""};
        QTest::newRow("each word in one template") << "first a@x" << QStringList{""};
    }
    void listsMatches()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, names);
        const Run listed = run({"--list", "--match", typed, "--data-folder", m_data});
        QCOMPARE(listed.status, 0);
        QCOMPARE(listed.out.split(QRegularExpression("\r?\n")), names);
        QCOMPARE(run({"--match", typed, "--data-folder", m_data}).status, 2);
    }

    // A team's copies share a folder through the setting folder= of [data];
    // --data-folder goes before it, and --help tells which is in use.
    void theSettingChoosesTheTeamsFolder()
    {
#ifdef Q_OS_WIN
        QSettings registry(QStringLiteral("HKEY_CURRENT_USER\\Software\\Letterloom\\Letterloom"),
                           QSettings::NativeFormat);
        registry.setValue(QStringLiteral("data/folder"), QDir::toNativeSeparators(m_data));
        registry.sync();
#else
        testfiles::writeFile(m_home.filePath("Letterloom/Letterloom.conf"), "[data]\nfolder=" + m_data.toUtf8() + "\n");
#endif
        QCOMPARE(run({"--list"}).out.count("Other"), 1);
        QVERIFY(run({"--help"}).out.contains("The templates folder in use: " + QDir::toNativeSeparators(m_data)));
        QTemporaryDir elsewhere;
        QCOMPARE(run({"--list", "--data-folder", elsewhere.path()}).out, QString());
        // A folder that is not there (a share not connected) is said, and not made.
        const QString share = m_home.filePath("share/templates");
        const Run missing = run({"--list", "--data-folder", share});
        QCOMPARE(missing.status, 3);
        QVERIFY2(missing.err.contains(QDir::toNativeSeparators(share)), qPrintable(missing.err));
        QVERIFY(!QFileInfo::exists(m_home.filePath("share")));
#ifdef Q_OS_WIN
        registry.remove(QStringLiteral("data"));
#endif
    }

    // What goes wrong is said on one line of standard error, and nothing is
    // opened: each kind of failure with its exit status.
    void failuresAreOneLineAndAStatus_data() { testdata::addRows(QStringLiteral("commandline-failures")); }
    void failuresAreOneLineAndAStatus()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, status);
        QFETCH(QString, says);
        QStringList given = arguments.split(u'|');
        if (!given.contains("--data-folder"))
            given = QStringList{"--data-folder", m_data} + given;
        const Run failed = run(given);
        QCOMPARE(failed.status, status.toInt());
        QCOMPARE(failed.out, QString());
        QCOMPARE(failed.errLines().size(), 1);
        QVERIFY2(failed.err.startsWith("letterloom: ") && failed.err.contains(says), qPrintable(failed.err));
#ifndef Q_OS_WIN
        QVERIFY(!QFile::exists(m_home.filePath("record")));
#endif
    }

    // --values-from with --drafts-only and --yes: one draft for each row,
    // each named on a line of its own; the answers are not remembered.
    void savesADraftForEachRow()
    {
        const QString table = m_home.filePath("table.csv");
        testfiles::writeBytes(table, "Customer;Price;ID\r\nAnn;1;x\r\n\"Bob; Co\";2;y\r\n");
        const Run ran =
            run({"--launch", "Offer", "--values-from", table, "--drafts-only", "--yes", "--data-folder", m_data});
        const QStringList lines = ran.out.split(QRegularExpression("\r?\n"), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines.at(0).startsWith("Row 2: Saved as a draft in \""), qPrintable(lines.at(0)));
        QVERIFY(testfiles::contentsOf(lines.at(0).section('"', 1, 1)).contains("Price for Ann: 1"));
        QVERIFY(testfiles::contentsOf(lines.at(1).section('"', 1, 1)).contains("Price for Bob; Co: 2"));
        QCOMPARE(ran.status, 0);
        QVERIFY(!testfiles::contentsOf(m_home.filePath("Letterloom/Letterloom.conf")).contains("answers"));
    }

#ifdef Q_OS_WIN
    // In a console, "letterloom" is letterloom.com, which the console waits
    // for: it passes on the program's output and its exit status.
    void theConsoleWaitsForTheStatus()
    {
        const QString folder = QDir::toNativeSeparators(m_data);
        auto console = [&](const QString &command) {
            QProcess cmd;
            cmd.setWorkingDirectory(QFileInfo(QStringLiteral(LETTERLOOM_PROGRAM)).absolutePath());
            cmd.setProgram("cmd.exe");
            cmd.setNativeArguments("/c " + command);
            cmd.start();
            Run result;
            if (!cmd.waitForFinished(60000))
                return result;
            result.status = cmd.exitCode();
            result.out = QString::fromUtf8(cmd.readAllStandardOutput());
            result.err = QString::fromUtf8(cmd.readAllStandardError());
            return result;
        };
        const Run listed = console("letterloom --list --data-folder \"" + folder + "\"");
        QCOMPARE(listed.status, 0);
        QCOMPARE(listed.out, "Offer\r\nOther\r\nGr\u00fc\u00dfe\r\n");
        const Run missing = console("letterloom --data-folder \"" + folder + "\" --launch Nope --no-ask");
        QCOMPARE(missing.status, 3);
        QCOMPARE(missing.errLines().size(), 1);
        QVERIFY2(missing.err.startsWith("letterloom: no template named \"Nope\""), qPrintable(missing.err));
        QCOMPARE(console("letterloom --launch Offer --no-ask --data-folder \"" + folder + "\" && echo went on").status,
                 4);
    }

    // The Windows build speaks of Windows: its usage text and its help page
    // name no shell, no desktop's formats, no [data] section of a file.
    void windowsWordsOnly()
    {
        QFile page(appinfo::helpPageUrl().toLocalFile());
        QVERIFY2(page.open(QIODevice::ReadOnly), qPrintable(page.fileName()));
        const QString help = run({"--help"}).out;
        QVERIFY(help.contains("HKEY_CURRENT_USER\\Software\\Letterloom\\Letterloom\\data"));
        const QString texts = help + QString::fromUtf8(page.readAll());
        for (const char *word : {"shell", "desktop's", "[data]"})
            QVERIFY2(!texts.contains(word, Qt::CaseInsensitive), word);
    }

    // letterloom.exe started without a console (a shortcut, Explorer, the
    // Run box) shows what it would print in a message box titled
    // Letterloom, and --list says where it prints; the status is as ever.
    void withoutAConsoleAMessageBox()
    {
        const QList<std::tuple<QString, QString, int>> cases{{"--version", "Letterloom 2.1", 0},
                                                             {"--list", "run it in a Command Prompt", 0},
                                                             {"--launch Nope --no-ask", "no template named \"Nope\"", 3}};
        for (const auto &[arguments, shown, status] : cases) {
            std::wstring line = QString("\"%1.exe\" --data-folder \"%2\" %3")
                                    .arg(QDir::toNativeSeparators(QString(LETTERLOOM_PROGRAM).chopped(4)),
                                         QDir::toNativeSeparators(m_data), arguments)
                                    .toStdWString();
            STARTUPINFOW startup{};
            startup.cb = sizeof startup;
            startup.dwFlags = STARTF_USESTDHANDLES; // and none given
            PROCESS_INFORMATION started{};
            QVERIFY(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started));
            std::pair<DWORD, HWND> box{started.dwProcessId, nullptr};
            const auto boxOf = [](HWND window, LPARAM found) -> BOOL {
                auto *sought = reinterpret_cast<std::pair<DWORD, HWND> *>(found);
                DWORD process = 0;
                wchar_t title[16] = {};
                GetWindowThreadProcessId(window, &process);
                if (process == sought->first && IsWindowVisible(window) && GetWindowTextW(window, title, 16)
                    && QString::fromWCharArray(title) == "Letterloom")
                    sought->second = window;
                return !sought->second;
            };
            QTRY_VERIFY_WITH_TIMEOUT((EnumWindows(boxOf, LPARAM(&box)), box.second), 30000);
            wchar_t text[8192] = {};
            GetDlgItemTextW(box.second, 0xFFFF, text, 8192); // the box's text
            QVERIFY2(QString::fromWCharArray(text).contains(shown), qPrintable(QString::fromWCharArray(text)));
            PostMessageW(box.second, WM_COMMAND, IDOK, 0);
            DWORD exitCode = 0;
            QVERIFY(WaitForSingleObject(started.hProcess, 30000) == WAIT_OBJECT_0
                    && GetExitCodeProcess(started.hProcess, &exitCode));
            QCOMPARE(int(exitCode), status);
            CloseHandle(started.hProcess);
            CloseHandle(started.hThread);
        }
    }
#else
    // A launch from the shell, answered with --value: the template saved
    // last, its questions, dates and the stored pairs, in the desktop's mail
    // program; exit 0 once the program has it. While a window is open on the
    // same folder, and for what that window has just saved.
    void launchesIntoTheMailProgram()
    {
        setMailProgram();
        QVERIFY(QDir(m_home.path()).mkpath("Letterloom"));
        testfiles::writeBytes(m_home.filePath("Letterloom/Letterloom.conf"),
                              "[replace]\nTextFind-0=Price\nTextReplace-0=Cost\nTextFind-1=ACME\nTextReplace-1=X\n");
        storeDirectory = m_data;
        Form1 *w = openWindow();
        const Run launched = run({"--data-folder", m_data, "--launch", "OFFER", "--value", "Customer=ACME; Price",
                                  "--value", "Price=10 = ten", "--no-ask"});
        QCOMPARE(launched.err, QString());
        QCOMPARE(launched.status, 0);
        const QString year = QString::number(QDate::currentDate().year());
        // The To box's one address, its name quoted as it holds a ";".
        QCOMPARE(received(), mailtesting::Received({{"to", {"\"ACME; Price\" <a@x.org>"}},
                                                   {"subject", {"Dear ACME; Price (" + year + ")"}},
                                                   {"body", {"Cost for ACME; Price: 10 = ten"}}}));

        // The window saves a template; the shell sees it at once.
        typeInto(w, {{"Text1", "Fresh"}, {"Text2", "New"}});
        QTest::mouseClick(button(w, "Command3"), Qt::LeftButton);
        QVERIFY(run({"--data-folder", m_data, "--list"}).out.contains("Fresh"));
        QCOMPARE(run({"--data-folder", m_data, "--launch", "Fresh"}).status, 0);
        QCOMPARE(received().value("subject"), QStringList({"New"}));
        QCOMPARE(messages(), QStringList());

        // A mail program that fails: one line, exit 1.
        testfiles::writeBytes(m_home.filePath("fail"), "");
        qputenv("LETTERLOOM_STANDIN_FAIL", m_home.filePath("fail").toUtf8());
        const Run failed = run({"--data-folder", m_data, "--launch", "Other"});
        qunsetenv("LETTERLOOM_STANDIN_FAIL");
        QCOMPARE(failed.status, 1);
        QCOMPARE(failed.errLines().size(), 1);
        QVERIFY2(failed.err.contains("cannot open display"), qPrintable(failed.err));

        // No mail program, and nothing that opens the draft: not done.
        setMailProgram(false);
        const Run unopened = run({"--data-folder", m_data, "--launch", "Other"});
        QCOMPARE(unopened.status, 1);
        QCOMPARE(unopened.errLines().size(), 1);
        QVERIFY2(unopened.err.contains("no program on this desktop opens e-mail files"), qPrintable(unopened.err));
    }

    // An HTML template for a mail program that cannot take HTML: the choice
    // is the command line's, and without one, with --no-ask, an error.
    void anHtmlTemplateForAProgramWithoutHtml()
    {
        setMailProgram();
        const QStringList launch{"--data-folder", m_data, "--launch", "Gr\u00fc\u00dfe", "--value", "Customer=ACME",
                                 "--no-ask"};
        const Run unchosen = run(launch);
        QCOMPARE(unchosen.status, 4);
        QCOMPARE(unchosen.errLines(),
                 QStringList{"letterloom: Test Mail cannot take an HTML message: give --plain-text or --draft"});
        QVERIFY(!QFile::exists(m_home.filePath("record")));
        const Run plain = run(launch + QStringList{"--plain-text"});
        QCOMPARE(plain.err, QString());
        QCOMPARE(plain.status, 0);
        QCOMPARE(received().value("body"), QStringList{"Hello ACME"});
        // As a draft, opened by the desktop's program for e-mail files.
        testfiles::writeBytes(m_home.filePath("mimeapps.list"),
                              "[Default Applications]\nx-scheme-handler/mailto=letterloom-test-mail.desktop\n"
                              "message/rfc822=letterloom-test-mail.desktop\n");
        const Run draft = run(launch + QStringList{"--draft"});
        QCOMPARE(draft.status, 0);
        const QStringList drafts = QDir(m_home.filePath("Documents/Letterloom/Drafts")).entryList({"*.eml"});
        QCOMPARE(drafts.size(), 1);
        const QByteArray opened = testfiles::contentsOf(m_home.filePath("record"));
        QVERIFY2(opened.contains(drafts.first().toUtf8()), opened.constData());
        QVERIFY(testfiles::contentsOf(m_home.filePath("Documents/Letterloom/Drafts/" + drafts.first()))
                    .contains("Content-Type: text/html"));
    }
#endif
};

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
