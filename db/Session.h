#pragma once

#include <QString>
#include <QStringList>

namespace db {

// The engine's named aliases, read from an INI file with one group per alias
// holding its Driver= and Database= (a Firebird connection string).
class TSession
{
public:
    // The alias file is $KELVANE_ALIASES, else $XDG_CONFIG_HOME/kelvane/aliases.ini,
    // else ~/.config/kelvane/aliases.ini.
    [[nodiscard]] static QString aliasFilePath();

    // Alias names in the file's order of groups; a missing file has none.
    [[nodiscard]] static QStringList aliasNames();
    // Fails with "Invalid alias name %s" for an alias that does not exist.
    [[nodiscard]] static QString aliasDriverName(const QString &alias);
    [[nodiscard]] static QString aliasDatabase(const QString &alias);
};

} // namespace db
