// The window as it is built: its controls in their fixed places, its menus,
// the events that have handlers, its font and its focus order. The handlers
// themselves are in form1_handlers.cpp.

#include "app/form1.h"

#include "platform/folderlock.h"

#include <QTimer>

#include "app/appinfo.h"
#include "app/controls.h"
#include "app/endingguard.h"
#include "app/layout.h"
#include "app/widgetdialogs.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QShortcut>
#include <QStyle>

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

// The window's icons, built into the library.
static void initResources()
{
    Q_INIT_RESOURCE(letterloom);
}

namespace {

// Puts a control in its place of the layout, under its object name.
template <typename Control>
Control *placed(Control *control, const QString &name)
{
    control->setObjectName(name);
    control->setGeometry(layout::pixels(layout::place(name)));
    return control;
}

// The room above a label's text: some fonts draw their capitals above the
// ascent they give (Windows' at 150 % scaling), which the label's top edge
// would cut off.
constexpr int LabelTopRoom = 1;

QLabel *label(QWidget *parent, const QString &name, const QString &caption)
{
    auto *l = placed(new QLabel(caption, parent), name);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setTextFormat(Qt::PlainText);
    l->setContentsMargins(0, LabelTopRoom, 0, 0);
    // A screen reader reads the caption without the spaces that place its
    // words over the boxes.
    l->setAccessibleName(caption.simplified());
    return l;
}

QLineEdit *lineBox(QWidget *parent, const QString &name)
{
    auto *box = placed(new QLineEdit(parent), name);
    box->setMaxLength(std::numeric_limits<int>::max()); // a box holds whatever a template holds
    return box;
}

QPushButton *commandButton(QWidget *parent, const QString &name, const QString &caption)
{
    return placed(new CommandButton(caption, parent), name);
}

} // namespace

Form1::Form1(Form1Services services, QWidget *parent)
    : QMainWindow(parent)
    , m_store(services.storeDirectory)
{
    adoptServices(std::move(services));
    // While another copy holds the templates' lock, a command waits a few
    // seconds with the window still answering.
    m_store.setLockWait(3000, [] { QCoreApplication::processEvents(); });
    m_lockWatch.setInterval(platform::FolderLock::RefreshSeconds * 1000);
    connect(&m_lockWatch, &QTimer::timeout, this, [this] {
        if (!m_store.WatchLock())
            m_lockWatch.stop();
    });
    initResources();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(appinfo::windowCaption());
    QIcon icon;
    icon.addFile(QStringLiteral(":/letterloom/letterloom-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/letterloom/letterloom-32.png"), QSize(32, 32));
    setWindowIcon(icon);

    buildMenus();
    buildListMenu();
    buildEditor();
    buildBodyPanels();
    buildTemplateList();
    buildPairGrid();
    connectEvents();
    chooseFont();
    setTabOrder();
    nameForScreenReaders();

    // The main window's layout gives the menu bar its height for the window's
    // width, which some styles (Windows') make differ from its size hint.
    const int menuHeight = menuBar()->heightForWidth(layout::ClientArea.width());
    resize(layout::ClientArea.width(),
           layout::ClientArea.height() + (menuHeight > 0 ? menuHeight : menuBar()->sizeHint().height()));
    m_nameBox->setFocus(Qt::OtherFocusReason);
}

Form1::~Form1() = default;

void Form1::adoptServices(Form1Services services)
{
    m_settings = services.settings;
    if (!m_settings) {
        m_ownSettings = std::make_unique<platform::SettingsStore>();
        m_settings = m_ownSettings.get();
    }
    m_desktop = services.desktop ? services.desktop : &platform::systemDesktop();
    m_calendar = std::move(services.calendar);
    compose::MailClientFactory clients = std::move(services.mailClients);
    m_mailSetup = services.mailSetup;
    if (!m_mailSetup.desktop)
        m_mailSetup.desktop = m_desktop;
    if (!clients) {
        compose::DesktopMailSetup setup = m_mailSetup;
        if (!setup.askHtmlFallback) {
            setup.askHtmlFallback = [this](const QString &programName) {
                if (!m_tableLaunching || !m_tableFallback)
                    m_tableFallback = askHtmlFallback(programName);
                return m_tableFallback;
            };
        }
        clients = compose::desktopMailClients(setup);
    }
    m_mailClients = stoppedWhenEnding(std::move(clients), &m_ending);
    m_dialogs = services.dialogs;
    if (!m_dialogs) {
        m_ownDialogs = std::make_unique<WidgetDialogs>(this);
        m_dialogs = m_ownDialogs.get();
    }
}

void Form1::buildMenus()
{
    QMenu *fileMenu = menuBar()->addMenu(tr("File"));
    fileMenu->setObjectName(QStringLiteral("FileM"));
    QAction *suggestions = fileMenu->addAction(tr("Suggestions"));
    suggestions->setObjectName(QStringLiteral("SuggestionsM"));
    QAction *exit = fileMenu->addAction(tr("E&xit"));
    exit->setObjectName(QStringLiteral("ExitM"));

    QMenu *helpMenu = menuBar()->addMenu(tr("Help", "the menu"));
    helpMenu->setObjectName(QStringLiteral("HelpM"));
    QAction *help = helpMenu->addAction(tr("Help", "the menu item"));
    help->setObjectName(QStringLiteral("HelpMMMM"));
    QAction *about = helpMenu->addAction(tr("About"));
    about->setObjectName(QStringLiteral("AboutMMMM"));

    connect(suggestions, &QAction::triggered, this, &Form1::SuggestionsM_Click);
    connect(exit, &QAction::triggered, this, &Form1::ExitM_Click);
    connect(help, &QAction::triggered, this, &Form1::HelpMMMM_Click);
    connect(about, &QAction::triggered, this, &Form1::AboutMMMM_Click);

    // F10, or Alt pressed and let go alone, opens the menu bar's first menu.
    auto *menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this, &Form1::openMenuBar);
    // F1 opens the help page, as a key of the window: the menu item shows no key.
    auto *helpKey = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(helpKey, &QShortcut::activated, this, &Form1::HelpMMMM_Click);
    // Ctrl+S saves and Ctrl+Enter launches the template in the editor,
    // wherever the focus stands in the window.
    auto *saveKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this);
    connect(saveKey, &QShortcut::activated, this, &Form1::SaveTemplate);
    for (const Qt::Key enter : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *launchKey = new QShortcut(QKeySequence(Qt::CTRL | enter), this);
        connect(launchKey, &QShortcut::activated, this, &Form1::ComposeEmail);
    }
    auto *findKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this);
    connect(findKey, &QShortcut::activated, this, &Form1::FindTemplate);
    qApp->installEventFilter(this);
}

void Form1::buildListMenu()
{
    // The template list's context menu, for the entry it was opened on.
    m_listMenu = new QMenu(this);
    m_listMenu->setObjectName(QStringLiteral("ListMenu"));
    m_tableAction = m_listMenu->addAction(tr("Launch for Each Row\u2026"));
    m_tableAction->setObjectName(QStringLiteral("LaunchForEachRowM"));
    m_listMenu->addSeparator();
    m_deleteAction = m_listMenu->addAction(tr("Delete Template"));
    m_deleteAction->setObjectName(QStringLiteral("DeleteTemplateM"));
    m_renameAction = m_listMenu->addAction(tr("Rename Template"));
    m_renameAction->setObjectName(QStringLiteral("RenameTemplateM"));
    m_listMenu->addSeparator();
    m_undoAction = m_listMenu->addAction(tr("Undo Delete"));
    m_undoAction->setObjectName(QStringLiteral("UndoDeleteM"));
    m_undoAction->setShortcut(QKeySequence::Undo); // shown; the list itself takes the key
    m_undoAction->setShortcutContext(Qt::WidgetShortcut);
    connect(m_deleteAction, &QAction::triggered, this, [this] { DeleteTemplate(m_menuRow); });
    connect(m_renameAction, &QAction::triggered, this, [this] { RenameTemplate(m_menuRow); });
    connect(m_undoAction, &QAction::triggered, this, &Form1::UndoDelete);
    connect(m_tableAction, &QAction::triggered, this, [this] { LaunchForEachRow(m_menuRow); });
}

void Form1::buildEditor()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(client);

    label(client, QStringLiteral("Label1"), tr("Template Name"));
    //: One caption over the three address boxes: each name stands above its box.
    label(client, QStringLiteral("Label9"),
          tr("TO: Email Address          CC: Email Address            BCC: Email Address"));
    label(client, QStringLiteral("Label2"), tr("Email Subject"));
    label(client, QStringLiteral("Label4"), tr("Attachments Full Path (Seperate multiple attaments with ; )"));
    label(client, QStringLiteral("Label5"),
          tr("Click to Edit or Double Click to Open in a Email (Make sure Outlook is open)"))
        ->setWordWrap(true);
    //: One caption over the two columns of boxes: each name stands above its column.
    label(client, QStringLiteral("Label8"), tr("Find Text                               Replace Text"));

    m_nameBox = lineBox(client, QStringLiteral("Text1"));
    m_toBox = lineBox(client, QStringLiteral("Text5"));
    m_ccBox = lineBox(client, QStringLiteral("Text4"));
    m_bccBox = lineBox(client, QStringLiteral("Text10"));
    m_subjectBox = lineBox(client, QStringLiteral("Text2"));
    m_attachmentsBox = lineBox(client, QStringLiteral("Text3"));

    m_plainOption = placed(new OptionButton(tr("Plain Text"), client), QStringLiteral("Option1"));
    m_htmlOption = placed(new OptionButton(tr("Saved HTML Email"), client), QStringLiteral("Option2"));
    m_plainOption->setPartner(m_htmlOption);
    m_htmlOption->setPartner(m_plainOption);
    m_plainOption->setChecked(true);
    m_htmlOption->setFocusPolicy(Qt::ClickFocus);

    m_launchButton = commandButton(client, QStringLiteral("Command1"), tr("Launch"));
    m_saveButton = commandButton(client, QStringLiteral("Command3"), tr("Save"));
    m_clearButton = commandButton(client, QStringLiteral("Command2"), tr("Clear"));
}

void Form1::buildBodyPanels()
{
    QWidget *client = centralWidget();
    m_plainPanel = placed(new QWidget(client), QStringLiteral("Frame1"));
    label(m_plainPanel, QStringLiteral("Label3"), tr("Email Body"));
    m_bodyBox = placed(new BodyBox(m_plainPanel), QStringLiteral("Text7"));
    m_bodyBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_bodyBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_bodyBox->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_bodyBox->setTabChangesFocus(true);

    m_htmlPanel = placed(new QWidget(client), QStringLiteral("Frame2"));
    label(m_htmlPanel, QStringLiteral("Label10"), tr("Saved HTML Email Location"));
    m_locationBox = lineBox(m_htmlPanel, QStringLiteral("Text8"));
    m_browseButton = commandButton(m_htmlPanel, QStringLiteral("Command4"), tr("Browse"));
    m_htmlPanel->hide();
}

void Form1::buildTemplateList()
{
    m_templateList = placed(new TemplateListBox(centralWidget()), QStringLiteral("List1"));
    m_templateList->setSelectionMode(QAbstractItemView::SingleSelection);
    // An entry holds its whole template behind 200 spaces; only the name
    // may be seen, so the line is cut at the right edge, never scrolled.
    m_templateList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_templateList->setTextElideMode(Qt::ElideNone);
    m_templateList->setWordWrap(false);
    m_templateList->setUniformItemSizes(true);
}

void Form1::buildPairGrid()
{
    for (int i = 0; i < PairCount; ++i) {
        m_findBoxes[i] = lineBox(centralWidget(), QStringLiteral("TextFind_%1").arg(i));
        m_replaceBoxes[i] = lineBox(centralWidget(), QStringLiteral("TextReplaceit_%1").arg(i));
    }
}

void Form1::connectEvents()
{
    // The events that have handlers; every other event runs nothing.
    connect(m_launchButton, &QPushButton::clicked, this, &Form1::ComposeEmail);
    connect(m_saveButton, &QPushButton::clicked, this, &Form1::SaveTemplate);
    connect(m_clearButton, &QPushButton::clicked, this, &Form1::ClearEditor);
    connect(m_browseButton, &QPushButton::clicked, this, &Form1::ChooseHtmlFile);
    connect(m_templateList, &TemplateListBox::click, this, &Form1::ShowTemplate);
    connect(m_templateList, &TemplateListBox::dblClick, this, &Form1::ComposeEmail);
    connect(m_templateList, &TemplateListBox::deleteKey, this, &Form1::DeleteTemplate);
    connect(m_templateList, &TemplateListBox::renameKey, this, &Form1::RenameTemplate);
    connect(m_templateList, &TemplateListBox::undoKey, this, &Form1::UndoDelete);
    connect(m_templateList, &TemplateListBox::contextMenuAt, this, [this](int row, const QPoint &at) {
        m_menuRow = row;
        m_deleteAction->setEnabled(row >= 0);
        m_renameAction->setEnabled(row >= 0);
        m_tableAction->setEnabled(row >= 0 && !m_launching);
        m_undoAction->setEnabled(m_store.PlanUndo().version.has_value());
        m_listMenu->popup(at);
    });
    for (OptionButton *option : {m_plainOption, m_htmlOption})
        connect(option, &QAbstractButton::toggled, this, [this, option](bool selected) { optionToggled(option, selected); });
    for (int i = 0; i < PairCount; ++i) {
        connect(m_findBoxes[i], &QLineEdit::textChanged, this,
                [this, i](const QString &text) { storePairBox(substitute::BoxArray::Find, i, text); });
        connect(m_replaceBoxes[i], &QLineEdit::textChanged, this,
                [this, i](const QString &text) { storePairBox(substitute::BoxArray::Replace, i, text); });
    }
}

void Form1::optionToggled(OptionButton *option, bool selected)
{
    // The group of two: one becoming selected deselects the other. Only the
    // selected option is a Tab stop; with neither, Plain Text is.
    OptionButton *other = option == m_plainOption ? m_htmlOption : m_plainOption;
    if (selected) {
        other->setChecked(false);
        option->setFocusPolicy(Qt::StrongFocus);
        other->setFocusPolicy(Qt::ClickFocus);
        SetFrame();
    } else if (!other->isChecked()) {
        m_plainOption->setFocusPolicy(Qt::StrongFocus);
        m_htmlOption->setFocusPolicy(Qt::ClickFocus);
    }
}

void Form1::setTabOrder()
{
    // The controls that can take the focus, in the order of their TabIndex.
    std::vector<std::pair<int, QWidget *>> order;
    for (const layout::Place &place : layout::places()) {
        auto *control = findChild<QWidget *>(place.control);
        if (control && control->focusPolicy() != Qt::NoFocus)
            order.emplace_back(place.tabIndex, control);
    }
    std::sort(order.begin(), order.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1].second, order[i].second);
}

// The names a screen reader reads for the boxes, options and list: the
// caption that describes each (the grid's boxes share one caption, so their
// names say the row).
void Form1::nameForScreenReaders()
{
    // The window by the program's name alone: the caption, with its web
    // address, would be read at every change of the focus.
    setAccessibleName(QStringLiteral("Letterloom"));
    const std::pair<QWidget *, QString> named[] = {
        {m_nameBox, tr("Template Name")},
        {m_toBox, tr("To: Email Address")},
        {m_ccBox, tr("CC: Email Address")},
        {m_bccBox, tr("BCC: Email Address")},
        {m_subjectBox, tr("Email Subject")},
        {m_attachmentsBox, tr("Attachments Full Path")},
        {m_plainOption, m_plainOption->text()},
        {m_htmlOption, m_htmlOption->text()},
        {m_bodyBox, tr("Email Body")},
        {m_locationBox, tr("Saved HTML Email Location")},
        {m_templateList, tr("Templates")},
    };
    for (const auto &[widget, name] : named)
        widget->setAccessibleName(name);
    m_attachmentsBox->setAccessibleDescription(findChild<QLabel *>(QStringLiteral("Label4"))->text());
#ifdef Q_OS_WIN
    m_templateList->setAccessibleDescription(findChild<QLabel *>(QStringLiteral("Label5"))->text());
#else
    // Without Outlook's hint, which does not hold here.
    m_templateList->setAccessibleDescription(tr("Click to Edit or Double Click to Open in a Email"));
#endif
    for (int row = 1; row <= PairCount; ++row) {
        const int pair = layout::pairOfRow(row);
        m_findBoxes[pair]->setAccessibleName(tr("Find text, row %1").arg(row));
        m_replaceBoxes[pair]->setAccessibleName(tr("Replace text, row %1").arg(row));
    }
}

// The captions stand in boxes of fixed size, so the window's font is the
// largest size of the desktop's font at which every caption fits its box.
void Form1::chooseFont()
{
    struct Caption
    {
        QString text;
        int room;   // the width the text may take
        int height; // the height it may take
        bool wraps = false;
    };
    std::vector<Caption> captions;
    for (QLabel *l : centralWidget()->findChildren<QLabel *>()) {
        // A label's text stands on its top 16 pixels; what lies below is
        // covered by the box under it (or, for the list's hint, by the list).
        captions.push_back({l->text(), l->width(), (l->wordWrap() ? 32 : 16) - LabelTopRoom, l->wordWrap()});
    }
    for (QPushButton *b : centralWidget()->findChildren<QPushButton *>())
        captions.push_back({b->text(), b->width() - 8, b->height() - 2});
    for (OptionButton *o : {m_plainOption, m_htmlOption}) {
        const int indicator = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, o)
                              + style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, o);
        captions.push_back({o->text(), o->width() - indicator - 1, o->height() + 2});
    }

    auto fits = [&](const QFont &font) {
        const QFontMetrics metrics(font);
        return std::all_of(captions.begin(), captions.end(), [&metrics](const Caption &c) {
            if (c.wraps)
                return metrics.boundingRect(QRect(0, 0, c.room, 1000), Qt::TextWordWrap, c.text).height() <= c.height;
            return metrics.horizontalAdvance(c.text) <= c.room && metrics.height() <= c.height;
        });
    };

    QFont font = QApplication::font();
    qreal size = std::min<qreal>(font.pointSizeF() > 0 ? font.pointSizeF() : 9.0, 9.0);
    for (; size > 6.0; size -= 0.5) {
        font.setPointSizeF(size);
        if (fits(font))
            break;
    }
    font.setPointSizeF(size);
    setFont(font);
    // Menus open as windows of their own, which take no font from this one.
    for (QMenu *menu : findChildren<QMenu *>())
        menu->setFont(font);
}
