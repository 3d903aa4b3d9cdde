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

TemplateListBox::TemplateListBox(QWidget *parent)
    : QListWidget(parent)
{
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        if (!selectedItems().isEmpty()) {
            m_selecting = true;
            emit click();
        }
    });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.isValid())
            emit dblClick();
    });
}

void TemplateListBox::mousePressEvent(QMouseEvent *event)
{
    QListWidgetItem *pressed = itemAt(event->position().toPoint());
    const bool wasSelected = pressed && pressed->isSelected();
    m_selecting = false;
    QListWidget::mousePressEvent(event);
    // A press on the entry that is already selected changes no selection,
    // yet it is a click on that entry.
    if (wasSelected && !m_selecting && pressed->isSelected() && event->button() == Qt::LeftButton)
        emit click();
}

void TemplateListBox::focusInEvent(QFocusEvent *event)
{
    QListWidget::focusInEvent(event);
    // Coming in by Tab makes the first entry current without selecting it;
    // then the first Down would skip it. Nothing is current until selected.
    if (currentItem() && !currentItem()->isSelected())
        selectionModel()->clearCurrentIndex();
}
