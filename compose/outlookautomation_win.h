#pragma once

// Microsoft Outlook reached through COM automation: the Outlook.Application
// object, one _MailItem made with CreateItem, its Attachments collection.
// Late bound through IDispatch, so no Outlook type library is needed to
// build it. Plain C++ and Win32 without Qt, so that any Windows compiler can
// build and check it on its own. Texts are UTF-16, as COM's are.

#include <memory>
#include <string>

struct IDispatch;

namespace compose::outlook {

class MailItem;

class Application
{
public:
    // Starts Outlook, or reaches the one that runs. Null on failure, and
    // error then says why.
    static std::unique_ptr<Application> create(std::wstring *error);
    ~Application();
    Application(const Application &) = delete;
    Application &operator=(const Application &) = delete;

    // CreateItem(itemType); 0 makes a mail item. A result that is not a
    // _MailItem is an error.
    std::unique_ptr<MailItem> createItem(int itemType, std::wstring *error);

private:
    Application(IDispatch *application, bool uninitialize);
    IDispatch *m_application;
    bool m_uninitialize;
};

class MailItem
{
public:
    ~MailItem();
    MailItem(const MailItem &) = delete;
    MailItem &operator=(const MailItem &) = delete;

    // Puts a text property (To, CC, BCC, Subject, Body, HTMLBody) or a number
    // property (BodyFormat).
    bool putText(const wchar_t *property, const std::wstring &value, std::wstring *error);
    bool putNumber(const wchar_t *property, long value, std::wstring *error);
    // Attachments.Add(Source): the collection is fetched anew for each call,
    // and the attachment it returns is released at once.
    bool addAttachment(const std::wstring &source, std::wstring *error);
    // Display() without Modal: returns without waiting for the user.
    bool display(std::wstring *error);

private:
    friend class Application;
    explicit MailItem(IDispatch *item);
    IDispatch *m_item;
};

} // namespace compose::outlook
