#include "store/templaterecord.h"

#include "store/names.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace store {
namespace {

constexpr qsizetype kNamePadding = 200; // spaces between an entry's name and its fields
constexpr qsizetype kDecodeRun = 100;   // decoding removes spaces in runs of this length

const QString kTab = QStringLiteral("\t");
const QString kFiveSpaces = QStringLiteral("     ");

QString withoutTabs(QString text)
{
    return text.replace(kTab, kFiveSpaces);
}

QString flagText(bool on)
{
    return on ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace


namespace {

// Fields 2 to 9, each preceded by its TAB.
QString fieldsAfterName(const TemplateEditor &editor)
{
    QString fields;
    for (const QString &text : {editor.subject(), editor.attachments(), editor.cc(), editor.to(), editor.bcc()}) {
        fields += kTab;
        fields += withoutTabs(text);
    }
    fields += kTab + flagText(editor.plainTextSelected());
    fields += kTab + flagText(editor.htmlSelected());
    fields += kTab + editor.htmlLocation();
    return fields;
}

} // namespace

QString FormatRecordLine(const TemplateEditor &editor)
{
    return TrimSpaces(withoutTabs(TemplateName(editor.templateName())) + fieldsAfterName(editor));
}

std::optional<QString> ListEntryFromLine(QStringView line)
{
    const qsizetype tab = line.indexOf(QLatin1Char('\t'));
    if (tab < 0)
        return std::nullopt;
    // Built in place: start-up makes one of these for every stored template.
    QString entry(line.size() + kNamePadding, Qt::Uninitialized);
    QChar *out = entry.data();
    std::copy_n(line.data(), tab, out);
    std::fill_n(out + tab, kNamePadding, QLatin1Char(' '));
    std::copy_n(line.data() + tab, line.size() - tab, out + tab + kNamePadding);
    return entry;
}

QString LineTextOfEntry(const QString &entry)
{
    const qsizetype tab = entry.indexOf(QLatin1Char('\t'));
    if (tab < kNamePadding)
        return entry;
    return entry.left(tab - kNamePadding) + entry.mid(tab);
}

QString NameOfListEntry(const QString &entry)
{
    // The first field decodes on its own: a run of spaces ends at its TAB.
    QString name = entry.left(entry.indexOf(QLatin1Char('\t')));
    return name.replace(QString(kDecodeRun, QLatin1Char(' ')), QString());
}

ShownTemplate DecodeListEntry(const QString &entry)
{
    QString text = entry;
    text.replace(QString(kDecodeRun, QLatin1Char(' ')), QString());
    const QStringList fields = text.split(QLatin1Char('\t'));
    const auto field = [&fields](qsizetype i) { return i < fields.size() ? fields.at(i) : QString(); };

    ShownTemplate shown;
    shown.name = field(0);
    shown.subject = field(1);
    shown.attachments = field(2);
    shown.cc = field(3);
    shown.to = field(4);
    shown.bcc = field(5);
    if (fields.size() > 6)
        shown.plainFlag = ReadTruthValue(fields.at(6));
    if (fields.size() > 7)
        shown.htmlFlag = ReadTruthValue(fields.at(7));
    shown.htmlLocation = field(8);
    return shown;
}

//: The box of the template's name, named in messages.
QString TemplateNameLabel() { return QCoreApplication::translate("store::TemplateRecord", "Template Name"); }
//: The box of the subject, named in messages.
QString SubjectLabel() { return QCoreApplication::translate("store::TemplateRecord", "Email Subject"); }
//: The box of the attachments' paths, named in messages.
QString AttachmentsLabel() { return QCoreApplication::translate("store::TemplateRecord", "Attachments"); }
//: The box of the CC addresses, named in messages.
QString CcLabel() { return QCoreApplication::translate("store::TemplateRecord", "CC"); }
//: The box of the To addresses, named in messages.
QString ToLabel() { return QCoreApplication::translate("store::TemplateRecord", "To"); }
//: The box of the BCC addresses, named in messages.
QString BccLabel() { return QCoreApplication::translate("store::TemplateRecord", "BCC"); }
//: The box of the HTML file's path, named in messages.
QString HtmlLocationLabel()
{
    return QCoreApplication::translate("store::TemplateRecord", "Saved HTML Email Location");
}

QStringList CutToLongestBoxText(ShownTemplate &shown)
{
    const std::pair<QString, QString *> fields[] = {
        {TemplateNameLabel(), &shown.name}, {SubjectLabel(), &shown.subject},
        {AttachmentsLabel(), &shown.attachments}, {CcLabel(), &shown.cc},
        {ToLabel(), &shown.to}, {BccLabel(), &shown.bcc},
        {HtmlLocationLabel(), &shown.htmlLocation},
    };
    QStringList cut;
    for (const auto &[label, text] : fields) {
        if (text->size() > LongestBoxText) {
            text->truncate(LongestBoxText);
            text->squeeze();
            cut << label;
        }
    }
    return cut;
}

EditorValues CopyOfEditor(const TemplateEditor &editor)
{
    EditorValues values;
    values.name = TemplateName(editor.templateName());
    values.subjectText = editor.subject();
    values.attachmentPaths = editor.attachments();
    values.ccText = editor.cc();
    values.toText = editor.to();
    values.bccText = editor.bcc();
    values.plain = editor.plainTextSelected();
    values.html = editor.htmlSelected();
    values.location = editor.htmlLocation();
    values.bodyText = editor.body();
    return values;
}

EditorValues EditorOf(const ShownTemplate &shown)
{
    EditorValues values;
    values.name = shown.name;
    values.subjectText = shown.subject;
    values.attachmentPaths = shown.attachments;
    values.ccText = shown.cc;
    values.toText = shown.to;
    values.bccText = shown.bcc;
    if (shown.plainFlag)
        values.plain = *shown.plainFlag;
    if (shown.htmlFlag) {
        values.html = *shown.htmlFlag;
        if (values.html)
            values.plain = false;
    }
    values.location = shown.htmlLocation;
    return values;
}

std::optional<bool> ReadTruthValue(const QString &field)
{
    const QString text = field.trimmed();
    if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool isNumber = false;
    const double number = text.toDouble(&isNumber);
    if (!isNumber || !std::isfinite(number))
        return std::nullopt;
    return number != 0.0;
}

} // namespace store
