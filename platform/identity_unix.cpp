#include "platform/identity.h"

#include <QFile>
#include <QFileInfo>

#include <pwd.h>
#include <unistd.h>

namespace platform {
namespace {

QString firstLineOf(const char *path)
{
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readLine(200)).trimmed() : QString();
}

} // namespace

QString userName()
{
    if (const passwd *entry = getpwuid(geteuid()); entry && entry->pw_name && *entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
    return qEnvironmentVariable("USER");
}

MachineIdentity thisMachine()
{
    static const MachineIdentity identity = [] {
        MachineIdentity read;
        read.machine = firstLineOf("/etc/machine-id");
        read.boot = firstLineOf("/proc/sys/kernel/random/boot_id");
        read.processSpace = QFileInfo(QStringLiteral("/proc/self/ns/pid")).symLinkTarget();
        if (read.processSpace.isEmpty())
            read.processSpace = QFile::symLinkTarget(QStringLiteral("/proc/self/ns/pid"));
        if (read.machine.isEmpty() || read.boot.isEmpty() || read.processSpace.isEmpty())
            return MachineIdentity();
        return read;
    }();
    return identity;
}

bool sameBoot(const QString &boot, const QString &other)
{
    return boot == other;
}

} // namespace platform
