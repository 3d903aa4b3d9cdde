#include "support/testdata.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTest>

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
    m_error = m_dir.isValid() ? makeFixture(name, m_dir.path()) : QStringLiteral("no temporary folder");
}

QString makeFixture(const QString &name, const QString &to)
{
    const QString source = QDir(dataDir()).filePath(name);
    QString error;
    if (!QFileInfo(source).isDir())
        return QStringLiteral("no fixture %1 in %2").arg(name, dataDir());
    if (!copyTree(source, to, &error))
        return error;
    QFile special(QDir(source).filePath(QStringLiteral("special")));
    if (!special.open(QIODevice::ReadOnly))
        return QString();
    const QStringList lines = QString::fromUtf8(special.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty() || words.first().startsWith(QLatin1Char('#')))
            continue;
        if (!makeSpecial(to, words))
            error += QStringLiteral("cannot make: %1\n").arg(line);
    }
    return error;
}

QString unescaped(const QString &cell)
{
    QString text;
    for (qsizetype i = 0; i < cell.size(); ++i) {
        const QChar c = cell.at(i);
        const QChar next = i + 1 < cell.size() ? cell.at(i + 1) : QChar();
        if (c != u'\\' || next.isNull()) {
            text += c;
        } else if (next == u'u' || next == u'U') {
            const int digits = next == u'u' ? 4 : 8;
            const char32_t code = cell.mid(i + 2, digits).toUInt(nullptr, 16);
            // Not QString::fromUcs4, which drops U+FEFF as a byte-order mark.
            if (QChar::requiresSurrogates(code)) {
                text += QChar(QChar::highSurrogate(code));
                text += QChar(QChar::lowSurrogate(code));
            } else {
                text += QChar(char16_t(code));
            }
            i += 1 + digits;
        } else {
            text += next == u't' ? QChar(u'\t') : next == u'r' ? QChar(u'\r') : next == u'n' ? QChar(u'\n') : next;
            ++i;
        }
    }
    return text.replace(QStringLiteral("{data}"), dataDir());
}

QList<QStringList> table(const QString &name)
{
    QFile file(QDir(dataDir()).filePath(QStringLiteral("tables/%1.tsv").arg(name)));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read the table %s", qPrintable(file.fileName()));
    QList<QStringList> lines;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        QStringList cells;
        for (const QString &cell : line.split(QLatin1Char('\t')))
            cells << unescaped(cell);
        if (!lines.isEmpty() && cells.size() > lines.first().size())
            qFatal("%s: a row with more cells than columns: %s", qPrintable(name), qPrintable(line));
        lines << cells;
    }
    return lines;
}

void addRows(const QString &name)
{
    const QList<QStringList> lines = table(name);
    static QList<QByteArray> names; // Qt Test keeps a column's name by its address
    for (const QString &column : lines.value(0)) {
        names << column.toUtf8();
        QTest::addColumn<QString>(names.last().constData());
    }
    for (const QStringList &cells : lines.mid(1)) {
        QTestData &row = QTest::newRow(qPrintable(cells.first()));
        for (qsizetype i = 0; i < lines.first().size(); ++i)
            row << cells.value(i);
    }
}

quint64 seed(quint64 fallback)
{
    bool given = false;
    const quint64 value = qEnvironmentVariable("LETTERLOOM_SEED").toULongLong(&given);
    const quint64 chosen = given ? value : fallback;
    qInfo("LETTERLOOM_SEED=%llu", chosen);
    return chosen;
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
