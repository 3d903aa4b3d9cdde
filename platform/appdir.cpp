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

QString userName()
{
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME");
    return user;
}

} // namespace platform
