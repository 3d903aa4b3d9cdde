#include "compose/compose.h"

namespace compose {

std::unique_ptr<MailClient> createDesktopMailClient(QString *errorText)
{
    if (errorText)
        *errorText = QStringLiteral("This build of Letterloom cannot reach a mail client yet.");
    return nullptr;
}

} // namespace compose
