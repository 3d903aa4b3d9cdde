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
    // What the stand-in was handed, as a mailto: handler reads it.
    mailtesting::Received received()
    {
        return mailtesting::clientReads("mailto", testfiles::recordedArguments(m_home.filePath("record")));
    }
#endif

private slots:
    // The program from a shell, without a display: its setup (the team's
    // folder in the settings; on Linux the desktop's mail program), its
    // arguments, its status, its one line of standard error (nothing opened
    // on a failure), what it prints, what the mail program was handed and
    // the drafts saved. Answers given are not remembered.
    void commands_data() { testdata::addRows(QStringLiteral("commandline")); }
    void commands()
    {
        QFETCH(QString, setup);
        QFETCH(QString, arguments);
        QFETCH(QString, status);
        QFETCH(QString, says);
        QFETCH(QString, prints);
        QFETCH(QString, handed);
        QFETCH(QString, drafts);
        arguments.replace("{folder}", m_data).replace("{home}", m_home.path());
        says = QDir::toNativeSeparators(says.replace("{home}", m_home.path()));
        prints.replace("{folder}", QRegularExpression::escape(QDir::toNativeSeparators(m_data)));
        const bool team = setup == "team";
#ifdef Q_OS_WIN
        if (!team && !setup.isEmpty())
            QSKIP("the desktop's mail programs are Linux's");
        QSettings registry(QStringLiteral("HKEY_CURRENT_USER\\Software\\Letterloom\\Letterloom"),
                           QSettings::NativeFormat);
        if (team)
            registry.setValue(QStringLiteral("data/folder"), QDir::toNativeSeparators(m_data));
        registry.sync();
#else
        setMailProgram(setup != "none", setup == "drafts");
        testfiles::writeFile(m_home.filePath("Letterloom/Letterloom.conf"),
                             "[replace]\nTextFind-0=Price\nTextReplace-0=Cost\nTextFind-1=ACME\nTextReplace-1=X\n"
                                 + (team ? "[data]\nfolder=" + m_data.toUtf8() + "\n" : QByteArray()));
        testfiles::writeBytes(m_home.filePath("fail"), "");
        if (setup == "failing")
            qputenv("LETTERLOOM_STANDIN_FAIL", m_home.filePath("fail").toUtf8());
#endif
        const Run ran = run(arguments.split(u'|'));
#ifdef Q_OS_WIN
        registry.remove(QStringLiteral("data"));
#else
        qunsetenv("LETTERLOOM_STANDIN_FAIL");
#endif
        QCOMPARE(ran.status, status.toInt());
        QCOMPARE(ran.errLines().size(), says.isEmpty() ? 0 : 1);
        QVERIFY2(says.isEmpty()
                     || (ran.err.startsWith("letterloom: " + says.section("...", 0, 0))
                         && ran.err.contains(says.section("...", 1))),
                 qPrintable(ran.err));
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(prints))
                     .match(QString(ran.out).replace("\r\n", "\n"))
                     .hasMatch(),
                 qPrintable(ran.out));
        QVERIFY(!QFileInfo::exists(m_home.filePath("share"))); // a folder not there is not made
#ifndef Q_OS_WIN
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
        QVERIFY(!testfiles::contentsOf(m_home.filePath("Letterloom/Letterloom.conf")).contains("answers"));
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
