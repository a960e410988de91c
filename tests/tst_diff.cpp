// Two databases of the same objects, granted apart: the statements
// `kelvane --diff A B` prints, run on A, make its rows those of B; the diff
// of equal databases is empty; objects on one side alone are named, never
// granted.
#include "MainWindowDriver.h"
#include "TestServer.h"
#include "app/PrivEdit.h"
#include "db/Compare.h"
#include "db/Database.h"
#include "dialogs/Compare.h"
#include "ui/Application.h"
#include "ui/DBGrid.h"

#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTest>

namespace {

const char *const Objects = R"(
CREATE TABLE T1 (ID INTEGER, NAME VARCHAR(20), NOTE VARCHAR(20));
CREATE TABLE T2 (ID INTEGER);
CREATE SEQUENCE SQ;
SET TERM ^;
CREATE PROCEDURE P AS BEGIN END^
SET TERM ;^
CREATE ROLE R1;
CREATE ROLE R2;
)";

// What both hold alike, and what differs: a grant on one side alone, an
// option, columns, a grantor, a chain given with an option, memberships, a
// procedure as grantee, usage and a DDL privilege.
const char *const Alike = R"(
GRANT SELECT ON T2 TO USER ALIKE;
GRANT EXECUTE ON PROCEDURE P TO USER ALIKE;
GRANT R2 TO USER ALIKE;
)";
const char *const OnA = R"(
GRANT SELECT ON T1 TO USER ONLY_A;
GRANT INSERT ON T1 TO USER OPT WITH GRANT OPTION;
GRANT INSERT ON T1 TO USER CAROL GRANTED BY OPT;
GRANT UPDATE (NAME) ON T1 TO USER COLS;
GRANT DELETE ON T2 TO USER MOVED GRANTED BY BOSS;
GRANT R1 TO USER MEMBER;
GRANT SELECT ON T1 TO PROCEDURE P;
CREATE TABLE ONLY_IN_A (ID INTEGER);
GRANT SELECT ON ONLY_IN_A TO USER ALIKE;
)";
const char *const OnB = R"(
GRANT SELECT ON T2 TO USER ONLY_B WITH GRANT OPTION;
GRANT INSERT ON T1 TO USER OPT;
GRANT INSERT ON T1 TO USER CAROL;
GRANT UPDATE (NAME, NOTE) ON T1 TO USER COLS;
GRANT DELETE ON T2 TO USER MOVED GRANTED BY CHIEF;
GRANT R2 TO USER MEMBER WITH ADMIN OPTION;
GRANT USAGE ON SEQUENCE SQ TO ROLE R1;
GRANT UPDATE ON T2 TO PROCEDURE P;
GRANT CREATE TABLE TO USER ONLY_B;
CREATE TABLE ONLY_IN_B (ID INTEGER);
GRANT SELECT ON ONLY_IN_B TO USER ONLY_B;
)";

struct Ran
{
    int status = -1;
    QString out;
    QString errors;
};

Ran runKelvane(const QStringList &arguments)
{
    QProcess kelvane;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KELVANE_PASSWORD"), testserver::password());
    kelvane.setProcessEnvironment(environment);
    kelvane.start(QStringLiteral(KELVANE_PROGRAM), arguments);
    if (!kelvane.waitForFinished(60000))
        return {};
    return {kelvane.exitCode(), QString::fromUtf8(kelvane.readAllStandardOutput()),
            QString::fromUtf8(kelvane.readAllStandardError())};
}

db::Catalogue catalogueOf(const testserver::TestDatabase &database)
{
    db::TDatabase connection(QStringLiteral("DIFF"));
    connection.setConnectionString(database.connectionString());
    connection.paramsAdd(QStringLiteral("USERNAME=SYSDBA"));
    connection.paramsAdd(QStringLiteral("PASSWORD=") + testserver::password());
    connection.open();
    return db::readCatalogue(connection);
}

// The rows an export writes, one line each, in order.
QStringList grantedRows(const testserver::TestDatabase &database)
{
    const db::Catalogue catalogue = catalogueOf(database);
    QStringList rows;
    for (const db::GrantRow &row : catalogue.rows) {
        if (db::isExported(row, catalogue.owners) &&
            !row.object.startsWith(QLatin1String("ONLY_IN")))
            rows.append(QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8")
                            .arg(row.grantee)
                            .arg(row.granteeType)
                            .arg(row.object)
                            .arg(row.objectType)
                            .arg(row.privilege)
                            .arg(row.column)
                            .arg(row.option)
                            .arg(row.grantor));
    }
    rows.sort();
    return rows;
}

} // namespace

class TestDiff : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void diffAppliedMakesTheRowsEqual();
    void windowBringsTheTickedPairsAndUndoes();
};

void TestDiff::diffAppliedMakesTheRowsEqual()
{
    testserver::TestDatabase a(QStringLiteral("diff-a"));
    testserver::TestDatabase b(QStringLiteral("diff-b"));
    const bool firebird4 = a.serverVersion() >= 4;
    for (const testserver::TestDatabase *database : {&a, &b})
        database->run(QLatin1String(Objects) + QLatin1String(Alike));
    a.run(QLatin1String(OnA));
    b.run(QLatin1String(OnB));
    // Firebird 4: a default role, and a role granted to a role.
    if (firebird4) {
        a.run(QStringLiteral("GRANT R1 TO ROLE R2;"));
        b.run(QStringLiteral("GRANT DEFAULT R1 TO USER ALIKE;"));
    }
    QVERIFY(grantedRows(a) != grantedRows(b));

    const Ran diff = runKelvane({"--diff", a.connectionString(), b.connectionString()});
    QCOMPARE(diff.status, 1);
    QVERIFY2(diff.errors.isEmpty(), qPrintable(diff.errors));
    QVERIFY2(diff.out.contains(QLatin1String("-- Only in ") + a.connectionString() +
                               QLatin1String(", left as it is: table or view ONLY_IN_A")),
             qPrintable(diff.out));
    QVERIFY(diff.out.contains(QLatin1String("-- Only in ") + b.connectionString() +
                              QLatin1String(", not granted: table or view ONLY_IN_B")));
    QVERIFY(!diff.out.contains(QLatin1String("ON ONLY_IN_B")));
    // The grant made with the option goes before the option.
    const qsizetype carol = diff.out.indexOf(QLatin1String("FROM USER CAROL GRANTED BY OPT"));
    const qsizetype opt = diff.out.indexOf(QLatin1String("FROM USER OPT GRANTED BY SYSDBA"));
    QVERIFY2(carol >= 0 && opt > carol, qPrintable(diff.out));

    a.run(diff.out);
    QCOMPARE(grantedRows(a), grantedRows(b));
    const db::CatalogueDifference left = db::compareCatalogues(catalogueOf(a), catalogueOf(b));
    QCOMPARE(db::statementsOf(left.changes), QStringList());

    // Equal once the objects on one side alone are gone.
    a.run(QStringLiteral("DROP TABLE ONLY_IN_A;"));
    b.run(QStringLiteral("DROP TABLE ONLY_IN_B;"));
    const Ran equal = runKelvane({"--diff", a.connectionString(), b.connectionString()});
    QCOMPARE(equal.status, 0);
    QCOMPARE(equal.out, QString());

    const Ran unreadable =
        runKelvane({"--diff", a.connectionString(), b.connectionString() + "-nosuch"});
    QCOMPARE(unreadable.status, 2);
    QVERIFY(!unreadable.errors.isEmpty());
}

void TestDiff::windowBringsTheTickedPairsAndUndoes()
{
    ui::Application::setTitle(QStringLiteral("Kelvane"));
    driver::WindowFixture window;
    window.start(QStringLiteral("COMPARE"), Objects);
    window.db->run(QLatin1String(Alike) + QLatin1String(OnA));
    testserver::TestDatabase b(QStringLiteral("compare-b"));
    b.run(QLatin1String(Objects) + QLatin1String(Alike) + QLatin1String(OnB));
    driver::chooseAlias(QStringLiteral("COMPARE"), testserver::password());
    driver::select(QStringLiteral("OPT"), QStringLiteral("T1"));
    const QString pairs =
        QStringLiteral("RDB$RELATION_NAME = 'T1' AND RDB$USER IN ('OPT', 'CAROL')");
    const QString others = QStringLiteral("NOT (") + pairs + QLatin1Char(')');
    const QStringList before = window.db->catalogue();
    const QStringList othersBefore = window.db->catalogue(others);

    driver::InputAnswer typed(b.connectionString());
    driver::answerInput(&typed);
    QStringList lines;
    QString note;
    testui::whenModal([&](QWidget *modal) {
        auto *form = qobject_cast<TCompareForm *>(modal);
        QVERIFY(form);
        note = form->NoteLabel->text();
        QVERIFY(!form->OKButton->isEnabled());
        for (int row = 0; row < form->DifferenceList->count(); ++row) {
            const QString line = form->DifferenceList->item(row)->text();
            lines.append(line);
            if (!line.startsWith(QLatin1String("OPT on T1:")) &&
                !line.startsWith(QLatin1String("CAROL on T1:")))
                continue;
            form->DifferenceList->setCurrentRow(row);
            QTest::keyClick(form->DifferenceList, Qt::Key_Space);
        }
        QTest::mouseClick(form->OKButton, Qt::LeftButton);
    });
    driver::chooseFromEditMenu("CompareItem");
    QVERIFY(testui::allAnswered());
    QVERIFY2(lines.contains(QStringLiteral("OPT on T1: here INSERT — granted by SYSDBA, with grant "
                                           "option, there INSERT — granted by SYSDBA")),
             qPrintable(lines.join(u'\n')));
    QVERIFY(lines.contains(QStringLiteral("ONLY_A on T1: SELECT — granted by SYSDBA here only")));
    QVERIFY2(note.contains(QLatin1String("not brought: table or view ONLY_IN_B")),
             qPrintable(note));

    // The two pairs as they are there; nothing else changed.
    QCOMPARE(window.db->catalogue(pairs), b.catalogue(pairs));
    QCOMPARE(window.db->catalogue(others), othersBefore);
    driver::typeInto(KelvaneForm->MasterGrid, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(window.db->catalogue(), before);
    QCOMPARE(driver::currentMaster(), QStringLiteral("OPT"));
    window.stop();
}

QTEST_MAIN(TestDiff)
#include "tst_diff.moc"
