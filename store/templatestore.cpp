#include "store/templatestore.h"

#include "platform/appdir.h"
#include "platform/rawfile.h"
#include "platform/storedtext.h"
#include "store/change.h"
#include "store/names.h"
#include "store/templaterecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QSysInfo>

#include <cstring>

namespace store {

// ---- the folder -----------------------------------------------------------


TemplateStore::TemplateStore(QString folder)
    : m_folder(std::move(folder))
    , m_mayCreate(m_folder.isEmpty())
    , m_bodies([this](const QString &fileName) {
        if (fileName.startsWith(QLatin1String(".letterloom-change-")))
            m_sawLeftovers = true;
        return BodyKeyOfFileName(fileName);
    })
{
}

QString TemplateStore::folder()
{
    if (m_folder.isEmpty())
        m_folder = platform::applicationDirectory();
    return m_folder;
}

bool TemplateStore::folderIsThere()
{
    return m_mayCreate || QFileInfo(folder()).isDir();
}

LineReading TemplateStore::lineReading()
{
    LineReading reading;
    reading.bodyExists = [this](const QString &name) { return !existingBody(NameKey(name), name).isEmpty(); };
    return reading;
}

bool TemplateStore::WatchLock()
{
    return !folder().isEmpty() && platform::FolderLock::watch(folder());
}

void TemplateStore::setLockWait(int ms, std::function<void()> whileWaiting)
{
    m_lockWaitMs = ms;
    m_whileWaiting = std::move(whileWaiting);
}

QString TemplateStore::dataFilePath()
{
    return m_files.resolve(folder(), DataFileName());
}

QString TemplateStore::existingBody(const QString &key, const QString &name)
{
    // A name read from a file that cannot name a file never becomes a path.
    if (!FileNameRefusal(TemplateName(name)).isEmpty())
        return QString();
    const QString found = m_bodies.find(folder(), key, BodyFileName(name));
    return found.isEmpty() ? QString() : platform::joinPath(folder(), found);
}

void TemplateStore::IndexFolder()
{
    m_bodies.index(folder());
}

QByteArray TemplateStore::ReadDataFile(QString *error)
{
    if (folder().isEmpty())
        return QByteArray();
    // Reading changes nothing: a change another copy left unfinished is
    // finished by the window's start-up or the next change, not here.
    platform::refreshFolderView(folder());
    const QString path = dataFilePath();
    m_readStamp = platform::fileStamp(path);
    QByteArray bytes;
    if (platform::detail::entryAt(path) != platform::detail::Entry::None)
        platform::readOwnFile(path, &bytes, error);
    return bytes;
}

QString TemplateStore::FinishUnfinishedChange()
{
    if (folder().isEmpty() || !QFileInfo(folder()).isDir())
        return QString();
    // The listing tells whether a copy left files of a change behind.
    m_sawLeftovers = false;
    m_bodies.index(folder());
    const QDir dir(folder());
    if (!m_sawLeftovers && !Change::isPending(folder())
        && platform::detail::entryAt(dir.filePath(platform::FolderLock::fileName())) == platform::detail::Entry::None)
        return QString();
    // Only when the lock can be had at once: a copy that holds it finishes
    // its own change.
    QString error;
    QString notice;
    if (auto lock = platform::FolderLock::take(folder(), 0, {}, nullptr, &error))
        Change::recover(folder(), lock->tookOver() || m_sawLeftovers, &error, &notice);
    return notice;
}

QString TemplateStore::UnfinishedChange()
{
    const QString intent = QDir(folder()).filePath(Change::intentFileName());
    return !folder().isEmpty() && Change::isPending(folder()) ? QDir::toNativeSeparators(intent) : QString();
}

bool TemplateStore::UnfinishedChangeTouches(const QString &name)
{
    if (UnfinishedChange().isEmpty())
        return false;
    const Change::Recorded recorded = Change::read(folder());
    if (recorded.state != Change::Recorded::State::Runnable)
        return recorded.state == Change::Recorded::State::Newer || recorded.state == Change::Recorded::State::Unreadable;
    const QString key = NameKey(name);
    const LineReading reading = lineReading();
    const auto keysIn = [&key, &reading](const QByteArray &bytes) {
        QStringList lines;
        for (const QByteArray &line : DataLines::split(bytes).lines) {
            if (const auto stored = ReadStoredLine(line, reading); stored && stored->key == key)
                lines << stored->text;
        }
        return lines;
    };
    const QString dataName = platform::foldedName(QFileInfo(dataFilePath()).fileName());
    for (const Change::Step &step : recorded.steps) {
        for (const QString &path : {step.path, step.other}) {
            if (BodyKeyOfFileName(QFileInfo(path).fileName()) == key)
                return true;
        }
        // The lines that a step still to be carried out writes into the
        // data file, against those it holds now.
        const bool renamesOntoData = step.kind == Change::Step::Kind::Rename
                                     && platform::foldedName(QFileInfo(step.other).fileName()) == dataName;
        const QString written = renamesOntoData ? step.path
                                : step.kind == Change::Step::Kind::Append ? step.other
                                                                          : QString();
        QByteArray now, then;
        if (written.isEmpty() || !platform::readOwnFile(written, &then))
            continue;
        if (step.kind == Change::Step::Kind::Append ? !keysIn(then).isEmpty()
                                                    : (platform::readOwnFile(dataFilePath(), &now), keysIn(now) != keysIn(then)))
            return true;
    }
    return false;
}

bool TemplateStore::DataFileUnchanged()
{
    platform::refreshFolderView(folder());
    return platform::fileStamp(dataFilePath()) == m_readStamp;
}

QString TemplateStore::ReadBody(const QString &name, QString *error)
{
    if (folder().isEmpty())
        return QString();
    const QString path = existingBody(NameKey(name), name);
    QByteArray bytes;
    if (path.isEmpty() || !platform::readOwnFile(path, &bytes, error))
        return QString();
    return ShownBody(platform::decodeBody(bytes));
}

QString TemplateStore::RefusalFor(const TemplateEditor &editor)
{
    const QString refusal = NameRefusal(editor.templateName());
    if (!refusal.isEmpty())
        return refusal;
    const std::pair<QString, QString> fields[] = {
        {SubjectLabel(), editor.subject()},
        {AttachmentsLabel(), editor.attachments()},
        {CcLabel(), editor.cc()},
        {ToLabel(), editor.to()},
        {BccLabel(), editor.bcc()},
        {HtmlLocationLabel(), editor.htmlLocation()},
    };
    for (const auto &[label, text] : fields) {
        // One template is one line of the data file.
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text.at(i) == QLatin1Char('\r') || text.at(i) == QLatin1Char('\n'))
                //: %1 names a box of the window.
                return QCoreApplication::translate("store::TemplateStore", "%1 can not contain a line break")
                    .arg(label);
        }
        if (platform::holdsBrokenCharacter(text))
            //: %1 names a box of the window.
            return QCoreApplication::translate("store::TemplateStore",
                                               "%1 can not contain half of a character (a lone surrogate)")
                .arg(label);
        // A box that a stored template fills is never longer than the window
        // shows in good time; the body has a box of its own without that limit.
        if (text.size() > LongestBoxText)
            //: %1 names a box of the window, %2 is a number.
            return QCoreApplication::translate("store::TemplateStore", "%1 can not be longer than %2 characters")
                .arg(label, QLocale(QLocale::English).toString(LongestBoxText));
    }
    if (platform::holdsBrokenCharacter(editor.body()))
        return QCoreApplication::translate("store::TemplateStore",
                                           "Email Body can not contain half of a character (a lone surrogate)");
    return QString();
}

std::unique_ptr<TemplateStore::Locked> TemplateStore::lockFolder(Outcome *failure, const QString &what)
{
    const auto fail = [&](Outcome::Status status, const QString &why) {
        failure->status = status;
        //: %1 is what was to be done ("saved", "deleted", "renamed", "brought back"), %2 the reason.
        failure->message = QCoreApplication::translate("store::TemplateStore", "The template was not %1: %2.")
                               .arg(what, why);
        return nullptr;
    };
    if (!folderIsThere())
        return fail(Outcome::Status::Failed,
                    QCoreApplication::translate("store::TemplateStore", "the templates folder \"%1\" cannot be "
                                                                        "reached (is the network share there?)")
                        .arg(QDir::toNativeSeparators(folder())));
    if (m_mayCreate && !QDir().mkpath(folder()))
        return fail(Outcome::Status::Failed,
                    QCoreApplication::translate("store::TemplateStore", "the folder \"%1\" cannot be created")
                        .arg(QDir::toNativeSeparators(folder())));
    auto locked = std::make_unique<Locked>();
    const bool listingGood = !m_bodies.isStale(folder());
    if (listingGood)
        locked->release = [this] { m_bodies.adopt(folder()); };
    QString why;
    platform::LockHolder holder;
    locked->lock = platform::FolderLock::take(folder(), m_lockWaitMs, m_whileWaiting, &holder, &why);
    if (locked->lock && listingGood)
        m_bodies.adopt(folder()); // only the lock file came
    // What other machines changed before this copy took the lock is seen.
    if (locked->lock)
        platform::refreshFolderView(folder());
    if (!locked->lock && !holder.isNull()) {
        failure->lockHeldElsewhere = true;
        //: %1 is why the templates cannot be changed now (who is changing them).
        return fail(Outcome::Status::Failed,
                    QCoreApplication::translate("store::TemplateStore", "%1. Try again in a moment").arg(why));
    }
    // The lock's reasons are clauses; recovery's are sentences of their own.
    if (!locked->lock)
        return fail(Outcome::Status::Failed, why);
    QString notice;
    if (!Change::recover(folder(), locked->lock->tookOver(), &why, &notice)) {
        failure->status = Outcome::Status::Failed;
        //: %1 is what was to be done ("saved", "deleted", "renamed", "brought back"), %2 the reason.
        failure->message = QCoreApplication::translate("store::TemplateStore", "The template was not %1. %2")
                               .arg(what, why);
        return nullptr;
    }
    if (!notice.isEmpty())
        m_notice = notice;
    return locked;
}

Outcome TemplateStore::retried(const std::function<Outcome()> &command)
{
    m_lockLost = false;
    Outcome outcome = command();
    if (m_lockLost) {
        m_lockLost = false;
        outcome = command();
    }
    return told(outcome);
}

Outcome TemplateStore::told(Outcome outcome)
{
    // What recovery set aside is told once, with the next outcome the
    // window shows.
    if (m_notice.isEmpty() || outcome.status == Outcome::Status::Changed)
        return outcome;
    outcome.message = outcome.message.isEmpty() ? m_notice : m_notice + QStringLiteral("\n\n") + outcome.message;
    m_notice.clear();
    return outcome;
}

QString TemplateStore::keptFolderFault(const QString &what)
{
    const QString kept = KeptVersions::folder(folder());
    if (platform::detail::entryAt(kept) == platform::detail::Entry::None) {
        if (QDir().mkpath(kept))
            return QString();
    } else if (platform::isRealFolder(kept)) {
        return QString();
    }
    //: %1 is a folder, %2 what is kept there ("deleted", "replaced").
    return QCoreApplication::translate("store::TemplateStore", "The folder \"%1\" for %2 templates cannot be made, or "
                                                               "it is not a folder of its own (a link or a file).")
        .arg(QDir::toNativeSeparators(kept), what);
}

bool TemplateStore::readLines(DataLines *data, QString *error)
{
    const QString path = dataFilePath();
    const QFileInfo info(path);
    if (info.isSymLink()) {
        *error = QCoreApplication::translate("store::TemplateStore", "Could not write \"%1\": it is a symbolic "
                                                                     "link; Letterloom writes only to files inside "
                                                                     "its own folder")
                     .arg(QDir::toNativeSeparators(path));
        return false;
    }
    QByteArray bytes;
    if (info.exists() && !platform::readOwnFile(path, &bytes, error))
        return false;
    *data = DataLines::split(bytes);
    data->reading = lineReading();
    return true;
}

Outcome TemplateStore::carryOut(const ChangePlan &plan, Locked &locked, const QString &notDone,
                                const QString &doneBut)
{
    const auto path = [this](const QString &name) { return QDir(folder()).filePath(name); };
    // A file of the folder is moved only when it is a regular file.
    for (const ChangePlan::Step &step : plan.steps) {
        if (step.kind == ChangePlan::Step::Kind::Rename && step.written < 0
            && platform::detail::entryAt(path(step.from)) != platform::detail::Entry::File)
            return {Outcome::Status::Failed,
                    notDone.arg(QCoreApplication::translate("store::TemplateStore",
                                                            "The file \"%1\" is not a regular file.")
                                    .arg(QDir::toNativeSeparators(path(step.from))))};
    }
    Change change(folder());
    QStringList written;
    QString error;
    for (const QByteArray &bytes : plan.written) {
        written << change.write(bytes, &error);
        if (written.last().isEmpty())
            return {Outcome::Status::Failed, notDone.arg(error)};
    }
    for (const ChangePlan::Step &step : plan.steps) {
        const QString source = step.written >= 0 ? written.at(step.written) : path(step.from);
        switch (step.kind) {
        case ChangePlan::Step::Kind::Rename: change.rename(source, path(step.to), step.toIsNew); break;
        case ChangePlan::Step::Kind::Remove: change.remove(source); break;
        case ChangePlan::Step::Kind::Append: change.append(path(step.to), step.offset, source); break;
        }
    }
    bool pending = false;
    if (!change.commit(*locked.lock, &error, &pending)) {
        // Two copies that created the lock file at one moment, through a
        // client that makes O_EXCL exclusive only by looking first
        // (smbnetfs), may both have gone on; the one whose lock is not in
        // the file stops before recording, having done nothing.
        m_lockLost = !pending && !locked.lock->stillHeld();
        return {pending ? Outcome::Status::Pending : Outcome::Status::Failed, (pending ? doneBut : notDone).arg(error)};
    }

    // What the listing of the folder and the names stored learn of it.
    const QString dataName = platform::foldedName(QFileInfo(dataFilePath()).fileName());
    bool kept = false;
    for (const ChangePlan::Step &step : plan.steps) {
        if (step.written < 0 && !step.from.contains(QLatin1Char('/')))
            m_bodies.noteRemoved(folder(), step.from);
        if (step.kind == ChangePlan::Step::Kind::Append)
            m_files.noteCreated(folder(), step.to);
        if (step.kind != ChangePlan::Step::Kind::Rename)
            continue;
        if (!step.to.contains(QLatin1Char('/')))
            m_bodies.noteCreated(folder(), step.to);
        if (platform::foldedName(step.to) == dataName)
            m_names.forget();
        kept = kept || step.to.endsWith(QLatin1String(".record"));
    }
    for (const QString &old : kept ? KeptVersions::beyondLimit(folder()) : QStringList())
        platform::removeFile(old);
    return {};
}

// ---- the list -------------------------------------------------------------

bool LoadTemplateList(TemplateStore &store, TemplateList &list, QString *error)
{
    QString why;
    const QByteArray bytes = store.ReadDataFile(&why);
    const LineReading reading = store.lineReading();
    if (error)
        *error = why;
    QElapsedTimer sinceYield;
    sinceYield.start();
    // Lines end at LF, with or without a CR before it; a byte-order mark at
    // the start is no part of the first line.
    qsizetype start = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    for (const char *lf; (lf = static_cast<const char *>(
                              std::memchr(bytes.constData() + start, '\n', size_t(bytes.size() - start))));) {
        // The window stays responsive while a long list is filled.
        if (sinceYield.elapsed() >= 50) {
            list.yield();
            sinceYield.restart();
        }
        const qsizetype end = lf - bytes.constData();
        const QByteArrayView line(bytes.constData() + start, end - start - (end > start && lf[-1] == '\r' ? 1 : 0));
        start = end + 1;
        if (line.contains('\t')) {
            if (const auto entry = ListEntryFromLine(reading.decode(line)))
                list.addEntry(*entry);
        }
    }
    return why.isEmpty();
}

} // namespace store
