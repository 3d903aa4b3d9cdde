#pragma once

#include "compose/compose.h"
#include "compose/mailclient.h"

#include <QStringList>

#include <memory>

namespace compose {

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
// call is still logged, followed by "failed".
//
//   auto log = std::make_shared<QStringList>();
//   auto outcome = ComposeEmail(editor, pairs, RecordingMailClient::factory(log));
//   QCOMPARE(log->last(), QStringLiteral("Release"));
class RecordingMailClient final : public MailClient
{
public:
    using Log = std::shared_ptr<QStringList>;

    enum class Operation { None, Create, CreateItem, Put, BodyFormat, AttachmentsAdd, Display };

    // failing: the operation that fails; occurrence: which call of it fails
    // (1 = the first). Operation::Create makes the factory itself fail.
    struct Failure
    {
        Operation operation = Operation::None;
        int occurrence = 1;
    };

    explicit RecordingMailClient(Log log);
    RecordingMailClient(Log log, Failure failure);

    // A factory for ComposeEmail that makes a recording client per launch;
    // all of them write into the same log and share the failure's count.
    static MailClientFactory factory(Log log);
    static MailClientFactory factory(Log log, Failure failure);

    std::unique_ptr<MailItem> createItem(int itemType) override;
    QString errorString() const override;

private:
    struct Shared;
    RecordingMailClient(Log log, std::shared_ptr<Shared> shared);

    Log m_log;
    std::shared_ptr<Shared> m_shared;
    QString m_error;

    friend class RecordingMailItem;
};

} // namespace compose
