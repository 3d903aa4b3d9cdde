#include "support/windowtest.h"
#include "app/templatepicker.h"
#include "support/testfiles.h"

#include <QContextMenuEvent>
#include <QMenu>

namespace testsupport {

namespace {

// The next planned answer; none planned, the dialog is noted as unplanned
// and answered with none.
template <typename T>
T take(QList<T> &planned, QStringList &unplanned, const QString &dialog, T none)
{
    if (!planned.isEmpty())
        return planned.takeFirst();
    unplanned << dialog;
    return none;
}

} // namespace

bool RecordingDialogs::question(const QString &text)
{
    questions << text;
    return take(answers, unplanned, QStringLiteral("question: ") + text, false);
}

std::optional<int> RecordingDialogs::choice(const QString &text, const QStringList &buttons)
{
    questions << text;
    const std::optional<QString> answer =
        take(choiceAnswers, unplanned, QStringLiteral("question: ") + text, std::optional<QString>());
    if (!answer)
        return std::nullopt;
    const qsizetype index = buttons.indexOf(*answer);
    if (index < 0) {
        unplanned << QStringLiteral("no button \"%1\" in the question: %2").arg(*answer, text);
        return std::nullopt;
    }
    return static_cast<int>(index);
}

std::optional<QString> RecordingDialogs::textInput(const QString &prompt, const QString &)
{
    questions << prompt;
    return take(textAnswers, unplanned, QStringLiteral("text prompt: ") + prompt, std::optional<QString>());
}

QString RecordingDialogs::openFileName(const QString &filter)
{
    lastFilter = filter;
    return take(fileAnswers, unplanned, QStringLiteral("file dialog: ") + filter, QString());
}

bool BrokenSettings::save(const QString &section, const QString &key, const QString &value, QString *error)
{
    if (!broken)
        return platform::SettingsStore::save(section, key, value, error);
    if (error)
        *error = QStringLiteral("Could not store the find/replace box: the settings file is read-only");
    return false;
}

void WindowTest::init()
{
    isolateSettings();
    m_window.reset();
    m_dataDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dataDir->isValid());
    dialogs = RecordingDialogs();
    desktop = RecordingDesktop();
    mailLog = std::make_shared<QStringList>();
    mailFailure = {};
    mailCalled = {};
    storeDirectory.clear();
    programsOwnFolder = false;
    desktopMailClient = false;
    mailSetup = {};
    calendar = {};
    settings.broken = false;
    m_messagesSeen = 0;
    prepareTest();
}

void WindowTest::cleanup()
{
    m_window.reset();
    const QStringList unseen = dialogs.messages.mid(m_messagesSeen);
    QStringList problems;
    for (const QString &text : unseen)
        problems << QStringLiteral("a message box the test did not look at: ") + text;
    for (const QString &text : std::as_const(dialogs.unplanned))
        problems << QStringLiteral("a dialog the test did not plan for: ") + text;
    for (const bool answer : std::as_const(dialogs.answers))
        problems << QStringLiteral("a planned answer that no question took: %1").arg(answer ? "Yes" : "No");
    for (const auto &answer : std::as_const(dialogs.choiceAnswers))
        problems << QStringLiteral("a planned button that no question took: ") + answer.value_or("<Escape>");
    for (const auto &answer : std::as_const(dialogs.textAnswers))
        problems << QStringLiteral("a planned text answer that no prompt took: ") + answer.value_or("<cancel>");
    for (const QString &answer : std::as_const(dialogs.fileAnswers))
        problems << QStringLiteral("a planned file answer that no file dialog took: ") + answer;
    m_dataDir.reset();
    if (!problems.isEmpty())
        QFAIL(qPrintable(problems.join(QLatin1Char('\n'))));
}

const QStringList &WindowTest::messages()
{
    m_messagesSeen = dialogs.messages.size();
    return dialogs.messages;
}

QString WindowTest::dataFolder() const
{
    return storeDirectory.isEmpty() ? m_dataDir->path() : storeDirectory;
}

void WindowTest::writeData(const QByteArray &bytes) const
{
    testfiles::writeFile(path(QStringLiteral("MainData.txt")), bytes);
}

Form1Services WindowTest::services()
{
    Form1Services services;
    if (!programsOwnFolder)
        services.storeDirectory = dataFolder();
    services.settings = &settings;
    if (!desktopMailClient)
        services.mailClients = compose::RecordingMailClient::factory(mailLog, mailFailure, mailCalled);
    services.mailSetup = mailSetup;
    services.dialogs = &dialogs;
    services.desktop = desktopMailClient ? nullptr : &desktop;
    services.calendar = calendar;
    return services;
}

Form1 *WindowTest::openWindow()
{
    m_window.reset();
    m_window = std::make_unique<Form1>(services());
    m_window->Form_Load();
    m_window->show();
    return m_window.get();
}

QString entryText(const QWidget *w, int row)
{
    return list(w)->model()->index(row, 0).data(Qt::UserRole).toString();
}

QStringList pickerMatches(const QWidget *w)
{
    auto *picker = w->findChild<TemplatePicker *>();
    if (!picker || !QTest::qWaitFor([picker] { return picker->bodiesSearched(); }))
        return {QStringLiteral("<no picker, or its bodies not searched>")};
    const QAbstractItemModel *model = control<QListView>(picker, QStringLiteral("FindMatches"))->model();
    QStringList names;
    for (int row = 0; row < model->rowCount(); ++row)
        names << model->index(row, 0).data().toString();
    return names;
}

QStringList shownNames(const QWidget *w)
{
    QStringList shown;
    for (int i = 0; i < entryCount(w); ++i)
        shown << list(w)->model()->index(i, 0).data().toString();
    return shown;
}

QPoint entryPoint(const QListView *listBox, int row)
{
    return {20, listBox->visualRect(listBox->model()->index(row, 0)).center().y()};
}

void clickEntry(QListView *listBox, int row)
{
    QTest::mouseClick(listBox->viewport(), Qt::LeftButton, {}, entryPoint(listBox, row));
}

void doubleClickEntry(QListView *listBox, int row)
{
    QTest::mouseClick(listBox->viewport(), Qt::LeftButton, {}, entryPoint(listBox, row));
    QTest::mouseDClick(listBox->viewport(), Qt::LeftButton, {}, entryPoint(listBox, row));
}

QMenu *openListMenu(QWidget *w, QPoint at)
{
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, list(w)->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list(w)->viewport(), &event);
    return control<QMenu>(w, QStringLiteral("ListMenu"));
}

void chooseFromContextMenu(QWidget *w, int row, const char *action)
{
    auto *menu = openListMenu(w, entryPoint(list(w), row));
    QVERIFY(QTest::qWaitForWindowExposed(menu));
    auto *chosen = menu->findChild<QAction *>(QLatin1String(action));
    QVERIFY(chosen);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(chosen).center());
    QTRY_VERIFY(!menu->isVisible());
}

void typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text) {
        if (c == u'\n')
            QTest::keyClick(widget, Qt::Key_Return);
        else if (c.unicode() < 0x80)
            QTest::keyClick(widget, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), {});
    }
}

void typeInto(const QWidget *window, BoxTexts typing)
{
    for (const auto &[name, text] : typing)
        typeText(control<QWidget>(window, QLatin1String(name)), text);
}

void compareBoxes(const QWidget *window, BoxTexts expected)
{
    for (const auto &[name, text] : expected) {
        const QString shown = control<QLineEdit>(window, QLatin1String(name))->text();
        QVERIFY2(shown == text, qPrintable(QStringLiteral("%1 shows \"%2\", not \"%3\"")
                                               .arg(QLatin1String(name), shown, text)));
    }
}

QByteArray recordLine(const QStringList &fields)
{
    return platform::toAnsi(fields.join(QLatin1Char('\t')) + QStringLiteral("\r\n"));
}

} // namespace testsupport
