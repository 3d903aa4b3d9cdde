#include "app/appinfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace appinfo {

QUrl helpPageUrl()
{
    const QString relative = QStringLiteral("letterloom/help.html");
    // Next to an installed program: <prefix>/bin/letterloom and <prefix>/share/letterloom/help.html.
    const QString besideProgram = QDir(QCoreApplication::applicationDirPath())
                                      .filePath(QStringLiteral("../share/") + relative);
    if (QFileInfo::exists(besideProgram))
        return QUrl::fromLocalFile(QFileInfo(besideProgram).canonicalFilePath());
    const QString installed = QStandardPaths::locate(QStandardPaths::GenericDataLocation, relative);
    if (!installed.isEmpty())
        return QUrl::fromLocalFile(installed);

    const QString cacheDir = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    const QString copy = QDir(cacheDir).filePath(QStringLiteral("help.html"));
    QFile page(QStringLiteral(":/letterloom/help.html"));
    if (QDir().mkpath(cacheDir) && page.open(QIODevice::ReadOnly)) {
        const QByteArray contents = page.readAll();
        QFile out(copy);
        if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            out.write(contents);
    }
    return QUrl::fromLocalFile(copy);
}

} // namespace appinfo
