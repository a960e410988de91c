#pragma once

// The way back from a command: which catalogue rows its statements can
// change, and the statements that bring rows of that reach from how they
// stand to how they stood. Rows in, statements out.

#include "Plans.h"

#include <QSet>

namespace db {

// The rows a command's statements can change: every row of some grantees,
// and every row on some objects, by the names the catalogue keeps. A grant
// changes its grantee's rows alone; a revoke of a privilege held with an
// option also the rows given with it, and a revoke that drops column rights
// the other holders' rows on its object.
struct UndoScope
{
    QSet<QString> grantees;
    QSet<QString> objects;

    [[nodiscard]] bool holds(const GrantRow &row) const;
    [[nodiscard]] bool covers(const UndoScope &other) const;
    [[nodiscard]] bool isEmpty() const { return grantees.isEmpty() && objects.isEmpty(); }
    void unite(const UndoScope &other);
    // What this reaches that the other does not.
    [[nodiscard]] UndoScope beyond(const UndoScope &other) const;
    friend bool operator==(const UndoScope &, const UndoScope &) = default;
};

// The rows of one grantee, object, letter and grantor: what one REVOKE with
// GRANTED BY takes, column rows and option included.
struct GroupKey
{
    QString grantee;
    int granteeType;
    QString object;
    int objectType;
    QChar letter;
    QString grantor;
    friend bool operator==(const GroupKey &, const GroupKey &) = default;
};
[[nodiscard]] size_t qHash(const GroupKey &key, size_t seed = 0);
[[nodiscard]] GroupKey groupOf(const GrantRow &row);

// The reach of the changes, given every row of their grantees as they stand
// before the changes run.
[[nodiscard]] UndoScope scopeOf(const QList<Change> &changes, const QList<GrantRow> &granteesRows);
[[nodiscard]] UndoScope granteesOf(const QList<Change> &changes);
[[nodiscard]] QList<GrantRow> rowsIn(const QList<GrantRow> &rows, const UndoScope &scope);
// The same rows, whatever their order: the catalogue keeps no order.
[[nodiscard]] bool sameRows(QList<GrantRow> a, QList<GrantRow> b);

// The statements that make the rows `now` into the rows `wanted`, for each
// grantee, object, letter and grantor where they differ: what that grantor
// gave is revoked, then given again as wanted, GRANTED BY its grantor,
// options and columns kept, an option before what was granted with it.
// What a revoke of an option may take along is left, with every grant, for
// the next plan, made once the rows are read again. Where the login may not
// name a grantor it would need, nothing is planned and refusals says whose.
[[nodiscard]] Plan planRestore(const QList<GrantRow> &now, const QList<GrantRow> &wanted,
                               const Login &login, QStringList &refusals);

// What differs, one line each: "granted since: SELECT on T to FRED by BOSS",
// "gone since: ...".
[[nodiscard]] QStringList describeDifference(const QList<GrantRow> &expected,
                                             const QList<GrantRow> &found);

} // namespace db
