#include "store/keptversions.h"

#include "platform/textfile.h"
#include "store/datafile.h"
#include "store/names.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QSysInfo>

#include <algorithm>

namespace store {
namespace {

const QString kRecordSuffix = QStringLiteral(".record");
const QString kBodySuffix = QStringLiteral(".body");

// The ids of the versions kept in the folder, oldest first.
QStringList keptIds(const QString &dataDir)
{
    QStringList ids;
    // Versions are kept only in a folder of the folder's own, never behind a link.
    if (!platform::isRealFolder(KeptVersions::folder(dataDir)))
        return ids;
    const QStringList records = QDir(KeptVersions::folder(dataDir)).entryList({QLatin1Char('*') + kRecordSuffix}, QDir::Files);
    for (const QString &record : records)
        ids << record.chopped(kRecordSuffix.size());
    ids.sort();
    return ids;
}

} // namespace

QByteArray KeptVersion::serialized() const
{
    QByteArray bytes = "Letterloom kept version 1\r\n";
    bytes += "kind=" + kind.toUtf8() + "\r\n";
    bytes += "when=" + when.toUTC().toString(Qt::ISODateWithMs).toUtf8() + "\r\n";
    bytes += "user=" + user.toUtf8() + "\r\n";
    bytes += "host=" + host.toUtf8() + "\r\n";
    bytes += "body=" + bodyFileName.toUtf8() + "\r\n";
    bytes += bodyShared ? "shared=1\r\n" : "shared=0\r\n";
    // The lines as the data file holds them, byte for byte.
    for (const KeptLine &kept : lines) {
        bytes += "line=" + kept.line + "\r\n";
        bytes += kept.before ? "before=" + *kept.before + "\r\n" : QByteArray("last\r\n");
    }
    return bytes;
}

std::optional<KeptVersion> KeptVersion::parse(const QByteArray &bytes, const QString &id)
{
    if (!bytes.startsWith("Letterloom kept version 1\r\n"))
        return std::nullopt;
    KeptVersion version;
    version.id = id;
    bool sharedGiven = false;
    // Split at CR LF, as the data file: a line never holds one.
    for (const QByteArray &field : DataLines::split(bytes).lines) {
        const auto value = [&field](const char *key) { return field.mid(qsizetype(qstrlen(key))); };
        if (field.startsWith("kind="))
            version.kind = QString::fromUtf8(value("kind="));
        else if (field.startsWith("when="))
            version.when = QDateTime::fromString(QString::fromUtf8(value("when=")), Qt::ISODateWithMs);
        else if (field.startsWith("user="))
            version.user = QString::fromUtf8(value("user="));
        else if (field.startsWith("host="))
            version.host = QString::fromUtf8(value("host="));
        else if (field.startsWith("body="))
            version.bodyFileName = QString::fromUtf8(value("body="));
        else if (field.startsWith("shared="))
            sharedGiven = true, version.bodyShared = field == "shared=1";
        else if (field.startsWith("line="))
            version.lines.append({value("line="), std::nullopt});
        else if (field.startsWith("before=") && !version.lines.isEmpty())
            version.lines.last().before = value("before=");
    }
    if (version.lines.isEmpty())
        return std::nullopt;
    // Earlier versions kept no body only when other templates of its name
    // kept theirs.
    if (!sharedGiven)
        version.bodyShared = version.bodyFileName.isEmpty();
    return version;
}

namespace KeptVersions {

QString folder(const QString &dataDir)
{
    return QDir(dataDir).filePath(QStringLiteral("Deleted"));
}

QString recordPath(const QString &dataDir, const QString &id)
{
    return QDir(folder(dataDir)).filePath(id + kRecordSuffix);
}

QString bodyPath(const QString &dataDir, const QString &id)
{
    return QDir(folder(dataDir)).filePath(id + kBodySuffix);
}

QString newId()
{
    static int counter = 0;
    QString host = QSysInfo::machineHostName();
    host.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")), QStringLiteral("-"));
    // Sorted by name, the versions stand in the order they were kept.
    return QStringLiteral("%1-%2-%3-%4")
        .arg(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")), host.left(40))
        .arg(QCoreApplication::applicationPid())
        .arg(++counter, 6, 10, QLatin1Char('0'));
}

std::optional<KeptVersion> newest(const QString &dataDir, const QString &user)
{
    const QStringList ids = keptIds(dataDir);
    for (qsizetype i = ids.size() - 1; i >= 0; --i) {
        QByteArray bytes;
        if (!platform::readOwnFile(recordPath(dataDir, ids.at(i)), &bytes, nullptr, platform::LargestRecord))
            continue;
        std::optional<KeptVersion> version = KeptVersion::parse(bytes, ids.at(i));
        // One that holds no template, or whose name cannot name a file, is
        // passed over.
        const auto first = version ? std::find_if(version->lines.cbegin(), version->lines.cend(),
                                                   [](const KeptLine &kept) { return kept.line.contains('\t'); })
                                   : QList<KeptLine>::const_iterator();
        const bool usable = version && first != version->lines.cend()
                            && FileNameRefusal(TemplateName(ReadStoredLine(first->line)->name)).isEmpty();
        if (usable && version->user == user)
            return version;
    }
    return std::nullopt;
}

QStringList beyondLimit(const QString &dataDir)
{
    const QStringList ids = keptIds(dataDir);
    QStringList files;
    for (qsizetype i = 0; i + Limit <= ids.size(); ++i)
        files << recordPath(dataDir, ids.at(i)) << bodyPath(dataDir, ids.at(i));
    return files;
}

} // namespace KeptVersions
} // namespace store
