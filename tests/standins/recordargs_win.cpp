// A stand-in for a Windows program that Letterloom starts (Thunderbird) or
// that Windows starts for it (the program for e-mail files): writes the
// arguments it was given, in UTF-8, each followed by a NUL byte, to the file
// named in LETTERLOOM_STANDIN_RECORD, by way of a side file, so that a reader
// never sees half of them.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::string utf8(const wchar_t *text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return std::string();
    std::string out(static_cast<size_t>(size - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
    return out;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    const wchar_t *target = _wgetenv(L"LETTERLOOM_STANDIN_RECORD");
    if (!target)
        return 2;
    std::string bytes;
    for (int i = 1; i < argc; ++i) {
        bytes += utf8(argv[i]);
        bytes += '\0';
    }
    const std::wstring side = std::wstring(target) + L".part";
    HANDLE file = CreateFileW(side.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 3;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    if (!ok || written != bytes.size() || !MoveFileExW(side.c_str(), target, MOVEFILE_REPLACE_EXISTING))
        return 4;
    return 0;
}
