#include "store/templatestore.h"

#include "platform/ansitext.h"
#include "platform/appdir.h"
#include "store/templaterecord.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocale>
#include <QFileInfo>

namespace store {
namespace {

// Start-up and Save use one name; the file is found whatever its letter case.
const QString kDataFile = QStringLiteral("MainData.txt");

// The character at i, taken whole when it is a surrogate pair.
QString characterAt(const QString &text, qsizetype i)
{
    if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
        return text.mid(i, 2);
    return text.mid(i, 1);
}

QString nameRefusal(const QString &name)
{
    if (TrimSpaces(name).isEmpty())
        return QStringLiteral("Please Enter a Template Name");
    if (name.contains(QLatin1String("-Q-")))
        return QStringLiteral("Template Name can not contain the text -Q-");
    // The name becomes part of a file name: refuse what a file name cannot hold.
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QStringLiteral("Template Name can not contain a control character");
        if (QStringView(u"/\\<>:\"|?*").contains(c))
            return QStringLiteral("Template Name can not contain the character %1").arg(c);
    }
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("Template Name can not be . or ..");
    return QString();
}

} // namespace

TemplateStore::TemplateStore(QString appDir)
    : m_appDir(std::move(appDir))
{
}

void TemplateStore::fillAppDir()
{
    if (m_appDir.isEmpty())
        m_appDir = platform::applicationDirectory();
}

QString TemplateStore::dataFilePath()
{
    return m_folder.resolve(m_appDir, kDataFile);
}

QString TemplateStore::bodyFileName(const QString &name)
{
    return QStringLiteral("LTM-") + name + QStringLiteral(".txt");
}

QString TemplateStore::ReadDataFile()
{
    fillAppDir();
    if (m_appDir.isEmpty())
        return QString();
    return platform::readAnsiFile(dataFilePath());
}

void TemplateStore::IndexFolder()
{
    fillAppDir();
    m_folder.index(m_appDir);
}

QString TemplateStore::BodyFilePath(const QString &name)
{
    return m_folder.resolve(m_appDir, bodyFileName(name));
}

QString TemplateStore::ReadBody(const QString &name)
{
    fillAppDir();
    if (m_appDir.isEmpty())
        return QString();
    return platform::readAnsiFile(BodyFilePath(name));
}

QString TemplateStore::RefusalFor(const TemplateEditor &editor)
{
    const QString name = editor.templateName();
    const QString refusal = nameRefusal(name);
    if (!refusal.isEmpty())
        return refusal;

    // The files hold Windows-1252 text: a character outside it would be
    // stored as '?', so it is refused instead of being lost.
    const std::pair<QString, QString> fields[] = {
        {TemplateNameLabel(), name},
        {SubjectLabel(), editor.subject()},
        {AttachmentsLabel(), editor.attachments()},
        {CcLabel(), editor.cc()},
        {ToLabel(), editor.to()},
        {BccLabel(), editor.bcc()},
        {HtmlLocationLabel(), editor.htmlLocation()},
        {QStringLiteral("Email Body"), editor.body()},
    };
    for (const auto &[label, text] : fields) {
        const qsizetype at = platform::firstUnrepresentable(text);
        if (at >= 0) {
            return QStringLiteral("%1 can not contain the character %2").arg(label, characterAt(text, at));
        }
    }
    // A box that a stored template fills is never longer than the window shows
    // in good time; the body has a box of its own without that limit.
    for (qsizetype i = 0; i + 1 < qsizetype(std::size(fields)); ++i) {
        if (fields[i].second.size() > LongestBoxText)
            return QStringLiteral("%1 can not be longer than %2 characters")
                .arg(fields[i].first, QLocale(QLocale::English).toString(LongestBoxText));
    }
    return QString();
}

QString TemplateStore::prepareFolder()
{
    fillAppDir();
    if (m_appDir.isEmpty() || !QDir().mkpath(m_appDir))
        return QStringLiteral("the folder \"%1\" cannot be created.").arg(QDir::toNativeSeparators(m_appDir));
    return QString();
}

SaveOutcome TemplateStore::SaveTemplate(const TemplateEditor &editor)
{
    SaveOutcome outcome;
    outcome.message = RefusalFor(editor);
    if (!outcome.message.isEmpty()) {
        outcome.status = SaveOutcome::Status::Refused;
        return outcome;
    }
    const QString folderProblem = prepareFolder();
    if (!folderProblem.isEmpty()) {
        outcome.status = SaveOutcome::Status::Failed;
        outcome.message = QStringLiteral("The template was not saved: ") + folderProblem;
        return outcome;
    }
    // Other running copies wait while this one appends, so that an unfinished
    // line is set aside and a failed line taken back without touching theirs.
    const platform::FolderLock lock(m_appDir);
    return appendTemplate(editor);
}

SaveOutcome TemplateStore::appendTemplate(const TemplateEditor &editor)
{
    SaveOutcome outcome;
    const QString name = editor.templateName();
    const QString bodyPath = BodyFilePath(name);
    platform::AppendedLine body;
    QString error;
    if (!platform::appendAnsiLine(bodyPath, TrimSpaces(editor.body()), platform::LineStart::AsIs, &body, &error)) {
        outcome.status = SaveOutcome::Status::Failed;
        outcome.message = QStringLiteral("The template was not saved. ") + error;
        return outcome;
    }

    const QString dataPath = dataFilePath();
    platform::AppendedLine record;
    if (!platform::appendAnsiLine(dataPath, FormatRecordLine(editor), platform::LineStart::SetAsideUnfinished,
                                  &record, &error)) {
        // Nothing of a template that is not in the data file stays behind.
        outcome.status = SaveOutcome::Status::Failed;
        outcome.message = QStringLiteral("The template was not saved. ") + error;
        if (!platform::undoAppend(bodyPath, body))
            outcome.message += QStringLiteral(" Its body stays at the end of \"%1\".")
                                   .arg(QDir::toNativeSeparators(bodyPath));
        return outcome;
    }
    if (body.created)
        m_folder.noteCreated(m_appDir, QFileInfo(bodyPath).fileName());
    if (record.created)
        m_folder.noteCreated(m_appDir, QFileInfo(dataPath).fileName());
    if (!record.setAsidePath.isEmpty()) {
        outcome.message = QStringLiteral("The template was saved. The data file \"%1\" ended with an unfinished "
                                         "line, which is not a template; it was moved into \"%2\".")
                              .arg(QDir::toNativeSeparators(dataPath),
                                   QDir::toNativeSeparators(record.setAsidePath));
    }
    outcome.addsEntry = true;
    outcome.listEntry = ListEntryFromEditor(editor);
    return outcome;
}

void LoadTemplateList(TemplateStore &store, TemplateList &list)
{
    // The window handles its events before the first line and then every
    // YieldEveryMs, not at every line: one pass of a Windows event loop
    // costs as much as a hundred lines (far more under Wine).
    const QString contents = store.ReadDataFile();
    QElapsedTimer sinceYield;
    for (const QStringView line : SplitDataFileViews(contents)) {
        if (!sinceYield.isValid() || sinceYield.hasExpired(YieldEveryMs)) {
            list.yield();
            sinceYield.start();
        }
        if (const auto entry = ListEntryFromLine(line))
            list.addEntry(*entry);
    }
}

} // namespace store
