// The catalogue: a fresh database's tables, views, procedures, users and
// their privileges, and the figures that describe it.
#include "Bench.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace kbench {

namespace {

// Two families of user names put PUBLIC and SYSDBA in the middle of the
// master list, so that a type-ahead letter jumps over half of it and lands on
// an ordinary user rather than on a neighbour.
QString userNameSql(const char *variable)
{
    return QStringLiteral(
               "IIF(%1 <= %2, 'CLERK' || LPAD(%1, 3, '0'), 'WORKER' || LPAD(%1 - %2, 3, '0'))")
        .arg(QLatin1String(variable))
        .arg(UserCount / 2);
}

} // namespace

// DDL inside EXECUTE STATEMENT takes effect only at commit, so tables,
// views over them and grants on both need separate transactions.
QStringList catalogueScripts()
{
    const QString objects = QStringLiteral(R"(SET TERM ^ ;
EXECUTE BLOCK AS
DECLARE i INT = 1;
BEGIN
  WHILE (i <= %1) DO BEGIN
    EXECUTE STATEMENT 'CREATE TABLE T' || LPAD(i, 4, '0') || ' (ID INTEGER NOT NULL, NAME VARCHAR(40))';
    i = i + 1;
  END
  i = 1;
  WHILE (i <= %2) DO BEGIN
    EXECUTE STATEMENT 'CREATE PROCEDURE P' || LPAD(i, 3, '0') || ' RETURNS (N INTEGER) AS BEGIN N = ' || i || '; SUSPEND; END';
    i = i + 1;
  END
  i = 1;
  WHILE (i <= %3) DO BEGIN
    EXECUTE STATEMENT 'CREATE SEQUENCE S' || LPAD(i, 3, '0');
    i = i + 1;
  END
  i = 1;
  WHILE (i <= %4) DO BEGIN
    EXECUTE STATEMENT 'CREATE FUNCTION F' || LPAD(i, 3, '0') || ' RETURNS INTEGER AS BEGIN RETURN ' || i || '; END';
    i = i + 1;
  END
  i = 1;
  WHILE (i <= %5) DO BEGIN
    EXECUTE STATEMENT 'CREATE PACKAGE K' || LPAD(i, 3, '0') || ' AS BEGIN FUNCTION N RETURNS INTEGER; END';
    i = i + 1;
  END
  i = 1;
  WHILE (i <= %6) DO BEGIN
    EXECUTE STATEMENT 'CREATE ROLE R' || LPAD(i, 2, '0');
    i = i + 1;
  END
END^
SET TERM ; ^)")
                                .arg(TableCount)
                                .arg(ProcedureCount)
                                .arg(SequenceCount)
                                .arg(FunctionCount)
                                .arg(PackageCount)
                                .arg(RoleCount);
    const QString views = QStringLiteral(R"(SET TERM ^ ;
EXECUTE BLOCK AS
DECLARE i INT = 1;
BEGIN
  WHILE (i <= %1) DO BEGIN
    EXECUTE STATEMENT 'CREATE VIEW V' || LPAD(i, 3, '0') || ' AS SELECT ID, NAME FROM T' || LPAD(i * %2, 4, '0');
    i = i + 1;
  END
  i = 1;
  WHILE (i <= %3) DO BEGIN
    EXECUTE STATEMENT 'CREATE PACKAGE BODY K' || LPAD(i, 3, '0') || ' AS BEGIN FUNCTION N RETURNS INTEGER AS BEGIN RETURN ' || i || '; END END';
    i = i + 1;
  END
END^
SET TERM ; ^)")
                              .arg(ViewCount)
                              .arg(TableCount / ViewCount)
                              .arg(PackageCount);
    // Steps coprime with the object counts make every user's objects
    // distinct; the privilege mix varies with the position so that the
    // cells are not uniform, and REFERENCES rows count without marking.
    const QString grants = QStringLiteral(R"(SET TERM ^ ;
EXECUTE BLOCK AS
DECLARE u INT = 1;
DECLARE m INT;
DECLARE un VARCHAR(20);
DECLARE privs VARCHAR(80);
BEGIN
  WHILE (u <= %1) DO BEGIN
    un = %2;
    m = 0;
    WHILE (m < %3) DO BEGIN
      privs = 'SELECT';
      IF (MOD(m, 2) = 0) THEN privs = privs || ', UPDATE';
      IF (MOD(m, 3) = 0) THEN privs = privs || ', INSERT';
      IF (MOD(m, 4) = 0) THEN privs = privs || ', DELETE';
      IF (MOD(m, 5) = 0) THEN privs = privs || ', REFERENCES';
      EXECUTE STATEMENT 'GRANT ' || privs || ' ON T' || LPAD(MOD(u * 37 + m * 13, %4) + 1, 4, '0')
        || ' TO ' || un || IIF(MOD(m, 10) = 0, ' WITH GRANT OPTION', '');
      m = m + 1;
    END
    m = 0;
    WHILE (m < %5) DO BEGIN
      EXECUTE STATEMENT 'GRANT SELECT ON V' || LPAD(MOD(u * 7 + m * 11, %6) + 1, 3, '0') || ' TO ' || un;
      m = m + 1;
    END
    m = 0;
    WHILE (m < %7) DO BEGIN
      EXECUTE STATEMENT 'GRANT EXECUTE ON PROCEDURE P' || LPAD(MOD(u * 3 + m * 7, %8) + 1, 3, '0') || ' TO ' || un;
      m = m + 1;
    END
    m = 0;
    WHILE (m < %9) DO BEGIN
      EXECUTE STATEMENT 'GRANT USAGE ON SEQUENCE S' || LPAD(MOD(u * 7 + m * 11, %10) + 1, 3, '0') || ' TO ' || un;
      m = m + 1;
    END
    m = 0;
    WHILE (m < %11) DO BEGIN
      EXECUTE STATEMENT 'GRANT EXECUTE ON FUNCTION F' || LPAD(MOD(u * 3 + m * 7, %12) + 1, 3, '0') || ' TO ' || un;
      m = m + 1;
    END
    m = 0;
    WHILE (m < %13) DO BEGIN
      EXECUTE STATEMENT 'GRANT EXECUTE ON PACKAGE K' || LPAD(MOD(u + m * 7, %14) + 1, 3, '0') || ' TO ' || un;
      m = m + 1;
    END
    EXECUTE STATEMENT 'GRANT R' || LPAD(MOD(u, %15) + 1, 2, '0') || ' TO ' || un;
    u = u + 1;
  END
  u = 1;
  WHILE (u <= %16) DO BEGIN
    m = 0;
    WHILE (m < %17) DO BEGIN
      EXECUTE STATEMENT 'GRANT SELECT ON T' || LPAD(MOD(u * 13 + m * 17, %4) + 1, 4, '0') || ' TO PROCEDURE P' || LPAD(u, 3, '0');
      m = m + 1;
    END
    u = u + 1;
  END
END^
SET TERM ; ^)")
                               .arg(UserCount)
                               .arg(userNameSql("u"))
                               .arg(TablesPerUser)
                               .arg(TableCount)
                               .arg(ViewsPerUser)
                               .arg(ViewCount)
                               .arg(ProceduresPerUser)
                               .arg(ProcedureCount)
                               .arg(SequencesPerUser)
                               .arg(SequenceCount)
                               .arg(FunctionsPerUser)
                               .arg(FunctionCount)
                               .arg(PackagesPerUser)
                               .arg(PackageCount)
                               .arg(RoleCount)
                               .arg(ProcedureCount)
                               .arg(TablesPerProcedure);
    return {objects, views, grants};
}

QStringList catalogueFigures(const QString &target)
{
    const QString name = QStringLiteral("bench-catalogue");
    QStringList lines;
    {
        QSqlDatabase db = addBareConnection(target, name);
        if (!db.open())
            fail(QStringLiteral("cannot connect: %1").arg(db.lastError().text()));
        const auto one = [&db](const QString &sql) {
            QSqlQuery query(db);
            query.setForwardOnly(true);
            if (!query.exec(sql) || !query.next())
                fail(QStringLiteral("%1: %2").arg(sql, query.lastError().text()));
            QStringList values;
            for (int i = 0; i < query.record().count(); ++i)
                values.append(query.value(i).toString().trimmed());
            return values;
        };
        const QStringList counts =
            one(QStringLiteral("SELECT COUNT(*), COUNT(DISTINCT RDB$USER), COUNT(DISTINCT "
                               "RDB$RELATION_NAME), COUNT(DISTINCT RDB$USER || RDB$USER_TYPE), "
                               "COUNT(DISTINCT RDB$RELATION_NAME || RDB$OBJECT_TYPE) FROM "
                               "RDB$USER_PRIVILEGES"));
        const QStringList objects = one(QStringLiteral(
            "SELECT (SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0 AND RDB$VIEW_BLR "
            "IS NULL), "
            "(SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0 AND RDB$VIEW_BLR IS NOT "
            "NULL), "
            "(SELECT COUNT(*) FROM RDB$PROCEDURES WHERE RDB$SYSTEM_FLAG = 0), "
            "(SELECT COUNT(*) FROM RDB$GENERATORS WHERE RDB$SYSTEM_FLAG = 0), "
            "(SELECT COUNT(*) FROM RDB$FUNCTIONS WHERE RDB$SYSTEM_FLAG = 0 AND RDB$PACKAGE_NAME IS "
            "NULL), "
            "(SELECT COUNT(*) FROM RDB$PACKAGES WHERE RDB$SYSTEM_FLAG = 0), "
            "(SELECT COUNT(*) FROM RDB$ROLES WHERE RDB$SYSTEM_FLAG = 0) FROM RDB$DATABASE"));
        const QStringList heavy = one(QStringLiteral(
            "SELECT (SELECT COUNT(*) FROM RDB$USER_PRIVILEGES WHERE RDB$USER = 'SYSDBA'), "
            "(SELECT COUNT(*) FROM RDB$USER_PRIVILEGES WHERE RDB$USER = 'CLERK076'), "
            "(SELECT COUNT(*) FROM RDB$USER_PRIVILEGES WHERE RDB$PRIVILEGE = 'X') FROM "
            "RDB$DATABASE"));
        const QStringList version = one(
            QStringLiteral("SELECT RDB$GET_CONTEXT('SYSTEM', 'ENGINE_VERSION') FROM RDB$DATABASE"));
        lines << QStringLiteral("  objects: %1 tables, %2 views, %3 procedures, %4 sequences, %5 "
                                "functions, %6 packages, %7 roles (Firebird %8)")
                     .arg(objects[0], objects[1], objects[2], objects[3], objects[4], objects[5],
                          objects[6], version[0]);
        lines << QStringLiteral(
                     "  RDB$USER_PRIVILEGES: %1 rows, %2 distinct users, %3 distinct relation "
                     "names; %4 grantees and %5 objects by name and kind")
                     .arg(counts[0], counts[1], counts[2], counts[3], counts[4]);
        lines << QStringLiteral("  rows of SYSDBA (heavy user): %1; of CLERK076 (typical user): "
                                "%2; EXECUTE rows: %3")
                     .arg(heavy[0], heavy[1], heavy[2]);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return lines;
}

} // namespace kbench
