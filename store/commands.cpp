// The store's commands as they are carried out: each reads what it needs of
// the folder, has store/plans.cpp decide what to do with it, and carries the
// change out under the folder's lock (templatestore.cpp).

#include "store/templatestore.h"

#include "platform/identity.h"
#include "platform/rawfile.h"
#include "platform/storedtext.h"
#include "store/names.h"
#include "store/templaterecord.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSysInfo>

namespace store {
namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("store::TemplateStore", text);
}

// A version of a template about to be kept in "Deleted", by whom and when.
KeptVersion newKeptVersion(const QString &kind)
{
    KeptVersion kept;
    kept.id = KeptVersions::newId();
    kept.kind = kind;
    kept.when = QDateTime::currentDateTimeUtc();
    kept.user = platform::userName();
    kept.host = QSysInfo::machineHostName();
    return kept;
}

QStringList textsOf(const QList<StoredLine> &lines)
{
    QStringList texts;
    for (const StoredLine &line : lines)
        texts << line.text;
    return texts;
}

Outcome changedMeanwhile()
{
    return {Outcome::Status::Changed, QString()};
}

} // namespace

// ---- Save -----------------------------------------------------------------

SavePlan TemplateStore::PlanSave(const TemplateEditor &editor, const ShownVersion &shown)
{
    SavePlan plan;
    plan.refusal = RefusalFor(editor);
    if (!plan.refusal.isEmpty())
        return plan;
    const QString name = TemplateName(editor.templateName());
    // A new name is told from the names kept up to date with little reading;
    // only a name that is stored reads the whole file.
    if (!m_names.containsKey(dataFilePath(), NameKey(name), lineReading())) {
        plan.kind = SavePlan::Kind::New;
        return plan;
    }
    DataLines data;
    QString error;
    if (!readLines(&data, &error))
        data = DataLines();
    const QString bodyPath = existingBody(NameKey(name), name);
    std::optional<QByteArray> body;
    if (!bodyPath.isEmpty()) {
        if (!platform::readOwnFile(bodyPath, &body.emplace(), &error)) {
            plan.refusal = error;
            return plan;
        }
    }
    return DecideSave(editor, shown, data, body);
}

Outcome TemplateStore::Save(const TemplateEditor &editor, const SavePlan &plan)
{
    return retried([&] { return doSave(editor, plan); });
}

Outcome TemplateStore::doSave(const TemplateEditor &editor, const SavePlan &plan)
{
    if (plan.kind == SavePlan::Kind::Refused)
        return {Outcome::Status::Refused, plan.refusal};
    if (plan.kind == SavePlan::Kind::Unchanged)
        return {Outcome::Status::Unchanged, QString()};
    Outcome outcome;
    //: Fills "The template was not %1".
    auto locked = lockFolder(&outcome, tr("saved"));
    if (!locked)
        return outcome;
    // What is stored now must be what the plan saw.
    const SavePlan now = PlanSave(editor, ShownVersion());
    if (now.kind != plan.kind || textsOf(now.replaced) != textsOf(plan.replaced)
        || (plan.kind == SavePlan::Kind::Replace
            && (now.storedBody != plan.storedBody || now.storedBodyExists != plan.storedBodyExists)))
        return changedMeanwhile();
    if (now.kind == SavePlan::Kind::New)
        return saveNew(editor, *locked);

    const auto failed = [](const QString &why) {
        return Outcome{Outcome::Status::Failed, tr("The template was not replaced. %1").arg(why)};
    };
    DataLines data;
    QString error;
    if (!readLines(&data, &error))
        return failed(error);
    const QString name = TemplateName(editor.templateName());
    const QString bodyPath = existingBody(NameKey(name), name);
    QByteArray oldBody;
    if (!bodyPath.isEmpty() && !platform::readOwnFile(bodyPath, &oldBody, &error))
        return failed(error);
    //: Fills "The folder ... for %1 templates".
    if (const QString fault = keptFolderFault(tr("replaced")); !fault.isEmpty())
        return failed(fault);
    const ChangePlan change = ReplaceChange(editor, data, QFileInfo(dataFilePath()).fileName(),
                                            bodyPath.isEmpty() ? QString() : QFileInfo(bodyPath).fileName(), oldBody,
                                            newKeptVersion(QStringLiteral("replace")));
    return carryOut(change, *locked, tr("The template was not replaced. %1"), tr("The template was replaced, but %1"));
}

Outcome TemplateStore::saveNew(const TemplateEditor &editor, Locked &locked)
{
    const auto failed = [](const QString &why) {
        return Outcome{Outcome::Status::Failed, tr("The template was not saved. %1").arg(why)};
    };
    const QString name = TemplateName(editor.templateName());
    const QString dataPath = dataFilePath();
    const bool dataListedBefore = DataFileUnchanged();
    QString error;
    QString told;

    // A last line without its line end (typed by hand, or left by an
    // earlier version that was killed while saving) is no template: it is
    // moved into a file of its own, so that it never merges with the new
    // line and is never thrown away.
    if (platform::detail::entryAt(dataPath) != platform::detail::Entry::None && !platform::isPlainFile(dataPath, &error))
        return failed(tr("Could not write \"%1\": %2").arg(QDir::toNativeSeparators(dataPath), error));
    qint64 end = std::max<qint64>(platform::fileStamp(dataPath).size, 0);
    QByteArray last;
    if (end > 0 && !platform::readFileRange(dataPath, end - std::min<qint64>(end, 2), std::min<qint64>(end, 2), &last))
        return failed(tr("Could not read \"%1\".").arg(QDir::toNativeSeparators(dataPath)));
    // The new line ends as the file's last line does.
    QByteArray lineEnd = last.endsWith("\r\n") || end == 0 ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n");
    if (end > 0 && !last.endsWith('\n')) {
        QByteArray bytes;
        if (!platform::readOwnFile(dataPath, &bytes, &error))
            return failed(error);
        const DataLines data = DataLines::split(bytes);
        const qint64 start = bytes.size() - data.tail.size();
        lineEnd = data.newLineEnd();
        const QFileInfo info(dataPath);
        const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        QString side = info.dir().filePath(QStringLiteral("%1-unfinished-%2.txt").arg(info.completeBaseName(), stamp));
        for (int n = 2; platform::detail::entryAt(side) != platform::detail::Entry::None; ++n)
            side = info.dir().filePath(
                QStringLiteral("%1-unfinished-%2-%3.txt").arg(info.completeBaseName(), stamp).arg(n));
        if (!platform::createWholeFile(side, bytes.mid(start), &error))
            return failed(tr("The data file ends with an unfinished line, which could not be moved aside. %1")
                              .arg(error));
        if (!platform::cutFile(dataPath, start, &error)) {
            platform::removeFile(side);
            return failed(error);
        }
        end = start;
        told = tr("The template was saved. The data file \"%1\" ended with an unfinished line, which is not a "
                  "template; it was moved into \"%2\".")
                   .arg(QDir::toNativeSeparators(dataPath), QDir::toNativeSeparators(side));
    }

    // A body file that no stored line names (left behind by an earlier
    // version) would be taken for this template's: it is kept aside.
    const QString orphan = existingBody(NameKey(name), name);
    if (!orphan.isEmpty() && !platform::isPlainFile(orphan, &error))
        return failed(tr("Could not write \"%1\": %2").arg(QDir::toNativeSeparators(orphan), error));
    if (!orphan.isEmpty()) {
        const QString aside = KeptVersions::bodyPath(folder(), KeptVersions::newId());
        if (!keptFolderFault(tr("deleted")).isEmpty() || !platform::renameFile(orphan, aside, &error))
            return failed(error);
        m_bodies.noteRemoved(folder(), QFileInfo(orphan).fileName());
    }

    Outcome outcome = carryOut(NewTemplateChange(editor, QFileInfo(dataPath).fileName(), end, lineEnd), locked,
                               tr("The template was not saved. %1"), tr("The template was saved, but %1"));
    if (outcome.status != Outcome::Status::Done)
        return outcome;
    outcome.message = told;
    outcome.newEntry = *ListEntryFromLine(FormatRecordLine(editor));
    // The list may take the new entry at its end when it showed the file as
    // it was just before.
    outcome.appendsToList = dataListedBefore && told.isEmpty();
    if (outcome.appendsToList)
        m_readStamp = platform::fileStamp(dataPath);
    return outcome;
}

// ---- Delete ---------------------------------------------------------------

DeletePlan TemplateStore::PlanDelete(const EntryRef &entry)
{
    DataLines data;
    QString error;
    return readLines(&data, &error) ? DecideDelete(data, entry) : DeletePlan();
}

Outcome TemplateStore::Delete(const DeletePlan &plan)
{
    return retried([&] { return doDelete(plan); });
}

Outcome TemplateStore::doDelete(const DeletePlan &plan)
{
    if (!plan.line)
        return changedMeanwhile();
    Outcome outcome;
    //: Fills "The template was not %1".
    auto locked = lockFolder(&outcome, tr("deleted"));
    if (!locked)
        return outcome;
    DataLines data;
    QString error;
    if (!readLines(&data, &error))
        return {Outcome::Status::Failed, tr("The template was not deleted. %1").arg(error)};
    const QString body = existingBody(plan.line->key, plan.line->name);
    const std::optional<ChangePlan> change =
        DeleteChange(plan, data, QFileInfo(dataFilePath()).fileName(), body.isEmpty() ? QString() : QFileInfo(body).fileName(),
                     newKeptVersion(QStringLiteral("delete")));
    if (!change)
        return changedMeanwhile();
    //: Fills "The folder ... for %1 templates".
    if (const QString fault = keptFolderFault(tr("deleted")); !fault.isEmpty())
        return {Outcome::Status::Failed, tr("The template was not deleted. %1").arg(fault)};
    return carryOut(*change, *locked, tr("The template was not deleted. %1"), tr("The template was deleted, but %1"));
}

// ---- Rename ---------------------------------------------------------------

RenamePlan TemplateStore::PlanRename(const EntryRef &entry, const QString &newName)
{
    DataLines data;
    QString error;
    readLines(&data, &error);
    return DecideRename(data, entry, newName);
}

Outcome TemplateStore::Rename(const RenamePlan &plan)
{
    return retried([&] { return doRename(plan); });
}

Outcome TemplateStore::doRename(const RenamePlan &plan)
{
    if (!plan.refusal.isEmpty())
        return {Outcome::Status::Refused, plan.refusal};
    if (!plan.line)
        return changedMeanwhile();
    if (plan.newName == plan.line->name)
        return {Outcome::Status::Unchanged, QString()};
    Outcome outcome;
    //: Fills "The template was not %1".
    auto locked = lockFolder(&outcome, tr("renamed"));
    if (!locked)
        return outcome;
    const auto failed = [](const QString &why) {
        return Outcome{Outcome::Status::Failed, tr("The template was not renamed. %1").arg(why)};
    };
    DataLines data;
    QString error;
    if (!readLines(&data, &error))
        return failed(error);
    // Decided again on the file as it is now: another copy may have taken
    // the new name meanwhile.
    if (const RenamePlan now = DecideRename(data, {plan.line->text, 0}, plan.newName); !now.line)
        return changedMeanwhile();
    else if (!now.refusal.isEmpty())
        return {Outcome::Status::Refused, now.refusal};
    // The body files are looked for before the change writes files of its own.
    QString bodyPath;
    QByteArray body;
    if (NameKey(plan.newName) != plan.line->key) {
        bodyPath = existingBody(plan.line->key, plan.line->name);
        if (!bodyPath.isEmpty() && !platform::readOwnFile(bodyPath, &body, &error))
            return failed(error);
        if (const QString inTheWay = existingBody(NameKey(plan.newName), plan.newName); !inTheWay.isEmpty())
            return failed(tr("The file \"%1\" is in the way.").arg(QDir::toNativeSeparators(inTheWay)));
    }
    const std::optional<ChangePlan> change =
        RenameChange(plan, data, QFileInfo(dataFilePath()).fileName(),
                     bodyPath.isEmpty() ? QString() : QFileInfo(bodyPath).fileName(), body);
    if (!change)
        return changedMeanwhile();
    return carryOut(*change, *locked, tr("The template was not renamed. %1"), tr("The template was renamed, but %1"));
}

// ---- Undo -----------------------------------------------------------------

UndoPlan TemplateStore::PlanUndo()
{
    if (folder().isEmpty())
        return UndoPlan();
    DataLines data;
    QString error;
    readLines(&data, &error);
    std::optional<KeptVersion> version = KeptVersions::newest(folder(), platform::userName());
    const bool keptBodyThere = version && platform::detail::entryAt(KeptVersions::bodyPath(folder(), version->id))
                                              != platform::detail::Entry::None;
    return DecideUndo(
        std::move(version), data,
        [this](const QString &key, const QString &name) { return !existingBody(key, name).isEmpty(); }, keptBodyThere);
}

Outcome TemplateStore::Undo(const UndoPlan &plan)
{
    return retried([&] { return doUndo(plan); });
}

Outcome TemplateStore::doUndo(const UndoPlan &plan)
{
    if (!plan.version)
        return {Outcome::Status::Unchanged, QString()};
    Outcome outcome;
    //: Fills "The template was not %1".
    auto locked = lockFolder(&outcome, tr("brought back"));
    if (!locked)
        return outcome;
    const UndoPlan now = PlanUndo();
    if (!now.version || now.version->id != plan.version->id || now.nameTaken != plan.nameTaken
        || now.freeName != plan.freeName || now.bodyGone != plan.bodyGone)
        return changedMeanwhile();
    DataLines data;
    QString error;
    if (!readLines(&data, &error))
        return {Outcome::Status::Failed, tr("The template was not brought back. %1").arg(error)};
    const bool keptBodyThere = platform::detail::entryAt(KeptVersions::bodyPath(folder(), plan.version->id))
                               != platform::detail::Entry::None;
    return carryOut(UndoChange(plan, data, QFileInfo(dataFilePath()).fileName(), keptBodyThere), *locked,
                    tr("The template was not brought back. %1"), tr("The template was brought back, but %1"));
}

} // namespace store
