// This machine's side of the folder lock: a named mutex per folder, shared by
// every copy of the program in this session.
#include "platform/folderlock_local.h"

#include <QCryptographicHash>
#include <QDir>

#include <windows.h>

namespace platform {

std::unique_ptr<FolderLock::LocalLock> FolderLock::LocalLock::take(const QString &dir)
{
    const QByteArray key = QCryptographicHash::hash(QDir(dir).absolutePath().toCaseFolded().toUtf8(),
                                                    QCryptographicHash::Sha1)
                               .toHex();
    const std::wstring name = L"Local\\Letterloom-" + QString::fromLatin1(key).toStdWString();
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    if (!mutex)
        return std::make_unique<LocalLock>(-1);
    const DWORD result = WaitForSingleObject(mutex, 0);
    if (result == WAIT_TIMEOUT) {
        CloseHandle(mutex);
        return nullptr;
    }
    if (result == WAIT_FAILED) {
        CloseHandle(mutex);
        return std::make_unique<LocalLock>(-1);
    }
    return std::make_unique<LocalLock>(reinterpret_cast<qintptr>(mutex));
}

FolderLock::LocalLock::~LocalLock()
{
    if (m_handle != -1) {
        HANDLE mutex = reinterpret_cast<HANDLE>(m_handle);
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
}

} // namespace platform
