#include "store/plans.h"

#include "platform/storedtext.h"
#include "platform/textfile.h"
#include "store/names.h"
#include "store/templaterecord.h"

#include <QCoreApplication>

#include <algorithm>

namespace store {
namespace {

const QString kDeleted = QStringLiteral("Deleted/");

// The bytes of a body file for the editor's body.
QByteArray bodyFileBytes(const TemplateEditor &editor)
{
    return platform::encodeBody(TrimSpaces(editor.body()) + QStringLiteral("\r\n"));
}

bool keyHeld(const DataLines &data, const QString &key, qsizetype except = -1)
{
    for (qsizetype i = 0; i < data.lines.size(); ++i) {
        const auto line = i == except ? std::nullopt : data.read(i);
        if (line && line->key == key)
            return true;
    }
    return false;
}

// The index of the line an entry names, or -1.
qsizetype indexOf(const DataLines &data, const EntryRef &entry)
{
    int seen = 0;
    for (qsizetype i = 0; i < data.lines.size(); ++i) {
        const auto line = data.read(i);
        if (line && line->text == entry.lineText && seen++ == entry.occurrence)
            return i;
    }
    return -1;
}

QStringList textsOf(const QList<StoredLine> &lines)
{
    QStringList texts;
    for (const StoredLine &line : lines)
        texts << line.text;
    return texts;
}

} // namespace

int ChangePlan::write(QByteArray bytes)
{
    written.append(std::move(bytes));
    return int(written.size() - 1);
}

void ChangePlan::rename(int file, const QString &to, bool toIsNew)
{
    steps.append({Step::Kind::Rename, file, QString(), to, 0, toIsNew});
}

void ChangePlan::move(const QString &from, const QString &to, bool toIsNew)
{
    steps.append({Step::Kind::Rename, -1, from, to, 0, toIsNew});
}

void ChangePlan::remove(const QString &name)
{
    steps.append({Step::Kind::Remove, -1, name, QString(), 0, false});
}

void ChangePlan::append(int file, const QString &to, qint64 offset)
{
    steps.append({Step::Kind::Append, file, QString(), to, offset, false});
}

QString ShownBody(const QString &stored)
{
    return stored.endsWith(QLatin1String("\r\n")) ? stored.chopped(2) : stored;
}

QList<StoredLine> LinesOfKey(const DataLines &data, const QString &key)
{
    QList<StoredLine> lines;
    for (qsizetype i = 0; i < data.lines.size(); ++i) {
        if (auto line = data.read(i); line && line->key == key)
            lines.append(std::move(*line));
    }
    return lines;
}

// ---- Save -----------------------------------------------------------------

SavePlan DecideSave(const TemplateEditor &editor, const ShownVersion &shown, const DataLines &data,
                    const std::optional<QByteArray> &storedBody)
{
    SavePlan plan;
    const QString name = TemplateName(editor.templateName());
    const QString key = NameKey(name);
    plan.replaced = LinesOfKey(data, key);
    if (plan.replaced.isEmpty()) {
        plan.kind = SavePlan::Kind::New;
        return plan;
    }
    plan.storedBodyExists = storedBody.has_value();
    plan.storedBody = platform::decodeBody(storedBody.value_or(QByteArray()));
    // The editor shows what is stored: nothing to save.
    if (plan.replaced.size() == 1
        && FormatRecordLine(EditorOf(DecodeListEntry(plan.replaced.first().text))) == FormatRecordLine(editor)
        && TemplateName(plan.replaced.first().name) == name && ShownBody(plan.storedBody) == editor.body()) {
        plan.kind = SavePlan::Kind::Unchanged;
        return plan;
    }
    plan.kind = SavePlan::Kind::Replace;
    if (shown.key == key) {
        const bool lineThere = std::any_of(plan.replaced.cbegin(), plan.replaced.cend(),
                                           [&shown](const StoredLine &line) { return line.text == shown.lineText; });
        plan.changedElsewhere = !lineThere || ShownBody(plan.storedBody) != shown.body;
    }
    return plan;
}

ChangePlan NewTemplateChange(const TemplateEditor &editor, const QString &dataFile, qint64 end,
                             const QByteArray &lineEnd)
{
    ChangePlan change;
    const int body = change.write(bodyFileBytes(editor));
    const int line = change.write(platform::encodeLine(FormatRecordLine(editor)) + lineEnd);
    change.rename(body, BodyFileName(editor.templateName()), true);
    change.append(line, dataFile, end);
    return change;
}

ChangePlan ReplaceChange(const TemplateEditor &editor, const DataLines &data, const QString &dataFile,
                         const QString &bodyFile, const QByteArray &oldBody, KeptVersion kept)
{
    const QString name = TemplateName(editor.templateName());
    const QString key = NameKey(name);
    // Each kept line remembers the line it stood before, of those that stay.
    qsizetype first = -1;
    for (qsizetype i = 0; i < data.lines.size(); ++i) {
        const auto line = data.read(i);
        if (!line || line->key != key)
            continue;
        if (first < 0)
            first = i;
        KeptLine keptLine{line->bytes, std::nullopt};
        for (qsizetype j = i + 1; j < data.lines.size() && !keptLine.before; ++j) {
            const auto next = data.read(j);
            if (!next || next->key != key)
                keptLine.before = data.lines.at(j);
        }
        kept.lines.append(keptLine);
    }
    DataLines after = data;
    // Written as the line it replaces was: Windows-1252 stays so where it can.
    after.replace(first, data.reading.encode(FormatRecordLine(editor), data.reading.isAnsi(data.lines.at(first))));
    for (qsizetype i = after.lines.size() - 1; i > first; --i) {
        const auto line = after.read(i);
        if (line && line->key == key)
            after.removeAt(i);
    }
    // The first line's place is taken by the new one, which it stood before.
    kept.lines[0].before = after.lines.at(first);
    kept.bodyFileName = bodyFile;

    // A body file whose name differs from the new one in letter case only is
    // that one file on Windows' file systems: it keeps its name.
    const bool keepsName = !bodyFile.isEmpty() && platform::foldedName(bodyFile) == platform::foldedName(BodyFileName(name));
    const QString bodyTarget = keepsName ? bodyFile : BodyFileName(name);
    ChangePlan change;
    const int record = change.write(kept.serialized());
    const int keptBody = bodyFile.isEmpty() ? -1 : change.write(oldBody);
    // A body the editor left as it was keeps its bytes, whatever wrote them.
    const bool bodyKept = !bodyFile.isEmpty() && ShownBody(platform::decodeBody(oldBody)) == editor.body();
    const int newBody = change.write(bodyKept ? oldBody : bodyFileBytes(editor));
    const int newData = change.write(after.joined());
    change.rename(record, kDeleted + kept.id + QStringLiteral(".record"));
    if (keptBody >= 0)
        change.rename(keptBody, kDeleted + kept.id + QStringLiteral(".body"));
    change.rename(newBody, bodyTarget);
    if (!bodyFile.isEmpty() && bodyTarget != bodyFile)
        change.remove(bodyFile);
    change.rename(newData, dataFile);
    return change;
}

// ---- Delete ---------------------------------------------------------------

DeletePlan DecideDelete(const DataLines &data, const EntryRef &entry)
{
    DeletePlan plan;
    const qsizetype index = indexOf(data, entry);
    if (index < 0)
        return plan;
    plan.line = data.read(index);
    for (qsizetype i = 0; i < data.lines.size(); ++i) {
        const auto line = data.read(i);
        if (i != index && line && line->key == plan.line->key)
            plan.sharing.append(*line);
    }
    return plan;
}

std::optional<ChangePlan> DeleteChange(const DeletePlan &plan, const DataLines &data, const QString &dataFile,
                                       const QString &bodyFile, KeptVersion kept)
{
    // The same line, and the same templates sharing its body, as the question named.
    qsizetype index = -1;
    QList<StoredLine> sharing;
    for (qsizetype i = 0; plan.line && i < data.lines.size(); ++i) {
        const auto line = data.read(i);
        if (!line || line->key != plan.line->key)
            continue;
        if (index < 0 && line->text == plan.line->text)
            index = i;
        else
            sharing.append(*line);
    }
    if (index < 0 || textsOf(sharing) != textsOf(plan.sharing))
        return std::nullopt;

    kept.lines.append({data.lines.at(index), std::nullopt});
    if (index + 1 < data.lines.size())
        kept.lines[0].before = data.lines.at(index + 1);
    // The body goes along only when no other template uses it.
    const QString body = sharing.isEmpty() ? bodyFile : QString();
    kept.bodyFileName = body;
    kept.bodyShared = !sharing.isEmpty();
    DataLines after = data;
    after.removeAt(index);
    ChangePlan change;
    const int record = change.write(kept.serialized());
    const int newData = change.write(after.joined());
    change.rename(record, kDeleted + kept.id + QStringLiteral(".record"));
    if (!body.isEmpty())
        change.move(body, kDeleted + kept.id + QStringLiteral(".body"));
    change.rename(newData, dataFile);
    return change;
}

// ---- Rename ---------------------------------------------------------------

RenamePlan DecideRename(const DataLines &data, const EntryRef &entry, const QString &newName)
{
    RenamePlan plan;
    plan.newName = TemplateName(newName);
    plan.refusal = NameRefusal(newName);
    const qsizetype index = indexOf(data, entry);
    if (index < 0)
        return plan;
    plan.line = data.read(index);
    if (plan.refusal.isEmpty() && NameKey(plan.newName) != plan.line->key && keyHeld(data, NameKey(plan.newName)))
        plan.refusal = QCoreApplication::translate("store::TemplateStore",
                                                   "A template named \"%1\" is saved already; choose another name.")
                           .arg(plan.newName);
    return plan;
}

std::optional<ChangePlan> RenameChange(const RenamePlan &plan, const DataLines &data, const QString &dataFile,
                                       const QString &bodyFile, const QByteArray &body)
{
    const qsizetype index = indexOf(data, {plan.line->text, 0});
    if (index < 0)
        return std::nullopt;
    const QString oldKey = plan.line->key;
    const QString newKey = NameKey(plan.newName);
    DataLines after = data;
    after.replace(index, data.reading.renamed(data.lines.at(index), plan.newName));
    ChangePlan change;
    const int newData = change.write(after.joined());
    // Another name: the body file goes along, or a copy of it when other
    // templates of the old name keep using it.
    if (newKey != oldKey && !bodyFile.isEmpty()) {
        if (keyHeld(data, oldKey, index))
            change.rename(change.write(body), BodyFileName(plan.newName), true);
        else
            change.move(bodyFile, BodyFileName(plan.newName), true);
    }
    change.rename(newData, dataFile);
    return change;
}

// ---- Undo -----------------------------------------------------------------

UndoPlan DecideUndo(std::optional<KeptVersion> version, const DataLines &data, const BodyExists &bodyExists,
                   bool keptBodyThere)
{
    UndoPlan plan;
    if (!version)
        return plan;
    for (const KeptLine &kept : std::as_const(version->lines)) {
        if (const auto line = ReadStoredLine(kept.line, data.reading))
            plan.lines.append(*line);
    }
    if (plan.lines.isEmpty())
        return plan;
    plan.version = std::move(version);
    const StoredLine &first = plan.lines.first();
    // Deleted while other templates of its name kept the body file, it
    // simply stands beside them again; any other comes back under a name of
    // its own when its name is taken, never on another template's body.
    plan.nameTaken = !plan.version->bodyShared && (keyHeld(data, first.key) || bodyExists(first.key, first.name));
    plan.bodyGone = !plan.version->bodyFileName.isEmpty() && !keptBodyThere;
    for (int n = 2; plan.nameTaken && plan.freeName.isEmpty(); ++n) {
        const QString candidate = QStringLiteral("%1 (%2)").arg(TemplateName(first.name)).arg(n);
        if (!keyHeld(data, NameKey(candidate)) && !bodyExists(NameKey(candidate), candidate))
            plan.freeName = candidate;
    }
    return plan;
}

ChangePlan UndoChange(const UndoPlan &plan, const DataLines &data, const QString &dataFile, bool keptBodyThere)
{
    const QString name = plan.nameTaken ? plan.freeName : plan.lines.first().name;
    DataLines after = data;
    for (const KeptLine &kept : std::as_const(plan.version->lines)) {
        const auto line = ReadStoredLine(kept.line, data.reading);
        if (!line)
            continue;
        const QByteArray bytes = plan.nameTaken ? data.reading.renamed(kept.line, name) : kept.line;
        qsizetype at = after.lines.size();
        if (kept.before) {
            const qsizetype found = after.lines.indexOf(*kept.before);
            if (found >= 0)
                at = found;
        }
        after.insert(at, bytes);
    }
    ChangePlan change;
    const int newData = change.write(after.joined());
    if (!plan.version->bodyFileName.isEmpty() && keptBodyThere)
        change.move(kDeleted + plan.version->id + QStringLiteral(".body"), BodyFileName(name), true);
    else if (plan.nameTaken) // under a name of its own, on a body of its own
        change.rename(change.write("\r\n"), BodyFileName(name), true);
    change.rename(newData, dataFile);
    change.remove(kDeleted + plan.version->id + QStringLiteral(".record"));
    return change;
}

} // namespace store
