#pragma once

#include "compose/mailclients.h"

#include <QString>

namespace compose {

// Whether a mail program of this kind will show a compose window when it is
// handed a message, as far as its own files under home tell: Thunderbird
// needs a default profile that it will open without asking (profiles.ini,
// installs.ini) with an e-mail account that has an identity (prefs.js,
// user.js); Claws Mail and Sylpheed an account in their accountrc; Geary an
// account folder. Without one each shows its setup assistant and no compose
// window. On false, why says what is missing in a sentence for the user.
// desktopId tells sandboxed Thunderbirds (Flatpak, snap) by where they keep
// their profiles.
bool clientIsSetUp(ClientKind kind, const QString &desktopId, const QString &home, QString *why);

} // namespace compose
