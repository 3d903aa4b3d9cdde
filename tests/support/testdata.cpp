#include "support/testdata.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace testdata {

QString dataDir()
{
    QString dir = QStringLiteral(LETTERLOOM_TEST_DATA);
#ifdef Q_OS_WIN
    // Built on Linux, run under Wine: the source tree is on drive Z:.
    if (dir.startsWith(QLatin1Char('/')))
        dir.prepend(QStringLiteral("Z:"));
#endif
    return dir;
}

namespace {

bool copyTree(const QString &from, const QString &to, QString *error)
{
    QDirIterator it(from, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString relative = QDir(from).relativeFilePath(source);
        if (relative == QLatin1String("special"))
            continue;
        const QString target = QDir(to).filePath(relative);
        const bool ok = it.fileInfo().isDir() ? QDir().mkpath(target)
                                              : QDir().mkpath(QFileInfo(target).path()) && QFile::copy(source, target);
        if (!ok) {
            *error = QStringLiteral("cannot copy %1").arg(relative);
            return false;
        }
        if (!it.fileInfo().isDir())
            QFile(target).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    return true;
}

bool makeSpecial(const QString &root, const QStringList &words)
{
    const QString kind = words.value(0);
    const QString path = QDir(root).filePath(words.value(kind == QLatin1String("mode") || kind == QLatin1String("size")
                                                             ? 2
                                                             : 1));
    QDir().mkpath(QFileInfo(path).path());
    if (kind == QLatin1String("folder"))
        return QDir().mkpath(path);
    if (kind == QLatin1String("future")) {
        QFile file(path);
        return file.open(QIODevice::ReadWrite)
               && file.setFileTime(QDateTime::currentDateTime().addDays(1), QFileDevice::FileModificationTime);
    }
    if (kind == QLatin1String("size")) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(QByteArray(words.value(1).toLongLong(), 'x')) >= 0;
    }
#ifdef Q_OS_UNIX
    if (kind == QLatin1String("fifo"))
        return mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    if (kind == QLatin1String("link"))
        return symlink(QFile::encodeName(words.value(2)).constData(), QFile::encodeName(path).constData()) == 0;
    if (kind == QLatin1String("mode")) {
        bool ok = false;
        const uint mode = words.value(1).toUInt(&ok, 8);
        return ok && chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
    }
#endif
    return false;
}

} // namespace

Fixture::Fixture(const QString &name)
{
    const QString source = QDir(dataDir()).filePath(name);
    if (!m_dir.isValid() || !QFileInfo(source).isDir()) {
        m_error = QStringLiteral("no fixture %1 in %2").arg(name, dataDir());
        return;
    }
    if (!copyTree(source, m_dir.path(), &m_error))
        return;
    QFile special(QDir(source).filePath(QStringLiteral("special")));
    if (!special.open(QIODevice::ReadOnly))
        return;
    const QStringList lines = QString::fromUtf8(special.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty() || words.first().startsWith(QLatin1Char('#')))
            continue;
        if (!makeSpecial(m_dir.path(), words))
            m_error += QStringLiteral("cannot make: %1\n").arg(line);
    }
}

QMap<QString, QByteArray> snapshot(const QString &dir)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        const QString relative = QDir(dir).relativeFilePath(path);
        if (info.isSymLink())
            files.insert(relative, "-> " + QFile::encodeName(info.symLinkTarget()));
        else if (info.isDir())
            files.insert(relative + QLatin1Char('/'), QByteArray());
        else if (!info.isFile())
            files.insert(relative, "<special>");
        else {
            QFile file(path);
            files.insert(relative, file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>"));
        }
    }
    return files;
}

} // namespace testdata
