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

// Tests: makes findInstalledProgram(name) answer path; an empty path means
// "not installed". clearInstalledPrograms() returns to the real search.
void setInstalledProgram(const QString &name, const QString &path);
void clearInstalledPrograms();

} // namespace platform
