#pragma once

// The guards against the server's faults: grants it could not keep, which
// would stop it at the commit, and the column-level UPDATE rights Firebird 3
// drops in effect when another holder's UPDATE is revoked.

#include "Plans.h"

namespace db {

// Whether the changes give a package a privilege on a relation, or anyone a
// column-level one: then the catalogue's rows of those kinds on relations
// must be read for checkServerCanStore.
[[nodiscard]] bool needsStoreCheck(const QList<Change> &changes);
// Fails, before any statement, where the grants would leave a relation with
// a package's privileges beside a column-level privilege (but a package's
// own on one column alone): the server cannot build that relation's access
// list, stops at the commit ("bad ACL") and admits nobody to the database
// until every attachment has closed. rows: every package's row and every
// column-level row on relations, as the catalogue has them.
void checkServerCanStore(const QList<Change> &changes, const QList<GrantRow> &rows);

// Whether Firebird 4 would take the grant of a role to a user of the role's
// own name for the role granted to itself: from then on it refuses every
// connection in that role ("Too many concurrent executions of the same
// request"), the default role's included.
[[nodiscard]] bool locksOutTheRole(const Change &change, const Login &login);
// Fails, before any statement, where one of the changes does.
void checkRolesStayUsable(const QList<Change> &changes, const Login &login);

// The columns whose column-level UPDATE or REFERENCES rows revoking the rows
// takes, the grantee's own, and an empty name where a grant option may take
// along such rows it gave others, on any column.
[[nodiscard]] QStringList columnsTakenBy(const QList<GrantRow> &rows);

// A column of a relation whose column-level UPDATE rows a revoke took: on
// Firebird 3 every other holder of a column-level UPDATE on it then loses
// it in effect, while the catalogue still shows it. An empty column stands
// for every column of the relation.
struct ColumnRisk
{
    QString relation;
    QString column;

    friend bool operator==(const ColumnRisk &, const ColumnRisk &) = default;
};
// What the statements put at risk...
[[nodiscard]] QList<ColumnRisk> columnRisks(const QList<Change> &ran);
// ...and what removing every privilege of a grantee with these rows does.
[[nodiscard]] QList<ColumnRisk> columnRisks(const QList<GrantRow> &revoked);
// Gives the column-level UPDATE holders of the columns at risk their rights
// back in effect: on each such column where someone holds UPDATE, every
// column-level UPDATE and REFERENCES row is revoked, all of them before any
// is granted again (each revoke drops the others' again), grantor and option
// kept, a grant option's holder before those it gave to. A column where the
// login may not name every grantor is left alone, and its UPDATE holders are
// named in notDone. rows: every column-level row on relations, as the
// catalogue now has them.
[[nodiscard]] Plan planColumnMends(const QList<GrantRow> &rows, const QList<ColumnRisk> &risks,
                                   const Login &login);

} // namespace db
