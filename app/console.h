#pragma once

#include <QString>

// Lines written to the program's standard output and standard error, as
// UTF-8 (on Windows, into a console as its own characters).
namespace console {
void writeOutput(const QString &line);
void writeError(const QString &line);
} // namespace console
