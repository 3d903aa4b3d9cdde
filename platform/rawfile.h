#pragma once

// The operating system's side of the template files: opening only regular
// files, never following a link when writing, writing all or failing with
// the reason, renaming over a file, and whether a process still runs. One
// implementation per system (rawfile_unix.cpp, rawfile_win.cpp); the rules
// built on it are in textfile.cpp, folderlock.cpp and the store.

#include <QByteArray>
#include <QString>

#include <functional>

namespace platform::detail {

class RawFile
{
public:
    RawFile() = default;
    ~RawFile();
    RawFile(const RawFile &) = delete;
    RawFile &operator=(const RawFile &) = delete;

    // Opens an existing regular file for reading. Pipes, devices and
    // folders are refused without waiting on them; so is a link, unless
    // followLinks (a file the user names may be a link, the templates
    // folder's own files never are).
    bool openForReading(const QString &path, QString *why, bool followLinks = true);

    // Opens an existing regular file for reading and writing; a symbolic
    // link is refused, so nothing is ever written outside the folder the
    // path names.
    bool openForWriting(const QString &path, QString *why);

    // Opens an existing regular file for reading and writing and holds the
    // file system's own lock on it while it stays open, which file servers
    // keep across machines and let go of when a client vanishes: on Windows
    // a share mode that lets others read it but not write, rename or remove
    // it; on Linux an open-file-description lock. Where the file system has
    // no such lock, the file is open without it.
    bool openHeld(const QString &path, QString *why);

    // Creates a new file for reading and writing; fails when anything of
    // that name exists (exists then tells so).
    bool createNew(const QString &path, bool *exists, QString *why);

    qint64 size() const; // -1 when unknown
    bool readAt(qint64 offset, char *data, qint64 length) const;
    QByteArray readAll(QString *why);

    // Writes all of data at offset, or fails and says why.
    bool writeAt(qint64 offset, const char *data, qint64 length, QString *why);

    // Cuts the file to size (never longer than it is).
    bool truncate(qint64 size, QString *why = nullptr);

    // Puts what was written on the disk.
    bool sync(QString *why);

    void close();

private:
#ifdef Q_OS_WIN
    void *m_handle = nullptr;
#else
    int m_fd = -1;
#endif
};

// Gives the file from the name to, replacing a file of that name, in one
// step; both lie in the same folder. On Windows it waits briefly while
// another program has one of them open.
bool renameReplacing(const QString &from, const QString &to, QString *why);

// Gives the file from also the name to, in one step that fails when a file
// of that name exists (exists then tells so): a hard link, which NFS, SMB
// and sshfs make on their server; on Windows a rename that replaces
// nothing. Where the file system has no hard links, false with unsupported
// set. On success from is still there on Unix (a second name), gone on
// Windows.
bool placeNew(const QString &from, const QString &to, bool *exists, bool *unsupported, QString *why);

// Removes a file (never a folder); a missing file is no failure.
bool removeFile(const QString &path, QString *why);

// Puts the entries of a folder (names given, taken and removed) on the
// disk. Nothing to do on Windows, whose renames are written through.
bool syncFolder(const QString &dir, QString *why);

// What stands at a path, the path's last part not followed when it is a
// link (or a junction).
enum class Entry { None, File, Folder, Link, Other };
Entry entryAt(const QString &path);

// Whether path is certainly not there: opening it fails for want of it.
// entryAt may be answered from what a network client last saw (sshfs keeps
// a removed file's attributes for 20 seconds); an open asks the server.
bool isGone(const QString &path);

// Whether dir lies on a network share or a file system in user space,
// whose client caches what other machines change.
bool isRemoteFolder(const QString &dir);

// Whether another open file holds the file system's own lock on path
// (see RawFile::openHeld); false where that cannot be seen.
bool heldByAnother(const QString &path);

// Whether a process of that number runs on this machine.
bool processRunning(qint64 pid);

// A test's way to make writes fail as on a full disk: when set, it is asked
// before each write of a file with the number of bytes, and a non-zero
// answer (ENOSPC, EFBIG) makes that write fail with that error.
using WriteFault = std::function<int(qint64 length)>;
void setWriteFault(WriteFault fault);
// The same for reads: a non-zero answer (EIO) makes that read fail.
void setReadFault(WriteFault fault);
// What each system's file code asks before a write and a read.
const WriteFault &writeFault();
const WriteFault &readFault();

// A test's way to see and fail the renames, removals and folder syncs of
// the store: when set, it is asked before each, and a non-zero answer (an
// error number of the C library) makes it fail with that error.
enum class FileOp { Rename, Remove, SyncFolder };
using FileOpHook = std::function<int(FileOp op, const QString &path, const QString &to)>;
void setFileOpHook(FileOpHook hook);
int fileOpFault(FileOp op, const QString &path, const QString &to = QString());

// The reason a write failed, for an error number of the C library (ENOSPC,
// EFBIG, EACCES, EROFS...).
QString reasonForErrno(int error);

} // namespace platform::detail
