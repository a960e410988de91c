#pragma once

// The privilege catalogue saved as SQL: one GRANT statement a line, which
// `isql-fb -i FILE DATABASE` runs against a database with the same objects
// to give it the same catalogue rows, grantors and options included.

#include "Statements.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <utility>

class QIODevice;

namespace db {

class TDatabase;
class TQuery;

// Who owns each object a GRANT can name, by its kind (as RDB$OBJECT_TYPE
// numbers it) and name.
class Owners
{
public:
    void add(int objectType, const QString &object, const QString &owner);
    // Empty for an object the catalogue names but no owner is known of.
    [[nodiscard]] QString of(int objectType, const QString &object) const;
    [[nodiscard]] qsizetype size() const { return m_owners.size(); }

private:
    QHash<std::pair<int, QString>, QString> m_owners;
};

struct Catalogue
{
    QList<GrantRow> rows; // every row of RDB$USER_PRIVILEGES
    Owners owners;
    // Who read it, as the server knows the attachment; the role empty for none.
    QString login;
    QString role;
    bool isFirebird3 = false;
    // Read from a file the export saved, which names no objects of its own:
    // they are taken to be those of the database it is compared with.
    bool isSavedFile = false;
};

// The kinds of object a GRANT names whose owners the catalogue keeps: tables
// and views, procedures, exceptions, roles, sequences, functions, packages.
[[nodiscard]] QList<int> ownedKinds();
// The catalogue statement's columns, which the export and who-can share: a
// row kind, then RDB$USER_PRIVILEGES' own eight. privilegeRowsSql selects
// the privilege rows (kind 'P'), to be narrowed by a WHERE and joined by
// UNION ALL to rows of other kinds in the same columns; addCatalogueFields
// gives a query those columns; privilegeRowAt reads a 'P' row.
[[nodiscard]] QString privilegeRowsSql();
// A name field's size: longer than any name on Firebird 3 (31 bytes) or 4
// (63 characters).
inline constexpr int NameFieldSize = 252;
void addCatalogueFields(TQuery &query);
[[nodiscard]] GrantRow privilegeRowAt(const TQuery &query, int row);
// SQL: a "UNION ALL SELECT 'O', ..." per owned kind, each object's owner in
// RDB$USER's place, its name in RDB$RELATION_NAME's and its kind in
// RDB$OBJECT_TYPE's, the other five columns NULL. With oneName, each reads
// the objects of one name alone, given as a parameter of its own, as many
// as ownedKinds() has.
[[nodiscard]] QString ownerRowsSql(bool oneName);

// The whole catalogue and the owners of tables, views, procedures,
// functions, packages, sequences, exceptions and roles, in one statement.
[[nodiscard]] Catalogue readCatalogue(TDatabase &database);

// Whether a GRANT can make the row and the database does not already hold it
// from its objects' creation. Left out: grantees and objects no statement
// names (domains, character sets, Firebird 4's system privileges), the
// server's own rows (no grantor), and the rows an owner gets on what it
// creates (its own grant options, granted by itself).
[[nodiscard]] bool isExported(const GrantRow &row, const Owners &owners);

// The exported rows as GRANT statements, each ending in ";", every one
// naming its grantor with GRANTED BY: a GRANT without it records whoever
// runs it, even on an object owned by someone else. A statement comes after
// those that give its grantor the grant or admin option it passed on, and
// memberships come before the other statements of their round; otherwise
// statements go by grantee (name, then kind), then by object and privilege.
[[nodiscard]] QStringList exportStatements(const QList<GrantRow> &rows, const Owners &owners);
// The same statements as changes, for a command to run.
[[nodiscard]] QList<Change> exportChanges(const QList<GrantRow> &rows, const Owners &owners);

// The text of an export, and how many GRANT statements it holds.
struct ExportText
{
    QByteArray text;
    qsizetype statements = 0;
};

// Reads the catalogue once and makes the text of the statements of the rows
// wanted, as writeExport writes it.
[[nodiscard]] ExportText exportText(TDatabase &database,
                                    const std::function<bool(const GrantRow &)> &wanted = {},
                                    const QString &what = {});

// Reads the catalogue once and writes the statements of the rows wanted (all
// exported rows when no predicate is given) as UTF-8, after a header of "--"
// comment lines naming the database, the time and what was exported (what:
// "every privilege" when empty), and a closing COMMIT. Returns how many GRANT
// statements were written.
qsizetype writeExport(TDatabase &database, QIODevice &out,
                      const std::function<bool(const GrantRow &)> &wanted = {},
                      const QString &what = {});

// writeExport into a file, which is replaced whole or left as it was when
// anything fails. A path that names no regular file (a device, a FIFO,
// /dev/stdout) is written in place. Every write and the close are checked:
// a failure names the path.
qsizetype saveExport(TDatabase &database, const QString &path,
                     const std::function<bool(const GrantRow &)> &wanted = {},
                     const QString &what = {});

} // namespace db
