#include "platform/textfile.h"

#include "platform/ansitext.h"
#include "platform/rawfile.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

namespace platform {
namespace {

QString describe(const QString &what, const QString &path, const QString &reason)
{
    return QStringLiteral("Could not %1 \"%2\": %3").arg(what, QDir::toNativeSeparators(path), reason);
}

} // namespace

bool readWholeFile(const QString &path, QByteArray *contents, QString *error)
{
    detail::RawFile file;
    QString why;
    if (file.openForReading(path, &why)) {
        QByteArray bytes = file.readAll(&why);
        if (why.isEmpty()) {
            *contents = std::move(bytes);
            return true;
        }
    }
    if (error)
        *error = describe(QStringLiteral("read"), path, why);
    return false;
}

QString readAnsiFile(const QString &path, bool *ok)
{
    QByteArray bytes;
    const bool read = readWholeFile(path, &bytes);
    if (ok)
        *ok = read;
    return fromAnsi(bytes);
}

bool writeWholeFile(const QString &path, QByteArrayView bytes, QString *error)
{
    return writeWholeFiles({{path, bytes.toByteArray()}}, error);
}

bool writeWholeFiles(const QList<QPair<QString, QByteArray>> &files, QString *error)
{
    std::vector<std::unique_ptr<QSaveFile>> written;
    QString why, failedPath;
    for (const auto &[path, bytes] : files) {
        auto file = std::make_unique<QSaveFile>(path);
        // A buffered write that fits the buffer fails only when it is flushed.
        if (!file->open(QIODevice::WriteOnly) || file->write(bytes) != bytes.size() || !file->flush()) {
            why = file->errorString();
            failedPath = path;
            break;
        }
        written.push_back(std::move(file));
    }
    if (why.isEmpty()) {
        for (std::size_t i = 0; i < written.size() && why.isEmpty(); ++i) {
            failedPath = files.at(qsizetype(i)).first;
            if (!written[i]->commit())
                why = written[i]->errorString();
            else if (QFileInfo(failedPath).size() != files.at(qsizetype(i)).second.size())
                why = QStringLiteral("the file on the disk is not as long as what was written");
        }
    }
    if (why.isEmpty())
        return true;
    for (const auto &file : written)
        file->cancelWriting();
    if (error)
        *error = describe(QStringLiteral("write"), failedPath, why);
    return false;
}

namespace {

// A name beside path for its unfinished last line, not taken yet.
QString setAsideName(const QString &path)
{
    const QFileInfo info(path);
    const QString stem = QStringLiteral("%1-unfinished-%2")
                             .arg(info.completeBaseName(),
                                  QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    QString candidate = info.dir().filePath(stem + QStringLiteral(".txt"));
    for (int n = 2; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n)
        candidate = info.dir().filePath(QStringLiteral("%1-%2.txt").arg(stem).arg(n));
    return candidate;
}

// Where the file's last line begins: just after its last CR LF, or at 0.
qint64 lastLineStart(const detail::RawFile &file, qint64 size)
{
    constexpr qint64 kChunk = 64 * 1024;
    QByteArray chunk;
    for (qint64 end = size;;) {
        const qint64 from = std::max<qint64>(0, end - kChunk);
        chunk.resize(end - from);
        if (!file.readAt(from, chunk.data(), chunk.size()))
            return -1;
        const qsizetype crlf = chunk.lastIndexOf("\r\n");
        if (crlf >= 0)
            return from + crlf + 2;
        if (from == 0)
            return 0;
        end = from + 1; // a CR at the chunk's first byte pairs with the LF behind it
    }
}

bool setAsideUnfinishedLine(detail::RawFile &file, const QString &path, QString *setAsidePath, QString *why)
{
    const qint64 size = file.size();
    char last[2] = {};
    if (size <= 0 || (size >= 2 && file.readAt(size - 2, last, 2) && last[0] == '\r' && last[1] == '\n'))
        return true;
    const qint64 start = lastLineStart(file, size);
    QByteArray unfinished(size - std::max<qint64>(start, 0), Qt::Uninitialized);
    if (start < 0 || !file.readAt(start, unfinished.data(), unfinished.size())) {
        *why = QStringLiteral("its unfinished last line could not be read");
        return false;
    }
    const QString side = setAsideName(path);
    QString sideError;
    if (!writeWholeFile(side, unfinished, &sideError)) {
        *why = QStringLiteral("its unfinished last line could not be moved aside. ") + sideError;
        return false;
    }
    if (!file.truncate(start)) {
        QFile::remove(side);
        *why = QStringLiteral("its unfinished last line could not be cut off");
        return false;
    }
    *setAsidePath = side;
    return true;
}

} // namespace

bool appendAnsiLine(const QString &path, QStringView text, LineStart start, AppendedLine *appended,
                    QString *error)
{
    AppendedLine result;
    detail::RawFile file;
    QString why;
    auto fail = [&](const QString &reason) {
        if (error)
            *error = describe(QStringLiteral("write"), path, reason);
        return false;
    };
    if (!file.openForAppending(path, &result.created, &why))
        return fail(why);
    if (start == LineStart::SetAsideUnfinished && !setAsideUnfinishedLine(file, path, &result.setAsidePath, &why))
        return fail(why);

    QByteArray bytes;
    bytes.reserve(text.size() + 2);
    bytes += toAnsi(text);
    bytes += "\r\n";
    qint64 offset = -1;
    const qint64 written = file.append(bytes.constData(), bytes.size(), &offset, &why);
    if (written == bytes.size()) {
        result.offset = offset;
        result.size = written;
        if (appended)
            *appended = result;
        return true;
    }

    // Only this write's bytes are taken back, and only while nobody has
    // written behind them.
    bool takenBack = written == 0;
    if (!takenBack && offset >= 0 && file.size() == offset + written)
        takenBack = file.truncate(offset);
    const bool empty = file.size() == 0;
    file.close();
    if (result.created && takenBack && empty)
        QFile::remove(path);
    if (!takenBack)
        why += QStringLiteral("; the part that was written could not be taken back");
    return fail(why);
}

bool undoAppend(const QString &path, const AppendedLine &appended)
{
    if (appended.offset < 0)
        return true;
    detail::RawFile file;
    bool created = false;
    QString why;
    if (!file.openForAppending(path, &created, &why))
        return false;
    const bool takenBack = file.size() == appended.offset + appended.size && file.truncate(appended.offset);
    const bool empty = file.size() == 0;
    file.close();
    if ((appended.created || created) && empty)
        QFile::remove(path);
    return takenBack;
}

bool readFileRange(const QString &path, qint64 offset, qint64 length, QByteArray *bytes)
{
    detail::RawFile file;
    QString why;
    if (!file.openForReading(path, &why) || offset < 0 || length < 0)
        return false;
    bytes->resize(length);
    return file.readAt(offset, bytes->data(), length);
}

bool discardFile(const QString &path, const QString &asideDir, QString *where, QString *error)
{
    QString inTrash;
    if (QFile::moveToTrash(path, &inTrash)) {
        *where = inTrash;
        return true;
    }
    const QFileInfo info(path);
    QString aside = QDir(asideDir).filePath(info.fileName());
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
        aside = QDir(asideDir).filePath(QStringLiteral("%1 (%2).%3").arg(info.completeBaseName()).arg(n).arg(info.suffix()));
    QFile file(path);
    if (QDir().mkpath(asideDir) && file.rename(aside)) {
        *where = aside;
        return true;
    }
    if (error)
        *error = describe(QStringLiteral("move away"), path, file.errorString());
    return false;
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

void FolderIndex::noteRemoved(const QString &dir, const QString &fileName)
{
    if (dir != m_dir)
        return;
    // Another file of the same name in another letter case may remain: the
    // next look-up lists the folder again to find it.
    m_byFoldedName.remove(fileName.toCaseFolded());
    m_stamp = std::filesystem::file_time_type::min();
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
