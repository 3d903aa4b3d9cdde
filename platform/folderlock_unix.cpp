// This machine's side of the folder lock: flock on the folder itself, which
// the other copies on this machine wait for without polling.
#include "platform/folderlock_local.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

std::unique_ptr<FolderLock::LocalLock> FolderLock::LocalLock::take(const QString &dir)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return std::make_unique<LocalLock>(-1); // no folder to lock: the lock file says why
    int result;
    do {
        result = flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0 && errno == EWOULDBLOCK) {
        ::close(fd);
        return nullptr;
    }
    // A file system without flock: the lock file alone keeps the copies apart.
    return std::make_unique<LocalLock>(fd);
}

FolderLock::LocalLock::~LocalLock()
{
    if (m_handle >= 0)
        ::close(int(m_handle)); // closing lets go of the lock
}

} // namespace platform
