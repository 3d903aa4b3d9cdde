// The window's handlers: what each event of the window does, and the editor
// and the find/replace grid as the layers below read and write them.

#include "app/answers.h"
#include "app/appinfo.h"
#include "app/controls.h"
#include "app/form1.h"
#include "app/storequestions.h"
#include "compose/attachmentpaths.h"
#include "store/names.h"
#include "store/templaterecord.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QScopedValueRollback>

#include <exception>
#include <utility>

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
    // What a copy left unfinished is finished before the list is read.
    skipOnFailure([this] {
        if (const QString notice = m_store.FinishUnfinishedChange(); !notice.isEmpty())
            m_startNotices << notice;
    });
    skipOnFailure([this] {
        QString error;
        if (!store::LoadTemplateList(m_store, *this, &error))
            m_startNotices << error;
    });
    // One listing of the folder now spares Save and a click on a template a
    // listing each when a file's name differs in letter case.
    skipOnFailure([this] { m_store.IndexFolder(); });
    m_loading = false;
}

void Form1::ReportStartUp()
{
    for (const QString &notice : std::exchange(m_startNotices, {}))
        showMessage(notice);
    if (!m_store.folderIsThere())
        showMessage(tr("The templates folder \"%1\" cannot be reached. If it is on a network share, connect the "
                       "share and start Letterloom again; until then no template is listed and none can be saved.")
                        .arg(QDir::toNativeSeparators(m_store.folder())));
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
    const QString entry = m_templateList->entryText(row);
    store::ShownTemplate shown = store::DecodeListEntry(entry);
    const QStringList cut = store::CutToLongestBoxText(shown);

    const std::pair<QLineEdit *, const QString *> boxes[] = {
        {m_nameBox, &shown.name}, {m_subjectBox, &shown.subject}, {m_attachmentsBox, &shown.attachments},
        {m_ccBox, &shown.cc},     {m_toBox, &shown.to},           {m_bccBox, &shown.bcc},
    };
    for (const auto &[box, text] : boxes) {
        box->clear();
        box->setText(*text);
        box->setCursorPosition(0); // the start of a long text is what tells it
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
    m_locationBox->setCursorPosition(0);
    m_bodyBox->clear();
    // The body as it was saved, without the line end that Save puts behind
    // it, so that saving it again unchanged changes nothing.
    QString unread;
    const QString storedBody = m_store.ReadBody(m_nameBox->text(), &unread);
    m_bodyBox->setPlainText(QString(storedBody).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    m_shown = {store::NameKey(shown.name), store::LineTextOfEntry(entry), storedBody};

    if (!unread.isEmpty())
        showMessage(unread);
    if (!cut.isEmpty()) {
        //: %1 is a number, %2 the boxes whose text was cut ("Email Subject, CC").
        showMessage(tr("This template holds more than %1 characters in %2. The box shows the first %1 of them; "
                       "saving the template again stores only those.")
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
            const compose::LaunchOutcome outcome = compose::ComposeEmail(*this, *this, m_mailClients, *values, m_store.folder());
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
    const QStringList questions = compose::TemplateQuestions(*this, m_store.folder());
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
    if (!storeCommandMayStart())
        return;
    const QScopedValueRollback busy(m_storeBusy, true);
    reloadIfChangedElsewhere();
    // The template as it was when Save was pressed: while the command waits
    // for another copy's lock the window goes on, and the user may bring
    // another template into the editor meanwhile.
    const store::EditorValues editor = store::CopyOfEditor(*this);
    const store::ShownVersion shown = m_shown;
    // A name that is stored already is replaced, once the user agrees to
    // what the question names. When the templates change before the answer
    // is acted on, the user is told, and asked again about what they are now.
    for (int asked = 0; asked < 5; ++asked) {
        const store::SavePlan plan = m_store.PlanSave(editor, shown);
        if (plan.kind == store::SavePlan::Kind::Refused) {
            showMessage(plan.refusal);
            return;
        }
        if (plan.kind == store::SavePlan::Kind::Replace && !m_dialogs->question(storequestions::save(plan, editor.name)))
            return;
        const store::Outcome outcome = m_store.Save(editor, plan);
        watchLockAfter(outcome);
        if (outcome.status == store::Outcome::Status::Changed) {
            showMessage(tr("The template \"%1\" was changed by someone else meanwhile.").arg(editor.name));
            continue;
        }
        const bool stored = outcome.status == store::Outcome::Status::Done
                            || outcome.status == store::Outcome::Status::Pending;
        // The editor may hold another template by now: it is told what
        // became of this one.
        const bool movedOn = store::CopyOfEditor(*this).name != editor.name
                             || store::FormatRecordLine(*this) != store::FormatRecordLine(editor) || body() != editor.body();
        if (stored) {
            if (store::NameKey(templateName()) == store::NameKey(editor.name))
                m_shown = {store::NameKey(editor.name), store::FormatRecordLine(editor), editor.body()};
            if (outcome.appendsToList)
                m_templateList->addEntry(outcome.newEntry);
            else
                reloadList();
        }
        if (!outcome.message.isEmpty())
            showMessage(outcome.message);
        else if (stored && movedOn)
            showMessage(tr("The template \"%1\" was saved.").arg(editor.name));
        else if (outcome.status == store::Outcome::Status::Unchanged && movedOn)
            showMessage(tr("The template \"%1\" was not saved: it was stored so already.").arg(editor.name));
        return;
    }
    showMessage(tr("The template was not saved: the templates keep being changed by someone else. Try again in a "
                   "moment."));
}

void Form1::watchLockAfter(const store::Outcome &outcome)
{
    // Another copy's lock stopped the command: the window watches it in the
    // background, so that one that stays unchanged is taken over in time.
    if (outcome.lockHeldElsewhere && !m_lockWatch.isActive())
        m_lockWatch.start();
}

void Form1::ClearEditor()
{
    // Nothing of the template shown before stays behind to slip into the
    // next one: every box, the option, the list's selection, and which
    // template was shown (the next Save is a new template's). The pairs,
    // the list's entries and the files stay as they are.
    for (QLineEdit *box : {m_nameBox, m_toBox, m_ccBox, m_bccBox, m_subjectBox, m_attachmentsBox, m_locationBox})
        box->clear();
    m_bodyBox->clear();
    m_plainOption->setChecked(true);
    m_templateList->selectionModel()->clear();
    m_shown = {};
    m_nameBox->setFocus(Qt::OtherFocusReason);
}

void Form1::DeleteTemplate(int row)
{
    if (row < 0 || !storeCommandMayStart())
        return;
    const QScopedValueRollback busy(m_storeBusy, true);
    const store::EntryRef entry = entryRef(row);
    const store::DeletePlan plan = m_store.PlanDelete(entry);
    if (plan.line && !m_dialogs->question(storequestions::remove(plan)))
        return;
    finishChange(m_store.Delete(plan));
}

void Form1::RenameTemplate(int row)
{
    if (row < 0 || !storeCommandMayStart())
        return;
    const QScopedValueRollback busy(m_storeBusy, true);
    const store::EntryRef entry = entryRef(row);
    const QString name = store::DecodeListEntry(m_templateList->entryText(row)).name;
    const std::optional<QString> newName =
        m_dialogs->textInput(tr("New name for the template \"%1\":").arg(name), name);
    if (!newName || *newName == name)
        return;
    if (finishChange(m_store.Rename(m_store.PlanRename(entry, *newName)))) {
        // The answers given at its launches follow it.
        QString error;
        if (!moveRememberedAnswers(*m_settings, name, *newName, &error))
            showMessage(error);
        // The editor holding the renamed template goes by its new name, so
        // that the next Save does not make the old one again.
        if (m_shown.key == store::NameKey(name) && store::NameKey(templateName()) == store::NameKey(name)) {
            m_nameBox->setText(store::TemplateName(*newName));
            m_shown.key = store::NameKey(*newName);
        }
    }
}

void Form1::UndoDelete()
{
    if (!storeCommandMayStart())
        return;
    const QScopedValueRollback busy(m_storeBusy, true);
    for (int asked = 0; asked < 5; ++asked) {
        const store::UndoPlan plan = m_store.PlanUndo();
        if (!plan.version) {
            QApplication::beep(); // nothing to bring back
            return;
        }
        if ((plan.nameTaken || plan.bodyGone) && !m_dialogs->question(storequestions::undo(plan)))
            return;
        const store::Outcome outcome = m_store.Undo(plan);
        if (outcome.status != store::Outcome::Status::Changed) {
            finishChange(outcome);
            return;
        }
    }
}

store::EntryRef Form1::entryRef(int row) const
{
    const QString entry = m_templateList->entryText(row);
    int occurrence = 0;
    for (int i = 0; i < row; ++i) {
        if (m_templateList->entryText(i) == entry)
            ++occurrence;
    }
    return {store::LineTextOfEntry(entry), occurrence};
}

bool Form1::finishChange(const store::Outcome &outcome)
{
    using Status = store::Outcome::Status;
    watchLockAfter(outcome);
    const bool done = outcome.status == Status::Done || outcome.status == Status::Pending;
    if (done || outcome.status == Status::Changed)
        reloadList();
    if (outcome.status == Status::Changed)
        showMessage(tr("The template was changed or deleted by someone else meanwhile. The list shows the templates "
                       "as they are now."));
    else if (!outcome.message.isEmpty())
        showMessage(outcome.message);
    return done;
}

void Form1::reloadList()
{
    const QScopedValueRollback busy(m_storeBusy, true);
    m_templateList->clearEntries();
    skipOnFailure([this] { store::LoadTemplateList(m_store, *this); });
}

void Form1::reloadIfChangedElsewhere()
{
    if (!m_loading && !m_store.DataFileUnchanged())
        reloadList();
}

bool Form1::storeCommandMayStart()
{
    if (!m_storeBusy)
        return true;
    QApplication::beep();
    return false;
}

void Form1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // Coming back to the window shows what others saved meanwhile.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !m_storeBusy)
        reloadIfChangedElsewhere();
}

void Form1::ChooseHtmlFile()
{
    // Every Browse starts afresh, offering the HTML files; a cancelled
    // dialog leaves the path that was there.
    //: The file dialog's filter: the patterns in parentheses stay as they are.
    const QString chosen = m_dialogs->openFileName(tr("HTML files (*.htm *.html)"));
    // The path as the system writes it (C:\Mail\offer.htm on Windows),
    // relative to the data folder when it lies inside it.
    if (!chosen.isEmpty())
        m_locationBox->setText(compose::pathForDataFolder(chosen, m_store.folder()));
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

std::optional<compose::HtmlFallback> Form1::askHtmlFallback(const QString &programName)
{
    return AskHtmlFallback(*m_dialogs, programName);
}

std::optional<compose::HtmlFallback> AskHtmlFallback(platform::Dialogs &dialogs, const QString &programName)
{
    const std::optional<int> chosen = dialogs.choice(
        //: %1 is a mail program. The two buttons' captions are named as they are.
        Form1::tr("%1 cannot take an HTML message from another program.\n\n"
                  "Open as Plain Text opens the message in %1 with the text of the HTML (its paragraphs, line breaks "
                  "and the addresses of its links). Save as Draft saves the HTML message as a draft and tells you "
                  "where it is.")
            .arg(programName),
        {Form1::tr("Open as Plain Text"), Form1::tr("Save as Draft")});
    if (!chosen)
        return std::nullopt;
    return *chosen == 0 ? compose::HtmlFallback::PlainText : compose::HtmlFallback::Draft;
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
