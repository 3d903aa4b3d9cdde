// letterloom.com: the console's way into letterloom.exe. A console prefers
// letterloom.com to letterloom.exe when "letterloom" is typed; this program
// starts letterloom.exe beside it with the same arguments, passes on what it
// writes to standard output and standard error, and waits for it, so that
// the console (and a script) gets its exit status. letterloom.exe is a GUI
// program, for which a console would not wait. Neither passes its standard
// handles on to the mail program a launch starts, so the console waits for
// the launch, not for the mail program.

#include <windows.h>

#include <string>

namespace {

// What a pipe brings until its writer ends it.
struct Relay
{
    HANDLE read = nullptr;
    std::string bytes;
};

DWORD WINAPI collect(LPVOID parameter)
{
    auto *relay = static_cast<Relay *>(parameter);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(relay->read, buffer, sizeof buffer, &got, nullptr) && got > 0)
        relay->bytes.append(buffer, got);
    return 0;
}

// Writes UTF-8 text: into a console as its characters, elsewhere as it is.
void writeOut(DWORD which, const std::string &bytes)
{
    if (bytes.empty())
        return;
    const HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        const int size = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), int(bytes.size()), nullptr, 0);
        std::wstring text(std::size_t(size), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), int(bytes.size()), text.data(), size);
        WriteConsoleW(handle, text.data(), DWORD(text.size()), &written, nullptr);
    } else {
        WriteFile(handle, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    }
}

void complain(const wchar_t *what)
{
    std::wstring text = L"letterloom: ";
    text += what;
    text += L"\r\n";
    const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    DWORD written = 0;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text.data(), DWORD(text.size()), &written, nullptr);
    } else {
        const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
        std::string bytes(std::size_t(size), '\0');
        WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), bytes.data(), size, nullptr, nullptr);
        WriteFile(handle, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    }
}

// The arguments of this program's command line, as typed after its name.
const wchar_t *argumentsOf(const wchar_t *commandLine)
{
    const wchar_t *at = commandLine;
    if (*at == L'"') {
        ++at;
        while (*at && *at != L'"')
            ++at;
        if (*at)
            ++at;
    } else {
        while (*at && *at != L' ' && *at != L'\t')
            ++at;
    }
    return at;
}

} // namespace

int wmain()
{
    std::wstring program(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, program.data(), DWORD(program.size()));
        if (length == 0) {
            complain(L"cannot find its own program file");
            return 1;
        }
        if (length < program.size()) {
            program.resize(length);
            break;
        }
        program.resize(program.size() * 2);
    }
    const std::size_t dot = program.find_last_of(L'.');
    program = program.substr(0, dot) + L".exe";

    std::wstring commandLine = L"\"" + program + L"\"" + argumentsOf(GetCommandLineW());

    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Relay output, error;
    HANDLE outputWrite = nullptr;
    HANDLE errorWrite = nullptr;
    if (!CreatePipe(&output.read, &outputWrite, &inheritable, 0)
        || !CreatePipe(&error.read, &errorWrite, &inheritable, 0)) {
        complain(L"cannot make the pipes for letterloom.exe");
        return 1;
    }
    SetHandleInformation(output.read, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(error.read, HANDLE_FLAG_INHERIT, 0);
    // letterloom.exe gets the pipes' other ends and no other handle: any
    // other (a script's pipes) would pass on to the mail program it starts,
    // and whoever reads them would wait for that program to end.
    HANDLE handed[2] = {outputWrite, errorWrite};
    SIZE_T listSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
    std::string listBytes(listSize, '\0');
    auto *attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listBytes.data());
    if (!InitializeProcThreadAttributeList(attributes, 1, 0, &listSize)
        || !UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handed, sizeof handed, nullptr,
                                      nullptr)) {
        complain(L"cannot hand the pipes to letterloom.exe");
        return 1;
    }
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = nullptr;
    startup.StartupInfo.hStdOutput = outputWrite;
    startup.StartupInfo.hStdError = errorWrite;
    startup.lpAttributeList = attributes;
    PROCESS_INFORMATION started{};
    const BOOL created = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr, &startup.StartupInfo, &started);
    DeleteProcThreadAttributeList(attributes);
    if (!created) {
        complain((L"cannot start " + program).c_str());
        return 1;
    }
    CloseHandle(outputWrite);
    CloseHandle(errorWrite);
    CloseHandle(started.hThread);

    HANDLE readers[2] = {CreateThread(nullptr, 0, collect, &output, 0, nullptr),
                         CreateThread(nullptr, 0, collect, &error, 0, nullptr)};
    WaitForSingleObject(started.hProcess, INFINITE);
    WaitForMultipleObjects(2, readers, TRUE, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(started.hProcess, &status);
    writeOut(STD_OUTPUT_HANDLE, output.bytes);
    writeOut(STD_ERROR_HANDLE, error.bytes);
    return int(status);
}
