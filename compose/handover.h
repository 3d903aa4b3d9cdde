#pragma once

#include "compose/message.h"
#include "platform/desktop.h"

#include <QString>

// What the desktop mail clients of every system share when they hand a
// message to a mail program or save it as a draft.
namespace compose {

// A file name in dir that is not taken yet: stem, the time, the process id
// (so that two running copies never choose the same name in the same
// millisecond), suffix.
QString freshFileName(const QString &dir, const QString &stem, const QString &suffix);

// Whether a started mail program took the message: it still runs, or it
// handed the message to a copy that runs and ended without an error.
bool ranWell(const platform::ProgramRun &run);

// Why a started mail program did not take the message, naming it.
QString runFailure(const QString &name, const platform::ProgramRun &run);

// Writes an HTML body, UTF-8, into the folder "Outgoing" of the hand-over
// folder for a mail program to read, checked to its last byte; bodies of
// earlier days there are removed. The file's path, or an empty text and the
// reason, naming the program.
QString writeOutgoingBody(const QString &handoverDirectory, const QString &html, const QString &programName,
                          QString *error);

// Saves the message as an unsent draft in the folder "Drafts" of the
// hand-over folder. The draft's path, or an empty text and error: reason,
// then why the draft could not be saved either.
QString writeDraft(const Message &message, const QString &handoverDirectory, const QString &reason,
                   QString *error);

} // namespace compose
