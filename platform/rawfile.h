#pragma once

// The operating system's side of the template files: opening only regular
// files, appending in place, cutting back. The folder lock and the file-size
// signal are implemented beside it. One implementation
// per system (rawfile_unix.cpp, rawfile_win.cpp); the rules built on it are
// in textfile.cpp.

#include <QByteArray>
#include <QString>

namespace platform::detail {

class RawFile
{
public:
    RawFile() = default;
    ~RawFile();
    RawFile(const RawFile &) = delete;
    RawFile &operator=(const RawFile &) = delete;

    // Opens an existing regular file for reading. Pipes, devices and
    // folders are refused without waiting on them.
    bool openForReading(const QString &path, QString *why);

    // Opens a regular file for appending, creating it when missing (created
    // tells which). A symbolic link is refused, so nothing is ever written
    // outside the folder the path names.
    bool openForAppending(const QString &path, bool *created, QString *why);

    qint64 size() const; // -1 when unknown
    bool readAt(qint64 offset, char *data, qint64 length) const;
    QByteArray readAll(QString *why);

    // Writes all of data at the end of the file. Returns the number of bytes
    // written, which is short of length when the write failed (why then
    // says why); startOffset receives where the bytes began.
    qint64 append(const char *data, qint64 length, qint64 *startOffset, QString *why);

    // Cuts the file to size (never longer than it is).
    bool truncate(qint64 size);

    void close();

private:
#ifdef Q_OS_WIN
    void *m_handle = nullptr;
#else
    int m_fd = -1;
#endif
};

} // namespace platform::detail
