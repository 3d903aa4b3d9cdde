#include "platform/identity.h"

#include <QDateTime>

#include <windows.h>

namespace platform {

QString userName()
{
    wchar_t name[257];
    DWORD size = 257;
    if (GetUserNameW(name, &size) && size > 1)
        return QString::fromWCharArray(name, int(size - 1));
    return qEnvironmentVariable("USERNAME");
}

MachineIdentity thisMachine()
{
    static const MachineIdentity identity = [] {
        MachineIdentity read;
        wchar_t guid[64];
        DWORD size = sizeof guid;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid",
                         RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, guid, &size)
            != ERROR_SUCCESS)
            return read;
        read.machine = QString::fromWCharArray(guid).trimmed();
        // Cloned images share the machine's GUID: the boot tells them apart.
        const qint64 started = QDateTime::currentSecsSinceEpoch() - qint64(GetTickCount64() / 1000);
        read.boot = QString::number(started);
        read.processSpace = QStringLiteral("windows");
        return read.machine.isEmpty() ? MachineIdentity() : read;
    }();
    return identity;
}

bool sameBoot(const QString &boot, const QString &other)
{
    bool ok = false;
    bool otherOk = false;
    const qint64 started = boot.toLongLong(&ok);
    const qint64 otherStarted = other.toLongLong(&otherOk);
    return ok && otherOk ? qAbs(started - otherStarted) <= 60 : boot == other;
}

} // namespace platform
