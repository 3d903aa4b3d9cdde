// Finding a template by typing: Ctrl+F opens the picker over the list.

#include "app/controls.h"
#include "app/form1.h"
#include "app/templatepicker.h"

void Form1::FindTemplate()
{
    if (!m_picker) {
        m_picker = new TemplatePicker(m_templateList->model(), m_store.folder(), this);
        connect(m_picker, &TemplatePicker::picked, this, &Form1::pickTemplate);
    }
    m_picker->open(QRect(m_templateList->mapToGlobal(QPoint(0, 0)), m_templateList->size()));
}

void Form1::pickTemplate(int row, bool launch)
{
    const QModelIndex index = m_templateList->model()->index(row, 0);
    if (!index.isValid())
        return;
    m_templateList->setFocus(Qt::OtherFocusReason);
    m_templateList->scrollTo(index);
    if (m_templateList->selectedRow() == row)
        ShowTemplate(); // a click on the selected entry shows it again
    else
        m_templateList->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    if (launch)
        ComposeEmail();
}
