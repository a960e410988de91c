// The statement planner on its own: catalogue rows in, statements out, with
// no server. The texts are the behaviour: they are what reaches the server.
#include "db/Exception.h"
#include "db/Grants.h"

#include <QTest>

using db::GrantRow;
namespace kind = db::kind;

Q_DECLARE_METATYPE(db::GrantRow)

namespace {

GrantRow row(const QString &grantee, int objectType, const QString &object, char letter,
             const QString &column = {}, int option = 0,
             const QString &grantor = QStringLiteral("SYSDBA"), int granteeType = kind::User)
{
    return {grantee, granteeType, object, objectType, QChar(letter), column, option, grantor};
}

QStringList sqlOf(const db::Plan &plan)
{
    QStringList sql;
    for (const db::Change &change : plan.changes)
        sql.append(change.sql);
    return sql;
}

const db::Login Sysdba{QStringLiteral("SYSDBA"), true};
const db::Login Boss{QStringLiteral("BOSS"), false};

db::Grantee user(const QString &name)
{
    return {db::SqlName::stored(name), kind::User};
}

} // namespace

class TestGrants : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void grantStatements_data();
    void grantStatements();
    void oneWordOnEachKind_data();
    void oneWordOnEachKind();
    void copies_data();
    void copies();
    void renames_data();
    void renames();
    void renameRefusedWhenGrantsWouldBeLost();
    void columnsMissingOnTheOtherRelation();
    void ddlAndDefaultRolesTravelExactly();
    void revokesEveryGrantorItMayName();
    void columnMends_data();
    void columnMends();
    void whatTheServerCannotKeep_data();
    void whatTheServerCannotKeep();
};

void TestGrants::grantStatements_data()
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

void TestGrants::grantStatements()
{
    QFETCH(QList<GrantRow>, rows);
    QFETCH(int, granteeType);
    QFETCH(QStringList, expected);
    QStringList sql;
    for (const db::PrivilegeForm &form : db::formsOf(rows))
        sql.append(db::grantSql(form, {db::SqlName::stored(QStringLiteral("FRED")), granteeType}));
    QCOMPARE(sql, expected);
}

void TestGrants::oneWordOnEachKind_data()
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

void TestGrants::oneWordOnEachKind()
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

void TestGrants::copies_data()
{
    QTest::addColumn<QList<GrantRow>>("source");
    QTest::addColumn<QList<GrantRow>>("target");
    QTest::addColumn<bool>("revokeExtras");
    QTest::addColumn<bool>("sysdba");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("notDone");
    const GrantRow selectCustomer = row("SRC", kind::Relation, "CUSTOMER", 'S');
    QTest::newRow("equal: nothing sent")
        << QList<GrantRow>{selectCustomer}
        << QList<GrantRow>{row("T", kind::Relation, "CUSTOMER", 'S', {}, 0, "BOSS")} << true << true
        << QStringList() << QStringList();
    QTest::newRow("whole UPDATE narrowed to the source's column")
        << QList<GrantRow>{row("SRC", kind::Relation, "CUSTOMER", 'U', "NAME")}
        << QList<GrantRow>{row("T", kind::Relation, "CUSTOMER", 'U')} << true << true
        << QStringList{"REVOKE UPDATE ON CUSTOMER FROM T", "GRANT UPDATE (NAME) ON CUSTOMER TO T"}
        << QStringList();
    QTest::newRow("a grant option added without a revoke")
        << QList<GrantRow>{row("SRC", kind::Relation, "CUSTOMER", 'S', {}, 1)}
        << QList<GrantRow>{row("T", kind::Relation, "CUSTOMER", 'S')} << true << true
        << QStringList{"GRANT SELECT ON CUSTOMER TO T WITH GRANT OPTION"} << QStringList();
    QTest::newRow("a grant option taken away")
        << QList<GrantRow>{selectCustomer}
        << QList<GrantRow>{row("T", kind::Relation, "CUSTOMER", 'S', {}, 1)} << true << true
        << QStringList{"REVOKE SELECT ON CUSTOMER FROM T", "GRANT SELECT ON CUSTOMER TO T"}
        << QStringList();
    QTest::newRow("another grantor's row revoked in its name")
        << QList<GrantRow>()
        << QList<GrantRow>{row("T", kind::Role, "R1", 'M', {}, 0, "BOSS"),
                           row("T", kind::Sequence, "SQ", 'G')}
        << true << true
        << QStringList{"REVOKE R1 FROM T GRANTED BY BOSS", "REVOKE USAGE ON SEQUENCE SQ FROM T"}
        << QStringList();
    QTest::newRow("a login that may not name the grantor")
        << QList<GrantRow>() << QList<GrantRow>{row("T", kind::Relation, "ZETA", 'S')} << true
        << false << QStringList()
        << QStringList{"SELECT on ZETA granted by SYSDBA is still held by T"};
    QTest::newRow("to a new user: only additions")
        << QList<GrantRow>{selectCustomer, row("SRC", kind::Function, "F1", 'X', {}, 0, "BOSS")}
        << QList<GrantRow>{row("T", kind::Relation, "CUSTOMER", 'D')} << false << true
        << QStringList{"GRANT SELECT ON CUSTOMER TO T", "GRANT EXECUTE ON FUNCTION F1 TO T"}
        << QStringList();
}

void TestGrants::copies()
{
    QFETCH(QList<GrantRow>, source);
    QFETCH(QList<GrantRow>, target);
    QFETCH(bool, revokeExtras);
    QFETCH(bool, sysdba);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, notDone);
    const db::Plan plan = db::planCopy(source, {{user(QStringLiteral("T")), target}},
                                       sysdba ? Sysdba : Boss, revokeExtras);
    QCOMPARE(sqlOf(plan), expected);
    QCOMPARE(plan.notDone, notDone);
    // Only the row that loses its grant option is marked: the server
    // cascades from there to what T granted with it.
    const bool optionLost = QByteArray(QTest::currentDataTag()) == "a grant option taken away";
    QCOMPARE(plan.optionsTaken.size(), optionLost ? 1 : 0);
    if (optionLost)
        QCOMPARE(plan.optionsTaken.first().object, QStringLiteral("CUSTOMER"));
}

void TestGrants::renames_data()
{
    QTest::addColumn<QList<GrantRow>>("held");
    QTest::addColumn<QList<GrantRow>>("given");
    QTest::addColumn<bool>("sysdba");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("plain: the grid's statements")
        << QList<GrantRow>{row("OLD", kind::Relation, "CUSTOMER", 'S'),
                           row("OLD", kind::Relation, "CUSTOMER", 'I'),
                           row("OLD", kind::Procedure, "P_ONE", 'X')}
        << QList<GrantRow>() << true
        << QStringList{"GRANT SELECT ON CUSTOMER TO NEW", "GRANT INSERT ON CUSTOMER TO NEW",
                       "REVOKE ALL ON CUSTOMER FROM OLD", "GRANT EXECUTE ON PROCEDURE P_ONE TO NEW",
                       "REVOKE EXECUTE ON PROCEDURE P_ONE FROM OLD"};
    // What OLD gave CAROL is given again by NEW before OLD's own goes, which
    // takes OLD's grant to CAROL along.
    QTest::newRow("grantors kept, grants to others kept")
        << QList<GrantRow>{row("OLD", kind::Relation, "ALPHA", 'S', {}, 1),
                           row("OLD", kind::Relation, "ALPHA", 'U', {}, 0, "BOSS"),
                           row("OLD", kind::Role, "R1", 'M', {}, 2, "BOSS")}
        << QList<GrantRow>{row("carol lee", kind::Relation, "ALPHA", 'S', {}, 0, "OLD"),
                           row("P2", kind::Relation, "ALPHA", 'S', {}, 0, "OLD", kind::Procedure)}
        << true
        << QStringList{"GRANT SELECT ON ALPHA TO NEW WITH GRANT OPTION",
                       "GRANT UPDATE ON ALPHA TO NEW GRANTED BY BOSS",
                       "GRANT SELECT ON ALPHA TO \"carol lee\" GRANTED BY NEW",
                       "GRANT SELECT ON ALPHA TO PROCEDURE P2 GRANTED BY NEW",
                       "REVOKE SELECT ON ALPHA FROM OLD",
                       "REVOKE UPDATE ON ALPHA FROM OLD GRANTED BY BOSS",
                       "GRANT R1 TO NEW WITH ADMIN OPTION GRANTED BY BOSS",
                       "REVOKE R1 FROM OLD GRANTED BY BOSS"};
    QTest::newRow("a login that may not name grantors moves its own grants")
        << QList<GrantRow>{row("OLD", kind::Relation, "ZETA", 'S', {}, 0, "BOSS"),
                           row("OLD", kind::Relation, "ZETA", 'I')}
        << QList<GrantRow>() << false
        << QStringList{"GRANT SELECT ON ZETA TO NEW", "REVOKE SELECT ON ZETA FROM OLD"};
}

void TestGrants::renames()
{
    QFETCH(QList<GrantRow>, held);
    QFETCH(QList<GrantRow>, given);
    QFETCH(bool, sysdba);
    QFETCH(QStringList, expected);
    const db::Plan plan = db::planRename(held, given, user(QStringLiteral("OLD")),
                                         {db::SqlName::typed(QStringLiteral("NEW")), kind::User},
                                         sysdba ? Sysdba : Boss);
    QCOMPARE(sqlOf(plan), expected);
}

void TestGrants::renameRefusedWhenGrantsWouldBeLost()
{
    const QList<GrantRow> given{row("CAROL", kind::Relation, "ALPHA", 'S', {}, 0, "OLD")};
    try {
        (void)db::planRename({row("OLD", kind::Relation, "ALPHA", 'S', {}, 1)}, given,
                             user(QStringLiteral("OLD")), user(QStringLiteral("NEW")), Boss);
        QFAIL("the rename was planned");
    } catch (const kelvane::Exception &refusal) {
        QVERIFY2(refusal.message().contains(QLatin1String("SELECT on ALPHA to CAROL")),
                 qPrintable(refusal.message()));
    }
}

void TestGrants::columnsMissingOnTheOtherRelation()
{
    const QList<GrantRow> rows{row("U", kind::Relation, "CUSTOMER", 'S'),
                               row("U", kind::Relation, "CUSTOMER", 'U', "NAME"),
                               row("U", kind::Relation, "CUSTOMER", 'U', "CITY")};
    QStringList skipped;
    QList<QChar> letters;
    const QList<GrantRow> moved =
        db::rowsMovedTo(rows, QStringLiteral("NOCITY"), {"ID", "NAME"}, skipped, letters);
    // Never widened to the whole relation, never cut down to some columns.
    QCOMPARE(moved.size(), 1);
    QCOMPARE(moved.first().object, QStringLiteral("NOCITY"));
    QCOMPARE(letters, QList<QChar>{QChar(u'U')});
    QCOMPARE(skipped, QStringList{"UPDATE (NAME, CITY) on CUSTOMER was not copied to NOCITY, "
                                  "which has no column CITY"});
}

void TestGrants::ddlAndDefaultRolesTravelExactly()
{
    const QList<GrantRow> held{row("OLD", 22, "SQL$TABLES", 'C'),
                               row("OLD", 22, "SQL$TABLES", 'O', {}, 1, "BOSS"),
                               row("OLD", kind::Role, "R1", 'M', "D")};
    const db::Plan rename =
        db::planRename(held, {}, user(QStringLiteral("OLD")), user(QStringLiteral("NEW")), Sysdba);
    QCOMPARE(
        sqlOf(rename),
        (QStringList{"GRANT DEFAULT R1 TO NEW", "REVOKE R1 FROM OLD", "GRANT CREATE TABLE TO NEW",
                     "GRANT DROP ANY TABLE TO NEW WITH GRANT OPTION GRANTED BY BOSS",
                     "REVOKE CREATE TABLE FROM OLD",
                     "REVOKE DROP ANY TABLE FROM OLD GRANTED BY BOSS"}));
    QVERIFY(rename.notDone.isEmpty());
    // A target that already holds them as the source does is sent nothing.
    QList<GrantRow> same = held;
    for (GrantRow &row : same)
        row.grantee = QStringLiteral("TWIN");
    QCOMPARE(sqlOf(db::planCopy(held, {{user(QStringLiteral("TWIN")), same}}, Sysdba, true)),
             QStringList());
    QCOMPARE(db::describeRows({held.last()}),
             QStringList{"membership of role R1, as default role granted by SYSDBA"});
}

void TestGrants::revokesEveryGrantorItMayName()
{
    const QList<GrantRow> held{row("EVE", kind::Relation, "T", 'S'),
                               row("EVE", kind::Relation, "T", 'S', {}, 0, "BOSS"),
                               row("EVE", kind::Relation, "T", 'U', "C", 1, "BOSS"),
                               row("EVE", kind::Relation, "T", 'I', {}, 0, {})};
    const db::Plan sysdba = db::planRevoke(held, QStringLiteral("S"), user("EVE"), Sysdba);
    QCOMPARE(sqlOf(sysdba), (QStringList{"REVOKE SELECT ON T FROM EVE",
                                         "REVOKE SELECT ON T FROM EVE GRANTED BY BOSS"}));
    QVERIFY(sysdba.notDone.isEmpty());
    // BOSS takes its own and says what stays; the system's grant stays too.
    const db::Plan boss = db::planRevoke(held, {}, user("EVE"), Boss);
    QCOMPARE(sqlOf(boss),
             (QStringList{"REVOKE SELECT ON T FROM EVE", "REVOKE UPDATE ON T FROM EVE"}));
    QCOMPARE(boss.notDone, (QStringList{"SELECT on T granted by SYSDBA is still held by EVE",
                                        "INSERT on T granted by the system is still held by EVE"}));
    // BOSS's UPDATE (C) with grant option puts C at risk, and any column
    // its option gave others.
    QCOMPARE(db::columnRisks(boss.changes), (QList<db::ColumnRisk>{{"T", "C"}, {"T", QString()}}));
    QCOMPARE(db::columnRisks(sysdba.changes), QList<db::ColumnRisk>());
}

void TestGrants::columnMends_data()
{
    QTest::addColumn<QList<GrantRow>>("rows");
    QTest::addColumn<QString>("column");
    QTest::addColumn<bool>("admin");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("notDone");
    // CAROL's grant option gave ERIN hers: CAROL's comes back first. DAVE's
    // REFERENCES on the column goes and comes back with the rest; the
    // owner's own rows and the whole-relation UPDATE stay; C2, where nobody
    // holds UPDATE, is left alone.
    const QList<GrantRow> rows{row("ERIN", kind::Relation, "T", 'U', "C", 0, "CAROL"),
                               row("BOB", kind::Relation, "T", 'U', "C"),
                               row("CAROL", kind::Relation, "T", 'U', "C", 1, "BOSS"),
                               row("DAVE", kind::Relation, "T", 'R', "C"),
                               row("FRED", kind::Relation, "T", 'U'),
                               row("SYSDBA", kind::Relation, "T", 'U', "C", 1, "SYSDBA"),
                               row("GINA", kind::Relation, "T", 'R', "C2"),
                               row("BOB", kind::Relation, "OTHER", 'U', "C")};
    QTest::newRow("SYSDBA names every grantor")
        << rows << "C" << true
        << QStringList{"REVOKE UPDATE (C) ON T FROM ERIN GRANTED BY CAROL",
                       "REVOKE UPDATE (C) ON T FROM BOB",
                       "REVOKE UPDATE (C) ON T FROM CAROL GRANTED BY BOSS",
                       "REVOKE REFERENCES (C) ON T FROM DAVE",
                       "GRANT UPDATE (C) ON T TO BOB",
                       "GRANT UPDATE (C) ON T TO CAROL WITH GRANT OPTION GRANTED BY BOSS",
                       "GRANT REFERENCES (C) ON T TO DAVE",
                       "GRANT UPDATE (C) ON T TO ERIN GRANTED BY CAROL"}
        << 0;
    // Half a mend mends nothing: the column is left, its holders named.
    QTest::newRow("BOSS may not name SYSDBA") << rows << "C" << false << QStringList() << 3;
    // Another column's revoke leaves C's holders their rights.
    QTest::newRow("another column") << rows << "C9" << false << QStringList() << 0;
}

void TestGrants::columnMends()
{
    QFETCH(QList<GrantRow>, rows);
    QFETCH(QString, column);
    QFETCH(bool, admin);
    QFETCH(QStringList, expected);
    QFETCH(int, notDone);
    const db::Plan plan =
        db::planColumnMends(rows, {{QStringLiteral("T"), column}}, admin ? Sysdba : Boss);
    QCOMPARE(sqlOf(plan), expected);
    QCOMPARE(plan.notDone.size(), notDone);
    if (notDone > 0)
        QVERIFY2(plan.notDone.first().startsWith(
                     QLatin1String("ERIN can no longer use UPDATE (C) on T")),
                 qPrintable(plan.notDone.first()));
}

void TestGrants::whatTheServerCannotKeep_data()
{
    QTest::addColumn<QList<GrantRow>>("held");
    QTest::addColumn<QList<GrantRow>>("granted");
    QTest::addColumn<bool>("refused");
    const auto pk = [](char letter, const QString &column = {}) {
        return row("PK", kind::Relation, "T", letter, column, 0, "SYSDBA", kind::Package);
    };
    const GrantRow bobColumn = row("BOB", kind::Relation, "T", 'U', "ADDRESS");
    const GrantRow publicColumn = row("PUBLIC", kind::Relation, "T", 'U', "ADDRESS");
    QTest::newRow("two columns to a package")
        << QList<GrantRow>() << QList<GrantRow>{pk('U', "ADDRESS"), pk('U', "PHONE")} << true;
    QTest::newRow("a package's table privilege beside a user's column")
        << QList<GrantRow>{bobColumn} << QList<GrantRow>{pk('S')} << true;
    QTest::newRow("a user's column beside a package's table privilege")
        << QList<GrantRow>{pk('S')} << QList<GrantRow>{bobColumn} << true;
    QTest::newRow("one column to a package, two privileges")
        << QList<GrantRow>() << QList<GrantRow>{pk('U', "ADDRESS"), pk('R', "ADDRESS")} << false;
    QTest::newRow("PUBLIC's column beside a package")
        << QList<GrantRow>{publicColumn} << QList<GrantRow>{pk('S')} << false;
    QTest::newRow("whole-table privileges alone")
        << QList<GrantRow>{pk('S')} << QList<GrantRow>{pk('U')} << false;
    QTest::newRow("columns without a package")
        << QList<GrantRow>{bobColumn}
        << QList<GrantRow>{row("CAROL", kind::Relation, "T", 'U', "PHONE")} << false;
}

void TestGrants::whatTheServerCannotKeep()
{
    QFETCH(QList<GrantRow>, held);
    QFETCH(QList<GrantRow>, granted);
    QFETCH(bool, refused);
    db::Plan plan;
    for (const GrantRow &row : granted)
        plan.changes.append(
            db::grantChange({row.objectType,
                             row.object,
                             row.privilege,
                             row.column.isEmpty() ? QStringList() : QStringList{row.column},
                             0,
                             {}},
                            {db::SqlName::stored(row.grantee), row.granteeType}));
    QVERIFY(db::needsStoreCheck(plan.changes));
    QString message;
    try {
        db::checkServerCanStore(plan.changes, held);
    } catch (const kelvane::Exception &refusal) {
        message = refusal.message();
    }
    QCOMPARE(!message.isEmpty(), refused);
}

QTEST_APPLESS_MAIN(TestGrants)
#include "tst_grants.moc"
