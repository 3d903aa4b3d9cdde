// letterloom-userpath.exe: what the installer and the uninstaller run (from
// their own temporary folder, never installed) to add the program folder to
// the user's PATH and to take exactly that entry away again. NSIS holds no
// text longer than 1,024 characters, and a PATH cut to that length would
// destroy the user's; this program reads and writes the value whole.
//
//   letterloom-userpath add FOLDER      appends ";FOLDER" (or FOLDER to an
//                                       empty PATH); 0 added, 1 there already
//   letterloom-userpath remove FOLDER   takes that entry away; 0 removed,
//                                       1 not there
//   any other status: nothing was changed (the value could not be read or
//   written whole); a line on standard error says why.
//
// The value is HKEY_CURRENT_USER\Environment\Path, kept as REG_EXPAND_SZ
// (its %VARIABLES% stay as they are), and running programs are told of the
// change with WM_SETTINGCHANGE "Environment".

#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr int Changed = 0;
constexpr int Unchanged = 1;
constexpr int Failed = 2;

int fail(const wchar_t *why)
{
    std::fwprintf(stderr, L"letterloom-userpath: %ls\n", why);
    return Failed;
}

bool sameFolder(const std::wstring &a, const std::wstring &b)
{
    return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

std::vector<std::wstring> entriesOf(const std::wstring &path)
{
    std::vector<std::wstring> entries;
    std::size_t from = 0;
    for (;;) {
        const std::size_t semicolon = path.find(L';', from);
        entries.push_back(path.substr(from, semicolon - from));
        if (semicolon == std::wstring::npos)
            return entries;
        from = semicolon + 1;
    }
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc != 3 || (std::wcscmp(argv[1], L"add") != 0 && std::wcscmp(argv[1], L"remove") != 0) || !*argv[2])
        return fail(L"usage: letterloom-userpath add|remove FOLDER");
    const bool adding = std::wcscmp(argv[1], L"add") == 0;
    const std::wstring folder = argv[2];

    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Environment", 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                        &key, nullptr)
        != ERROR_SUCCESS)
        return fail(L"HKEY_CURRENT_USER\\Environment cannot be opened");

    // The value whole, however long, or nothing is changed.
    std::wstring path;
    DWORD type = 0;
    DWORD size = 0;
    LSTATUS read = RegQueryValueExW(key, L"Path", nullptr, &type, nullptr, &size);
    const bool there = read == ERROR_SUCCESS;
    if (there) {
        if (type != REG_SZ && type != REG_EXPAND_SZ) {
            RegCloseKey(key);
            return fail(L"the PATH in HKEY_CURRENT_USER\\Environment is not text");
        }
        std::vector<wchar_t> buffer;
        do {
            buffer.assign(size / sizeof(wchar_t) + 2, L'\0');
            size = DWORD(buffer.size() * sizeof(wchar_t));
            read = RegQueryValueExW(key, L"Path", nullptr, &type, reinterpret_cast<BYTE *>(buffer.data()), &size);
        } while (read == ERROR_MORE_DATA);
        if (read != ERROR_SUCCESS) {
            RegCloseKey(key);
            return fail(L"the PATH in HKEY_CURRENT_USER\\Environment cannot be read whole");
        }
        path.assign(buffer.data(), size / sizeof(wchar_t));
        while (!path.empty() && path.back() == L'\0')
            path.pop_back();
    } else if (read != ERROR_FILE_NOT_FOUND) {
        RegCloseKey(key);
        return fail(L"the PATH in HKEY_CURRENT_USER\\Environment cannot be read");
    }

    std::wstring changed;
    const std::wstring suffix = L";" + folder;
    if (adding) {
        for (const std::wstring &entry : entriesOf(path)) {
            if (sameFolder(entry, folder)) {
                RegCloseKey(key);
                return Unchanged;
            }
        }
        changed = path.empty() ? folder : path + suffix;
    } else if (path.size() > suffix.size() && sameFolder(path.substr(path.size() - suffix.size()), suffix)) {
        changed = path.substr(0, path.size() - suffix.size()); // as it was before the installer added it
    } else {
        // Moved since: that one entry goes, the others stay as they are.
        bool removed = false;
        bool first = true;
        for (const std::wstring &entry : entriesOf(path)) {
            if (!removed && sameFolder(entry, folder)) {
                removed = true;
                continue;
            }
            changed += (first ? L"" : L";") + entry;
            first = false;
        }
        if (!removed) {
            RegCloseKey(key);
            return Unchanged;
        }
    }

    const LSTATUS written =
        changed.empty() && !adding
            ? RegDeleteValueW(key, L"Path")
            : RegSetValueExW(key, L"Path", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE *>(changed.c_str()),
                             DWORD((changed.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    if (written != ERROR_SUCCESS)
        return fail(L"the PATH in HKEY_CURRENT_USER\\Environment cannot be written");
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"),
                        SMTO_ABORTIFHUNG, 5000, &answer);
    return Changed;
}
