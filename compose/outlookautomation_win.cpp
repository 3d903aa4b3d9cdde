#include "outlookautomation_win.h"

#include <windows.h>
#include <oleauto.h>

namespace compose::outlook {
namespace {

// _MailItem's interface identifier in Outlook's object model.
const IID IID_MailItem = {0x00063034, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

std::wstring systemMessage(HRESULT hr)
{
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t *>(&text), 0,
                                        nullptr);
    std::wstring message;
    if (length > 0 && text) {
        message.assign(text, length);
        while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
            message.pop_back();
    }
    if (text)
        LocalFree(text);
    if (message.empty()) {
        wchar_t code[32];
        swprintf(code, 32, L"error 0x%08lX", static_cast<unsigned long>(hr));
        message = code;
    }
    return message;
}

void setError(std::wstring *error, const std::wstring &text)
{
    if (error)
        *error = text;
}

// Calls a method or gets or puts a property by name. args are in COM's
// order: the last argument first.
bool invoke(IDispatch *object, const wchar_t *name, WORD kind, VARIANT *args, UINT argCount, VARIANT *result,
            std::wstring *error)
{
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        setError(error, std::wstring(L"Outlook does not know \"") + name + L"\": " + systemMessage(hr));
        return false;
    }
    DISPID namedPut = DISPID_PROPERTYPUT;
    DISPPARAMS params = {args, nullptr, argCount, 0};
    if (kind == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &namedPut;
        params.cNamedArgs = 1;
    }
    EXCEPINFO exception = {};
    UINT badArgument = 0;
    if (result)
        VariantInit(result);
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, &exception, &badArgument);
    if (SUCCEEDED(hr))
        return true;
    std::wstring why;
    if (hr == DISP_E_EXCEPTION) {
        if (exception.pfnDeferredFillIn)
            exception.pfnDeferredFillIn(&exception);
        if (exception.bstrDescription)
            why.assign(exception.bstrDescription, SysStringLen(exception.bstrDescription));
        if (why.empty() && FAILED(exception.scode))
            why = systemMessage(exception.scode);
    }
    if (why.empty())
        why = systemMessage(hr);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    setError(error, std::wstring(L"Outlook failed at \"") + name + L"\": " + why);
    return false;
}

// A VARIANT holding a copy of a text, freed when it goes.
struct TextArgument
{
    VARIANT value;
    explicit TextArgument(const std::wstring &text)
    {
        VariantInit(&value);
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    ~TextArgument() { VariantClear(&value); }
    TextArgument(const TextArgument &) = delete;
    TextArgument &operator=(const TextArgument &) = delete;
};

// The object a call returned; null (and error set) when it returned none.
IDispatch *takeObject(VARIANT &result, const wchar_t *what, std::wstring *error)
{
    if (result.vt == VT_DISPATCH && result.pdispVal) {
        IDispatch *object = result.pdispVal;
        result.vt = VT_EMPTY; // the reference moves to the caller
        return object;
    }
    VariantClear(&result);
    setError(error, std::wstring(L"Outlook returned no ") + what + L".");
    return nullptr;
}

} // namespace

std::unique_ptr<Application> Application::create(std::wstring *error)
{
    // The window's thread may have entered COM already; either way, COM is
    // left as often as it was entered here.
    const HRESULT entered = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const bool uninitialize = SUCCEEDED(entered);
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(L"Outlook.Application", &clsid);
    IDispatch *application = nullptr;
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                              reinterpret_cast<void **>(&application));
    if (FAILED(hr) || !application) {
        setError(error, L"Microsoft Outlook could not be started: " + systemMessage(hr));
        if (uninitialize)
            CoUninitialize();
        return nullptr;
    }
    return std::unique_ptr<Application>(new Application(application, uninitialize));
}

Application::Application(IDispatch *application, bool uninitialize)
    : m_application(application), m_uninitialize(uninitialize)
{
}

Application::~Application()
{
    m_application->Release();
    if (m_uninitialize)
        CoUninitialize();
}

std::unique_ptr<MailItem> Application::createItem(int itemType, std::wstring *error)
{
    VARIANT type;
    VariantInit(&type);
    type.vt = VT_I4;
    type.lVal = itemType;
    VARIANT result;
    if (!invoke(m_application, L"CreateItem", DISPATCH_METHOD, &type, 1, &result, error))
        return nullptr;
    IDispatch *created = takeObject(result, L"item", error);
    if (!created)
        return nullptr;
    IDispatch *item = nullptr;
    const HRESULT hr = created->QueryInterface(IID_MailItem, reinterpret_cast<void **>(&item));
    created->Release();
    if (FAILED(hr) || !item) {
        setError(error, L"Outlook made an item that is not a mail item.");
        return nullptr;
    }
    return std::unique_ptr<MailItem>(new MailItem(item));
}

MailItem::MailItem(IDispatch *item) : m_item(item) {}

MailItem::~MailItem()
{
    m_item->Release();
}

bool MailItem::putText(const wchar_t *property, const std::wstring &value, std::wstring *error)
{
    TextArgument text(value);
    if (!text.value.bstrVal && !value.empty()) {
        setError(error, L"Out of memory.");
        return false;
    }
    return invoke(m_item, property, DISPATCH_PROPERTYPUT, &text.value, 1, nullptr, error);
}

bool MailItem::putNumber(const wchar_t *property, long value, std::wstring *error)
{
    VARIANT number;
    VariantInit(&number);
    number.vt = VT_I4;
    number.lVal = value;
    return invoke(m_item, property, DISPATCH_PROPERTYPUT, &number, 1, nullptr, error);
}

bool MailItem::addAttachment(const std::wstring &source, std::wstring *error)
{
    VARIANT result;
    if (!invoke(m_item, L"Attachments", DISPATCH_PROPERTYGET, nullptr, 0, &result, error))
        return false;
    IDispatch *attachments = takeObject(result, L"Attachments collection", error);
    if (!attachments)
        return false;
    TextArgument path(source);
    VARIANT added;
    const bool ok = invoke(attachments, L"Add", DISPATCH_METHOD, &path.value, 1, &added, error);
    if (ok)
        VariantClear(&added); // the attachment object is let go of at once
    attachments->Release();
    return ok;
}

bool MailItem::display(std::wstring *error)
{
    VARIANT result;
    const bool ok = invoke(m_item, L"Display", DISPATCH_METHOD, nullptr, 0, &result, error);
    if (ok)
        VariantClear(&result);
    return ok;
}

} // namespace compose::outlook
