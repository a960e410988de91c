#include "ScopeRead.h"

#include "Client.h"

namespace db {

// The parameter is of character set NONE, whose string functions count
// bytes, as the lengths do. The variables are read as ": NAME", the blank
// keeping them from being taken for the statement's parameters.
QString scopeRowsSql(const QString &selectColumns, const QList<TextColumn> &columns)
{
    QStringList outputs;
    QStringList into;
    for (const TextColumn &column : columns) {
        outputs.append(QStringLiteral("%1 VARCHAR(%2) CHARACTER SET UTF8")
                           .arg(column.name)
                           .arg(column.length));
        into.append(column.name);
    }
    // Put together, not through arg(): the select's text is not a format.
    // A CHAR keeps its blanks in a VARCHAR; the client gives it without.
    QStringList trimmed;
    for (const QString &column : std::as_const(into))
        trimmed.append(QStringLiteral("%1 = TRIM(TRAILING FROM %1);").arg(column));
    const auto rowsOf = [&](const QString &column) {
        return QStringLiteral("      FOR ") + selectColumns +
               QStringLiteral("\n        FROM RDB$USER_PRIVILEGES WHERE ") + column +
               QStringLiteral(" = : NAME\n        INTO ") + into.join(QStringLiteral(", ")) +
               QStringLiteral(" DO\n      BEGIN\n        ") + trimmed.join(u' ') +
               QStringLiteral("\n        SUSPEND;\n      END\n");
    };
    return QStringLiteral("EXECUTE BLOCK (NAMES VARCHAR(%1) CHARACTER SET NONE = :Names)\n"
                          "RETURNS (")
               .arg(client::MaxParameterBytes) +
           outputs.join(QStringLiteral(", ")) +
           QStringLiteral(", SIDE INTEGER)\n"
                          "AS\n"
                          "  DECLARE AT_CHAR INTEGER = 1;\n"
                          "  DECLARE COLON INTEGER;\n"
                          "  DECLARE LEN INTEGER;\n"
                          "  DECLARE NAME VARCHAR(255) CHARACTER SET UTF8;\n"
                          "BEGIN\n"
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
           rowsOf(QStringLiteral("RDB$USER")) + QStringLiteral("    ELSE\n") +
           rowsOf(QStringLiteral("RDB$RELATION_NAME")) + QStringLiteral("  END\nEND");
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
