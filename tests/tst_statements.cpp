// The text of GRANT and REVOKE statements on its own: the texts are the
// behaviour, they are what reaches the server.
#include "PlannerRows.h"
#include "db/Statements.h"

#include <QTest>

using db::GrantRow;
using planner::row;
using planner::sqlOf;
using planner::user;
namespace kind = db::kind;

class TestStatements : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void grantStatements_data();
    void grantStatements();
    void oneWordOnEachKind_data();
    void oneWordOnEachKind();
};

void TestStatements::grantStatements_data()
{
    QTest::addColumn<QList<GrantRow>>("rows");
    QTest::addColumn<int>("granteeType");
    QTest::addColumn<QStringList>("expected");
    // A plain privilege keeps the statement the grid's toggle sends.
    QTest::newRow("plain") << QList<GrantRow>{row("X", kind::Relation, "CUSTOMER", 'S')}
                           << kind::User << QStringList{"GRANT SELECT ON CUSTOMER TO FRED"};
    QTest::newRow("columns, grant option, another grantor")
        << QList<GrantRow>{row("X", kind::Relation, "CUSTOMER", 'U', "NAME", 1, "BOSS"),
                           row("X", kind::Relation, "CUSTOMER", 'U', "CITY", 1, "BOSS"),
                           row("X", kind::Relation, "order", 'R', "ID")}
        << kind::User
        << QStringList{"GRANT UPDATE (NAME, CITY) ON CUSTOMER TO FRED WITH GRANT OPTION",
                       "GRANT REFERENCES (ID) ON \"order\" TO FRED"};
    QTest::newRow("every kind of object")
        << QList<GrantRow>{row("X", kind::Procedure, "P1", 'X'),
                           row("X", kind::Function, "F1", 'X'),
                           row("X", kind::Package, "PK", 'X'),
                           row("X", kind::Sequence, "SQ", 'G'),
                           row("X", kind::Exception, "EX", 'G'),
                           row("X", kind::Role, "R1", 'M', {}, 2)}
        << kind::User
        << QStringList{
               "GRANT USAGE ON EXCEPTION EX TO FRED",   "GRANT EXECUTE ON FUNCTION F1 TO FRED",
               "GRANT EXECUTE ON PROCEDURE P1 TO FRED", "GRANT EXECUTE ON PACKAGE PK TO FRED",
               "GRANT R1 TO FRED WITH ADMIN OPTION",    "GRANT USAGE ON SEQUENCE SQ TO FRED"};
    QTest::newRow("a procedure grantee")
        << QList<GrantRow>{row("X", kind::Relation, "ORDERS", 'S')} << kind::Procedure
        << QStringList{"GRANT SELECT ON ORDERS TO PROCEDURE FRED"};
    // Known by the name of their object: the type numbers differ between
    // Firebird 3 and 4.
    QTest::newRow("DDL privileges")
        << QList<GrantRow>{row("X", 21, "SQL$TABLES", 'C'), row("X", 23, "SQL$VIEWS", 'L', {}, 1),
                           row("X", 20, "SQL$DATABASE", 'O'),
                           row("X", 31, "SQL$CHARSETS", 'L', {}, 0, "BOSS")}
        << kind::User
        << QStringList{"GRANT ALTER ANY CHARACTER SET TO FRED", "GRANT DROP DATABASE TO FRED",
                       "GRANT CREATE TABLE TO FRED",
                       "GRANT ALTER ANY VIEW TO FRED WITH GRANT OPTION"};
    QTest::newRow("a default role (Firebird 4)")
        << QList<GrantRow>{row("X", kind::Role, "R1", 'M', "D", 2)} << kind::User
        << QStringList{"GRANT DEFAULT R1 TO FRED WITH ADMIN OPTION"};
}

void TestStatements::grantStatements()
{
    QFETCH(QList<GrantRow>, rows);
    QFETCH(int, granteeType);
    QFETCH(QStringList, expected);
    QStringList sql;
    for (const db::PrivilegeForm &form : db::formsOf(rows))
        sql.append(db::grantSql(form, {db::SqlName::stored(QStringLiteral("FRED")), granteeType}));
    QCOMPARE(sql, expected);
}

void TestStatements::oneWordOnEachKind_data()
{
    QTest::addColumn<int>("objectType");
    QTest::addColumn<QString>("word");
    QTest::addColumn<int>("granteeType");
    QTest::addColumn<QString>("expected");
    // The grid's words go to a table as they are; every other kind takes its
    // one privilege's, whatever was asked, and ALL means that one.
    QTest::newRow("table") << kind::Relation << "ALL" << kind::User << "GRANT ALL ON OBJ TO U";
    QTest::newRow("procedure") << kind::Procedure << "SELECT" << kind::User
                               << "GRANT EXECUTE ON PROCEDURE OBJ TO U";
    QTest::newRow("sequence") << kind::Sequence << "ALL" << kind::Trigger
                              << "GRANT USAGE ON SEQUENCE OBJ TO TRIGGER U";
    QTest::newRow("exception") << kind::Exception << "EXECUTE" << kind::View
                               << "GRANT USAGE ON EXCEPTION OBJ TO VIEW U";
    QTest::newRow("role") << kind::Role << "ALL" << kind::Role << "GRANT OBJ TO U";
    QTest::newRow("package") << kind::Package << "EXECUTE" << kind::Package
                             << "GRANT EXECUTE ON PACKAGE OBJ TO PACKAGE U";
}

void TestStatements::oneWordOnEachKind()
{
    QFETCH(int, objectType);
    QFETCH(QString, word);
    QFETCH(int, granteeType);
    QFETCH(QString, expected);
    QVERIFY(db::isGranteeKind(granteeType));
    QCOMPARE(db::grantWordSql({objectType, QStringLiteral("OBJ")}, word,
                              {db::SqlName::stored(QStringLiteral("U")), granteeType}),
             expected);
    // Sequences and exceptions hold privileges; they never receive them.
    QVERIFY(!db::isGranteeKind(kind::Sequence) && !db::isGranteeKind(kind::Exception));
}

QTEST_APPLESS_MAIN(TestStatements)
#include "tst_statements.moc"
