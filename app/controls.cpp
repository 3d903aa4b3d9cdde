#include "app/controls.h"

#include "platform/storedtext.h"

#include <QAccessibleWidget>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>

#include <algorithm>

namespace {

// What a screen reader is told of an option button: a radio button, checked
// or not. Qt would call a button that is not auto-exclusive a check box.
class OptionButtonAccessible final : public QAccessibleWidget
{
public:
    explicit OptionButtonAccessible(OptionButton *option)
        : QAccessibleWidget(option, QAccessible::RadioButton)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        const QString text = QAccessibleWidget::text(t);
        return t == QAccessible::Name && text.isEmpty() ? button()->text() : text;
    }
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = button()->isChecked();
        return state;
    }
    QStringList actionNames() const override
    {
        return QStringList{toggleAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString &action) override
    {
        if (action == toggleAction() && button()->isEnabled())
            button()->click();
        else
            QAccessibleWidget::doAction(action);
    }

private:
    QAbstractButton *button() const { return static_cast<QAbstractButton *>(widget()); }
};

QAccessibleInterface *optionButtonAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("OptionButton") && object && object->isWidgetType())
        return new OptionButtonAccessible(static_cast<OptionButton *>(object));
    return nullptr;
}

} // namespace

OptionButton::OptionButton(const QString &text, QWidget *parent)
    : QRadioButton(text, parent)
{
    setAutoExclusive(false);
    static const bool accessible = (QAccessible::installFactory(optionButtonAccessible), true);
    Q_UNUSED(accessible);
}

void OptionButton::nextCheckState()
{
    if (!isChecked())
        setChecked(true);
}

void OptionButton::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (m_partner) {
            m_partner->setChecked(true);
            m_partner->setFocus(Qt::OtherFocusReason);
            return;
        }
        break;
    default:
        break;
    }
    QRadioButton::keyPressEvent(event);
}

CommandButton::CommandButton(const QString &text, QWidget *parent)
    : QPushButton(text, parent)
{
    setAutoDefault(false);
}

void CommandButton::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

void BodyBox::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && event->modifiers().testFlag(Qt::ShiftModifier)) {
        textCursor().insertBlock();
        ensureCursorVisible();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

namespace {
constexpr int kNameGap = 200; // the spaces between a name and the rest of its entry
}

void TemplateEntries::append(const QString &entry)
{
    QByteArray bytes;
    qsizetype gap = -1;
    const qsizetype tab = entry.indexOf(QLatin1Char('\t'));
    const qsizetype from = tab - kNameGap;
    if (from >= 0 && QStringView(entry).sliced(from, kNameGap).count(QLatin1Char(' ')) == kNameGap) {
        bytes = entry.left(from).toUtf8();
        gap = bytes.size();
        bytes += QStringView(entry).sliced(tab).toUtf8();
    } else {
        bytes = entry.toUtf8();
    }

    constexpr qsizetype kBlockSize = 1 << 20;
    if (m_blocks.empty() || m_blocks.back().capacity() - m_blocks.back().size() < bytes.size()) {
        m_blocks.emplace_back();
        m_blocks.back().reserve(std::max(kBlockSize, bytes.size()));
    }
    QByteArray &block = m_blocks.back();
    const Entry stored{static_cast<qsizetype>(m_blocks.size()) - 1, block.size(), bytes.size(), gap};
    block.append(bytes);

    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    m_entries.push_back(stored);
    endInsertRows();
}

void TemplateEntries::clear()
{
    beginResetModel();
    m_entries.clear();
    m_blocks.clear();
    endResetModel();
}

QString TemplateEntries::text(int row) const
{
    if (row < 0 || row >= rowCount())
        return QString();
    const Entry &entry = m_entries[static_cast<std::size_t>(row)];
    const QByteArrayView bytes(m_blocks[static_cast<std::size_t>(entry.block)].constData() + entry.offset,
                               entry.size);
    if (entry.gap < 0)
        return platform::fromUtf8(bytes);
    return platform::fromUtf8(bytes.first(entry.gap)) + QString(kNameGap, QLatin1Char(' '))
           + QString::fromUtf8(bytes.sliced(entry.gap));
}

QString TemplateEntries::shownText(int row) const
{
    // Far more than the list's width can show, whatever the font.
    constexpr qsizetype kShownCharacters = 512;
    if (row < 0 || row >= rowCount())
        return QString();
    const Entry &entry = m_entries[static_cast<std::size_t>(row)];
    const qsizetype visibleBytes = entry.gap < 0 ? entry.size : entry.gap;
    const QByteArrayView bytes(m_blocks[static_cast<std::size_t>(entry.block)].constData() + entry.offset,
                               std::min(visibleBytes, kShownCharacters * 4));
    return platform::fromUtf8(bytes).left(kShownCharacters);
}

int TemplateEntries::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
}

QVariant TemplateEntries::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    if (role == Qt::DisplayRole)
        return shownText(index.row());
    if (role == EntryTextRole)
        return text(index.row());
    return QVariant();
}

TemplateListBox::TemplateListBox(QWidget *parent)
    : QListView(parent)
    , m_entries(new TemplateEntries(this))
{
    setModel(m_entries);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (selectedRow() >= 0) {
            m_selecting = true;
            emit click();
        }
    });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.isValid() && m_doubleClickButton == Qt::LeftButton)
            emit dblClick();
    });
}

int TemplateListBox::selectedRow() const
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

QItemSelectionModel::SelectionFlags TemplateListBox::selectionCommand(const QModelIndex &index,
                                                                     const QEvent *event) const
{
    // Once an entry is selected, one always is: Ctrl+click does not take the
    // selection away, and a press beside the entries changes nothing.
    if (!index.isValid())
        return QItemSelectionModel::NoUpdate;
    return QListView::selectionCommand(index, event) & QItemSelectionModel::Deselect
               ? QItemSelectionModel::NoUpdate
               : QListView::selectionCommand(index, event);
}

void TemplateListBox::mousePressEvent(QMouseEvent *event)
{
    // Only the left button selects; the right one opens the context menu.
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const QModelIndex pressed = indexAt(event->position().toPoint());
    if (!pressed.isValid()) {
        event->accept();
        return;
    }
    const bool wasSelected = pressed.isValid() && selectionModel()->isSelected(pressed);
    m_selecting = false;
    QListView::mousePressEvent(event);
    // A press on the entry that is already selected changes no selection,
    // yet it is a click on that entry.
    if (wasSelected && !m_selecting && selectionModel()->isSelected(pressed))
        emit click();
}

void TemplateListBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    m_doubleClickButton = event->button();
    QListView::mouseDoubleClickEvent(event);
}

void TemplateListBox::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Undo)) {
        emit undoKey();
        return;
    }
    const int row = selectedRow();
    if (row >= 0 && event->modifiers() == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            emit dblClick();
            return;
        case Qt::Key_Delete:
            emit deleteKey(row);
            return;
        case Qt::Key_F2:
            emit renameKey(row);
            return;
        default:
            break;
        }
    }
    QListView::keyPressEvent(event);
}

void TemplateListBox::contextMenuEvent(QContextMenuEvent *event)
{
    // Also below the entries, or with none selected: Undo Delete is there.
    const int row = event->reason() == QContextMenuEvent::Mouse ? indexAt(event->pos()).row() : selectedRow();
    const QPoint at = event->reason() == QContextMenuEvent::Mouse || row < 0
                          ? (event->reason() == QContextMenuEvent::Mouse ? event->globalPos()
                                                                         : viewport()->mapToGlobal(QPoint(0, 0)))
                          : viewport()->mapToGlobal(visualRect(m_entries->index(row)).center());
    emit contextMenuAt(row, at);
}

void TemplateListBox::focusInEvent(QFocusEvent *event)
{
    QListView::focusInEvent(event);
    // Coming in by Tab makes the first entry current without selecting it;
    // then the first Down would skip it. Nothing is current until selected.
    if (currentIndex().isValid() && !selectionModel()->isSelected(currentIndex()))
        selectionModel()->clearCurrentIndex();
}
