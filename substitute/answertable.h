#pragma once

#include <QByteArrayView>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace substitute {

// The most rows that one table launches.
constexpr int MostTableRows = 200;

// A table of answers to a template's questions: one message for each row.
struct AnswerTable
{
    struct Row
    {
        int number = 0;                 // the row as a spreadsheet numbers it, the header row being row 1
        QMap<QString, QString> answers; // by question, each question of the template answered
    };
    QList<Row> rows;     // in the file's order
    QStringList ignored; // the header's names that no question asks for, in its order
    QString error;       // why nothing can be launched from the table; empty when all is well
};

// The answers that a CSV file holds for the questions, as spreadsheets
// write such a file (RFC 4180): cells separated by ";" when the first row
// holds more ";" than "," outside quotes, else by ","; a cell in double
// quotes may hold the separator, line breaks and quotes (written twice);
// rows end with CR LF, LF or CR. The text is read by the rule of every text
// file (platform::decodeText: a byte-order mark, else UTF-8, else the
// system's code page). The first row names the questions, its names
// without the spaces at their ends; each further row answers them, an empty
// cell being an empty answer, cells beyond the header's ignored when empty.
// An empty line is no row (it keeps its number). The table is refused, with
// the row at fault, when a quote is never closed, the header row does not
// name every question once, a row has fewer cells than the header (or more
// that are not empty), or there is no row or more than MostTableRows rows.
AnswerTable ReadAnswerTable(QByteArrayView bytes, const QStringList &questions);

// The same, read from the file at path; a file that cannot be read is refused
// with the reason.
AnswerTable ReadAnswerFile(const QString &path, const QStringList &questions);

} // namespace substitute
