#pragma once

#include <QString>

#include <optional>

// Paths that travel with a team's templates folder: a path that is not
// absolute names a file inside the data folder, whatever system the folder
// is reached from (Z:\Team on one computer, /mnt/team on another).
namespace compose {

// Whether a path is absolute on either system: "/...", "\..." (so
// "\\server\..."), "X:\..." or "X:/...".
bool isAbsoluteOnEitherSystem(QStringView path);

// The file that a part of the attachments box (its placeholders filled) or
// the HTML location names: an absolute path as it is; any other, split at
// "/" and "\" alike, inside dataFolder. A relative path that leaves the
// folder, by a ".." part or through a link that points out of it, is
// refused: nothing, and errorText names the path. An empty dataFolder takes
// every path as it is.
std::optional<QString> resolveInDataFolder(const QString &path, const QString &dataFolder, QString *errorText);

// The path Browse writes for a chosen file: relative to the data folder
// when the file lies inside it, else as it is; in the system's separators.
QString pathForDataFolder(const QString &file, const QString &dataFolder);

} // namespace compose
