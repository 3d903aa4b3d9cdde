#pragma once

#include "platform/textfile.h"
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

// The data file and the body files of the templates, in the application
// directory. Nothing here ever deletes or rewrites a template: Save appends.
class TemplateStore
{
public:
    // An empty appDir is filled from the platform on first need.
    explicit TemplateStore(QString appDir = QString());

    QString appDir() const { return m_appDir; }
    // Sets the application directory from the platform when it is still empty.
    void fillAppDir();

    // The record lines of the data file, in file order. A missing or
    // unreadable file gives none, without a message.
    QStringList ReadTemplateLines();
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

private:
    QString dataFilePath(const QString &name);

    QString m_appDir;
    platform::FolderIndex m_folder;
};

// Fills the list from the data file: one entry per stored line that holds a
// TAB, in file order, letting the window process its events before each line.
void LoadTemplateList(TemplateStore &store, TemplateList &list);

} // namespace store
