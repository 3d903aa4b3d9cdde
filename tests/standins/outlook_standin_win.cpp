// A stand-in for Outlook's automation server, for the Windows tests: a COM
// local server registered under the ProgID "Outlook.Application" that offers,
// through IDispatch, the part of Outlook's object model that Letterloom's
// Launch uses (Application.CreateItem; MailItem's To, CC, BCC, Subject,
// BodyFormat, Body and HTMLBody puts, Attachments and Display; Attachments.Add)
// and writes one line per call, with every value and its VARIANT type, into a
// log. It can be told to fail at any one call with a COM exception.
//
//   outlook_standin.exe /RegServer     registers the server (classes root) and
//                                      the type library of _MailItem beside it
//   outlook_standin.exe /UnregServer   takes both away again
//   (COM starts it with -Embedding; one process serves one Application.)
//
// What it does is read, at every call, from the registry key
// HKEY_CURRENT_USER\Software\Letterloom\Outlook stand-in:
//   Log     the file the lines are appended to (UTF-8, CR LF)
//   FailAt  the call that fails: a member name ("CreateItem", "To", "CC",
//           "BCC", "Subject", "BodyFormat", "Body", "HTMLBody", "Attachments",
//           "Add", "Display"), optionally followed by "#n" for its n-th call
//           in this process (the first when left out).
//
// The log's lines, in calling order:
//   new Application
//   Application.CreateItem(VT_I4 0) -> MailItem
//   MailItem.To = VT_BSTR "text"            (also CC, BCC, Subject, Body, HTMLBody)
//   MailItem.BodyFormat = VT_I4 3
//   MailItem.Attachments -> Attachments
//   Attachments.Add(VT_BSTR "C:\\file") -> Attachment
//   MailItem.Display()
//   release Attachment | Attachments | MailItem | Application
// A call that fails ends its line with " -> exception: <description>". A value
// of another type than VT_BSTR or VT_I4 shows as its type's number ("VT
// 0x000B"). In texts, backslash, quote, CR, LF and TAB are escaped C-style;
// other characters stay as they are.

#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <string_view>

// COM objects go through their own Release, never through a delete of an
// interface pointer, so COM's interfaces need no virtual destructor.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif

namespace {

// The server's own class; the ProgID is what points Letterloom at it.
const wchar_t kClassId[] = L"{6B1E2D43-5A7C-4F0E-9D21-3C8E47550A19}";
// Outlook's own identifiers for _MailItem, which Letterloom asks the created
// item for, and the library that describes it here.
const IID IID_MailItem = {0x00063034, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID LIBID_StandIn = {0x6b1e2d44, 0x5a7c, 0x4f0e, {0x9d, 0x21, 0x3c, 0x8e, 0x47, 0x55, 0x0a, 0x19}};
const GUID IID_StdOle = {0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

const wchar_t kProgId[] = L"Outlook.Application";
const wchar_t kSettingsKey[] = L"Software\\Letterloom\\Outlook stand-in";

DWORD g_mainThread = 0;
DWORD g_lastCall = 0; // GetTickCount() of the last call or creation
LONG g_objects = 0;
std::map<std::wstring, int> g_calls; // calls per member name in this process

std::wstring setting(const wchar_t *name)
{
    wchar_t value[2048];
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return std::wstring();
    return value;
}

void writeLog(const std::wstring &line)
{
    const std::wstring text = line + L"\r\n";
    std::string bytes(text.size() * 3, '\0'); // UTF-8 takes at most three bytes for one UTF-16 unit
    bytes.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                         &bytes[0], static_cast<int>(bytes.size()), nullptr, nullptr)));
    if (FILE *file = _wfopen(setting(L"Log").c_str(), L"ab")) {
        fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
    }
}

// Whether this call of member is the one that must fail; counts the call.
bool failsNow(const std::wstring &member)
{
    g_lastCall = GetTickCount();
    const int n = ++g_calls[member];
    const std::wstring failAt = setting(L"FailAt");
    const size_t hash = failAt.find(L'#');
    const int occurrence = hash == std::wstring::npos ? 1 : _wtoi(failAt.c_str() + hash + 1);
    return _wcsicmp(failAt.substr(0, hash).c_str(), member.c_str()) == 0 && occurrence == n;
}

std::wstring quoted(std::wstring_view text)
{
    static const std::map<wchar_t, const wchar_t *> escapes = {
        {L'\\', L"\\\\"}, {L'"', L"\\\""}, {L'\r', L"\\r"}, {L'\n', L"\\n"}, {L'\t', L"\\t"}};
    std::wstring out = L"\"";
    for (const wchar_t c : text) {
        const auto escape = escapes.find(c);
        if (escape != escapes.end())
            out += escape->second;
        else
            out += c;
    }
    return out + L"\"";
}

// A value as the log shows it: its type, then the value. Letterloom passes
// texts and numbers only; anything else shows its type alone, which no line
// a test expects can match.
std::wstring describe(const VARIANT &value)
{
    if (value.vt == VT_BSTR)
        return L"VT_BSTR " + (value.bstrVal ? quoted({value.bstrVal, SysStringLen(value.bstrVal)}) : L"null");
    if (value.vt == VT_I4)
        return L"VT_I4 " + std::to_wstring(value.lVal);
    wchar_t type[16];
    swprintf(type, 16, L"VT 0x%04X", value.vt);
    return type;
}

// The objects of Outlook's model that the stand-in makes, under the names the
// log gives them.
enum Kind { Nothing, Application, MailItem, Attachments, Attachment };
const wchar_t *const kKindNames[] = {L"", L"Application", L"MailItem", L"Attachments", L"Attachment"};

struct Member
{
    Kind owner;
    const wchar_t *name;
    WORD access; // DISPATCH_METHOD, DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT
    Kind returns;
};

// The members Letterloom uses; a member's DISPID is its place here, from 1.
// Every argument is logged, so a test that compares the log sees each one.
const Member kMembers[] = {
    {Application, L"CreateItem", DISPATCH_METHOD, MailItem},
    {MailItem, L"To", DISPATCH_PROPERTYPUT, Nothing},
    {MailItem, L"CC", DISPATCH_PROPERTYPUT, Nothing},
    {MailItem, L"BCC", DISPATCH_PROPERTYPUT, Nothing},
    {MailItem, L"Subject", DISPATCH_PROPERTYPUT, Nothing},
    {MailItem, L"BodyFormat", DISPATCH_PROPERTYPUT, Nothing},
    {MailItem, L"Body", DISPATCH_PROPERTYPUT, Nothing},
    {MailItem, L"HTMLBody", DISPATCH_PROPERTYPUT, Nothing},
    {MailItem, L"Attachments", DISPATCH_PROPERTYGET, Attachments},
    {MailItem, L"Display", DISPATCH_METHOD, Nothing},
    {Attachments, L"Add", DISPATCH_METHOD, Attachment},
};
const DISPID kMemberCount = static_cast<DISPID>(std::size(kMembers));

// A call as the log shows it, without its outcome. A method's arguments are
// shown in the order they were written: COM passes them last first.
std::wstring callLine(const Member &member, const DISPPARAMS &params)
{
    std::wstring line = std::wstring(kKindNames[member.owner]) + L'.' + member.name;
    if (member.access == DISPATCH_PROPERTYPUT)
        return line + L" = " + describe(params.rgvarg[0]);
    if (member.access != DISPATCH_METHOD)
        return line;
    line += L'(';
    for (UINT i = params.cArgs; i > 0; --i)
        line += (i < params.cArgs ? L", " : L"") + describe(params.rgvarg[i - 1]);
    return line + L')';
}

// Any object of the model: its members are those of kMembers it owns, every
// call to them is logged, and so is its release.
class Object final : public IDispatch
{
public:
    explicit Object(Kind kind) : m_kind(kind) { InterlockedIncrement(&g_objects); }
    ~Object()
    {
        writeLog(std::wstring(L"release ") + kKindNames[m_kind]);
        if (InterlockedDecrement(&g_objects) == 0)
            PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0); // nobody needs the server any more
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IID_IDispatch && !(m_kind == MailItem && iid == IID_MailItem))
            return E_NOINTERFACE;
        *object = static_cast<IDispatch *>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_references)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&m_references);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) override
    {
        for (UINT i = 0; i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        for (DISPID id = 1; count > 0 && id <= kMemberCount; ++id) {
            if (kMembers[id - 1].owner == m_kind && _wcsicmp(kMembers[id - 1].name, names[0]) == 0)
                ids[0] = id;
        }
        // The names after the first would be named arguments, which no member has.
        return count == 1 && ids[0] != DISPID_UNKNOWN ? S_OK : DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params, VARIANT *result,
                                     EXCEPINFO *exception, UINT *) override
    {
        if (id < 1 || id > kMemberCount || kMembers[id - 1].owner != m_kind || !(flags & kMembers[id - 1].access))
            return DISP_E_MEMBERNOTFOUND;
        const Member &member = kMembers[id - 1];
        if (member.access == DISPATCH_PROPERTYPUT
            && (params->cArgs != 1 || params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
            return DISP_E_BADPARAMCOUNT;

        const std::wstring line = callLine(member, *params);
        if (failsNow(member.name)) {
            const std::wstring description = L"The stand-in was told to fail at " + std::wstring(member.name) + L".";
            writeLog(line + L" -> exception: " + description);
            if (exception) {
                *exception = EXCEPINFO();
                exception->bstrSource = SysAllocString(L"Outlook stand-in");
                exception->bstrDescription = SysAllocString(description.c_str());
                exception->scode = E_FAIL;
            }
            return DISP_E_EXCEPTION;
        }
        writeLog(member.returns == Nothing ? line : line + L" -> " + kKindNames[member.returns]);
        VARIANT unwanted; // a result the caller does not take is let go of at once
        VARIANT *out = result ? result : &unwanted;
        VariantInit(out);
        if (member.returns != Nothing) {
            out->vt = VT_DISPATCH;
            out->pdispVal = new Object(member.returns);
        }
        if (!result)
            VariantClear(&unwanted);
        return S_OK;
    }

private:
    const Kind m_kind;
    LONG m_references = 1;
};

// The class object that makes the application objects.
class Factory final : public IClassFactory
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        const bool known = iid == IID_IUnknown || iid == IID_IClassFactory;
        *object = known ? static_cast<IClassFactory *>(this) : nullptr;
        return known ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID iid, void **object) override
    {
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        // One application object per process: once this call is answered the
        // class is offered no more (see serve()), so that the next launch
        // starts a process of its own rather than reach this one while it ends.
        PostThreadMessageW(g_mainThread, WM_APP, 0, 0);
        g_lastCall = GetTickCount();
        writeLog(L"new Application");
        Object *application = new Object(Application);
        const HRESULT hr = application->QueryInterface(iid, object);
        application->Release();
        return hr;
    }
    // The server lives as long as its objects (or until it is idle), locked
    // or not.
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

std::wstring ownPath()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length);
}

// The type library that lets COM carry _MailItem between processes, written
// and registered: a dual interface with nothing beyond IDispatch, which is
// all Letterloom calls.
HRESULT registerTypeLibrary()
{
    const std::wstring path = ownPath() + L".tlb"; // beside the program
    ICreateTypeLib2 *library = nullptr;
    ITypeLib *stdole = nullptr;
    ITypeInfo *dispatchInfo = nullptr;
    ICreateTypeInfo *mailItem = nullptr;
    ITypeLib *registered = nullptr;
    HREFTYPE dispatchRef = 0;
    const std::function<HRESULT()> steps[] = {
        [&] { return CreateTypeLib2(SYS_WIN64, path.c_str(), &library); },
        [&] { return library->SetGuid(LIBID_StandIn); },
        [&] { return library->SetName(const_cast<LPOLESTR>(L"OutlookStandIn")); },
        [&] { return library->SetVersion(1, 0); },
        [&] { return library->SetLcid(LOCALE_NEUTRAL); },
        [&] { return LoadRegTypeLib(IID_StdOle, 2, 0, LOCALE_NEUTRAL, &stdole); },
        [&] { return stdole->GetTypeInfoOfGuid(IID_IDispatch, &dispatchInfo); },
        [&] { return library->CreateTypeInfo(const_cast<LPOLESTR>(L"_MailItem"), TKIND_INTERFACE, &mailItem); },
        [&] { return mailItem->SetGuid(IID_MailItem); },
        [&] { return mailItem->SetTypeFlags(TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION); },
        [&] { return mailItem->AddRefTypeInfo(dispatchInfo, &dispatchRef); },
        [&] { return mailItem->AddImplType(0, dispatchRef); },
        [&] { return mailItem->LayOut(); },
        [&] { return library->SaveAllChanges(); },
        [&] { return LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, &registered); },
    };
    HRESULT hr = S_OK;
    for (const auto &step : steps) {
        if (FAILED(hr = step()))
            break;
    }
    for (IUnknown *made : std::initializer_list<IUnknown *>{registered, mailItem, dispatchInfo, stdole, library}) {
        if (made)
            made->Release();
    }
    return hr;
}

// The type library, then the class and its ProgID in the classes root.
HRESULT registerServer()
{
    HRESULT hr = registerTypeLibrary();
    const std::wstring classKey = std::wstring(L"CLSID\\") + kClassId;
    const std::pair<std::wstring, std::wstring> values[] = {
        {classKey, L"Outlook stand-in for Letterloom's tests"},
        {classKey + L"\\LocalServer32", L"\"" + ownPath() + L"\""},
        {classKey + L"\\ProgID", kProgId},
        {kProgId, L"Outlook stand-in"},
        {std::wstring(kProgId) + L"\\CLSID", kClassId},
    };
    for (const auto &[key, value] : values) {
        if (SUCCEEDED(hr))
            hr = HRESULT_FROM_WIN32(RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, value.c_str(),
                                                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
    }
    return hr;
}

int unregisterServer()
{
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kClassId).c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    UnRegisterTypeLib(LIBID_StandIn, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
    DeleteFileW((ownPath() + L".tlb").c_str());
    return 0;
}

int serve()
{
    g_mainThread = GetCurrentThreadId();
    // The apartment's thread gets its message queue here.
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    // One process per application object (see CreateInstance), so that each
    // launch starts with fresh call counts, as a launch that starts Outlook
    // anew would.
    static Factory factory;
    CLSID classId;
    DWORD classCookie = 0; // the class object's registration while it is offered
    if (FAILED(CLSIDFromString(kClassId, &classId))
        || FAILED(CoRegisterClassObject(classId, &factory, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &classCookie))) {
        CoUninitialize();
        return 1;
    }
    // A server that nobody has called for half a minute goes away by itself,
    // also when a client ended without letting go of its objects.
    g_lastCall = GetTickCount();
    const UINT_PTR idle = SetTimer(nullptr, 0, 1000, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.wParam == idle && GetTickCount() - g_lastCall > 30000)
            break;
        if (message.message == WM_APP && !message.hwnd && classCookie) {
            CoRevokeClassObject(classCookie);
            classCookie = 0;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    KillTimer(nullptr, idle);
    if (classCookie)
        CoRevokeClassObject(classCookie);
    CoUninitialize();
    return 0;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"/RegServer") {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        const HRESULT hr = registerServer();
        CoUninitialize();
        if (FAILED(hr))
            fwprintf(stderr, L"outlook_standin: could not be registered (0x%08lX)\n", static_cast<unsigned long>(hr));
        return FAILED(hr) ? 1 : 0;
    }
    if (command == L"/UnregServer")
        return unregisterServer();
    return serve(); // as COM starts it
}
