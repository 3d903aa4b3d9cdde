#include "compose/message.h"

#include "compose/attachmentcheck.h"

#include <QFileInfo>

namespace compose {

bool CollectingMailItem::put(TextProperty property, const QString &value)
{
    switch (property) {
    case TextProperty::To: m_message.to = value; break;
    case TextProperty::CC: m_message.cc = value; break;
    case TextProperty::BCC: m_message.bcc = value; break;
    case TextProperty::Subject: m_message.subject = value; break;
    case TextProperty::Body:
    case TextProperty::HTMLBody:
        // Like Outlook's item, whichever body was put last is the body, in
        // the format that was set for it.
        m_message.body = value;
        break;
    }
    return true;
}

bool CollectingMailItem::putBodyFormat(BodyFormat format)
{
    m_message.format = format;
    return true;
}

bool CollectingMailItem::addAttachment(const QString &source)
{
    if (!checkAttachment(source, &m_error))
        return false;
    m_message.attachments.append(QFileInfo(source).absoluteFilePath());
    return true;
}

} // namespace compose
