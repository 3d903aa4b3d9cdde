#include "platform/desktop.h"

namespace platform {

// Windows opens files and addresses through its shell (openUrl); it has no
// desktop entries to name a program by.
DesktopApplication Desktop::defaultApplication(const QString &)
{
    return DesktopApplication();
}

} // namespace platform
