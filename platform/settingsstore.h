#pragma once

#include <QString>

namespace platform {

// The per-user settings store of Letterloom: the registry on Windows, an INI
// file in the user's configuration folder elsewhere. Entries are strings,
// addressed by section and key under the application name "Letterloom".
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;

    // The stored string, or defaultValue when there is no such entry.
    virtual QString get(const QString &section, const QString &key, const QString &defaultValue) const;

    // Creates or overwrites the entry and writes it through to the store. On
    // failure returns false and, when asked, a sentence saying why.
    virtual bool save(const QString &section, const QString &key, const QString &value,
                      QString *error = nullptr);
};

} // namespace platform
