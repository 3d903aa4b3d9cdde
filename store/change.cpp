#include "store/change.h"

#include "platform/folderlock.h"
#include "platform/rawfile.h"
#include "platform/textfile.h"
#include "store/datafile.h"
#include "store/keptversions.h"
#include "store/names.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <QUuid>

#include <iterator>

namespace store {
namespace {

const QString kChangePrefix = QStringLiteral(".letterloom-change-");

std::function<void(const char *)> &stepHook()
{
    static std::function<void(const char *)> hook;
    return hook;
}

void reach(const char *step)
{
    if (stepHook())
        stepHook()(step);
}

QString tr(const char *text)
{
    return QCoreApplication::translate("store::Change", text);
}

bool present(const QString &path)
{
    return platform::detail::entryAt(path) != platform::detail::Entry::None;
}

// Paths in the intent record: relative to the folder, percent-encoded, so
// that no name can break its lines.
QByteArray relative(const QString &dir, const QString &path)
{
    return QUrl::toPercentEncoding(QDir(dir).relativeFilePath(path), "/");
}

bool isChangeFileName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^\\.letterloom-change-[A-Za-z0-9-]+\\.tmp$"));
    return pattern.match(name).hasMatch();
}

// Why a path read from a record is none of the folder's own files, or an
// empty text when it is one: the data file, a body file or a file of a
// change in the folder; a kept version or a file of a change in "Deleted".
QString pathFault(const QString &path)
{
    static const QRegularExpression kept(QStringLiteral("^[A-Za-z0-9-]+\\.(record|body)$"));
    bool allowed = !path.isEmpty();
    for (const QChar c : path)
        allowed = allowed && c.unicode() >= 0x20 && c.unicode() != 0x7F && c != u'\\' && c != u':';
    const QStringList parts = path.split(QLatin1Char('/'));
    if (allowed && parts.size() == 1)
        allowed = platform::foldedName(path) == platform::foldedName(DataFileName())
                  || !BodyKeyOfFileName(path).isEmpty() || isChangeFileName(path);
    else if (allowed && parts.size() == 2 && parts.first() == QLatin1String("Deleted"))
        allowed = kept.match(parts.last()).hasMatch() || isChangeFileName(parts.last());
    else
        allowed = false;
    //: %1 is a path as a record of a change names it.
    return allowed ? QString() : tr("it names \"%1\", which is not a file of the templates folder").arg(path);
}

// Why the steps break the rule that lets them be carried out again after a
// crash, or an empty text.
QString ruleFault(const QList<Change::Step> &steps)
{
    using Kind = Change::Step::Kind;
    const auto source = [](const Change::Step &step) { return step.kind == Kind::Append ? step.other : step.path; };
    const auto target = [](const Change::Step &step) {
        return step.kind == Kind::Rename ? step.other : step.kind == Kind::Append ? step.path : QString();
    };
    for (qsizetype i = 0; i < steps.size(); ++i) {
        for (qsizetype j = i + 1; j < steps.size(); ++j) {
            const QString later = platform::foldedName(target(steps.at(j)));
            if (!later.isEmpty() && later == platform::foldedName(source(steps.at(i))))
                return steps.at(i).kind == Kind::Remove
                           //: %1 is a file's path.
                           ? tr("it makes \"%1\" again after removing it").arg(target(steps.at(j)))
                           : tr("a later step replaces \"%1\", which an earlier one moves").arg(target(steps.at(j)));
        }
    }
    return QString();
}

QString shown(const QString &dir, const QString &path)
{
    return QDir::toNativeSeparators(QDir(dir).relativeFilePath(path));
}

QString describe(const QString &dir, const Change::Step &step)
{
    switch (step.kind) {
    case Change::Step::Kind::Rename:
        return tr("rename \"%1\" to \"%2\"").arg(shown(dir, step.path), shown(dir, step.other));
    case Change::Step::Kind::Remove:
        return tr("remove \"%1\"").arg(shown(dir, step.path));
    case Change::Step::Kind::Append:
        return tr("add the lines of \"%1\" to \"%2\"").arg(shown(dir, step.other), shown(dir, step.path));
    }
    return QString();
}

// A step carried out, and whether it can be taken back: a rename onto a
// name that was free, or an append of bytes this copy saw were its own.
struct Done
{
    Change::Step step;
    bool reversible = false;
    bool created = false; // an append that created its file
};

bool run(const Change::Step &step, Done *done, QString *error)
{
    using Kind = Change::Step::Kind;
    done->step = step;
    switch (step.kind) {
    case Kind::Rename:
        // Done already when its source is gone: no step makes it again.
        if (!present(step.path))
            return true;
        done->reversible = !present(step.other);
        return platform::renameFile(step.path, step.other, error);
    case Kind::Remove:
        return platform::removeFile(step.path, error);
    case Kind::Append: {
        if (!present(step.other))
            return true; // done, and its file cleared away
        done->reversible = true;
        done->created = step.offset == 0 && !present(step.path);
        QByteArray bytes;
        return platform::readOwnFile(step.other, &bytes, error)
               && platform::writeAtEnd(step.path, step.offset, bytes, error);
    }
    }
    return false;
}

// Takes back the steps carried out, newest first, as far as each can be:
// never past one that cannot, which would leave the folder as neither
// before nor after. True when all of them were taken back.
bool takeBack(const QList<Done> &done)
{
    for (qsizetype i = done.size() - 1; i >= 0; --i) {
        const Done &step = done.at(i);
        bool ok = step.reversible;
        if (ok && step.step.kind == Change::Step::Kind::Rename)
            ok = !present(step.step.other) || platform::renameFile(step.step.other, step.step.path);
        else if (ok)
            ok = step.created ? platform::removeFile(step.step.path) : platform::cutFile(step.step.path, step.step.offset);
        if (!ok)
            return false;
    }
    return true;
}

bool touchesDeleted(const QString &dir, const QList<Change::Step> &steps)
{
    const QString deleted = KeptVersions::folder(dir) + QLatin1Char('/');
    return std::any_of(steps.cbegin(), steps.cend(), [&](const Change::Step &step) {
        return step.path.startsWith(deleted) || step.other.startsWith(deleted);
    });
}

// Puts the folder's entries, and those of "Deleted" when the steps touch
// it, on the disk.
void syncFolders(const QString &dir, const QList<Change::Step> &steps)
{
    platform::syncFolder(dir);
    if (touchesDeleted(dir, steps))
        platform::syncFolder(KeptVersions::folder(dir));
}

// Moves a record that is not to be run out of the way, under a name that
// says so and that nothing else has.
bool setAside(const QString &dir, QString *asideName, QString *error)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = Change::intentFileName() + QStringLiteral(".refused-") + stamp;
    for (int n = 2; present(QDir(dir).filePath(name)); ++n)
        name = Change::intentFileName() + QStringLiteral(".refused-%1-%2").arg(stamp).arg(n);
    *asideName = name;
    const bool moved = platform::renameFile(QDir(dir).filePath(Change::intentFileName()), QDir(dir).filePath(name),
                                            error);
    platform::syncFolder(dir);
    return moved;
}

void sweepLeftovers(const QString &dir)
{
    for (const QString &folder : {dir, KeptVersions::folder(dir)}) {
        if (!platform::isRealFolder(folder))
            continue;
        QDirIterator it(folder, {kChangePrefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden | QDir::System);
        while (it.hasNext()) {
            const QString path = it.next();
            if (isChangeFileName(it.fileName()))
                platform::removeFile(path);
        }
    }
}

} // namespace

Change::Change(QString dir)
    : m_dir(std::move(dir))
    , m_id(QStringLiteral("%1-%2").arg(QCoreApplication::applicationPid()).arg(QUuid::createUuid().toString(QUuid::Id128).left(12)))
{
}

Change::~Change()
{
    for (const QString &file : std::as_const(m_files))
        platform::removeFile(file);
}

QString Change::write(QByteArrayView bytes, QString *error)
{
    const QString path = QDir(m_dir).filePath(QStringLiteral("%1%2-%3.tmp").arg(kChangePrefix, m_id).arg(++m_written));
    if (!platform::createWholeFile(path, bytes, error))
        return QString();
    m_files << path;
    return path;
}

void Change::rename(const QString &from, const QString &to, bool toIsNew)
{
    m_steps.append({Step::Kind::Rename, from, to, 0, toIsNew});
}

void Change::remove(const QString &path)
{
    m_steps.append({Step::Kind::Remove, path, QString(), 0, false});
}

void Change::append(const QString &path, qint64 offset, const QString &written)
{
    m_steps.append({Step::Kind::Append, path, written, offset, false});
}

bool Change::commit(const platform::FolderLock &lock, QString *error, bool *pending)
{
    if (pending)
        *pending = false;
    if (const QString fault = ruleFault(m_steps); !fault.isEmpty()) {
        if (error)
            //: %1 says which rule the change breaks.
            *error = tr("The change was refused before anything was written: %1.").arg(fault);
        return false;
    }
    QByteArray record = "Letterloom change 1\n";
    for (const Step &step : std::as_const(m_steps)) {
        switch (step.kind) {
        case Step::Kind::Rename:
            record += "rename\t" + relative(m_dir, step.path) + '\t' + relative(m_dir, step.other) + '\n';
            break;
        case Step::Kind::Remove:
            record += "remove\t" + relative(m_dir, step.path) + '\n';
            break;
        case Step::Kind::Append:
            record += "append\t" + relative(m_dir, step.path) + '\t' + QByteArray::number(step.offset) + '\t'
                      + relative(m_dir, step.other) + '\n';
            break;
        }
    }
    record += "end\n";
    const QString recordFile = write(record, error);
    if (recordFile.isEmpty())
        return false;
    reach("written");
    if (!lock.stillHeld()) {
        if (error)
            *error = tr("another copy of Letterloom took over the folder's lock meanwhile");
        return false;
    }
    const QString intent = QDir(m_dir).filePath(intentFileName());
    if (!platform::renameFile(recordFile, intent, error))
        return false;
    m_files.removeAll(recordFile);
    platform::syncFolder(m_dir);
    reach("recorded");

    // The change is made: its files belong to the folder now.
    const QStringList written = m_files;
    m_files.clear();
    QList<Done> done;
    static const char *const stepNames[] = {"step 1", "step 2", "step 3", "step 4", "step 5", "step 6", "step 7"};
    for (const Step &step : std::as_const(m_steps)) {
        // A holder that stalled past the stale period has lost the lock: the
        // copy that took it over finishes the change, and nothing is done twice.
        if (!done.isEmpty() && !lock.stillHeld()) {
            if (pending)
                *pending = true;
            if (error)
                *error = tr("another copy of Letterloom took over the folder's lock meanwhile, and finishes the "
                            "change.");
            return false;
        }
        Done result;
        if (!run(step, &result, error)) {
            if (takeBack(done) && platform::removeFile(intent)) {
                platform::syncFolder(m_dir);
                for (const QString &file : written)
                    platform::removeFile(file);
                return false;
            }
            if (pending)
                *pending = true;
            if (error)
                //: Follows the sentence that tells why a step of a change failed.
                *error += tr(" The change is recorded and will be finished the next time Letterloom changes this "
                             "folder.");
            return false;
        }
        done.append(result);
        if (done.size() <= qsizetype(std::size(stepNames)))
            reach(stepNames[done.size() - 1]);
    }
    syncFolders(m_dir, m_steps);
    for (const QString &file : written)
        platform::removeFile(file);
    // Every step is carried out: the change is done. A record left behind
    // is carried out again by the next copy, which changes nothing.
    if (platform::removeFile(intent))
        platform::syncFolder(m_dir);
    reach("done");
    return true;
}

bool Change::isPending(const QString &dir)
{
    return present(QDir(dir).filePath(intentFileName()));
}

Change::Recorded Change::read(const QString &dir)
{
    Recorded recorded;
    const QString intent = QDir(dir).filePath(intentFileName());
    if (!present(intent))
        return recorded;
    recorded.state = Recorded::State::Refused;
    QByteArray bytes;
    if (!platform::readOwnFile(intent, &bytes, &recorded.reason, platform::LargestRecord)) {
        // One that a network client still shows after its copy removed it.
        if (platform::detail::isGone(intent))
            return Recorded();
        // A file of the right kind and size that cannot be read now is not
        // judged: the share or the disk may answer again.
        if (platform::detail::entryAt(intent) == platform::detail::Entry::File
            && QFileInfo(intent).size() <= platform::LargestRecord)
            recorded.state = Recorded::State::Unreadable;
        return recorded;
    }
    QList<QByteArray> lines = bytes.split('\n');
    static const QRegularExpression header(QStringLiteral("^Letterloom change ([0-9]{1,6})$"));
    const QRegularExpressionMatch match = header.match(QString::fromLatin1(lines.first()));
    if (!match.hasMatch()) {
        recorded.reason = tr("it does not begin as a record of a change does");
        return recorded;
    }
    recorded.version = match.captured(1).toInt();
    if (recorded.version > 1) {
        recorded.state = Recorded::State::Newer;
        return recorded;
    }
    // Written whole, a record ends with "end" and its line end.
    if (recorded.version != 1 || lines.size() < 3 || lines.last() != "" || lines.at(lines.size() - 2) != "end") {
        recorded.reason = tr("it is not a whole record of a change");
        return recorded;
    }
    bool usesDeleted = false;
    for (qsizetype i = 1; i + 2 < lines.size(); ++i) {
        const QList<QByteArray> parts = lines.at(i).split('\t');
        const QByteArray kind = parts.first();
        bool ok = (kind == "rename" && parts.size() == 3) || (kind == "remove" && parts.size() == 2)
                  || (kind == "append" && parts.size() == 4);
        Step step{Step::Kind::Remove, {}, {}, 0, false};
        if (kind == "append") {
            step.offset = parts.value(2).toLongLong(&ok);
            ok = ok && step.offset >= 0 && parts.size() == 4;
        }
        if (!ok) {
            //: %1 is a line number, %2 the start of that line.
            recorded.reason = tr("line %1 is no step Letterloom knows (\"%2\")")
                                  .arg(i + 1)
                                  .arg(QString::fromUtf8(lines.at(i).left(40)));
            return recorded;
        }
        QStringList paths;
        for (qsizetype p = 1; p < parts.size(); ++p) {
            if (kind == "append" && p == 2)
                continue;
            const QString path = QUrl::fromPercentEncoding(parts.at(p));
            recorded.reason = pathFault(path);
            if (!recorded.reason.isEmpty())
                return recorded;
            usesDeleted = usesDeleted || path.startsWith(QLatin1String("Deleted/"));
            paths << QDir(dir).filePath(path);
        }
        step.kind = kind == "rename" ? Step::Kind::Rename : kind == "append" ? Step::Kind::Append : Step::Kind::Remove;
        step.path = paths.first();
        step.other = paths.value(1);
        recorded.steps.append(step);
    }
    if (usesDeleted && present(KeptVersions::folder(dir)) && !platform::isRealFolder(KeptVersions::folder(dir))) {
        recorded.reason = tr("\"Deleted\" is not a folder of its own (it is a link or a file)");
        return recorded;
    }
    recorded.reason = ruleFault(recorded.steps);
    if (recorded.reason.isEmpty())
        recorded.state = Recorded::State::Runnable;
    return recorded;
}

bool Change::recover(const QString &dir, bool sweep, QString *error, QString *notice)
{
    const Recorded recorded = read(dir);
    const QString intent = QDir::toNativeSeparators(QDir(dir).filePath(intentFileName()));
    QString aside;
    switch (recorded.state) {
    case Recorded::State::None:
        break;
    case Recorded::State::Newer:
        if (error)
            //: %1 is the record's file, %2 its version number.
            *error = tr("\"%1\" records a change made by a newer version of Letterloom (record version %2), which "
                        "this version cannot finish. Open this folder once with that newer version to finish it; if "
                        "no copy of it is used any more, remove \"%1\". Until then no template can be changed here.")
                         .arg(intent)
                         .arg(recorded.version);
        return false;
    case Recorded::State::Unreadable:
        if (error)
            *error = recorded.reason;
        return false;
    case Recorded::State::Refused:
        if (!setAside(dir, &aside, error))
            return false;
        if (notice)
            //: %1 is the record's file, %2 why it is not carried out, %3 the name it was set aside under.
            *notice = tr("Letterloom found \"%1\", the record of an unfinished change, and did not carry it out: %2. "
                         "It was set aside as \"%3\"; nothing of it was done.")
                          .arg(intent, recorded.reason, aside);
        sweep = true;
        break;
    case Recorded::State::Runnable: {
        sweep = true;
        QList<Done> done;
        for (qsizetype i = 0; i < recorded.steps.size(); ++i) {
            Done result;
            QString why;
            if (run(recorded.steps.at(i), &result, &why)) {
                done.append(result);
                continue;
            }
            takeBack(done);
            if (!setAside(dir, &aside, error))
                return false;
            QStringList undone;
            for (qsizetype j = i; j < recorded.steps.size(); ++j)
                undone << describe(dir, recorded.steps.at(j));
            if (notice)
                //: %1 is the record's file, %2 why a step failed, %3 the name it was set aside under, %4 the steps.
                *notice = tr("A change that a copy of Letterloom left unfinished (\"%1\") could not be finished: %2 "
                             "Its record was set aside as \"%3\". Not done: %4.")
                              .arg(intent, why, aside, undone.join(QStringLiteral("; ")));
            break;
        }
        if (aside.isEmpty()) {
            syncFolders(dir, recorded.steps);
            // Carried out: a record that stays is carried out again, harmlessly.
            if (platform::removeFile(QDir(dir).filePath(intentFileName())))
                platform::syncFolder(dir);
        }
        break;
    }
    }
    // What changes that were never recorded left behind; listing a large
    // folder costs, so only after a copy ended in the middle of one.
    if (sweep)
        sweepLeftovers(dir);
    return true;
}

void Change::setStepHook(std::function<void(const char *step)> hook)
{
    stepHook() = std::move(hook);
}

} // namespace store
