#pragma once

#include "PackedRead.h"
#include "Undo.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace db {

// Every row of a scope's grantees and objects, a few hundred names to a
// round trip, each name an index lookup: an EXECUTE BLOCK of one parameter,
// the names packed as "side:bytes:name" (side 0 for a grantee, 1 for an
// object), that returns its rows packed as packedReadSql's are. Its two
// sources are the rows the grantees' names reach and those the objects'
// names reach, each as the select's columns: a row that both its grantee
// and its object reach comes in both.
[[nodiscard]] QList<PackedSource> scopeSources(const QString &selectColumns,
                                               const QStringList &columns);
[[nodiscard]] QString scopeRowsSql(const QString &selectColumns, const QStringList &columns);

// The scope's names as scopeRowsSql's parameter takes them, in as many
// reads as they need, each with the names it asks for.
struct ScopeNamesRead
{
    QString packed;
    UndoScope names;
};
[[nodiscard]] QList<ScopeNamesRead> packScopeNames(const UndoScope &scope);

} // namespace db
