#include "platform/shellopen.h"

#include <QDesktopServices>

namespace platform {
namespace {

UrlOpener &currentOpener()
{
    static UrlOpener opener;
    return opener;
}

} // namespace

bool openWithDefaultHandler(const QUrl &url)
{
    if (const UrlOpener &opener = currentOpener())
        return opener(url);
    return QDesktopServices::openUrl(url);
}

void setUrlOpener(UrlOpener opener)
{
    currentOpener() = std::move(opener);
}

} // namespace platform
