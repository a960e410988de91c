#pragma once

#include <QString>
#include <QStringList>

namespace db {

// The engine's named aliases, read from an INI file with one group per alias
// holding its Driver= and Database= (a Firebird connection string). Every
// group is an alias, named exactly as between its brackets; lines starting
// with ';' or '#' are comments; "key = value" is trimmed, and a value in
// double quotes keeps its blanks. Anything else fails as not a valid INI file.
class TSession
{
public:
    // The alias file is $KELVANE_ALIASES, else $XDG_CONFIG_HOME/kelvane/aliases.ini,
    // else ~/.config/kelvane/aliases.ini.
    [[nodiscard]] static QString aliasFilePath();

    // Alias names in the file's order of groups; a missing file has none.
    // Always reads the file; the two look-ups below read it again only when
    // it has changed since.
    [[nodiscard]] static QStringList aliasNames();
    // Fails with "Invalid alias name %s" for an alias that does not exist.
    [[nodiscard]] static QString aliasDriverName(const QString &alias);
    [[nodiscard]] static QString aliasDatabase(const QString &alias);
};

} // namespace db
