// The Outlook stand-in as a program (see outlook_standin_win.h): it registers
// itself and its type library, takes itself away again, or serves COM's
// requests until nobody needs it.
#include "outlook_standin_win.h"

#include <cwchar>

namespace standin {
namespace {

std::wstring guidText(REFGUID guid)
{
    wchar_t text[64];
    StringFromGUID2(guid, text, 64);
    return text;
}

bool setValue(HKEY root, const std::wstring &key, const wchar_t *name, const std::wstring &value)
{
    return RegSetKeyValueW(root, key.c_str(), name, REG_SZ, value.c_str(),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)))
           == ERROR_SUCCESS;
}

std::wstring ownPath()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length);
}

std::wstring typeLibraryPath()
{
    std::wstring path = ownPath();
    return path.substr(0, path.find_last_of(L'\\') + 1) + L"outlook_standin.tlb";
}

// The type library that lets COM carry _MailItem between processes: a dual
// interface with nothing beyond IDispatch, which is all Letterloom calls.
HRESULT writeTypeLibrary(const std::wstring &path)
{
    ICreateTypeLib2 *library = nullptr;
    HRESULT hr = CreateTypeLib2(SYS_WIN64, path.c_str(), &library);
    if (FAILED(hr))
        return hr;
    ITypeLib *stdole = nullptr;
    ITypeInfo *dispatchInfo = nullptr;
    ICreateTypeInfo *mailItem = nullptr;
    HREFTYPE dispatchRef = 0;
    hr = library->SetGuid(LIBID_StandIn);
    if (SUCCEEDED(hr))
        hr = library->SetName(const_cast<LPOLESTR>(L"OutlookStandIn"));
    if (SUCCEEDED(hr))
        hr = library->SetVersion(1, 0);
    if (SUCCEEDED(hr))
        hr = library->SetLcid(LOCALE_NEUTRAL);
    if (SUCCEEDED(hr))
        hr = LoadRegTypeLib(IID_StdOle, 2, 0, LOCALE_NEUTRAL, &stdole);
    if (SUCCEEDED(hr))
        hr = stdole->GetTypeInfoOfGuid(IID_IDispatch, &dispatchInfo);
    if (SUCCEEDED(hr))
        hr = library->CreateTypeInfo(const_cast<LPOLESTR>(L"_MailItem"), TKIND_INTERFACE, &mailItem);
    if (SUCCEEDED(hr))
        hr = mailItem->SetGuid(IID_MailItem);
    if (SUCCEEDED(hr))
        hr = mailItem->SetTypeFlags(TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION);
    if (SUCCEEDED(hr))
        hr = mailItem->AddRefTypeInfo(dispatchInfo, &dispatchRef);
    if (SUCCEEDED(hr))
        hr = mailItem->AddImplType(0, dispatchRef);
    if (SUCCEEDED(hr))
        hr = mailItem->LayOut();
    if (SUCCEEDED(hr))
        hr = library->SaveAllChanges();
    if (mailItem)
        mailItem->Release();
    if (dispatchInfo)
        dispatchInfo->Release();
    if (stdole)
        stdole->Release();
    library->Release();
    return hr;
}

int registerServer()
{
    const std::wstring clsid = guidText(CLSID_StandIn);
    const std::wstring tlb = typeLibraryPath();
    HRESULT hr = writeTypeLibrary(tlb);
    ITypeLib *library = nullptr;
    if (SUCCEEDED(hr))
        hr = LoadTypeLibEx(tlb.c_str(), REGKIND_REGISTER, &library);
    if (library)
        library->Release();
    if (FAILED(hr)) {
        fwprintf(stderr, L"outlook_standin: the type library could not be made (0x%08lX)\n",
                 static_cast<unsigned long>(hr));
        return 1;
    }
    const std::wstring classKey = L"CLSID\\" + clsid;
    const bool ok = setValue(HKEY_CLASSES_ROOT, classKey, nullptr, L"Outlook stand-in for Letterloom's tests")
                    && setValue(HKEY_CLASSES_ROOT, classKey + L"\\LocalServer32", nullptr, L"\"" + ownPath() + L"\"")
                    && setValue(HKEY_CLASSES_ROOT, classKey + L"\\ProgID", nullptr, kProgId)
                    && setValue(HKEY_CLASSES_ROOT, kProgId, nullptr, L"Outlook stand-in")
                    && setValue(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID", nullptr, clsid);
    if (!ok) {
        fwprintf(stderr, L"outlook_standin: the classes root cannot be written\n");
        return 1;
    }
    return 0;
}

int unregisterServer()
{
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + guidText(CLSID_StandIn)).c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    UnRegisterTypeLib(LIBID_StandIn, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
    DeleteFileW(typeLibraryPath().c_str());
    return 0;
}

int serve()
{
    g_mainThread = GetCurrentThreadId();
    MSG message;
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE); // the thread's queue
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr))
        return 1;
    // One process per application object (see CreateInstance), so that each
    // launch starts with fresh call counts, as a launch that starts Outlook
    // anew would.
    hr = CoRegisterClassObject(CLSID_StandIn, applicationFactory(), CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &g_classCookie);
    if (FAILED(hr)) {
        CoUninitialize();
        return 1;
    }
    // A server that nobody has called for half a minute goes away by itself,
    // also when a client ended without letting go of its objects.
    g_lastCall = GetTickCount();
    const UINT_PTR idle = SetTimer(nullptr, 0, 1000, nullptr);
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.wParam == idle && GetTickCount() - g_lastCall > 30000)
            break;
        if (message.message == WM_APP && !message.hwnd && g_classCookie) {
            CoRevokeClassObject(g_classCookie);
            g_classCookie = 0;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    KillTimer(nullptr, idle);
    if (g_classCookie)
        CoRevokeClassObject(g_classCookie);
    CoUninitialize();
    return 0;
}

} // namespace
} // namespace standin


int wmain(int argc, wchar_t **argv)
{
    using namespace standin;
    for (int i = 1; i < argc; ++i) {
        if (_wcsicmp(argv[i], L"/RegServer") == 0 || _wcsicmp(argv[i], L"-RegServer") == 0) {
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            const int status = registerServer();
            CoUninitialize();
            return status;
        }
        if (_wcsicmp(argv[i], L"/UnregServer") == 0 || _wcsicmp(argv[i], L"-UnregServer") == 0)
            return unregisterServer();
    }
    return serve();
}
