// Replacing, deleting and renaming stored templates. Each of them rewrites
// the data file whole, under the folder's lock, from what is on the disk at
// that moment (so the templates another running copy appended are kept), and
// puts the new file in place only when every byte of it is written. When a
// step fails, both files are left as they were.

#include "platform/ansitext.h"
#include "store/templaterecord.h"
#include "store/templatestore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace store {
namespace {

// The data file as lines of bytes (each without its CR LF) and what follows
// the last CR LF, so that it is written back exactly as it was read.
struct DataLines
{
    QString path;
    QList<QByteArray> lines;
    QByteArray tail;
    QString error; // why the file could not be read or written

    QByteArray joined() const
    {
        QByteArray bytes;
        for (const QByteArray &line : lines)
            bytes += line + "\r\n";
        return bytes + tail;
    }
};

DataLines splitLines(const QByteArray &bytes)
{
    DataLines data;
    qsizetype start = 0;
    for (qsizetype crlf = bytes.indexOf("\r\n"); crlf >= 0; crlf = bytes.indexOf("\r\n", start)) {
        data.lines.append(bytes.mid(start, crlf - start));
        start = crlf + 2;
    }
    data.tail = bytes.mid(start);
    return data;
}

// Whether a stored line is a template of that name.
bool holdsName(const QByteArray &line, const QString &key)
{
    const qsizetype tab = line.indexOf('\t');
    return tab >= 0 && NameKey(platform::fromAnsi(QByteArrayView(line).first(tab))) == key;
}

// Why a file may not be rewritten in place: only regular files of the
// folder are, never what a link points to.
QString rewriteRefusal(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink())
        return QStringLiteral("Could not write \"%1\": it is a symbolic link; Letterloom writes only to files inside "
                              "its own folder")
            .arg(QDir::toNativeSeparators(path));
    if (info.exists() && !info.isFile())
        return QStringLiteral("Could not write \"%1\": it is not a regular file").arg(QDir::toNativeSeparators(path));
    return QString();
}

// The data file as it is on the disk now; error says why when it cannot be
// read, or may not be rewritten.
DataLines readDataLines(const QString &path)
{
    QString error = rewriteRefusal(path);
    QByteArray bytes;
    if (error.isEmpty() && QFileInfo::exists(path))
        platform::readWholeFile(path, &bytes, &error);
    DataLines data = splitLines(bytes);
    data.path = path;
    data.error = error;
    return data;
}

bool writeDataLines(DataLines &data)
{
    return platform::writeWholeFile(data.path, data.joined(), &data.error);
}

ChangeOutcome failed(const QString &what, const QString &error)
{
    return {ChangeOutcome::Status::Failed, QStringLiteral("The template was not %1. %2").arg(what, error)};
}

ChangeOutcome refused(const QString &message)
{
    return {ChangeOutcome::Status::Refused, message};
}

} // namespace

bool TemplateStore::Contains(const QString &name)
{
    fillAppDir();
    return !m_appDir.isEmpty() && m_names.contains(dataFilePath(), name);
}

ChangeOutcome TemplateStore::ReplaceTemplate(const TemplateEditor &editor)
{
    const QString refusal = RefusalFor(editor);
    if (!refusal.isEmpty())
        return refused(refusal);
    const QString folderProblem = prepareFolder();
    if (!folderProblem.isEmpty())
        return failed(QStringLiteral("replaced"), folderProblem);
    const platform::FolderLock lock(m_appDir);

    const QString name = editor.templateName();
    DataLines data = readDataLines(dataFilePath());
    if (!data.error.isEmpty())
        return failed(QStringLiteral("replaced"), data.error);
    const QString key = NameKey(name);
    qsizetype first = -1;
    for (qsizetype i = data.lines.size() - 1; i >= 0; --i) {
        if (!holdsName(data.lines.at(i), key))
            continue;
        if (first >= 0)
            data.lines.removeAt(first);
        first = i;
    }
    if (first < 0) {
        // Deleted meanwhile, by another copy: saved as a new template.
        const SaveOutcome saved = appendTemplate(editor);
        return {saved.status == SaveOutcome::Status::Saved ? ChangeOutcome::Status::Done
                                                           : ChangeOutcome::Status::Failed,
                saved.message};
    }
    data.lines[first] = platform::toAnsi(FormatRecordLine(editor));

    // Both files are written in full before either takes its place.
    const QString bodyPath = BodyFilePath(name);
    const QString bodyProblem = rewriteRefusal(bodyPath);
    if (!bodyProblem.isEmpty())
        return failed(QStringLiteral("replaced"), bodyProblem);
    const bool hadBody = QFileInfo::exists(bodyPath);
    if (!platform::writeWholeFiles({{bodyPath, platform::toAnsi(TrimSpaces(editor.body())) + "\r\n"},
                                    {data.path, data.joined()}},
                                   &data.error))
        return failed(QStringLiteral("replaced"), data.error);
    if (!hadBody)
        m_folder.noteCreated(m_appDir, QFileInfo(bodyPath).fileName());
    m_names.forget();
    return {};
}

ChangeOutcome TemplateStore::DeleteTemplate(const QString &name)
{
    fillAppDir();
    const platform::FolderLock lock(m_appDir);
    DataLines data = readDataLines(dataFilePath());
    if (!data.error.isEmpty())
        return failed(QStringLiteral("deleted"), data.error);
    const QString key = NameKey(name);
    const qsizetype before = data.lines.size();
    data.lines.removeIf([&key](const QByteArray &line) { return holdsName(line, key); });
    if (data.lines.size() == before)
        return refused(QStringLiteral("There is no template named \"%1\" in the data file any more.").arg(name));
    if (!writeDataLines(data))
        return failed(QStringLiteral("deleted"), data.error);
    m_names.forget();

    // The body goes where the user can bring it back from.
    const QString bodyPath = BodyFilePath(name);
    if (!QFileInfo::exists(bodyPath) || !rewriteRefusal(bodyPath).isEmpty())
        return {};
    QString where, error;
    if (!platform::discardFile(bodyPath, platform::joinPath(m_appDir, QStringLiteral("Deleted")), &where, &error))
        return {ChangeOutcome::Status::Done,
                QStringLiteral("The template was deleted, but its body file stays where it was. ") + error};
    m_folder.noteRemoved(m_appDir, QFileInfo(bodyPath).fileName());
    return {};
}

ChangeOutcome TemplateStore::RenameTemplate(const QString &name, const QString &newName)
{
    EditorValues renamed;
    renamed.name = newName;
    const QString refusal = RefusalFor(renamed);
    if (!refusal.isEmpty())
        return refused(refusal);
    if (name == newName)
        return {};
    fillAppDir();
    const platform::FolderLock lock(m_appDir);
    DataLines data = readDataLines(dataFilePath());
    if (!data.error.isEmpty())
        return failed(QStringLiteral("renamed"), data.error);
    const QString key = NameKey(name);
    const QString newKey = NameKey(newName);
    bool found = false;
    for (QByteArray &line : data.lines) {
        if (key != newKey && holdsName(line, newKey))
            return refused(QStringLiteral("A template named \"%1\" is saved already; choose another name.").arg(newName));
        if (holdsName(line, key)) {
            line = platform::toAnsi(FormatRecordLine(renamed).section(u'\t', 0, 0)) + line.mid(line.indexOf('\t'));
            found = true;
        }
    }
    if (!found)
        return refused(QStringLiteral("There is no template named \"%1\" in the data file any more.").arg(name));

    const QString bodyPath = BodyFilePath(name);
    const QString newBodyPath = platform::joinPath(m_appDir, bodyFileName(newName));
    const bool hasBody = QFileInfo::exists(bodyPath);
    if (hasBody) {
        const QString problem = renameBodyFile(bodyPath, newBodyPath, key == newKey);
        if (!problem.isEmpty())
            return failed(QStringLiteral("renamed"), problem);
    }
    if (!writeDataLines(data)) {
        if (hasBody)
            QFile::rename(newBodyPath, bodyPath);
        return failed(QStringLiteral("renamed"), data.error);
    }
    if (hasBody) {
        m_folder.noteRemoved(m_appDir, QFileInfo(bodyPath).fileName());
        m_folder.noteCreated(m_appDir, QFileInfo(newBodyPath).fileName());
    }
    m_names.forget();
    return {};
}

QString TemplateStore::renameBodyFile(const QString &bodyPath, const QString &newBodyPath, bool caseOnly)
{
    if (!caseOnly && QFileInfo::exists(newBodyPath))
        return QStringLiteral("The file \"%1\" is in the way.").arg(QDir::toNativeSeparators(newBodyPath));
    QFile body(bodyPath);
#ifdef Q_OS_WIN
    // A change of letter case only: Windows names the one file either way,
    // and Wine takes such a rename for one onto the file itself and keeps the
    // old name, so the file goes by way of a name of its own.
    if (caseOnly && !body.rename(newBodyPath + QStringLiteral(".renaming")))
        return QStringLiteral("Could not rename \"%1\": %2").arg(QDir::toNativeSeparators(bodyPath), body.errorString());
#endif
    if (!body.rename(newBodyPath)) {
        const QString why = body.errorString();
        if (body.fileName() != bodyPath)
            body.rename(bodyPath);
        return QStringLiteral("Could not rename \"%1\": %2").arg(QDir::toNativeSeparators(bodyPath), why);
    }
    return QString();
}

} // namespace store
