#pragma once

// A mail client for tests: it displays nothing and writes one line per call
// into a log that the test keeps. The lines, in calling order:
//
//   "CreateItem 0"
//   "To=<text>", "CC=<text>", "BCC=<text>", "Subject=<text>",
//   "Body=<text>", "HTMLBody=<text>"       (texts as put, unchanged)
//   "BodyFormat=3", "BodyFormat=1", "BodyFormat=2"
//   "Attachments.Add <path>"
//   "Display"
//   "Release"                               (the item was let go of)
//
// Like a real client, Attachments.Add fails for a path that names no
// readable file. Any one operation can be made to fail on purpose; the failed
// call is still logged, followed by "failed". onCall, when set, runs after
// each line is logged (for example to look at the window meanwhile).
//
//   auto log = std::make_shared<QStringList>();
//   auto outcome = ComposeEmail(editor, pairs, RecordingMailClient::factory(log));
//   QCOMPARE(log->last(), QStringLiteral("Release"));

#include "compose/attachmentcheck.h"
#include "compose/compose.h"
#include "compose/mailclient.h"

#include <QStringList>

#include <functional>
#include <map>
#include <memory>

namespace compose {

class RecordingMailClient final : public MailClient
{
public:
    using Log = std::shared_ptr<QStringList>;

    enum class Operation { None, Create, CreateItem, Put, BodyFormat, AttachmentsAdd, Display };

    // The operation that fails, and which call of it (1 = the first).
    // Operation::Create makes the factory itself fail.
    struct Failure
    {
        Operation operation = Operation::None;
        int occurrence = 1;
    };

    // What the clients of one factory share: the log, the failure and the
    // count of each operation's calls.
    struct Shared
    {
        Log log;
        Failure failure;
        std::function<void(const QString &line)> onCall;
        std::map<Operation, int> calls;

        // Logs the call's line (if any); false, with "failed" logged and
        // error set, when it is the call told to fail.
        bool call(Operation op, const QString &line, QString *error)
        {
            if (!line.isEmpty()) {
                log->append(line);
                if (onCall)
                    onCall(line);
            }
            if (failure.operation != op || failure.occurrence != ++calls[op])
                return true;
            if (!line.isEmpty())
                log->append(QStringLiteral("failed"));
            *error = line.isEmpty() ? QStringLiteral("The recording mail client was told not to start.")
                                    : QStringLiteral("The recording mail client was told to fail at \"%1\".").arg(line);
            return false;
        }
    };

    // A factory for ComposeEmail that makes a recording client per launch;
    // all of them write into the same log and share the failure's count.
    static MailClientFactory factory(Log log) { return factory(std::move(log), Failure()); }
    static MailClientFactory factory(Log log, Failure failure, std::function<void(const QString &)> onCall = {})
    {
        auto shared = std::make_shared<Shared>(Shared{std::move(log), failure, std::move(onCall), {}});
        return [shared](QString *errorText) -> std::unique_ptr<MailClient> {
            QString error;
            if (shared->call(Operation::Create, QString(), &error))
                return std::make_unique<RecordingMailClient>(shared);
            if (errorText)
                *errorText = error;
            return nullptr;
        };
    }

    explicit RecordingMailClient(std::shared_ptr<Shared> shared) : m_shared(std::move(shared)) {}

    std::unique_ptr<MailItem> createItem(int itemType) override
    {
        if (!m_shared->call(Operation::CreateItem, QStringLiteral("CreateItem %1").arg(itemType), &m_error))
            return nullptr;
        return std::make_unique<Item>(m_shared);
    }
    QString errorString() const override { return m_error; }

private:
    class Item final : public MailItem
    {
    public:
        explicit Item(std::shared_ptr<Shared> shared) : m_shared(std::move(shared)) {}
        ~Item() override { m_shared->log->append(QStringLiteral("Release")); }

        bool put(TextProperty property, const QString &value) override
        {
            static const char *const names[] = {"To", "CC", "BCC", "Subject", "Body", "HTMLBody"};
            return m_shared->call(Operation::Put, QLatin1String(names[static_cast<int>(property)]) + u'=' + value,
                                  &m_error);
        }
        bool putBodyFormat(BodyFormat format) override
        {
            return m_shared->call(Operation::BodyFormat,
                                  QStringLiteral("BodyFormat=%1").arg(static_cast<int>(format)), &m_error);
        }
        bool addAttachment(const QString &source) override
        {
            if (!m_shared->call(Operation::AttachmentsAdd, QStringLiteral("Attachments.Add ") + source, &m_error))
                return false;
            if (checkAttachment(source, &m_error))
                return true;
            m_shared->log->append(QStringLiteral("failed"));
            return false;
        }
        bool display() override { return m_shared->call(Operation::Display, QStringLiteral("Display"), &m_error); }
        QString errorString() const override { return m_error; }

    private:
        std::shared_ptr<Shared> m_shared;
        QString m_error;
    };

    std::shared_ptr<Shared> m_shared;
    QString m_error;
};

} // namespace compose
