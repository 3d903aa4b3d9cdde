#include "substitute/answertable.h"

#include "platform/codepage.h"
#include "platform/textfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace substitute {
namespace {

// Far more than 200 rows of letters hold; a larger file is not read.
constexpr qint64 LargestTable = 64 * 1024 * 1024;

QString tr(const char *text)
{
    return QCoreApplication::translate("substitute::AnswerTable", text);
}

struct Record
{
    int number = 0;      // its row
    bool empty = false;  // an empty line
    QStringList cells;
};

// The separator: ";" when the first row holds more of them than of ","
// outside quotes.
QChar separatorOf(QStringView text)
{
    qsizetype commas = 0, semicolons = 0;
    bool quoted = false;
    for (const QChar c : text) {
        if (c == u'"')
            quoted = !quoted;
        else if (!quoted && (c == u'\r' || c == u'\n'))
            break;
        else if (!quoted && c == u',')
            ++commas;
        else if (!quoted && c == u';')
            ++semicolons;
    }
    return semicolons > commas ? u';' : u',';
}

// The rows of the text; an error naming the row where a quote opens that is
// never closed.
QList<Record> recordsOf(QStringView text, QString *error)
{
    const QChar separator = separatorOf(text);
    const auto endsCell = [&](qsizetype i) {
        return i == text.size() || text[i] == separator || text[i] == u'\r' || text[i] == u'\n';
    };
    QList<Record> records;
    qsizetype i = 0;
    while (i < text.size()) {
        Record record{int(records.size()) + 1, endsCell(i) && text[i] != separator, {}};
        for (;;) {
            QString cell;
            if (i < text.size() && text[i] == u'"') {
                // Quoted: up to the quote that is not written twice.
                for (++i;; ++i) {
                    if (i == text.size()) {
                        *error = tr("Row %1: a quote opens a cell and is never closed.").arg(record.number);
                        return {};
                    }
                    if (text[i] == u'"' && (i + 1 == text.size() || text[i + 1] != u'"'))
                        break;
                    if (text[i] == u'"')
                        ++i;
                    cell += text[i];
                }
                ++i;
            }
            // What follows, up to the separator, is taken as it stands.
            for (; !endsCell(i); ++i)
                cell += text[i];
            record.cells << cell;
            if (i == text.size() || text[i] != separator)
                break;
            ++i;
        }
        if (i < text.size() && text[i] == u'\r')
            ++i;
        if (i < text.size() && text[i] == u'\n')
            ++i;
        records << record;
    }
    return records;
}

QString quotedList(const QStringList &names)
{
    QStringList quoted;
    for (const QString &name : names)
        quoted << u'"' + name + u'"';
    return quoted.join(QStringLiteral(", "));
}

} // namespace

AnswerTable ReadAnswerTable(QByteArrayView bytes, const QStringList &questions)
{
    AnswerTable table;
    const QString text = platform::decodeText(bytes);
    const QList<Record> records = recordsOf(text, &table.error);
    if (!table.error.isEmpty())
        return table;
    if (records.isEmpty() || records.first().empty) {
        table.error = tr("Row 1 is empty: it is to name the questions.");
        return table;
    }

    QStringList header;
    for (const QString &name : records.first().cells)
        header << name.trimmed();
    QStringList missing, twice;
    for (const QString &question : questions) {
        const qsizetype count = header.count(question);
        if (count == 0)
            missing << question;
        else if (count > 1)
            twice << question;
    }
    if (!missing.isEmpty()) {
        //: %1 is a list of questions, each in quotes.
        table.error = tr("Row 1 names no column for %1, which the template asks.").arg(quotedList(missing));
        return table;
    }
    if (!twice.isEmpty()) {
        //: %1 is a list of questions, each in quotes.
        table.error = tr("Row 1 names %1 more than once.").arg(quotedList(twice));
        return table;
    }
    for (const QString &name : std::as_const(header)) {
        if (!name.isEmpty() && !questions.contains(name) && !table.ignored.contains(name))
            table.ignored << name;
    }

    const qsizetype rows = std::count_if(records.begin() + 1, records.end(), [](const Record &r) { return !r.empty; });
    if (rows == 0 || rows > MostTableRows) {
        table.error = rows == 0 ? tr("The table has no rows below its header row.")
                                //: %1 is a number of rows, %2 the most that are launched.
                                : tr("The table has %1 rows: at most %2 are launched at once.")
                                      .arg(rows)
                                      .arg(MostTableRows);
        return table;
    }
    for (const Record &record : records.sliced(1)) {
        if (record.empty)
            continue;
        const QStringList &cells = record.cells;
        const bool extraFilled = std::any_of(cells.begin() + std::min(cells.size(), header.size()), cells.end(),
                                             [](const QString &cell) { return !cell.isEmpty(); });
        if (cells.size() < header.size() || extraFilled) {
            //: %1 is a row's number, %2 and %3 numbers of cells.
            return {{}, {}, tr("Row %1 has %2 cells, but the header row has %3.")
                                .arg(record.number)
                                .arg(cells.size())
                                .arg(header.size())};
        }
        AnswerTable::Row row{record.number, {}};
        for (const QString &question : questions)
            row.answers.insert(question, cells.at(header.indexOf(question)));
        table.rows << row;
    }
    return table;
}

AnswerTable ReadAnswerFile(const QString &path, const QStringList &questions)
{
    AnswerTable table;
    QByteArray bytes;
    if (QFileInfo(path).size() > LargestTable) {
        //: %1 is a file.
        table.error = tr("The file \"%1\" is too large for a table of answers.").arg(QDir::toNativeSeparators(path));
        return table;
    }
    if (!platform::readWholeFile(path, &bytes, &table.error))
        return table;
    table = ReadAnswerTable(bytes, questions);
    if (!table.error.isEmpty())
        //: %1 is a file, %2 what is wrong in it.
        table.error = tr("\"%1\": %2").arg(QDir::toNativeSeparators(path), table.error);
    return table;
}

} // namespace substitute
