// The desktop's default applications, as GIO finds them: the user's and the
// system's mimeapps.list files, the desktop entries, the fallbacks for
// parent types, exactly as the file manager and the other programs of the
// desktop see them.
#include "platform/desktop.h"

// GLib uses "signals" as a member name, which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace platform {

DesktopApplication Desktop::defaultApplication(const QString &contentType)
{
    static const QString schemePrefix = QStringLiteral("x-scheme-handler/");
    GAppInfo *info = contentType.startsWith(schemePrefix)
                         ? g_app_info_get_default_for_uri_scheme(contentType.mid(schemePrefix.size()).toUtf8().constData())
                         : g_app_info_get_default_for_type(contentType.toUtf8().constData(), FALSE);
    DesktopApplication application;
    if (!info)
        return application;
    application.id = QString::fromUtf8(g_app_info_get_id(info));
    application.name = QString::fromUtf8(g_app_info_get_name(info));
    application.command = splitExec(QString::fromUtf8(g_app_info_get_commandline(info)));
    if (G_IS_DESKTOP_APP_INFO(info)) {
        const char *categories = g_desktop_app_info_get_categories(G_DESKTOP_APP_INFO(info));
        if (categories)
            application.categories = QString::fromUtf8(categories).split(u';', Qt::SkipEmptyParts);
    }
    g_object_unref(info);
    return application;
}

QStringList splitExec(const QString &exec)
{
    QStringList arguments;
    QString current;
    bool inQuotes = false, started = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (inQuotes && c == u'\\' && i + 1 < exec.size()) {
            current += exec.at(++i);
        } else if (c == u'"') {
            inQuotes = !inQuotes;
            started = true;
        } else if (c == u' ' && !inQuotes) {
            if (started)
                arguments << current;
            current.clear();
            started = false;
        } else if (c == u'%' && i + 1 < exec.size() && exec.at(i + 1) == u'%') {
            current += u'%';
            ++i;
            started = true;
        } else {
            current += c;
            started = true;
        }
    }
    if (started)
        arguments << current;
    return arguments;
}

QStringList commandFor(const DesktopApplication &application, const QStringList &arguments,
                       bool argumentsAreFiles)
{
    static const QStringList fileCodes{QStringLiteral("%f"), QStringLiteral("%F"), QStringLiteral("%u"),
                                       QStringLiteral("%U")};
    static const QStringList forwardingMarks{QStringLiteral("@@u"), QStringLiteral("@@f"), QStringLiteral("@@")};
    QStringList command;
    bool placed = false;
    for (const QString &token : application.command) {
        if (fileCodes.contains(token)) {
            if (!placed)
                command += arguments;
            placed = true;
        } else if (forwardingMarks.contains(token)) {
            if (argumentsAreFiles)
                command << token;
        } else if (token.size() == 2 && token.startsWith(u'%')) {
            // %i, %c, %k and the deprecated codes: nothing to give.
        } else {
            command << token;
        }
    }
    if (!command.isEmpty() && !placed)
        command += arguments;
    return command;
}

} // namespace platform
