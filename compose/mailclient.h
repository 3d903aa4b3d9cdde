#pragma once

#include <QString>

#include <memory>

namespace compose {

// The body formats a mail item knows, with the mail client's own numbers.
enum class BodyFormat { Plain = 1, Html = 2, RichText = 3 };

// The text properties of a mail item that a launch puts.
enum class TextProperty { To, CC, BCC, Subject, Body, HTMLBody };

// One new mail item in the desktop mail client. Every operation returns false
// when it cannot be carried out, and errorString() then says why. Releasing
// the object lets go of the item; a displayed item stays open in the client.
class MailItem
{
public:
    virtual ~MailItem() = default;

    virtual bool put(TextProperty property, const QString &value) = 0;
    virtual bool putBodyFormat(BodyFormat format) = 0;
    // Attachments.Add: attaches the file that the path names.
    virtual bool addAttachment(const QString &source) = 0;
    // Shows the item to the user, without waiting for them.
    virtual bool display() = 0;

    virtual QString errorString() const = 0;
    // After display(): something the user should be told (for example where
    // a draft was saved), or an empty text.
    virtual QString notice() const { return QString(); }
    // After display() failed: whether the user chose to open nothing (then
    // there is nothing to report).
    virtual bool cancelled() const { return false; }
};

// The mail client's application object, made anew for every launch.
class MailClient
{
public:
    virtual ~MailClient() = default;

    // CreateItem: itemType 0 is a mail item. Returns null on failure.
    virtual std::unique_ptr<MailItem> createItem(int itemType) = 0;
    virtual QString errorString() const = 0;
};

} // namespace compose
