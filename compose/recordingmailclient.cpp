#include "compose/recordingmailclient.h"

#include "compose/attachmentcheck.h"

#include <map>

namespace compose {

struct RecordingMailClient::Shared
{
    Failure failure;
    std::map<Operation, int> calls;

    // Counts one call of op; true when this is the call that must fail.
    bool failsNow(Operation op)
    {
        const int n = ++calls[op];
        return failure.operation == op && failure.occurrence == n;
    }
};

namespace {

QString propertyName(TextProperty property)
{
    switch (property) {
    case TextProperty::To: return QStringLiteral("To");
    case TextProperty::CC: return QStringLiteral("CC");
    case TextProperty::BCC: return QStringLiteral("BCC");
    case TextProperty::Subject: return QStringLiteral("Subject");
    case TextProperty::Body: return QStringLiteral("Body");
    case TextProperty::HTMLBody: return QStringLiteral("HTMLBody");
    }
    return QString();
}

} // namespace

class RecordingMailItem final : public MailItem
{
public:
    RecordingMailItem(RecordingMailClient::Log log, std::shared_ptr<RecordingMailClient::Shared> shared)
        : m_log(std::move(log)), m_shared(std::move(shared))
    {
    }
    ~RecordingMailItem() override { m_log->append(QStringLiteral("Release")); }

    bool put(TextProperty property, const QString &value) override
    {
        return record(RecordingMailClient::Operation::Put, propertyName(property) + u'=' + value);
    }
    bool putBodyFormat(BodyFormat format) override
    {
        return record(RecordingMailClient::Operation::BodyFormat,
                      QStringLiteral("BodyFormat=%1").arg(static_cast<int>(format)));
    }
    bool addAttachment(const QString &source) override
    {
        if (!record(RecordingMailClient::Operation::AttachmentsAdd,
                    QStringLiteral("Attachments.Add ") + source))
            return false;
        if (!checkAttachment(source, &m_error)) {
            m_log->append(QStringLiteral("failed"));
            return false;
        }
        return true;
    }
    bool display() override { return record(RecordingMailClient::Operation::Display, QStringLiteral("Display")); }
    QString errorString() const override { return m_error; }

private:
    bool record(RecordingMailClient::Operation op, const QString &line)
    {
        m_log->append(line);
        if (!m_shared->failsNow(op))
            return true;
        m_log->append(QStringLiteral("failed"));
        m_error = QStringLiteral("The recording mail client was told to fail at \"%1\".").arg(line);
        return false;
    }

    RecordingMailClient::Log m_log;
    std::shared_ptr<RecordingMailClient::Shared> m_shared;
    QString m_error;
};

RecordingMailClient::RecordingMailClient(Log log) : RecordingMailClient(std::move(log), Failure{}) {}

RecordingMailClient::RecordingMailClient(Log log, Failure failure)
    : RecordingMailClient(std::move(log), std::make_shared<Shared>(Shared{failure, {}}))
{
}

RecordingMailClient::RecordingMailClient(Log log, std::shared_ptr<Shared> shared)
    : m_log(std::move(log)), m_shared(std::move(shared))
{
}

MailClientFactory RecordingMailClient::factory(Log log)
{
    return factory(std::move(log), Failure{});
}

MailClientFactory RecordingMailClient::factory(Log log, Failure failure)
{
    auto shared = std::make_shared<Shared>(Shared{failure, {}});
    return [log, shared](QString *errorText) -> std::unique_ptr<MailClient> {
        if (shared->failsNow(Operation::Create)) {
            if (errorText)
                *errorText = QStringLiteral("The recording mail client was told not to start.");
            return nullptr;
        }
        return std::unique_ptr<MailClient>(new RecordingMailClient(log, shared));
    };
}

std::unique_ptr<MailItem> RecordingMailClient::createItem(int itemType)
{
    m_log->append(QStringLiteral("CreateItem %1").arg(itemType));
    if (m_shared->failsNow(Operation::CreateItem)) {
        m_log->append(QStringLiteral("failed"));
        m_error = QStringLiteral("The recording mail client was told not to create an item.");
        return nullptr;
    }
    return std::make_unique<RecordingMailItem>(m_log, m_shared);
}

QString RecordingMailClient::errorString() const
{
    return m_error;
}

} // namespace compose
