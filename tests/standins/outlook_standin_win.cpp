// The object model of the Outlook stand-in (see outlook_standin_win.h): the
// application object, its mail items and their attachments, each call logged
// and any one of them made to fail on request.
#include "outlook_standin_win.h"

#include <cwchar>
#include <map>
#include <vector>

namespace standin {

DWORD g_mainThread = 0;
DWORD g_classCookie = 0;
DWORD g_lastCall = 0;

namespace {

LONG g_objects = 0;
LONG g_locks = 0;
std::map<std::wstring, int> g_calls; // calls per member name in this process

void quitWhenUnused()
{
    if (g_objects == 0 && g_locks == 0)
        PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0);
}

std::wstring setting(const wchar_t *name)
{
    wchar_t value[2048];
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return std::wstring();
    return value;
}

std::string utf8(const std::wstring &text)
{
    if (text.empty())
        return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

void writeLog(const std::wstring &line)
{
    const std::wstring path = setting(L"Log");
    if (path.empty())
        return;
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const std::string bytes = utf8(line) + "\r\n";
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

// Whether this call of member is the one that must fail; counts the call.
bool failsNow(const std::wstring &member)
{
    g_lastCall = GetTickCount();
    const int n = ++g_calls[member];
    std::wstring failAt = setting(L"FailAt");
    int occurrence = 1;
    const size_t hash = failAt.find(L'#');
    if (hash != std::wstring::npos) {
        occurrence = _wtoi(failAt.c_str() + hash + 1);
        failAt.resize(hash);
    }
    return !failAt.empty() && _wcsicmp(failAt.c_str(), member.c_str()) == 0 && occurrence == n;
}

std::wstring quoted(const wchar_t *text, UINT length)
{
    std::wstring out = L"\"";
    for (UINT i = 0; i < length; ++i) {
        const wchar_t c = text[i];
        switch (c) {
        case L'\\': out += L"\\\\"; break;
        case L'"': out += L"\\\""; break;
        case L'\r': out += L"\\r"; break;
        case L'\n': out += L"\\n"; break;
        case L'\t': out += L"\\t"; break;
        default:
            if (c < 0x20) {
                wchar_t code[8];
                swprintf(code, 8, L"\\x%02X", static_cast<unsigned>(c));
                out += code;
            } else {
                out += c;
            }
        }
    }
    return out + L"\"";
}

// A value as the log shows it: its type, then the value.
std::wstring describe(const VARIANT &value)
{
    wchar_t number[64];
    switch (value.vt) {
    case VT_EMPTY: return L"VT_EMPTY";
    case VT_NULL: return L"VT_NULL";
    case VT_BSTR:
        return L"VT_BSTR " + (value.bstrVal ? quoted(value.bstrVal, SysStringLen(value.bstrVal)) : L"null");
    case VT_I4: swprintf(number, 64, L"VT_I4 %ld", value.lVal); return number;
    case VT_I2: swprintf(number, 64, L"VT_I2 %d", value.iVal); return number;
    case VT_UI4: swprintf(number, 64, L"VT_UI4 %lu", value.ulVal); return number;
    case VT_BOOL: return value.boolVal ? L"VT_BOOL true" : L"VT_BOOL false";
    case VT_ERROR: swprintf(number, 64, L"VT_ERROR 0x%08lX", static_cast<unsigned long>(value.scode)); return number;
    case VT_DISPATCH: return L"VT_DISPATCH";
    case VT_UNKNOWN: return L"VT_UNKNOWN";
    default: swprintf(number, 64, L"VT 0x%04X", value.vt); return number;
    }
}

// The arguments of a call in the order they were written: COM passes them
// last first.
std::wstring describeArguments(const DISPPARAMS *params)
{
    std::wstring out;
    for (UINT i = params->cArgs; i > 0; --i) {
        if (!out.empty())
            out += L", ";
        out += describe(params->rgvarg[i - 1]);
    }
    return out;
}

HRESULT raise(EXCEPINFO *exception, const std::wstring &description)
{
    if (exception) {
        *exception = EXCEPINFO();
        exception->bstrSource = SysAllocString(L"Outlook stand-in");
        exception->bstrDescription = SysAllocString(description.c_str());
        exception->scode = E_FAIL;
    }
    return DISP_E_EXCEPTION;
}

// An automation object with named members and nothing else.
class DispatchObject : public IDispatch
{
public:
    explicit DispatchObject(std::wstring name) : m_name(std::move(name))
    {
        InterlockedIncrement(&g_objects);
    }
    virtual ~DispatchObject()
    {
        writeLog(L"release " + m_name);
        InterlockedDecrement(&g_objects);
        quitWhenUnused();
    }
    DispatchObject(const DispatchObject &) = delete;
    DispatchObject &operator=(const DispatchObject &) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || answersTo(iid)) {
            *object = static_cast<IDispatch *>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
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
        if (count)
            *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **info) override
    {
        if (info)
            *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) override
    {
        HRESULT result = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            if (i > 0) {
                result = DISP_E_UNKNOWNNAME; // no named arguments here
                continue;
            }
            const std::vector<std::wstring> &known = members();
            for (size_t m = 0; m < known.size(); ++m) {
                if (_wcsicmp(known[m].c_str(), names[i]) == 0)
                    ids[i] = static_cast<DISPID>(m + 1);
            }
            if (ids[i] == DISPID_UNKNOWN)
                result = DISP_E_UNKNOWNNAME;
        }
        return result;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params, VARIANT *result,
                                     EXCEPINFO *exception, UINT *) override
    {
        const std::vector<std::wstring> &known = members();
        if (id < 1 || static_cast<size_t>(id) > known.size())
            return DISP_E_MEMBERNOTFOUND;
        if (!params)
            return E_INVALIDARG;
        return call(known[static_cast<size_t>(id) - 1], flags, *params, result, exception);
    }

protected:
    virtual const std::vector<std::wstring> &members() const = 0;
    virtual bool answersTo(REFIID) const { return false; }
    virtual HRESULT call(const std::wstring &member, WORD flags, const DISPPARAMS &params, VARIANT *result,
                         EXCEPINFO *exception) = 0;

    // Logs the call; when it is the one that must fail, logs that too and
    // gives the exception to return.
    bool logCall(const std::wstring &member, const std::wstring &line, HRESULT *failure, EXCEPINFO *exception)
    {
        if (!failsNow(member)) {
            m_pendingLine = line;
            return true;
        }
        const std::wstring description = L"The stand-in was told to fail at " + member + L".";
        writeLog(line + L" -> exception: " + description);
        *failure = raise(exception, description);
        return false;
    }
    void finishLine(const std::wstring &outcome = std::wstring())
    {
        writeLog(outcome.empty() ? m_pendingLine : m_pendingLine + L" -> " + outcome);
    }

    const std::wstring m_name;

private:
    LONG m_references = 1;
    std::wstring m_pendingLine;
};

HRESULT returnObject(VARIANT *result, DispatchObject *object)
{
    if (!result) {
        object->Release();
        return S_OK;
    }
    VariantInit(result);
    result->vt = VT_DISPATCH;
    result->pdispVal = object;
    return S_OK;
}

class Attachment final : public DispatchObject
{
public:
    Attachment() : DispatchObject(L"Attachment") {}

protected:
    const std::vector<std::wstring> &members() const override
    {
        static const std::vector<std::wstring> none;
        return none;
    }
    HRESULT call(const std::wstring &, WORD, const DISPPARAMS &, VARIANT *, EXCEPINFO *) override
    {
        return DISP_E_MEMBERNOTFOUND;
    }
};

class Attachments final : public DispatchObject
{
public:
    Attachments() : DispatchObject(L"Attachments") {}

protected:
    const std::vector<std::wstring> &members() const override
    {
        static const std::vector<std::wstring> names = {L"Add"};
        return names;
    }
    HRESULT call(const std::wstring &member, WORD flags, const DISPPARAMS &params, VARIANT *result,
                 EXCEPINFO *exception) override
    {
        if (!(flags & DISPATCH_METHOD))
            return DISP_E_MEMBERNOTFOUND;
        HRESULT failure = S_OK;
        if (!logCall(member, L"Attachments.Add(" + describeArguments(&params) + L")", &failure, exception))
            return failure;
        if (params.cArgs < 1)
            return DISP_E_BADPARAMCOUNT;
        // Like Outlook, only an existing file can be attached.
        const VARIANT &source = params.rgvarg[params.cArgs - 1];
        if (source.vt != VT_BSTR || !source.bstrVal
            || GetFileAttributesW(source.bstrVal) == INVALID_FILE_ATTRIBUTES) {
            finishLine(L"exception: Cannot find this file.");
            return raise(exception, L"Cannot find this file. Verify the path and file name are correct.");
        }
        finishLine(L"Attachment");
        return returnObject(result, new Attachment);
    }
};

class MailItem final : public DispatchObject
{
public:
    MailItem() : DispatchObject(L"MailItem") {}

protected:
    const std::vector<std::wstring> &members() const override
    {
        static const std::vector<std::wstring> names = {L"To",         L"CC",       L"BCC",         L"Subject",
                                                        L"BodyFormat", L"Body",     L"HTMLBody",    L"Attachments",
                                                        L"Display"};
        return names;
    }
    bool answersTo(REFIID iid) const override { return iid == IID_MailItem; }

    HRESULT call(const std::wstring &member, WORD flags, const DISPPARAMS &params, VARIANT *result,
                 EXCEPINFO *exception) override
    {
        HRESULT failure = S_OK;
        if (member == L"Display") {
            if (!(flags & DISPATCH_METHOD))
                return DISP_E_MEMBERNOTFOUND;
            if (!logCall(member, L"MailItem.Display(" + describeArguments(&params) + L")", &failure, exception))
                return failure;
            finishLine();
            if (result)
                VariantInit(result);
            return S_OK;
        }
        if (member == L"Attachments") {
            if (!(flags & DISPATCH_PROPERTYGET))
                return DISP_E_MEMBERNOTFOUND;
            if (!logCall(member, L"MailItem.Attachments", &failure, exception))
                return failure;
            finishLine(L"Attachments");
            return returnObject(result, new Attachments);
        }
        // The properties: only puts are used.
        if (!(flags & DISPATCH_PROPERTYPUT))
            return DISP_E_MEMBERNOTFOUND;
        if (params.cArgs != 1 || params.cNamedArgs != 1 || params.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
            return DISP_E_BADPARAMCOUNT;
        if (!logCall(member, L"MailItem." + member + L" = " + describe(params.rgvarg[0]), &failure, exception))
            return failure;
        finishLine();
        return S_OK;
    }
};

class Application final : public DispatchObject
{
public:
    Application() : DispatchObject(L"Application") { writeLog(L"new Application"); }

protected:
    const std::vector<std::wstring> &members() const override
    {
        static const std::vector<std::wstring> names = {L"CreateItem"};
        return names;
    }
    HRESULT call(const std::wstring &member, WORD flags, const DISPPARAMS &params, VARIANT *result,
                 EXCEPINFO *exception) override
    {
        if (!(flags & DISPATCH_METHOD))
            return DISP_E_MEMBERNOTFOUND;
        HRESULT failure = S_OK;
        if (!logCall(member, L"Application.CreateItem(" + describeArguments(&params) + L")", &failure, exception))
            return failure;
        if (params.cArgs != 1 || params.rgvarg[0].vt != VT_I4 || params.rgvarg[0].lVal != 0) {
            finishLine(L"exception: only mail items (VT_I4 0) are made here");
            return raise(exception, L"The stand-in makes mail items only.");
        }
        finishLine(L"MailItem");
        return returnObject(result, new MailItem);
    }
};

class Factory final : public IClassFactory
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = static_cast<IClassFactory *>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID iid, void **object) override
    {
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        // One application object per process: once this call is answered the
        // class is offered no more, so that the next launch starts a process
        // of its own rather than reach this one while it ends.
        PostThreadMessageW(g_mainThread, WM_APP, 0, 0);
        if (failsNow(L"Application")) {
            writeLog(L"new Application -> failed: CO_E_SERVER_EXEC_FAILURE");
            quitWhenUnused();
            return CO_E_SERVER_EXEC_FAILURE;
        }
        Application *application = new Application;
        const HRESULT hr = application->QueryInterface(iid, object);
        application->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock) {
            InterlockedIncrement(&g_locks);
        } else {
            InterlockedDecrement(&g_locks);
            quitWhenUnused();
        }
        return S_OK;
    }
};

} // namespace

IClassFactory *applicationFactory()
{
    static Factory factory;
    return &factory;
}

} // namespace standin
