#include "compose/attachmentpaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace compose {
namespace {

// Whether the canonical path lies inside the canonical folder (or is it).
bool inside(const QString &canonicalFolder, const QString &canonicalPath)
{
    const QString relative = QDir(canonicalFolder).relativeFilePath(canonicalPath);
    return relative != QLatin1String("..") && !relative.startsWith(QLatin1String("../"))
           && !QDir::isAbsolutePath(relative);
}

// "..", or a part that Windows reads as it: dots and spaces at a part's end
// are dropped there ("...", ".. ").
bool meansParent(const QString &part)
{
    qsizetype end = part.size();
    while (end > 0 && (part.at(end - 1) == u'.' || part.at(end - 1) == u' '))
        --end;
    return end == 0 && part.count(u'.') >= 2;
}

} // namespace

bool isAbsoluteOnEitherSystem(QStringView path)
{
    if (path.startsWith(u'/') || path.startsWith(u'\\'))
        return true;
    return path.size() >= 3 && path.at(0).isLetter() && path.at(0).unicode() < 0x80 && path.at(1) == u':'
           && (path.at(2) == u'\\' || path.at(2) == u'/');
}

std::optional<QString> resolveInDataFolder(const QString &path, const QString &dataFolder, QString *errorText)
{
    if (path.isEmpty() || dataFolder.isEmpty() || isAbsoluteOnEitherSystem(path))
        return path;
    auto refuse = [&](const char *why) -> std::optional<QString> {
        if (errorText)
            *errorText = QCoreApplication::translate("compose::AttachmentPaths", why)
                             .arg(path, QDir::toNativeSeparators(dataFolder));
        return std::nullopt;
    };
    QStringList parts;
    for (const QString &part : path.split(QRegularExpression(QStringLiteral("[/\\\\]")), Qt::SkipEmptyParts)) {
        if (meansParent(part))
            return refuse(QT_TRANSLATE_NOOP("compose::AttachmentPaths",
                                            "The path \"%1\" leads out of the templates folder %2: a path that is "
                                            "not absolute names a file inside that folder, and \"..\" is refused."));
        if (part != QLatin1String("."))
            parts << part;
    }
    const QString file = QDir(dataFolder).filePath(parts.join(u'/'));
    // A link inside the folder may point out of it; what is missing is
    // said by the check of the file itself.
    const QString canonical = QFileInfo(file).canonicalFilePath();
    if (!canonical.isEmpty() && !inside(QFileInfo(dataFolder).canonicalFilePath(), canonical))
        return refuse(QT_TRANSLATE_NOOP("compose::AttachmentPaths",
                                        "The path \"%1\" leads out of the templates folder %2 through a link."));
    return QDir::toNativeSeparators(file);
}

QString pathForDataFolder(const QString &file, const QString &dataFolder)
{
    const QString folder = QFileInfo(dataFolder).canonicalFilePath();
    const QString canonical = QFileInfo(file).canonicalFilePath();
    if (dataFolder.isEmpty() || folder.isEmpty() || canonical.isEmpty() || !inside(folder, canonical))
        return QDir::toNativeSeparators(file);
    return QDir::toNativeSeparators(QDir(folder).relativeFilePath(canonical));
}

} // namespace compose
