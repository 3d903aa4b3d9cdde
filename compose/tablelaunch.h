#pragma once

#include "compose/compose.h"
#include "substitute/answertable.h"

#include <QStringList>

#include <functional>

// One template launched for every row of a table of answers.
namespace compose {

// The mail program that launches go to, as the user knows it
// ("Thunderbird", "Outlook"); empty when the desktop names none.
QString mailProgramName(const DesktopMailSetup &setup);

// The folder that the drafts of a launch are saved in.
QString draftsFolder(const DesktopMailSetup &setup);

// A mail client that saves each message as an unsent draft in draftsFolder
// and opens none; the item's notice names the draft.
MailClientFactory draftFiles(const DesktopMailSetup &setup);

// What is asked before the table's messages are opened ("Open 37 messages
// in Thunderbird?"), or saved as drafts in draftsFolder when that is not
// empty; naming the columns that no question asks for.
QString tableQuestion(const substitute::AnswerTable &table, const QString &programName,
                      const QString &draftsFolder = {});

struct TableOutcome
{
    int done = 0;        // the rows whose message was opened (or saved), from the first on
    bool cancelled = false; // the user chose to open nothing more
    // Why the rest was not opened, naming the rows opened and the row that
    // failed; empty when every row was opened, or when nothing was and the
    // user chose so.
    QString failure;
    QStringList notices; // what the mail client told of each row ("Row 3: ...")
};

// Whether a message that the mail client displayed did what it was to do:
// empty when it did, else why not.
using RowCheck = std::function<QString(const LaunchOutcome &)>;

// Launches the template in the editor once for each row of the table, one
// after another, as ComposeEmail does, the row's answers and the calendar's
// dates filling the placeholders; the first row that fails ends it.
TableOutcome LaunchEachRow(store::TemplateEditor &editor, substitute::PairBoxes &pairs,
                           const MailClientFactory &clients, const substitute::AnswerTable &table,
                           const substitute::Calendar &calendar, const QString &dataFolder, bool drafts = false,
                           const RowCheck &check = {});

} // namespace compose
