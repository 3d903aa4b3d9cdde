#pragma once

// Reading and writing whole files in tests, byte for byte, and the faults
// the tests put in their way.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif
#ifdef Q_OS_LINUX
#include <QTemporaryDir>
#include <sys/mount.h>
#endif

namespace testfiles {

inline QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Writes a file byte for byte, its folder made first, and returns its path.
// A test that cannot write its own files cannot go on: that ends it.
inline QString writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
        qFatal("cannot write the test file %s", qPrintable(path));
    return path;
}

inline void writeBytes(const QString &path, const QByteArray &bytes) { writeFile(path, bytes); }

// The arguments that a stand-in (standins/recordargs.sh, recordargs_win.cpp)
// recorded in the file record, each followed by a NUL byte. Waits up to ten
// seconds for the stand-in to run, then takes the file away, so that the
// next start records afresh.
inline QStringList recordedArguments(const QString &record)
{
    if (!QTest::qWaitFor([&] { return QFile::exists(record); }, 10000))
        return {QStringLiteral("<the stand-in was not started>")};
    QByteArray bytes = contentsOf(record);
    QFile::remove(record);
    bytes.chop(1);
    return QString::fromUtf8(bytes).split(QChar(u'\0'));
}

#ifdef Q_OS_UNIX
// While it lives, no file of this process may grow beyond bytes, as on a
// nearly full disk; a write that would goes short or fails instead of ending
// the process.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = m_old;
        small.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};
#endif

#ifdef Q_OS_LINUX
// A small disk of its own (a tmpfs), which fills up for real. Mounting needs
// the right to mount (root); without it, mounted() is false and the folder
// is an ordinary one.
class SmallDisk
{
public:
    explicit SmallDisk(int kilobytes)
    {
        const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k";
        m_mounted = m_dir.isValid()
                    && mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool mounted() const { return m_mounted; }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

    // Fills what is left of the disk.
    void fill() const
    {
        QFile filler(m_dir.filePath(QStringLiteral("filler")));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return;
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size()) {
        }
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};
#endif

} // namespace testfiles
