#include "platform/rawfile.h"
#include "platform/textfile.h"

#include <QCryptographicHash>
#include <QDir>

#include <windows.h>

namespace platform::detail {
namespace {

QString reasonFor(DWORD error)
{
    switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return QStringLiteral("no space left on the device");
    case ERROR_ACCESS_DENIED: return QStringLiteral("permission denied");
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return QStringLiteral("another program has the file open");
    case ERROR_WRITE_PROTECT: return QStringLiteral("the disk is read-only");
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return QStringLiteral("there is no such file");
    default: break;
    }
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    QString reason = length > 0 && text ? QString::fromWCharArray(text, int(length)).trimmed()
                                        : QStringLiteral("error %1").arg(error);
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
            return QStringLiteral("it is a folder");
    }
    return reasonFor(error);
}

// Opens the file itself, never what a link points to, and insists on a
// regular file on disk.
HANDLE openRegular(const QString &path, DWORD access, DWORD disposition, DWORD *errorCode, QString *why)
{
    HANDLE handle = CreateFileW(nativePath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *errorCode = GetLastError();
        *why = openFailure(path, *errorCode);
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    QString refusal;
    if (GetFileType(handle) != FILE_TYPE_DISK)
        refusal = QStringLiteral("it is a device, not a regular file");
    else if (!GetFileInformationByHandle(handle, &info))
        refusal = reasonFor(GetLastError());
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        refusal = QStringLiteral("it is a folder");
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        refusal = QStringLiteral("it is a symbolic link; Letterloom writes only to files inside its own folder");
    if (!refusal.isEmpty()) {
        *errorCode = 0;
        *why = refusal;
        CloseHandle(handle);
        return nullptr;
    }
    return handle;
}

} // namespace

RawFile::~RawFile()
{
    close();
}

bool RawFile::openForReading(const QString &path, QString *why)
{
    close();
    // Reading may follow a link: only writing is kept inside the folder.
    HANDLE handle = CreateFileW(nativePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *why = openFailure(path, GetLastError());
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info)
        || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *why = QStringLiteral("it is not a regular file");
        CloseHandle(handle);
        return false;
    }
    m_handle = handle;
    return true;
}

bool RawFile::openForAppending(const QString &path, bool *created, QString *why)
{
    close();
    *created = false;
    DWORD errorCode = 0;
    m_handle = openRegular(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, &errorCode, why);
    if (!m_handle && errorCode == ERROR_FILE_NOT_FOUND) {
        m_handle = openRegular(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, &errorCode, why);
        *created = m_handle != nullptr;
    }
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

qint64 RawFile::append(const char *data, qint64 length, qint64 *startOffset, QString *why)
{
    // Other copies of the program hold off through the folder lock, so the
    // end found here is the end the bytes go to.
    LARGE_INTEGER end{};
    *startOffset = -1;
    if (!SetFilePointerEx(m_handle, LARGE_INTEGER{}, &end, FILE_END)) {
        *why = reasonFor(GetLastError());
        return 0;
    }
    *startOffset = end.QuadPart;
    qint64 written = 0;
    while (written < length) {
        DWORD put = 0;
        const DWORD want = DWORD(qMin<qint64>(length - written, 1 << 30));
        if (!WriteFile(m_handle, data + written, want, &put, nullptr) || put == 0) {
            *why = reasonFor(GetLastError());
            break;
        }
        written += put;
    }
    return written;
}

bool RawFile::truncate(qint64 newSize)
{
    LARGE_INTEGER to{};
    to.QuadPart = newSize;
    return size() >= newSize && SetFilePointerEx(m_handle, to, nullptr, FILE_BEGIN) && SetEndOfFile(m_handle);
}

void RawFile::close()
{
    if (m_handle)
        CloseHandle(m_handle);
    m_handle = nullptr;
}

} // namespace platform::detail

namespace platform {

FolderLock::FolderLock(const QString &dir)
{
    // One named mutex per folder, shared by every copy of the program in this
    // session.
    const QByteArray key = QCryptographicHash::hash(QDir(dir).absolutePath().toCaseFolded().toUtf8(),
                                                    QCryptographicHash::Sha1)
                               .toHex();
    const std::wstring name = L"Local\\Letterloom-" + QString::fromLatin1(key).toStdWString();
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    if (mutex && WaitForSingleObject(mutex, INFINITE) == WAIT_FAILED) {
        CloseHandle(mutex);
        mutex = nullptr;
    }
    if (mutex)
        m_handle = reinterpret_cast<qintptr>(mutex);
}

FolderLock::~FolderLock()
{
    if (m_handle != -1) {
        HANDLE mutex = reinterpret_cast<HANDLE>(m_handle);
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
}

FileStamp fileStamp(const QString &path)
{
    FileStamp stamp;
    HANDLE handle = CreateFileW(detail::nativePath(path).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return stamp;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info)
        && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        stamp.device = info.dwVolumeSerialNumber;
        stamp.id = (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        stamp.size = qint64((quint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    }
    CloseHandle(handle);
    return stamp;
}

void letOversizedWritesFail()
{
    // Windows has no file-size signal.
}

} // namespace platform
