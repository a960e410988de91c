// Each command's plan on its own: catalogue rows in, statements out, with
// no server.
#include "PlannerRows.h"
#include "db/Descriptions.h"
#include "db/Exception.h"
#include "db/LetterOnEach.h"
#include "db/ServerGuards.h"
#include "db/Undo.h"

#include <QTest>

using db::GrantRow;
using planner::row;
using planner::sqlOf;
using planner::user;
namespace kind = db::kind;

class TestPlans : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void copies_data();
    void copies();
    void renames_data();
    void renames();
    void renameRefusedWhenGrantsWouldBeLost();
    void renameGivesBackMembershipsFirebird4Takes();
    void columnsMissingOnTheOtherRelation();
    void ddlAndDefaultRolesTravelExactly();
    void revokesEveryGrantorItMayName();
    void letterOnEachRowShown_data();
    void letterOnEachRowShown();
    void restores_data();
    void restores();
    void undoReachesWhatRevokesCascadeTo();
};

void TestPlans::copies_data()
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

void TestPlans::copies()
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

void TestPlans::renames_data()
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
                       "REVOKE SELECT ON ALPHA FROM \"carol lee\" GRANTED BY OLD",
                       "GRANT SELECT ON ALPHA TO PROCEDURE P2 GRANTED BY NEW",
                       "REVOKE SELECT ON ALPHA FROM PROCEDURE P2 GRANTED BY OLD",
                       "REVOKE SELECT ON ALPHA FROM OLD",
                       "REVOKE UPDATE ON ALPHA FROM OLD GRANTED BY BOSS",
                       "GRANT R1 TO NEW WITH ADMIN OPTION GRANTED BY BOSS",
                       "REVOKE R1 FROM OLD GRANTED BY BOSS"};
    // Firebird 4 takes a membership from every grantor at once: the old
    // grant goes before the new one is made.
    QTest::newRow("a membership given to others: revoked first")
        << QList<GrantRow>() << QList<GrantRow>{row("DAVE", kind::Role, "R1", 'M', {}, 0, "OLD")}
        << true
        << QStringList{"REVOKE R1 FROM DAVE GRANTED BY OLD", "GRANT R1 TO DAVE GRANTED BY NEW"};
    QTest::newRow("a login that may not name grantors moves its own grants")
        << QList<GrantRow>{row("OLD", kind::Relation, "ZETA", 'S', {}, 0, "BOSS"),
                           row("OLD", kind::Relation, "ZETA", 'I')}
        << QList<GrantRow>() << false
        << QStringList{"GRANT SELECT ON ZETA TO NEW", "REVOKE SELECT ON ZETA FROM OLD"};
}

void TestPlans::renames()
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

void TestPlans::renameRefusedWhenGrantsWouldBeLost()
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

void TestPlans::renameGivesBackMembershipsFirebird4Takes()
{
    // DAVE holds R1 from OLD and from BOSS; Firebird 4 revokes both at the
    // REVOKE ... GRANTED BY OLD, Firebird 3 only OLD's.
    const QList<GrantRow> given{row("DAVE", kind::Role, "R1", 'M', {}, 0, "OLD")};
    const QList<GrantRow> memberships{given.first(),
                                      row("DAVE", kind::Role, "R1", 'M', {}, 2, "BOSS"),
                                      row("DAVE", kind::Role, "R2", 'M', {}, 0, "BOSS")};
    const auto renamed = [&](const db::Login &login) {
        return sqlOf(db::planRename({}, given, user(QStringLiteral("OLD")),
                                    user(QStringLiteral("NEW")), login, memberships));
    };
    const QStringList onFirebird3{"REVOKE R1 FROM DAVE GRANTED BY OLD",
                                  "GRANT R1 TO DAVE GRANTED BY NEW"};
    QCOMPARE(renamed(Sysdba),
             onFirebird3 + QStringList{"GRANT R1 TO DAVE WITH ADMIN OPTION GRANTED BY BOSS"});
    db::Login firebird3 = Sysdba;
    firebird3.isFirebird3 = true;
    QCOMPARE(renamed(firebird3), onFirebird3);
}

void TestPlans::columnsMissingOnTheOtherRelation()
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

void TestPlans::ddlAndDefaultRolesTravelExactly()
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
    // On Firebird 4 roles go to roles, but never to themselves.
    const db::Plan toRole = db::planCopy(
        held, {{{db::SqlName::stored(QStringLiteral("R1")), kind::Role}, {}}}, Sysdba, false);
    QVERIFY(!sqlOf(toRole).join(u'\n').contains(QLatin1String("GRANT DEFAULT R1")));
    QCOMPARE(toRole.notDone, QStringList{"the role R1 was not made a member of itself"});
    // Nor, on Firebird 4, to a user of the role's name, which the server
    // takes for the same circle and then admits nobody in the role.
    const db::Plan toNamesake =
        db::planCopy(held, {{user(QStringLiteral("R1")), {}}}, Sysdba, false);
    QVERIFY(!sqlOf(toNamesake).join(u'\n').contains(QLatin1String(" R1 TO")));
    QVERIFY(toNamesake.notDone.first().startsWith(
        QLatin1String("the role R1 was not given to the user R1")));
    QVERIFY(db::locksOutTheRole(
        db::grantChange({kind::Role, "R1", 'M', {}, 0, {}}, user(QStringLiteral("R1"))), Sysdba));
    db::Login firebird3 = Sysdba;
    firebird3.isFirebird3 = true;
    QVERIFY(sqlOf(db::planCopy(held, {{user(QStringLiteral("R1")), {}}}, firebird3, false))
                .contains(QStringLiteral("GRANT DEFAULT R1 TO R1")));
}

void TestPlans::revokesEveryGrantorItMayName()
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

void TestPlans::letterOnEachRowShown_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<QChar>("letter");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QList<int>>("changed");
    using db::LetterAction;
    // FRED holds SELECT on T1 from BOSS, with the option; nothing on T2;
    // UPDATE (A) on T2; the one privilege of P and of the sequence SQ.
    QTest::newRow("grant where not held whole, to the trigger too")
        << int(LetterAction::Grant) << QChar(u'S')
        << QStringList{"GRANT SELECT ON T2 TO FRED", "GRANT SELECT ON T1 TO TRIGGER TR"}
        << QList<int>{1, 4};
    QTest::newRow("a column's UPDATE granted whole")
        << int(LetterAction::Grant) << QChar(u'U')
        << QStringList{"GRANT UPDATE ON T1 TO FRED", "GRANT UPDATE ON T2 TO FRED",
                       "GRANT UPDATE ON T1 TO TRIGGER TR"}
        << QList<int>{0, 1, 4};
    QTest::newRow("EXECUTE: the procedure alone, not the sequence's usage")
        << int(LetterAction::Revoke) << QChar(u'X')
        << QStringList{"REVOKE EXECUTE ON PROCEDURE P FROM FRED"} << QList<int>{2};
    QTest::newRow("the option: to users alone")
        << int(LetterAction::GrantWithOption) << QChar(u'U')
        << QStringList{"GRANT UPDATE ON T1 TO FRED WITH GRANT OPTION",
                       "GRANT UPDATE ON T2 TO FRED WITH GRANT OPTION"}
        << QList<int>{0, 1};
    QTest::newRow("option taken from its grantor")
        << int(LetterAction::RevokeOption) << QChar(u'S')
        << QStringList{"REVOKE GRANT OPTION FOR SELECT ON T1 FROM FRED GRANTED BY BOSS"}
        << QList<int>{0};
    QTest::newRow("revoke where held, on columns too")
        << int(LetterAction::Revoke) << QChar(u'U') << QStringList{"REVOKE UPDATE ON T2 FROM FRED"}
        << QList<int>{1};
}

void TestPlans::letterOnEachRowShown()
{
    QFETCH(int, action);
    QFETCH(QChar, letter);
    QFETCH(QStringList, expected);
    QFETCH(QList<int>, changed);
    const QList<db::LetterTarget> targets{
        {user("FRED"),
         {kind::Relation, "T1"},
         {row("FRED", kind::Relation, "T1", 'S', {}, 1, "BOSS")}},
        {user("FRED"), {kind::Relation, "T2"}, {row("FRED", kind::Relation, "T2", 'U', "A")}},
        {user("FRED"), {kind::Procedure, "P"}, {row("FRED", kind::Procedure, "P", 'X')}},
        {user("FRED"), {kind::Sequence, "SQ"}, {row("FRED", kind::Sequence, "SQ", 'G')}},
        // A trigger holds no option, and a table no EXECUTE.
        {{db::SqlName::stored("TR"), kind::Trigger}, {kind::Relation, "T1"}, {}},
    };
    QList<int> planned;
    const db::Plan plan =
        db::planLetterOnEach(targets, letter, db::LetterAction(action), Sysdba, planned);
    QCOMPARE(sqlOf(plan), expected);
    QCOMPARE(planned, changed);
}

void TestPlans::restores_data()
{
    QTest::addColumn<QList<GrantRow>>("now");
    QTest::addColumn<QList<GrantRow>>("wanted");
    QTest::addColumn<QStringList>("expected");
    const GrantRow bobOption = row("BOB", kind::Relation, "T", 'S', {}, 1, "BOSS");
    const GrantRow carolByBob = row("CAROL", kind::Relation, "T", 'S', {}, 0, "BOB");
    QTest::newRow("the same rows: nothing")
        << QList<GrantRow>{bobOption} << QList<GrantRow>{bobOption} << QStringList();
    QTest::newRow("an option before what was given with it, each by its grantor")
        << QList<GrantRow>() << QList<GrantRow>{carolByBob, bobOption}
        << QStringList{"GRANT SELECT ON T TO BOB WITH GRANT OPTION GRANTED BY BOSS",
                       "GRANT SELECT ON T TO CAROL GRANTED BY BOB"};
    QTest::newRow("a grantor's rows revoked whole and given again as they were")
        << QList<GrantRow>{row("BOB", kind::Relation, "T", 'U')}
        << QList<GrantRow>{row("BOB", kind::Relation, "T", 'U', "A"),
                           row("BOB", kind::Relation, "T", 'U', "B")}
        << QStringList{"REVOKE UPDATE ON T FROM BOB", "GRANT UPDATE (A, B) ON T TO BOB"};
    QTest::newRow("what an option's revoke takes along waits for the next round")
        << QList<GrantRow>{bobOption, carolByBob} << QList<GrantRow>{carolByBob}
        << QStringList{"REVOKE SELECT ON T FROM BOB GRANTED BY BOSS"};
}

void TestPlans::restores()
{
    QFETCH(QList<GrantRow>, now);
    QFETCH(QList<GrantRow>, wanted);
    QFETCH(QStringList, expected);
    QStringList refusals;
    QCOMPARE(sqlOf(db::planRestore(now, wanted, Sysdba, refusals)), expected);
    QVERIFY(refusals.isEmpty());
    // BOSS may not name BOB: nothing is planned, and the reason is told.
    if (!expected.isEmpty() && now.isEmpty()) {
        QCOMPARE(sqlOf(db::planRestore(now, wanted, Boss, refusals)), QStringList());
        QCOMPARE(refusals, QStringList{"giving SELECT on T to CAROL by BOB: BOSS may not name "
                                       "that grantor"});
    }
}

void TestPlans::undoReachesWhatRevokesCascadeTo()
{
    const QList<GrantRow> bobs{row("BOB", kind::Relation, "T", 'S', {}, 1),
                               row("BOB", kind::Relation, "V", 'S'),
                               row("BOB", kind::Relation, "W", 'U', "A")};
    const db::Grantee bob = user("BOB");
    const auto scope = [&](const db::Change &change) {
        const db::UndoScope reach = db::scopeOf({change}, bobs);
        QStringList objects(reach.objects.begin(), reach.objects.end());
        objects.sort();
        return objects;
    };
    // A grant reaches its grantee's rows alone; a revoke also every row on
    // an object where the grantee held an option or column rights.
    QCOMPARE(scope(db::grantWordChange({kind::Relation, "T"}, "SELECT", bob)), QStringList());
    QCOMPARE(scope(db::revokeChange(kind::Relation, "V", "SELECT", bob)), QStringList());
    QCOMPARE(scope(db::revokeChange(kind::Relation, "T", "SELECT", bob)), QStringList{"T"});
    QCOMPARE(scope(db::revokeAllOnAllChange(bob)), (QStringList{"T", "W"}));
    QVERIFY(db::scopeOf({db::revokeAllOnAllChange(bob)}, bobs).grantees.contains("BOB"));
}

QTEST_APPLESS_MAIN(TestPlans)
#include "tst_plans.moc"
