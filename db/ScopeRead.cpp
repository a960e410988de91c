#include "ScopeRead.h"

#include "Client.h"

namespace db {

QList<PackedSource> scopeSources(const QString &selectColumns, const QStringList &columns)
{
    // Put together, not through arg(): the select's text is not a format.
    const auto reachedBy = [&](const QString &column) {
        return PackedSource{selectColumns + QStringLiteral(" FROM RDB$USER_PRIVILEGES WHERE ") +
                                column + QStringLiteral(" = : NAME"),
                            columns};
    };
    return {reachedBy(QStringLiteral("RDB$USER")), reachedBy(QStringLiteral("RDB$RELATION_NAME"))};
}

// The parameter is of character set NONE, whose string functions count
// bytes, as the lengths do. The variables are read as ": NAME", the blank
// keeping them from being taken for the statement's parameters.
QString scopeRowsSql(const QString &selectColumns, const QStringList &columns)
{
    const QList<PackedSource> sources = scopeSources(selectColumns, columns);
    return QStringLiteral("EXECUTE BLOCK (NAMES VARCHAR(%1) CHARACTER SET NONE = :Names)\n")
               .arg(client::MaxParameterBytes) +
           packedReturnsSql() + QStringLiteral("\nAS\n") + packedVariablesSql(columns.size()) +
           QStringLiteral("  DECLARE SIDE INTEGER;\n"
                          "  DECLARE AT_CHAR INTEGER = 1;\n"
                          "  DECLARE COLON INTEGER;\n"
                          "  DECLARE LEN INTEGER;\n"
                          "  DECLARE NAME VARCHAR(255) CHARACTER SET UTF8;\n"
                          "BEGIN\n"
                          "  CHUNK = '';\n"
                          "  WHILE (AT_CHAR <= CHAR_LENGTH(NAMES)) DO\n"
                          "  BEGIN\n"
                          "    COLON = POSITION(':', NAMES, AT_CHAR);\n"
                          "    SIDE = CAST(SUBSTRING(NAMES FROM AT_CHAR FOR COLON - AT_CHAR) AS "
                          "INTEGER);\n"
                          "    AT_CHAR = COLON + 1;\n"
                          "    COLON = POSITION(':', NAMES, AT_CHAR);\n"
                          "    LEN = CAST(SUBSTRING(NAMES FROM AT_CHAR FOR COLON - AT_CHAR) AS "
                          "INTEGER);\n"
                          "    NAME = SUBSTRING(NAMES FROM COLON + 1 FOR LEN);\n"
                          "    AT_CHAR = COLON + 1 + LEN;\n"
                          "    IF (SIDE = 0) THEN\n") +
           packedLoopSql(0, sources.at(0)) + QStringLiteral("    ELSE\n") +
           packedLoopSql(1, sources.at(1)) + QStringLiteral("  END\n") + packedLastChunkSql() +
           QStringLiteral("END");
}

QList<ScopeNamesRead> packScopeNames(const UndoScope &scope)
{
    QList<ScopeNamesRead> reads(1);
    QByteArray packed;
    const auto add = [&](int side, const QString &name) {
        const QByteArray item = QByteArray::number(side) + ':' + client::lengthPrefixed(name);
        if (packed.size() + item.size() > client::MaxParameterBytes) {
            reads.last().packed = QString::fromUtf8(packed);
            reads.append(ScopeNamesRead{});
            packed.clear();
        }
        packed += item;
        (side == 0 ? reads.last().names.grantees : reads.last().names.objects).insert(name);
    };
    for (const QString &grantee : scope.grantees)
        add(0, grantee);
    for (const QString &object : scope.objects)
        add(1, object);
    reads.last().packed = QString::fromUtf8(packed);
    return reads;
}

} // namespace db
