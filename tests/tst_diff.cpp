// Two databases of the same objects, granted apart: the statements
// `kelvane --diff A B` prints, run on A, make its rows those of B; the diff
// of equal databases is empty; objects on one side alone are named, never
// granted.
#include "MainWindowDriver.h"
#include "RunKelvane.h"
#include "TestServer.h"
#include "app/PrivEdit.h"
#include "db/Batch.h"
#include "db/Compare.h"
#include "db/Database.h"
#include "db/Exception.h"
#include "db/SavedExport.h"
#include "dialogs/Compare.h"
#include "model/Model.h"
#include "ui/Application.h"
#include "ui/DBGrid.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <random>

namespace {

const char *const Objects = R"(
CREATE TABLE T1 (ID INTEGER, NAME VARCHAR(20), NOTE VARCHAR(20));
CREATE TABLE T2 (ID INTEGER, CODE INTEGER);
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
GRANT UPDATE (CODE) ON T2 TO USER KEEPER;
GRANT SELECT ON T2 TO USER ALIKE;
GRANT EXECUTE ON PROCEDURE P TO USER ALIKE;
GRANT R2 TO USER ALIKE;
)";
const char *const OnA = R"(
GRANT SELECT ON T1 TO USER ONLY_A;
GRANT INSERT ON T1 TO USER OPT WITH GRANT OPTION;
GRANT INSERT ON T1 TO USER CAROL GRANTED BY OPT;
GRANT UPDATE (NAME) ON T1 TO USER COLS;
GRANT UPDATE (CODE) ON T2 TO USER GONE;
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

using testprogram::Ran;
using testprogram::runKelvane;

db::Catalogue catalogueOf(const testserver::TestDatabase &database)
{
    return db::readCatalogue(*testserver::connectAsSysdba(database));
}

// The rows an export writes, one line each, in order; a DDL privilege's
// object kind "ddl", as the servers number it apart.
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
                            .arg(db::isDdl(row.objectType, row.object)
                                     ? QStringLiteral("ddl")
                                     : QString::number(row.objectType))
                            .arg(row.privilege)
                            .arg(row.column)
                            .arg(row.option)
                            .arg(row.grantor));
    }
    rows.sort();
    return rows;
}

// Random grants and revokes on the database's own grantees and objects, in
// others' names too; those the server refuses are left out.
void changeAtRandom(const testserver::TestDatabase &database, std::mt19937 &random, int count)
{
    const db::Catalogue catalogue = catalogueOf(database);
    QList<db::GrantRow> rows;
    for (const db::GrantRow &row : catalogue.rows) {
        if (db::isExported(row, catalogue.owners))
            rows.append(row);
    }
    if (rows.isEmpty())
        return;
    const auto pick = [&](qsizetype size) {
        return qsizetype(std::uniform_int_distribution<qsizetype>(0, size - 1)(random));
    };
    const std::unique_ptr<db::TDatabase> connection = testserver::connectAsSysdba(database);
    for (int i = 0; i < count; ++i) {
        const db::GrantRow &row = rows.at(pick(rows.size()));
        const db::Grantee grantee{db::SqlName::stored(row.grantee), row.granteeType, true};
        QString sql;
        if (pick(2) == 0) {
            const db::SqlName grantor = db::SqlName::stored(row.grantor);
            sql = db::revokeChange(row.objectType, row.object, db::wordOf(row.privilege), grantee,
                                   &grantor)
                      .sql;
        } else {
            // The row's privilege to another grantee, by another grantor, with
            // or without its option.
            const db::GrantRow &other = rows.at(pick(rows.size()));
            db::PrivilegeForm form = db::formOf(row);
            form.option = row.objectType == db::kind::Role ? 2 * int(pick(2)) : int(pick(2));
            form.grantor = other.grantor;
            // A package beside column-level privileges on one relation makes
            // the server fail the commit with "bad ACL", and the attachment
            // with it: the README's server faults.
            const bool packageThere = std::any_of(rows.begin(), rows.end(), [&](const auto &held) {
                return held.granteeType == db::kind::Package && held.object == row.object;
            });
            if (other.granteeType == db::kind::Package || (!form.columns.isEmpty() && packageThere))
                continue;
            const db::Grantee to{db::SqlName::stored(other.grantee), other.granteeType, true};
            const db::SqlName grantor = db::SqlName::stored(form.grantor);
            sql = db::grantChange(form, to, &grantor).sql;
        }
        // Each in a transaction of its own: a statement the server takes and
        // then fails on at commit is left out alone.
        db::TCommandTransaction change(*connection);
        if (change.run({sql}, 0).refused)
            continue;
        try {
            change.commit();
        } catch (const kelvane::EngineError &failure) {
            qInfo().noquote() << "left out:" << sql << "--" << failure.message();
        }
    }
}

// A file as the export writes it, of the statements given.
QByteArray savedFile(const QStringList &statements, const QString &what = "every privilege")
{
    return QStringLiteral("-- Privileges of test.fdb, saved by Kelvane on 2026-12-10T08:00:00Z as "
                          "SYSDBA.\n-- Exported: %1, %2 GRANT statement(s).\n%3\nCOMMIT;\n")
        .arg(what)
        .arg(statements.size())
        .arg(statements.join(u'\n'))
        .toUtf8();
}

// The statements a diff printed, without its comments.
QStringList statementLines(const QString &script)
{
    QStringList lines = script.split(u'\n', Qt::SkipEmptyParts);
    lines.removeIf([](const QString &line) { return line.startsWith(QLatin1String("--")); });
    return lines;
}

// Saves the database's privileges as the command line does, in the folder.
QString exportOf(const testserver::TestDatabase &database, const QTemporaryDir &folder,
                 const QString &name)
{
    const QString path = folder.filePath(name);
    const Ran saved = runKelvane({"--export", database.connectionString(), "--output", path});
    if (saved.status != 0)
        qWarning().noquote() << saved.errors;
    return path;
}

} // namespace

class TestDiff : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void savedFileReadsBackItsRows();
    void savedFileRefusals_data();
    void savedFileRefusals();
    void diffAppliedMakesTheRowsEqual();
    void windowBringsTheTickedPairsAndUndoes();
    void catalogueChangedApartComesEqual();
    void acrossVersionsComesEqual();
};

// The rows of a catalogue, written by the export and read back: every kind
// of statement it writes, names that need quoting, each server's numbering
// of DDL privileges.
void TestDiff::savedFileReadsBackItsRows()
{
    using namespace db;
    const QList<GrantRow> rows{
        {"FRED", kind::User, "T1", kind::Relation, 'S', {}, 1, "SYSDBA"},
        {"FRED", kind::User, "T1", kind::Relation, 'U', "NAME", 0, "SYSDBA"},
        {"FRED", kind::User, "T1", kind::Relation, 'U', "with \"quote\" and ; --", 0, "SYSDBA"},
        {"lower case", kind::Role, "Tab le", kind::Relation, 'R', "ID", 0, "OWNER"},
        {"CAROL", kind::User, "T1", kind::Relation, 'S', {}, 0, "FRED"},
        {"FRED", kind::User, "NURSING", kind::Role, 'M', {}, 2, "SYSDBA"},
        {"OLGA", kind::User, "NURSING", kind::Role, 'M', "D", 0, "SYSDBA"},
        {"USAGE", kind::Role, "ORDER", kind::Role, 'M', {}, 0, "SYSDBA"},
        {"V1", kind::View, "P", kind::Procedure, 'X', {}, 0, "SYSDBA"},
        {"TR", kind::Trigger, "F", kind::Function, 'X', {}, 0, "SYSDBA"},
        {"PK", kind::Package, "SQ", kind::Sequence, 'G', {}, 0, "SYSDBA"},
        {"P", kind::Procedure, "EX", kind::Exception, 'G', {}, 0, "SYSDBA"},
        {"F", kind::Function, "PKG", kind::Package, 'X', {}, 1, "SYSDBA"},
        {"PUBLIC", kind::User, "T1", kind::Relation, 'D', {}, 0, "SYSDBA"},
        // Not exported: the owner's own, and the server's.
        {"OWNER", kind::User, "Tab le", kind::Relation, 'S', {}, 1, "OWNER"},
        {"SYSDBA", kind::User, "RDB$PAGES", kind::Relation, 'S', {}, 1, {}},
    };
    for (const bool firebird3 : {true, false}) {
        Catalogue database;
        database.isFirebird3 = firebird3;
        // Every object, and every grantee that is one, is the database's.
        for (const auto &[type, object] : {std::pair{kind::Relation, "Tab le"},
                                           {kind::Relation, "T1"},
                                           {kind::Role, "NURSING"},
                                           {kind::Role, "ORDER"},
                                           {kind::Role, "lower case"},
                                           {kind::Role, "USAGE"},
                                           {kind::Relation, "V1"},
                                           {kind::Procedure, "P"},
                                           {kind::Function, "F"},
                                           {kind::Package, "PK"},
                                           {kind::Package, "PKG"},
                                           {kind::Sequence, "SQ"},
                                           {kind::Exception, "EX"}})
            database.owners.add(type, object, "OWNER");
        database.rows = rows;
        for (const auto &[object, letter] : {std::pair{"SQL$TABLES", 'C'}, {"SQL$DATABASE", 'O'}})
            database.rows.append(GrantRow{"FRED",
                                          kind::User,
                                          object,
                                          ddlObjectType(object, firebird3),
                                          QChar(letter),
                                          {},
                                          int(letter == 'C'),
                                          "SYSDBA"});
        const QStringList statements = exportStatements(database.rows, database.owners);
        const Catalogue read =
            catalogueOfExport(savedFile(statements), QStringLiteral("saved.sql"), &database);
        QVERIFY(read.isSavedFile);
        const auto sorted = [&](QList<GrantRow> list) {
            list = rowsWhere(list,
                             [&](const GrantRow &row) { return isExported(row, database.owners); });
            std::sort(list.begin(), list.end(), [](const GrantRow &a, const GrantRow &b) {
                return std::tie(a.grantee, a.object, a.privilege, a.column) <
                       std::tie(b.grantee, b.object, b.privilege, b.column);
            });
            return list;
        };
        QCOMPARE(read.rows.size(), statements.size() + 1); // UPDATE of two columns
        QVERIFY(sorted(read.rows) == sorted(database.rows));
        QVERIFY(compareCatalogues(database, read).isEmpty());
    }
}

void TestDiff::savedFileRefusals_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("message");
    const QString grant = QStringLiteral("GRANT SELECT ON T1 TO USER FRED GRANTED BY SYSDBA;");
    QTest::newRow("not an export")
        << QByteArray("GRANT SELECT ON T1 TO FRED;\n") << "line 1: not privileges saved by Kelvane";
    QTest::newRow("part") << savedFile({grant}, "the privileges of FRED")
                          << "line 2: it holds only the privileges of FRED";
    QByteArray shortened = savedFile({grant, grant});
    shortened.replace("-- Exported: every privilege, 2", "-- Exported: every privilege, 3");
    QTest::newRow("count") << shortened << "it holds 2 GRANT statement(s) where its header says 3";
    QByteArray uncommitted = savedFile({grant});
    uncommitted.chop(QByteArray("COMMIT;\n").size());
    QTest::newRow("no commit") << uncommitted << "does not end with COMMIT";
    QTest::newRow("revoke") << savedFile({"REVOKE SELECT ON T1 FROM USER FRED GRANTED BY SYSDBA;"})
                            << "line 3: GRANT expected";
    QTest::newRow("no grantor") << savedFile({"GRANT SELECT ON T1 TO USER FRED;"})
                                << "line 3: GRANTED expected";
    QTest::newRow("quote") << savedFile({"GRANT SELECT ON \"T1 TO USER FRED GRANTED BY X;"})
                           << "closing quote is missing";
    QTest::newRow("after commit") << savedFile({grant}) + grant.toUtf8()
                                  << "line 5: a statement after COMMIT";
    QByteArray notUtf8 = savedFile({"GRANT SELECT ON \"TX\" TO USER F GRANTED BY X;"});
    notUtf8.replace("\"TX\"", "\"T\xff\"");
    QTest::newRow("not UTF-8") << notUtf8 << "is not UTF-8";
    QTest::newRow("option of a role")
        << savedFile({"GRANT R TO USER FRED WITH GRANT OPTION GRANTED BY SYSDBA;"})
        << "ADMIN expected";
}

void TestDiff::savedFileRefusals()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, message);
    try {
        (void)db::catalogueOfExport(text, QStringLiteral("saved.sql"), nullptr);
        QFAIL("the file was read");
    } catch (const kelvane::Exception &error) {
        QVERIFY2(error.message().startsWith(QLatin1String("saved.sql")) &&
                     error.message().contains(message),
                 qPrintable(error.message()));
    }
}

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
    // GONE's UPDATE (CODE) went: KEEPER's on the same column still works,
    // which Firebird 3 drops in effect unless given back.
    testserver::createLogin(QStringLiteral("KEEPER"), QStringLiteral("keeper"));
    QCOMPARE(a.refusal(QStringLiteral("UPDATE T2 SET CODE = NULL WHERE 1 = 0;"),
                       QStringLiteral("KEEPER"), QStringLiteral("keeper")),
             QString());
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

    // B saved as a file: the same differences, where the file names the
    // object; those on ONLY_IN_A, which the file does not name, differ too.
    const QTemporaryDir folder;
    const QString saved = exportOf(b, folder, QStringLiteral("b.sql"));
    driver::answerOpenDialog(saved);
    QStringList fromFile;
    testui::whenModal([&](QWidget *modal) {
        auto *form = qobject_cast<TCompareForm *>(modal);
        QVERIFY(form);
        QVERIFY(form->CompareLabel->text().contains(QLatin1String("b.sql")));
        for (int row = 0; row < form->DifferenceList->count(); ++row)
            fromFile.append(form->DifferenceList->item(row)->text());
        QTest::mouseClick(form->CancelButton, Qt::LeftButton);
    });
    driver::chooseFromEditMenu("CompareFileItem");
    QVERIFY(testui::allAnswered());
    QStringList expected = lines;
    expected.append(QStringLiteral("ALIKE on ONLY_IN_A: SELECT — granted by SYSDBA here only"));
    expected.sort();
    fromFile.sort();
    QCOMPARE(fromFile, expected);
    QCOMPARE(window.db->catalogue(), before);
    window.stop();
}

// A random catalogue in two databases, changed apart at random: the diff run
// on the first makes its rows the second's, and then the diff is empty.
void TestDiff::catalogueChangedApartComesEqual()
{
    const int version = testserver::TestDatabase(QStringLiteral("diff-version")).serverVersion();
    for (const quint32 seed : {11u, 23u, 37u}) {
        std::mt19937 random(seed);
        const model::Schema schema = model::generate(random, version);
        testserver::TestDatabase a(QStringLiteral("apart-a"));
        testserver::TestDatabase b(QStringLiteral("apart-b"));
        for (const testserver::TestDatabase *database : {&a, &b})
            database->run(schema.objectsScript + schema.grantsScript);
        changeAtRandom(a, random, 12);
        changeAtRandom(b, random, 12);
        const Ran diff = runKelvane({"--diff", a.connectionString(), b.connectionString()});
        QVERIFY2(diff.status == 1, qPrintable(diff.errors));
        // B's saved file stands for B: it is B, and A differs from it as
        // from B, by the same statements (the column mends may come in
        // another order); they are the ones run.
        const QTemporaryDir folder;
        const QString saved = exportOf(b, folder, QStringLiteral("b.sql"));
        QCOMPARE(runKelvane({"--diff", b.connectionString(), saved}).status, 0);
        const Ran fromFile = runKelvane({"--diff", a.connectionString(), saved});
        QStringList statements = statementLines(fromFile.out);
        QStringList fromDatabase = statementLines(diff.out);
        statements.sort();
        fromDatabase.sort();
        QCOMPARE(statements, fromDatabase);
        a.run(fromFile.out);
        QVERIFY2(grantedRows(a) == grantedRows(b),
                 qPrintable(QStringLiteral("seed %1: %2").arg(seed).arg(diff.out)));
        const Ran again = runKelvane({"--diff", a.connectionString(), b.connectionString()});
        QCOMPARE(again.status, 0);
    }
}

// A Firebird 3 and a Firebird 4 database of one catalogue, changed apart:
// the diff either way makes the first's rows the second's; DDL privileges,
// which the servers number apart, compare alike.
void TestDiff::acrossVersionsComesEqual()
{
    const std::optional<testserver::Server> other = testserver::otherServer();
    if (!other)
        QSKIP("no server of the other version (KELVANE_FB_OTHER_PORT)");
    std::mt19937 random(5);
    const model::Schema schema = model::generate(random, 3);
    testserver::TestDatabase here(QStringLiteral("across-here"));
    testserver::TestDatabase there(QStringLiteral("across-there"), other);
    QVERIFY(here.serverVersion() != there.serverVersion());
    for (const testserver::TestDatabase *database : {&here, &there})
        database->run(schema.objectsScript + schema.grantsScript);
    QVERIFY(schema.grantsScript.contains(QLatin1String("GRANT CREATE")) ||
            schema.grantsScript.contains(QLatin1String("GRANT ALTER")) ||
            schema.grantsScript.contains(QLatin1String("GRANT DROP")));
    QCOMPARE(runKelvane({"--diff", here.connectionString(), there.connectionString()}).status, 0);
    changeAtRandom(here, random, 12);
    changeAtRandom(there, random, 12);
    for (const auto &[from, to] : {std::pair{&here, &there}, {&there, &here}}) {
        const Ran diff = runKelvane({"--diff", from->connectionString(), to->connectionString()});
        QVERIFY2(diff.status <= 1, qPrintable(diff.errors));
        from->run(diff.out);
        QVERIFY2(grantedRows(*from) == grantedRows(*to), qPrintable(diff.out));
        QCOMPARE(runKelvane({"--diff", from->connectionString(), to->connectionString()}).status,
                 0);
    }
}

QTEST_MAIN(TestDiff)
#include "tst_diff.moc"
