#pragma once

// A model of a data folder for the store's model-based tests: a list of
// templates and their bodies, changed by save, replace, rename, delete and
// undo as the user sees them, written without the store's own name rules,
// encodings or parsers; a reader of a real folder into the same form; and
// random sequences of operations, the same for a seed in every process.

#include "store/templatestore.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <random>

namespace storemodel {

// One template as the editor holds it (its body's lines ended by CR LF).
using Template = store::EditorValues;

// The folder as the model keeps it: the data file's lines (as text), the
// body files by name key (their whole text), and the kept versions that
// Undo brings back, newest last.
struct Folder
{
    struct Kept
    {
        QStringList lines;
        QList<std::optional<QString>> before;
        std::optional<QString> body;
        bool shared = false; // other templates of its name kept the body file

        // Kept versions are alike by their lines and body, whatever their
        // ids and times.
        bool operator==(const Kept &other) const { return lines == other.lines && body == other.body; }
    };
    QStringList lines;
    QMap<QString, QString> bodies;
    QList<Kept> kept;

    bool operator==(const Folder &other) const
    {
        return lines == other.lines && bodies == other.bodies && kept == other.kept;
    }
    QString describe() const;
};

// What an operation did, as the store reports it (and the model predicts).
enum class Result { Done, Unchanged, Refused, Failed, Pending, Nothing };
QString resultName(Result result);

struct Operation
{
    enum class Kind { Save, Delete, Rename, Undo } kind = Kind::Save;
    Template editor;   // Save
    int row = 0;       // Delete, Rename: the list row, modulo the rows there are
    QString newName;   // Rename
    bool answer = true; // the answer to a Replace or Undo question
    QString describe() const;
};

// Applies an operation to the model; the result the store must give.
Result apply(Folder &folder, const Operation &op);

// Random operations from a seed, drawn with names that differ only in
// letter case or spaces, characters of every script, and bodies that are
// saved again unchanged.
struct Generator
{
    explicit Generator(quint64 seed) : random(seed) {}
    Operation next(const Folder &folder);
    std::mt19937_64 random;
};

// The list as the window fills it.
struct EntryList final : store::TemplateList
{
    QStringList entries;
    void addEntry(const QString &entry) override { entries << entry; }
    void yield() override {}
};

// Carries out an operation on the real store as the window does, answering
// its questions with op.answer; the rows are the list's rows as the store
// lists them now.
Result perform(store::TemplateStore &templates, const Operation &op, QString *message = nullptr);

// Reads a real folder into the model's form, with the test's own reading
// of the files (their names in any letter case); problems lists what no
// folder may hold (two data files, a body file whose name key two files
// share, files left over by a change, the lock).
Folder read(const QString &dir, QStringList *problems);
// The same of a folder held as its files' names (relative to it) and bytes.
Folder readFiles(const QMap<QString, QByteArray> &files, QStringList *problems);

// A folder that earlier versions left, tests/data/legacy (or another
// fixture of its kind), as the model reads it (testdata::Fixture makes a
// copy to change).
Folder legacy(const QString &fixture = QStringLiteral("legacy"));

// One step of a random sequence: the generator's next operation, applied to
// the model and carried out by perform (on the real store, or on the plans
// in memory). The model moves on unless that failed; what went wrong is in
// the text, empty when perform gave what the model says.
using Perform = std::function<Result(const Operation &op, QString *message)>;
QString step(const Perform &perform, Generator &generator, Folder &model, Result *result = nullptr,
             QString *message = nullptr);

// The text of Windows-1252 bytes, by the model's own table.
QString fromWindows1252(const QByteArray &bytes);

} // namespace storemodel
