#pragma once

// The base of every test that drives the main window: it owns the window,
// gives each test function (each data row) a data folder and a settings
// store of its own, a recording mail client, a recording desktop, and
// dialogs that answer as the test planned. A message box that the test did
// not look at, a question it did not plan an answer for, or a planned
// answer that was never asked for fails the test.
//
//   class TestSomething : public testsupport::WindowTest
//   {
//       Q_OBJECT
//   private slots:
//       void savesATemplate()
//       {
//           Form1 *w = openWindow();
//           QTest::keyClicks(box(w, "Text1"), "Offer");
//           QTest::mouseClick(button(w, "Command3"), Qt::LeftButton);
//           QCOMPARE(messages(), QStringList());
//       }
//   };
//
// Derived classes do not declare init() or cleanup(); prepareTest() runs
// at the end of the base's init().

#include "app/form1.h"
#include "platform/ansitext.h"
#include "platform/dialogs.h"
#include "platform/settingsstore.h"
#include "support/recordingmailclient.h"
#include "support/testdata.h"
#include "support/testsettings.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <initializer_list>
#include <memory>
#include <optional>
#include <utility>

namespace testsupport {

// The boxes the window would show, answered as the test planned. Whatever
// was not planned is noted in unplanned and answered No / Cancel.
struct RecordingDialogs final : platform::Dialogs
{
    QStringList messages;                      // every message shown
    QStringList questions;                     // every question and text prompt asked
    QList<bool> answers;                       // for questions, taken from the front
    QList<std::optional<QString>> textAnswers; // for text prompts; nullopt cancels
    // For questions with buttons of their own: the caption of the button to
    // press; nullopt presses Escape.
    QList<std::optional<QString>> choiceAnswers;
    QStringList fileAnswers;                   // for file dialogs; an empty answer cancels
    QString lastFilter;
    QStringList unplanned; // dialogs that had no planned answer

    void message(const QString &text) override { messages << text; }
    bool question(const QString &text) override;
    std::optional<int> choice(const QString &text, const QStringList &buttons) override;
    std::optional<QString> textInput(const QString &prompt, const QString &text) override;
    QString openFileName(const QString &filter) override;
};

// A desktop that records the addresses the window would open and starts
// nothing, as a desktop without a handler.
struct RecordingDesktop final : platform::Desktop
{
    QList<QUrl> opened;
    bool openUrl(const QUrl &url) override
    {
        opened << url;
        return false;
    }
};

// The settings store, which cannot be written while broken is set.
struct BrokenSettings final : platform::SettingsStore
{
    bool broken = false;
    bool save(const QString &section, const QString &key, const QString &value, QString *error) override;
};

class WindowTest : public QObject
{
    Q_OBJECT

protected:
    // A window as the program makes it: created, loaded, shown. It takes
    // the place of the one opened before, which is closed first, as when
    // the program is started again.
    Form1 *openWindow();
    Form1 *window() const { return m_window.get(); }

    // The messages shown so far; the test has seen them now.
    const QStringList &messages();

    // The data folder and a file in it.
    QString dataFolder() const;
    QString path(const QString &name) const { return QDir(dataFolder()).filePath(name); }
    // Writes the data file, byte for byte.
    void writeData(const QByteArray &bytes) const;

    // Runs at the end of each test's set-up.
    virtual void prepareTest() {}

    // Plays a user's steps from tests/data/window/NAME.txt on the window
    // (support/windowscript.cpp), one step a line, checking what it shows
    // as it goes; the first failing check fails the test, naming its line.
    // A line is a step's word, then its words; TEXT takes the rest of the
    // line, with the escapes of testdata::unescaped and {folder} for the
    // data folder. Lines starting with # are comments.
    //   fixture NAME            the data folder starts as tests/data/NAME
    //   data TEXT               the data file holds TEXT (Windows-1252)
    //   write FILE = TEXT       a file of the data folder holds TEXT (Windows-1252)
    //   open                    opens the window (again: as a restart), the notices of its
    //                           start-up shown
    //   type CONTROL TEXT       types TEXT into the control (a line break as Return)
    //   set CONTROL TEXT        sets a box's text, as a paste does
    //   active                  makes the window the active one, as the keyboard needs;
    //                           inactive: the user goes to another program's window
    //   click CONTROL           clicks it; key CONTROL KEYS: presses "Ctrl+Z", "F2"...;
    //                           alt CONTROL: presses Alt alone
    //   popup MENU              that menu has opened; it is closed again
    //   select ROW, double ROW  clicks a list entry (the focus left on the list),
    //                           double-clicks it; ctrl-click ROW;
    //                           click-below: a click beside the entries; selected ROWS: the
    //                           list has these entries selected and in view (separated by |)
    //   folder PATH             the data folder is PATH in the test's folder (before open)
    //   client-fails            the mail client will not start
    //   held MS                 another copy on this computer holds the folder's lock for MS ms
    //   later MS STEP           MS ms on, while a later step waits, plays STEP
    //   settings broken|working the settings store cannot be written, or can again
    //   menu ROW ACTION         chooses from the list's menu on that entry
    //   action NAME             chooses a menu item of the window's menus
    //   answer Yes|No           the answer to the next question
    //   prompt TEXT|Cancel      the answer to the next text prompt
    //   browse PATH|Cancel      the file the next file dialog gives
    //   reply A/B|Escape|Return|Cancel  what the user does in the next question dialog of a
    //                           launch: types the answers into its boxes one after another
    //                           (Tab between them, then Enter), presses a key or clicks
    //                           Cancel (a dialog with no reply planned is cancelled)
    //   dialogs N               N question dialogs were shown, each with its reply
    //   dialog TITLE|QUESTIONS|HELD|NAMES  the last one's title, questions, texts its
    //                           boxes held when it opened and names a screen reader
    //                           reads for them (each list separated by /)
    //   today DATE LOCALE       the placeholders' day (2024-12-30) and locale (en_GB)
    //   mark, same              notes the data folder's files; checks they are as noted
    //   asked TEXT              the last question asked holds TEXT (each part of it separated
    //                           by " | "; a part after ^ is its start); questions N: N were
    //                           asked so far
    //   said TEXT               one message was shown since the last check, holding TEXT (so)
    //   silent                  no message since the last check
    //   list NAMES              the list shows these names, separated by |
    //   entry ROW TEXT          the list's entry holds TEXT (200 spaces after the name)
    //   filter TEXT             the last file dialog offered these files
    //   box CONTROL TEXT        a one-line box shows TEXT; body TEXT: the body box does;
    //                           path CONTROL TEXT: the box shows the path as the system writes it;
    //                           start CONTROL: the box shows the start of its text
    //   matches NAMES           the picker of Ctrl+F shows these matches (separated by |),
    //                           once it searched the bodies
    //   checked/unchecked CONTROL, visible/hidden CONTROL (Form1: the window), focus CONTROL
    //   file FILE = TEXT        the file holds TEXT (Windows-1252); nofile FILE: there is none;
    //                           regular NAMES: the data folder's regular files, separated by |
    //   launched LINE           the mail client got LINE (support/recordingmailclient.h);
    //                           attached PATH: an attachment of the data folder, as the system writes it
    //   cursor LIST             the cursor at each Display so far (busy or -, separated by |); none now
    //   log LINES               it got exactly these lines (separated by |); the log starts afresh
    //   stored KEY TEXT         the settings store holds TEXT under the box's key
    //   offered/unoffered ACTION the list's menu, opened below the entries, offers the action or not
    //   tabs ORDER              Tab from the name box round to it passes these controls (separated
    //                           by |), each NAME=ROLE NAME as a screen reader reads it
    void runScript(const QString &name);

    RecordingDialogs dialogs;
    RecordingDesktop desktop;
    compose::RecordingMailClient::Log mailLog;
    compose::RecordingMailClient::Failure mailFailure;
    std::function<void(const QString &)> mailCalled; // runs on each call the mail client records
    QString storeDirectory;         // the data folder; empty: a new one for each test
    bool programsOwnFolder = false; // the data folder where the program finds it (beside it on Windows)
    bool desktopMailClient = false; // launch into this desktop's mail client, through the desktop itself
    compose::DesktopMailSetup mailSetup; // that mail client's setup
    BrokenSettings settings;
    substitute::Calendar calendar;  // the dates of the placeholders; default: today, the user's locale

private slots:
    void init();
    void cleanup();

private:
    Form1Services services();

    std::unique_ptr<QTemporaryDir> m_dataDir;
    std::unique_ptr<Form1> m_window;
    qsizetype m_messagesSeen = 0;
};

// ---- the window's controls ------------------------------------------------

template <typename T>
T *control(const QWidget *window, const QString &name)
{
    T *found = window->findChild<T *>(name);
    if (!found)
        qFatal("no control %s", qPrintable(name));
    return found;
}

inline QLineEdit *box(const QWidget *w, const char *name) { return control<QLineEdit>(w, QLatin1String(name)); }
inline QAbstractButton *button(const QWidget *w, const char *name)
{
    return control<QAbstractButton>(w, QLatin1String(name));
}
inline QListView *list(const QWidget *w) { return control<QListView>(w, QStringLiteral("List1")); }
inline int entryCount(const QWidget *w) { return list(w)->model()->rowCount(); }
// The whole entry, not just the name the list shows.
QString entryText(const QWidget *w, int row);
// The names the list shows, in order.
QStringList shownNames(const QWidget *w);
// The matches the picker of Ctrl+F shows, once it searched the bodies too.
QStringList pickerMatches(const QWidget *w);
inline QPlainTextEdit *bodyBox(const QWidget *w) { return control<QPlainTextEdit>(w, QStringLiteral("Text7")); }

// ---- acting as a user -----------------------------------------------------

// A point on a list entry's own line, in the list's viewport.
QPoint entryPoint(const QListView *listBox, int row);
// Clicks a list entry the way a user does, on the entry's own line.
void clickEntry(QListView *listBox, int row);
// A double click: a click, then the second press, which the platform
// reports as a double click.
void doubleClickEntry(QListView *listBox, int row);
// Opens the list's context menu at that point of its viewport, as a right
// click does.
QMenu *openListMenu(QWidget *w, QPoint at);
// Opens the list's context menu on an entry and clicks the action of that
// object name.
void chooseFromContextMenu(QWidget *w, int row, const char *action);

// Types text as key presses: a line break as the Return key, characters
// beyond ASCII as the text of a key without a key code, as an input method
// delivers them.
void typeText(QWidget *widget, const QString &text);

// (control name, text) pairs, in the order they are typed or read.
using BoxTexts = std::initializer_list<std::pair<const char *, QString>>;
// Types each text into the control of that name ("Text5", "Text7" the
// body, "TextFind_2"...), one after another.
void typeInto(const QWidget *window, BoxTexts typing);
// Checks the text each of these one-line boxes shows.
void compareBoxes(const QWidget *window, BoxTexts expected);

// ---- stored templates -----------------------------------------------------

// One stored record line with its CR LF, in the data file's encoding.
QByteArray recordLine(const QStringList &fields);

} // namespace testsupport

using namespace testsupport;
