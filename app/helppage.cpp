#include "app/appinfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace appinfo {

QUrl helpPageUrl()
{
    // The Windows program folder keeps the page in help/ beside the program.
    const QDir programDir(QCoreApplication::applicationDirPath());
    const QString inProgramFolder = programDir.filePath(QStringLiteral("help/help.html"));
    if (QFileInfo::exists(inProgramFolder))
        return QUrl::fromLocalFile(QFileInfo(inProgramFolder).canonicalFilePath());
    // Elsewhere it stands in share/letterloom beside the program's bin
    // folder: so it is installed, and so the build tree lays it out too.
    const QString relative = QStringLiteral("letterloom/help.html");
    const QString besideProgram = programDir.filePath(QStringLiteral("../share/") + relative);
    if (QFileInfo::exists(besideProgram))
        return QUrl::fromLocalFile(QFileInfo(besideProgram).canonicalFilePath());
    const QString installed = QStandardPaths::locate(QStandardPaths::GenericDataLocation, relative);
    return QUrl::fromLocalFile(installed.isEmpty() ? QDir::cleanPath(besideProgram) : installed);
}

} // namespace appinfo
