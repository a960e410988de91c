#pragma once

#include "DataSet.h"
#include "Query.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace db {

// A select whose rows a dataset would read: its text, as the dataset runs
// it, and the dataset's data fields, in the order of the select's columns.
struct PackedSource
{
    QString selectSql;
    QStringList fieldNames;
};

// The source of a dataset's rows: its statement and data fields. The
// fields must name the statement's columns in their order.
[[nodiscard]] PackedSource packedSourceOf(const TDataSet &dataSet);

// A chunk holds what a VARCHAR of character set NONE holds: bytes, which
// its string functions count.
inline constexpr int PackedChunkBytes = 32765;

// Several selects read in one statement: an EXECUTE BLOCK runs each in turn,
// in its own order, and packs its rows into long text chunks (one column,
// CHUNK). The client fetches rows a thousand at most to a round trip, so a
// few thousand short rows cost several; packed, they travel thirty thousand
// bytes to a row and come in one. Each row travels as its source's index,
// then each value as "bytes:value", or "-" for a null; a value loses its
// trailing blanks, as the client interface gives a CHAR.
[[nodiscard]] QString packedReadSql(const QList<PackedSource> &sources);
// The pieces of such a block, for one that comes by its rows its own way:
// what it returns; its variables, for rows of up to `width` values; the
// loop that packs one source's rows as its index (the loop's select may
// use the block's own variables); and the end that returns the last chunk.
// The block sets CHUNK to '' before its first loop.
[[nodiscard]] QString packedReturnsSql();
[[nodiscard]] QString packedVariablesSql(qsizetype width);
[[nodiscard]] QString packedLoopSql(int index, const PackedSource &source);
[[nodiscard]] QString packedLastChunkSql();

// A block's reading of the names packed into its parameter NAMES, of
// character set NONE: each item its numbers, then a name as
// client::lengthPrefixed writes it, all parted by colons. The variables the
// reading needs, and a loop over the items that reads each item's numbers
// into the variables named and its name into NAME, which the block
// declares, then runs the body.
[[nodiscard]] QString packedNamesVariablesSql();
[[nodiscard]] QString eachPackedNameSql(const QStringList &numbers, const QString &body);

// The rows of each source, in its order, from the chunks the block
// returned; fails on a chunk the block cannot have written.
[[nodiscard]] QList<ReadRows> unpackReadRows(const QList<PackedSource> &sources,
                                             const QStringList &chunks);
// Opens the query of such a block, reads its chunks whole and closes it.
[[nodiscard]] QList<ReadRows> readPackedRows(TQuery &query, const QList<PackedSource> &sources);

} // namespace db
