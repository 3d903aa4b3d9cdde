#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringView>

#include <filesystem>
#include <functional>

namespace platform {

// Reads a whole regular file in one piece. Pipes, devices and folders are
// refused without waiting on them. On failure returns false and, when asked,
// says why in a sentence that names the file.
bool readWholeFile(const QString &path, QByteArray *contents, QString *error = nullptr);

// The largest lock file, record of a change or kept version that is read:
// far more than Letterloom writes. A larger one is refused unread.
constexpr qint64 LargestRecord = 64 * 1024;

// Reads a whole file of the templates folder's own (the data file, a body,
// a record): like readWholeFile, but a link (or a junction) is refused, not
// followed, and so is a file larger than maxBytes, unread.
bool readOwnFile(const QString &path, QByteArray *contents, QString *error = nullptr, qint64 maxBytes = -1);

// Writes a new file, which must not exist yet, in full: created, written,
// put on the disk and closed, or on failure removed again; error names the
// file and the cause (no space left on the device, the file is too large,
// permission denied, the disk is read-only...). Changes that must switch
// several files at once write their new files so first, beside their places.
bool createWholeFile(const QString &path, QByteArrayView bytes, QString *error = nullptr);

// Writes a whole file through a new file beside it that takes its place
// only when every byte is on the disk. On failure the file is as it was (or
// absent), and error says why, naming the file.
bool writeWholeFile(const QString &path, QByteArrayView bytes, QString *error = nullptr);

// Writes several whole files so that each changes only when all of them
// could be written in full beside their places; they then take their
// places in order.
bool writeWholeFiles(const QList<QPair<QString, QByteArray>> &files, QString *error = nullptr);

// Puts bytes at offset of a regular file, which is created when missing and
// offset is 0: the end of the file as it was before. Behind offset there
// may stand these bytes already (putting them again after an interruption
// changes nothing) or their beginning (cut short: completed); anything else,
// or a shorter file, is another program's change, and the call fails
// without touching it. The bytes are on the disk when it returns true.
bool writeAtEnd(const QString &path, qint64 offset, QByteArrayView bytes, QString *error = nullptr);

// Whether path is a regular file that may be written: not a link, a pipe,
// a device or a folder; why says what it is instead.
bool isPlainFile(const QString &path, QString *why);

// Cuts a regular file back to size bytes; a missing file is no failure when
// size is 0, and is then left missing.
bool cutFile(const QString &path, qint64 size, QString *error = nullptr);

// Gives a file in a folder a new name there, replacing a file of that name.
bool renameFile(const QString &from, const QString &to, QString *error = nullptr);

// Removes a file; a missing one is no failure.
bool removeFile(const QString &path, QString *error = nullptr);

// Puts a folder's entries on the disk, so that a rename or a removal made
// in it survives a power cut.
bool syncFolder(const QString &dir, QString *error = nullptr);

// Whether path is a folder itself, not a link or junction to one.
bool isRealFolder(const QString &path);

// What tells whether a file is still the one that was read: its identity on
// the disk (a file put in its place has another), its size and when it was
// last written (in nanoseconds, as the file system keeps it; network file
// systems may keep only seconds). size is -1 when there is no regular file
// at the path.
struct FileStamp
{
    quint64 device = 0;
    quint64 id = 0;
    qint64 size = -1;
    qint64 modified = 0;
    bool sameFile(const FileStamp &other) const { return device == other.device && id == other.id; }
    bool operator==(const FileStamp &other) const
    {
        return sameFile(other) && size == other.size && modified == other.modified;
    }
    bool operator!=(const FileStamp &other) const { return !(*this == other); }
};
FileStamp fileStamp(const QString &path);

// Reads length bytes of a regular file from offset on, never through a
// link; false when they cannot all be read.
bool readFileRange(const QString &path, qint64 offset, qint64 length, QByteArray *bytes);

// Brings this machine's picture of the files of dir up to date where it
// may lag behind other machines' changes: on a network share or another
// file system in user space, whose client may keep a file's size and time
// for seconds (sshfs keeps them for twenty, and reads a file that another
// machine replaced only up to its old size), the folder is listed, which
// refreshes them. On a local disk it does nothing.
void refreshFolderView(const QString &dir);

// Makes a write beyond the process's file-size limit fail with an error,
// reported like any other, instead of ending the program. Called once at
// start.
void letOversizedWritesFail();

// The form in which file names are compared, as Windows' file systems (NTFS,
// and SMB shares) compare them: each UTF-16 unit by its simple upper case,
// so that "ß" is not "ss" and "Offer" is "OFFER".
QString foldedName(QStringView name);

// Finds files in one folder by a key made from their names (by default the
// folded name), so that files copied from a system that ignores case
// ("maindata.txt") are found on one that does not. The folder's listing is
// kept between calls and read again only when the folder itself has
// changed, so a folder of many thousand files costs one listing, not one
// per call.
class FolderIndex
{
public:
    // The key of a file name, or an empty text for a file that is never
    // looked for.
    using KeyOf = std::function<QString(const QString &fileName)>;
    explicit FolderIndex(KeyOf keyOf = {});

    // The name of the entry of dir whose key is key: preferred is the entry
    // named preferredName, else the first in name order. Empty when none.
    QString find(const QString &dir, const QString &key, const QString &preferredName);

    // The path of the entry named fileName in dir: the exact name when it
    // exists, else the entry whose key matches. When none matches, the exact
    // name, so that a new file is created under it.
    QString resolve(const QString &dir, const QString &fileName);

    // Lists dir now, unless the listing kept is still up to date.
    void index(const QString &dir);

    // Whether dir changed since it was listed (or since adopt()).
    bool isStale(const QString &dir);
    // Takes the folder as it is now for the one listed: after changes this
    // program made itself and told the index of.
    void adopt(const QString &dir);

    // Tells the index that this program has just created or removed
    // dir/fileName.
    void noteCreated(const QString &dir, const QString &fileName);
    void noteRemoved(const QString &dir, const QString &fileName);

private:
    void rescan(const QString &dir);
    QString keyOf(const QString &fileName) const;

    KeyOf m_keyOf;
    QString m_dir;
    std::filesystem::file_time_type m_stamp; // the folder's modification time when it was listed
    QHash<QString, QStringList> m_byKey;     // names in name order
};

// Joins a directory and a file name with the platform's separator handling.
QString joinPath(const QString &dir, const QString &fileName);

} // namespace platform
