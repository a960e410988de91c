// The words of a privilege on their own: letters and words, the DDL
// privileges by name, and the forms one GRANT gives.
#include "PlannerRows.h"
#include "db/DdlPrivileges.h"

#include <QTest>

using db::GrantRow;
using planner::row;
namespace kind = db::kind;

class TestVocabulary : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyDdlPrivilegeRoundTrips();
    void formsGatherColumnsAndKeepOrder();
};

void TestVocabulary::everyDdlPrivilegeRoundTrips()
{
    // Twelve kinds with CREATE, ALTER ANY and DROP ANY, and the database's
    // ALTER and DROP: each name leads to its object and letter and back.
    const QStringList names = db::ddlPrivilegeNames();
    QCOMPARE(names.size(), 12 * 3 + 2);
    QVERIFY(names.contains(QStringLiteral("ALTER DATABASE")));
    QVERIFY(!names.contains(QStringLiteral("CREATE DATABASE")));
    for (const QString &name : names) {
        const QString object = db::ddlObjectOf(name);
        const QChar letter = db::ddlLetterOf(name);
        QVERIFY2(db::isDdlObject(object), qPrintable(name));
        const GrantRow shown = db::asListRow(row("U", 21, object, char(letter.unicode())));
        QCOMPARE(shown.object, name);
        QCOMPARE(shown.objectType, kind::DdlPrivilege);
        QCOMPARE(db::ddlClause(object, db::wordOf(letter)), name);
    }
    // Another object's row, and a letter no DDL privilege has, stay as read.
    const GrantRow usage = row("U", 14, "SQL$TABLES", 'G');
    QCOMPARE(db::asListRow(usage), usage);
    QCOMPARE(db::ddlLetterOf(QStringLiteral("CUSTOMER")), QChar());
}

void TestVocabulary::formsGatherColumnsAndKeepOrder()
{
    // One form per object, letter, option, grantor and whole-or-columns;
    // objects in byte order, then letters as statements take them.
    const QList<db::PrivilegeForm> forms = db::formsOf(
        {row("U", kind::Relation, "b", 'S'), row("U", kind::Relation, "A", 'U', "C2"),
         row("U", kind::Relation, "A", 'U', "C1"), row("U", kind::Relation, "A", 'S', {}, 1),
         row("U", kind::Relation, "A", 'U'), row("U", kind::Relation, "A", 'U', "C3", 0, "BOSS"),
         row("U", kind::Sequence, "A", 'G')});
    QStringList seen;
    for (const db::PrivilegeForm &form : forms)
        seen.append(QStringLiteral("%1/%2/%3/%4/%5/%6")
                        .arg(form.object)
                        .arg(form.objectType)
                        .arg(form.letter)
                        .arg(form.columns.join(QLatin1Char(',')))
                        .arg(form.option)
                        .arg(form.grantor));
    QCOMPARE(seen, (QStringList{"A/0/S//1/SYSDBA", "A/0/U//0/SYSDBA", "A/0/U/C2,C1/0/SYSDBA",
                                "A/0/U/C3/0/BOSS", "A/14/G//0/SYSDBA", "b/0/S//0/SYSDBA"}));
    QCOMPARE(db::letterOfWord(QStringLiteral("REFERENCES")), QChar(u'R'));
    QCOMPARE(db::letterOfWord(QStringLiteral("ALL")), QChar());
}

QTEST_APPLESS_MAIN(TestVocabulary)
#include "tst_vocabulary.moc"
