// A stand-in for Outlook's automation server, for tst_outlook_win: from
// start() to stop(), the class object of the ProgID "Outlook.Application",
// registered in the test's own process, whose window asks COM for it. It
// offers, through IDispatch, the part of Outlook's object model that
// Letterloom's Launch uses (Application.CreateItem; MailItem's To, CC, BCC,
// Subject, BodyFormat, Body and HTMLBody puts, Attachments and Display;
// Attachments.Add), and logs one line per call, with every value and its
// VARIANT type. It can be told to fail at any one call with a COM exception:
// failAt names the member ("CreateItem", "To", ..., "Add", "Display"),
// optionally followed by "#n" for its n-th call in one application (the
// first when left out).
//
// The log's lines, in calling order:
//   new Application
//   Application.CreateItem(VT_I4 0) -> MailItem
//   MailItem.To = VT_BSTR "text"            (also CC, BCC, Subject, Body, HTMLBody)
//   MailItem.BodyFormat = VT_I4 3
//   MailItem.Attachments -> Attachments
//   Attachments.Add(VT_BSTR "C:\file") -> Attachment
//   MailItem.Display()
//   release Attachment | Attachments | MailItem | Application
// A call that fails ends its line with " -> exception: <description>". A value
// of another type than VT_BSTR or VT_I4 shows as its type's number ("VT 11").
// Texts stand between quotes as they are.

#include <QMap>
#include <QStringList>

#include <windows.h>
#include <oleauto.h>

#include <iterator>

// COM objects go through their own Release, never through a delete of an
// interface pointer, so COM's interfaces need no virtual destructor.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif

namespace outlookstandin {
QStringList log;
QString failAt;
} // namespace outlookstandin

namespace {

using outlookstandin::log;

// The server's own class; the ProgID is what points Letterloom at it.
const wchar_t kClassId[] = L"{6B1E2D43-5A7C-4F0E-9D21-3C8E47550A19}";
// Outlook's own identifier for _MailItem, which Letterloom asks the created
// item for.
const IID IID_MailItem = {0x00063034, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const wchar_t kProgIdKey[] = L"Outlook.Application";

QMap<QString, int> g_calls; // calls per member name in this application
DWORD g_cookie = 0;         // the class object's registration

// Whether this call of member is the one that must fail; counts the call.
bool failsNow(const QString &member)
{
    const int n = ++g_calls[member];
    const QString &failAt = outlookstandin::failAt;
    const int occurrence = failAt.contains(u'#') ? failAt.section(u'#', 1).toInt() : 1;
    return failAt.section(u'#', 0, 0).compare(member, Qt::CaseInsensitive) == 0 && occurrence == n;
}

// A value as the log shows it: its type, then the value. Letterloom passes
// texts and numbers only; anything else shows its type alone, which no line
// a test expects can match.
QString describe(const VARIANT &value)
{
    if (value.vt == VT_BSTR && value.bstrVal)
        return "VT_BSTR \"" + QString::fromWCharArray(value.bstrVal, SysStringLen(value.bstrVal)) + u'"';
    if (value.vt == VT_I4)
        return QStringLiteral("VT_I4 %1").arg(value.lVal);
    return QStringLiteral("VT %1").arg(value.vt);
}

// The objects of Outlook's model that the stand-in makes, under the names the
// log gives them.
enum Kind { Nothing, Application, MailItem, Attachments, Attachment };
const char *const kKindNames[] = {"", "Application", "MailItem", "Attachments", "Attachment"};

struct Member
{
    Kind owner;
    const char *name;
    WORD access; // DISPATCH_METHOD, DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT
    Kind returns;
};

// The members Letterloom uses; a member's DISPID is its place here, from 1.
// Every argument is logged, so a test that compares the log sees each one.
const Member kMembers[] = {
    {Application, "CreateItem", DISPATCH_METHOD, MailItem},
    {MailItem, "To", DISPATCH_PROPERTYPUT, Nothing},
    {MailItem, "CC", DISPATCH_PROPERTYPUT, Nothing},
    {MailItem, "BCC", DISPATCH_PROPERTYPUT, Nothing},
    {MailItem, "Subject", DISPATCH_PROPERTYPUT, Nothing},
    {MailItem, "BodyFormat", DISPATCH_PROPERTYPUT, Nothing},
    {MailItem, "Body", DISPATCH_PROPERTYPUT, Nothing},
    {MailItem, "HTMLBody", DISPATCH_PROPERTYPUT, Nothing},
    {MailItem, "Attachments", DISPATCH_PROPERTYGET, Attachments},
    {MailItem, "Display", DISPATCH_METHOD, Nothing},
    {Attachments, "Add", DISPATCH_METHOD, Attachment},
};
const DISPID kMemberCount = static_cast<DISPID>(std::size(kMembers));

// A call as the log shows it, without its outcome. A method's arguments are
// shown in the order they were written: COM passes them last first.
QString callLine(const Member &member, const DISPPARAMS &params)
{
    QString line = QLatin1String(kKindNames[member.owner]) + u'.' + QLatin1String(member.name);
    if (member.access == DISPATCH_PROPERTYPUT)
        return line + " = " + describe(params.rgvarg[0]);
    if (member.access != DISPATCH_METHOD)
        return line;
    QStringList arguments;
    for (UINT i = params.cArgs; i > 0; --i)
        arguments << describe(params.rgvarg[i - 1]);
    return line + u'(' + arguments.join(", ") + u')';
}

// Any object of the model: its members are those of kMembers it owns, every
// call to them is logged, and so is its release.
class Object final : public IDispatch
{
public:
    explicit Object(Kind kind) : m_kind(kind) {}
    ~Object() { log << QStringLiteral("release %1").arg(QLatin1String(kKindNames[m_kind])); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IID_IDispatch && !(m_kind == MailItem && iid == IID_MailItem))
            return E_NOINTERFACE;
        *object = static_cast<IDispatch *>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
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
            if (kMembers[id - 1].owner == m_kind
                && QString::fromWCharArray(names[0]).compare(QLatin1String(kMembers[id - 1].name), Qt::CaseInsensitive)
                       == 0)
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

        const QString line = callLine(member, *params);
        if (failsNow(QLatin1String(member.name))) {
            const QString description = QStringLiteral("The stand-in was told to fail at %1.").arg(member.name);
            log << line + " -> exception: " + description;
            if (exception) {
                *exception = EXCEPINFO();
                exception->bstrDescription = SysAllocString(qUtf16Printable(description));
                exception->scode = E_FAIL;
            }
            return DISP_E_EXCEPTION;
        }
        log << (member.returns == Nothing ? line : line + " -> " + kKindNames[member.returns]);
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
    ULONG m_references = 1;
};

// The class object that makes the application objects, each with fresh call
// counts, as a launch that starts Outlook anew has.
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
        g_calls.clear();
        log << "new Application";
        Object *application = new Object(Application);
        const HRESULT hr = application->QueryInterface(iid, object);
        application->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
} g_factory;

} // namespace

namespace outlookstandin {

// The ProgID in the classes root and the class object offered as a local
// server only, as Outlook's is (not in process, which REGCLS_MULTIPLEUSE would
// add), in the apartment of the calling thread.
bool start()
{
    CLSID classId;
    const DWORD size = static_cast<DWORD>(sizeof kClassId);
    return SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) && SUCCEEDED(CLSIDFromString(kClassId, &classId))
        && RegSetKeyValueW(HKEY_CLASSES_ROOT, L"Outlook.Application\\CLSID", nullptr, REG_SZ, kClassId, size) == 0
        && SUCCEEDED(CoRegisterClassObject(classId, &g_factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTI_SEPARATE, &g_cookie));
}

void stop()
{
    CoRevokeClassObject(g_cookie);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgIdKey);
    CoUninitialize();
}

} // namespace outlookstandin
