#include "app/templatepicker.h"

#include "store/templaterecord.h"
#include "store/templatesearch.h"

#include <QAbstractListModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

// The matching templates: rows of the template list, shown by their names.
class MatchesModel final : public QAbstractListModel
{
public:
    MatchesModel(QAbstractItemModel *entries, QObject *parent) : QAbstractListModel(parent), m_entries(entries) {}

    void setRows(QList<int> rows)
    {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
    }
    int row(int match) const { return m_rows.value(match, -1); }
    int matchOf(int row) const { return int(m_rows.indexOf(row)); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_rows.size());
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || role != Qt::DisplayRole)
            return QVariant();
        return m_entries->data(m_entries->index(m_rows.at(index.row()), 0), Qt::DisplayRole);
    }

private:
    QAbstractItemModel *m_entries;
    QList<int> m_rows;
};

TemplatePicker::TemplatePicker(QAbstractItemModel *entries, QString folder, QWidget *parent)
    : QFrame(parent, Qt::Popup)
    , m_entries(entries)
    , m_folder(std::move(folder))
{
    setObjectName(QStringLiteral("FindTemplate"));
    setFrameShape(QFrame::Box);
    m_box = new QLineEdit(this);
    m_box->setObjectName(QStringLiteral("FindBox"));
    m_box->setAccessibleName(tr("Find a template"));
    m_box->setAccessibleDescription(tr("Words of its name, subject, addresses or body"));
    m_matches = new MatchesModel(entries, this);
    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("FindMatches"));
    m_list->setAccessibleName(tr("Matching templates"));
    m_list->setModel(m_matches);
    m_list->setUniformItemSizes(true);
    m_list->setFocusPolicy(Qt::NoFocus); // the box keeps the keys
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(m_box);
    layout->addWidget(m_list);

    m_box->installEventFilter(this);
    connect(m_box, &QLineEdit::textChanged, this, [this] { search(false); });
    connect(m_list, &QListView::clicked, this, [this] { pick(false); });
    // The list filled again (changed elsewhere, or by a command) is searched
    // anew; entries added at its end are added to what is searched.
    connect(entries, &QAbstractItemModel::modelReset, this, &TemplatePicker::restart);
    // Entries come one by one while the list fills: they are taken in once
    // the window handles its events again.
    connect(entries, &QAbstractItemModel::rowsInserted, this, [this] {
        if (isVisible() && !m_catchingUp) {
            m_catchingUp = true;
            QTimer::singleShot(0, this, [this] {
                m_catchingUp = false;
                catchUp();
                search(true);
            });
        }
    });
}

TemplatePicker::~TemplatePicker()
{
    m_bodies.reset(); // its thread ends before the picker it reports to
}

void TemplatePicker::open(const QRect &over)
{
    setFont(parentWidget()->font()); // a window of its own takes no font from the window
    setGeometry(over);
    catchUp();
    m_box->clear();
    search(false);
    show();
    activateWindow();
    m_box->setFocus(Qt::PopupFocusReason);
}

void TemplatePicker::restart()
{
    m_bodies.reset();
    m_heads.clear();
    m_bodiesRead = m_bodiesTotal = 0;
    ++m_generation; // what the old search still reports is for nothing
    if (isVisible()) {
        catchUp();
        search(false);
    }
}

void TemplatePicker::catchUp()
{
    const int from = m_heads.size();
    const int to = m_entries->rowCount();
    if (from >= to)
        return;
    QList<store::BodySearch::Body> bodies;
    for (int row = from; row < to; ++row) {
        const store::ShownTemplate shown =
            store::DecodeListEntry(m_entries->data(m_entries->index(row, 0), Qt::UserRole).toString());
        m_heads.append(shown.name, shown.subject, shown.to, shown.cc, shown.bcc);
        if (store::EditorOf(shown).plainTextSelected())
            bodies.append({row, shown.name});
    }
    if (!m_bodies) {
        m_bodies = std::make_unique<store::BodySearch>(m_folder, [this](const store::BodySearch::Found &found) {
            QMetaObject::invokeMethod(this, [this, found] { bodiesFound(found); }, Qt::QueuedConnection);
        });
    }
    m_bodiesTotal += int(bodies.size());
    m_bodies->addBodies(bodies);
}

void TemplatePicker::search(bool keepChoice)
{
    // Names, subjects and recipients at once; the bodies are asked for.
    m_words = store::SearchWords(m_box->text());
    m_inName.clear();
    m_inFields.clear();
    m_inBody.clear();
    for (const QString &word : std::as_const(m_words)) {
        store::RowSet inFields, inName;
        m_heads.find(word.toUtf8(), &inFields, &inName);
        m_inFields << inFields;
        m_inName << inName;
        m_inBody << store::RowSet(m_heads.size());
    }
    ++m_generation;
    if (m_bodies)
        m_bodies->search(m_words, m_generation);
    showMatches(keepChoice);
}

void TemplatePicker::bodiesFound(const store::BodySearch::Found &found)
{
    m_bodiesRead = found.read;
    if (found.generation != m_generation)
        return;
    m_searched = found.generation;
    for (qsizetype w = 0; w < found.rowsPerWord.size() && w < m_inBody.size(); ++w) {
        for (const int row : found.rowsPerWord.at(w)) {
            if (row < m_inBody[w].size())
                m_inBody[w].insert(row);
        }
    }
    showMatches(true);
}

void TemplatePicker::showMatches(bool keepChoice)
{
    const int rows = m_heads.size();
    store::RowSet byName = store::RowSet::all(rows);
    store::RowSet matching = store::RowSet::all(rows);
    for (qsizetype w = 0; w < m_words.size(); ++w) {
        byName &= m_inName.at(w);
        store::RowSet holding = m_inFields.at(w);
        holding |= m_inBody.at(w);
        matching &= holding;
    }
    QList<int> ordered;
    byName.appendTo(&ordered);
    matching.subtract(byName);
    matching.appendTo(&ordered);

    // New words choose the first match; the chosen template stays chosen
    // while the bodies' matches are added.
    const int chosen = keepChoice ? m_matches->row(m_list->currentIndex().row()) : -1;
    m_matches->setRows(std::move(ordered));
    const int match = chosen >= 0 ? std::max(m_matches->matchOf(chosen), 0) : 0;
    if (m_matches->rowCount() > 0)
        m_list->setCurrentIndex(m_matches->index(match));
}

void TemplatePicker::pick(bool launch)
{
    const int row = m_matches->row(m_list->currentIndex().row());
    if (row < 0)
        return;
    hide();
    emit picked(row, launch);
}

bool TemplatePicker::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_box || (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride))
        return QFrame::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    if (event->type() == QEvent::ShortcutOverride) {
        // These keys are the picker's, not the window's shortcuts' (Ctrl+Enter).
        const int keys[] = {Qt::Key_Up, Qt::Key_Down, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape};
        if (std::find(std::begin(keys), std::end(keys), key->key()) != std::end(keys))
            key->accept();
        return false;
    }
    const int current = m_list->currentIndex().row();
    switch (key->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down: {
        const int next = current + (key->key() == Qt::Key_Up ? -1 : 1);
        if (next >= 0 && next < m_matches->rowCount())
            m_list->setCurrentIndex(m_matches->index(next));
        return true;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter:
        pick(key->modifiers().testFlag(Qt::ControlModifier));
        return true;
    case Qt::Key_Escape:
        hide();
        return true;
    default:
        return false;
    }
}
