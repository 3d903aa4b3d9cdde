#pragma once

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>

namespace platform {

// Who holds a folder's lock, as its lock file tells.
struct LockHolder
{
    QString host;    // the machine's name
    qint64 pid = 0;  // the process on that machine
    QString user;    // who runs it
    QDateTime since; // when it took the lock (that machine's clock)
    QString token;   // what tells this holding apart from every other

    bool isNull() const { return token.isEmpty(); }
    // "Letterloom on the computer PC-7 (user anna, process 4711), since 10:02:03"
    QString description() const;
};

// Keeps every other running copy of Letterloom, on this machine or on any
// other that reaches the folder over a network share, from changing the
// files of a folder while this one does.
//
// The lock is the file "Letterloom.lock" in the folder, created only when
// there is none (O_CREAT|O_EXCL, CREATE_NEW: an operation that NFS, SMB and
// sshfs carry out on the server, so every machine sees it). It names its
// holder. While held it is written again every RefreshSeconds by a thread
// of its holder, so that its time of last writing, which the share's
// server sets, shows that the holder is alive. A lock file is stale, and is
// taken over, when its holder is on this machine and its process has ended,
// or when it has not been written for StaleSeconds as the server's clock
// counts (measured against a file this copy writes on the share, never
// against this machine's clock). Taking over renames the stale file to a
// name of the taker's own first, so that of several takers exactly one
// removes it. On this machine the copies wait for each other through the
// system's own lock as well (flock, a named mutex), without polling.
class FolderLock
{
public:
    static constexpr int RefreshSeconds = 5;
    static constexpr int StaleSeconds = 30;
    static QString fileName() { return QStringLiteral("Letterloom.lock"); }

    // Takes the lock of dir, waiting up to waitMs; whileWaiting runs about
    // every 50 ms meanwhile (the window processes its events there). Null
    // when it could not be had. When another copy holds it, holder names
    // that copy (as far as its lock file tells) and error says so; when the
    // lock file cannot be made, holder stays null and error says why ("Could
    // not write ...: the disk is read-only").
    static std::unique_ptr<FolderLock> take(const QString &dir, int waitMs, const std::function<void()> &whileWaiting,
                                            LockHolder *holder, QString *error);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    // Whether the lock file is still this holder's: checked before a change
    // becomes final, so that a holder whose lock was taken over as stale (it
    // stood still longer than StaleSeconds) never finishes a change.
    bool stillHeld() const;

    // Whether a stale lock was taken over for this one: a copy ended while
    // it held the folder, and may have left files of a change behind.
    bool tookOver() const { return m_tookOver; }

    // Who holds the lock of dir now, as its lock file tells; null when none.
    static LockHolder holderOf(const QString &dir);

    // For tests of two copies on one machine: the machine's own lock left
    // out, so that the lock file alone keeps them apart.
    static void setLocalLockUsed(bool used);

private:
    class Refresher;
    class LocalLock;
    FolderLock() = default;

    QString m_path;
    QString m_token;
    bool m_tookOver = false;
    std::unique_ptr<LocalLock> m_local;
    std::unique_ptr<Refresher> m_refresher;
};

} // namespace platform
