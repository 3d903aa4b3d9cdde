#include "platform/textfile.h"

#include "platform/rawfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>
#include <filesystem>

namespace platform {

namespace detail {

namespace {
FileOpHook &fileOpHook()
{
    static FileOpHook hook;
    return hook;
}

WriteFault &writeFaultHook()
{
    static WriteFault fault;
    return fault;
}

WriteFault &readFaultHook()
{
    static WriteFault fault;
    return fault;
}
} // namespace

const WriteFault &writeFault()
{
    return writeFaultHook();
}

const WriteFault &readFault()
{
    return readFaultHook();
}

void setWriteFault(WriteFault fault)
{
    writeFaultHook() = std::move(fault);
}

void setReadFault(WriteFault fault)
{
    readFaultHook() = std::move(fault);
}

void setFileOpHook(FileOpHook hook)
{
    fileOpHook() = std::move(hook);
}

int fileOpFault(FileOp op, const QString &path, const QString &to)
{
    return fileOpHook() ? fileOpHook()(op, path, to) : 0;
}

} // namespace detail

namespace {

// What failed, with %1 for the file and %2 for the reason.
QString couldNotRead()
{
    return QCoreApplication::translate("platform::TextFile", "Could not read \"%1\": %2");
}

QString couldNotWrite()
{
    return QCoreApplication::translate("platform::TextFile", "Could not write \"%1\": %2");
}

QString couldNotRemove()
{
    return QCoreApplication::translate("platform::TextFile", "Could not remove \"%1\": %2");
}

bool fail(QString *error, const QString &failure, const QString &path, const QString &reason)
{
    if (error)
        *error = failure.arg(QDir::toNativeSeparators(path), reason);
    return false;
}

// A name beside path for a new file of its own, not taken yet.
QString freshNameBeside(const QString &path)
{
    static int counter = 0;
    const QFileInfo info(path);
    return info.dir().filePath(QStringLiteral(".letterloom-%1-%2-%3.tmp")
                                   .arg(QCoreApplication::applicationPid())
                                   .arg(QDateTime::currentMSecsSinceEpoch())
                                   .arg(++counter));
}

} // namespace

namespace {

bool readFile(const QString &path, QByteArray *contents, QString *error, bool followLinks, qint64 maxBytes)
{
    detail::RawFile file;
    QString why;
    if (file.openForReading(path, &why, followLinks)) {
        if (maxBytes >= 0 && file.size() > maxBytes)
            //: %1 is a size in KiB.
            return fail(error, couldNotRead(), path,
                        QCoreApplication::translate("platform::TextFile", "it is larger than %1 KiB, far larger "
                                                                          "than Letterloom writes it")
                            .arg(maxBytes / 1024));
        QByteArray bytes = file.readAll(&why);
        if (why.isEmpty()) {
            *contents = std::move(bytes);
            return true;
        }
    }
    return fail(error, couldNotRead(), path, why);
}

} // namespace

bool readWholeFile(const QString &path, QByteArray *contents, QString *error)
{
    return readFile(path, contents, error, true, -1);
}

bool readOwnFile(const QString &path, QByteArray *contents, QString *error, qint64 maxBytes)
{
    return readFile(path, contents, error, false, maxBytes);
}

bool createWholeFile(const QString &path, QByteArrayView bytes, QString *error)
{
    // Written by hand rather than through QSaveFile: the new file must stay
    // under a name of its own until the change it belongs to is recorded,
    // and a failure must name its cause.
    detail::RawFile file;
    QString why;
    bool exists = false;
    if (!file.createNew(path, &exists, &why))
        return fail(error, couldNotWrite(), path, why);
    if (file.writeAt(0, bytes.data(), bytes.size(), &why) && file.sync(&why)) {
        if (file.size() == bytes.size())
            return true;
        why = QCoreApplication::translate("platform::TextFile",
                                          "the file on the disk is not as long as what was written");
    }
    file.close();
    QString ignored;
    detail::removeFile(path, &ignored);
    return fail(error, couldNotWrite(), path, why);
}

bool writeWholeFile(const QString &path, QByteArrayView bytes, QString *error)
{
    return writeWholeFiles({{path, bytes.toByteArray()}}, error);
}

bool writeWholeFiles(const QList<QPair<QString, QByteArray>> &files, QString *error)
{
    QStringList written;
    bool ok = true;
    for (const auto &[path, bytes] : files) {
        const QString side = freshNameBeside(path);
        if (!createWholeFile(side, bytes, error)) {
            // The reason names the file that was to be written, not the side file.
            if (error)
                error->replace(QDir::toNativeSeparators(side), QDir::toNativeSeparators(path));
            ok = false;
            break;
        }
        written << side;
    }
    for (qsizetype i = 0; ok && i < written.size(); ++i) {
        if (!renameFile(written.at(i), files.at(i).first, error))
            ok = false;
    }
    if (!ok) {
        QString ignored;
        for (const QString &side : std::as_const(written))
            detail::removeFile(side, &ignored);
    }
    return ok;
}

bool writeAtEnd(const QString &path, qint64 offset, QByteArrayView bytes, QString *error)
{
    detail::RawFile file;
    QString why;
    if (!file.openForWriting(path, &why)) {
        bool exists = false;
        if (offset != 0 || QFileInfo::exists(path) || QFileInfo(path).isSymLink() || !file.createNew(path, &exists, &why))
            return fail(error, couldNotWrite(), path, why);
    }
    const qint64 size = file.size();
    if (size < offset)
        return fail(error, couldNotWrite(), path,
                    QCoreApplication::translate("platform::TextFile", "it is shorter than it was a moment ago "
                                                                      "(changed by another program)"));
    if (size > offset) {
        // Behind the offset may stand only these bytes, or the first of them
        // from an attempt that was cut short; anything else is another
        // program's, and stays.
        QByteArray there(std::min<qint64>(size - offset, bytes.size() + 1), Qt::Uninitialized);
        if (!file.readAt(offset, there.data(), there.size()) || there.size() > bytes.size()
            || !bytes.startsWith(there))
            return fail(error, couldNotWrite(), path,
                        QCoreApplication::translate("platform::TextFile", "it is longer than it was a moment ago "
                                                                          "(changed by another program)"));
        if (there.size() == bytes.size())
            return true;
    }
    if ((size > offset && !file.truncate(offset, &why)) || !file.writeAt(offset, bytes.data(), bytes.size(), &why)
        || !file.sync(&why)) {
        // Nothing of these bytes stays behind.
        file.truncate(offset);
        return fail(error, couldNotWrite(), path, why);
    }
    return true;
}

bool isPlainFile(const QString &path, QString *why)
{
    detail::RawFile file;
    return file.openForWriting(path, why);
}

bool cutFile(const QString &path, qint64 size, QString *error)
{
    detail::RawFile file;
    QString why;
    if (!file.openForWriting(path, &why)) {
        if (size == 0 && !QFileInfo::exists(path))
            return true;
        return fail(error, couldNotWrite(), path, why);
    }
    if (file.size() == size)
        return true;
    if (!file.truncate(size, &why) || !file.sync(&why))
        return fail(error, couldNotWrite(), path, why);
    return true;
}

bool renameFile(const QString &from, const QString &to, QString *error)
{
    QString why;
    if (const int fault = detail::fileOpFault(detail::FileOp::Rename, from, to))
        why = detail::reasonForErrno(fault);
    else if (detail::renameReplacing(from, to, &why))
        return true;
    return fail(error, couldNotWrite(), to, why);
}

bool removeFile(const QString &path, QString *error)
{
    QString why;
    if (const int fault = detail::fileOpFault(detail::FileOp::Remove, path))
        why = detail::reasonForErrno(fault);
    else if (detail::removeFile(path, &why))
        return true;
    return fail(error, couldNotRemove(), path, why);
}

bool syncFolder(const QString &dir, QString *error)
{
    QString why;
    if (const int fault = detail::fileOpFault(detail::FileOp::SyncFolder, dir))
        why = detail::reasonForErrno(fault);
    else if (detail::syncFolder(dir, &why))
        return true;
    return fail(error, couldNotWrite(), dir, why);
}

bool isRealFolder(const QString &path)
{
    return detail::entryAt(path) == detail::Entry::Folder;
}

bool readFileRange(const QString &path, qint64 offset, qint64 length, QByteArray *bytes)
{
    detail::RawFile file;
    QString why;
    if (!file.openForReading(path, &why, false) || offset < 0 || length < 0)
        return false;
    bytes->resize(length);
    return file.readAt(offset, bytes->data(), length);
}

void refreshFolderView(const QString &dir)
{
    if (detail::isRemoteFolder(dir))
        QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
}

QString foldedName(QStringView name)
{
    QString folded(name.size(), Qt::Uninitialized);
    QChar *out = folded.data();
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        // Simple mappings of UTF-16 units, as NTFS's table holds them: a
        // character beyond the first plane keeps its case.
        out[i] = c.isSurrogate() ? c : QChar(QChar::toUpper(c.unicode()));
    }
    return folded;
}

namespace {

std::filesystem::file_time_type modificationStamp(const QString &dir)
{
    std::error_code error;
    const auto stamp = std::filesystem::last_write_time(std::filesystem::path(dir.toStdU16String()), error);
    return error ? std::filesystem::file_time_type::min() : stamp;
}

} // namespace

FolderIndex::FolderIndex(KeyOf keyOf)
    : m_keyOf(std::move(keyOf))
{
}

QString FolderIndex::keyOf(const QString &fileName) const
{
    return m_keyOf ? m_keyOf(fileName) : foldedName(fileName);
}

QString FolderIndex::find(const QString &dir, const QString &key, const QString &preferredName)
{
    if (!preferredName.isEmpty() && QFileInfo::exists(joinPath(dir, preferredName)))
        return preferredName;
    index(dir);
    const QStringList names = m_byKey.value(key);
    // The listing may be older than the folder's last change within its
    // clock's step: a name is taken only when it is still there.
    for (const QString &name : names) {
        if (QFileInfo::exists(joinPath(dir, name)) || QFileInfo(joinPath(dir, name)).isSymLink())
            return name;
    }
    return QString();
}

QString FolderIndex::resolve(const QString &dir, const QString &fileName)
{
    const QString found = find(dir, keyOf(fileName), fileName);
    return joinPath(dir, found.isEmpty() ? fileName : found);
}

void FolderIndex::index(const QString &dir)
{
    if (dir != m_dir || modificationStamp(dir) != m_stamp)
        rescan(dir);
}

bool FolderIndex::isStale(const QString &dir)
{
    return dir != m_dir || modificationStamp(dir) != m_stamp;
}

void FolderIndex::adopt(const QString &dir)
{
    if (dir == m_dir)
        m_stamp = modificationStamp(dir);
}

void FolderIndex::noteCreated(const QString &dir, const QString &fileName)
{
    if (dir != m_dir)
        return;
    const QString key = keyOf(fileName);
    if (key.isEmpty())
        return;
    QStringList &names = m_byKey[key];
    if (!names.contains(fileName)) {
        names.insert(std::lower_bound(names.begin(), names.end(), fileName), fileName);
    }
    m_stamp = modificationStamp(dir);
}

void FolderIndex::noteRemoved(const QString &dir, const QString &fileName)
{
    if (dir != m_dir)
        return;
    const QString key = keyOf(fileName);
    auto it = m_byKey.find(key);
    if (it != m_byKey.end()) {
        it->removeAll(fileName);
        if (it->isEmpty())
            m_byKey.erase(it);
    }
    m_stamp = modificationStamp(dir);
}

void FolderIndex::rescan(const QString &dir)
{
    m_dir = dir;
    m_stamp = modificationStamp(dir);
    m_byKey.clear();
    QDirIterator it(dir, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        const QString key = keyOf(name);
        if (!key.isEmpty())
            m_byKey[key] << name;
    }
    for (QStringList &names : m_byKey)
        names.sort();
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
