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

} // namespace platform
