#pragma once

#include "store/names.h"
#include "store/templateeditor.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace store {

// One stored template is one line of nine TAB-separated fields:
// name, subject, attachments, CC, To, BCC, plain flag, HTML flag, HTML path.

// The record line for the template in the editor, without its CR LF: the
// template's name (TemplateName: without spaces at its ends), the five other
// text fields with every TAB turned into five spaces, the two option buttons
// as "True"/"False", the HTML path as typed; the joined line trimmed of
// spaces (U+0020 only) at both ends.
QString FormatRecordLine(const TemplateEditor &editor);

// The list entry for a stored line: the name, 200 spaces, then the rest of
// the line from its first TAB on. A line without TAB gives no entry.
std::optional<QString> ListEntryFromLine(QStringView line);

// The stored line an entry was made from: the entry without the 200 spaces
// behind the name.
QString LineTextOfEntry(const QString &entry);

// What a list entry holds, decoded for the editor.
struct ShownTemplate
{
    QString name, subject, attachments, cc, to, bcc; // boxes Text1, Text2, Text3, Text4, Text5, Text10
    std::optional<bool> plainFlag; // field 7 as a truth value; unset when missing or unreadable
    std::optional<bool> htmlFlag;  // field 8 likewise
    QString htmlLocation;          // Text8
};

// The most characters a one-line box of the editor takes from a stored
// template, and that Save stores in one: a box of a few million characters
// takes the window seconds to show.
constexpr qsizetype LongestBoxText = 1'000'000;

// Cuts every text field of shown to LongestBoxText characters; returns the
// names of the boxes whose text was cut ("Email Subject"...).
QStringList CutToLongestBoxText(ShownTemplate &shown);

// The names the editor's boxes go by in messages, in record order.
QString TemplateNameLabel();
QString SubjectLabel();
QString AttachmentsLabel();
QString CcLabel();
QString ToLabel();
QString BccLabel();
QString HtmlLocationLabel();

// Decodes an entry's text: removes every run of 100 spaces (left to right, so
// a run of k spaces keeps k mod 100), splits at TAB, and takes the fields in
// record order; missing fields are empty.
ShownTemplate DecodeListEntry(const QString &entry);
// The name that DecodeListEntry gives, without decoding the other fields.
QString NameOfListEntry(const QString &entry);

// The template as the editor holds it once it is shown: the boxes from the
// fields, the options set as the window sets them from the flags (Plain Text
// first, then each stored flag; selecting HTML deselects Plain Text). The
// body is left empty.
EditorValues EditorOf(const ShownTemplate &shown);

// The fields of an editor as they are now, its name without the spaces at
// its ends (worked out once): what a command works on, whatever the editor
// holds by the time it is carried out.
EditorValues CopyOfEditor(const TemplateEditor &editor);

// Reads a flag field: "True"/"False" in any letter case, or a number (zero is
// false, any other number true). Anything else gives no value.
std::optional<bool> ReadTruthValue(const QString &field);

} // namespace store
