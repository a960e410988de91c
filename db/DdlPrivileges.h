#pragma once

// The DDL privileges (CREATE TABLE, ALTER ANY VIEW, DROP DATABASE): the
// catalogue keeps each as a letter (C, L, O) on an object named for the kind
// it creates, alters or drops (SQL$TABLES), whose type number differs between
// Firebird 3 and 4; the lists show each as a row of its own, named as its
// statement names it.

#include "Vocabulary.h"

namespace db {

// Whether the object is one DDL privileges are kept on: SQL$TABLES.
[[nodiscard]] bool isDdlObject(const QString &object);
// A DDL privilege, as a list row or as a catalogue object.
[[nodiscard]] bool isDdl(int objectType, const QString &object);
// "CREATE TABLE", "ALTER ANY VIEW": the clause that grants the word (CREATE,
// ALTER or DROP) on the catalogue object; empty for another object.
[[nodiscard]] QString ddlClause(const QString &object, const QString &word);

// Whether a GRANT can give a privilege on this kind of object or this object:
// the statement kinds, and the objects DDL privileges are kept on.
[[nodiscard]] bool isStatementObject(int objectType, const QString &object);
// A catalogue row as the lists show it: a DDL privilege's row becomes a row
// on the privilege itself, of kind DdlPrivilege, its letter kept; any other
// row stays as it is.
[[nodiscard]] GrantRow asListRow(GrantRow row);
// The catalogue letter of a DDL privilege by its list name: C, L or O; a
// null character for any other name.
[[nodiscard]] QChar ddlLetterOf(const QString &listName);
// The catalogue object a DDL privilege's list name is kept on: SQL$TABLES.
[[nodiscard]] QString ddlObjectOf(const QString &listName);
// The type number the catalogue gives the DDL privileges' object, which
// Firebird 4 moved up by one; -1 for another object.
[[nodiscard]] int ddlObjectType(const QString &object, bool firebird3);
// Every DDL privilege the servers know, by list name, in the lists' order.
[[nodiscard]] QStringList ddlPrivilegeNames();

// The same in SQL, over RDB$USER_PRIVILEGES' columns: the name and kind
// each row has in the lists. The name keeps the catalogue column's type, so
// that lists ordered by it keep the order of names.
[[nodiscard]] QString listNameSql();
[[nodiscard]] QString listKindSql();
// The list name of a row known to be a DDL privilege's: cheaper, where the
// statement has picked those rows already.
[[nodiscard]] QString ddlNameSql();
// Whether a row of the catalogue is a DDL privilege's, in SQL.
[[nodiscard]] QString isDdlRowSql();
// Every DDL privilege the servers know, held or not, as a derived table of
// one column NAME in the catalogue column's type.
[[nodiscard]] QString everyDdlPrivilegeSql();

} // namespace db
