// Reading what the server decides access from; the deciding is WhoCan.cpp's.
#include "Query.h"
#include "WhoCan.h"

namespace db {

namespace {

// The catalogue table and name column of each kind's owner.
std::pair<const char *, const char *> ownerSource(int objectType)
{
    switch (objectType) {
    case kind::Procedure:
        return {"RDB$PROCEDURES", "RDB$PROCEDURE_NAME"};
    case kind::Exception:
        return {"RDB$EXCEPTIONS", "RDB$EXCEPTION_NAME"};
    case kind::Role:
        return {"RDB$ROLES", "RDB$ROLE_NAME"};
    case kind::Sequence:
        return {"RDB$GENERATORS", "RDB$GENERATOR_NAME"};
    case kind::Function:
        return {"RDB$FUNCTIONS", "RDB$FUNCTION_NAME"};
    case kind::Package:
        return {"RDB$PACKAGES", "RDB$PACKAGE_NAME"};
    default:
        return {"RDB$RELATIONS", "RDB$RELATION_NAME"};
    }
}

constexpr const char *Columns[] = {
    "ROW_KIND",      "RDB$USER",       "RDB$USER_TYPE",    "RDB$RELATION_NAME", "RDB$OBJECT_TYPE",
    "RDB$PRIVILEGE", "RDB$FIELD_NAME", "RDB$GRANT_OPTION", "RDB$GRANTOR",
};

// Longer than any name on Firebird 3 (31 bytes) or 4 (63 characters).
constexpr int NameSize = 252;

// Firebird 4 keeps a role's system privileges as a bit each in eight bytes,
// numbered as the server lists them: SELECT_ANY_OBJECT_IN_DATABASE is bit
// 16 and ACCESS_ANY_OBJECT_IN_DATABASE bit 17, the two low bits of the third
// byte.
void readSystemPrivileges(TDatabase &database, AccessFacts &facts)
{
    TQuery query(database);
    query.setName(QStringLiteral("SystemPrivilegeQuery"));
    query.sqlAdd(QStringLiteral(
        "SELECT RDB$ROLE_NAME, BITS FROM (SELECT RDB$ROLE_NAME, "
        "BIN_AND(ASCII_VAL(SUBSTRING(RDB$SYSTEM_PRIVILEGES FROM 3 FOR 1)), 3) AS BITS "
        "FROM RDB$ROLES WHERE RDB$ROLE_NAME <> 'RDB$ADMIN') WHERE BITS <> 0"));
    query.addField(QStringLiteral("RDB$ROLE_NAME"), FieldKind::Data, NameSize);
    query.addField(QStringLiteral("BITS"), FieldKind::Data, 12);
    query.open();
    const int count = query.recordCount();
    for (int row = 0; row < count; ++row) {
        const bool accessAny = (query.fields(1)->textAt(row).toInt() & 2) != 0;
        facts.systemPrivileges.insert(query.fields(0)->textAt(row),
                                      accessAny ? QStringLiteral("ACCESS_ANY_OBJECT_IN_DATABASE")
                                                : QStringLiteral("SELECT_ANY_OBJECT_IN_DATABASE"));
    }
    query.close();
}

} // namespace

AccessFacts readAccessFacts(TDatabase &database, const ObjectRef &object)
{
    const auto [table, nameColumn] = ownerSource(object.type);
    TQuery query(database);
    query.setName(QStringLiteral("AccessQuery"));
    query.sqlAdd(QStringLiteral(
        "SELECT 'P' AS ROW_KIND, RDB$USER, RDB$USER_TYPE, RDB$RELATION_NAME, RDB$OBJECT_TYPE, "
        "RDB$PRIVILEGE, RDB$FIELD_NAME, RDB$GRANT_OPTION, RDB$GRANTOR FROM RDB$USER_PRIVILEGES"));
    query.sqlAdd(QStringLiteral("WHERE (RDB$RELATION_NAME = :Object AND RDB$OBJECT_TYPE = :Kind) "
                                "OR (RDB$OBJECT_TYPE = 13 AND RDB$PRIVILEGE = 'M')"));
    // A packaged procedure or function is its package's, which privileges name.
    const bool packaged = object.type == kind::Procedure || object.type == kind::Function;
    query.sqlAdd(QStringLiteral("UNION ALL SELECT 'O', RDB$OWNER_NAME, NULL, NULL, NULL, NULL, "
                                "NULL, NULL, NULL FROM %1 WHERE %2 = :Owned%3")
                     .arg(QLatin1String(table), QLatin1String(nameColumn),
                          packaged ? QStringLiteral(" AND RDB$PACKAGE_NAME IS NULL") : QString()));
    // The version in a name's column, cast so that it keeps no padding.
    query.sqlAdd(QStringLiteral(
        "UNION ALL SELECT 'D', CAST(MON$OWNER AS TYPE OF COLUMN RDB$USER_PRIVILEGES.RDB$USER), "
        "NULL, CAST(RDB$GET_CONTEXT('SYSTEM', 'ENGINE_VERSION') AS TYPE OF COLUMN "
        "RDB$USER_PRIVILEGES.RDB$RELATION_NAME), NULL, NULL, NULL, NULL, NULL FROM MON$DATABASE"));
    for (const char *column : Columns)
        query.addField(QLatin1String(column), FieldKind::Data, NameSize);
    query.setParamText(0, object.name);
    query.setParamText(1, QString::number(object.type));
    query.setParamText(2, object.name);
    query.open();

    AccessFacts facts;
    const int count = query.recordCount();
    for (int row = 0; row < count; ++row) {
        const auto at = [&](int column) { return query.fields(column)->textAt(row); };
        if (at(0) == QLatin1String("O")) {
            facts.owner = at(1);
        } else if (at(0) == QLatin1String("D")) {
            facts.databaseOwner = at(1);
            facts.isFirebird3 = at(3).startsWith(QLatin1String("3."));
        } else {
            const QString letter = at(5);
            const GrantRow grant{at(1),
                                 at(2).toInt(),
                                 at(3),
                                 at(4).toInt(),
                                 letter.isEmpty() ? QChar() : letter.front(),
                                 at(6),
                                 at(7).toInt(),
                                 at(8)};
            if (isOn(grant, object))
                facts.onObject.append(grant);
            if (grant.objectType == kind::Role && grant.privilege == u'M')
                facts.memberships.append(grant);
        }
    }
    query.close();
    if (!facts.isFirebird3)
        readSystemPrivileges(database, facts);
    return facts;
}

} // namespace db
