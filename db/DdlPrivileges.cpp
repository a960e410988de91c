#include "DdlPrivileges.h"

#include "Names.h"

#include <algorithm>

namespace db {

namespace {

// Each object DDL privileges are kept on, and the kind its statements name.
struct DdlObject
{
    QLatin1StringView name;
    QLatin1StringView kind;
};

// In the order of their type numbers: 20 (Firebird 3) or 21 (Firebird 4) on.
constexpr DdlObject DdlObjects[] = {
    {QLatin1StringView("SQL$DATABASE"), QLatin1StringView("DATABASE")},
    {QLatin1StringView("SQL$TABLES"), QLatin1StringView("TABLE")},
    {QLatin1StringView("SQL$VIEWS"), QLatin1StringView("VIEW")},
    {QLatin1StringView("SQL$PROCEDURES"), QLatin1StringView("PROCEDURE")},
    {QLatin1StringView("SQL$FUNCTIONS"), QLatin1StringView("FUNCTION")},
    {QLatin1StringView("SQL$PACKAGES"), QLatin1StringView("PACKAGE")},
    {QLatin1StringView("SQL$GENERATORS"), QLatin1StringView("SEQUENCE")},
    {QLatin1StringView("SQL$DOMAINS"), QLatin1StringView("DOMAIN")},
    {QLatin1StringView("SQL$EXCEPTIONS"), QLatin1StringView("EXCEPTION")},
    {QLatin1StringView("SQL$ROLES"), QLatin1StringView("ROLE")},
    {QLatin1StringView("SQL$CHARSETS"), QLatin1StringView("CHARACTER SET")},
    {QLatin1StringView("SQL$COLLATIONS"), QLatin1StringView("COLLATION")},
    {QLatin1StringView("SQL$FILTERS"), QLatin1StringView("FILTER")},
};

// The letters of DDL privileges; the database itself cannot be created
// from within, so it has no C.
constexpr QLatin1StringView DdlLetters("CLO");

const DdlObject *ddlObject(const QString &name)
{
    for (const DdlObject &object : DdlObjects) {
        if (object.name == name)
            return &object;
    }
    return nullptr;
}

bool isDatabase(const DdlObject &object)
{
    return object.name == QLatin1String("SQL$DATABASE");
}

// "CREATE TABLE", "ALTER ANY VIEW", "DROP DATABASE": the privilege as its
// statement names it, word being CREATE, ALTER or DROP.
QString clauseOf(const DdlObject &object, const QString &word)
{
    const bool any = word != QLatin1String("CREATE") && !isDatabase(object);
    return word + (any ? QStringLiteral(" ANY ") : QStringLiteral(" ")) + object.kind;
}

QString lettersOf(const DdlObject &object)
{
    return isDatabase(object) ? QStringLiteral("LO") : QString(DdlLetters);
}

// A DDL privilege by its list name: its object and letter.
bool findDdlPrivilege(const QString &listName, const DdlObject *&found, QChar &letter)
{
    for (const DdlObject &object : DdlObjects) {
        for (QChar each : lettersOf(object)) {
            if (clauseOf(object, wordOf(each)) == listName) {
                found = &object;
                letter = each;
                return true;
            }
        }
    }
    return false;
}

QString sqlText(const QString &text)
{
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

} // namespace

bool isDdlObject(const QString &object)
{
    return ddlObject(object) != nullptr;
}

bool isDdl(int objectType, const QString &object)
{
    return objectType == kind::DdlPrivilege || isDdlObject(object);
}

QString ddlClause(const QString &object, const QString &word)
{
    const DdlObject *ddl = ddlObject(object);
    return ddl ? clauseOf(*ddl, word) : QString();
}

bool isStatementObject(int objectType, const QString &object)
{
    return isStatementKind(objectType) || isDdlObject(object);
}

GrantRow asListRow(GrantRow row)
{
    const DdlObject *ddl = ddlObject(row.object);
    if (ddl && DdlLetters.contains(row.privilege)) {
        row.object = clauseOf(*ddl, wordOf(row.privilege));
        row.objectType = kind::DdlPrivilege;
    }
    return row;
}

QChar ddlLetterOf(const QString &listName)
{
    const DdlObject *object = nullptr;
    QChar letter;
    return findDdlPrivilege(listName, object, letter) ? letter : QChar();
}

QString ddlObjectOf(const QString &listName)
{
    const DdlObject *object = nullptr;
    QChar letter;
    return findDdlPrivilege(listName, object, letter) ? QString(object->name) : QString();
}

int ddlObjectType(const QString &object, bool firebird3)
{
    const DdlObject *ddl = ddlObject(object);
    if (!ddl)
        return -1;
    const int first = firebird3 ? 20 : 21;
    return first + int(ddl - std::begin(DdlObjects));
}

QStringList ddlPrivilegeNames()
{
    QStringList names;
    for (const DdlObject &object : DdlObjects) {
        for (QChar letter : lettersOf(object))
            names.append(clauseOf(object, wordOf(letter)));
    }
    std::sort(names.begin(), names.end(), isNameBelow);
    return names;
}

QString isDdlRowSql()
{
    // The DDL objects' types start at 20 on Firebird 3 and 21 on Firebird 4;
    // only they hold these letters.
    return QStringLiteral("(RDB$OBJECT_TYPE >= 20 AND RDB$PRIVILEGE IN ('C', 'L', 'O'))");
}

QString ddlNameSql()
{
    QString names;
    for (const DdlObject &object : DdlObjects) {
        QString byLetter;
        for (QChar letter : lettersOf(object))
            byLetter += QStringLiteral(", '%1', %2")
                            .arg(letter)
                            .arg(sqlText(clauseOf(object, wordOf(letter))));
        names += QStringLiteral(" WHEN %1 THEN DECODE(RDB$PRIVILEGE%2, RDB$RELATION_NAME)")
                     .arg(sqlText(QString(object.name)), byLetter);
    }
    return QStringLiteral("CAST(CASE RDB$RELATION_NAME%1 ELSE RDB$RELATION_NAME END AS TYPE OF "
                          "COLUMN RDB$USER_PRIVILEGES.RDB$RELATION_NAME)")
        .arg(names);
}

QString everyDdlPrivilegeSql()
{
    QStringList rows;
    for (const QString &name : ddlPrivilegeNames())
        rows.append(QStringLiteral("SELECT CAST(%1 AS TYPE OF COLUMN "
                                   "RDB$USER_PRIVILEGES.RDB$RELATION_NAME) AS NAME FROM "
                                   "RDB$DATABASE")
                        .arg(sqlText(name)));
    return QLatin1Char('(') + rows.join(QStringLiteral(" UNION ALL ")) + QLatin1Char(')');
}

QString listNameSql()
{
    return QStringLiteral("IIF(%1, %2, RDB$RELATION_NAME)").arg(isDdlRowSql(), ddlNameSql());
}

QString listKindSql()
{
    return QStringLiteral("IIF(%1, %2, RDB$OBJECT_TYPE)")
        .arg(isDdlRowSql())
        .arg(kind::DdlPrivilege);
}

} // namespace db
