#include "compose/compose.h"

namespace compose {

// Windows: Outlook through its automation interface.
MailClientFactory desktopMailClients(const DesktopMailSetup &)
{
    return &createDesktopMailClient;
}

} // namespace compose
