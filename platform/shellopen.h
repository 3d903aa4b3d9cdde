#pragma once

#include <QUrl>

#include <functional>

namespace platform {

// Opens an address (a web page, a mailto: or a local file) with the user's
// default handler, without waiting for it. Returns false when no handler
// could be started.
bool openWithDefaultHandler(const QUrl &url);

// Replaces the way addresses are opened, so that tests can see what would
// have been opened; an empty function restores the desktop's own.
using UrlOpener = std::function<bool(const QUrl &)>;
void setUrlOpener(UrlOpener opener);

} // namespace platform
