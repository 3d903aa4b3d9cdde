#include "store/change.h"

#include "platform/folderlock.h"
#include "platform/textfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QUrl>
#include <QUuid>

#include <algorithm>
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

bool present(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// Paths in the intent record: relative to the folder, percent-encoded, so
// that no name can break its lines.
QByteArray relative(const QString &dir, const QString &path)
{
    return QUrl::toPercentEncoding(QDir(dir).relativeFilePath(path), "/");
}

QString absolute(const QString &dir, const QByteArray &encoded)
{
    return QDir(dir).filePath(QUrl::fromPercentEncoding(encoded));
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

bool Change::run(const QString &dir, const Step &step, QString *error)
{
    Q_UNUSED(dir);
    switch (step.kind) {
    case Step::Kind::Rename:
        // Done already when its source is gone: no step makes it again.
        return !present(step.path) || platform::renameFile(step.path, step.other, error);
    case Step::Kind::Remove:
        return platform::removeFile(step.path, error);
    case Step::Kind::Append: {
        if (!present(step.other))
            return true; // done, and its file cleared away
        QByteArray bytes;
        return platform::readWholeFile(step.other, &bytes, error)
               && platform::writeAtEnd(step.path, step.offset, bytes, error);
    }
    }
    return false;
}

bool Change::takeBack(const QString &dir, const QList<Step> &done, bool createdByAppend)
{
    Q_UNUSED(dir);
    bool ok = true;
    for (qsizetype i = done.size() - 1; i >= 0; --i) {
        const Step &step = done.at(i);
        if (step.kind == Step::Kind::Rename)
            ok = ok && (!present(step.other) || platform::renameFile(step.other, step.path));
        else if (step.kind == Step::Kind::Append)
            ok = ok && (createdByAppend && step.offset == 0 ? platform::removeFile(step.path)
                                                           : platform::cutFile(step.path, step.offset));
        else
            ok = false;
    }
    return ok;
}

bool Change::commit(const platform::FolderLock &lock, QString *error, bool *pending)
{
    if (pending)
        *pending = false;
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
            *error = QCoreApplication::translate("store::Change",
                                                 "another copy of Letterloom took over the folder's lock meanwhile");
        return false;
    }
    const QString intent = QDir(m_dir).filePath(intentFileName());
    if (!platform::renameFile(recordFile, intent, error))
        return false;
    m_files.removeAll(recordFile);
    reach("recorded");

    // The change is made: its files belong to the folder now.
    const QStringList written = m_files;
    m_files.clear();
    const bool rollsBack = std::all_of(m_steps.cbegin(), m_steps.cend(), [](const Step &step) {
        return step.kind == Step::Kind::Append || (step.kind == Step::Kind::Rename && step.toIsNew);
    });
    bool createdByAppend = false;
    QList<Step> done;
    static const char *const stepNames[] = {"step 1", "step 2", "step 3", "step 4", "step 5", "step 6", "step 7"};
    for (const Step &step : std::as_const(m_steps)) {
        if (step.kind == Step::Kind::Append)
            createdByAppend = step.offset == 0 && !present(step.path);
        if (!run(m_dir, step, error)) {
            if (rollsBack && takeBack(m_dir, done, createdByAppend) && platform::removeFile(intent)) {
                for (const QString &file : written)
                    platform::removeFile(file);
                return false;
            }
            if (pending)
                *pending = true;
            if (error)
                //: Follows the sentence that tells why a step of a change failed.
                *error += QCoreApplication::translate("store::Change", " The change is recorded and will be finished "
                                                                       "the next time Letterloom changes this folder.");
            return false;
        }
        done.append(step);
        if (done.size() <= qsizetype(std::size(stepNames)))
            reach(stepNames[done.size() - 1]);
    }
    for (const QString &file : written)
        platform::removeFile(file);
    if (!platform::removeFile(intent, error))
        return false;
    reach("done");
    return true;
}

bool Change::isPending(const QString &dir)
{
    return present(QDir(dir).filePath(intentFileName()));
}

bool Change::recover(const QString &dir, bool sweep, QString *error)
{
    const QString intent = QDir(dir).filePath(intentFileName());
    if (present(intent)) {
        sweep = true;
        QByteArray record;
        if (!platform::readWholeFile(intent, &record, error))
            return false;
        QList<Step> steps;
        bool complete = false;
        for (const QByteArray &line : record.split('\n')) {
            const QList<QByteArray> parts = line.split('\t');
            if (parts.value(0) == "rename" && parts.size() == 3)
                steps.append({Step::Kind::Rename, absolute(dir, parts[1]), absolute(dir, parts[2]), 0, false});
            else if (parts.value(0) == "remove" && parts.size() == 2)
                steps.append({Step::Kind::Remove, absolute(dir, parts[1]), QString(), 0, false});
            else if (parts.value(0) == "append" && parts.size() == 4)
                steps.append({Step::Kind::Append, absolute(dir, parts[1]), absolute(dir, parts[3]),
                              parts[2].toLongLong(), false});
            else if (line == "end")
                complete = true;
        }
        // A record is put in place whole; one without its end is none of ours.
        if (complete) {
            for (const Step &step : std::as_const(steps)) {
                if (!run(dir, step, error)) {
                    if (error)
                        //: Follows the message of a step that failed.
                        *error += QCoreApplication::translate("store::Change",
                                                              " (finishing a change that was interrupted)");
                    return false;
                }
            }
        }
        if (!platform::removeFile(intent, error))
            return false;
    }
    // What changes that were never recorded left behind; listing a large
    // folder costs, so only after a copy ended in the middle of one.
    if (!sweep)
        return true;
    for (const QString &folder : {dir, QDir(dir).filePath(QStringLiteral("Deleted"))}) {
        QDirIterator it(folder, {kChangePrefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden | QDir::System);
        while (it.hasNext())
            platform::removeFile(it.next());
    }
    return true;
}

void Change::setStepHook(std::function<void(const char *step)> hook)
{
    stepHook() = std::move(hook);
}

} // namespace store
