#pragma once

#include <QString>
#include <QStringList>

// Lines written to the program's standard output and standard error, as
// UTF-8 (on Windows, into a console as its own characters). On Windows,
// without a standard output (started from a shortcut, Explorer or the Run
// box rather than through letterloom.com), each appears in a message box
// titled Letterloom instead.
namespace console {
void writeOutput(const QString &line);
// Many lines in one piece: a write each would cost a call of the system each.
void writeOutputLines(const QStringList &lines);
void writeError(const QString &line);
// Whether what is written goes to a standard output, not a message box.
bool canPrint();
// Keeps the standard handles from the programs this one starts (a mail
// program), so that a console waits for this program alone.
void keepFromStartedPrograms();
} // namespace console
