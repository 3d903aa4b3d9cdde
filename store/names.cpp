#include "store/names.h"

#include "platform/storedtext.h"
#include "platform/textfile.h"

#include <QCoreApplication>

namespace store {
namespace {

const QString kBodyPrefix = QStringLiteral("LTM-");
const QString kBodySuffix = QStringLiteral(".txt");

// The longest file name that Windows (255 UTF-16 units) and Linux (255
// bytes) both keep.
constexpr qsizetype kLongestFileName = 255;

} // namespace

QString TrimSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

QString TemplateName(const QString &boxText)
{
    return TrimSpaces(boxText);
}

QString NameKey(const QString &name)
{
    QString key = name;
    // Lines of earlier versions kept a TAB of the name as five spaces.
    key.replace(QLatin1Char('\t'), QStringLiteral("     "));
    return platform::foldedName(TemplateName(key));
}

QString BodyFileName(const QString &name)
{
    return kBodyPrefix + TemplateName(name) + kBodySuffix;
}

QString BodyKeyOfFileName(const QString &fileName)
{
    if (fileName.size() < kBodyPrefix.size() + kBodySuffix.size()
        || !fileName.startsWith(kBodyPrefix, Qt::CaseInsensitive)
        || !fileName.endsWith(kBodySuffix, Qt::CaseInsensitive))
        return QString();
    const QString key = NameKey(fileName.mid(kBodyPrefix.size(), fileName.size() - kBodyPrefix.size() - kBodySuffix.size()));
    // A body file of a nameless template is never looked for.
    return key.isEmpty() ? QString() : key;
}

QString NameRefusal(const QString &boxText)
{
    const QString name = TemplateName(boxText);
    if (name.isEmpty())
        return QCoreApplication::translate("store::Names", "Please Enter a Template Name");
    if (boxText.contains(QLatin1String("-Q-")))
        return QCoreApplication::translate("store::Names", "Template Name can not contain the text -Q-");
    return FileNameRefusal(name);
}

QString FileNameRefusal(const QString &name)
{
    // The name becomes part of a file name: what a file name cannot hold is
    // refused, and the message says so.
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QCoreApplication::translate("store::Names", "Template Name can not contain a control character, "
                                                               "because the name is part of the name of the template's "
                                                               "file");
        if (QStringView(u"/\\<>:\"|?*").contains(c))
            return QCoreApplication::translate("store::Names", "Template Name can not contain the character %1, "
                                                               "because the name is part of the name of the template's "
                                                               "file")
                .arg(c);
    }
    if (platform::holdsBrokenCharacter(name))
        return QCoreApplication::translate("store::Names", "Template Name can not contain half of a character (a lone "
                                                           "surrogate), because the name is part of the name of the "
                                                           "template's file");
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return QCoreApplication::translate("store::Names", "Template Name can not be . or ..");
    const QString fileName = BodyFileName(name);
    if (fileName.size() > kLongestFileName || fileName.toUtf8().size() > kLongestFileName)
        return QCoreApplication::translate("store::Names", "Template Name is too long, because the name is part of the "
                                                           "name of the template's file; shorten it");
    return QString();
}

} // namespace store
