#pragma once

#include "Batch.h"
#include "Undo.h"

#include <QList>
#include <QString>

namespace db {

// Every row of a scope's grantees and objects, a few hundred names to a
// round trip, each name an index lookup: an EXECUTE BLOCK of one parameter,
// the names packed as "side:bytes:name" (side 0 for a grantee, 1 for an
// object). It returns each row as the select's columns, as text of the
// widths given without trailing blanks, as the client gives a CHAR, and
// then SIDE, the side of the name that reached it: a row that both its
// grantee and its object reach comes once each way.
[[nodiscard]] QString scopeRowsSql(const QString &selectColumns, const QList<TextColumn> &columns);

// The scope's names as scopeRowsSql's parameter takes them, in as many
// reads as they need, each with the names it asks for.
struct ScopeNamesRead
{
    QString packed;
    UndoScope names;
};
[[nodiscard]] QList<ScopeNamesRead> packScopeNames(const UndoScope &scope);

} // namespace db
