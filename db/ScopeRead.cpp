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

// The names travel as "side:length:name" items (eachPackedNameSql).
QString scopeRowsSql(const QString &selectColumns, const QStringList &columns)
{
    const QList<PackedSource> sources = scopeSources(selectColumns, columns);
    const QString reached = QStringLiteral("    IF (SIDE = 0) THEN\n") +
                            packedLoopSql(0, sources.at(0)) + QStringLiteral("    ELSE\n") +
                            packedLoopSql(1, sources.at(1));
    return QStringLiteral("EXECUTE BLOCK (NAMES VARCHAR(%1) CHARACTER SET NONE = :Names)\n")
               .arg(client::MaxParameterBytes) +
           packedReturnsSql() + QStringLiteral("\nAS\n") + packedVariablesSql(columns.size()) +
           packedNamesVariablesSql() +
           QStringLiteral("  DECLARE SIDE INTEGER;\n"
                          "  DECLARE NAME VARCHAR(255) CHARACTER SET UTF8;\n"
                          "BEGIN\n"
                          "  CHUNK = '';\n") +
           eachPackedNameSql({QStringLiteral("SIDE")}, reached) + packedLastChunkSql() +
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
