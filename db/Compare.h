#pragma once

// What differs between the privileges of two databases, and the statements
// that make the first like the second. Catalogues in, statements out.

#include "Export.h"

#include <functional>

namespace db {

struct CatalogueDifference
{
    QList<GrantRow> hereRows; // what was compared on each side
    QList<GrantRow> thereRows;
    QList<GrantRow> onlyHere;  // rows the first holds and the second does not
    QList<GrantRow> onlyThere; // and the other way round
    // Objects, or grantees that are objects, that one side has and the other
    // has not ("table NEWT"): their rows are reported, never granted.
    QStringList objectsOnlyHere;
    QStringList objectsOnlyThere;
    // Run as SYSDBA on the first, they make its rows those of the second.
    QList<Change> changes;

    [[nodiscard]] bool isEmpty() const
    {
        return onlyHere.isEmpty() && onlyThere.isEmpty() && objectsOnlyHere.isEmpty() &&
               objectsOnlyThere.isEmpty();
    }
};

// Compares the rows a GRANT can make (those an export writes) on the objects
// both sides have. The statements revoke what differs, a grant made with an
// option before the option, each GRANTED BY its grantor; then grant what the
// second holds there, and again what a revoke of an option or a membership
// may take along, options before what was granted with them.
// Where chosen is given, only the grantee and object pairs it takes change;
// what their revokes take along elsewhere comes back all the same.
[[nodiscard]] CatalogueDifference
compareCatalogues(const Catalogue &here, const Catalogue &there,
                  const std::function<bool(const GrantRow &)> &chosen = {});
// The statements of the changes, each ended with ";".
[[nodiscard]] QStringList statementsOf(const QList<Change> &changes);

// What differs on one grantee and object, every row of the pair on each side.
struct PairDifference
{
    QString grantee;
    int granteeType = kind::User;
    QString object;
    int objectType = kind::Relation;
    QList<GrantRow> here;
    QList<GrantRow> there;
};

// Whether a row is on one of the pairs.
[[nodiscard]] std::function<bool(const GrantRow &)> inPairs(const QList<PairDifference> &pairs);
// The pairs where the rows differ, in the order of their grantees and objects.
[[nodiscard]] QList<PairDifference> pairsOf(const CatalogueDifference &difference);
// "FRED on T1: SELECT — granted by SYSDBA here only; INSERT here — granted by
// SYSDBA, with grant option, there — granted by SYSDBA".
[[nodiscard]] QString describePair(const PairDifference &pair);

} // namespace db
