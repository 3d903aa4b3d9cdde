#include "platform/rawfile.h"
#include "platform/textfile.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <initializer_list>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#ifdef Q_OS_LINUX
#include <sys/vfs.h>
#endif
#include <unistd.h>

namespace platform::detail {
namespace {

// pread, or the failure a test asked for.
ssize_t readBytes(int fd, char *data, qint64 length, qint64 offset)
{
    if (const WriteFault &fault = readFault()) {
        if (const int error = fault(length)) {
            errno = error;
            return -1;
        }
    }
    return pread(fd, data, size_t(length), off_t(offset));
}

// A file's status as the file's server has it now, not as this machine's
// client of a network share last saw it: the kernel's FUSE client keeps a
// file's size for a while and reads a file that another machine made longer
// only up to that size (over smbnetfs, a file opened and read right after
// another machine added a line came without it, every time), and the SMB
// and NFS clients keep it longer. A data file read so and written back
// would lose that line. AT_STATX_FORCE_SYNC asks the server; on a local
// disk it costs no more than a stat.
int freshStat(int dirFd, const char *path, int flags, struct stat *info)
{
#ifdef Q_OS_LINUX
    struct statx fresh {};
    if (statx(dirFd, path, flags | AT_STATX_FORCE_SYNC, STATX_BASIC_STATS, &fresh) != 0)
        return -1;
    info->st_dev = makedev(fresh.stx_dev_major, fresh.stx_dev_minor);
    info->st_ino = fresh.stx_ino;
    info->st_mode = fresh.stx_mode;
    info->st_size = off_t(fresh.stx_size);
    info->st_mtim.tv_sec = fresh.stx_mtime.tv_sec;
    info->st_mtim.tv_nsec = fresh.stx_mtime.tv_nsec;
    return 0;
#else
    return fstatat(dirFd, path, info, flags);
#endif
}

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QCoreApplication::translate("platform::RawFile", "it is a folder");
    if (S_ISFIFO(mode))
        return QCoreApplication::translate("platform::RawFile", "it is a pipe, not a regular file");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QCoreApplication::translate("platform::RawFile", "it is a device, not a regular file");
    if (S_ISSOCK(mode))
        return QCoreApplication::translate("platform::RawFile", "it is a socket, not a regular file");
    return QCoreApplication::translate("platform::RawFile", "it is not a regular file");
}

// Opens without waiting on a pipe or device, then insists on a regular file.
// On failure errorCode is the system's error, or 0 when the file is of
// another kind.
int openRegular(const QByteArray &path, int flags, int *errorCode, QString *why)
{
    int fd;
    do {
        fd = ::open(path.constData(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *errorCode = errno;
        *why = reasonForErrno(errno);
        return -1;
    }
    struct stat info {};
    if (freshStat(fd, "", AT_EMPTY_PATH, &info) != 0) {
        *errorCode = errno;
        *why = reasonForErrno(errno);
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

// Runs a rename or removal that another client of a network share may hold
// up for a moment: an SMB server refuses to remove or replace a file that
// any client has open without letting others delete it (libsmbclient opens
// files so, and smbnetfs answers EBUSY for a removal and EEXIST for a
// replacing rename then, which a local rename never gives). Tried again for
// up to two seconds while it fails for that reason, as on Windows.
template <typename Step>
bool patiently(Step step, std::initializer_list<int> heldUp)
{
    for (int attempt = 0;; ++attempt) {
        if (step() == 0)
            return true;
        if (std::find(heldUp.begin(), heldUp.end(), errno) == heldUp.end() || attempt == 40)
            return false;
        usleep(50'000);
    }
}

} // namespace

QString reasonForErrno(int error)
{
    switch (error) {
    case ENOSPC: return QCoreApplication::translate("platform::RawFile", "no space left on the device");
    case EDQUOT: return QCoreApplication::translate("platform::RawFile", "the disk quota is used up");
    case EFBIG:
        return QCoreApplication::translate("platform::RawFile",
                                           "the file is too large (larger than this program may write)");
    case EACCES:
    case EPERM: return QCoreApplication::translate("platform::RawFile", "permission denied");
    case EROFS: return QCoreApplication::translate("platform::RawFile", "the disk is read-only");
    case EISDIR: return QCoreApplication::translate("platform::RawFile", "a folder of that name is in the way");
    case ENOENT: return QCoreApplication::translate("platform::RawFile", "there is no such file or folder");
    case EEXIST: return QCoreApplication::translate("platform::RawFile", "a file of that name is in the way");
    case EIO:
        return QCoreApplication::translate("platform::RawFile", "the disk or the network share could not be reached "
                                                                "(input/output error)");
    case ELOOP:
        return QCoreApplication::translate("platform::RawFile", "it is a symbolic link; Letterloom reads and writes "
                                                                "only files inside its own folder");
    default: return qt_error_string(error);
    }
}

RawFile::~RawFile()
{
    close();
}

bool RawFile::openForReading(const QString &path, QString *why, bool followLinks)
{
    close();
    int errorCode = 0;
    m_fd = openRegular(QFile::encodeName(path), O_RDONLY | (followLinks ? 0 : O_NOFOLLOW), &errorCode, why);
    return m_fd >= 0;
}

bool RawFile::openForWriting(const QString &path, QString *why)
{
    close();
    int errorCode = 0;
    m_fd = openRegular(QFile::encodeName(path), O_RDWR | O_NOFOLLOW, &errorCode, why);
    return m_fd >= 0;
}

bool RawFile::openHeld(const QString &path, QString *why)
{
    if (!openForWriting(path, why))
        return false;
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (fcntl(m_fd, F_OFD_SETLK, &whole) == 0 || (errno != EAGAIN && errno != EACCES))
        return true; // held, or a file system without such locks
    *why = QCoreApplication::translate("platform::RawFile", "another program holds it");
    close();
    return false;
}

bool RawFile::createNew(const QString &path, bool *exists, QString *why)
{
    close();
    int errorCode = 0;
    m_fd = openRegular(QFile::encodeName(path), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, &errorCode, why);
    if (exists)
        *exists = m_fd < 0 && errorCode == EEXIST;
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
        const ssize_t got = readBytes(m_fd, data, length, offset);
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
    for (qint64 offset = 0;;) {
        const ssize_t got = readBytes(m_fd, chunk, qint64(sizeof chunk), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *why = reasonForErrno(errno);
            return QByteArray();
        }
        if (got == 0)
            return bytes;
        bytes.append(chunk, got);
        offset += got;
    }
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
        const ssize_t put = pwrite(m_fd, data, size_t(length), off_t(offset));
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0) {
            *why = reasonForErrno(errno);
            return false;
        }
        if (put == 0) {
            *why = reasonForErrno(ENOSPC);
            return false;
        }
        // A write cut short goes on; the next one tells why it cannot.
        data += put;
        offset += put;
        length -= put;
    }
    return true;
}

bool RawFile::truncate(qint64 newSize, QString *why)
{
    const qint64 current = size();
    if (current >= newSize && ftruncate(m_fd, off_t(newSize)) == 0)
        return true;
    if (why)
        *why = current < newSize ? QCoreApplication::translate("platform::RawFile", "the file is shorter than expected")
                                 : reasonForErrno(errno);
    return false;
}

bool RawFile::sync(QString *why)
{
    if (fsync(m_fd) == 0 || errno == EINVAL) // a file system without it has nothing to put on a disk
        return true;
    *why = reasonForErrno(errno);
    return false;
}

void RawFile::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool renameReplacing(const QString &from, const QString &to, QString *why)
{
    if (patiently([&] { return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()); },
                  {EEXIST, EBUSY, ETXTBSY}))
        return true;
    *why = reasonForErrno(errno);
    return false;
}

bool placeNew(const QString &from, const QString &to, bool *exists, bool *unsupported, QString *why)
{
    *exists = false;
    *unsupported = false;
    if (::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    *exists = errno == EEXIST;
    *unsupported = errno == EPERM || errno == ENOTSUP || errno == EOPNOTSUPP || errno == ENOSYS || errno == EMLINK;
    *why = reasonForErrno(errno);
    return false;
}

bool removeFile(const QString &path, QString *why)
{
    if (patiently([&] { return ::unlink(QFile::encodeName(path).constData()); }, {EBUSY, ETXTBSY}) || errno == ENOENT)
        return true;
    *why = reasonForErrno(errno);
    return false;
}

bool syncFolder(const QString &dir, QString *why)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        *why = reasonForErrno(errno);
        return false;
    }
    // A file system that cannot sync a folder has nothing to put on a disk.
    const bool synced = fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
    if (!synced)
        *why = reasonForErrno(errno);
    ::close(fd);
    return synced;
}

Entry entryAt(const QString &path)
{
    struct stat info {};
    if (freshStat(AT_FDCWD, QFile::encodeName(path).constData(), AT_SYMLINK_NOFOLLOW, &info) != 0)
        return Entry::None;
    if (S_ISLNK(info.st_mode))
        return Entry::Link;
    if (S_ISDIR(info.st_mode))
        return Entry::Folder;
    return S_ISREG(info.st_mode) ? Entry::File : Entry::Other;
}

bool isGone(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0)
        ::close(fd);
    return fd < 0 && errno == ENOENT;
}

bool isRemoteFolder(const QString &dir)
{
#ifdef Q_OS_LINUX
    struct statfs info {};
    if (statfs(QFile::encodeName(dir).constData(), &info) != 0)
        return false;
    switch (static_cast<unsigned long>(info.f_type)) {
    case 0x65735546: // FUSE: sshfs and the like
    case 0x6969:     // NFS
    case 0xFF534D42: // CIFS
    case 0xFE534D42: // SMB2
    case 0x517B:     // SMB
    case 0x01021997: // 9P
    case 0x00C36400: // Ceph
        return true;
    default:
        return false;
    }
#else
    Q_UNUSED(dir);
    return true; // not known: listing costs little next to a lost change
#endif
}

bool heldByAnother(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    const bool held = fcntl(fd, F_OFD_GETLK, &whole) == 0 && whole.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

bool processRunning(qint64 pid)
{
    if (pid <= 0)
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

} // namespace platform::detail

namespace platform {

FileStamp fileStamp(const QString &path)
{
    FileStamp stamp;
    struct stat info {};
    if (detail::freshStat(AT_FDCWD, QFile::encodeName(path).constData(), 0, &info) == 0 && S_ISREG(info.st_mode)) {
        stamp.device = quint64(info.st_dev);
        stamp.id = quint64(info.st_ino);
        stamp.size = qint64(info.st_size);
        stamp.modified = qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    }
    return stamp;
}

void letOversizedWritesFail()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace platform
