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
    void setMailProgram(bool mailProgram = true, bool opensDrafts = false)
    {
        QVERIFY(QDir(m_home.path()).mkpath("applications"));
        testfiles::writeBytes(m_home.filePath("applications/letterloom-test-mail.desktop"),
                              "[Desktop Entry]\nType=Application\nName=Test Mail\nExec="
                                  + QByteArray(RECORDARGS_STANDIN) + " %u\nMimeType=x-scheme-handler/mailto;\n"
                                  + (mailProgram ? "Categories=Network;Email;\n" : ""));
        testfiles::writeBytes(m_home.filePath("mimeapps.list"),
                              "[Default Applications]\nx-scheme-handler/mailto=letterloom-test-mail.desktop\n"
                                  + QByteArray(opensDrafts ? "message/rfc822=letterloom-test-mail.desktop\n" : ""));
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
    void listsMatches_data() { testdata::addRows(QStringLiteral("commandline-matches")); }
    void listsMatches()
    {
        QFETCH(QString, typed);
        QFETCH(QString, names);
        const Run listed = run({"--list", "--match", typed, "--data-folder", m_data});
        QCOMPARE(listed.status, 0);
        QCOMPARE(listed.out.split(QRegularExpression("\r?\n"), Qt::SkipEmptyParts),
                 names.split(u'|', Qt::SkipEmptyParts));
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

#ifdef Q_OS_WIN
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
            // A message box (class #32770) titled Letterloom: no other test
            // program shows one meanwhile (they share the lock user_settings).
            HWND box = nullptr;
            QTRY_VERIFY_WITH_TIMEOUT((box = FindWindowW(L"#32770", L"Letterloom")), 30000);
            wchar_t text[8192] = {};
            GetDlgItemTextW(box, 0xFFFF, text, 8192); // the box's text
            QVERIFY2(QString::fromWCharArray(text).contains(shown), qPrintable(QString::fromWCharArray(text)));
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            DWORD exitCode = 0;
            QVERIFY(WaitForSingleObject(started.hProcess, 30000) == WAIT_OBJECT_0
                    && GetExitCodeProcess(started.hProcess, &exitCode));
            QCOMPARE(int(exitCode), status);
            CloseHandle(started.hProcess);
            CloseHandle(started.hThread);
        }
    }
#else
    // A launch from the shell into the desktop's mail program, which is:
    // "handler" the recording stand-in for mailto: addresses, "failing" that
    // one failing once, "none" no mail program, "drafts" the handler that
    // opens e-mail files too. Its status, the one line of standard error,
    // what the mail program was handed (the fields of its mailto: address,
    // or "the draft"), what is printed (a pattern), and the texts of the
    // drafts saved, one a draft. The stored pairs apply to the template.
    void launches_data() { testdata::addRows(QStringLiteral("commandline-launches")); }
    void launches()
    {
        QFETCH(QString, mail);
        QFETCH(QString, arguments);
        QFETCH(QString, status);
        QFETCH(QString, says);
        QFETCH(QString, handed);
        QFETCH(QString, prints);
        QFETCH(QString, drafts);
        setMailProgram(mail != "none", mail == "drafts");
        testfiles::writeFile(m_home.filePath("Letterloom/Letterloom.conf"),
                             "[replace]\nTextFind-0=Price\nTextReplace-0=Cost\nTextFind-1=ACME\nTextReplace-1=X\n");
        testfiles::writeBytes(m_home.filePath("fail"), "");
        if (mail == "failing")
            qputenv("LETTERLOOM_STANDIN_FAIL", m_home.filePath("fail").toUtf8());
        const Run ran = run(QStringList{"--data-folder", m_data} + arguments.split(u'|'));
        qunsetenv("LETTERLOOM_STANDIN_FAIL");
        QCOMPARE(ran.status, status.toInt());
        QCOMPARE(ran.errLines().size(), says.isEmpty() ? 0 : 1);
        QVERIFY2(says.isEmpty()
                     || (ran.err.startsWith("letterloom: " + says.section("...", 0, 0))
                         && ran.err.contains(says.section("...", 1))),
                 qPrintable(ran.err));
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(prints)).match(ran.out).hasMatch(),
                 qPrintable(ran.out));
        const QDir folder(m_home.filePath("Documents/Letterloom/Drafts"));
        const QStringList saved = folder.entryList({"*.eml"});
        QCOMPARE(saved.size(), drafts.split(u'|', Qt::SkipEmptyParts).size());
        for (const QString &text : drafts.split(u'|', Qt::SkipEmptyParts)) {
            const auto holds = [&](const QString &name) {
                return testfiles::contentsOf(folder.filePath(name)).contains(text.toUtf8());
            };
            QVERIFY2(std::any_of(saved.begin(), saved.end(), holds), qPrintable(text));
        }
        mailtesting::Received expected;
        handed.replace("{year}", QString::number(QDate::currentDate().year()));
        for (const QString &field : handed.split(u'|', Qt::SkipEmptyParts))
            expected[field.section(u'=', 0, 0)] << field.section(u'=', 1);
        if (handed == "the draft")
            QCOMPARE(testfiles::recordedArguments(m_home.filePath("record")),
                     QStringList{folder.filePath(saved.first())});
        else if (!handed.isEmpty())
            QCOMPARE(received(), expected);
        else
            QVERIFY(!QFile::exists(m_home.filePath("record")));
        // The answers given are not remembered.
        QVERIFY(!testfiles::contentsOf(m_home.filePath("Letterloom/Letterloom.conf")).contains("answers"));
    }

    // Beside a window open on the same folder, and for what it has just saved.
    void launchesWhatAnOpenWindowSaved()
    {
        setMailProgram();
        storeDirectory = m_data;
        Form1 *w = openWindow();
        typeInto(w, {{"Text1", "Fresh"}, {"Text2", "New"}});
        QTest::mouseClick(button(w, "Command3"), Qt::LeftButton);
        QCOMPARE(run({"--data-folder", m_data, "--launch", "Fresh"}).status, 0);
        QCOMPARE(received().value("subject"), QStringList({"New"}));
    }
#endif
};

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
