#pragma once

// What differs between the privileges of two databases, and the statements
// that make the first like the second. Catalogues in, statements out.

#include "Export.h"

namespace db {

struct CatalogueDifference
{
    QList<GrantRow> onlyHere;  // rows the first holds and the second does not
    QList<GrantRow> onlyThere; // and the other way round
    // Objects, or grantees that are objects, that one side has and the other
    // has not ("table NEWT"): their rows are reported, never granted.
    QStringList objectsOnlyHere;
    QStringList objectsOnlyThere;
    // Run as SYSDBA on the first, they make its rows those of the second.
    QStringList statements;

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
[[nodiscard]] CatalogueDifference compareCatalogues(const Catalogue &here, const Catalogue &there);

} // namespace db
