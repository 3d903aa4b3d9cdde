#pragma once

#include <QString>
#include <QUrl>

// The fixed texts and addresses of Letterloom.
namespace appinfo {

inline QString productName() { return QStringLiteral("Letterloom 2.1"); }
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

// The help page that is installed with the program. When no installed copy
// is found (a build that was never installed), the copy built into the
// program is written to the cache folder and that one is used.
QUrl helpPageUrl();

} // namespace appinfo
