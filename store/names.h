#pragma once

#include <QString>

// One rule for template names, from the name box to the data file, the body
// file's name and the list:
// - A template's name is the name box's text without the spaces (U+0020) at
//   its ends; so "  Offer " is saved, listed and found as "Offer".
// - Two names are one template when they are equal as Windows' file systems
//   (NTFS, SMB shares) compare file names: letter case aside, each UTF-16
//   unit by its simple upper case, so "OFFER" is "Offer" and "Straße" is not
//   "STRASSE". So two names the store calls different never share a body
//   file, on any system.
// - A template's body file is "LTM-" + name + ".txt" in the data folder.
//   Body files that earlier versions named after the untrimmed box text
//   ("LTM-  Offer.txt") or in another letter case are found as well.
namespace store {

// The text without the spaces (U+0020 only) at its ends; TABs and other
// white space stay.
QString TrimSpaces(const QString &text);

QString TemplateName(const QString &boxText);
QString NameKey(const QString &name);
QString BodyFileName(const QString &name);

// The name key of a body file's name, or an empty text when the file is no
// body file ("LTM-" and ".txt" in any letter case around a name).
QString BodyKeyOfFileName(const QString &fileName);

// Why a name box's text cannot name a template, as the message to show, or
// an empty text when it can.
QString NameRefusal(const QString &boxText);

// Why a template's name cannot be part of a file's name (a character no
// file name holds, a path separator, "..", too long), or an empty text. A
// name read from the folder's files that fails it never becomes a path.
QString FileNameRefusal(const QString &name);

} // namespace store
