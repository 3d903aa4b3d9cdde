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
//           in this process (the first when left out); "Application" makes
//           the creation of the application object itself fail.
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
// A call that fails ends its line with " -> exception: <description>". In
// texts, backslash, quote, CR, LF, TAB and other control characters are
// escaped C-style; other characters stay as they are.


#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

// COM objects go through their own Release, never through a delete of an
// interface pointer, so COM's interfaces need no virtual destructor.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif

namespace standin {

// The server's own class; the ProgID is what points Letterloom at it.
const CLSID CLSID_StandIn = {0x6b1e2d43, 0x5a7c, 0x4f0e, {0x9d, 0x21, 0x3c, 0x8e, 0x47, 0x55, 0x0a, 0x19}};
// Outlook's own identifiers for _MailItem, which Letterloom asks the created
// item for, and the library that describes it here.
const IID IID_MailItem = {0x00063034, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID LIBID_StandIn = {0x6b1e2d44, 0x5a7c, 0x4f0e, {0x9d, 0x21, 0x3c, 0x8e, 0x47, 0x55, 0x0a, 0x19}};
const GUID IID_StdOle = {0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

const wchar_t kProgId[] = L"Outlook.Application";
const wchar_t kSettingsKey[] = L"Software\\Letterloom\\Outlook stand-in";

// The server's state, shared by the object model and the serving loop.
extern DWORD g_mainThread;
extern DWORD g_classCookie; // the class object's registration while it is offered
extern DWORD g_lastCall;    // GetTickCount() of the last call or creation

// The class object that makes the application objects.
IClassFactory *applicationFactory();

} // namespace standin
