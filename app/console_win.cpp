#include "app/console.h"

#include <windows.h>

namespace console {

// The program is a GUI program: its standard handles are whatever its
// starter handed it (the console launcher's pipes, a test's), or none.
static void writeLine(DWORD which, const QString &line)
{
    const HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        const QString text = line + QStringLiteral("\r\n");
        WriteConsoleW(handle, reinterpret_cast<const wchar_t *>(text.utf16()), DWORD(text.size()), &written,
                      nullptr);
        return;
    }
    const QByteArray bytes = line.toUtf8() + "\r\n";
    WriteFile(handle, bytes.constData(), DWORD(bytes.size()), &written, nullptr);
}

void writeOutput(const QString &line) { writeLine(STD_OUTPUT_HANDLE, line); }
void writeOutputLines(const QStringList &lines)
{
    if (!lines.isEmpty())
        writeLine(STD_OUTPUT_HANDLE, lines.join(QStringLiteral("\r\n")));
}
void writeError(const QString &line) { writeLine(STD_ERROR_HANDLE, line); }

} // namespace console
