#include "compose/clientsetup_unix.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

namespace compose {
namespace {

using IniFile = QList<std::pair<QString, QHash<QString, QString>>>; // sections in file order

IniFile readIni(const QString &path)
{
    IniFile ini;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return ini;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            ini.append({line.mid(1, line.size() - 2), {}});
        } else if (!ini.isEmpty() && !line.startsWith(u'#') && !line.startsWith(u';')) {
            const qsizetype eq = line.indexOf(u'=');
            if (eq > 0)
                ini.last().second.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
        }
    }
    return ini;
}

// The prefs a profile sets: user_pref("name", value); values without quotes.
QHash<QString, QString> readPrefs(const QString &profile)
{
    static const QRegularExpression pref(
        QStringLiteral(R"re(^\s*user_pref\(\s*"([^"]+)"\s*,\s*("((?:[^"\\]|\\.)*)"|[^)\s]*)\s*\)\s*;)re"));
    QHash<QString, QString> prefs;
    for (const char *name : {"prefs.js", "user.js"}) {
        QFile file(QDir(profile).filePath(QLatin1String(name)));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        while (!file.atEnd()) {
            const QRegularExpressionMatch m = pref.match(QString::fromUtf8(file.readLine()));
            if (m.hasMatch())
                prefs.insert(m.captured(1), m.capturedLength(3) > 0 || m.captured(2).startsWith(u'"')
                                                ? m.captured(3)
                                                : m.captured(2));
        }
    }
    return prefs;
}

QString thunderbirdRoot(const QString &desktopId, const QString &home)
{
    if (desktopId.startsWith(QLatin1String("org.mozilla.Thunderbird"), Qt::CaseInsensitive))
        return home + QStringLiteral("/.var/app/org.mozilla.Thunderbird/.thunderbird");
    if (desktopId.startsWith(QLatin1String("thunderbird_"), Qt::CaseInsensitive))
        return home + QStringLiteral("/snap/thunderbird/common/.thunderbird");
    return home + QStringLiteral("/.thunderbird");
}

bool thunderbirdIsSetUp(const QString &root, QString *why)
{
    const QString shownRoot = QDir::toNativeSeparators(root);
    const IniFile profiles = readIni(root + QStringLiteral("/profiles.ini"));
    if (profiles.isEmpty()) {
        *why = QCoreApplication::translate("compose::ClientSetup",
                                           "Thunderbird has not been set up yet (there is no profile in \"%1\"), so "
                                           "it would show its account setup instead of the message.")
                   .arg(shownRoot);
        return false;
    }
    // The profile that Thunderbird opens is the default of its installation
    // (installs.ini, or [Install...] in profiles.ini); without one it makes
    // a new, empty profile. It asks instead when told not to start with the
    // last profile.
    QStringList defaults;
    for (const auto &[name, keys] : readIni(root + QStringLiteral("/installs.ini")))
        defaults << keys.value(QStringLiteral("Default"));
    for (const auto &[name, keys] : profiles) {
        if (name.startsWith(QLatin1String("Install")))
            defaults << keys.value(QStringLiteral("Default"));
        if (name == QLatin1String("General") && keys.value(QStringLiteral("StartWithLastProfile")) == u'0') {
            *why = QCoreApplication::translate("compose::ClientSetup", "Thunderbird asks which profile to use when "
                                                                       "it starts, so it would not show the message.");
            return false;
        }
    }
    defaults.removeAll(QString());
    if (defaults.isEmpty()) {
        *why = QCoreApplication::translate("compose::ClientSetup",
                                           "Thunderbird has no default profile in \"%1\": it would make a new one and "
                                           "show its account setup instead of the message.")
                   .arg(shownRoot);
        return false;
    }
    const QString profile = QDir::isAbsolutePath(defaults.first()) ? defaults.first()
                                                                    : root + u'/' + defaults.first();
    const QHash<QString, QString> prefs = readPrefs(profile);
    for (const QString &account : prefs.value(QStringLiteral("mail.accountmanager.accounts")).split(u',')) {
        const QString identities =
            prefs.value(QStringLiteral("mail.account.%1.identities").arg(account.trimmed()));
        if (!account.trimmed().isEmpty() && !identities.trimmed().isEmpty())
            return true;
    }
    *why = QCoreApplication::translate("compose::ClientSetup",
                                       "Thunderbird has no e-mail account in its profile \"%1\" yet, so it would show "
                                       "its account setup instead of the message.")
               .arg(QDir::toNativeSeparators(profile));
    return false;
}

bool accountrcHasAccount(const QString &path, const QString &name, QString *why)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly) && file.readAll().contains("[Account:"))
        return true;
    //: %1 is a mail program, %2 its file of accounts.
    *why = QCoreApplication::translate("compose::ClientSetup",
                                       "%1 has no e-mail account yet (\"%2\"), so it would show its setup assistant "
                                       "instead of the message.")
               .arg(name, QDir::toNativeSeparators(path));
    return false;
}

bool gearyIsSetUp(const QString &home, QString *why)
{
    for (const QString &dir : {home + QStringLiteral("/.config/geary"), home + QStringLiteral("/.local/share/geary")}) {
        QDirIterator it(dir, {QStringLiteral("geary.ini")}, QDir::Files, QDirIterator::Subdirectories);
        if (it.hasNext())
            return true;
    }
    *why = QCoreApplication::translate("compose::ClientSetup", "Geary has no e-mail account yet, so it would show "
                                                               "its account setup instead of the message.");
    return false;
}

} // namespace

bool clientIsSetUp(ClientKind kind, const QString &desktopId, const QString &home, QString *why)
{
    switch (kind) {
    case ClientKind::Thunderbird:
        return thunderbirdIsSetUp(thunderbirdRoot(desktopId, home), why);
    case ClientKind::ClawsMail:
        return accountrcHasAccount(home + QStringLiteral("/.claws-mail/accountrc"), clientName(kind), why);
    case ClientKind::Sylpheed:
        return accountrcHasAccount(home + QStringLiteral("/.sylpheed-2.0/accountrc"), clientName(kind), why);
    case ClientKind::Geary:
        return gearyIsSetUp(home, why);
    case ClientKind::Evolution: // its composer opens without an account
    case ClientKind::KMail:
    case ClientKind::Mailto:
        break;
    }
    return true;
}

} // namespace compose
