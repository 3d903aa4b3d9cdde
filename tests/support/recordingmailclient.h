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

    struct Shared
    {
        Failure failure;
        std::map<Operation, int> calls;
        std::function<void(const QString &line)> onCall;

        bool failsNow(Operation op)
        {
            const int n = ++calls[op];
            return failure.operation == op && failure.occurrence == n;
        }
    };

    // A factory for ComposeEmail that makes a recording client per launch;
    // all of them write into the same log and share the failure's count.
    static MailClientFactory factory(Log log) { return factory(std::move(log), Failure()); }
    static MailClientFactory factory(Log log, Failure failure, std::function<void(const QString &)> onCall = {})
    {
        auto shared = std::make_shared<Shared>(Shared{failure, {}, std::move(onCall)});
        return [log, shared](QString *errorText) -> std::unique_ptr<MailClient> {
            if (shared->failsNow(Operation::Create)) {
                if (errorText)
                    *errorText = QStringLiteral("The recording mail client was told not to start.");
                return nullptr;
            }
            return std::make_unique<RecordingMailClient>(log, shared);
        };
    }

    RecordingMailClient(Log log, std::shared_ptr<Shared> shared) : m_log(std::move(log)), m_shared(std::move(shared))
    {
    }

    std::unique_ptr<MailItem> createItem(int itemType) override
    {
        append(QStringLiteral("CreateItem %1").arg(itemType));
        if (m_shared->failsNow(Operation::CreateItem)) {
            append(QStringLiteral("failed"));
            m_error = QStringLiteral("The recording mail client was told not to create an item.");
            return nullptr;
        }
        return std::make_unique<Item>(m_log, m_shared);
    }
    QString errorString() const override { return m_error; }

private:
    void append(const QString &line)
    {
        m_log->append(line);
        if (m_shared->onCall)
            m_shared->onCall(line);
    }

    class Item final : public MailItem
    {
    public:
        Item(Log log, std::shared_ptr<Shared> shared) : m_log(std::move(log)), m_shared(std::move(shared)) {}
        ~Item() override { m_log->append(QStringLiteral("Release")); }

        bool put(TextProperty property, const QString &value) override
        {
            static const char *const names[] = {"To", "CC", "BCC", "Subject", "Body", "HTMLBody"};
            return record(Operation::Put, QLatin1String(names[static_cast<int>(property)]) + u'=' + value);
        }
        bool putBodyFormat(BodyFormat format) override
        {
            return record(Operation::BodyFormat, QStringLiteral("BodyFormat=%1").arg(static_cast<int>(format)));
        }
        bool addAttachment(const QString &source) override
        {
            if (!record(Operation::AttachmentsAdd, QStringLiteral("Attachments.Add ") + source))
                return false;
            if (checkAttachment(source, &m_error))
                return true;
            m_log->append(QStringLiteral("failed"));
            return false;
        }
        bool display() override { return record(Operation::Display, QStringLiteral("Display")); }
        QString errorString() const override { return m_error; }

    private:
        bool record(Operation op, const QString &line)
        {
            m_log->append(line);
            if (m_shared->onCall)
                m_shared->onCall(line);
            if (!m_shared->failsNow(op))
                return true;
            m_log->append(QStringLiteral("failed"));
            m_error = QStringLiteral("The recording mail client was told to fail at \"%1\".").arg(line);
            return false;
        }

        Log m_log;
        std::shared_ptr<Shared> m_shared;
        QString m_error;
    };

    Log m_log;
    std::shared_ptr<Shared> m_shared;
    QString m_error;
};

} // namespace compose
