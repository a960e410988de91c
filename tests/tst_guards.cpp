// The guards against the server's faults on their own: what the server
// could not keep, and the column-level rights Firebird 3 drops in effect.
#include "PlannerRows.h"
#include "db/Exception.h"
#include "db/ServerGuards.h"

#include <QTest>

using db::GrantRow;
using planner::row;
using planner::sqlOf;
using planner::user;
namespace kind = db::kind;

class TestGuards : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void columnMends_data();
    void columnMends();
    void whatTheServerCannotKeep_data();
    void whatTheServerCannotKeep();
};

void TestGuards::columnMends_data()
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

void TestGuards::columnMends()
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

void TestGuards::whatTheServerCannotKeep_data()
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

void TestGuards::whatTheServerCannotKeep()
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

QTEST_APPLESS_MAIN(TestGuards)
#include "tst_guards.moc"
