#pragma once

#include "compose/mailclient.h"

#include <QString>
#include <QStringList>

namespace compose {

// Everything put into one mail item, kept until it is displayed.
struct Message
{
    QString to, cc, bcc, subject;
    BodyFormat format = BodyFormat::RichText;
    QString body;            // plain text (line ends as typed) or HTML
    QStringList attachments; // absolute paths of readable files, in order

    bool isHtml() const { return format == BodyFormat::Html; }
};

// The item of a mail client that shows the message only when it is
// displayed: the puts and adds are collected here, so that a failure before
// Display leaves nothing behind in the client.
class CollectingMailItem : public MailItem
{
public:
    bool put(TextProperty property, const QString &value) override;
    bool putBodyFormat(BodyFormat format) override;
    // Fails for a path that names no readable file.
    bool addAttachment(const QString &source) override;
    QString errorString() const override { return m_error; }
    QString notice() const override { return m_notice; }

protected:
    Message m_message;
    QString m_error;
    QString m_notice;
};

} // namespace compose
