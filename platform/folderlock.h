#pragma once

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>

namespace platform {

// Who holds a folder's lock, as its lock file tells.
struct LockHolder
{
    QString host;    // the machine's name, for people
    qint64 pid = 0;  // the process on that machine
    QString user;    // who runs it
    QDateTime since; // when it took the lock (that machine's clock)
    QString token;   // what tells this holding apart from every other
    int refreshed = 0; // how often its holder has written it again
    // Which machine, boot and process number space it runs in (see
    // platform::MachineIdentity); empty when its holder could not tell.
    QString machine, boot, processSpace;

    bool isNull() const { return token.isEmpty(); }
    // "Letterloom on the computer PC-7 (user anna, process 4711), since 10:02:03"
    QString description() const;
    // The same without the time.
    QString name() const;
};

// Keeps every other running copy of Letterloom, on this machine or on any
// other that reaches the folder over a network share, from changing the
// files of a folder while this one does.
//
// The lock is the file "Letterloom.lock" in the folder, created only when
// there is none (a link or a rename that replaces nothing, else O_EXCL /
// CREATE_NEW: operations that NFS, SMB and sshfs carry out on the server,
// so every machine sees it). It names its holder: its computer, process and
// user, and the identity of its machine, boot and process number space.
// While held, its holder keeps it open under the file system's own lock
// (which SMB and NFS servers keep across machines and let go of when a
// client vanishes) and writes it again every RefreshSeconds.
//
// A holder is gone at once only when the lock file shows it ran on this
// very machine in an earlier boot, or in this boot and process number
// space with its process ended. Otherwise the lock is stale when it has not
// been written for staleSeconds() as the share's own clock counts (measured
// against a file this copy writes on the share, never against this
// machine's clock); a lock dated ahead of the share's clock is stale when
// it stays unchanged for staleSeconds() while this copy watches it. A lock
// held under the file system's own lock is never stale. Taking over renames
// the stale file to a name of the taker's own first, so that of several
// takers exactly one removes it, and a taker that finds it moved another's
// lock puts it back only where no lock stands again. On this machine the
// copies wait for each other through the system's own lock as well (flock,
// a named mutex), without polling.
class FolderLock
{
public:
    static constexpr int RefreshSeconds = 5;
    // Twice the time an SMB client takes to reconnect (45-60 s): a holder
    // whose share stalls that long keeps its lock.
    static constexpr int StaleSeconds = 120;
    static int staleSeconds();
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
    // is recorded and before each of its steps, so that a holder whose lock
    // was taken over as stale never goes on with a change.
    bool stillHeld() const;

    // Whether a stale lock was taken over for this one: a copy ended while
    // it held the folder, and may have left files of a change behind.
    bool tookOver() const { return m_tookOver; }

    // Who holds the lock of dir now, as its lock file tells; null when none.
    static LockHolder holderOf(const QString &dir);

    // Looks at another copy's lock of dir again, so that one dated ahead
    // of the share's clock is judged by how long it stayed unchanged (the
    // window does so in the background after a change waited for it).
    // False when no other copy's lock is there.
    static bool watch(const QString &dir);

    // For tests of two copies on one machine: the machine's own locks left
    // out (flock or the named mutex, and the file system's lock on the lock
    // file), so that the lock file alone keeps them apart.
    static void setLocalLockUsed(bool used);
    // For tests: the stale period, in seconds (0: StaleSeconds).
    static void setStaleSeconds(int seconds);

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
