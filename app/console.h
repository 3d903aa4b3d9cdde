#pragma once

#include <QString>
#include <QStringList>

// Lines written to the program's standard output and standard error, as
// UTF-8 (on Windows, into a console as its own characters).
namespace console {
void writeOutput(const QString &line);
// Many lines in one piece: a write each would cost a call of the system each.
void writeOutputLines(const QStringList &lines);
void writeError(const QString &line);
} // namespace console
