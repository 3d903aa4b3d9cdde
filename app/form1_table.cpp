// Launch for Each Row: the template on the list's entry launched once for
// every row of a table of answers that the user chooses.

#include "app/controls.h"
#include "app/form1.h"
#include "compose/tablelaunch.h"
#include "store/templaterecord.h"

#include <QApplication>

void Form1::LaunchForEachRow(int row)
{
    if (row < 0 || m_launching)
        return;
    const QString file = m_dialogs->openFileTitled(tr("Launch for Each Row"), tr("CSV files (*.csv);;All files (*)"));
    if (file.isEmpty())
        return;
    // The template as it is stored, as a click on its entry shows it.
    store::ShownTemplate shown = store::DecodeListEntry(m_templateList->entryText(row));
    store::CutToLongestBoxText(shown);
    store::EditorValues editor = store::EditorOf(shown);
    QString error;
    editor.bodyText = m_store.ReadBody(shown.name, &error);
    const substitute::AnswerTable table =
        substitute::ReadAnswerFile(file, compose::TemplateQuestions(editor, m_store.folder()));
    if (!error.isEmpty() || !table.error.isEmpty()) {
        showMessage(error.isEmpty() ? table.error : error);
        return;
    }
    if (!m_dialogs->question(compose::tableQuestion(table, compose::mailProgramName(m_mailSetup))))
        return;

    // The rows' messages open one after another; an HTML choice is asked
    // once, for the first. The answers are not remembered.
    m_launching = true;
    m_tableFallback.reset();
    m_tableLaunching = true;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    const compose::TableOutcome outcome =
        compose::LaunchEachRow(editor, *this, m_mailClients, table, m_calendar, m_store.folder());
    QApplication::restoreOverrideCursor();
    m_tableLaunching = false;
    m_launching = false;
    if (m_ending)
        return;
    if (!outcome.failure.isEmpty() || !outcome.notices.isEmpty())
        showMessage(outcome.failure.isEmpty() ? outcome.notices.join(QStringLiteral("\n\n")) : outcome.failure);
    // A launch asked for meanwhile runs now.
    if (m_queuedLaunches > 0) {
        --m_queuedLaunches;
        ComposeEmail();
    }
}
