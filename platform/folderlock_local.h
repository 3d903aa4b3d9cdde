#pragma once

#include "platform/folderlock.h"

namespace platform {

// This machine's own lock of a folder (folderlock_unix.cpp, folderlock_win.cpp).
class FolderLock::LocalLock
{
public:
    // The lock, or null while another copy on this machine holds it. Where
    // the system cannot lock the folder, a lock that holds nothing.
    static std::unique_ptr<LocalLock> take(const QString &dir);
    explicit LocalLock(qintptr handle) : m_handle(handle) {}
    ~LocalLock();
    LocalLock(const LocalLock &) = delete;
    LocalLock &operator=(const LocalLock &) = delete;

private:
    qintptr m_handle;
};

} // namespace platform
