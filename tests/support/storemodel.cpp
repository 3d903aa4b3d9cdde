#include "support/storemodel.h"

#include "store/templaterecord.h"
#include "support/testdata.h"

#include <QDir>
#include <QRegularExpression>

namespace storemodel {
namespace {

// Windows-1252's bytes 0x80-0x9F; the rest is Latin-1. The five it leaves
// undefined stand for themselves.
const char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                            0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                            0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// A line is UTF-8 when its bytes are (Qt's decoder makes every byte that
// is not part of a valid sequence U+FFFD, which encodes otherwise).
QString lineFromBytes(const QByteArray &bytes)
{
    const QString utf8 = QString::fromUtf8(bytes);
    return utf8.toUtf8() == bytes ? utf8 : fromWindows1252(bytes);
}

QString bodyFromBytes(const QByteArray &bytes)
{
    return bytes.startsWith("\xEF\xBB\xBF") ? QString::fromUtf8(bytes.mid(3)) : fromWindows1252(bytes);
}

QString trimmedOfSpaces(QString text)
{
    static const QRegularExpression spaces(QStringLiteral("^ +| +$"));
    return text.remove(spaces);
}

QString lineName(const QString &line)
{
    return line.section(u'\t', 0, 0);
}

QString withName(const QString &line, const QString &name)
{
    return trimmedOfSpaces(name + line.mid(line.indexOf(u'\t')));
}

// The model's own rules: the key of a name (names of one key are one
// template), a template's line, and the names Save refuses.
QString modelKey(const QString &name)
{
    QString key = trimmedOfSpaces(QString(name).replace(u'\t', QStringLiteral("     ")));
    for (QChar &c : key) {
        if (!c.isSurrogate())
            c = QChar(QChar::toUpper(c.unicode()));
    }
    return key;
}

QString modelLine(const Template &t)
{
    const auto field = [](QString text) { return text.replace(u'\t', QStringLiteral("     ")); };
    return trimmedOfSpaces(QStringList{trimmedOfSpaces(t.name), field(t.subjectText), field(t.attachmentPaths), field(t.ccText),
                                       field(t.toText), field(t.bccText), t.plain ? "True" : "False",
                                       t.html ? "True" : "False", t.location}
                               .join(u'\t'));
}

bool modelRefuses(const QString &name)
{
    const QString trimmed = trimmedOfSpaces(name);
    if (trimmed.isEmpty() || name.contains(u"-Q-") || trimmed == u"." || trimmed == u"..")
        return true;
    return std::any_of(trimmed.cbegin(), trimmed.cend(), [](QChar c) {
        return c.unicode() < 0x20 || c.unicode() == 0x7F || QStringView(u"/\\<>:\"|?*").contains(c);
    });
}

// The rows of the lines that are templates, as the list shows them, in
// order; with a key, those of that key only.
QList<int> rows(const Folder &folder, const std::optional<QString> &key = std::nullopt)
{
    QList<int> found;
    for (int i = 0; i < folder.lines.size(); ++i) {
        const QString &line = folder.lines.at(i);
        if (line.contains(u'\t') && (!key || modelKey(lineName(line)) == *key))
            found << i;
    }
    return found;
}

// The editor holding a stored line, as the window fills it.
Template editorOf(const QString &line, const QString &body)
{
    const QStringList f = line.split(u'\t');
    Template t;
    t.name = f.value(0);
    t.subjectText = f.value(1);
    t.attachmentPaths = f.value(2);
    t.ccText = f.value(3);
    t.toText = f.value(4);
    t.bccText = f.value(5);
    // A flag reads as True or False in any letter case; HTML wins.
    const auto flag = [&f](int i, bool otherwise) {
        const QString value = f.value(i).toLower();
        return value == u"true" || (value != u"false" && otherwise);
    };
    t.html = flag(7, false);
    t.plain = !t.html && flag(6, true);
    t.location = f.value(8);
    t.bodyText = body.endsWith(u"\r\n") ? body.chopped(2) : body;
    return t;
}

// Keeps the lines at these rows for Undo, each with the line it stood
// before of those that stay.
Folder::Kept keptVersion(const Folder &folder, const QList<int> &keptRows)
{
    Folder::Kept version;
    for (const int row : keptRows) {
        version.lines << folder.lines.at(row);
        version.before << std::nullopt;
        for (int next = row + 1; next < folder.lines.size() && !version.before.last(); ++next) {
            if (!keptRows.contains(next))
                version.before.last() = folder.lines.at(next);
        }
    }
    return version;
}

} // namespace

QString fromWindows1252(const QByteArray &bytes)
{
    QString text;
    for (const char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        text += (u >= 0x80 && u < 0xA0) ? QChar(kHigh[u - 0x80]) : QChar(u);
    }
    return text;
}

QString resultName(Result result)
{
    static const char *const names[] = {"done", "unchanged", "refused", "failed", "pending", "nothing"};
    return QString::fromLatin1(names[int(result)]);
}

QString Operation::describe() const
{
    const QString what[] = {QStringLiteral("save \"%1\" (subject \"%2\", body %3 characters)")
                                .arg(editor.name, editor.subjectText)
                                .arg(editor.bodyText.size()),
                            QStringLiteral("delete row %1").arg(row),
                            QStringLiteral("rename row %1 to \"%2\"").arg(row).arg(newName), QStringLiteral("undo")};
    return what[int(kind)] + (answer ? QString() : QStringLiteral(", answering No"));
}

QString Folder::describe() const
{
    QStringList text;
    for (const QString &line : lines)
        text << QStringLiteral("  line: ") + line;
    for (auto it = bodies.cbegin(); it != bodies.cend(); ++it)
        text << QStringLiteral("  body %1: %2").arg(it.key(), it.value().left(60));
    for (const Kept &version : kept)
        text << QStringLiteral("  kept: %1, body %2").arg(version.lines.join(u" / "), version.body.value_or(QStringLiteral("none")).left(40));
    return text.join(u'\n').replace(u'\t', u'|').replace(QStringLiteral("\r\n"), QStringLiteral("\\r\\n"));
}

Result apply(Folder &folder, const Operation &op)
{
    const QList<int> all = rows(folder);
    const int index = all.isEmpty() ? -1 : all.at(op.row % all.size());
    const QString line = index < 0 ? QString() : folder.lines.at(index);
    const QString key = modelKey(op.kind == Operation::Kind::Save ? op.editor.name : lineName(line));
    switch (op.kind) {
    case Operation::Kind::Save: {
        if (modelRefuses(op.editor.name))
            return Result::Refused;
        const QString newLine = modelLine(op.editor);
        const QList<int> same = rows(folder, key);
        const auto stored = folder.bodies.contains(key) ? std::optional(folder.bodies.value(key)) : std::nullopt;
        // The one template of its name, as the window shows it, is the editor's.
        const Template shown = editorOf(folder.lines.value(same.value(0)), stored.value_or(QString()));
        if (same.size() == 1 && modelLine(shown) == newLine && shown.bodyText == op.editor.bodyText)
            return Result::Unchanged;
        if (!same.isEmpty() && !op.answer)
            return Result::Nothing;
        folder.bodies[key] = trimmedOfSpaces(op.editor.bodyText) + QStringLiteral("\r\n");
        if (same.isEmpty()) {
            folder.lines << newLine;
            return Result::Done;
        }
        Folder::Kept version = keptVersion(folder, same);
        version.before[0] = newLine;
        version.body = stored;
        folder.kept << version;
        for (qsizetype i = same.size() - 1; i > 0; --i)
            folder.lines.removeAt(same.at(i));
        folder.lines[same.first()] = newLine;
        return Result::Done;
    }
    case Operation::Kind::Delete: {
        if (index < 0 || !op.answer)
            return Result::Nothing;
        Folder::Kept version = keptVersion(folder, {index});
        folder.lines.removeAt(index);
        version.shared = !rows(folder, key).isEmpty();
        if (!version.shared && folder.bodies.contains(key))
            version.body = folder.bodies.take(key);
        folder.kept << version;
        return Result::Done;
    }
    case Operation::Kind::Rename: {
        if (index < 0)
            return Result::Nothing;
        const QString newName = trimmedOfSpaces(op.newName);
        const QString newKey = modelKey(op.newName);
        if (newName == lineName(line) || op.newName == lineName(line))
            return Result::Unchanged;
        if (modelRefuses(op.newName) || (newKey != key && !rows(folder, newKey).isEmpty()))
            return Result::Refused;
        folder.lines[index] = withName(line, newName);
        if (newKey != key && folder.bodies.contains(key))
            folder.bodies[newKey] = rows(folder, key).isEmpty() ? folder.bodies.take(key) : folder.bodies.value(key);
        return Result::Done;
    }
    case Operation::Kind::Undo: {
        if (folder.kept.isEmpty())
            return Result::Nothing;
        const Folder::Kept version = folder.kept.last();
        const QString name = lineName(version.lines.first());
        QString restoredName = name;
        // A name is free when no template and no body file has its key.
        const auto isFree = [&folder](const QString &candidate) {
            return rows(folder, modelKey(candidate)).isEmpty() && !folder.bodies.contains(modelKey(candidate));
        };
        // One that had its name to itself comes back under a name of its
        // own when the name is taken, never on another template's body.
        if (!version.shared && !isFree(name)) {
            if (!op.answer)
                return Result::Nothing;
            for (int n = 2; !isFree(restoredName); ++n)
                restoredName = QStringLiteral("%1 (%2)").arg(trimmedOfSpaces(name)).arg(n);
        }
        folder.kept.removeLast();
        for (int i = 0; i < version.lines.size(); ++i) {
            const qsizetype before = version.before.at(i) ? folder.lines.indexOf(*version.before.at(i)) : -1;
            folder.lines.insert(before < 0 ? folder.lines.size() : before,
                                restoredName == name ? version.lines.at(i) : withName(version.lines.at(i), restoredName));
        }
        if (version.body || restoredName != name)
            folder.bodies[modelKey(restoredName)] = version.body.value_or(QStringLiteral("\r\n"));
        return Result::Done;
    }
    }
    return Result::Nothing;
}

// ---- random operations ----------------------------------------------------

Operation Generator::next(const Folder &folder)
{
    // The names and pieces of text of tests/data/tables/model-texts.tsv.
    static QMap<QString, QStringList> texts;
    if (texts.isEmpty()) {
        for (const QStringList &row : testdata::table(QStringLiteral("model-texts")).mid(1))
            texts[row.value(1)] << row.value(0);
    }
    const auto any = [this](const QStringList &list) { return list.at(qsizetype(random() % std::uint64_t(list.size()))); };
    const auto text = [this, &any](int longest, bool withTabs) {
        QString out;
        for (int parts = int(random() % std::uint64_t(longest + 1)); parts > 0; --parts) {
            const auto pick = random() % 10;
            if (pick < 6)
                out += any(texts[QStringLiteral("piece")]);
            else if (pick < 9)
                out += QChar(char16_t(u'a' + random() % 26));
            else if (withTabs)
                out += u'\t';
        }
        return out;
    };
    Operation op;
    const QList<int> all = rows(folder);
    const auto pick = random() % 100;
    op.answer = random() % 8 != 0;
    op.row = int(random() % 1000);
    if (pick < 45 || all.isEmpty()) {
        op.kind = Operation::Kind::Save;
        if (!all.isEmpty() && random() % 4 == 0) {
            // A stored template brought back, and saved again unchanged or
            // with one field changed.
            const QString line = folder.lines.at(all.at(op.row % all.size()));
            op.editor = editorOf(line, folder.bodies.value(modelKey(lineName(line))));
            if (random() % 2)
                op.editor.subjectText += text(2, false);
        } else {
            op.editor.name = any(texts[QStringLiteral("name")]);
            op.editor.subjectText = text(4, true);
            op.editor.attachmentPaths = text(2, true);
            op.editor.ccText = text(1, false);
            op.editor.toText = text(2, false);
            op.editor.bccText = text(1, false);
            op.editor.plain = random() % 3 != 0;
            op.editor.html = !op.editor.plain && random() % 4 != 0;
            op.editor.location = text(2, false);
            QStringList bodyLines;
            for (int i = int(random() % 4); i > 0; --i)
                bodyLines << text(5, true);
            op.editor.bodyText = bodyLines.join(QStringLiteral("\r\n"));
        }
    } else if (pick < 62) {
        op.kind = Operation::Kind::Delete;
    } else if (pick < 82) {
        op.kind = Operation::Kind::Rename;
        op.newName = any(texts[QStringLiteral("name")]);
        if (random() % 3 == 0)
            op.newName += text(1, false);
    } else {
        op.kind = Operation::Kind::Undo;
    }
    return op;
}

// ---- the real store -------------------------------------------------------

Result perform(store::TemplateStore &templates, const Operation &op, QString *message)
{
    EntryList list;
    store::LoadTemplateList(templates, list);
    if (list.entries.isEmpty() && (op.kind == Operation::Kind::Delete || op.kind == Operation::Kind::Rename))
        return Result::Nothing;
    // The row's entry, and how many entries alike stand before it.
    const int index = list.entries.isEmpty() ? 0 : op.row % int(list.entries.size());
    const store::EntryRef ref{store::LineTextOfEntry(list.entries.value(index)),
                              int(list.entries.mid(0, index).count(list.entries.value(index)))};
    store::Outcome outcome;
    switch (op.kind) {
    case Operation::Kind::Save: {
        const store::SavePlan plan = templates.PlanSave(op.editor, store::ShownVersion());
        if (plan.kind == store::SavePlan::Kind::Replace && !op.answer)
            return Result::Nothing;
        outcome = templates.Save(op.editor, plan);
        break;
    }
    case Operation::Kind::Delete:
        if (!op.answer)
            return Result::Nothing;
        outcome = templates.Delete(templates.PlanDelete(ref));
        break;
    case Operation::Kind::Rename:
        if (op.newName == lineName(ref.lineText))
            return Result::Unchanged;
        outcome = templates.Rename(templates.PlanRename(ref, op.newName));
        break;
    case Operation::Kind::Undo: {
        const store::UndoPlan plan = templates.PlanUndo();
        if (!plan.version || (plan.nameTaken && !op.answer))
            return Result::Nothing;
        outcome = templates.Undo(plan);
        break;
    }
    }
    if (message)
        *message = outcome.message;
    // The store's statuses in the model's order; another copy's change
    // meanwhile is a failure.
    static_assert(int(store::Outcome::Status::Pending) == int(Result::Pending));
    return outcome.status == store::Outcome::Status::Changed ? Result::Failed : Result(int(outcome.status));
}

Folder readFiles(const QMap<QString, QByteArray> &files, QStringList *problems)
{
    Folder folder;
    bool dataFile = false;
    QMap<QString, QByteArray> records; // by id, which sorts as they were kept
    QMap<QString, QString> keptBodies;
    for (auto file = files.cbegin(); file != files.cend(); ++file) {
        const QString &name = file.key();
        const QString upper = name.toUpper();
        const QByteArray &bytes = file.value();
        if (upper == u"MAINDATA.TXT") {
            if (dataFile)
                *problems << QStringLiteral("two data files: %1").arg(name);
            dataFile = true;
            // Lines end in CR LF or LF; a file never mixes the two.
            const bool crlf = bytes.contains("\r\n");
            if (crlf && bytes.count("\r\n") != bytes.count('\n'))
                *problems << QStringLiteral("the data file mixes CR LF and LF line ends");
            if (!bytes.isEmpty() && !bytes.endsWith('\n'))
                *problems << QStringLiteral("the data file ends with an unfinished line");
            const QList<QByteArray> lines = bytes.split('\n');
            for (const QByteArray &line : lines.mid(0, lines.size() - 1))
                folder.lines << lineFromBytes(crlf ? line.chopped(1) : line);
        } else if (name.startsWith(u"Deleted/") && name.endsWith(u".record")) {
            records.insert(name.mid(8).chopped(7), bytes);
        } else if (name.startsWith(u"Deleted/") && name.endsWith(u".body")) {
            keptBodies.insert(name.mid(8).chopped(5), bodyFromBytes(bytes));
        } else if (upper.startsWith(u"LTM-") && upper.endsWith(u".TXT")) {
            const QString key = modelKey(name.mid(4, name.size() - 8));
            if (folder.bodies.contains(key))
                *problems << QStringLiteral("two body files for %1").arg(key);
            folder.bodies[key] = bodyFromBytes(bytes);
        } else if (name != u"Deleted/" && !name.startsWith(u"MainData-unfinished-")) {
            *problems << QStringLiteral("a file that does not belong: %1").arg(name);
        }
    }
    for (auto record = records.cbegin(); record != records.cend(); ++record) {
        Folder::Kept version;
        // Its lines, which with its body are what the model compares.
        for (const QByteArray &field : record.value().split('\n')) {
            if (field.startsWith("line="))
                version.lines << lineFromBytes(field.mid(5).chopped(field.endsWith('\r') ? 1 : 0));
        }
        if (keptBodies.contains(record.key()))
            version.body = keptBodies.value(record.key());
        folder.kept << version;
    }
    for (const QString &id : keptBodies.keys()) {
        if (!records.contains(id))
            *problems << QStringLiteral("a kept body without its record: %1").arg(id);
    }
    // Every body file is a listed template's.
    for (auto it = folder.bodies.cbegin(); it != folder.bodies.cend(); ++it) {
        if (rows(folder, it.key()).isEmpty())
            *problems << QStringLiteral("a body file that no template names: %1").arg(it.key());
    }
    return folder;
}

Folder read(const QString &dir, QStringList *problems)
{
    return readFiles(testdata::snapshot(dir), problems);
}

Folder legacy(const QString &fixture)
{
    QStringList problems;
    const Folder folder = read(QDir(testdata::dataDir()).filePath(fixture), &problems);
    if (!problems.isEmpty())
        qFatal("tests/data/%s: %s", qPrintable(fixture), qPrintable(problems.join(u'\n')));
    return folder;
}

QString step(const Perform &perform, Generator &generator, Folder &model, Result *result, QString *message)
{
    const Operation op = generator.next(model);
    Folder after = model;
    const Result expected = apply(after, op);
    QString said;
    const Result got = perform(op, &said);
    if (qEnvironmentVariableIsSet("LETTERLOOM_MODEL_TRACE"))
        qInfo("%s: %s, the model %s", qPrintable(op.describe()), qPrintable(resultName(got)), qPrintable(resultName(expected)));
    if (result)
        *result = got;
    if (message)
        *message = said;
    if (got == Result::Failed)
        return QString();
    model = after;
    return got == expected ? QString()
                           : QStringLiteral("%1 gave %2, the model %3 (%4)")
                                 .arg(op.describe(), resultName(got), resultName(expected), said);
}

} // namespace storemodel
