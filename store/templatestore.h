#pragma once

#include "platform/folderlock.h"
#include "platform/textfile.h"
#include "store/datafile.h"
#include "store/keptversions.h"
#include "store/plans.h"
#include "store/storednames.h"
#include "store/templateeditor.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace store {

// Where the template list's entries go while the data file is read.
class TemplateList
{
public:
    virtual ~TemplateList() = default;
    virtual void addEntry(const QString &entry) = 0;
    // Lets the window process its pending events.
    virtual void yield() = 0;
};

// What a command did.
struct Outcome
{
    enum class Status {
        Done,      // done; the list is to be read again
        Unchanged, // there was nothing to change
        Refused,   // refused before anything was written (message says why)
        Failed,    // nothing changed (message says why)
        Pending,   // made, but not finished (message says why); the next change finishes it
        Changed,   // the templates changed since the question was asked: ask again
    };
    Outcome() = default;
    Outcome(Status status_, QString message_) : status(status_), message(std::move(message_)) {}

    Status status = Status::Done;
    QString message;
    QString newEntry; // after a Save of a new template: its list entry
    bool appendsToList = false; // newEntry may simply go at the end of the list
    bool lockHeldElsewhere = false; // another copy's lock stopped it
};

// The templates of one data folder: the data file "MainData.txt" (found
// whatever its letter case) and the body files. Every change is made under
// the folder's lock (platform::FolderLock), finishes first a change that
// another copy left unfinished, reads the files as they are at that moment
// (so that what other copies, on this machine or others, saved is kept and
// a command never works on a stale picture), and is made with a
// store::Change, so that a crash at any instant leaves every template wholly
// as before or wholly as after it. A command that removes or replaces a
// template keeps the removed version in the folder "Deleted", from where
// Undo brings it back.
//
// Commands come in two steps: Plan... reads what a command would do (for
// the question the user is asked), and the command itself does it, taking
// the lock and checking that the templates are still as the plan saw them
// (else Outcome::Status::Changed).
class TemplateStore
{
public:
    // An empty folder is the platform's own (platform::applicationDirectory),
    // which the first change creates. A folder given here must exist: a
    // folder on a network share that is not there is never made in its place.
    explicit TemplateStore(QString folder = QString());

    // The data folder.
    QString folder();
    // Whether the data folder is there (or may be made by the first change).
    bool folderIsThere();

    // How long a command waits for another copy's lock before it gives up
    // (three seconds), and what runs about every 50 ms meanwhile.
    void setLockWait(int ms, std::function<void()> whileWaiting);
    // Looks at another copy's lock again (see platform::FolderLock::watch);
    // false when there is none any more.
    bool WatchLock();

    // The data file's whole bytes, or none when it cannot be read (error
    // then says why; a missing file is no error). Reading changes nothing in
    // the folder, not even a change that another copy left unfinished.
    QByteArray ReadDataFile(QString *error = nullptr);

    // At the window's start: finishes a change that another copy left
    // unfinished, and clears away what a copy that ended in the middle of a
    // change left, when the folder's lock can be had at once. Returns what
    // the user is to be told once (a record set aside), or an empty text.
    QString FinishUnfinishedChange();

    // For commands that only read: the record of a change not finished yet
    // (its path as the user writes it), or an empty text; and whether that
    // change touches the template of that name (its line or its body file),
    // so that launching it would show neither the old nor the new version.
    QString UnfinishedChange();
    bool UnfinishedChangeTouches(const QString &name);
    // Whether the data file is still as it was when ReadDataFile last read
    // it (size, time of writing, identity).
    bool DataFileUnchanged();

    // The body of a template as the editor shows it: its body file's text
    // without the line end that Save adds behind it. Empty when there is
    // none, or when it cannot be read (error then says why: a link, a
    // folder, the disk).
    QString ReadBody(const QString &name, QString *error = nullptr);

    // Lists the folder once, so that later look-ups of files whose names
    // differ in letter case cost no listing of a large folder.
    void IndexFolder();

    // Why the editor's template cannot be saved, or an empty text.
    static QString RefusalFor(const TemplateEditor &editor);

    SavePlan PlanSave(const TemplateEditor &editor, const ShownVersion &shown);
    Outcome Save(const TemplateEditor &editor, const SavePlan &plan);

    DeletePlan PlanDelete(const EntryRef &entry);
    Outcome Delete(const DeletePlan &plan);

    RenamePlan PlanRename(const EntryRef &entry, const QString &newName);
    Outcome Rename(const RenamePlan &plan);

    UndoPlan PlanUndo();
    Outcome Undo(const UndoPlan &plan);

    // The data file's path (found whatever its letter case).
    QString dataFilePath();

    // How this folder's data file lines are read (see LineReading).
    LineReading lineReading();

private:
    struct Locked; // a command's hold of the folder: its lock, recovered
    std::unique_ptr<Locked> lockFolder(Outcome *failure, const QString &what);
    bool readLines(DataLines *data, QString *error);
    QString existingBody(const QString &key, const QString &name);
    // Writes the change's files and carries its steps out; notDone and
    // doneBut word a failure before and after it was recorded.
    Outcome carryOut(const ChangePlan &plan, Locked &locked, const QString &notDone, const QString &doneBut);
    Outcome saveNew(const TemplateEditor &editor, Locked &locked);
    Outcome doSave(const TemplateEditor &editor, const SavePlan &plan);
    Outcome doDelete(const DeletePlan &plan);
    Outcome doRename(const RenamePlan &plan);
    Outcome doUndo(const UndoPlan &plan);
    Outcome told(Outcome outcome);
    // Runs a command, and once more when its lock proved another copy's
    // before anything of it was recorded (see carryOut): it did nothing.
    Outcome retried(const std::function<Outcome()> &command);
    QString keptFolderFault(const QString &what);

    QString m_folder;
    bool m_mayCreate = false;
    int m_lockWaitMs = 3000;
    std::function<void()> m_whileWaiting;
    platform::FolderIndex m_files;  // the data file, whatever its letter case
    bool m_sawLeftovers = false;    // the last listing held files of an unfinished change
    platform::FolderIndex m_bodies; // body files by their names' key
    platform::FileStamp m_readStamp;
    StoredNames m_names;
    QString m_notice; // a record that recovery set aside, told with the next outcome
    bool m_lockLost = false; // the last change found its lock another copy's before recording anything
};

// A command's hold of the folder: its lock, recovered.
struct TemplateStore::Locked
{
    std::unique_ptr<platform::FolderLock> lock;
    // When no other copy had changed the folder before this command, its
    // listing stays good: the command tells it of its own changes, and the
    // lock's and the change's files come and go.
    std::function<void()> release;
    ~Locked()
    {
        lock.reset();
        if (release)
            release();
    }
};

// Fills the list from the data file: one entry per stored line that holds a
// TAB, in file order, letting the window process its events about every
// 50 ms meanwhile. False, and why, when the data file cannot be read.
bool LoadTemplateList(TemplateStore &store, TemplateList &list, QString *error = nullptr);

} // namespace store
