#include "platform/folderlock.h"

#include "platform/identity.h"
#include "platform/folderlock_local.h"

#include "platform/rawfile.h"
#include "platform/textfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QSysInfo>
#include <QThread>
#include <QUuid>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace platform {
namespace {

bool localLockUsed = true;
int staleSecondsSet = 0;

QString tr(const char *text)
{
    return QCoreApplication::translate("platform::FolderLock", text);
}

QString thisHost()
{
    static const QString host = QSysInfo::machineHostName();
    return host;
}

QByteArray lockText(const LockHolder &holder, int refreshed)
{
    QString text = QStringLiteral("Letterloom lock\nhost=%1\npid=%2\nuser=%3\nsince=%4\ntoken=%5\nrefreshed=%6\n")
                       .arg(holder.host)
                       .arg(holder.pid)
                       .arg(holder.user, holder.since.toUTC().toString(Qt::ISODate), holder.token)
                       .arg(refreshed);
    if (!holder.machine.isEmpty())
        text += QStringLiteral("machine=%1\nboot=%2\npidns=%3\n").arg(holder.machine, holder.boot, holder.processSpace);
    return text.toUtf8();
}

LockHolder parseLock(const QByteArray &bytes)
{
    LockHolder holder;
    for (const QByteArray &line : bytes.split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const QByteArray key = line.left(eq);
        const QString value = QString::fromUtf8(line.mid(eq + 1));
        if (key == "host")
            holder.host = value;
        else if (key == "pid")
            holder.pid = value.toLongLong();
        else if (key == "user")
            holder.user = value;
        else if (key == "since")
            holder.since = QDateTime::fromString(value, Qt::ISODate);
        else if (key == "token")
            holder.token = value;
        else if (key == "refreshed")
            holder.refreshed = value.toInt();
        else if (key == "machine")
            holder.machine = value;
        else if (key == "boot")
            holder.boot = value;
        else if (key == "pidns")
            holder.processSpace = value;
    }
    return holder;
}

// Whether the holder of a lock is gone for certain: it ran on this very
// machine, in an earlier boot, or in this boot and process number space
// and its process has ended.
bool holderGone(const LockHolder &holder)
{
    const MachineIdentity here = thisMachine();
    if (here.isNull() || holder.machine.isEmpty() || holder.machine != here.machine)
        return false;
    if (!sameBoot(holder.boot, here.boot))
        return true;
    return holder.processSpace == here.processSpace && holder.pid > 0
           && holder.pid != QCoreApplication::applicationPid() && !detail::processRunning(holder.pid);
}

// A lock dated ahead of the share's clock, as this copy saw it first and
// since when it stays so.
struct Watch
{
    QString seen; // its token and refreshed= (or, unread, its size and time)
    QDateTime since;
    QElapsedTimer unchanged;
};
std::mutex watchesMutex;
QHash<QString, Watch> watches;

LockHolder readLock(const QString &path, bool *read = nullptr, QString *why = nullptr)
{
    QByteArray bytes;
    const bool ok = readOwnFile(path, &bytes, why, LargestRecord);
    if (read)
        *read = ok;
    return ok ? parseLock(bytes) : LockHolder();
}

// The share's own clock, as its server sets the time of a file written
// now, in the nanoseconds of FileStamp; 0 when no file can be written there.
qint64 shareClock(const QString &dir)
{
    // Named by a UUID: copies in two PID namespaces of one host name share
    // their process number.
    const QString probe = QDir(dir).filePath(
        QStringLiteral(".letterloom-clock-%1.tmp").arg(QUuid::createUuid().toString(QUuid::Id128)));
    if (!createWholeFile(probe, "clock"))
        return 0;
    const qint64 now = fileStamp(probe).modified;
    removeFile(probe);
    return now;
}

// Puts the lock file in place with its text, in one step that fails when
// there is one: written under a name of its own first, then given the lock's
// name, so that a lock file is never seen without its holder's name. Where
// the file system cannot do that, the file is created only when missing and
// written then.
bool placeLock(const QString &path, const QByteArray &text, bool *exists, QString *why)
{
    const QString side = QFileInfo(path).dir().filePath(
        QStringLiteral(".letterloom-change-lock-%1.tmp").arg(QUuid::createUuid().toString(QUuid::Id128)));
    detail::RawFile file;
    bool sideExists = false;
    if (!file.createNew(side, &sideExists, why) || !file.writeAt(0, text.constData(), text.size(), why)
        || !file.sync(why)) {
        file.close();
        removeFile(side);
        *exists = false;
        return false;
    }
    file.close();
    bool unsupported = false;
    const bool placed = detail::placeNew(side, path, exists, &unsupported, why);
    if (!placed && !QFileInfo::exists(side)) {
        // The holder of the lock cleared it away as a leftover: try again.
        *exists = true;
        return false;
    }
    removeFile(side);
    if (placed || !unsupported)
        return placed;
    if (!file.createNew(path, exists, why))
        return false;
    if (file.writeAt(0, text.constData(), text.size(), why) && file.sync(why))
        return true;
    file.close();
    removeFile(path);
    return false;
}

// Gives a lock file that a taker moved aside back its name, unless a lock
// file stands there again: another copy's, which is never replaced. Then
// the one moved aside is dropped.
void putBack(const QString &moved, const QString &path)
{
    bool exists = false;
    bool unsupported = false;
    QString why;
    const bool placed = detail::placeNew(moved, path, &exists, &unsupported, &why);
    if (!placed && unsupported && detail::entryAt(path) == detail::Entry::None && renameFile(moved, path))
        return;
    removeFile(moved); // on Unix the second name of one placed back
}

// Why the thing at the lock's path is no lock file, or an empty text.
QString oddity(detail::Entry entry)
{
    switch (entry) {
    case detail::Entry::Folder: return QCoreApplication::translate("platform::FolderLock", "it is a folder");
    case detail::Entry::Link: return QCoreApplication::translate("platform::FolderLock", "it is a link");
    case detail::Entry::Other:
        return QCoreApplication::translate("platform::FolderLock", "it is not a regular file (a pipe or a device)");
    default: return QString();
    }
}

// What a copy makes of another's lock file: whether it is stale, and, when
// it is not being written, since when it stayed unchanged and when it is
// taken over if it stays so.
struct Judgement
{
    bool stale = false;
    QDateTime unchangedSince; // invalid: it is being written
    QDateTime takenAt;
    FileStamp stamp;          // the file judged
};

Judgement judge(const QString &dir, const QString &path, const LockHolder &current, bool read)
{
    Judgement judgement;
    judgement.stamp = fileStamp(path);
    if (read && holderGone(current)) {
        judgement.stale = true;
        return judgement;
    }
    // Its holder's file system lock, kept by the file server for as long as
    // that client lives.
    if (detail::heldByAnother(path))
        return judgement;
    const qint64 now = shareClock(dir);
    if (now <= 0 || judgement.stamp.modified <= 0)
        return judgement;
    const qint64 second = 1'000'000'000;
    const QDateTime localNow = QDateTime::currentDateTime();
    if (judgement.stamp.modified <= now + 2 * second) {
        const qint64 age = std::max<qint64>(now - judgement.stamp.modified, 0);
        judgement.stale = age > qint64(FolderLock::staleSeconds()) * second;
        if (age > 2 * FolderLock::RefreshSeconds * second) {
            judgement.unchangedSince = localNow.addMSecs(-age / 1'000'000);
            judgement.takenAt = judgement.unchangedSince.addSecs(FolderLock::staleSeconds());
        }
        return judgement;
    }
    // Dated ahead of the share's clock: its age tells nothing, so it is
    // watched, and stale once it stayed unchanged for the stale period.
    const QString seen = read ? current.token + u'/' + QString::number(current.refreshed)
                              : QString::number(judgement.stamp.size) + u'/' + QString::number(judgement.stamp.modified);
    std::lock_guard<std::mutex> guard(watchesMutex);
    Watch &watch = watches[QDir::cleanPath(path)];
    if (watch.seen != seen || !watch.unchanged.isValid()) {
        watch.seen = seen;
        watch.since = localNow;
        watch.unchanged.start();
    }
    judgement.stale = watch.unchanged.elapsed() > qint64(FolderLock::staleSeconds()) * 1000;
    judgement.unchangedSince = watch.since;
    judgement.takenAt = watch.since.addSecs(FolderLock::staleSeconds());
    return judgement;
}

} // namespace

QString LockHolder::description() const
{
    QString who = name();
    if (since.isValid())
        who += tr(", since %1").arg(since.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    return who;
}

QString LockHolder::name() const
{
    //: Who holds the templates' lock; followed by "user %1", "process %1" in parentheses.
    QString who = tr("Letterloom on the computer %1").arg(host.isEmpty() ? QStringLiteral("?") : host);
    QStringList details;
    if (!user.isEmpty())
        details << tr("user %1").arg(user);
    if (pid > 0)
        //: %1 is a process number.
        details << tr("process %1").arg(pid);
    if (!details.isEmpty())
        who += QStringLiteral(" (%1)").arg(details.join(QStringLiteral(", ")));
    return who;
}

// Writes the lock file again every RefreshSeconds while it is held.
class FolderLock::Refresher
{
public:
    Refresher(std::unique_ptr<detail::RawFile> held, QString path, LockHolder holder)
        : m_held(std::move(held)), m_path(std::move(path)), m_holder(std::move(holder)), m_thread([this] { run(); })
    {
    }
    ~Refresher()
    {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

private:
    void run()
    {
        int refreshed = 0;
        std::unique_lock<std::mutex> guard(m_mutex);
        while (!m_wake.wait_for(guard, std::chrono::seconds(RefreshSeconds), [this] { return m_stop; })) {
            // Only while the file is still this holder's: through the file
            // held open, else (a file system without such a hold) by name.
            detail::RawFile byName;
            QString why;
            detail::RawFile *file = m_held ? m_held.get() : &byName;
            if (!m_held && !byName.openForWriting(m_path, &why))
                continue;
            if (parseLock(file->readAll(&why)).token != m_holder.token)
                continue;
            const QByteArray text = lockText(m_holder, ++refreshed);
            if (file->writeAt(0, text.constData(), text.size(), &why))
                file->truncate(text.size());
        }
    }

    std::unique_ptr<detail::RawFile> m_held;
    QString m_path;
    LockHolder m_holder;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

std::unique_ptr<FolderLock> FolderLock::take(const QString &dir, int waitMs, const std::function<void()> &whileWaiting,
                                             LockHolder *holder, QString *error)
{
    std::unique_ptr<FolderLock> lock(new FolderLock);
    lock->m_path = QDir(dir).filePath(fileName());
    QElapsedTimer waited;
    waited.start();
    const auto pause = [&] {
        if (whileWaiting)
            whileWaiting();
        QThread::msleep(50);
    };

    // This machine's copies first, through the system's own lock.
    if (localLockUsed) {
        while (!(lock->m_local = LocalLock::take(dir))) {
            if (waited.elapsed() >= waitMs) {
                const LockHolder current = holderOf(dir);
                if (holder) {
                    *holder = current;
                    if (holder->isNull()) {
                        // Between its own two locks: known only to be on this machine.
                        holder->host = thisHost();
                        holder->token = QStringLiteral("local");
                    }
                }
                if (error)
                    *error = current.isNull()
                                 ? tr("another copy of Letterloom on this computer is changing the templates")
                                 //: The reason why the templates cannot be changed now; %1 tells who holds their lock.
                                 : tr("they are being changed by %1").arg(current.description());
                return nullptr;
            }
            pause();
        }
    }

    LockHolder mine;
    mine.host = thisHost();
    mine.pid = QCoreApplication::applicationPid();
    mine.user = userName();
    const MachineIdentity here = thisMachine();
    mine.machine = here.machine;
    mine.boot = here.boot;
    mine.processSpace = here.processSpace;
    qint64 lastCheck = -1000;
    Judgement judgement;
    bool gone = false;      // the lock file seen is one its holder removed
    bool lastPass = false;  // one more pass after the limit, for a lock just removed
    for (;;) {
        detail::Entry entry = gone ? detail::Entry::None : detail::entryAt(lock->m_path);
        gone = false;
        if (entry == detail::Entry::None) {
            mine.token = QUuid::createUuid().toString(QUuid::WithoutBraces);
            mine.since = QDateTime::currentDateTime();
            bool exists = false;
            QString why;
            const bool placed = placeLock(lock->m_path, lockText(mine, 0), &exists, &why);
            // A client that creates with O_EXCL by looking first whether the
            // file is there (smbnetfs creates it on the server with O_TRUNC)
            // lets two copies create it at once, and the later one's text
            // stands: the lock is this copy's unless another's text is read back.
            bool readBack = false;
            if (placed && readLock(lock->m_path, &readBack).token != mine.token && readBack) {
                pause();
                continue;
            }
            if (placed) {
                // Held open under the file system's own lock while held.
                auto held = std::make_unique<detail::RawFile>();
                if (!localLockUsed || !held->openHeld(lock->m_path, &why))
                    held.reset();
                lock->m_token = mine.token;
                lock->m_refresher = std::make_unique<Refresher>(std::move(held), lock->m_path, mine);
                return lock;
            }
            // sshfs answers "permission denied" for a name another machine
            // took a moment ago, where its own view had none.
            if (!exists && detail::isGone(lock->m_path)) {
                if (error)
                    *error = tr("Could not write \"%1\": %2").arg(QDir::toNativeSeparators(lock->m_path), why);
                return nullptr;
            }
            entry = detail::entryAt(lock->m_path);
        }

        // Someone holds it, or something odd stands in its place. A lock
        // file that cannot be read is judged by its age, which is read
        // without reading the file; anything but a file is never taken
        // over, and the wait ends at its limit.
        const QString odd = oddity(entry);
        bool read = false;
        QString unreadable;
        const LockHolder current = odd.isEmpty() && entry != detail::Entry::None
                                       ? readLock(lock->m_path, &read, &unreadable)
                                       : LockHolder();
        // A network client may show a lock file that is gone (sshfs for
        // 20 seconds): the next pass places the lock, which asks the server.
        gone = entry == detail::Entry::File && !read && detail::isGone(lock->m_path);
        if (entry == detail::Entry::File && waited.elapsed() - lastCheck >= 1000) {
            lastCheck = waited.elapsed();
            judgement = judge(dir, lock->m_path, current, read);
        }
        if (judgement.stale) {
            // Moved to a name of this taker's own, so that only one taker
            // removes it; a lock that another taker has made meanwhile goes
            // back where it was, if no other stands there again.
            const QString broken = QDir(dir).filePath(
                QStringLiteral(".letterloom-broken-%1.tmp").arg(QUuid::createUuid().toString(QUuid::Id128)));
            if (renameFile(lock->m_path, broken)) {
                const bool same = read ? readLock(broken).token == current.token : fileStamp(broken) == judgement.stamp;
                if (same) {
                    removeFile(broken);
                    lock->m_tookOver = true;
                    judgement = Judgement();
                    continue; // placed at once, before another copy does
                }
                putBack(broken, lock->m_path);
            }
            judgement = Judgement();
        }
        // A lock removed as the wait ends leaves the folder free: placed
        // on one more pass, not told as a lock that cannot be read.
        if (waited.elapsed() >= waitMs && gone && !lastPass) {
            lastPass = true;
            continue;
        }
        if (waited.elapsed() >= waitMs) {
            if (holder)
                *holder = current;
            if (error && !odd.isEmpty())
                //: %1 is the lock file, %2 what it is instead.
                *error = tr("\"%1\" is no lock file of Letterloom (%2); remove it, and the templates can be changed "
                            "again")
                             .arg(QDir::toNativeSeparators(lock->m_path), odd);
            else if (error && judgement.unchangedSince.isValid())
                //: %1 is the lock file's name, %2 who holds it, %3 and %4 times of day.
                *error = tr("%1 of %2 has not changed since %3; it is taken over at %4 if it stays so")
                             .arg(fileName(), read ? current.name() : tr("another copy of Letterloom"),
                                  judgement.unchangedSince.toString(QStringLiteral("HH:mm:ss")),
                                  judgement.takenAt.toString(QStringLiteral("HH:mm:ss")));
            else if (error && !read && entry == detail::Entry::File)
                //: %1 is the lock file, %2 why it cannot be read.
                *error = tr("they are being changed by a copy of Letterloom whose lock file \"%1\" cannot be read "
                            "(%2)")
                             .arg(QDir::toNativeSeparators(lock->m_path), unreadable);
            else if (error)
                //: The reason why the templates cannot be changed now; %1 tells who holds their lock.
                *error = tr("they are being changed by %1").arg(current.description());
            return nullptr;
        }
        pause();
    }
}

FolderLock::~FolderLock()
{
    const bool held = stillHeld();
    m_refresher.reset(); // lets go of the file held open
    if (held)
        removeFile(m_path);
    m_local.reset();
}

bool FolderLock::stillHeld() const
{
    refreshFolderView(QFileInfo(m_path).path());
    return !m_token.isEmpty() && readLock(m_path).token == m_token;
}

LockHolder FolderLock::holderOf(const QString &dir)
{
    return readLock(QDir(dir).filePath(fileName()));
}

bool FolderLock::watch(const QString &dir)
{
    const QString path = QDir(dir).filePath(fileName());
    if (detail::entryAt(path) != detail::Entry::File)
        return false;
    bool read = false;
    const LockHolder current = readLock(path, &read);
    if (read && current.pid == QCoreApplication::applicationPid() && current.host == thisHost())
        return false;
    judge(dir, path, current, read);
    return true;
}

int FolderLock::staleSeconds()
{
    return staleSecondsSet > 0 ? staleSecondsSet : StaleSeconds;
}

void FolderLock::setLocalLockUsed(bool used)
{
    localLockUsed = used;
}

void FolderLock::setStaleSeconds(int seconds)
{
    staleSecondsSet = seconds;
}

} // namespace platform
