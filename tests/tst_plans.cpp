// What the store decides (store/plans.h), without a file: the store model's
// random operations decided on a folder held in memory, each change carried
// out on that memory, and the folder compared with the model after every
// step. The seed of a failing sequence is printed.

#include "platform/storedtext.h"
#include "platform/textfile.h"
#include "store/names.h"
#include "store/plans.h"
#include "store/templaterecord.h"
#include "store/templatestore.h"
#include "support/storemodel.h"

#include <QTest>

using storemodel::Operation;
using storemodel::Result;

namespace {

// A data folder as its files' names and bytes, read and changed as the
// store reads and changes the folder on disk.
struct Memory
{
    QMap<QString, QByteArray> files;
    int kept = 0;

    QString dataFile() const { return QStringLiteral("MainData.txt"); }
    store::DataLines data() const
    {
        store::DataLines lines = store::DataLines::split(files.value(dataFile()));
        lines.reading.bodyExists = [this](const QString &name) {
            return !body(store::NameKey(name), name).isEmpty();
        };
        return lines;
    }
    // The body file of a name: its own name first, else any of its key.
    QString body(const QString &key, const QString &name) const
    {
        if (files.contains(store::BodyFileName(name)))
            return store::BodyFileName(name);
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            if (!it.key().contains(u'/') && store::BodyKeyOfFileName(it.key()) == key)
                return it.key();
        }
        return QString();
    }
    std::optional<QByteArray> bodyBytes(const QString &file) const
    {
        return file.isEmpty() ? std::nullopt : std::optional<QByteArray>(files.value(file));
    }
    store::KeptVersion newKept(const QString &kind)
    {
        store::KeptVersion version;
        version.id = QStringLiteral("%1").arg(++kept, 6, 10, QLatin1Char('0'));
        version.kind = kind;
        version.user = QStringLiteral("me");
        return version;
    }
    std::optional<store::KeptVersion> newest() const
    {
        for (auto it = files.cend(); it != files.cbegin();) {
            --it;
            if (!it.key().startsWith(u"Deleted/") || !it.key().endsWith(u".record"))
                continue;
            auto version = store::KeptVersion::parse(it.value(), it.key().mid(8).chopped(7));
            if (version && version->user == QLatin1String("me"))
                return version;
        }
        return std::nullopt;
    }
    // Carries a change out: each step as the store's change does it.
    bool carryOut(const store::ChangePlan &plan)
    {
        using Kind = store::ChangePlan::Step::Kind;
        for (const store::ChangePlan::Step &step : plan.steps) {
            const QByteArray bytes = step.written >= 0 ? plan.written.at(step.written) : files.take(step.from);
            if (step.kind == Kind::Rename)
                files.insert(step.to, bytes);
            else if (step.kind == Kind::Append && files.value(step.to).size() != step.offset)
                return false;
            else if (step.kind == Kind::Append)
                files[step.to] += bytes;
        }
        return true;
    }
};

Result perform(Memory &memory, const Operation &op)
{
    const store::DataLines data = memory.data();
    QStringList entries;
    for (const QByteArray &line : data.lines) {
        if (const auto entry = store::ListEntryFromLine(platform::decodeLine(line)))
            entries << *entry;
    }
    if (entries.isEmpty() && (op.kind == Operation::Kind::Delete || op.kind == Operation::Kind::Rename))
        return Result::Nothing;
    const int index = entries.isEmpty() ? 0 : op.row % int(entries.size());
    const store::EntryRef entry{store::LineTextOfEntry(entries.value(index)),
                                int(entries.mid(0, index).count(entries.value(index)))};
    const auto done = [](bool carried) { return carried ? Result::Done : Result::Failed; };
    switch (op.kind) {
    case Operation::Kind::Save: {
        store::EditorValues editor;
        editor.name = op.editor.name;
        editor.subjectText = op.editor.subject;
        editor.attachmentPaths = op.editor.attachments;
        editor.ccText = op.editor.cc;
        editor.toText = op.editor.to;
        editor.bccText = op.editor.bcc;
        editor.plain = op.editor.plain;
        editor.html = op.editor.html;
        editor.location = op.editor.location;
        editor.bodyText = op.editor.body;
        if (!store::TemplateStore::RefusalFor(editor).isEmpty())
            return Result::Refused;
        const QString name = store::TemplateName(editor.name);
        const QString body = memory.body(store::NameKey(name), name);
        const store::SavePlan plan = store::DecideSave(editor, store::ShownVersion(), data, memory.bodyBytes(body));
        if (plan.kind == store::SavePlan::Kind::Unchanged)
            return Result::Unchanged;
        if (plan.kind == store::SavePlan::Kind::New) {
            if (!body.isEmpty()) // a body file that no line names is kept aside
                memory.files.insert(QStringLiteral("Deleted/x.body"), memory.files.take(body));
            return done(memory.carryOut(store::NewTemplateChange(
                editor, memory.dataFile(), memory.files.value(memory.dataFile()).size(), data.newLineEnd())));
        }
        if (!op.answer)
            return Result::Nothing;
        return done(memory.carryOut(store::ReplaceChange(editor, data, memory.dataFile(), body,
                                                         memory.files.value(body), memory.newKept("replace"))));
    }
    case Operation::Kind::Delete: {
        const store::DeletePlan plan = store::DecideDelete(data, entry);
        if (!op.answer)
            return Result::Nothing;
        const auto change = store::DeleteChange(plan, data, memory.dataFile(),
                                                memory.body(plan.line->key, plan.line->name), memory.newKept("delete"));
        return done(change && memory.carryOut(*change));
    }
    case Operation::Kind::Rename: {
        if (op.newName == entry.lineText.section(u'\t', 0, 0))
            return Result::Unchanged;
        const store::RenamePlan plan = store::DecideRename(data, entry, op.newName);
        if (!plan.refusal.isEmpty())
            return Result::Refused;
        if (plan.newName == plan.line->name)
            return Result::Unchanged;
        const QString body = memory.body(plan.line->key, plan.line->name);
        if (store::NameKey(plan.newName) != plan.line->key
            && !memory.body(store::NameKey(plan.newName), plan.newName).isEmpty())
            return Result::Failed;
        const auto change = store::RenameChange(plan, data, memory.dataFile(),
                                                store::NameKey(plan.newName) != plan.line->key ? body : QString(),
                                                memory.files.value(body));
        return done(change && memory.carryOut(*change));
    }
    case Operation::Kind::Undo: {
        const std::optional<store::KeptVersion> version = memory.newest();
        const bool keptBody = version && memory.files.contains(QStringLiteral("Deleted/%1.body").arg(version->id));
        const store::UndoPlan plan = store::DecideUndo(
            version, data, [&memory](const QString &key, const QString &name) { return !memory.body(key, name).isEmpty(); },
            keptBody);
        if (!plan.version || (plan.nameTaken && !op.answer))
            return Result::Nothing;
        return done(memory.carryOut(store::UndoChange(plan, data, memory.dataFile(), keptBody)));
    }
    }
    return Result::Failed;
}

} // namespace

class TestPlans : public QObject
{
    Q_OBJECT

private slots:
    void randomSequencesMatchTheModel();
};

void TestPlans::randomSequencesMatchTheModel()
{
    for (quint64 seed = 3000; seed < 3060; ++seed) {
        Memory memory;
        storemodel::Folder model;
        storemodel::Generator generator(seed);
        for (int step = 0; step < 60; ++step) {
            const Operation op = generator.next(model);
            storemodel::Folder after = model;
            const Result expected = storemodel::apply(after, op);
            const Result result = perform(memory, op);
            QStringList problems;
            const storemodel::Folder now = storemodel::readFiles(memory.files, &problems);
            const QString where = QStringLiteral("seed %1, step %2: %3 gave %4, the model %5\n%6\nthe model:\n%7")
                                      .arg(seed)
                                      .arg(step)
                                      .arg(op.describe(), storemodel::resultName(result),
                                           storemodel::resultName(expected), now.describe(), after.describe());
            QVERIFY2(result == expected && now == after && problems.isEmpty(),
                     qPrintable(where + u'\n' + problems.join(u'\n')));
            model = after;
        }
    }
}

QTEST_GUILESS_MAIN(TestPlans)
#include "tst_plans.moc"
