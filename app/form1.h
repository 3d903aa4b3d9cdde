#pragma once

#include "compose/compose.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/settingsstore.h"
#include "store/templatestore.h"
#include "substitute/pairs.h"

#include <QMainWindow>
#include <QTimer>

#include <array>
#include <memory>
#include <optional>

class QAction;
class QMenu;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class BodyBox;
class TemplatePicker;
class OptionButton;
class TemplateListBox;

// What the window works with. Whatever is left empty is the desktop's own:
// the user's data folder, the user's settings, the desktop mail client, real
// message boxes and file dialogs, the desktop's programs. Tests hand in
// their own.
struct Form1Services
{
    QString storeDirectory;                      // the folder of the data file and body files
    platform::SettingsStore *settings = nullptr; // not owned
    compose::MailClientFactory mailClients;      // empty: the desktop's, through desktop
    // The desktop's mail client, when mailClients is empty: its desktop is
    // desktop when it names none, and an HTML message that the mail program
    // cannot take asks the window's question unless the setup says what to do.
    compose::DesktopMailSetup mailSetup;
    platform::Dialogs *dialogs = nullptr;        // not owned
    platform::Desktop *desktop = nullptr;        // not owned: opening addresses, finding and starting programs
    substitute::Calendar calendar;               // today's date and the locale of the date placeholders
};

// The one window of Letterloom: the template editor on the left, the template
// list and the find/replace grid on the right, Launch, Save and Clear on top.
// Every control has a fixed place; nothing moves when the window is resized.
class Form1 final : public QMainWindow,
                    public store::TemplateEditor,
                    public substitute::PairBoxes,
                    private store::TemplateList
{
    Q_OBJECT

public:
    static constexpr int PairCount = 11;

    explicit Form1(Form1Services services = {}, QWidget *parent = nullptr);
    ~Form1() override;

    // Fills the find/replace boxes from the settings store and then the
    // template list from the data file. Run once, before the window is shown;
    // it never reports anything.
    void Form_Load();

    // Tells what Form_Load found (a record of an unfinished change set
    // aside, a data file that cannot be read), and says so when the chosen
    // templates folder (a network share) cannot be reached; the program then
    // saves nowhere else. Run once the window is shown.
    void ReportStartUp();

    // Shows the plain body panel exactly when Plain Text is selected, else the
    // HTML body panel.
    void SetFrame();

    // The handlers of the window's events.
    void ShowTemplate();   // a list entry was selected (or clicked again)
    void ComposeEmail();   // Launch, or a double click in the list
    void SaveTemplate();   // Save: a new template, or one that replaces the stored one of its name
    void ClearEditor();    // Clear: an empty editor for a new template
    void DeleteTemplate(int row); // the list's context menu, or Delete
    void RenameTemplate(int row); // the list's context menu, or F2
    void UndoDelete();            // the list's context menu, or Ctrl+Z in the list
    void LaunchForEachRow(int row); // the list's context menu: the template once for each row of a CSV file
    void ChooseHtmlFile(); // Browse
    void FindTemplate();   // Ctrl+F: the picker over the list
    void HelpMMMM_Click();
    void AboutMMMM_Click();
    void SuggestionsM_Click();
    void ExitM_Click();

    // store::TemplateEditor, over the editor's controls.
    QString templateName() const override;
    QString subject() const override;
    QString attachments() const override;
    QString cc() const override;
    QString to() const override;
    QString bcc() const override;
    bool plainTextSelected() const override;
    bool htmlSelected() const override;
    QString htmlLocation() const override;
    QString body() const override; // line ends as CR LF

    // substitute::PairBoxes, over the grid: pair i is find box i with replace box i.
    int count() const override;
    QString findText(int index) const override;
    QString replaceText(int index) const override;
    void setFindText(int index, const QString &text) override;
    void setReplaceText(int index, const QString &text) override;

    // Lets the window process its pending events once.
    void yield() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // store::TemplateList, over the template list.
    void addEntry(const QString &entry) override;

    // Building the window.
    void adoptServices(Form1Services services);
    void buildMenus();
    void buildListMenu();
    void buildEditor();
    void buildBodyPanels();
    void buildTemplateList();
    void buildPairGrid();
    void connectEvents();
    void chooseFont();
    void setTabOrder();

    void optionToggled(OptionButton *option, bool selected);
    void openMenuBar();
    // The list's entry as the store finds it in the data file.
    store::EntryRef entryRef(int row) const;
    // Shows what a change did; true when it was done.
    bool finishChange(const store::Outcome &outcome);
    void reloadList();
    void watchLockAfter(const store::Outcome &outcome);
    // Reads the list again when another copy (here or on another machine)
    // changed the data file since.
    void reloadIfChangedElsewhere();
    // Whether a command that changes the templates may start now: not while
    // one runs or the list is being filled (the window handles its events
    // meanwhile).
    bool storeCommandMayStart();
    void storePairBox(substitute::BoxArray array, int index, const QString &text);
    void showMessage(const QString &text);
    std::optional<compose::HtmlFallback> askHtmlFallback(const QString &programName);
    // What the placeholders of the next launch are filled with, the
    // template's questions answered in a dialog; nothing when it was cancelled.
    std::optional<substitute::PlaceholderValues> launchValues();
    void nameForScreenReaders();
    // The picker's choice: the entry selected and shown, as a click does;
    // then launched, as a double click does.
    void pickTemplate(int row, bool launch);

    // The controls; their object names are the names the window's users and
    // tests know them by (in brackets).
    QLineEdit *m_nameBox = nullptr;         // Template Name (Text1)
    QLineEdit *m_subjectBox = nullptr;      // Email Subject (Text2)
    QLineEdit *m_attachmentsBox = nullptr;  // attachments (Text3)
    QLineEdit *m_ccBox = nullptr;           // CC (Text4)
    QLineEdit *m_toBox = nullptr;           // To (Text5)
    QLineEdit *m_bccBox = nullptr;          // BCC (Text10)
    OptionButton *m_plainOption = nullptr;  // Plain Text (Option1)
    OptionButton *m_htmlOption = nullptr;   // Saved HTML Email (Option2)
    QWidget *m_plainPanel = nullptr;        // (Frame1)
    QWidget *m_htmlPanel = nullptr;         // (Frame2)
    BodyBox *m_bodyBox = nullptr;           // Email Body (Text7)
    QLineEdit *m_locationBox = nullptr;     // Saved HTML Email Location (Text8)
    QPushButton *m_launchButton = nullptr;  // (Command1)
    QPushButton *m_clearButton = nullptr;   // (Command2)
    QPushButton *m_saveButton = nullptr;    // (Command3)
    QPushButton *m_browseButton = nullptr;  // (Command4)
    TemplateListBox *m_templateList = nullptr; // (List1)
    std::array<QLineEdit *, PairCount> m_findBoxes{};    // (TextFind_0 ... TextFind_10)
    std::array<QLineEdit *, PairCount> m_replaceBoxes{}; // (TextReplaceit_0 ... TextReplaceit_10)
    QMenu *m_listMenu = nullptr;            // the template list's context menu (ListMenu)
    QAction *m_deleteAction = nullptr;      // (DeleteTemplateM)
    QAction *m_renameAction = nullptr;      // (RenameTemplateM)
    QAction *m_undoAction = nullptr;        // (UndoDeleteM)
    QAction *m_tableAction = nullptr;       // (LaunchForEachRowM)
    int m_menuRow = -1;                     // the entry it was opened on
    TemplatePicker *m_picker = nullptr;     // made at the first Ctrl+F

    // What the window works with.
    store::TemplateStore m_store;
    std::unique_ptr<platform::SettingsStore> m_ownSettings;
    platform::SettingsStore *m_settings = nullptr;
    compose::MailClientFactory m_mailClients;
    compose::DesktopMailSetup m_mailSetup; // the desktop's mail client, which the launches go to unless tests say
    std::unique_ptr<platform::Dialogs> m_ownDialogs;
    platform::Dialogs *m_dialogs = nullptr;
    platform::Desktop *m_desktop = nullptr;
    substitute::Calendar m_calendar;

    // Where it stands.
    bool m_launching = false;       // a launch is under way
    int m_queuedLaunches = 0;       // launches asked for meanwhile, run after it
    bool m_tableLaunching = false;  // the launch is a table's: an HTML choice is asked once
    std::optional<compose::HtmlFallback> m_tableFallback; // the choice made for its first row
    bool m_loading = false;         // Form_Load is running: nothing is reported
    QStringList m_startNotices;     // what Form_Load found to tell, told once the window shows
    bool m_storeBusy = false;       // a command changes the templates, or the list is being filled
    store::ShownVersion m_shown;    // the template last brought into the editor
    QTimer m_lockWatch;             // watches another copy's lock after a command waited for it
    bool m_ending = false;          // Exit was chosen
    bool m_settingsFailing = false; // the last write to the settings store failed
    bool m_altAlone = false;        // Alt is down, and no other key came with it
};

// The question for an HTML message that a mail program cannot take: "Open as
// Plain Text" or "Save as Draft"; nothing when the user closes it (Escape).
std::optional<compose::HtmlFallback> AskHtmlFallback(platform::Dialogs &dialogs, const QString &programName);
