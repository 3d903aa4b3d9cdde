#include "app/console.h"

#include <windows.h>

namespace console {

// The program is a GUI program: its standard handles are whatever its
// starter handed it (the console launcher's pipes, a test's), or none.
static bool isHandle(HANDLE handle)
{
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

static void writeLine(DWORD which, const QString &line)
{
    const HANDLE handle = GetStdHandle(which);
    if (!isHandle(handle)) {
        if (!canPrint()) {
            const UINT icon = which == STD_ERROR_HANDLE ? MB_ICONERROR : MB_ICONINFORMATION;
            MessageBoxW(nullptr, reinterpret_cast<const wchar_t *>(line.utf16()), L"Letterloom", MB_OK | icon);
        }
        return;
    }
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

bool canPrint()
{
    return isHandle(GetStdHandle(STD_OUTPUT_HANDLE));
}

void keepFromStartedPrograms()
{
    // Inherited, they would keep letterloom.com's pipes open until the mail
    // program ends, and the console waiting for it.
    for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE handle = GetStdHandle(which);
        if (isHandle(handle))
            SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
    }
}

void writeOutput(const QString &line) { writeLine(STD_OUTPUT_HANDLE, line); }
void writeOutputLines(const QStringList &lines)
{
    if (!lines.isEmpty())
        writeLine(STD_OUTPUT_HANDLE, lines.join(QStringLiteral("\r\n")));
}
void writeError(const QString &line) { writeLine(STD_ERROR_HANDLE, line); }

} // namespace console
