#include "compose/tablelaunch.h"

#include "compose/handover.h"
#include "compose/message.h"

#include <QCoreApplication>
#include <QDir>

namespace compose {
namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("compose::TableLaunch", text);
}

// A message saved as a draft, opened nowhere.
class DraftFileItem final : public CollectingMailItem
{
public:
    explicit DraftFileItem(QString folder) : m_folder(std::move(folder)) {}

    bool display() override
    {
        // writeDraft puts its reason first, and there is none to give.
        const QString path = writeDraft(m_message, m_folder, QString(), &m_error);
        m_error = m_error.trimmed();
        if (path.isEmpty())
            return false;
        //: %1 is the draft's file.
        m_notice = tr("Saved as a draft in \"%1\".").arg(QDir::toNativeSeparators(path));
        return true;
    }

private:
    QString m_folder; // the hand-over folder, whose "Drafts" it goes into
};

} // namespace

QString draftsFolder(const DesktopMailSetup &setup)
{
    return QDir(completedSetup(setup).handoverDirectory).filePath(QStringLiteral("Drafts"));
}

MailClientFactory draftFiles(const DesktopMailSetup &setup)
{
    const QString folder = completedSetup(setup).handoverDirectory;
    return [folder](QString *) -> std::unique_ptr<MailClient> {
        return std::make_unique<HandingOverClient>([folder] { return std::make_unique<DraftFileItem>(folder); });
    };
}

QString tableQuestion(const substitute::AnswerTable &table, const QString &programName, const QString &draftsFolder)
{
    const qsizetype count = table.rows.size();
    QString text;
    if (!draftsFolder.isEmpty())
        //: %1 is a number of drafts, %2 a folder.
        text = (count == 1 ? tr("Save %1 draft in \"%2\"?") : tr("Save %1 drafts in \"%2\"?"))
                   .arg(count)
                   .arg(QDir::toNativeSeparators(draftsFolder));
    else if (programName.isEmpty())
        text = (count == 1 ? tr("Open %1 message?") : tr("Open %1 messages?")).arg(count);
    else
        //: %1 is a number of messages, %2 a mail program.
        text = (count == 1 ? tr("Open %1 message in %2?") : tr("Open %1 messages in %2?")).arg(count).arg(programName);
    if (!table.ignored.isEmpty()) {
        QStringList quoted;
        for (const QString &name : table.ignored)
            quoted << u'"' + name + u'"';
        //: %1 is a list of columns, each in quotes.
        text += QStringLiteral("\n\n")
                + tr("No question asks for the columns %1: they are left out.").arg(quoted.join(QStringLiteral(", ")));
    }
    return text;
}

TableOutcome LaunchEachRow(store::TemplateEditor &editor, substitute::PairBoxes &pairs,
                           const MailClientFactory &clients, const substitute::AnswerTable &table,
                           const substitute::Calendar &calendar, const QString &dataFolder, bool drafts,
                           const RowCheck &check)
{
    TableOutcome outcome;
    for (const substitute::AnswerTable::Row &row : table.rows) {
        const LaunchOutcome launched = ComposeEmail(editor, pairs, clients, {row.answers, calendar}, dataFolder);
        QString failed = launched.displayed ? (check ? check(launched) : QString()) : launched.message;
        if (launched.displayed && failed.isEmpty()) {
            ++outcome.done;
            if (!launched.message.isEmpty())
                //: %1 is a row's number, %2 what the mail client told of it.
                outcome.notices << tr("Row %1: %2").arg(QString::number(row.number), launched.message);
            continue;
        }
        outcome.cancelled = failed.isEmpty(); // the user chose to open nothing
        if (outcome.cancelled && outcome.done == 0)
            return outcome;
        if (outcome.cancelled)
            failed = tr("Nothing was chosen.");
        const int first = table.rows.first().number;
        const int before = outcome.done > 0 ? table.rows.at(outcome.done - 1).number : 0;
        QString done;
        if (outcome.done == 0)
            done = drafts ? tr("No draft was saved.") : tr("No message was opened.");
        else if (first == before)
            //: %1 is a row's number.
            done = (drafts ? tr("The draft of row %1 was saved.") : tr("The message of row %1 was opened.")).arg(first);
        else
            //: %1 and %2 are rows' numbers.
            done = (drafts ? tr("The drafts of rows %1 to %2 were saved.")
                           : tr("The messages of rows %1 to %2 were opened."))
                       .arg(first)
                       .arg(before);
        //: %1 says what was opened, %2 is the failed row's number, %3 why it failed.
        outcome.failure = tr("%1 Row %2 failed: %3").arg(done, QString::number(row.number), failed);
        if (row.number != table.rows.last().number)
            //: %1 is the last row's number.
            outcome.failure += u' ' + tr("Nothing was done for the rows after it, up to row %1.")
                                          .arg(table.rows.last().number);
        return outcome;
    }
    return outcome;
}

} // namespace compose
