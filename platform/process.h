#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// Starts a program with its arguments and does not wait for it. Every
// argument reaches the program exactly as given: no shell, no splitting, no
// quoting. On failure returns false and, when asked, says why.
bool startDetachedProgram(const QString &program, const QStringList &arguments,
                          QString *error = nullptr);

// The full path of an installed program, found the way the desktop finds it
// (the directories of the search path); empty when it is not installed.
QString findInstalledProgram(const QString &name);

// The command of the desktop's default application for a MIME type such as
// "x-scheme-handler/mailto", as the freedesktop.org mimeapps.list files and
// the application's desktop entry give it: the program first, then its own
// arguments, without the field codes (%u, %F...). desktopId, when asked,
// receives the entry's name ("thunderbird.desktop"). Empty when no default
// is set or its entry cannot be found.
QStringList defaultApplicationCommand(const QString &mimeType, QString *desktopId = nullptr);

// Tests: makes findInstalledProgram(name) answer path; an empty path means
// "not installed". clearInstalledPrograms() returns to the real search.
void setInstalledProgram(const QString &name, const QString &path);
void clearInstalledPrograms();

} // namespace platform
