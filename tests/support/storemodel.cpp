#include "support/storemodel.h"

#include "store/templaterecord.h"
#include "support/testdata.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>

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

bool keyHeld(const Folder &folder, const QString &key)
{
    return std::any_of(folder.lines.cbegin(), folder.lines.cend(),
                       [&key](const QString &line) { return line.contains(u'\t') && modelKey(lineName(line)) == key; });
}

// The lines that are templates, as the list shows them, in order.
QList<int> templateRows(const Folder &folder)
{
    QList<int> rows;
    for (int i = 0; i < folder.lines.size(); ++i) {
        if (folder.lines.at(i).contains(u'\t'))
            rows << i;
    }
    return rows;
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

QString resultName(Result result)
{
    static const char *const names[] = {"done", "unchanged", "refused", "failed", "pending", "nothing"};
    return QString::fromLatin1(names[int(result)]);
}

QString Operation::describe() const
{
    switch (kind) {
    case Kind::Save:
        return QStringLiteral("save \"%1\" (subject \"%2\", body %3 characters)%4")
            .arg(editor.name, editor.subjectText)
            .arg(editor.bodyText.size())
            .arg(answer ? QString() : QStringLiteral(", answering No"));
    case Kind::Delete:
        return QStringLiteral("delete row %1").arg(row);
    case Kind::Rename:
        return QStringLiteral("rename row %1 to \"%2\"").arg(row).arg(newName);
    case Kind::Undo:
        return QStringLiteral("undo%1").arg(answer ? QString() : QStringLiteral(", answering No"));
    }
    return QString();
}

QString Folder::describe() const
{
    QStringList text;
    for (const QString &line : lines)
        text << QStringLiteral("  line: ") + QString(line).replace(u'\t', u'|');
    for (auto it = bodies.cbegin(); it != bodies.cend(); ++it)
        text << QStringLiteral("  body %1: %2").arg(it.key(), QString(it.value()).replace(QStringLiteral("\r\n"), QStringLiteral("\\r\\n")).left(60));
    for (const Kept &version : kept)
        text << QStringLiteral("  kept: %1, body %2").arg(version.lines.join(u" / ").replace(u'\t', u'|'),
                                                        version.body ? QString(*version.body).left(40) : QStringLiteral("none"));
    return text.join(u'\n');
}

Result apply(Folder &folder, const Operation &op)
{
    const QList<int> rows = templateRows(folder);
    switch (op.kind) {
    case Operation::Kind::Save: {
        if (modelRefuses(op.editor.name))
            return Result::Refused;
        const QString key = modelKey(op.editor.name);
        const QString line = modelLine(op.editor);
        const QString body = trimmedOfSpaces(op.editor.bodyText) + QStringLiteral("\r\n");
        QList<int> same;
        for (const int row : rows) {
            if (modelKey(lineName(folder.lines.at(row))) == key)
                same << row;
        }
        if (same.isEmpty()) {
            folder.lines << line;
            folder.bodies[key] = body;
            return Result::Done;
        }
        const QString stored = folder.bodies.value(key);
        if (same.size() == 1) {
            const Template shown = editorOf(folder.lines.at(same.first()), stored);
            if (modelLine(shown) == line && trimmedOfSpaces(lineName(folder.lines.at(same.first())))
                                                    == trimmedOfSpaces(op.editor.name)
                && shown.bodyText == op.editor.bodyText)
                return Result::Unchanged;
        }
        if (!op.answer)
            return Result::Nothing;
        Folder::Kept kept;
        for (const int row : same) {
            kept.lines << folder.lines.at(row);
            std::optional<QString> before;
            for (int next = row + 1; next < folder.lines.size(); ++next) {
                if (!same.contains(next)) {
                    before = folder.lines.at(next);
                    break;
                }
            }
            kept.before << before;
        }
        kept.before[0] = line;
        if (folder.bodies.contains(key))
            kept.body = stored;
        folder.kept << kept;
        for (qsizetype i = same.size() - 1; i > 0; --i)
            folder.lines.removeAt(same.at(i));
        folder.lines[same.first()] = line;
        folder.bodies[key] = body;
        return Result::Done;
    }
    case Operation::Kind::Delete: {
        if (rows.isEmpty() || !op.answer)
            return Result::Nothing;
        const int index = rows.at(op.row % rows.size());
        const QString line = folder.lines.at(index);
        const QString key = modelKey(lineName(line));
        Folder::Kept kept;
        kept.lines << line;
        kept.before << (index + 1 < folder.lines.size() ? std::optional<QString>(folder.lines.at(index + 1))
                                                        : std::nullopt);
        folder.lines.removeAt(index);
        kept.shared = keyHeld(folder, key);
        if (!kept.shared && folder.bodies.contains(key))
            kept.body = folder.bodies.take(key);
        folder.kept << kept;
        return Result::Done;
    }
    case Operation::Kind::Rename: {
        if (rows.isEmpty())
            return Result::Nothing;
        const int index = rows.at(op.row % rows.size());
        const QString line = folder.lines.at(index);
        const QString oldName = lineName(line);
        if (trimmedOfSpaces(op.newName) == oldName || op.newName == oldName)
            return Result::Unchanged;
        if (modelRefuses(op.newName))
            return Result::Refused;
        const QString oldKey = modelKey(oldName);
        const QString newKey = modelKey(op.newName);
        if (newKey != oldKey && keyHeld(folder, newKey))
            return Result::Refused;
        folder.lines[index] = withName(line, trimmedOfSpaces(op.newName));
        if (newKey != oldKey && folder.bodies.contains(oldKey)) {
            if (keyHeld(folder, oldKey))
                folder.bodies[newKey] = folder.bodies.value(oldKey);
            else
                folder.bodies[newKey] = folder.bodies.take(oldKey);
        }
        return Result::Done;
    }
    case Operation::Kind::Undo: {
        if (folder.kept.isEmpty())
            return Result::Nothing;
        Folder::Kept kept = folder.kept.last();
        const QString name = lineName(kept.lines.first());
        const QString key = modelKey(name);
        QString restoredName = name;
        // One that had its name to itself comes back under a name of its
        // own when the name is taken, never on another template's body.
        if (!kept.shared && (keyHeld(folder, key) || folder.bodies.contains(key))) {
            if (!op.answer)
                return Result::Nothing;
            for (int n = 2;; ++n) {
                restoredName = QStringLiteral("%1 (%2)").arg(trimmedOfSpaces(name)).arg(n);
                if (!keyHeld(folder, modelKey(restoredName)) && !folder.bodies.contains(modelKey(restoredName)))
                    break;
            }
        }
        folder.kept.removeLast();
        for (int i = 0; i < kept.lines.size(); ++i) {
            const QString line = restoredName == name ? kept.lines.at(i) : withName(kept.lines.at(i), restoredName);
            qsizetype at = folder.lines.size();
            if (kept.before.at(i)) {
                const qsizetype found = folder.lines.indexOf(*kept.before.at(i));
                if (found >= 0)
                    at = found;
            }
            folder.lines.insert(at, line);
        }
        if (kept.body)
            folder.bodies[modelKey(restoredName)] = *kept.body;
        else if (restoredName != name)
            folder.bodies[modelKey(restoredName)] = QStringLiteral("\r\n");
        return Result::Done;
    }
    }
    return Result::Nothing;
}

// ---- random operations ----------------------------------------------------

// The names and pieces of text of tests/data/tables/model-texts.tsv.
const QStringList &modelTexts(const QString &kind)
{
    static QMap<QString, QStringList> texts;
    if (texts.isEmpty()) {
        for (const QStringList &row : testdata::table(QStringLiteral("model-texts")).mid(1))
            texts[row.value(1)] << row.value(0);
    }
    return texts[kind];
}

QString Generator::text(int longest, bool withTabs)
{
    const QStringList &pieces = modelTexts(QStringLiteral("piece"));
    QString out;
    const int parts = int(m_random() % std::uint64_t(longest + 1));
    for (int i = 0; i < parts; ++i) {
        const auto pick = m_random() % 10;
        if (pick < 6)
            out += pieces.at(qsizetype(m_random() % std::uint64_t(pieces.size())));
        else if (pick < 9)
            out += QChar(char16_t(u'a' + m_random() % 26));
        else if (withTabs)
            out += u'\t';
    }
    return out;
}

QString Generator::name()
{
    const QStringList &names = modelTexts(QStringLiteral("name"));
    return names.at(qsizetype(m_random() % std::uint64_t(names.size())));
}

Operation Generator::next(const Folder &folder)
{
    Operation op;
    const QList<int> rows = templateRows(folder);
    const auto pick = m_random() % 100;
    op.answer = m_random() % 8 != 0;
    op.row = int(m_random() % 1000);
    if (pick < 45 || rows.isEmpty()) {
        op.kind = Operation::Kind::Save;
        if (!rows.isEmpty() && m_random() % 4 == 0) {
            // A stored template brought back, and saved again unchanged or
            // with one field changed.
            const QString line = folder.lines.at(rows.at(op.row % rows.size()));
            op.editor = editorOf(line, folder.bodies.value(modelKey(lineName(line))));
            if (m_random() % 2)
                op.editor.subjectText += text(2, false);
        } else {
            op.editor.name = name();
            op.editor.subjectText = text(4, true);
            op.editor.attachmentPaths = text(2, true);
            op.editor.ccText = text(1, false);
            op.editor.toText = text(2, false);
            op.editor.bccText = text(1, false);
            op.editor.plain = m_random() % 3 != 0;
            op.editor.html = !op.editor.plain && m_random() % 4 != 0;
            op.editor.location = text(2, false);
            QStringList bodyLines;
            for (int i = int(m_random() % 4); i > 0; --i)
                bodyLines << text(5, true);
            op.editor.bodyText = bodyLines.join(QStringLiteral("\r\n"));
        }
    } else if (pick < 62) {
        op.kind = Operation::Kind::Delete;
    } else if (pick < 82) {
        op.kind = Operation::Kind::Rename;
        op.newName = m_random() % 3 == 0 ? name() + text(1, false) : name();
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
    const auto entryAt = [&list](int row) {
        const int index = row % int(list.entries.size());
        int occurrence = 0;
        for (int i = 0; i < index; ++i)
            occurrence += list.entries.at(i) == list.entries.at(index);
        return store::EntryRef{store::LineTextOfEntry(list.entries.at(index)), occurrence};
    };
    store::Outcome outcome;
    switch (op.kind) {
    case Operation::Kind::Save: {
        const store::SavePlan plan = templates.PlanSave(op.editor, store::ShownVersion());
        if (plan.kind == store::SavePlan::Kind::Replace && !op.answer)
            return Result::Nothing;
        outcome = templates.Save(op.editor, plan);
        break;
    }
    case Operation::Kind::Delete: {
        if (list.entries.isEmpty())
            return Result::Nothing;
        const store::DeletePlan plan = templates.PlanDelete(entryAt(op.row));
        if (!op.answer)
            return Result::Nothing;
        outcome = templates.Delete(plan);
        break;
    }
    case Operation::Kind::Rename: {
        if (list.entries.isEmpty())
            return Result::Nothing;
        const store::EntryRef entry = entryAt(op.row);
        if (op.newName == entry.lineText.section(u'\t', 0, 0))
            return Result::Unchanged;
        outcome = templates.Rename(templates.PlanRename(entry, op.newName));
        break;
    }
    case Operation::Kind::Undo: {
        const store::UndoPlan plan = templates.PlanUndo();
        if (!plan.version)
            return Result::Nothing;
        if (plan.nameTaken && !op.answer)
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
        if (upper == u"MAINDATA.TXT") {
            if (dataFile)
                *problems << QStringLiteral("two data files: %1").arg(name);
            dataFile = true;
            // Lines end in CR LF or LF; a file never mixes the two.
            const QByteArray &bytes = file.value();
            QSet<bool> crlf;
            qsizetype start = 0;
            for (qsizetype end = bytes.indexOf('\n'); end >= 0; end = bytes.indexOf('\n', start)) {
                const bool cr = end > start && bytes.at(end - 1) == '\r';
                crlf << cr;
                folder.lines << lineFromBytes(bytes.mid(start, end - start - (cr ? 1 : 0)));
                start = end + 1;
            }
            if (crlf.size() > 1)
                *problems << QStringLiteral("the data file mixes CR LF and LF line ends");
            if (start != bytes.size())
                *problems << QStringLiteral("the data file ends with an unfinished line");
        } else if (name.startsWith(u"Deleted/")) {
            const QString kept = name.mid(8);
            if (kept.isEmpty()) // the folder itself
                continue;
            if (kept.endsWith(u".record"))
                records.insert(kept.chopped(7), file.value());
            else if (kept.endsWith(u".body"))
                keptBodies.insert(kept.chopped(5), bodyFromBytes(file.value()));
            else
                *problems << QStringLiteral("a file that does not belong: %1").arg(name);
        } else if (name.startsWith(u"MainData-unfinished-")) {
            continue;
        } else if (upper.startsWith(u"LTM-") && upper.endsWith(u".TXT")) {
            const QString key = modelKey(name.mid(4, name.size() - 8));
            if (folder.bodies.contains(key))
                *problems << QStringLiteral("two body files for %1").arg(key);
            folder.bodies[key] = bodyFromBytes(file.value());
        } else {
            *problems << QStringLiteral("a file that does not belong: %1").arg(name);
        }
    }
    for (auto record = records.cbegin(); record != records.cend(); ++record) {
        Folder::Kept kept;
        for (const QByteArray &field : record.value().split('\n')) {
            const QByteArray value = field.mid(field.indexOf('=') + 1).chopped(field.endsWith('\r') ? 1 : 0);
            if (field.startsWith("line="))
                kept.lines << lineFromBytes(value);
            else if (field.startsWith("before="))
                kept.before << lineFromBytes(value);
            else if (field.startsWith("last"))
                kept.before << std::nullopt;
            else if (field.startsWith("shared="))
                kept.shared = value == "1";
        }
        if (keptBodies.contains(record.key()))
            kept.body = keptBodies.value(record.key());
        folder.kept << kept;
    }
    for (const QString &id : keptBodies.keys()) {
        if (!records.contains(id))
            *problems << QStringLiteral("a kept body without its record: %1").arg(id);
    }
    // Every body file is a listed template's.
    for (auto it = folder.bodies.cbegin(); it != folder.bodies.cend(); ++it) {
        if (!keyHeld(folder, it.key()))
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
