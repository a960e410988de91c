#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace db {

// What puts a catalogue row into the window's lists, as conditions over
// RDB$USER_PRIVILEGES: every kind a GRANT can name, each DDL privilege a row
// of its own. The users are the grantees a GRANT can name, Firebird 4's
// system privileges left out. The relations' list also holds every DDL
// privilege, held or not, which no condition here covers.
[[nodiscard]] QString usersListConditionSql();
[[nodiscard]] QString relationsListConditionSql();
// The lists' own statements, in lines: each row a name and its kind, as
// RDB$USER and RDB$USER_TYPE, or RDB$RELATION_NAME and RDB$OBJECT_TYPE. The
// relations come ordered by name, then kind.
[[nodiscard]] QStringList usersListSql();
[[nodiscard]] QStringList relationsListSql();

enum class ListSide
{
    Users = 0,
    Relations = 1
};

// A row of one of the lists: a grantee, or an object, by name and kind.
struct ListedName
{
    ListSide side;
    QString name;
    int kind;
    friend bool operator==(const ListedName &, const ListedName &) = default;
};
size_t qHash(const ListedName &name, size_t seed = 0);

// Whether rows on objects of the kind put them into the relations' list.
[[nodiscard]] bool isListedObjectKind(int kind);

struct GrantRow;
// The names a catalogue row, as the lists show it, keeps in the lists, by
// the conditions above: its object, and its grantee.
[[nodiscard]] QList<ListedName> namesListedBy(const GrantRow &row);

// One round trip that answers which of some names still have a row that
// lists them: an EXECUTE BLOCK of one parameter, the names packed by
// packListedNames, returning each name still listed as SIDE, KIND, NAME.
// Each name is an index lookup, so that a command that can have taken away
// a few hundred names learns which went without reading the lists whole.
[[nodiscard]] QString stillListedSql();
// Whether one object, by name (:Object) and kind (:Kind), still has a row
// that lists it: one row, LISTED 1 or 0. A plain SELECT, so that it can go
// with a statement in the statement's round trip.
[[nodiscard]] QString objectListedSql();
// The names as stillListedSql's parameter takes them; nothing where they do
// not fit in it.
[[nodiscard]] std::optional<QString> packListedNames(const QList<ListedName> &names);

} // namespace db
