#pragma once

// What each command of the store does, decided without touching a file:
// pure functions that take what the command read (the data file's lines,
// which body files and kept versions the folder holds, the bodies it
// compares) and return what the user is asked and the change to make. The
// store (templatestore.cpp) reads the folder, takes its lock and carries
// the change out.

#include "store/datafile.h"
#include "store/keptversions.h"
#include "store/templateeditor.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace store {

// A listed template, as the list shows it: the stored line it was made from
// (the entry without the spaces behind the name) and which of the lines of
// exactly that text it is (0 for the first).
struct EntryRef
{
    QString lineText;
    int occurrence = 0;
};

// A template as it was brought into the editor, so that Save can tell when
// someone else changed it since.
struct ShownVersion
{
    QString key;      // NameKey of its name; empty: none was brought in
    QString lineText; // its stored line
    QString body;     // its body as read
};

// Save of the template in the editor: what it will do.
struct SavePlan
{
    enum class Kind { Refused, Unchanged, New, Replace };
    Kind kind = Kind::Refused;
    QString refusal;
    QList<StoredLine> replaced; // Replace: the stored lines of that name, in file order
    QString storedBody;         // Replace: the stored body as it is now
    bool storedBodyExists = false;
    bool changedElsewhere = false; // the stored template is not the one brought into the editor
};

struct DeletePlan
{
    std::optional<StoredLine> line; // none: it is not in the data file (any more)
    QList<StoredLine> sharing;      // other templates of the same name, which keep the body file
};

struct RenamePlan
{
    std::optional<StoredLine> line;
    QString newName;
    QString refusal;
};

struct UndoPlan
{
    std::optional<KeptVersion> version; // none: nothing to bring back
    QList<StoredLine> lines;            // its lines, read
    bool nameTaken = false;             // a template of its name is saved now
    QString freeName;                   // then: the name it comes back under
    bool bodyGone = false;              // its body file was kept and is gone since
};

// A change as decided: the contents of its new files, and the steps that
// put them in place. Names are relative to the data folder ("MainData.txt",
// "LTM-Offer.txt", "Deleted/<id>.record").
struct ChangePlan
{
    struct Step
    {
        enum class Kind { Rename, Remove, Append } kind = Kind::Rename;
        int written = -1; // Rename, Append: the new file it puts in place; -1: the folder's file `from`
        QString from;     // Rename of a folder's file; Remove: the file
        QString to;       // Rename: the new name; Append: the file appended to
        qint64 offset = 0;
        bool toIsNew = false; // Rename onto a name that no file has
    };
    QList<QByteArray> written;
    QList<Step> steps;

    int write(QByteArray bytes);
    void rename(int written, const QString &to, bool toIsNew = false);
    void move(const QString &from, const QString &to, bool toIsNew = false);
    void remove(const QString &name);
    void append(int written, const QString &to, qint64 offset);
};

// The body as the editor shows it: the body file's text without the line
// end that Save puts behind every body.
QString ShownBody(const QString &stored);

// Which templates the lines hold: a stored line that holds a TAB, read.
QList<StoredLine> LinesOfKey(const DataLines &data, const QString &key);

// Save. What it does with the editor's template, whose name key is stored
// in data; storedBody: the name's body file, read (none: no file).
SavePlan DecideSave(const TemplateEditor &editor, const ShownVersion &shown, const DataLines &data,
                    const std::optional<QByteArray> &storedBody);
// A new template: its body file, and its line, ended by lineEnd, at the
// end of the data file of end bytes.
ChangePlan NewTemplateChange(const TemplateEditor &editor, const QString &dataFile, qint64 end,
                             const QByteArray &lineEnd);
// A replace: the lines of its name in data are replaced by one, the body
// file bodyFile (empty: none; holding oldBody) by a new one, and what is
// replaced is kept as kept (its lines and body filled in here).
ChangePlan ReplaceChange(const TemplateEditor &editor, const DataLines &data, const QString &dataFile,
                         const QString &bodyFile, const QByteArray &oldBody, KeptVersion kept);

// Delete. The plan for the line of entry; the change that deletes it when
// the data file still holds what the plan named (else none), its body file
// bodyFile going along when no other template of its name uses it.
DeletePlan DecideDelete(const DataLines &data, const EntryRef &entry);
std::optional<ChangePlan> DeleteChange(const DeletePlan &plan, const DataLines &data, const QString &dataFile,
                                       const QString &bodyFile, KeptVersion kept);

// Rename. bodyFile: the old name's body file (empty: none), and body its
// bytes, copied when other templates of the old name keep the file.
RenamePlan DecideRename(const DataLines &data, const EntryRef &entry, const QString &newName);
std::optional<ChangePlan> RenameChange(const RenamePlan &plan, const DataLines &data, const QString &dataFile,
                                       const QString &bodyFile, const QByteArray &body);

// Undo. version: the user's newest kept version that holds a line; a body
// file of a name key exists when bodyExists says so; keptBodyThere: the
// version's kept body file is there.
using BodyExists = std::function<bool(const QString &key, const QString &name)>;
UndoPlan DecideUndo(std::optional<KeptVersion> version, const DataLines &data, const BodyExists &bodyExists,
                   bool keptBodyThere);
ChangePlan UndoChange(const UndoPlan &plan, const DataLines &data, const QString &dataFile, bool keptBodyThere);

} // namespace store
