// The desktop mail client on Windows: Microsoft Outlook.

#include "compose/compose.h"
#include "compose/outlookautomation_win.h"

#include <QDir>

namespace compose {
namespace {

const wchar_t *propertyName(TextProperty property)
{
    switch (property) {
    case TextProperty::To: return L"To";
    case TextProperty::CC: return L"CC";
    case TextProperty::BCC: return L"BCC";
    case TextProperty::Subject: return L"Subject";
    case TextProperty::Body: return L"Body";
    case TextProperty::HTMLBody: return L"HTMLBody";
    }
    return L"";
}

class OutlookMailItem final : public MailItem
{
public:
    explicit OutlookMailItem(std::unique_ptr<outlook::MailItem> item) : m_item(std::move(item)) {}

    bool put(TextProperty property, const QString &value) override
    {
        return m_item->putText(propertyName(property), value.toStdWString(), &m_error);
    }
    bool putBodyFormat(BodyFormat format) override
    {
        return m_item->putNumber(L"BodyFormat", static_cast<long>(format), &m_error);
    }
    bool addAttachment(const QString &source) override
    {
        // Outlook is given the path the way Windows writes it.
        return m_item->addAttachment(QDir::toNativeSeparators(source).toStdWString(), &m_error);
    }
    bool display() override { return m_item->display(&m_error); }
    QString errorString() const override { return QString::fromStdWString(m_error); }

private:
    std::unique_ptr<outlook::MailItem> m_item;
    std::wstring m_error;
};

class OutlookMailClient final : public MailClient
{
public:
    explicit OutlookMailClient(std::unique_ptr<outlook::Application> application)
        : m_application(std::move(application))
    {
    }

    std::unique_ptr<MailItem> createItem(int itemType) override
    {
        std::unique_ptr<outlook::MailItem> item = m_application->createItem(itemType, &m_error);
        if (!item)
            return nullptr;
        return std::make_unique<OutlookMailItem>(std::move(item));
    }
    QString errorString() const override { return QString::fromStdWString(m_error); }

private:
    std::unique_ptr<outlook::Application> m_application;
    std::wstring m_error;
};

} // namespace

std::unique_ptr<MailClient> createDesktopMailClient(QString *errorText)
{
    std::wstring error;
    std::unique_ptr<outlook::Application> application = outlook::Application::create(&error);
    if (!application) {
        if (errorText)
            *errorText = QString::fromStdWString(error);
        return nullptr;
    }
    return std::make_unique<OutlookMailClient>(std::move(application));
}

} // namespace compose
