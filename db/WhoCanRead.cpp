// Reading what the server decides access from; the deciding is WhoCan.cpp's.
#include "Export.h"
#include "Query.h"
#include "WhoCan.h"

namespace db {

namespace {

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
    query.addField(QStringLiteral("RDB$ROLE_NAME"), FieldKind::Data, NameFieldSize);
    query.addField(QStringLiteral("BITS"), FieldKind::Data, 12);
    query.open();
    const int count = query.recordCount();
    for (int row = 0; row < count; ++row) {
        const bool accessAny = (query.fields(1)->textAt(row).toInt() & 2) != 0;
        facts.systemPrivileges.insert(query.fields(0)->textAt(row),
                                      accessAny ? AccessAnyObject : SelectAnyObject);
    }
    query.close();
}

} // namespace

QList<std::pair<ObjectRef, AccessFacts>> readAccessFactsOfName(TDatabase &database,
                                                               const QString &name)
{
    TQuery query(database);
    query.setName(QStringLiteral("AccessQuery"));
    query.sqlAdd(privilegeRowsSql());
    query.sqlAdd(QStringLiteral(
        "WHERE RDB$RELATION_NAME = :Object OR (RDB$OBJECT_TYPE = 13 AND RDB$PRIVILEGE = 'M')"));
    query.sqlAdd(ownerRowsSql(true));
    // The version in a name's column; trimmed, as the names of the branches
    // before it are, so that neither comes padded.
    query.sqlAdd(QStringLiteral(
        "UNION ALL SELECT 'D', TRIM(TRAILING FROM CAST(MON$OWNER AS TYPE OF COLUMN "
        "RDB$USER_PRIVILEGES.RDB$USER)), NULL, TRIM(TRAILING FROM "
        "CAST(RDB$GET_CONTEXT('SYSTEM', 'ENGINE_VERSION') AS TYPE OF COLUMN "
        "RDB$USER_PRIVILEGES.RDB$RELATION_NAME)), NULL, NULL, NULL, NULL, NULL FROM MON$DATABASE"));
    addCatalogueFields(query);
    for (int i = 0; i < query.paramCount(); ++i)
        query.setParamText(i, name);
    query.open();

    // What every kind shares: the memberships, the database's owner, the
    // server; then each kind's rows and owner.
    AccessFacts shared;
    QList<GrantRow> onName;
    QHash<int, QString> owners;
    const int count = query.recordCount();
    for (int row = 0; row < count; ++row) {
        const auto at = [&](int column) { return query.fields(column)->textAt(row); };
        if (at(0) == QLatin1String("O")) {
            owners.insert(at(4).toInt(), at(1));
        } else if (at(0) == QLatin1String("D")) {
            shared.databaseOwner = at(1);
            shared.isFirebird3 = at(3).startsWith(QLatin1String("3."));
        } else {
            const GrantRow grant = privilegeRowAt(query, row);
            if (grant.object == name)
                onName.append(grant);
            if (grant.objectType == kind::Role && grant.privilege == u'M')
                shared.memberships.append(grant);
        }
    }
    query.close();
    if (!shared.isFirebird3)
        readSystemPrivileges(database, shared);

    QList<std::pair<ObjectRef, AccessFacts>> objects;
    for (const int type : ownedKinds()) {
        const ObjectRef object{type, name};
        AccessFacts facts = shared;
        facts.owner = owners.value(type);
        facts.onObject =
            rowsWhere(onName, [&object](const GrantRow &row) { return isOn(row, object); });
        if (!facts.owner.isEmpty() || !facts.onObject.isEmpty())
            objects.append({object, facts});
    }
    return objects;
}

AccessFacts readAccessFacts(TDatabase &database, const ObjectRef &object)
{
    for (const auto &[found, facts] : readAccessFactsOfName(database, object.name)) {
        if (found.type == object.type)
            return facts;
    }
    return {};
}

} // namespace db
