// The window's handlers: what each event of the window does, and the editor
// and the find/replace grid as the layers below read and write them.

#include "app/answers.h"
#include "app/appinfo.h"
#include "app/controls.h"
#include "app/form1.h"
#include "store/templaterecord.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>

#include <exception>

namespace {

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
    if (m_plainOption->isChecked()) {
        m_plainPanel->setVisible(true);
        m_htmlPanel->setVisible(false);
    } else {
        m_plainPanel->setVisible(false);
        m_htmlPanel->setVisible(true);
    }
}

void Form1::ShowTemplate()
{
    const int row = m_templateList->selectedRow();
    if (row < 0)
        return;
    store::ShownTemplate shown = store::DecodeListEntry(m_templateList->entryText(row));
    const QStringList cut = store::CutToLongestBoxText(shown);

    const std::pair<QLineEdit *, const QString *> boxes[] = {
        {m_nameBox, &shown.name}, {m_subjectBox, &shown.subject}, {m_attachmentsBox, &shown.attachments},
        {m_ccBox, &shown.cc},     {m_toBox, &shown.to},           {m_bccBox, &shown.bcc},
    };
    for (const auto &[box, text] : boxes) {
        box->clear();
        box->setText(*text);
    }

    // Plain Text first, then each stored flag in turn; an option that
    // becomes selected shows its panel, and both may end up deselected.
    m_plainOption->setChecked(true);
    m_htmlOption->setChecked(false);
    if (shown.plainFlag)
        m_plainOption->setChecked(*shown.plainFlag);
    if (shown.htmlFlag)
        m_htmlOption->setChecked(*shown.htmlFlag);

    m_locationBox->clear();
    m_locationBox->setText(shown.htmlLocation);
    m_bodyBox->clear();
    QString storedBody = m_store.ReadBody(m_nameBox->text());
    storedBody.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_bodyBox->setPlainText(storedBody);

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
        // A template with questions asks them first; cancelled, it opens nothing.
        if (const std::optional<substitute::PlaceholderValues> values = launchValues()) {
            QApplication::setOverrideCursor(Qt::BusyCursor);
            const compose::LaunchOutcome outcome = compose::ComposeEmail(*this, *this, m_mailClients, *values);
            QApplication::restoreOverrideCursor();
            if (!outcome.message.isEmpty() && !m_ending)
                showMessage(outcome.message);
        }
        if (m_queuedLaunches == 0 || m_ending)
            break;
        --m_queuedLaunches;
    }
    m_queuedLaunches = 0;
    m_launching = false;
}

std::optional<substitute::PlaceholderValues> Form1::launchValues()
{
    substitute::PlaceholderValues values;
    values.calendar = m_calendar;
    const QStringList questions = compose::TemplateQuestions(*this);
    if (questions.isEmpty())
        return values;
    const QString name = templateName();
    std::optional<QMap<QString, QString>> answers =
        askQuestions(this, name, questions, rememberedAnswers(*m_settings, name));
    if (!answers)
        return std::nullopt;
    QString error;
    if (!rememberAnswers(*m_settings, name, *answers, &error))
        showMessage(error);
    values.answers = std::move(*answers);
    return values;
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
        m_templateList->addEntry(outcome.listEntry);
    if (!outcome.message.isEmpty())
        showMessage(outcome.message);
}

void Form1::DeleteTemplate(int row)
{
    if (row < 0)
        return;
    const QString name = store::DecodeListEntry(m_templateList->entryText(row)).name;
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
    const QString name = store::DecodeListEntry(m_templateList->entryText(row)).name;
    const std::optional<QString> newName =
        m_dialogs->textInput(QStringLiteral("New name for the template \"%1\":").arg(name), name);
    if (!newName || *newName == name)
        return;
    const store::ChangeOutcome outcome = m_store.RenameTemplate(name, *newName);
    QString error;
    if (outcome.status == store::ChangeOutcome::Status::Done
        && !moveRememberedAnswers(*m_settings, name, *newName, &error))
        showMessage(error);
    finishChange(outcome);
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
    m_templateList->clearEntries();
    skipOnFailure([this] { store::LoadTemplateList(m_store, *this); });
}

void Form1::ChooseHtmlFile()
{
    // Every Browse starts afresh, offering the HTML files; a cancelled
    // dialog leaves the path that was there.
    const QString chosen = m_dialogs->openFileName(QStringLiteral("HTML files (*.htm *.html)"));
    if (!chosen.isEmpty())
        m_locationBox->setText(chosen);
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

void Form1::storePairBox(substitute::BoxArray array, int index, const QString &text)
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

QString Form1::templateName() const { return m_nameBox->text(); }
QString Form1::subject() const { return m_subjectBox->text(); }
QString Form1::attachments() const { return m_attachmentsBox->text(); }
QString Form1::cc() const { return m_ccBox->text(); }
QString Form1::to() const { return m_toBox->text(); }
QString Form1::bcc() const { return m_bccBox->text(); }
bool Form1::plainTextSelected() const { return m_plainOption->isChecked(); }
bool Form1::htmlSelected() const { return m_htmlOption->isChecked(); }
QString Form1::htmlLocation() const { return m_locationBox->text(); }

QString Form1::body() const
{
    // The editor ends its lines with paragraph (Enter) and line (Shift+Enter)
    // separators; the template keeps CR LF for both.
    QString text = m_bodyBox->document()->toRawText();
    for (QChar &c : text) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = QLatin1Char('\n');
    }
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text;
}

int Form1::count() const { return PairCount; }
QString Form1::findText(int index) const { return m_findBoxes.at(index)->text(); }
QString Form1::replaceText(int index) const { return m_replaceBoxes.at(index)->text(); }
void Form1::setFindText(int index, const QString &text) { m_findBoxes.at(index)->setText(text); }
void Form1::setReplaceText(int index, const QString &text) { m_replaceBoxes.at(index)->setText(text); }

void Form1::yield()
{
    QCoreApplication::processEvents();
}

void Form1::addEntry(const QString &entry)
{
    m_templateList->addEntry(entry);
}
