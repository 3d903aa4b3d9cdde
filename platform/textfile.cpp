#include "platform/textfile.h"

#include "platform/ansitext.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <filesystem>

namespace platform {
namespace {

QString describe(const QString &what, const QString &path, const QString &reason)
{
    return QStringLiteral("Could not %1 \"%2\": %3").arg(what, QDir::toNativeSeparators(path), reason);
}

} // namespace

bool readWholeFile(const QString &path, QByteArray *contents, QString *error)
{
    QFile file(path);
    if (QFileInfo(path).isDir()) {
        if (error)
            *error = describe(QStringLiteral("read"), path, QStringLiteral("it is a folder"));
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = describe(QStringLiteral("read"), path, file.errorString());
        return false;
    }
    *contents = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = describe(QStringLiteral("read"), path, file.errorString());
        contents->clear();
        return false;
    }
    return true;
}

QString readAnsiFile(const QString &path, bool *ok)
{
    QByteArray bytes;
    const bool read = readWholeFile(path, &bytes);
    if (ok)
        *ok = read;
    return fromAnsi(bytes);
}

bool appendAnsiLine(const QString &path, QStringView text, LineStart start, QString *error)
{
    QFile file(path);
    if (QFileInfo(path).isDir()) {
        if (error)
            *error = describe(QStringLiteral("write"), path, QStringLiteral("a folder of that name is in the way"));
        return false;
    }
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered)) {
        if (error)
            *error = describe(QStringLiteral("write"), path, file.errorString());
        return false;
    }
    const qint64 formerSize = file.size();

    QByteArray bytes;
    bytes.reserve(text.size() + 4);
    if (start == LineStart::EnsureNewLine && formerSize > 0 && !file.isSequential()) {
        QByteArray tail(2, '\0');
        if (formerSize >= 2 && file.seek(formerSize - 2))
            tail = file.read(2);
        else if (file.seek(formerSize - 1))
            tail = file.read(1);
        if (tail != "\r\n")
            bytes += "\r\n";
    }
    bytes += toAnsi(text);
    bytes += "\r\n";

    // Append mode writes at the end whatever the read position is.
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.resize(formerSize);
        file.close();
        if (error)
            *error = describe(QStringLiteral("write"), path, reason);
        return false;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = describe(QStringLiteral("write"), path, file.errorString());
        return false;
    }
    return true;
}

namespace {

std::filesystem::file_time_type modificationStamp(const QString &dir)
{
    std::error_code error;
    const auto stamp = std::filesystem::last_write_time(std::filesystem::path(dir.toStdU16String()), error);
    return error ? std::filesystem::file_time_type::min() : stamp;
}

} // namespace

QString FolderIndex::resolve(const QString &dir, const QString &fileName)
{
    const QString exact = joinPath(dir, fileName);
    if (QFileInfo::exists(exact))
        return exact;
    index(dir);
    const auto found = m_byFoldedName.constFind(fileName.toCaseFolded());
    return found == m_byFoldedName.cend() ? exact : joinPath(dir, found.value());
}

void FolderIndex::index(const QString &dir)
{
    if (dir != m_dir || modificationStamp(dir) != m_stamp)
        rescan(dir);
}

void FolderIndex::noteCreated(const QString &dir, const QString &fileName)
{
    if (dir != m_dir)
        return;
    const QString folded = fileName.toCaseFolded();
    auto it = m_byFoldedName.find(folded);
    if (it == m_byFoldedName.end())
        m_byFoldedName.insert(folded, fileName);
    else if (fileName < it.value())
        it.value() = fileName;
    m_stamp = modificationStamp(dir);
}

void FolderIndex::rescan(const QString &dir)
{
    m_dir = dir;
    m_stamp = modificationStamp(dir);
    m_byFoldedName.clear();
    QDirIterator it(dir, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        auto entry = m_byFoldedName.find(name.toCaseFolded());
        if (entry == m_byFoldedName.end())
            m_byFoldedName.insert(name.toCaseFolded(), name);
        else if (name < entry.value())
            entry.value() = name;
    }
}

QString joinPath(const QString &dir, const QString &fileName)
{
    if (dir.isEmpty())
        return fileName;
    if (dir.endsWith(QLatin1Char('/')) || dir.endsWith(QLatin1Char('\\')))
        return dir + fileName;
    return dir + QLatin1Char('/') + fileName;
}

} // namespace platform
