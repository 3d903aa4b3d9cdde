#pragma once

#include <QString>

namespace compose {

// Whether a path names a file that can be attached: an existing, readable
// regular file (links followed). On failure errorText names the path and says
// what is wrong with it, an empty path included.
bool checkAttachment(const QString &path, QString *errorText);

} // namespace compose
