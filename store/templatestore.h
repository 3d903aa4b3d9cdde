#pragma once

#include "platform/textfile.h"
#include "store/storednames.h"
#include "store/templateeditor.h"

#include <QString>
#include <QStringList>

namespace store {

// Where the template list's entries go while the data file is read.
class TemplateList
{
public:
    virtual ~TemplateList() = default;
    virtual void addEntry(const QString &entry) = 0;
    // Lets the window process its pending events once.
    virtual void yield() = 0;
};

// What Save did, for the window to show and to add to its list.
struct SaveOutcome
{
    enum class Status {
        Saved,   // body file and data file both appended
        Refused, // the template was refused before anything was written
        Failed,  // a file could not be written; see message
    };
    Status status = Status::Saved;
    QString message;         // the text to show the user: why not, or a notice about the saved files
    bool addsEntry = false;  // whether listEntry goes at the end of the list
    QString listEntry;
};

// What replacing, renaming or deleting a template did. When it was done, the
// data file was rewritten and the list is to be read from it again.
struct ChangeOutcome
{
    enum class Status { Done, Refused, Failed };
    Status status = Status::Done;
    QString message; // why not, or a notice (where a deleted body went)
};

// The data file and the body files of the templates, in the application
// directory. Save appends a new template to both; replacing, renaming and
// deleting rewrite the data file whole, through a new file that takes its
// place only when it is complete, keeping every other line byte for byte.
class TemplateStore
{
public:
    // An empty appDir is filled from the platform on first need.
    explicit TemplateStore(QString appDir = QString());

    // Sets the application directory from the platform when it is still empty.
    void fillAppDir();

    // The data file's whole text, or an empty text when it cannot be read.
    QString ReadDataFile();

    // Lists the application directory once, so that later look-ups of files
    // whose names differ in letter case cost no listing of a large folder.
    // Start-up calls it after the list is filled.
    void IndexFolder();

    // The body file of a template name, taken exactly as typed; an existing
    // file is found whatever the letter case of its name.
    QString BodyFilePath(const QString &name);

    // The whole body file of a name as stored, or an empty text when it is
    // missing or cannot be read.
    QString ReadBody(const QString &name);

    // Saves the template in the editor: checks its name, appends its body to
    // the body file and its record line to the data file.
    SaveOutcome SaveTemplate(const TemplateEditor &editor);

    // Why the editor's template cannot be saved, as the message to show, or
    // an empty text when it can.
    static QString RefusalFor(const TemplateEditor &editor);

    // Whether the data file holds a template of that name now.
    bool Contains(const QString &name);

    // Replaces every stored template of the editor's name by the template in
    // the editor: its line takes the place of the first line of that name,
    // the others of that name go, and the body file holds only the new body.
    // A name that is not stored (any more) is saved as a new template.
    ChangeOutcome ReplaceTemplate(const TemplateEditor &editor);

    // Removes every line of that name from the data file and moves its body
    // file to the desktop's trash (or, without one, into the folder
    // "Deleted" beside the data file).
    ChangeOutcome DeleteTemplate(const QString &name);

    // Gives the template of that name a new name, which must pass Save's
    // rules and must not be taken; its body file is renamed along.
    ChangeOutcome RenameTemplate(const QString &name, const QString &newName);

private:
    QString dataFilePath(); // the data file, found whatever its letter case
    static QString bodyFileName(const QString &name);
    // The folder exists and its files may be changed; else why not.
    QString prepareFolder();

    // Gives a body file its new name; why not, or an empty text.
    static QString renameBodyFile(const QString &bodyPath, const QString &newBodyPath, bool caseOnly);

    // Appends the editor's template; the caller holds the folder's lock.
    SaveOutcome appendTemplate(const TemplateEditor &editor);

    QString m_appDir;
    platform::FolderIndex m_folder;
    StoredNames m_names;
};

// Fills the list from the data file: one entry per stored line that holds a
// TAB, in file order, letting the window process its events before the
// first line and then before the next line once YieldEveryMs have passed.
constexpr qint64 YieldEveryMs = 50;
void LoadTemplateList(TemplateStore &store, TemplateList &list);

} // namespace store
