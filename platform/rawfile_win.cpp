#include "platform/rawfile.h"
#include "platform/textfile.h"

#include <QCoreApplication>
#include <QDir>

#include <cerrno>
#include <windows.h>

namespace platform::detail {
namespace {

// Every file is opened so that another copy of the program may read it, and
// may rename another file over it, meanwhile.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

QString reasonFor(DWORD error)
{
    switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return QCoreApplication::translate("platform::RawFile", "no space left on the device");
    case ERROR_FILE_TOO_LARGE:
        return QCoreApplication::translate("platform::RawFile",
                                           "the file is too large (larger than this program may write)");
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return QCoreApplication::translate("platform::RawFile", "a file of that name is in the way");
    case ERROR_NETNAME_DELETED:
    case ERROR_BAD_NETPATH:
    case ERROR_UNEXP_NET_ERR:
        return QCoreApplication::translate("platform::RawFile", "the network share could not be reached");
    case ERROR_IO_DEVICE:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
        return QCoreApplication::translate("platform::RawFile", "the disk or the network share could not be reached "
                                                                "(input/output error)");
    case ERROR_ACCESS_DENIED: return QCoreApplication::translate("platform::RawFile", "permission denied");
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return QCoreApplication::translate("platform::RawFile", "another program has the file open");
    case ERROR_WRITE_PROTECT: return QCoreApplication::translate("platform::RawFile", "the disk is read-only");
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return QCoreApplication::translate("platform::RawFile", "there is no such file");
    default: break;
    }
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    //: A reason for which Windows has no text: %1 is its error number.
    QString reason = length > 0 && text ? QString::fromWCharArray(text, int(length)).trimmed()
                                        : QCoreApplication::translate("platform::RawFile", "error %1").arg(error);
    if (text)
        LocalFree(text);
    return reason;
}

std::wstring nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

// Why a file could not be opened. Windows refuses to open a folder as a file
// with "access denied"; the user is told that it is a folder.
QString openFailure(const QString &path, DWORD error)
{
    if (error == ERROR_ACCESS_DENIED) {
        const DWORD attributes = GetFileAttributesW(nativePath(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return QCoreApplication::translate("platform::RawFile", "it is a folder");
    }
    return reasonFor(error);
}

// Opens the file itself, never what a link points to, and insists on a
// regular file on disk.
HANDLE openRegular(const QString &path, DWORD access, DWORD disposition, DWORD *errorCode, QString *why)
{
    HANDLE handle = CreateFileW(nativePath(path).c_str(), access, kShareAll, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *errorCode = GetLastError();
        *why = openFailure(path, *errorCode);
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    QString refusal;
    if (GetFileType(handle) != FILE_TYPE_DISK)
        refusal = QCoreApplication::translate("platform::RawFile", "it is a device, not a regular file");
    else if (!GetFileInformationByHandle(handle, &info))
        refusal = reasonFor(GetLastError());
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        refusal = QCoreApplication::translate("platform::RawFile", "it is a folder");
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        refusal = QCoreApplication::translate("platform::RawFile", "it is a symbolic link; Letterloom reads and "
                                                                   "writes only files inside its own folder");
    if (!refusal.isEmpty()) {
        *errorCode = 0;
        *why = refusal;
        CloseHandle(handle);
        return nullptr;
    }
    return handle;
}

// Runs a step that another program may hold up for a moment (a virus
// scanner or an indexer that has the file open): tried again for up to two
// seconds while it fails for that reason.
template <typename Step>
bool patiently(Step step, DWORD *error)
{
    for (int attempt = 0;; ++attempt) {
        if (step())
            return true;
        *error = GetLastError();
        if ((*error != ERROR_SHARING_VIOLATION && *error != ERROR_ACCESS_DENIED && *error != ERROR_LOCK_VIOLATION)
            || attempt == 40)
            return false;
        Sleep(50);
    }
}

} // namespace

QString reasonForErrno(int error)
{
    switch (error) {
    case ENOSPC: return reasonFor(ERROR_DISK_FULL);
    case EFBIG: return reasonFor(ERROR_FILE_TOO_LARGE);
    case EACCES:
    case EPERM: return reasonFor(ERROR_ACCESS_DENIED);
    case EROFS: return reasonFor(ERROR_WRITE_PROTECT);
    case EIO: return reasonFor(ERROR_IO_DEVICE);
    default: return QString::fromLocal8Bit(strerror(error));
    }
}

RawFile::~RawFile()
{
    close();
}

bool RawFile::openForReading(const QString &path, QString *why, bool followLinks)
{
    close();
    if (!followLinks) {
        DWORD errorCode = 0;
        m_handle = openRegular(path, GENERIC_READ, OPEN_EXISTING, &errorCode, why);
        return m_handle != nullptr;
    }
    HANDLE handle = CreateFileW(nativePath(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *why = openFailure(path, GetLastError());
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info)
        || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *why = QCoreApplication::translate("platform::RawFile", "it is not a regular file");
        CloseHandle(handle);
        return false;
    }
    m_handle = handle;
    return true;
}

bool RawFile::openForWriting(const QString &path, QString *why)
{
    close();
    DWORD errorCode = 0;
    m_handle = openRegular(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, &errorCode, why);
    return m_handle != nullptr;
}

bool RawFile::openHeld(const QString &path, QString *why)
{
    close();
    HANDLE handle = CreateFileW(nativePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *why = openFailure(path, GetLastError());
        return false;
    }
    m_handle = handle;
    return true;
}

bool RawFile::createNew(const QString &path, bool *exists, QString *why)
{
    close();
    DWORD errorCode = 0;
    m_handle = openRegular(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, &errorCode, why);
    if (exists)
        *exists = !m_handle && (errorCode == ERROR_FILE_EXISTS || errorCode == ERROR_ALREADY_EXISTS);
    return m_handle != nullptr;
}

qint64 RawFile::size() const
{
    LARGE_INTEGER size{};
    return m_handle && GetFileSizeEx(m_handle, &size) ? qint64(size.QuadPart) : -1;
}

bool RawFile::readAt(qint64 offset, char *data, qint64 length) const
{
    while (length > 0) {
        OVERLAPPED at{};
        at.Offset = DWORD(quint64(offset) & 0xFFFFFFFFu);
        at.OffsetHigh = DWORD(quint64(offset) >> 32);
        DWORD got = 0;
        const DWORD want = DWORD(qMin<qint64>(length, 1 << 30));
        if (const WriteFault &fault = readFault(); fault && fault(length) != 0) {
            SetLastError(ERROR_IO_DEVICE);
            return false;
        }
        if (!ReadFile(m_handle, data, want, &got, &at) || got == 0)
            return false;
        data += got;
        offset += got;
        length -= got;
    }
    return true;
}

QByteArray RawFile::readAll(QString *why)
{
    const qint64 expected = size();
    if (expected < 0) {
        *why = reasonFor(GetLastError());
        return QByteArray();
    }
    QByteArray bytes(expected, Qt::Uninitialized);
    if (!readAt(0, bytes.data(), expected)) {
        *why = reasonFor(GetLastError());
        return QByteArray();
    }
    return bytes;
}

bool RawFile::writeAt(qint64 offset, const char *data, qint64 length, QString *why)
{
    if (const WriteFault &fault = writeFault()) {
        if (const int error = fault(length)) {
            *why = reasonForErrno(error);
            return false;
        }
    }
    while (length > 0) {
        OVERLAPPED at{};
        at.Offset = DWORD(quint64(offset) & 0xFFFFFFFFu);
        at.OffsetHigh = DWORD(quint64(offset) >> 32);
        DWORD put = 0;
        const DWORD want = DWORD(qMin<qint64>(length, 1 << 30));
        if (!WriteFile(m_handle, data, want, &put, &at)) {
            *why = reasonFor(GetLastError());
            return false;
        }
        if (put == 0) {
            *why = reasonFor(ERROR_DISK_FULL);
            return false;
        }
        data += put;
        offset += put;
        length -= put;
    }
    return true;
}

bool RawFile::truncate(qint64 newSize, QString *why)
{
    LARGE_INTEGER to{};
    to.QuadPart = newSize;
    if (size() >= newSize && SetFilePointerEx(m_handle, to, nullptr, FILE_BEGIN) && SetEndOfFile(m_handle))
        return true;
    if (why)
        *why = reasonFor(GetLastError());
    return false;
}

bool RawFile::sync(QString *why)
{
    if (FlushFileBuffers(m_handle))
        return true;
    *why = reasonFor(GetLastError());
    return false;
}

void RawFile::close()
{
    if (m_handle)
        CloseHandle(m_handle);
    m_handle = nullptr;
}

bool renameReplacing(const QString &from, const QString &to, QString *why)
{
    DWORD error = 0;
    if (patiently([&] { return MoveFileExW(nativePath(from).c_str(), nativePath(to).c_str(),
                                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0; },
                  &error))
        return true;
    *why = reasonFor(error);
    return false;
}

bool placeNew(const QString &from, const QString &to, bool *exists, bool *unsupported, QString *why)
{
    *unsupported = false;
    DWORD error = 0;
    if (patiently([&] { return MoveFileExW(nativePath(from).c_str(), nativePath(to).c_str(), MOVEFILE_WRITE_THROUGH) != 0; },
                  &error))
        return true;
    *exists = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
    *why = reasonFor(error);
    return false;
}

bool removeFile(const QString &path, QString *why)
{
    DWORD error = 0;
    if (patiently([&] { return DeleteFileW(nativePath(path).c_str()) != 0; }, &error) || error == ERROR_FILE_NOT_FOUND)
        return true;
    *why = reasonFor(error);
    return false;
}

bool syncFolder(const QString &, QString *)
{
    return true; // renames and removals are written through (MOVEFILE_WRITE_THROUGH)
}

Entry entryAt(const QString &path)
{
    const DWORD attributes = GetFileAttributesW(nativePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Entry::None;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return Entry::Link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return Entry::Folder;
    return (attributes & FILE_ATTRIBUTE_DEVICE) ? Entry::Other : Entry::File;
}

bool isRemoteFolder(const QString &dir)
{
    const QString native = QDir::toNativeSeparators(QDir(dir).absolutePath());
    if (native.startsWith(QLatin1String("\\\\")))
        return true; // \\server\share
    const std::wstring root = native.left(3).toStdWString(); // the drive's root
    return GetDriveTypeW(root.c_str()) == DRIVE_REMOTE;
}

bool isGone(const QString &path)
{
    HANDLE handle = CreateFileW(nativePath(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return false;
    }
    return GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool heldByAnother(const QString &)
{
    return false; // a holder's share mode refuses every taker's rename
}

bool processRunning(qint64 pid)
{
    if (pid <= 0)
        return false;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED; // it runs, as another user
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

} // namespace platform::detail

namespace platform {

FileStamp fileStamp(const QString &path)
{
    FileStamp stamp;
    HANDLE handle = CreateFileW(detail::nativePath(path).c_str(), FILE_READ_ATTRIBUTES, detail::kShareAll, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return stamp;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info)
        && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        stamp.device = info.dwVolumeSerialNumber;
        stamp.id = (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        stamp.size = qint64((quint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
        // In nanoseconds since 1970, as on Unix; Windows counts steps of 100
        // since 1601.
        const qint64 since1601 = qint64((quint64(info.ftLastWriteTime.dwHighDateTime) << 32)
                                        | info.ftLastWriteTime.dwLowDateTime);
        stamp.modified = (since1601 - 116444736000000000LL) * 100;
    }
    CloseHandle(handle);
    return stamp;
}

void letOversizedWritesFail()
{
    // Windows has no file-size signal.
}

} // namespace platform
