#include "ListedNames.h"

#include "Client.h"
#include "DdlPrivileges.h"
#include "Names.h"
#include "PackedRead.h"
#include "Vocabulary.h"

#include <algorithm>
#include <array>

namespace db {

namespace {

// Every kind a GRANT can name: tables and views (0), procedures (5),
// exceptions (7), roles (13), sequences (14), functions (15) and packages
// (18), and each DDL privilege as a row of its own. The catalogue's own usage
// of character sets, collations, domains and the database itself stays out.
// Each list holds one row for each object or grantee of a name. The users are
// the grantees a GRANT can name (views 1, triggers 2, procedures 5, users 8,
// roles 13, functions 15, packages 18), Firebird 4's system privileges left
// out.
constexpr std::array ListedObjectKinds{0, 5, 7, 13, 14, 15, 18};
constexpr std::array ListedGranteeKinds{1, 2, 5, 8, 13, 15, 18};

template <size_t N> QString sqlList(const std::array<int, N> &kinds)
{
    QStringList numbers;
    for (const int kind : kinds)
        numbers.append(QString::number(kind));
    return numbers.join(QStringLiteral(", "));
}

template <size_t N> bool isAmong(const std::array<int, N> &kinds, int kind)
{
    return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

} // namespace

QString usersListConditionSql()
{
    return QStringLiteral("(RDB$OBJECT_TYPE IN (%1) OR %2)\n"
                          "AND RDB$USER_TYPE IN (%3)")
        .arg(sqlList(ListedObjectKinds), isDdlRowSql(), sqlList(ListedGranteeKinds));
}

QString relationsListConditionSql()
{
    return QStringLiteral("RDB$OBJECT_TYPE IN (%1)").arg(sqlList(ListedObjectKinds));
}

bool isListedObjectKind(int kind)
{
    return isAmong(ListedObjectKinds, kind);
}

QList<ListedName> namesListedBy(const GrantRow &row)
{
    QList<ListedName> names;
    const bool listedObject = isListedObjectKind(row.objectType);
    if (listedObject)
        names.append({ListSide::Relations, row.object, row.objectType});
    if ((listedObject || row.objectType == kind::DdlPrivilege) &&
        isAmong(ListedGranteeKinds, row.granteeType))
        names.append({ListSide::Users, row.grantee, row.granteeType});
    return names;
}

QStringList usersListSql()
{
    return {QStringLiteral("SELECT DISTINCT %1, RDB$USER_TYPE")
                .arg(trimmedNameSql(QStringLiteral("RDB$USER"))),
            QStringLiteral("FROM RDB$USER_PRIVILEGES"),
            QStringLiteral("WHERE ") + usersListConditionSql()};
}

// Every DDL privilege is a row, held or not, so that one nobody holds yet
// can be granted, and the row stays when its last holder goes.
QStringList relationsListSql()
{
    return {QStringLiteral("SELECT %1, RDB$OBJECT_TYPE")
                .arg(trimmedNameSql(QStringLiteral("RDB$RELATION_NAME"))),
            QStringLiteral("FROM RDB$USER_PRIVILEGES"),
            QStringLiteral("WHERE ") + relationsListConditionSql(),
            QStringLiteral("UNION SELECT TRIM(TRAILING FROM NAME), %1 FROM %2")
                .arg(kind::DdlPrivilege)
                .arg(everyDdlPrivilegeSql()),
            QStringLiteral("ORDER BY 1, 2")};
}

size_t qHash(const ListedName &name, size_t seed)
{
    return qHashMulti(seed, int(name.side), name.name, name.kind);
}

// The names travel as "side:kind:length:name" items (eachPackedNameSql).
QString stillListedSql()
{
    const QString listed =
        QStringLiteral("    IF ((SIDE = 0 AND EXISTS(SELECT 1 FROM RDB$USER_PRIVILEGES\n"
                       "          WHERE RDB$USER = : NAME AND RDB$USER_TYPE = : KIND AND %1))\n"
                       "        OR (SIDE = 1 AND EXISTS(SELECT 1 FROM RDB$USER_PRIVILEGES\n"
                       "          WHERE RDB$RELATION_NAME = : NAME AND RDB$OBJECT_TYPE = : KIND\n"
                       "          AND %2))) THEN\n"
                       "      SUSPEND;\n")
            .arg(usersListConditionSql(), relationsListConditionSql());
    return QStringLiteral("EXECUTE BLOCK (NAMES VARCHAR(%1) CHARACTER SET NONE = :Names)\n"
                          "RETURNS (SIDE INTEGER, KIND INTEGER, NAME VARCHAR(63) CHARACTER SET "
                          "UTF8)\n"
                          "AS\n")
               .arg(client::MaxParameterBytes) +
           packedNamesVariablesSql() + QStringLiteral("BEGIN\n") +
           eachPackedNameSql({QStringLiteral("SIDE"), QStringLiteral("KIND")}, listed) +
           QStringLiteral("END");
}

QString objectListedSql()
{
    return QStringLiteral("SELECT IIF(EXISTS(SELECT 1 FROM RDB$USER_PRIVILEGES\n"
                          "  WHERE RDB$RELATION_NAME = :Object AND RDB$OBJECT_TYPE = :Kind\n"
                          "  AND %1), 1, 0) AS LISTED\n"
                          "FROM RDB$DATABASE")
        .arg(relationsListConditionSql());
}

std::optional<QString> packListedNames(const QList<ListedName> &names)
{
    QByteArray packed;
    for (const ListedName &name : names) {
        packed += QByteArray::number(int(name.side)) + ':' + QByteArray::number(name.kind) + ':' +
                  client::lengthPrefixed(name.name);
        if (packed.size() > client::MaxParameterBytes)
            return std::nullopt;
    }
    return QString::fromUtf8(packed);
}

} // namespace db
