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
namespace {

const QByteArray kLineEnd("\r\n");

// The body as the editor shows it: the body file's text without the line
// end that Save puts behind every body.
QString shownBody(const QString &stored)
{
    return stored.endsWith(QLatin1String("\r\n")) ? stored.chopped(2) : stored;
}

// The bytes of a body file for the editor's body.
QByteArray bodyFileBytes(const TemplateEditor &editor)
{
    return platform::encodeBody(TrimSpaces(editor.body()) + QStringLiteral("\r\n"));
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

QString lineWithName(const QString &lineText, const QString &name)
{
    const qsizetype tab = lineText.indexOf(QLatin1Char('\t'));
    return TrimSpaces(TemplateName(name) + lineText.mid(tab));
}

QString describeAll(const QList<StoredLine> &lines)
{
    QStringList described;
    for (const StoredLine &line : lines)
        described << QStringLiteral("  ") + Describe(line);
    return described.join(QLatin1Char('\n'));
}

} // namespace

// ---- questions ------------------------------------------------------------

QString SavePlan::question(const QString &name) const
{
    QString text;
    if (changedElsewhere)
        text = QCoreApplication::translate("store::TemplateStore", "The template \"%1\" was changed by someone else "
                                                                   "after you brought it into the editor.")
                   .arg(TemplateName(name))
               + QStringLiteral("\n\n");
    if (replaced.size() == 1) {
        text += QCoreApplication::translate("store::TemplateStore", "A template named \"%1\" is saved already. "
                                                                    "Replace it with the template in the editor?")
                    .arg(replaced.first().name);
    } else {
        //: %1 is the number of templates (two or more), %2 their name, %3 one line for each of them.
        text += QCoreApplication::translate("store::TemplateStore", "%1 templates named \"%2\" are saved already:\n"
                                                                    "%3\nReplace all of them with the template in "
                                                                    "the editor?")
                    .arg(replaced.size())
                    .arg(TemplateName(name), describeAll(replaced));
    }
    return text + QStringLiteral("\n\n")
           + QCoreApplication::translate("store::TemplateStore",
                                         "What is replaced is kept: Undo Delete in the list's menu brings it back.");
}

QString DeletePlan::question() const
{
    //: %1 names the template and its subject.
    QString text = QCoreApplication::translate("store::TemplateStore", "Delete the template %1?").arg(Describe(*line));
    if (!sharing.isEmpty())
        text += QStringLiteral("\n\n")
                + QCoreApplication::translate("store::TemplateStore",
                                              "Its body file is also the body of these templates, which keep it:\n%1")
                      .arg(describeAll(sharing));
    return text + QStringLiteral("\n\n")
           + QCoreApplication::translate("store::TemplateStore", "Undo Delete in the list's menu brings it back.");
}

QString UndoPlan::question() const
{
    if (version->kind == QLatin1String("replace"))
        return QCoreApplication::translate("store::TemplateStore", "A template named \"%1\" is saved now. Bring "
                                                                   "back the one that was replaced as \"%2\"?")
            .arg(lines.first().name, freeName);
    return QCoreApplication::translate("store::TemplateStore", "A template named \"%1\" is saved now. Bring back "
                                                               "the one that was deleted as \"%2\"?")
        .arg(lines.first().name, freeName);
}

// ---- the folder -----------------------------------------------------------

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
    const auto keysIn = [&key](const QByteArray &bytes) {
        QStringList lines;
        for (const QByteArray &line : DataLines::split(bytes).lines) {
            if (const auto stored = ReadStoredLine(line); stored && stored->key == key)
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
    return shownBody(platform::decodeBody(bytes));
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
    if (!locked->lock && !holder.isNull())
        //: %1 is why the templates cannot be changed now (who is changing them).
        return fail(Outcome::Status::Failed,
                    QCoreApplication::translate("store::TemplateStore", "%1. Try again in a moment").arg(why));
    QString notice;
    if (!locked->lock || !Change::recover(folder(), locked->lock->tookOver(), &why, &notice)) {
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
    return true;
}

std::optional<StoredLine> TemplateStore::findEntry(const DataLines &data, const EntryRef &entry, qsizetype *index)
{
    int seen = 0;
    for (qsizetype i = 0; i < data.lines.size(); ++i) {
        const auto line = ReadStoredLine(data.lines.at(i));
        if (!line || line->text != entry.lineText)
            continue;
        if (seen++ == entry.occurrence) {
            if (index)
                *index = i;
            return line;
        }
    }
    return std::nullopt;
}

bool TemplateStore::nameHeld(const QString &key, const DataLines &data, qsizetype except)
{
    for (qsizetype i = 0; i < data.lines.size(); ++i) {
        if (i == except)
            continue;
        const auto line = ReadStoredLine(data.lines.at(i));
        if (line && line->key == key)
            return true;
    }
    return false;
}

QString TemplateStore::freeNameLike(const QString &name, const DataLines &data)
{
    for (int n = 2;; ++n) {
        const QString candidate = QStringLiteral("%1 (%2)").arg(TemplateName(name)).arg(n);
        if (!nameHeld(NameKey(candidate), data) && existingBody(NameKey(candidate), candidate).isEmpty())
            return candidate;
    }
}

// ---- Save -----------------------------------------------------------------

SavePlan TemplateStore::PlanSave(const TemplateEditor &editor, const ShownVersion &shown)
{
    SavePlan plan;
    plan.refusal = RefusalFor(editor);
    if (!plan.refusal.isEmpty())
        return plan;
    const QString key = NameKey(editor.templateName());
    // A new name is told from the names kept up to date with little reading;
    // only a name that is stored reads the whole file.
    if (!m_names.containsKey(dataFilePath(), key)) {
        plan.kind = SavePlan::Kind::New;
        return plan;
    }
    DataLines data;
    QString error;
    if (!readLines(&data, &error))
        data = DataLines();
    for (const QByteArray &bytes : std::as_const(data.lines)) {
        const auto line = ReadStoredLine(bytes);
        if (line && line->key == key)
            plan.replaced.append(*line);
    }
    if (plan.replaced.isEmpty()) {
        plan.kind = SavePlan::Kind::New;
        return plan;
    }
    const QString bodyPath = existingBody(key, editor.templateName());
    QByteArray body;
    plan.storedBodyExists = !bodyPath.isEmpty() && platform::readOwnFile(bodyPath, &body, &error);
    if (!bodyPath.isEmpty() && !plan.storedBodyExists) {
        plan.kind = SavePlan::Kind::Refused;
        plan.refusal = error;
        return plan;
    }
    plan.storedBody = platform::decodeBody(body);
    // The editor shows what is stored: nothing to save.
    if (plan.replaced.size() == 1
        && FormatRecordLine(EditorOf(DecodeListEntry(plan.replaced.first().text))) == FormatRecordLine(editor)
        && TemplateName(plan.replaced.first().name) == TemplateName(editor.templateName())
        && shownBody(plan.storedBody) == editor.body()) {
        plan.kind = SavePlan::Kind::Unchanged;
        return plan;
    }
    plan.kind = SavePlan::Kind::Replace;
    if (shown.key == key) {
        const bool lineThere = std::any_of(plan.replaced.cbegin(), plan.replaced.cend(),
                                           [&shown](const StoredLine &line) { return line.text == shown.lineText; });
        plan.changedElsewhere = !lineThere || shownBody(plan.storedBody) != shown.body;
    }
    return plan;
}

Outcome TemplateStore::Save(const TemplateEditor &editor, const SavePlan &plan)
{
    return told(doSave(editor, plan));
}

Outcome TemplateStore::doSave(const TemplateEditor &editor, const SavePlan &plan)
{
    Outcome outcome;
    if (plan.kind == SavePlan::Kind::Refused)
        return {Outcome::Status::Refused, plan.refusal};
    if (plan.kind == SavePlan::Kind::Unchanged)
        return {Outcome::Status::Unchanged, QString()};
    //: Fills "The template was not %1".
    auto locked = lockFolder(&outcome, QCoreApplication::translate("store::TemplateStore", "saved"));
    if (!locked)
        return outcome;
    // What is stored now must be what the plan saw.
    const SavePlan now = PlanSave(editor, ShownVersion());
    const auto texts = [](const QList<StoredLine> &lines) {
        QStringList t;
        for (const StoredLine &line : lines)
            t << line.text;
        return t;
    };
    if (now.kind != plan.kind || texts(now.replaced) != texts(plan.replaced)
        || (plan.kind == SavePlan::Kind::Replace
            && (now.storedBody != plan.storedBody || now.storedBodyExists != plan.storedBodyExists)))
        return {Outcome::Status::Changed, QString()};
    if (now.kind == SavePlan::Kind::New)
        return saveNew(editor, *locked);

    const auto failed = [](const QString &why) {
        return Outcome{Outcome::Status::Failed,
                       QCoreApplication::translate("store::TemplateStore", "The template was not replaced. %1")
                           .arg(why)};
    };
    DataLines data;
    QString error;
    if (!readLines(&data, &error))
        return failed(error);
    const QString key = NameKey(editor.templateName());
    const QString name = editor.templateName();
    KeptVersion kept = newKeptVersion(QStringLiteral("replace"));
    qsizetype first = -1;
    for (qsizetype i = 0; i < data.lines.size(); ++i) {
        const auto line = ReadStoredLine(data.lines.at(i));
        if (!line || line->key != key)
            continue;
        if (first < 0)
            first = i;
        kept.lines.append({line->bytes, std::nullopt});
    }
    // Each kept line remembers the line it stood before, of those that stay.
    DataLines after = data;
    after.lines[first] = platform::encodeLine(FormatRecordLine(editor));
    for (qsizetype i = after.lines.size() - 1; i > first; --i) {
        const auto line = ReadStoredLine(after.lines.at(i));
        if (line && line->key == key)
            after.lines.removeAt(i);
    }
    {
        qsizetype k = 0;
        for (qsizetype i = 0; i < data.lines.size(); ++i) {
            const auto line = ReadStoredLine(data.lines.at(i));
            if (!line || line->key != key)
                continue;
            for (qsizetype j = i + 1; j < data.lines.size(); ++j) {
                const auto next = ReadStoredLine(data.lines.at(j));
                if (!next || next->key != key) {
                    kept.lines[k].before = data.lines.at(j);
                    break;
                }
            }
            ++k;
        }
        // The first line's place is taken by the new one, which it stood before.
        kept.lines[0].before = after.lines.at(first);
    }

    const QString bodyPath = existingBody(key, name);
    const QString newBodyPath = platform::joinPath(folder(), BodyFileName(name));
    // A body file whose name differs from the new one in letter case only is
    // that one file on Windows' file systems: it keeps its name.
    const bool keepsName = !bodyPath.isEmpty()
                           && platform::foldedName(QFileInfo(bodyPath).fileName())
                                  == platform::foldedName(BodyFileName(name));
    const QString bodyTarget = keepsName ? bodyPath : newBodyPath;
    QByteArray oldBody;
    if (!bodyPath.isEmpty()) {
        if (!platform::readOwnFile(bodyPath, &oldBody, &error))
            return failed(error);
        kept.bodyFileName = QFileInfo(bodyPath).fileName();
    }
    //: Fills "The folder ... for %1 templates".
    if (const QString fault = keptFolderFault(QCoreApplication::translate("store::TemplateStore", "replaced"));
        !fault.isEmpty())
        return failed(fault);

    Change change(folder());
    const QString record = change.write(kept.serialized(), &error);
    const QString keptBody = record.isEmpty() || bodyPath.isEmpty() ? QString() : change.write(oldBody, &error);
    const QString newBody = record.isEmpty() || (!bodyPath.isEmpty() && keptBody.isEmpty())
                                ? QString()
                                : change.write(bodyFileBytes(editor), &error);
    const QString newData = newBody.isEmpty() ? QString() : change.write(after.joined(), &error);
    if (newData.isEmpty())
        return failed(error);
    change.rename(record, KeptVersions::recordPath(folder(), kept.id));
    if (!keptBody.isEmpty())
        change.rename(keptBody, KeptVersions::bodyPath(folder(), kept.id));
    change.rename(newBody, bodyTarget);
    if (!bodyPath.isEmpty() && bodyTarget != bodyPath)
        change.remove(bodyPath);
    change.rename(newData, dataFilePath());
    bool pending = false;
    if (!change.commit(*locked->lock, &error, &pending))
        return pending ? Outcome{Outcome::Status::Pending,
                                 QCoreApplication::translate("store::TemplateStore",
                                                             "The template was replaced, but %1")
                                     .arg(error)}
                       : failed(error);
    m_names.forget();
    if (!bodyPath.isEmpty() && bodyTarget != bodyPath)
        m_bodies.noteRemoved(folder(), QFileInfo(bodyPath).fileName());
    m_bodies.noteCreated(folder(), QFileInfo(bodyTarget).fileName());
    for (const QString &old : KeptVersions::beyondLimit(folder()))
        platform::removeFile(old);
    return {};
}

Outcome TemplateStore::saveNew(const TemplateEditor &editor, Locked &locked)
{
    const auto failed = [](const QString &why) {
        return Outcome{Outcome::Status::Failed,
                       QCoreApplication::translate("store::TemplateStore", "The template was not saved. %1").arg(why)};
    };
    const QString name = editor.templateName();
    const QString dataPath = dataFilePath();
    const bool dataListedBefore = DataFileUnchanged();
    QString error;
    Outcome outcome;

    // A last line without its line end (typed by hand, or left by an
    // earlier version that was killed while saving) is no template: it is
    // moved into a file of its own, so that it never merges with the new
    // line and is never thrown away.
    if (platform::detail::entryAt(dataPath) != platform::detail::Entry::None && !platform::isPlainFile(dataPath, &error))
        return failed(QCoreApplication::translate("store::TemplateStore", "Could not write \"%1\": %2")
                          .arg(QDir::toNativeSeparators(dataPath), error));
    platform::FileStamp stamp = platform::fileStamp(dataPath);
    qint64 end = std::max<qint64>(stamp.size, 0);
    if (end > 0) {
        QByteArray last;
        if (!platform::readFileRange(dataPath, end - std::min<qint64>(end, 2), std::min<qint64>(end, 2), &last))
            return failed(QCoreApplication::translate("store::TemplateStore", "Could not read \"%1\".")
                              .arg(QDir::toNativeSeparators(dataPath)));
        if (last != kLineEnd) {
            QByteArray bytes;
            if (!platform::readOwnFile(dataPath, &bytes, &error))
                return failed(error);
            const qsizetype lineEnd = bytes.lastIndexOf(kLineEnd);
            const qint64 start = lineEnd < 0 ? 0 : lineEnd + 2;
            const QFileInfo info(dataPath);
            QString side = info.dir().filePath(
                QStringLiteral("%1-unfinished-%2.txt")
                    .arg(info.completeBaseName(), QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
            for (int n = 2; QFileInfo::exists(side) || QFileInfo(side).isSymLink(); ++n)
                side = info.dir().filePath(QStringLiteral("%1-unfinished-%2-%3.txt")
                                               .arg(info.completeBaseName(),
                                                    QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")))
                                               .arg(n));
            if (!platform::createWholeFile(side, bytes.mid(start), &error))
                return failed(QCoreApplication::translate("store::TemplateStore", "The data file ends with an "
                                                                                  "unfinished line, which could not "
                                                                                  "be moved aside. %1")
                                  .arg(error));
            if (!platform::cutFile(dataPath, start, &error)) {
                platform::removeFile(side);
                return failed(error);
            }
            end = start;
            outcome.message = QCoreApplication::translate("store::TemplateStore", "The template was saved. The data "
                                                                                  "file \"%1\" ended with an "
                                                                                  "unfinished line, which is not a "
                                                                                  "template; it was moved into \"%2\".")
                                  .arg(QDir::toNativeSeparators(dataPath), QDir::toNativeSeparators(side));
        }
    }

    // A body file that no stored line names (left behind by an earlier
    // version) would be taken for this template's: it is kept aside.
    const QString key = NameKey(name);
    const QString orphan = existingBody(key, name);
    if (!orphan.isEmpty() && !platform::isPlainFile(orphan, &error))
        return failed(QCoreApplication::translate("store::TemplateStore", "Could not write \"%1\": %2")
                          .arg(QDir::toNativeSeparators(orphan), error));
    if (!orphan.isEmpty()) {
        const QString aside = KeptVersions::bodyPath(folder(), KeptVersions::newId());
        if (!QDir().mkpath(KeptVersions::folder(folder())) || !platform::renameFile(orphan, aside, &error))
            return failed(error);
        m_bodies.noteRemoved(folder(), QFileInfo(orphan).fileName());
    }

    const QString line = FormatRecordLine(editor);
    const QByteArray lineBytes = platform::encodeLine(line) + kLineEnd;
    const QString bodyPath = platform::joinPath(folder(), BodyFileName(name));
    Change change(folder());
    const QString body = change.write(bodyFileBytes(editor), &error);
    const QString appended = body.isEmpty() ? QString() : change.write(lineBytes, &error);
    if (appended.isEmpty())
        return failed(error);
    change.rename(body, bodyPath, true);
    change.append(dataPath, end, appended);
    bool pending = false;
    if (!change.commit(*locked.lock, &error, &pending))
        return pending ? Outcome{Outcome::Status::Pending,
                                 QCoreApplication::translate("store::TemplateStore", "The template was saved, but %1")
                                     .arg(error)}
                       : failed(error);
    m_bodies.noteCreated(folder(), BodyFileName(name));
    m_files.noteCreated(folder(), QFileInfo(dataPath).fileName());
    outcome.newEntry = *ListEntryFromLine(line);
    // The list may take the new entry at its end when it showed the file as
    // it was just before.
    outcome.appendsToList = dataListedBefore && outcome.message.isEmpty();
    if (outcome.appendsToList)
        m_readStamp = platform::fileStamp(dataPath);
    return outcome;
}

// ---- Delete ---------------------------------------------------------------

DeletePlan TemplateStore::PlanDelete(const EntryRef &entry)
{
    DeletePlan plan;
    DataLines data;
    QString error;
    qsizetype index = -1;
    if (!readLines(&data, &error) || !(plan.line = findEntry(data, entry, &index)))
        return plan;
    for (qsizetype i = 0; i < data.lines.size(); ++i) {
        const auto line = ReadStoredLine(data.lines.at(i));
        if (i != index && line && line->key == plan.line->key)
            plan.sharing.append(*line);
    }
    return plan;
}

Outcome TemplateStore::Delete(const DeletePlan &plan)
{
    return told(doDelete(plan));
}

Outcome TemplateStore::doDelete(const DeletePlan &plan)
{
    if (!plan.line)
        return {Outcome::Status::Changed, QString()};
    Outcome outcome;
    //: Fills "The template was not %1".
    auto locked = lockFolder(&outcome, QCoreApplication::translate("store::TemplateStore", "deleted"));
    if (!locked)
        return outcome;
    const auto failed = [](const QString &why) {
        return Outcome{Outcome::Status::Failed,
                       QCoreApplication::translate("store::TemplateStore", "The template was not deleted. %1")
                           .arg(why)};
    };
    DataLines data;
    QString error;
    if (!readLines(&data, &error))
        return failed(error);
    // The same line, and the same templates sharing its body, as the question named.
    int occurrence = 0;
    qsizetype index = -1;
    QList<StoredLine> sharing;
    for (qsizetype i = 0; i < data.lines.size(); ++i) {
        const auto line = ReadStoredLine(data.lines.at(i));
        if (!line || line->key != plan.line->key)
            continue;
        if (index < 0 && line->text == plan.line->text && occurrence++ == 0)
            index = i;
        else
            sharing.append(*line);
    }
    const auto texts = [](const QList<StoredLine> &lines) {
        QStringList t;
        for (const StoredLine &line : lines)
            t << line.text;
        return t;
    };
    if (index < 0 || texts(sharing) != texts(plan.sharing))
        return {Outcome::Status::Changed, QString()};

    KeptVersion kept = newKeptVersion(QStringLiteral("delete"));
    kept.lines.append({data.lines.at(index), std::nullopt});
    if (index + 1 < data.lines.size())
        kept.lines[0].before = data.lines.at(index + 1);
    // The body goes along only when no other template uses it.
    const QString bodyPath = sharing.isEmpty() ? existingBody(plan.line->key, plan.line->name) : QString();
    if (!bodyPath.isEmpty()) {
        const QFileInfo info(bodyPath);
        if (info.isSymLink() || !info.isFile())
            return failed(QCoreApplication::translate("store::TemplateStore",
                                                      "Its body file \"%1\" is not a regular file.")
                              .arg(QDir::toNativeSeparators(bodyPath)));
        kept.bodyFileName = info.fileName();
    }
    DataLines after = data;
    after.lines.removeAt(index);
    //: Fills "The folder ... for %1 templates".
    if (const QString fault = keptFolderFault(QCoreApplication::translate("store::TemplateStore", "deleted"));
        !fault.isEmpty())
        return failed(fault);

    Change change(folder());
    const QString record = change.write(kept.serialized(), &error);
    const QString newData = record.isEmpty() ? QString() : change.write(after.joined(), &error);
    if (newData.isEmpty())
        return failed(error);
    change.rename(record, KeptVersions::recordPath(folder(), kept.id));
    if (!bodyPath.isEmpty())
        change.rename(bodyPath, KeptVersions::bodyPath(folder(), kept.id));
    change.rename(newData, dataFilePath());
    bool pending = false;
    if (!change.commit(*locked->lock, &error, &pending))
        return pending ? Outcome{Outcome::Status::Pending,
                                 QCoreApplication::translate("store::TemplateStore", "The template was deleted, but %1")
                                     .arg(error)}
                       : failed(error);
    m_names.forget();
    if (!bodyPath.isEmpty())
        m_bodies.noteRemoved(folder(), QFileInfo(bodyPath).fileName());
    for (const QString &old : KeptVersions::beyondLimit(folder()))
        platform::removeFile(old);
    return {};
}

// ---- Rename ---------------------------------------------------------------

RenamePlan TemplateStore::PlanRename(const EntryRef &entry, const QString &newName)
{
    RenamePlan plan;
    plan.newName = TemplateName(newName);
    EditorValues renamed;
    renamed.name = newName;
    plan.refusal = NameRefusal(newName);
    DataLines data;
    QString error;
    qsizetype index = -1;
    if (!readLines(&data, &error) || !(plan.line = findEntry(data, entry, &index)) || !plan.refusal.isEmpty())
        return plan;
    const QString newKey = NameKey(newName);
    if (newKey != plan.line->key && nameHeld(newKey, data))
        plan.refusal = QCoreApplication::translate("store::TemplateStore",
                                                   "A template named \"%1\" is saved already; choose another name.")
                           .arg(plan.newName);
    return plan;
}

Outcome TemplateStore::Rename(const RenamePlan &plan)
{
    return told(doRename(plan));
}

Outcome TemplateStore::doRename(const RenamePlan &plan)
{
    if (!plan.refusal.isEmpty())
        return {Outcome::Status::Refused, plan.refusal};
    if (!plan.line)
        return {Outcome::Status::Changed, QString()};
    if (plan.newName == plan.line->name)
        return {Outcome::Status::Unchanged, QString()};
    Outcome outcome;
    //: Fills "The template was not %1".
    auto locked = lockFolder(&outcome, QCoreApplication::translate("store::TemplateStore", "renamed"));
    if (!locked)
        return outcome;
    const auto failed = [](const QString &why) {
        return Outcome{Outcome::Status::Failed,
                       QCoreApplication::translate("store::TemplateStore", "The template was not renamed. %1")
                           .arg(why)};
    };
    DataLines data;
    QString error;
    if (!readLines(&data, &error))
        return failed(error);
    qsizetype index = -1;
    if (!findEntry(data, {plan.line->text, 0}, &index))
        return {Outcome::Status::Changed, QString()};
    const QString oldKey = plan.line->key;
    const QString newKey = NameKey(plan.newName);
    if (newKey != oldKey && nameHeld(newKey, data))
        return {Outcome::Status::Refused,
                QCoreApplication::translate("store::TemplateStore",
                                            "A template named \"%1\" is saved already; choose another name.")
                    .arg(plan.newName)};

    // The body files are looked for before the change writes files of its own.
    QString bodyPath;
    QString newBodyPath;
    if (newKey != oldKey) {
        bodyPath = existingBody(oldKey, plan.line->name);
        if (!bodyPath.isEmpty() && platform::detail::entryAt(bodyPath) != platform::detail::Entry::File)
            return failed(QCoreApplication::translate("store::TemplateStore",
                                                      "Its body file \"%1\" is not a regular file.")
                              .arg(QDir::toNativeSeparators(bodyPath)));
        newBodyPath = platform::joinPath(folder(), BodyFileName(plan.newName));
        const QString inTheWay = existingBody(newKey, plan.newName);
        if (!inTheWay.isEmpty())
            return failed(QCoreApplication::translate("store::TemplateStore", "The file \"%1\" is in the way.")
                              .arg(QDir::toNativeSeparators(inTheWay)));
    }
    DataLines after = data;
    after.lines[index] = platform::encodeLine(lineWithName(plan.line->text, plan.newName));
    Change change(folder());
    const QString newData = change.write(after.joined(), &error);
    if (newData.isEmpty())
        return failed(error);
    if (!bodyPath.isEmpty()) {
        // Another name: the body file goes along, or a copy of it when other
        // templates of the old name keep using it.
        if (nameHeld(oldKey, data, index)) {
            QByteArray bytes;
            const QString copy = platform::readOwnFile(bodyPath, &bytes, &error) ? change.write(bytes, &error)
                                                                                     : QString();
            if (copy.isEmpty())
                return failed(error);
            change.rename(copy, newBodyPath, true);
            bodyPath.clear();
        } else {
            change.rename(bodyPath, newBodyPath, true);
        }
    }
    change.rename(newData, dataFilePath());
    bool pending = false;
    if (!change.commit(*locked->lock, &error, &pending))
        return pending ? Outcome{Outcome::Status::Pending,
                                 QCoreApplication::translate("store::TemplateStore", "The template was renamed, but %1")
                                     .arg(error)}
                       : failed(error);
    m_names.forget();
    if (!bodyPath.isEmpty())
        m_bodies.noteRemoved(folder(), QFileInfo(bodyPath).fileName());
    if (!newBodyPath.isEmpty())
        m_bodies.noteCreated(folder(), QFileInfo(newBodyPath).fileName());
    return {};
}

// ---- Undo -----------------------------------------------------------------

UndoPlan TemplateStore::PlanUndo()
{
    UndoPlan plan;
    if (folder().isEmpty())
        return plan;
    plan.version = KeptVersions::newest(folder(), platform::userName());
    if (!plan.version)
        return plan;
    for (const KeptLine &kept : std::as_const(plan.version->lines)) {
        if (const auto line = ReadStoredLine(kept.line))
            plan.lines.append(*line);
    }
    if (plan.lines.isEmpty()) {
        plan.version.reset();
        return plan;
    }
    DataLines data;
    QString error;
    readLines(&data, &error);
    const StoredLine &first = plan.lines.first();
    // Brought back without a body file of its own (other templates of its
    // name kept that one), it simply stands beside them again.
    plan.nameTaken = !plan.version->bodyFileName.isEmpty()
                     && (nameHeld(first.key, data) || !existingBody(first.key, first.name).isEmpty());
    if (plan.nameTaken)
        plan.freeName = freeNameLike(first.name, data);
    return plan;
}

Outcome TemplateStore::Undo(const UndoPlan &plan)
{
    return told(doUndo(plan));
}

Outcome TemplateStore::doUndo(const UndoPlan &plan)
{
    if (!plan.version)
        return {Outcome::Status::Unchanged, QString()};
    Outcome outcome;
    //: Fills "The template was not %1".
    auto locked = lockFolder(&outcome, QCoreApplication::translate("store::TemplateStore", "brought back"));
    if (!locked)
        return outcome;
    const auto failed = [](const QString &why) {
        return Outcome{Outcome::Status::Failed,
                       QCoreApplication::translate("store::TemplateStore", "The template was not brought back. %1")
                           .arg(why)};
    };
    const UndoPlan now = PlanUndo();
    if (!now.version || now.version->id != plan.version->id || now.nameTaken != plan.nameTaken
        || now.freeName != plan.freeName)
        return {Outcome::Status::Changed, QString()};
    DataLines data;
    QString error;
    if (!readLines(&data, &error))
        return failed(error);
    const QString name = plan.nameTaken ? plan.freeName : plan.lines.first().name;
    DataLines after = data;
    for (const KeptLine &kept : std::as_const(plan.version->lines)) {
        const auto line = ReadStoredLine(kept.line);
        if (!line)
            continue;
        const QByteArray bytes = plan.nameTaken ? platform::encodeLine(lineWithName(line->text, name)) : kept.line;
        qsizetype at = after.lines.size();
        if (kept.before) {
            const qsizetype found = after.lines.indexOf(*kept.before);
            if (found >= 0)
                at = found;
        }
        after.lines.insert(at, bytes);
    }
    Change change(folder());
    const QString newData = change.write(after.joined(), &error);
    if (newData.isEmpty())
        return failed(error);
    const QString keptBody = KeptVersions::bodyPath(folder(), plan.version->id);
    const QString bodyPath = platform::joinPath(folder(), BodyFileName(name));
    const platform::detail::Entry keptEntry = platform::detail::entryAt(keptBody);
    if (keptEntry != platform::detail::Entry::None && keptEntry != platform::detail::Entry::File)
        return failed(QCoreApplication::translate("store::TemplateStore", "Its kept body file \"%1\" is not a "
                                                                          "regular file.")
                          .arg(QDir::toNativeSeparators(keptBody)));
    const bool hasBody = !plan.version->bodyFileName.isEmpty() && keptEntry == platform::detail::Entry::File;
    if (hasBody)
        change.rename(keptBody, bodyPath, true);
    change.rename(newData, dataFilePath());
    change.remove(KeptVersions::recordPath(folder(), plan.version->id));
    bool pending = false;
    if (!change.commit(*locked->lock, &error, &pending))
        return pending ? Outcome{Outcome::Status::Pending,
                                 QCoreApplication::translate("store::TemplateStore",
                                                             "The template was brought back, but %1")
                                     .arg(error)}
                       : failed(error);
    m_names.forget();
    if (hasBody)
        m_bodies.noteCreated(folder(), QFileInfo(bodyPath).fileName());
    return {};
}

// ---- the list -------------------------------------------------------------

bool LoadTemplateList(TemplateStore &store, TemplateList &list, QString *error)
{
    QString why;
    const QByteArray bytes = store.ReadDataFile(&why);
    if (error)
        *error = why;
    QElapsedTimer sinceYield;
    sinceYield.start();
    qsizetype start = 0;
    const auto nextLineEnd = [&bytes](qsizetype from) {
        for (const char *lf; (lf = static_cast<const char *>(std::memchr(bytes.constData() + from, '\n',
                                                                         size_t(bytes.size() - from))));) {
            const qsizetype at = lf - bytes.constData();
            if (at > 0 && bytes.at(at - 1) == '\r')
                return at - 1;
            from = at + 1;
        }
        return qsizetype(-1);
    };
    for (qsizetype crlf = nextLineEnd(0); crlf >= 0; crlf = nextLineEnd(start)) {
        // The window stays responsive while a long list is filled.
        if (sinceYield.elapsed() >= 50) {
            list.yield();
            sinceYield.restart();
        }
        const QByteArrayView line(bytes.constData() + start, crlf - start);
        start = crlf + 2;
        if (line.contains('\t')) {
            if (const auto entry = ListEntryFromLine(platform::decodeLine(line)))
                list.addEntry(*entry);
        }
    }
    return why.isEmpty();
}

} // namespace store
