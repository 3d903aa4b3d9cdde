// A stand-in for a Windows program that Letterloom starts (Thunderbird) or
// that Windows starts for it (the program for e-mail files): writes the
// arguments it was given, in UTF-8, each followed by a NUL byte, to the file
// named in LETTERLOOM_STANDIN_RECORD, by way of a side file, so that a reader
// never sees half of them; with LETTERLOOM_STANDIN_STAY it stays running.
#include <windows.h>

#include <cstdlib>
#include <string>

int wmain(int argc, wchar_t **argv)
{
    const wchar_t *target = _wgetenv(L"LETTERLOOM_STANDIN_RECORD");
    if (!target)
        return 2;
    std::string bytes;
    for (int i = 1; i < argc; ++i) {
        // Converted with its terminating NUL, which is the separator.
        const int size = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        const size_t at = bytes.size();
        bytes.resize(at + static_cast<size_t>(size));
        WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, &bytes[at], size, nullptr, nullptr);
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
    // Stays running, as a mail program does, for that many seconds or until
    // "<record>.stop" is there; then leaves "<record>.ended" behind.
    if (const wchar_t *stay = _wgetenv(L"LETTERLOOM_STANDIN_STAY")) {
        for (int i = 0; i < _wtoi(stay) * 10 && GetFileAttributesW((std::wstring(target) + L".stop").c_str())
                                                    == INVALID_FILE_ATTRIBUTES; ++i)
            Sleep(100);
        CloseHandle(CreateFileW((std::wstring(target) + L".ended").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    return 0;
}
