#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringView>

#include <filesystem>

namespace platform {

// Reads a whole regular file in one piece. Pipes, devices and folders are
// refused without waiting on them. On failure returns false and, when asked,
// says why in a sentence that names the file.
bool readWholeFile(const QString &path, QByteArray *contents, QString *error = nullptr);

// Reads a whole Windows-1252 text file; a file that cannot be read gives an
// empty text.
QString readAnsiFile(const QString &path, bool *ok = nullptr);

// Writes a whole file through a temporary file that takes the file's place
// only when every byte is on the disk: written, flushed, committed, and its
// size checked afterwards. On failure the file is as it was (or absent), and
// error says why, naming the file.
bool writeWholeFile(const QString &path, QByteArrayView bytes, QString *error = nullptr);

// Writes several whole files so that all of them change or none: each is
// written and flushed in full beside its place first, and only then do they
// take their places, in order. A failure before that changes no file.
bool writeWholeFiles(const QList<QPair<QString, QByteArray>> &files, QString *error = nullptr);

enum class LineStart {
    AsIs,               // append directly after the file's last byte
    SetAsideUnfinished, // first move a last line without CR LF into a file of its own
};

// Where appendAnsiLine put a line, so that it can be taken back.
struct AppendedLine
{
    qint64 offset = -1;   // where the line's bytes begin
    qint64 size = 0;      // how many bytes, CR LF included
    bool created = false; // the append created the file
    QString setAsidePath; // where an unfinished last line was moved, or empty
};

// Appends text and CR LF to a regular file in the given folder, creating it
// when missing; a symbolic link, a pipe or a device is refused. The bytes go
// out in one write at the end of the file. When the write fails or is cut
// short, only this write's bytes are cut off again, and only while they are
// still the end of the file (another running copy may have appended since);
// a file this call created is removed again. With SetAsideUnfinished, a last
// line without CR LF (left by a program that was killed while writing, or
// typed by hand) is first moved into a file beside this one, named
// "<name>-unfinished-<date and time>.txt", so that it never merges with the
// new line and is never thrown away. The caller holds the folder's
// FolderLock.
bool appendAnsiLine(const QString &path, QStringView text, LineStart start, AppendedLine *appended,
                    QString *error = nullptr);

// Takes back what appendAnsiLine wrote: its bytes are cut off while they are
// still the end of the file, and a file it created is removed when nothing
// else is in it. False when the bytes could not be taken back.
bool undoAppend(const QString &path, const AppendedLine &appended);

// What tells whether a file is still the one that was read: its identity on
// the disk (a file put in its place has another) and its size. size is -1
// when there is no regular file at the path.
struct FileStamp
{
    quint64 device = 0;
    quint64 id = 0;
    qint64 size = -1;
    bool sameFile(const FileStamp &other) const { return device == other.device && id == other.id; }
};
FileStamp fileStamp(const QString &path);

// Reads length bytes of a regular file from offset on; false when they
// cannot all be read.
bool readFileRange(const QString &path, qint64 offset, qint64 length, QByteArray *bytes);

// Moves a file the program no longer keeps to the desktop's trash, so that
// the user can bring it back; where there is no trash, into asideDir (made
// when missing) under a name not taken there. where receives the file's new
// path. On failure the file stays, and error says why.
bool discardFile(const QString &path, const QString &asideDir, QString *where, QString *error);

// Keeps other running copies of Letterloom from changing the files of a
// folder while this one does, from construction to destruction. A lock that
// cannot be taken is no error: the files are then changed without it.
class FolderLock
{
public:
    explicit FolderLock(const QString &dir);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

private:
    qintptr m_handle = -1; // the system's handle that holds the lock
};

// Makes a write beyond the process's file-size limit fail with an error,
// reported like any other, instead of ending the program. Called once at
// start.
void letOversizedWritesFail();

// Finds files in one folder whatever the letter case of their names, so that
// files copied from a system that ignores case ("maindata.txt") are found on
// one that does not. The folder's listing is kept between calls and read
// again only when the folder itself has changed, so a folder of many
// thousand files costs one listing, not one per call.
class FolderIndex
{
public:
    // The path of the entry named fileName in dir: the exact name when it
    // exists, else the entry that matches without regard to case (the first
    // in name order when several do). When none matches, the exact name, so
    // that a new file is created under it.
    QString resolve(const QString &dir, const QString &fileName);

    // Lists dir now, unless the listing kept is still up to date.
    void index(const QString &dir);

    // Tells the index that this program has just created or removed
    // dir/fileName.
    void noteCreated(const QString &dir, const QString &fileName);
    void noteRemoved(const QString &dir, const QString &fileName);

private:
    void rescan(const QString &dir);

    QString m_dir;
    std::filesystem::file_time_type m_stamp; // the folder's modification time when it was listed
    QHash<QString, QString> m_byFoldedName;
};

// Joins a directory and a file name with the platform's separator handling.
QString joinPath(const QString &dir, const QString &fileName);

} // namespace platform
