#include "platform/appdir.h"

#include <QCoreApplication>
#include <QStandardPaths>

namespace platform {

QString applicationDirectory()
{
#ifdef Q_OS_WIN
    return QCoreApplication::applicationDirPath();
#else
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
#endif
}

} // namespace platform
