#include "app/form1.h"

#include "app/appinfo.h"
#include "app/controls.h"
#include "app/widgetdialogs.h"
#include "store/templaterecord.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QKeyEvent>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>

#include <algorithm>
#include <exception>
#include <limits>
#include <utility>
#include <vector>

// The window's icons, built into the library.
static void initResources()
{
    Q_INIT_RESOURCE(letterloom);
}

namespace {

// Positions and sizes are kept in twips; 15 twips are one pixel.
QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

// The grid: row r (1 to 11) holds pair gridPair[r - 1].
constexpr int kGridPair[Form1::PairCount] = {0, 1, 2, 3, 4, 5, 6, 7, 10, 8, 9};

struct GridRow
{
    int top, findLeft, replaceLeft, width, findTab, replaceTab;
};

GridRow gridRow(int row)
{
    if (row <= 9)
        return {3120 + 360 * (row - 1), 5760, 7800, 1935, 7 + 2 * (row - 1), 8 + 2 * (row - 1)};
    if (row == 10)
        return {7920, 5880, 9000, 3015, 30, 31};
    return {8280, 5880, 9000, 3015, 29, 32};
}

// A mail client whose operations all fail once the program is ending, so
// that a launch waiting in a yield when Exit is chosen shows nothing.
class EndingAwareItem final : public compose::MailItem
{
public:
    EndingAwareItem(std::unique_ptr<compose::MailItem> item, const bool *ending)
        : m_item(std::move(item)), m_ending(ending)
    {
    }
    bool put(compose::TextProperty property, const QString &value) override
    {
        return !*m_ending && m_item->put(property, value);
    }
    bool putBodyFormat(compose::BodyFormat format) override { return !*m_ending && m_item->putBodyFormat(format); }
    bool addAttachment(const QString &source) override { return !*m_ending && m_item->addAttachment(source); }
    bool display() override { return !*m_ending && m_item->display(); }
    QString errorString() const override
    {
        return *m_ending ? QStringLiteral("Letterloom is ending.") : m_item->errorString();
    }
    QString notice() const override { return m_item->notice(); }

private:
    std::unique_ptr<compose::MailItem> m_item;
    const bool *m_ending;
};

class EndingAwareClient final : public compose::MailClient
{
public:
    EndingAwareClient(std::unique_ptr<compose::MailClient> client, const bool *ending)
        : m_client(std::move(client)), m_ending(ending)
    {
    }
    std::unique_ptr<compose::MailItem> createItem(int itemType) override
    {
        if (*m_ending)
            return nullptr;
        std::unique_ptr<compose::MailItem> item = m_client->createItem(itemType);
        return item ? std::make_unique<EndingAwareItem>(std::move(item), m_ending) : nullptr;
    }
    QString errorString() const override { return m_client->errorString(); }

private:
    std::unique_ptr<compose::MailClient> m_client;
    const bool *m_ending;
};

// Runs one unit of the load step; a unit that fails is passed over.
template <typename Unit>
void skipOnFailure(Unit &&unit) noexcept
{
    try {
        unit();
    } catch (const std::exception &) {
    } catch (...) {
    }
}

} // namespace

Form1::Form1(Form1Services services, QWidget *parent)
    : QMainWindow(parent)
    , m_store(services.storeDirectory)
    , m_settings(services.settings)
    , m_dialogs(services.dialogs)
    , m_desktop(services.desktop ? services.desktop : &platform::systemDesktop())
{
    if (!m_settings) {
        m_ownSettings = std::make_unique<platform::SettingsStore>();
        m_settings = m_ownSettings.get();
    }
    compose::MailClientFactory clients = std::move(services.mailClients);
    if (!clients) {
        compose::DesktopMailSetup setup;
        setup.desktop = m_desktop;
        clients = compose::desktopMailClients(setup);
    }
    m_mailClients = [this, clients](QString *error) -> std::unique_ptr<compose::MailClient> {
        if (m_ending)
            return nullptr;
        std::unique_ptr<compose::MailClient> client = clients(error);
        return client ? std::make_unique<EndingAwareClient>(std::move(client), &m_ending) : nullptr;
    };
    if (!m_dialogs) {
        m_ownDialogs = std::make_unique<WidgetDialogs>(this);
        m_dialogs = m_ownDialogs.get();
    }

    initResources();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(appinfo::windowCaption());
    QIcon icon;
    icon.addFile(QStringLiteral(":/letterloom/letterloom-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/letterloom/letterloom-32.png"), QSize(32, 32));
    setWindowIcon(icon);

    buildMenus();
    buildControls();
    chooseFont();
    setTabOrder();

    // The client area below the menu bar is 10005 by 6510 twips.
    // The main window's layout gives the menu bar its height for the window's
    // width, which some styles (Windows') make differ from its size hint.
    const int menuHeight = menuBar()->heightForWidth(667);
    resize(667, 434 + (menuHeight > 0 ? menuHeight : menuBar()->sizeHint().height()));
    Text1->setFocus(Qt::OtherFocusReason);
}

Form1::~Form1() = default;

void Form1::buildMenus()
{
    QMenu *fileMenu = menuBar()->addMenu(QStringLiteral("File"));
    fileMenu->setObjectName(QStringLiteral("FileM"));
    QAction *suggestions = fileMenu->addAction(QStringLiteral("Suggestions"));
    suggestions->setObjectName(QStringLiteral("SuggestionsM"));
    QAction *exit = fileMenu->addAction(QStringLiteral("E&xit"));
    exit->setObjectName(QStringLiteral("ExitM"));

    QMenu *helpMenu = menuBar()->addMenu(QStringLiteral("Help"));
    helpMenu->setObjectName(QStringLiteral("HelpM"));
    QAction *help = helpMenu->addAction(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("HelpMMMM"));
    QAction *about = helpMenu->addAction(QStringLiteral("About"));
    about->setObjectName(QStringLiteral("AboutMMMM"));

    // The template list's context menu, for the entry it was opened on.
    m_listMenu = new QMenu(this);
    m_listMenu->setObjectName(QStringLiteral("ListMenu"));
    QAction *deleteTemplate = m_listMenu->addAction(QStringLiteral("Delete Template"));
    deleteTemplate->setObjectName(QStringLiteral("DeleteTemplateM"));
    QAction *renameTemplate = m_listMenu->addAction(QStringLiteral("Rename Template"));
    renameTemplate->setObjectName(QStringLiteral("RenameTemplateM"));
    connect(deleteTemplate, &QAction::triggered, this, [this] { DeleteTemplate(m_menuRow); });
    connect(renameTemplate, &QAction::triggered, this, [this] { RenameTemplate(m_menuRow); });

    // F10, or Alt pressed and let go alone, opens the menu bar's first menu.
    auto *menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this, &Form1::openMenuBar);
    qApp->installEventFilter(this);

    connect(suggestions, &QAction::triggered, this, &Form1::SuggestionsM_Click);
    connect(exit, &QAction::triggered, this, &Form1::ExitM_Click);
    connect(help, &QAction::triggered, this, &Form1::HelpMMMM_Click);
    connect(about, &QAction::triggered, this, &Form1::AboutMMMM_Click);
}

void Form1::buildControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(client);

    // Labels are created first so that the boxes they touch lie above them.
    auto label = [](QWidget *parent, const char *name, const QString &caption, QRect geometry) {
        auto *l = new QLabel(caption, parent);
        l->setObjectName(QLatin1String(name));
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->setTextFormat(Qt::PlainText);
        l->setGeometry(geometry);
        return l;
    };
    auto lineEdit = [](QWidget *parent, const QString &name, QRect geometry) {
        auto *e = new QLineEdit(parent);
        e->setObjectName(name);
        e->setMaxLength(std::numeric_limits<int>::max()); // a box holds whatever a template holds
        e->setGeometry(geometry);
        return e;
    };
    auto button = [](QWidget *parent, const char *name, const QString &caption, QRect geometry) {
        auto *b = new CommandButton(caption, parent);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(geometry);
        return b;
    };

    label(client, "Label1", QStringLiteral("Template Name"), twips(120, 240, 1215, 255));
    label(client, "Label9",
          QStringLiteral("TO: Email Address          CC: Email Address            BCC: Email Address"),
          twips(120, 840, 5175, 255));
    label(client, "Label2", QStringLiteral("Email Subject"), twips(120, 1440, 1215, 255));
    label(client, "Label4", QStringLiteral("Attachments Full Path (Seperate multiple attaments with ; )"),
          twips(120, 2040, 4095, 375));
    label(client, "Label5",
          QStringLiteral("Click to Edit or Double Click to Open in a Email (Make sure Outlook is open)"),
          twips(5760, 120, 3615, 495))
        ->setWordWrap(true);
    label(client, "Label8", QStringLiteral("Find Text                               Replace Text"),
          twips(5760, 2880, 3975, 255));

    Text1 = lineEdit(client, QStringLiteral("Text1"), twips(120, 480, 5295, 285));
    Text5 = lineEdit(client, QStringLiteral("Text5"), twips(120, 1080, 1695, 285));
    Text4 = lineEdit(client, QStringLiteral("Text4"), twips(1920, 1080, 1695, 285));
    Text10 = lineEdit(client, QStringLiteral("Text10"), twips(3720, 1080, 1695, 285));
    Text2 = lineEdit(client, QStringLiteral("Text2"), twips(120, 1680, 5295, 285));
    Text3 = lineEdit(client, QStringLiteral("Text3"), twips(120, 2280, 5295, 285));

    Option1 = new OptionButton(QStringLiteral("Plain Text"), client);
    Option1->setObjectName(QStringLiteral("Option1"));
    Option1->setGeometry(twips(2040, 2640, 1215, 195));
    Option2 = new OptionButton(QStringLiteral("Saved HTML Email"), client);
    Option2->setObjectName(QStringLiteral("Option2"));
    Option2->setGeometry(twips(3360, 2640, 2055, 195));
    Option1->setPartner(Option2);
    Option2->setPartner(Option1);
    Option1->setChecked(true);
    Option2->setFocusPolicy(Qt::ClickFocus);

    Frame1 = new QWidget(client);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(twips(120, 2880, 5415, 3615));
    label(Frame1, "Label3", QStringLiteral("Email Body"), twips(0, 0, 1215, 255));
    Text7 = new BodyBox(Frame1);
    Text7->setObjectName(QStringLiteral("Text7"));
    Text7->setGeometry(twips(0, 240, 5295, 3255));
    Text7->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text7->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text7->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Text7->setTabChangesFocus(true);

    Frame2 = new QWidget(client);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Frame2->setGeometry(twips(120, 2880, 5415, 975));
    label(Frame2, "Label10", QStringLiteral("Saved HTML Email Location"), twips(0, 0, 2295, 495));
    Text8 = lineEdit(Frame2, QStringLiteral("Text8"), twips(0, 240, 5055, 285));
    Command4 = button(Frame2, "Command4", QStringLiteral("Browse"), twips(3600, 600, 1455, 255));
    Frame2->hide();

    Command1 = button(client, "Command1", QStringLiteral("Launch"), twips(2400, 120, 975, 255));
    Command3 = button(client, "Command3", QStringLiteral("Save"), twips(3480, 120, 975, 255));
    Command2 = button(client, "Command2", QStringLiteral("Clear"), twips(4560, 120, 975, 255));

    List1 = new TemplateListBox(client);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setGeometry(twips(5760, 600, 4095, 2010));
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    // An entry holds its whole template behind 200 spaces; only the name
    // may be seen, so the line is cut at the right edge, never scrolled.
    List1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    List1->setTextElideMode(Qt::ElideNone);
    List1->setWordWrap(false);
    List1->setUniformItemSizes(true);

    for (int row = 1; row <= PairCount; ++row) {
        const int pair = kGridPair[row - 1];
        const GridRow g = gridRow(row);
        TextFind[pair] = lineEdit(client, QStringLiteral("TextFind_%1").arg(pair),
                                  twips(g.findLeft, g.top, g.width, 285));
        TextReplaceit[pair] = lineEdit(client, QStringLiteral("TextReplaceit_%1").arg(pair),
                                       twips(g.replaceLeft, g.top, g.width, 285));
    }

    // The events that have handlers; every other event runs nothing.
    connect(Command1, &QPushButton::clicked, this, &Form1::ComposeEmail);
    connect(Command3, &QPushButton::clicked, this, &Form1::SaveTemplate);
    connect(Command4, &QPushButton::clicked, this, &Form1::ChooseHtmlFile);
    connect(List1, &TemplateListBox::click, this, &Form1::ShowTemplate);
    connect(List1, &TemplateListBox::dblClick, this, &Form1::ComposeEmail);
    connect(List1, &TemplateListBox::deleteKey, this, &Form1::DeleteTemplate);
    connect(List1, &TemplateListBox::renameKey, this, &Form1::RenameTemplate);
    connect(List1, &TemplateListBox::contextMenuAt, this, [this](int row, const QPoint &at) {
        m_menuRow = row;
        m_listMenu->popup(at);
    });
    for (OptionButton *option : {Option1, Option2}) {
        OptionButton *other = option == Option1 ? Option2 : Option1;
        connect(option, &QAbstractButton::toggled, this, [this, option, other](bool selected) {
            // The group of two: one becoming selected deselects the other.
            // Only the selected option is a Tab stop; with neither, Plain Text is.
            if (selected) {
                other->setChecked(false);
                option->setFocusPolicy(Qt::StrongFocus);
                other->setFocusPolicy(Qt::ClickFocus);
                SetFrame();
            } else if (!other->isChecked()) {
                Option1->setFocusPolicy(Qt::StrongFocus);
                Option2->setFocusPolicy(Qt::ClickFocus);
            }
        });
    }
    for (int i = 0; i < PairCount; ++i) {
        connect(TextFind[i], &QLineEdit::textChanged, this, [this, i](const QString &text) {
            pairBoxChanged(substitute::BoxArray::Find, i, text);
        });
        connect(TextReplaceit[i], &QLineEdit::textChanged, this, [this, i](const QString &text) {
            pairBoxChanged(substitute::BoxArray::Replace, i, text);
        });
    }
}

void Form1::setTabOrder()
{
    std::vector<std::pair<int, QWidget *>> order = {
        {0, Text1}, {1, Text5}, {2, Text4}, {3, Text10}, {4, Text2}, {5, Text3}, {6, Text7},
        {25, Command1}, {33, List1}, {34, Command2}, {35, Command3}, {39, Option1}, {40, Option2},
        {44, Text8}, {45, Command4},
    };
    for (int row = 1; row <= PairCount; ++row) {
        const int pair = kGridPair[row - 1];
        const GridRow g = gridRow(row);
        order.emplace_back(g.findTab, TextFind[pair]);
        order.emplace_back(g.replaceTab, TextReplaceit[pair]);
    }
    std::sort(order.begin(), order.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1].second, order[i].second);
}

// The captions stand in boxes of fixed size, so the window's font is the
// largest size of the desktop's font at which every caption fits its box.
void Form1::chooseFont()
{
    struct Caption
    {
        QWidget *widget;
        QString text;
        int room;          // the width the text may take
        int height;        // the height it may take
        bool wraps = false;
    };
    std::vector<Caption> captions;
    const QWidget *client = centralWidget();
    for (QLabel *l : client->findChildren<QLabel *>()) {
        // A label's text stands on its top 16 pixels; what lies below is
        // covered by the box under it (or, for the list's hint, by the list).
        captions.push_back({l, l->text(), l->width(), l->wordWrap() ? 32 : 16, l->wordWrap()});
    }
    for (QPushButton *b : client->findChildren<QPushButton *>())
        captions.push_back({b, b->text(), b->width() - 8, b->height() - 2});
    for (OptionButton *o : {Option1, Option2}) {
        const int indicator = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, o)
                              + style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, o);
        captions.push_back({o, o->text(), o->width() - indicator - 1, o->height() + 2});
    }

    auto fits = [&](const QFont &font) {
        const QFontMetrics metrics(font);
        for (const Caption &c : captions) {
            if (c.wraps) {
                const QRect needed =
                    metrics.boundingRect(QRect(0, 0, c.room, 1000), Qt::TextWordWrap, c.text);
                if (needed.height() > c.height)
                    return false;
            } else if (metrics.horizontalAdvance(c.text) > c.room || metrics.height() > c.height) {
                return false;
            }
        }
        return true;
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
    for (QMenu *menu : menuBar()->findChildren<QMenu *>())
        menu->setFont(font);
    m_listMenu->setFont(font);
}

void Form1::Form_Load()
{
    m_loading = true;
    skipOnFailure([this] { substitute::LoadSubstitutionPairs(*this, *m_settings); });
    skipOnFailure([this] { store::LoadTemplateList(m_store, *this); });
    // One listing of the folder now spares Save and a click on a template a
    // listing each when a file's name differs in letter case.
    skipOnFailure([this] { m_store.IndexFolder(); });
    m_loading = false;
}

void Form1::SetFrame()
{
    if (Option1->isChecked()) {
        Frame1->setVisible(true);
        Frame2->setVisible(false);
    } else {
        Frame1->setVisible(false);
        Frame2->setVisible(true);
    }
}

void Form1::ShowTemplate()
{
    const int row = List1->selectedRow();
    if (row < 0)
        return;
    store::ShownTemplate shown = store::DecodeListEntry(List1->entryText(row));
    const QStringList cut = store::CutToLongestBoxText(shown);

    const std::pair<QLineEdit *, const QString *> boxes[] = {
        {Text1, &shown.name}, {Text2, &shown.subject}, {Text3, &shown.attachments},
        {Text4, &shown.cc},   {Text5, &shown.to},      {Text10, &shown.bcc},
    };
    for (const auto &[box, text] : boxes) {
        box->clear();
        box->setText(*text);
    }

    // Plain Text first, then each stored flag in turn; an option that
    // becomes selected shows its panel, and both may end up deselected.
    Option1->setChecked(true);
    Option2->setChecked(false);
    if (shown.plainFlag)
        Option1->setChecked(*shown.plainFlag);
    if (shown.htmlFlag)
        Option2->setChecked(*shown.htmlFlag);

    Text8->clear();
    Text8->setText(shown.htmlLocation);
    Text7->clear();
    QString storedBody = m_store.ReadBody(Text1->text());
    storedBody.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    Text7->setPlainText(storedBody);

    if (!cut.isEmpty()) {
        showMessage(QStringLiteral("This template holds more than %1 characters in %2. The box shows the first "
                                   "%1 of them; saving the template again stores only those.")
                        .arg(QLocale(QLocale::English).toString(store::LongestBoxText),
                             cut.join(QStringLiteral(", "))));
    }
}

void Form1::ComposeEmail()
{
    // A launch asked for while one is under way (the window handles its
    // events while a mail program starts) runs when that one is done, so
    // that none is lost to a mail program that is not ready yet. The busy
    // cursor shows that a launch is under way until every one is done.
    if (m_launching) {
        ++m_queuedLaunches;
        return;
    }
    m_launching = true;
    for (;;) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        const compose::LaunchOutcome outcome = compose::ComposeEmail(*this, *this, m_mailClients);
        QApplication::restoreOverrideCursor();
        if (!outcome.message.isEmpty() && !m_ending)
            showMessage(outcome.message);
        if (m_queuedLaunches == 0 || m_ending)
            break;
        --m_queuedLaunches;
    }
    m_queuedLaunches = 0;
    m_launching = false;
}

void Form1::SaveTemplate()
{
    // A name that is stored already is replaced, once the user agrees; the
    // list is then read again from the data file, which holds it once.
    const QString refusal = store::TemplateStore::RefusalFor(*this);
    if (refusal.isEmpty() && m_store.Contains(templateName())) {
        if (!m_dialogs->question(QStringLiteral("A template named \"%1\" is saved already. Replace it with the "
                                                "template in the editor?")
                                     .arg(store::TrimSpaces(templateName()))))
            return;
        const store::ChangeOutcome outcome = m_store.ReplaceTemplate(*this);
        if (outcome.status == store::ChangeOutcome::Status::Done)
            reloadList();
        if (!outcome.message.isEmpty())
            showMessage(outcome.message);
        return;
    }
    const store::SaveOutcome outcome = m_store.SaveTemplate(*this);
    if (outcome.addsEntry)
        List1->addEntry(outcome.listEntry);
    if (!outcome.message.isEmpty())
        showMessage(outcome.message);
}

void Form1::DeleteTemplate(int row)
{
    if (row < 0)
        return;
    const QString name = store::DecodeListEntry(List1->entryText(row)).name;
    if (!m_dialogs->question(QStringLiteral("Delete the template \"%1\"? Its body file goes to the "
                                                       "trash.")
                                            .arg(name)))
        return;
    finishChange(m_store.DeleteTemplate(name));
}

void Form1::RenameTemplate(int row)
{
    if (row < 0)
        return;
    const QString name = store::DecodeListEntry(List1->entryText(row)).name;
    const std::optional<QString> newName =
        m_dialogs->textInput(QStringLiteral("New name for the template \"%1\":").arg(name), name);
    if (!newName || *newName == name)
        return;
    finishChange(m_store.RenameTemplate(name, *newName));
}

void Form1::finishChange(const store::ChangeOutcome &outcome)
{
    if (outcome.status == store::ChangeOutcome::Status::Done
        || outcome.status == store::ChangeOutcome::Status::Refused)
        reloadList(); // the file may have changed behind this window's back
    if (!outcome.message.isEmpty())
        showMessage(outcome.message);
}

void Form1::reloadList()
{
    List1->clearEntries();
    skipOnFailure([this] { store::LoadTemplateList(m_store, *this); });
}

void Form1::ChooseHtmlFile()
{
    // Every Browse starts afresh, offering the HTML files; a cancelled
    // dialog leaves the path that was there.
    const QString chosen = m_dialogs->openFileName(QStringLiteral("HTML files (*.htm *.html)"));
    if (!chosen.isEmpty())
        Text8->setText(chosen);
}

void Form1::HelpMMMM_Click()
{
    m_desktop->openUrl(appinfo::helpPageUrl());
}

void Form1::AboutMMMM_Click()
{
    showMessage(appinfo::aboutText());
}

void Form1::SuggestionsM_Click()
{
    showMessage(appinfo::suggestionsText());
}

void Form1::ExitM_Click()
{
    // Everything that lasts was stored when it changed: nothing to save, nothing
    // to ask. A launch that waits in a yield meanwhile stops at its next step.
    m_ending = true;
    close();
    QCoreApplication::quit();
}

void Form1::openMenuBar()
{
    if (QAction *first = menuBar()->actions().value(0))
        menuBar()->setActiveAction(first);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    // Alt pressed and let go with no other key between opens the menu bar,
    // as on Windows, in every style.
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool inThisWindow = watched->isWidgetType() && static_cast<QWidget *>(watched)->window() == this;
        if (inThisWindow && !key->isAutoRepeat()) {
            const bool alt = key->key() == Qt::Key_Alt;
            if (event->type() == QEvent::KeyPress) {
                m_altAlone = alt;
            } else if (alt && m_altAlone) {
                m_altAlone = false;
                openMenuBar();
                return true;
            }
        }
    } else if (event->type() == QEvent::MouseButtonPress) {
        m_altAlone = false;
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form1::pairBoxChanged(substitute::BoxArray array, int index, const QString &text)
{
    // A store that cannot be written is reported once, not at every
    // keystroke, until a write succeeds again.
    QString error;
    const bool saved = substitute::SaveSubstitutionBox(*m_settings, array, index, text, &error);
    if (m_loading)
        return;
    if (!saved && !m_settingsFailing)
        showMessage(error);
    m_settingsFailing = !saved;
}

void Form1::showMessage(const QString &text)
{
    m_dialogs->message(text);
}

QString Form1::templateName() const { return Text1->text(); }
QString Form1::subject() const { return Text2->text(); }
QString Form1::attachments() const { return Text3->text(); }
QString Form1::cc() const { return Text4->text(); }
QString Form1::to() const { return Text5->text(); }
QString Form1::bcc() const { return Text10->text(); }
bool Form1::plainTextSelected() const { return Option1->isChecked(); }
bool Form1::htmlSelected() const { return Option2->isChecked(); }
QString Form1::htmlLocation() const { return Text8->text(); }

QString Form1::body() const
{
    // The editor ends its lines with paragraph (Enter) and line (Shift+Enter)
    // separators; the template keeps CR LF for both.
    QString text = Text7->document()->toRawText();
    for (QChar &c : text) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = QLatin1Char('\n');
    }
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text;
}

int Form1::count() const { return PairCount; }
QString Form1::findText(int index) const { return TextFind.at(index)->text(); }
QString Form1::replaceText(int index) const { return TextReplaceit.at(index)->text(); }
void Form1::setFindText(int index, const QString &text) { TextFind.at(index)->setText(text); }
void Form1::setReplaceText(int index, const QString &text) { TextReplaceit.at(index)->setText(text); }

void Form1::yield()
{
    QCoreApplication::processEvents();
}

void Form1::addEntry(const QString &entry)
{
    List1->addEntry(entry);
}
