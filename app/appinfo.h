#pragma once

#include <QCoreApplication>
#include <QString>
#include <QUrl>

// The fixed texts and addresses of Letterloom.
namespace appinfo {

inline QString version() { return QStringLiteral(LETTERLOOM_VERSION); }
inline QString productName() { return QStringLiteral("Letterloom ") + version(); }
inline QString webAddress() { return QStringLiteral("https://letterloom.example.org"); }
inline QString authorName() { return QCoreApplication::translate("appinfo", "the Letterloom team"); }
inline QString contactAddress() { return QStringLiteral("contact@letterloom.example.org"); }
inline QString suggestionsAddress() { return QStringLiteral("suggestions@letterloom.example.org"); }

inline QString windowCaption()
{
    //: The window's caption: %1 is the program's name and version, %2 its web address.
    return QCoreApplication::translate("appinfo", "%1 - by: %2").arg(productName(), webAddress());
}

// Four lines: name and version, an empty line, the credit, the address.
inline QString aboutText()
{
    return productName() + QStringLiteral("\r\n\r\n")
           + QCoreApplication::translate("appinfo", "Written By: %1").arg(authorName()) + QStringLiteral("\r\n")
           + contactAddress();
}

inline QString suggestionsText()
{
    //: %1 is the e-mail address for suggestions.
    return QCoreApplication::translate("appinfo", "Email Suggestion to %1").arg(suggestionsAddress());
}

// The help page that is installed with the program, found beside the
// program's folder (as installed, and in the build tree) or in the system's
// data folders.
QUrl helpPageUrl();

} // namespace appinfo
