// The catalogue: a fresh database's tables, views, procedures, users and
// their privileges, and the figures that describe it.
#include "Bench.h"

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

QString number(int n)
{
    return QString::number(n);
}

// Runs the statement, an SQL expression over the counter, for each value of
// the counter from first to last.
QString forEach(const char *counter, int first, int last, const QString &statement)
{
    return QStringLiteral("  %1 = %2;\n"
                          "  WHILE (%1 <= %3) DO BEGIN\n"
                          "    EXECUTE STATEMENT %4;\n"
                          "    %1 = %1 + 1;\n"
                          "  END\n")
        .arg(QLatin1String(counter), number(first), number(last), statement);
}

// "NAME" || LPAD(expression, width, '0'): the name of the object numbered so.
QString numbered(const char *prefix, const QString &expression, int width)
{
    return QStringLiteral("'%1' || LPAD(%2, %3, '0')")
        .arg(QLatin1String(prefix), expression, number(width));
}

QString executeBlock(const char *declarations, const QString &body)
{
    return QStringLiteral("SET TERM ^ ;\nEXECUTE BLOCK AS\n%1BEGIN\n%2END^\nSET TERM ; ^")
        .arg(QLatin1String(declarations), body);
}

// One of count objects, picked by a step coprime with the count so that
// every user's objects are distinct.
QString picked(const char *prefix, const char *steps, int count, int width)
{
    return numbered(
        prefix, QStringLiteral("MOD(%1, %2) + 1").arg(QLatin1String(steps), number(count)), width);
}

} // namespace

// DDL inside EXECUTE STATEMENT takes effect only at commit, so tables,
// views over them and grants on both need separate transactions.
QStringList catalogueScripts()
{
    const QString objects = executeBlock(
        "DECLARE i INT;\n",
        forEach("i", 1, TableCount,
                "'CREATE TABLE ' || " + numbered("T", "i", 4) +
                    " || ' (ID INTEGER NOT NULL, NAME VARCHAR(40))'") +
            forEach("i", 1, ProcedureCount,
                    "'CREATE PROCEDURE ' || " + numbered("P", "i", 3) +
                        " || ' RETURNS (N INTEGER) AS BEGIN N = ' || i || '; SUSPEND; END'") +
            forEach("i", 1, SequenceCount, "'CREATE SEQUENCE ' || " + numbered("S", "i", 3)) +
            forEach("i", 1, FunctionCount,
                    "'CREATE FUNCTION ' || " + numbered("F", "i", 3) +
                        " || ' RETURNS INTEGER AS BEGIN RETURN ' || i || '; END'") +
            forEach("i", 1, PackageCount,
                    "'CREATE PACKAGE ' || " + numbered("K", "i", 3) +
                        " || ' AS BEGIN FUNCTION N RETURNS INTEGER; END'") +
            forEach("i", 1, RoleCount, "'CREATE ROLE ' || " + numbered("R", "i", 2)));
    const QString views = executeBlock(
        "DECLARE i INT;\n",
        forEach("i", 1, ViewCount,
                "'CREATE VIEW ' || " + numbered("V", "i", 3) +
                    " || ' AS SELECT ID, NAME FROM ' || " +
                    numbered("T", "i * " + number(TableCount / ViewCount), 4)) +
            forEach("i", 1, PackageCount,
                    "'CREATE PACKAGE BODY ' || " + numbered("K", "i", 3) +
                        " || ' AS BEGIN FUNCTION N RETURNS INTEGER AS BEGIN RETURN ' || i || '; "
                        "END END'"));
    // The privilege mix on tables varies with the position so that the cells
    // are not uniform, and REFERENCES rows count without marking.
    const QString tablesOfUser =
        QStringLiteral(R"(    m = 0;
    WHILE (m < %1) DO BEGIN
      privs = 'SELECT';
      IF (MOD(m, 2) = 0) THEN privs = privs || ', UPDATE';
      IF (MOD(m, 3) = 0) THEN privs = privs || ', INSERT';
      IF (MOD(m, 4) = 0) THEN privs = privs || ', DELETE';
      IF (MOD(m, 5) = 0) THEN privs = privs || ', REFERENCES';
      EXECUTE STATEMENT 'GRANT ' || privs || ' ON ' || %2
        || ' TO ' || un || IIF(MOD(m, 10) = 0, ' WITH GRANT OPTION', '');
      m = m + 1;
    END
)")
            .arg(number(TablesPerUser), picked("T", "u * 37 + m * 13", TableCount, 4));
    const QString toUser = QStringLiteral(" || ' TO ' || un");
    const QString grants = executeBlock(
        "DECLARE u INT;\nDECLARE m INT;\nDECLARE un VARCHAR(20);\nDECLARE privs VARCHAR(80);\n",
        QStringLiteral("  u = 1;\n  WHILE (u <= %1) DO BEGIN\n    un = %2;\n")
                .arg(number(UserCount), userNameSql("u")) +
            tablesOfUser +
            forEach("m", 0, ViewsPerUser - 1,
                    "'GRANT SELECT ON ' || " + picked("V", "u * 7 + m * 11", ViewCount, 3) +
                        toUser) +
            forEach("m", 0, ProceduresPerUser - 1,
                    "'GRANT EXECUTE ON PROCEDURE ' || " +
                        picked("P", "u * 3 + m * 7", ProcedureCount, 3) + toUser) +
            forEach("m", 0, SequencesPerUser - 1,
                    "'GRANT USAGE ON SEQUENCE ' || " +
                        picked("S", "u * 7 + m * 11", SequenceCount, 3) + toUser) +
            forEach("m", 0, FunctionsPerUser - 1,
                    "'GRANT EXECUTE ON FUNCTION ' || " +
                        picked("F", "u * 3 + m * 7", FunctionCount, 3) + toUser) +
            forEach("m", 0, PackagesPerUser - 1,
                    "'GRANT EXECUTE ON PACKAGE ' || " + picked("K", "u + m * 7", PackageCount, 3) +
                        toUser) +
            QStringLiteral("    EXECUTE STATEMENT 'GRANT ' || %1%2;\n    u = u + 1;\n  END\n")
                .arg(picked("R", "u", RoleCount, 2), toUser) +
            // Each procedure reads tables through grants of its own.
            QStringLiteral("  u = 1;\n  WHILE (u <= %1) DO BEGIN\n").arg(number(ProcedureCount)) +
            forEach("m", 0, TablesPerProcedure - 1,
                    "'GRANT SELECT ON ' || " + picked("T", "u * 13 + m * 17", TableCount, 4) +
                        " || ' TO PROCEDURE ' || " + numbered("P", "u", 3)) +
            QStringLiteral("    u = u + 1;\n  END\n"));
    return {objects, views, grants};
}

QStringList catalogueFigures(const QString &target)
{
    BenchConnection connection(target, QStringLiteral("catalogue figures"));
    const auto one = [&connection](const QString &sql) {
        const QList<QStringList> rows = connection.rows(sql);
        if (rows.isEmpty())
            fail(QStringLiteral("%1: no row").arg(sql));
        return rows.front();
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
    const QStringList version =
        one(QStringLiteral("SELECT RDB$GET_CONTEXT('SYSTEM', 'ENGINE_VERSION') FROM RDB$DATABASE"));
    return {QStringLiteral("  objects: %1 tables, %2 views, %3 procedures, %4 sequences, %5 "
                           "functions, %6 packages, %7 roles (Firebird %8)")
                .arg(objects[0], objects[1], objects[2], objects[3], objects[4], objects[5],
                     objects[6], version[0]),
            QStringLiteral("  RDB$USER_PRIVILEGES: %1 rows, %2 distinct users, %3 distinct "
                           "relation names; %4 grantees and %5 objects by name and kind")
                .arg(counts[0], counts[1], counts[2], counts[3], counts[4]),
            QStringLiteral("  rows of SYSDBA (heavy user): %1; of CLERK076 (typical user): "
                           "%2; EXECUTE rows: %3")
                .arg(heavy[0], heavy[1], heavy[2])};
}

} // namespace kbench
