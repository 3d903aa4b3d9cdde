#include "app/controls.h"

#include <QKeyEvent>
#include <QMouseEvent>

OptionButton::OptionButton(const QString &text, QWidget *parent)
    : QRadioButton(text, parent)
{
    setAutoExclusive(false);
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

namespace {
constexpr int kNameGap = 200; // the spaces between a name and the rest of its entry
}

void TemplateEntries::append(const QString &entry)
{
    Entry stored{QByteArray(), -1};
    const qsizetype tab = entry.indexOf(QLatin1Char('\t'));
    const qsizetype from = tab - kNameGap;
    if (from >= 0 && QStringView(entry).sliced(from, kNameGap).count(QLatin1Char(' ')) == kNameGap) {
        stored.utf8 = entry.left(from).toUtf8();
        stored.gap = static_cast<int>(stored.utf8.size());
        stored.utf8 += QStringView(entry).sliced(tab).toUtf8();
    } else {
        stored.utf8 = entry.toUtf8();
    }
    const int row = static_cast<int>(m_entries.size());
    beginInsertRows(QModelIndex(), row, row);
    m_entries.push_back(std::move(stored));
    endInsertRows();
}

QString TemplateEntries::text(int row) const
{
    if (row < 0 || row >= rowCount())
        return QString();
    const Entry &entry = m_entries[static_cast<std::size_t>(row)];
    if (entry.gap < 0)
        return QString::fromUtf8(entry.utf8);
    const QByteArrayView bytes(entry.utf8);
    return QString::fromUtf8(bytes.first(entry.gap)) + QString(kNameGap, QLatin1Char(' '))
           + QString::fromUtf8(bytes.sliced(entry.gap));
}

int TemplateEntries::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
}

QVariant TemplateEntries::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return QVariant();
    return text(index.row());
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
        if (index.isValid())
            emit dblClick();
    });
}

int TemplateListBox::selectedRow() const
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void TemplateListBox::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex pressed = indexAt(event->position().toPoint());
    const bool wasSelected = pressed.isValid() && selectionModel()->isSelected(pressed);
    m_selecting = false;
    QListView::mousePressEvent(event);
    // A press on the entry that is already selected changes no selection,
    // yet it is a click on that entry.
    if (wasSelected && !m_selecting && selectionModel()->isSelected(pressed) && event->button() == Qt::LeftButton)
        emit click();
}

void TemplateListBox::focusInEvent(QFocusEvent *event)
{
    QListView::focusInEvent(event);
    // Coming in by Tab makes the first entry current without selecting it;
    // then the first Down would skip it. Nothing is current until selected.
    if (currentIndex().isValid() && !selectionModel()->isSelected(currentIndex()))
        selectionModel()->clearCurrentIndex();
}
