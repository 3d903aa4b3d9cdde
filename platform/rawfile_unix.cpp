#include "platform/rawfile.h"
#include "platform/textfile.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace platform::detail {
namespace {

QString reasonFor(int error)
{
    switch (error) {
    case ENOSPC: return QStringLiteral("no space left on the device");
    case EDQUOT: return QStringLiteral("the disk quota is used up");
    case EFBIG: return QStringLiteral("the file has grown to the largest size this program may write");
    case EACCES:
    case EPERM: return QStringLiteral("permission denied");
    case EROFS: return QStringLiteral("the disk is read-only");
    case EISDIR: return QStringLiteral("a folder of that name is in the way");
    case ENOENT: return QStringLiteral("there is no such file");
    case ELOOP:
        return QStringLiteral("it is a symbolic link; Letterloom writes only to files inside its own folder");
    default: return qt_error_string(error);
    }
}

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("it is a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("it is a pipe, not a regular file");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("it is a device, not a regular file");
    if (S_ISSOCK(mode))
        return QStringLiteral("it is a socket, not a regular file");
    return QStringLiteral("it is not a regular file");
}

// Why a write was cut short when the system gave no error for it.
QString shortWriteReason(int fd, qint64 written, qint64 wanted)
{
    struct statvfs disk {};
    if (fstatvfs(fd, &disk) == 0 && disk.f_bavail == 0)
        return reasonFor(ENOSPC);
    struct rlimit limit {};
    struct stat info {};
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && fstat(fd, &info) == 0
        && static_cast<rlim_t>(info.st_size) >= limit.rlim_cur)
        return reasonFor(EFBIG);
    return QStringLiteral("only %1 of %2 bytes could be written").arg(written).arg(wanted);
}

// Opens without waiting on a pipe or device, then insists on a regular file.
// On failure errorCode is the system's error, or 0 when the file is of
// another kind.
int openRegular(const QByteArray &path, int flags, int *errorCode, QString *why)
{
    const int fd = ::open(path.constData(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        *errorCode = errno;
        *why = reasonFor(errno);
        return -1;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        *errorCode = errno;
        *why = reasonFor(errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(info.st_mode)) {
        *errorCode = 0;
        *why = kindOf(info.st_mode);
        ::close(fd);
        return -1;
    }
    // Regular files never block; later reads and writes behave as usual.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace

RawFile::~RawFile()
{
    close();
}

bool RawFile::openForReading(const QString &path, QString *why)
{
    close();
    int errorCode = 0;
    m_fd = openRegular(QFile::encodeName(path), O_RDONLY, &errorCode, why);
    return m_fd >= 0;
}

bool RawFile::openForAppending(const QString &path, bool *created, QString *why)
{
    close();
    const QByteArray name = QFile::encodeName(path);
    *created = false;
    int errorCode = 0;
    for (int attempt = 0; attempt < 2 && m_fd < 0; ++attempt) {
        m_fd = openRegular(name, O_RDWR | O_APPEND | O_NOFOLLOW, &errorCode, why);
        if (m_fd >= 0 || errorCode != ENOENT)
            break;
        // Created only when nobody else has made it in the meantime.
        m_fd = openRegular(name, O_RDWR | O_APPEND | O_NOFOLLOW | O_CREAT | O_EXCL, &errorCode, why);
        *created = m_fd >= 0;
        if (m_fd < 0 && errorCode != EEXIST)
            break;
    }
    return m_fd >= 0;
}

qint64 RawFile::size() const
{
    struct stat info {};
    return m_fd >= 0 && fstat(m_fd, &info) == 0 ? qint64(info.st_size) : -1;
}

bool RawFile::readAt(qint64 offset, char *data, qint64 length) const
{
    while (length > 0) {
        const ssize_t got = pread(m_fd, data, size_t(length), off_t(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
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
    QByteArray bytes;
    bytes.reserve(expected > 0 ? expected : 0);
    char chunk[1 << 16];
    for (;;) {
        const ssize_t got = ::read(m_fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *why = reasonFor(errno);
            return QByteArray();
        }
        if (got == 0)
            return bytes;
        bytes.append(chunk, got);
    }
}

qint64 RawFile::append(const char *data, qint64 length, qint64 *startOffset, QString *why)
{
    *startOffset = -1;
    ssize_t written;
    do {
        written = ::write(m_fd, data, size_t(length));
    } while (written < 0 && errno == EINTR);
    if (written < 0) {
        *why = reasonFor(errno);
        return 0;
    }
    // In append mode the write lands at the end and leaves the position
    // behind its last byte.
    *startOffset = qint64(lseek(m_fd, 0, SEEK_CUR)) - written;
    if (written < length)
        *why = shortWriteReason(m_fd, written, length);
    return written;
}

bool RawFile::truncate(qint64 newSize)
{
    const qint64 current = size();
    return current >= newSize && ftruncate(m_fd, off_t(newSize)) == 0;
}

void RawFile::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace platform::detail

namespace platform {

FolderLock::FolderLock(const QString &dir)
    : m_handle(::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
{
    if (m_handle < 0)
        return;
    int result;
    do {
        result = flock(int(m_handle), LOCK_EX);
    } while (result != 0 && errno == EINTR);
}

FolderLock::~FolderLock()
{
    if (m_handle >= 0)
        ::close(int(m_handle)); // closing lets go of the lock
}

FileStamp fileStamp(const QString &path)
{
    FileStamp stamp;
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode)) {
        stamp.device = quint64(info.st_dev);
        stamp.id = quint64(info.st_ino);
        stamp.size = qint64(info.st_size);
    }
    return stamp;
}

void letOversizedWritesFail()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace platform
