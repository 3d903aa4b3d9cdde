#pragma once

#include <QString>
#include <QUrl>

// The fixed texts and addresses of Letterloom.
namespace appinfo {

inline QString version() { return QStringLiteral(LETTERLOOM_VERSION); }
inline QString productName() { return QStringLiteral("Letterloom ") + version(); }
inline QString webAddress() { return QStringLiteral("https://letterloom.example.org"); }
inline QString authorName() { return QStringLiteral("the Letterloom team"); }
inline QString contactAddress() { return QStringLiteral("contact@letterloom.example.org"); }
inline QString suggestionsAddress() { return QStringLiteral("suggestions@letterloom.example.org"); }

inline QString windowCaption() { return productName() + QStringLiteral(" - by: ") + webAddress(); }

// Four lines: name and version, an empty line, the credit, the address.
inline QString aboutText()
{
    return productName() + QStringLiteral("\r\n\r\nWritten By: ") + authorName() + QStringLiteral("\r\n")
           + contactAddress();
}

inline QString suggestionsText() { return QStringLiteral("Email Suggestion to ") + suggestionsAddress(); }

// The help page that is installed with the program, found beside the
// program's folder (as installed, and in the build tree) or in the system's
// data folders.
QUrl helpPageUrl();

} // namespace appinfo
