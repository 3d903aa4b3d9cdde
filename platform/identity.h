#pragma once

#include <QString>

// Who runs this copy, and on which machine, as far as the system tells.
namespace platform {

// The account's name (Linux: the password database's entry of the
// effective user; Windows: GetUserNameW), or, where the system names none,
// USER or USERNAME. Kept versions are a user's by it, and the folder's lock
// names its holder by it.
QString userName();

// What tells this machine, its boot and its processes' number space apart
// from every other, for judging whether a lock's holder is gone: Linux's
// /etc/machine-id, the boot's id and the PID namespace; Windows' MachineGuid
// and the time it started. Host names cannot do that: cloned images,
// containers and "debian" share them. When any part cannot be read, none
// is given.
struct MachineIdentity
{
    QString machine;
    QString boot;
    QString processSpace;
    bool isNull() const { return machine.isEmpty(); }
};
MachineIdentity thisMachine();

// Whether two boots of one machine are the same: equal ids, or (Windows,
// where a boot is known by its start time in seconds) starts within a
// minute of each other.
bool sameBoot(const QString &boot, const QString &other);

} // namespace platform
