// Copying privileges and the user commands of the edit menu, driven through
// the real main window against the private server: the statements as sent,
// the catalogue afterwards, the dialogs answered as a person would.
#include "MainWindowDriver.h"
#include "TestServer.h"
#include "app/Forms.h"
#include "app/PrivEdit.h"
#include "db/Names.h"
#include "dialogs/CopyPriv.h"
#include "ui/Application.h"
#include "ui/DBGrid.h"

#include <QAction>
#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <memory>

using driver::answerConfirm;
using driver::answerCopyDialog;
using driver::answerInput;
using driver::cellsOf;
using driver::chooseAlias;
using driver::CopyAnswer;
using driver::currentDetail;
using driver::currentMaster;
using driver::InputAnswer;
using driver::select;
using driver::statements;

namespace {

const char *const Schema = R"(
CREATE TABLE CUSTOMER (ID INTEGER, NAME VARCHAR(20));
CREATE TABLE ORDERS (ID INTEGER);
CREATE TABLE "Odd Table" (ID INTEGER);
CREATE VIEW V_CUST AS SELECT ID, NAME FROM CUSTOMER;
SET TERM ^ ;
CREATE PROCEDURE P_ONE AS BEGIN END^
CREATE PROCEDURE P_THREE AS BEGIN END^
CREATE PROCEDURE P_TWO AS BEGIN END^
SET TERM ; ^
GRANT SELECT, INSERT ON CUSTOMER TO FRED;
GRANT UPDATE ON ORDERS TO FRED;
GRANT EXECUTE ON PROCEDURE P_ONE TO FRED;
GRANT SELECT, UPDATE ON CUSTOMER TO CLERK;
GRANT EXECUTE ON PROCEDURE P_TWO TO CLERK;
GRANT DELETE ON CUSTOMER TO AUDITOR;
GRANT SELECT ON "Odd Table" TO "mixed User";
)";

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void editMenuEnabling_data();
    void editMenuEnabling();
    void copyToOtherUsers_data();
    void copyToOtherUsers();
    void copyToOtherRelations_data();
    void copyToOtherRelations();
    void cancelledCopyChangesNothing();
    void copyAllToOtherUsers();
    void copyAllDoesNothingByRelation();
    void addNewUserTypedInLowerCase();
    void copyToANewUser();
    void copyAllToANewUser();
    void cancelAndEmptyNamesChangeNothing();
    void rename_data();
    void rename();
    void renameToTheSameNameIsRefused();
    void removal();
    void removalLooksUpOnlyTheNamesItReached();
    void anotherGrantorsPrivilegeMoves();
    void relationDroppedMeanwhile();
    void privilegesGrantedByOthersAreReported_data();
    void privilegesGrantedByOthersAreReported();

private:
    void connect() { chooseAlias(QStringLiteral("COMMANDS"), testserver::password()); }
    [[nodiscard]] QStringList privilegesOf(const QString &user) const;
    // Every row of the catalogue outside the system's own grants.
    [[nodiscard]] QStringList catalogue() const;
    void expectSettled() const;

    driver::WindowFixture m_window;
};

void TestCommands::initTestCase()
{
    ui::Application::setTitle(QStringLiteral("Kelvane"));
    testserver::createLogin(QStringLiteral("BOSS"), QStringLiteral("boss"));
}

void TestCommands::init()
{
    // Every command changes the catalogue: each test starts from the schema.
    m_window.start(QStringLiteral("COMMANDS"), Schema);
}

void TestCommands::cleanup()
{
    m_window.stop();
}

QStringList TestCommands::privilegesOf(const QString &user) const
{
    return m_window.db->column(
        QStringLiteral("SELECT TRIM(RDB$RELATION_NAME) || ':' || RDB$PRIVILEGE "
                       "FROM RDB$USER_PRIVILEGES WHERE RDB$USER = '%1' AND "
                       "RDB$PRIVILEGE <> 'R' ORDER BY 1")
            .arg(user));
}

QStringList TestCommands::catalogue() const
{
    return m_window.db->column(QStringLiteral(
        "SELECT TRIM(RDB$USER) || ':' || TRIM(RDB$RELATION_NAME) || ':' || RDB$PRIVILEGE FROM "
        "RDB$USER_PRIVILEGES WHERE RDB$USER NOT IN ('SYSDBA', 'PUBLIC') ORDER BY 1"));
}

// Each list's rows as "NAME:KIND", sorted.
static QStringList listRows(const db::TDataSet &list, const QString &kindField)
{
    QStringList rows;
    for (int row = 0; row < list.recordCount(); ++row)
        rows << list.fields(0)->textAt(row) + QLatin1Char(':') +
                    list.fieldByName(kindField)->textAt(row);
    rows.sort();
    return rows;
}

// However a command ended, the lists follow their grids again and nothing is
// left switched on; both lists hold what reading them again would give, so
// that a list kept through a command stands for the catalogue.
void TestCommands::expectSettled() const
{
    TKelvaneForm *form = KelvaneForm;
    QVERIFY(!form->Scanning);
    QVERIFY(!form->MasterQuery.controlsDisabled());
    QVERIFY(!form->DetailQuery.controlsDisabled());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    const std::pair<db::TQuery *, const char *> lists[] = {{form->UserList, "RDB$USER_TYPE"},
                                                           {form->RelationList, "RDB$OBJECT_TYPE"}};
    for (const auto &[list, kind] : lists) {
        QStringList fresh =
            m_window.db->column(QStringLiteral("SELECT TRIM(N) || ':' || K FROM (%1) AS L (N, K)")
                                    .arg(list->sqlText()));
        fresh.sort();
        QCOMPARE(listRows(*list, QString::fromLatin1(kind)), fresh);
    }
}

void TestCommands::editMenuEnabling_data()
{
    QTest::addColumn<bool>("byUser");
    QTest::addColumn<bool>("onMaster");
    QTest::addColumn<QString>("disabled");
    // Nothing done yet: nothing to undo or redo.
    QTest::newRow("By User, users' grid") << true << true << "UndoItem RedoItem";
    QTest::newRow("By User, relations' grid")
        << true << false << "UndoItem RedoItem AllCopyItem RemoveItem RenameItem CopyNewAllItem";
    QTest::newRow("By Relation, users' grid") << false << false << "UndoItem RedoItem AllCopyItem";
    QTest::newRow("By Relation, relations' grid")
        << false << true << "UndoItem RedoItem AllCopyItem RemoveItem RenameItem CopyNewAllItem";
}

void TestCommands::editMenuEnabling()
{
    QFETCH(bool, byUser);
    QFETCH(bool, onMaster);
    QFETCH(QString, disabled);
    connect();
    TKelvaneForm *form = KelvaneForm;
    if (!byUser)
        form->ByTableRadio->click();
    ui::DBGrid *grid = onMaster ? form->MasterGrid : form->DetailGrid;
    if (!onMaster)
        driver::clickDetailCell(currentDetail(), 0);
    QStringList off;
    QCOMPARE(driver::openContextMenu(grid,
                                     [&off](QMenu *menu) {
                                         for (QAction *item : menu->actions()) {
                                             if (!item->isSeparator() && !item->isEnabled())
                                                 off << item->objectName();
                                         }
                                         menu->close();
                                     }),
             QStringLiteral("EditMenu"));
    QCOMPARE(off.join(QLatin1Char(' ')), disabled);
}

void TestCommands::copyToOtherUsers_data()
{
    QTest::addColumn<QString>("relation");
    QTest::addColumn<QStringList>("expected");
    // Only what differs is sent, target by target in the list's order.
    QTest::newRow("table, SELECT and INSERT")
        << "CUSTOMER"
        << QStringList{"GRANT SELECT ON CUSTOMER TO AUDITOR", "GRANT INSERT ON CUSTOMER TO AUDITOR",
                       "REVOKE DELETE ON CUSTOMER FROM AUDITOR",
                       "REVOKE UPDATE ON CUSTOMER FROM CLERK", "GRANT INSERT ON CUSTOMER TO CLERK"};
    QTest::newRow("stored procedure") << "P_ONE"
                                      << QStringList{"GRANT EXECUTE ON PROCEDURE P_ONE TO AUDITOR",
                                                     "GRANT EXECUTE ON PROCEDURE P_ONE TO CLERK"};
    QTest::newRow("nothing held anywhere: nothing sent") << "V_CUST" << QStringList();
}

void TestCommands::copyToOtherUsers()
{
    QFETCH(QString, relation);
    QFETCH(QStringList, expected);
    connect();
    select(QStringLiteral("FRED"), relation);
    const QString cells = cellsOf(relation);
    CopyAnswer answer({QStringLiteral("CLERK"), QStringLiteral("AUDITOR")});
    answerCopyDialog(&answer);
    // A copy that takes something away asks first; one that only adds does not.
    QString question;
    if (!expected.filter(QRegularExpression(QStringLiteral("^REVOKE"))).isEmpty())
        driver::answerConfirm(true, &question);
    SqlLog log;
    driver::chooseFromEditMenu("UserCopyItem", false);
    QVERIFY(testui::allAnswered());
    QCOMPARE(answer.label,
             QStringLiteral("Copy the privileges of FRED for %1 to users:").arg(relation));
    // Every other user, in the list's order.
    QCOMPARE(answer.offered.mid(0, 5),
             (QStringList{"AUDITOR", "CLERK", "PUBLIC", "SYSDBA", "mixed User"}));
    // Then the server's logins that hold nothing here yet, in name order.
    const QStringList idle = answer.offered.mid(5);
    QVERIFY2(idle.contains(QStringLiteral("BOSS")), qPrintable(idle.join(u',')));
    QVERIFY(!idle.contains(QStringLiteral("CLERK")) && !idle.contains(QStringLiteral("FRED")));
    QVERIFY(std::is_sorted(idle.begin(), idle.end(), db::isNameBelow));
    QVERIFY(!answer.okEnabledAtFirst);
    // The list's order, not the order of clicking.
    QCOMPARE(statements(log), expected);
    QVERIFY(driver::refreshedAfterStatements(log));
    expectSettled();
    QCOMPARE(currentMaster(), QStringLiteral("FRED"));
    QCOMPARE(currentDetail(), relation);
    // Both targets now hold on the relation exactly what FRED holds.
    for (const char *target : {"CLERK", "AUDITOR"}) {
        KelvaneForm->LocateRecord(KelvaneForm->MasterQuery, 0, QLatin1String(target), false);
        QCOMPARE(cellsOf(relation), cells);
    }
}

void TestCommands::copyToOtherRelations_data()
{
    QTest::addColumn<QString>("relation");
    QTest::addColumn<QStringList>("offered");
    QTest::addColumn<QStringList>("pick");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("from a table") << "CUSTOMER" << QStringList{"ORDERS", "Odd Table", "V_CUST"}
                                  << QStringList{"Odd Table", "ORDERS"}
                                  << QStringList{"GRANT SELECT ON ORDERS TO FRED",
                                                 "REVOKE UPDATE ON ORDERS FROM FRED",
                                                 "GRANT INSERT ON ORDERS TO FRED",
                                                 "GRANT SELECT ON \"Odd Table\" TO FRED",
                                                 "GRANT INSERT ON \"Odd Table\" TO FRED"};
    // Every other procedure, privileges recorded or not.
    QTest::newRow("from a procedure")
        << "P_ONE" << QStringList{"P_THREE", "P_TWO"} << QStringList{"P_THREE"}
        << QStringList{"GRANT EXECUTE ON PROCEDURE P_THREE TO FRED"};
}

void TestCommands::copyToOtherRelations()
{
    QFETCH(QString, relation);
    QFETCH(QStringList, offered);
    QFETCH(QStringList, pick);
    QFETCH(QStringList, expected);
    connect();
    select(QStringLiteral("FRED"), relation);
    CopyAnswer answer(pick);
    answerCopyDialog(&answer);
    QString question;
    if (!expected.filter(QRegularExpression(QStringLiteral("^REVOKE"))).isEmpty())
        driver::answerConfirm(true, &question);
    SqlLog log;
    driver::chooseFromEditMenu("TableCopyItem", false);
    QVERIFY(testui::allAnswered());
    QCOMPARE(answer.label,
             QStringLiteral("Copy the privileges of FRED for %1 to relations:").arg(relation));
    // The system's relations are offered too; no procedure is.
    for (const QString &name : offered)
        QVERIFY2(answer.offered.contains(name), qPrintable(name));
    QVERIFY(!answer.offered.contains(relation));
    QVERIFY(answer.offered.contains(QStringLiteral("P_TWO")) ==
            relation.startsWith(QLatin1String("P_")));
    QCOMPARE(statements(log), expected);
    expectSettled();
    QCOMPARE(currentDetail(), relation);
    QVERIFY(KelvaneForm->CurrentIsProcedure == relation.startsWith(QLatin1String("P_")));
    for (const QString &target : pick) {
        KelvaneForm->LocateRecord(KelvaneForm->DetailQuery, 0, target, false);
        QCOMPARE(cellsOf(target), cellsOf(relation));
    }
}

void TestCommands::cancelledCopyChangesNothing()
{
    connect();
    select(QStringLiteral("FRED"), QStringLiteral("CUSTOMER"));
    const QStringList before = catalogue();
    CopyAnswer answer({QStringLiteral("CLERK")}, false);
    answerCopyDialog(&answer);
    SqlLog log;
    driver::chooseFromEditMenu("UserCopyItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(statements(log), QStringList());
    QCOMPARE(catalogue(), before);
    QCOMPARE(currentMaster(), QStringLiteral("FRED"));
    QCOMPARE(currentDetail(), QStringLiteral("CUSTOMER"));
    expectSettled();
}

void TestCommands::copyAllToOtherUsers()
{
    connect();
    select(QStringLiteral("FRED"), QStringLiteral("ORDERS"));
    CopyAnswer answer({QStringLiteral("CLERK")});
    answerCopyDialog(&answer);
    QString question;
    driver::answerConfirm(true, &question);
    SqlLog log;
    driver::chooseFromEditMenu("AllCopyItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(answer.label, QStringLiteral("Copy ALL the privileges of FRED to users:"));
    QCOMPARE(question, QStringLiteral("Confirm:The copy takes from its targets:\nCLERK: UPDATE on "
                                      "CUSTOMER granted by SYSDBA\nCLERK: EXECUTE on procedure "
                                      "P_TWO granted by SYSDBA\n\nGo on?"));
    // Object by object in the list's order, only where the two differ.
    QCOMPARE(
        statements(log),
        (QStringList{"REVOKE UPDATE ON CUSTOMER FROM CLERK", "GRANT INSERT ON CUSTOMER TO CLERK",
                     "GRANT UPDATE ON ORDERS TO CLERK", "GRANT EXECUTE ON PROCEDURE P_ONE TO CLERK",
                     "REVOKE EXECUTE ON PROCEDURE P_TWO FROM CLERK"}));
    QCOMPARE(privilegesOf(QStringLiteral("CLERK")), privilegesOf(QStringLiteral("FRED")));
    QCOMPARE(currentMaster(), QStringLiteral("FRED"));
    QCOMPARE(currentDetail(), QStringLiteral("ORDERS"));
    expectSettled();
}

void TestCommands::copyAllDoesNothingByRelation()
{
    connect();
    KelvaneForm->ByTableRadio->click();
    select(QStringLiteral("FRED"), QStringLiteral("CUSTOMER"));
    SqlLog log;
    KelvaneForm->AllCopyItemClick(KelvaneForm->AllCopyItem);
    QVERIFY(log.lines().isEmpty());
    QVERIFY(!CopyForm->isVisible());
}

void TestCommands::addNewUserTypedInLowerCase()
{
    connect();
    select(QStringLiteral("FRED"), QStringLiteral("CUSTOMER"));
    InputAnswer answer(QStringLiteral("dora"));
    answerInput(&answer);
    SqlLog log;
    driver::chooseFromEditMenu("AddNewItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(answer.caption, QStringLiteral("Add New User"));
    QCOMPARE(answer.prompt, QStringLiteral("User Name"));
    QCOMPARE(statements(log), QStringList{"GRANT SELECT ON CUSTOMER TO DORA"});
    QCOMPARE(currentMaster(), QStringLiteral("DORA"));
    QCOMPARE(cellsOf(QStringLiteral("CUSTOMER")), QStringLiteral("S...."));
    expectSettled();

    // On a procedure the new user gets EXECUTE; a name that needs quoting
    // keeps its blank.
    select(QStringLiteral("FRED"), QStringLiteral("P_ONE"));
    answer = InputAnswer(QStringLiteral("ann lee"));
    answerInput(&answer);
    log.clear();
    driver::chooseFromEditMenu("AddNewItem", false);
    QVERIFY(testui::allAnswered());
    QCOMPARE(statements(log), QStringList{"GRANT EXECUTE ON PROCEDURE P_ONE TO \"ann lee\""});
    QCOMPARE(currentMaster(), QStringLiteral("ann lee"));
    QCOMPARE(privilegesOf(QStringLiteral("ann lee")), QStringList{"P_ONE:X"});
}

void TestCommands::copyToANewUser()
{
    connect();
    select(QStringLiteral("FRED"), QStringLiteral("CUSTOMER"));
    InputAnswer answer(QStringLiteral("fred2"));
    answerInput(&answer);
    SqlLog log;
    driver::chooseFromEditMenu("CopyNewItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(answer.caption, QStringLiteral("Copy These Privileges To New User"));
    QCOMPARE(answer.prompt, QStringLiteral("New User Name"));
    // The typed name as typed: the server makes it FRED2.
    QCOMPARE(statements(log), (QStringList{"GRANT SELECT ON CUSTOMER TO fred2",
                                           "GRANT INSERT ON CUSTOMER TO fred2"}));
    QCOMPARE(privilegesOf(QStringLiteral("FRED2")), (QStringList{"CUSTOMER:I", "CUSTOMER:S"}));
    // The users' list is read again and stands on the new user, whose
    // privileges the grid shows: the next toggle acts on what is shown.
    QCOMPARE(currentMaster(), QStringLiteral("FRED2"));
    QCOMPARE(currentDetail(), QStringLiteral("CUSTOMER"));
    QCOMPARE(cellsOf(QStringLiteral("CUSTOMER")), QStringLiteral("S.I.."));
    expectSettled();
    log.clear();
    driver::typeInto(KelvaneForm->MasterGrid, Qt::Key_I, Qt::ControlModifier);
    QCOMPARE(statements(log), QStringList{"REVOKE INSERT ON CUSTOMER FROM FRED2"});
}

void TestCommands::copyAllToANewUser()
{
    for (bool byUser : {true, false}) {
        connect();
        if (!byUser)
            KelvaneForm->ByTableRadio->click();
        const QString name = byUser ? QStringLiteral("NEW1") : QStringLiteral("NEW2");
        select(QStringLiteral("FRED"), QStringLiteral("ORDERS"));
        InputAnswer answer(name);
        answerInput(&answer);
        SqlLog log;
        driver::chooseFromEditMenu("CopyNewAllItem");
        QVERIFY(testui::allAnswered());
        QCOMPARE(answer.caption, QStringLiteral("Copy ALL Privileges To New User"));
        QCOMPARE(statements(log), (QStringList{"GRANT SELECT ON CUSTOMER TO " + name,
                                               "GRANT INSERT ON CUSTOMER TO " + name,
                                               "GRANT UPDATE ON ORDERS TO " + name,
                                               "GRANT EXECUTE ON PROCEDURE P_ONE TO " + name}));
        QVERIFY(driver::refreshedAfterStatements(log));
        QCOMPARE(privilegesOf(name), privilegesOf(QStringLiteral("FRED")));
        expectSettled();
    }
}

void TestCommands::cancelAndEmptyNamesChangeNothing()
{
    connect();
    select(QStringLiteral("FRED"), QStringLiteral("CUSTOMER"));
    const QStringList before = catalogue();
    for (const char *item : {"AddNewItem", "CopyNewItem", "CopyNewAllItem", "RenameItem"}) {
        for (bool ok : {false, true}) {
            InputAnswer answer(ok ? QString() : QStringLiteral("SOMEONE"), ok);
            answerInput(&answer);
            SqlLog log;
            driver::chooseFromEditMenu(item);
            QVERIFY(testui::allAnswered());
            QCOMPARE(statements(log), QStringList());
            expectSettled();
        }
    }
    // Blanks alone name nobody: refused with a message before anything runs.
    InputAnswer blanks(QStringLiteral("   "));
    answerInput(&blanks);
    QString message;
    driver::answerMessage(&message);
    SqlLog log;
    driver::chooseFromEditMenu("AddNewItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(message, QStringLiteral("A user name cannot be blank."));
    QCOMPARE(statements(log), QStringList());

    QString question;
    answerConfirm(false, &question);
    driver::chooseFromEditMenu("RemoveItem");
    QVERIFY(testui::allAnswered());
    // It names whom it removes, by kind as well: one name may be two grantees.
    QCOMPARE(question, QStringLiteral("Confirm:Remove ALL privileges for this user?\n\nThis "
                                      "removes the privileges of user FRED."));
    QCOMPARE(statements(log), QStringList());
    // No still re-reads the master list, which stands on its first row.
    QCOMPARE(KelvaneForm->MasterQuery.recNo(), 0);
    QCOMPARE(catalogue(), before);
}

void TestCommands::rename_data()
{
    QTest::addColumn<bool>("byUser");
    QTest::newRow("By User") << true;
    QTest::newRow("By Relation") << false;
}

void TestCommands::rename()
{
    QFETCH(bool, byUser);
    // FRED's only privileges are on CUSTOMER, ORDERS and P_ONE, so that in
    // the By Relation view he leaves the users' list before the walk ends.
    connect();
    if (!byUser)
        KelvaneForm->ByTableRadio->click();
    select(QStringLiteral("FRED"), QStringLiteral("CUSTOMER"));
    const QStringList clerkBefore = privilegesOf(QStringLiteral("CLERK"));
    const QStringList fredBefore = privilegesOf(QStringLiteral("FRED"));
    InputAnswer answer(QStringLiteral("Fred Smith"));
    answerInput(&answer);
    SqlLog log;
    driver::chooseFromEditMenu("RenameItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(answer.caption, QStringLiteral("Rename User"));
    QCOMPARE(answer.prompt, QStringLiteral("New Name For FRED"));
    QCOMPARE(statements(log), (QStringList{"GRANT SELECT ON CUSTOMER TO \"Fred Smith\"",
                                           "GRANT INSERT ON CUSTOMER TO \"Fred Smith\"",
                                           "REVOKE ALL ON CUSTOMER FROM FRED",
                                           "GRANT UPDATE ON ORDERS TO \"Fred Smith\"",
                                           "REVOKE ALL ON ORDERS FROM FRED",
                                           "GRANT EXECUTE ON PROCEDURE P_ONE TO \"Fred Smith\"",
                                           "REVOKE EXECUTE ON PROCEDURE P_ONE FROM FRED"}));
    QVERIFY(driver::refreshedAfterStatements(log));
    QCOMPARE(privilegesOf(QStringLiteral("FRED")), QStringList());
    QCOMPARE(privilegesOf(QStringLiteral("Fred Smith")), fredBefore);
    QCOMPARE(privilegesOf(QStringLiteral("CLERK")), clerkBefore);
    expectSettled();
}

void TestCommands::renameToTheSameNameIsRefused()
{
    connect();
    select(QStringLiteral("FRED"), QStringLiteral("CUSTOMER"));
    const QStringList before = catalogue();
    InputAnswer answer(QStringLiteral("fred")); // the server reads it as FRED
    answerInput(&answer);
    QString message;
    driver::answerMessage(&message);
    SqlLog log;
    driver::chooseFromEditMenu("RenameItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(message,
             QStringLiteral("fred is already the name of this user: nothing was renamed."));
    QCOMPARE(statements(log), QStringList());
    QCOMPARE(catalogue(), before);
    expectSettled();
}

void TestCommands::removal()
{
    for (bool byUser : {true, false}) {
        connect();
        if (!byUser)
            KelvaneForm->ByTableRadio->click();
        const QString user = byUser ? QStringLiteral("FRED") : QStringLiteral("CLERK");
        select(user, QStringLiteral("ORDERS"));
        const QStringList relations =
            driver::namesOf(byUser ? KelvaneForm->DetailGrid : KelvaneForm->MasterGrid);
        QString question;
        answerConfirm(true, &question);
        SqlLog log;
        driver::chooseFromEditMenu("RemoveItem");
        QVERIFY(testui::allAnswered());
        // One statement removes every row of the user, of every kind.
        QCOMPARE(statements(log), QStringList{"REVOKE ALL ON ALL FROM " + user});
        QVERIFY(!relations.isEmpty());
        QCOMPARE(privilegesOf(user), QStringList());
        QVERIFY(!driver::namesOf(byUser ? KelvaneForm->MasterGrid : KelvaneForm->DetailGrid)
                     .contains(user));
        QCOMPARE(KelvaneForm->MasterQuery.recNo(), 0);
        expectSettled();
    }
    QVERIFY(!privilegesOf(QStringLiteral("AUDITOR")).isEmpty());
}

void TestCommands::removalLooksUpOnlyTheNamesItReached()
{
    // Names with the packing's colon and letters beyond ASCII, a table held
    // by the removed user alone (its owner's rows taken before the grant,
    // which they would take along) and one held by others too.
    m_window.db->run(QStringLiteral("CREATE TABLE \"Zoë:s\" (ID INTEGER);\n"
                                    "REVOKE ALL ON \"Zoë:s\" FROM SYSDBA;\n"
                                    "GRANT SELECT ON \"Zoë:s\" TO \"Jürg:1\";\n"
                                    "GRANT SELECT ON CUSTOMER TO \"Jürg:1\";"));
    connect();
    const QString user = QStringLiteral("Jürg:1");
    select(user, QStringLiteral("CUSTOMER"));
    // Every row whole, of every grantee: only the removed user's go.
    const auto everyRow = [this] {
        return m_window.db->column(QStringLiteral(
            "SELECT TRIM(RDB$USER) || ':' || RDB$USER_TYPE || ':' || TRIM(RDB$RELATION_NAME) || "
            "':' || RDB$OBJECT_TYPE || ':' || RDB$PRIVILEGE || ':' || "
            "COALESCE(TRIM(RDB$FIELD_NAME), '') || ':' || COALESCE(RDB$GRANT_OPTION, 0) || ':' "
            "|| TRIM(RDB$GRANTOR) FROM RDB$USER_PRIVILEGES ORDER BY 1"));
    };
    QStringList rowsLeft = everyRow();
    QCOMPARE(rowsLeft.removeIf([&](const QString &row) { return row.startsWith(user + ':'); }), 2);
    const QStringList usersBefore = driver::namesOf(KelvaneForm->MasterGrid);
    const QStringList relationsBefore = driver::namesOf(KelvaneForm->DetailGrid);
    QString question;
    answerConfirm(true, &question);
    SqlLog log;
    driver::chooseFromEditMenu("RemoveItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(statements(log), QStringList{"REVOKE ALL ON ALL FROM \"Jürg:1\""});
    QCOMPARE(everyRow(), rowsLeft);
    QStringList users = usersBefore;
    QVERIFY(users.removeOne(user));
    QStringList relations = relationsBefore;
    QVERIFY(relations.removeOne(QStringLiteral("Zoë:s")));
    QCOMPARE(driver::namesOf(KelvaneForm->MasterGrid), users);
    QCOMPARE(driver::namesOf(KelvaneForm->DetailGrid), relations);
    // Neither list was read whole again.
    for (const QString &open : log.linesOf(QStringLiteral("open")))
        QVERIFY2(!open.contains(QLatin1String("DISTINCT")) &&
                     !open.contains(QLatin1String("UNION SELECT")),
                 qPrintable(open));
    expectSettled();
}

void TestCommands::anotherGrantorsPrivilegeMoves()
{
    // BOSS granted EVE's UPDATE on ORDERS: SYSDBA moves it in BOSS's name.
    m_window.db->run(QStringLiteral("GRANT SELECT ON CUSTOMER TO EVE;\n"
                                    "GRANT UPDATE ON ORDERS TO EVE GRANTED BY BOSS;"));
    connect();
    select(QStringLiteral("EVE"), QStringLiteral("CUSTOMER"));
    InputAnswer answer(QStringLiteral("EVA"));
    answerInput(&answer);
    SqlLog log;
    driver::chooseFromEditMenu("RenameItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(statements(log),
             (QStringList{"GRANT SELECT ON CUSTOMER TO EVA", "REVOKE ALL ON CUSTOMER FROM EVE",
                          "GRANT UPDATE ON ORDERS TO EVA GRANTED BY BOSS",
                          "REVOKE ALL ON ORDERS FROM EVE GRANTED BY BOSS"}));
    QCOMPARE(privilegesOf(QStringLiteral("EVA")), (QStringList{"CUSTOMER:S", "ORDERS:U"}));
    QCOMPARE(privilegesOf(QStringLiteral("EVE")), QStringList());
    QCOMPARE(
        m_window.db->column(QStringLiteral("SELECT RDB$GRANTOR FROM RDB$USER_PRIVILEGES WHERE "
                                           "RDB$USER = 'EVA' AND RDB$RELATION_NAME = 'ORDERS'")),
        QStringList{"BOSS"});
    expectSettled();
}

void TestCommands::relationDroppedMeanwhile()
{
    // Someone else drops a relation after the lists were read: the command
    // works from the catalogue as it is when it runs, and sends nothing for it.
    connect();
    select(QStringLiteral("FRED"), QStringLiteral("CUSTOMER"));
    m_window.db->run(QStringLiteral("DROP TABLE ORDERS;"));
    CopyAnswer answer({QStringLiteral("CLERK")});
    answerCopyDialog(&answer);
    QString question;
    answerConfirm(true, &question);
    SqlLog log;
    driver::chooseFromEditMenu("AllCopyItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(statements(log), (QStringList{"REVOKE UPDATE ON CUSTOMER FROM CLERK",
                                           "GRANT INSERT ON CUSTOMER TO CLERK",
                                           "GRANT EXECUTE ON PROCEDURE P_ONE TO CLERK",
                                           "REVOKE EXECUTE ON PROCEDURE P_TWO FROM CLERK"}));
    QCOMPARE(privilegesOf(QStringLiteral("CLERK")), privilegesOf(QStringLiteral("FRED")));
    expectSettled();
}

void TestCommands::privilegesGrantedByOthersAreReported_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("message");
    const QString left = QStringLiteral(
        "\nSELECT on CUSTOMER granted by SYSDBA\nINSERT on CUSTOMER granted by SYSDBA\nUPDATE on "
        "ORDERS granted by SYSDBA\nEXECUTE on procedure P_ONE granted by SYSDBA");
    QTest::newRow("removal") << "RemoveItem" << QStringList{"REVOKE ALL ON ALL FROM FRED"}
                             << "FRED still holds privileges that only their grantors can "
                                "revoke:" +
                                    left;
    // Only BOSS's own grant moves; SELECT is revoked alone, since REVOKE ALL
    // would fail on the INSERT that SYSDBA granted.
    QTest::newRow("rename")
        << "RenameItem"
        << QStringList{"GRANT SELECT ON CUSTOMER TO FREDDY", "REVOKE SELECT ON CUSTOMER FROM FRED"}
        << "FRED still holds privileges that only their grantors can move, which were not "
           "carried to FREDDY:" +
               left;
}

void TestCommands::privilegesGrantedByOthersAreReported()
{
    // BOSS, who may not write GRANTED BY, works on FRED, who holds SELECT on
    // CUSTOMER from SYSDBA and from BOSS: only BOSS's grant is BOSS's to move.
    QFETCH(QString, command);
    QFETCH(QStringList, expected);
    QFETCH(QString, message);
    m_window.db->run(QStringLiteral("GRANT SELECT ON CUSTOMER TO BOSS WITH GRANT OPTION;"));
    m_window.db->run(QStringLiteral("GRANT SELECT ON CUSTOMER TO FRED;"), QStringLiteral("BOSS"),
                     QStringLiteral("boss"));
    chooseAlias(QStringLiteral("COMMANDS"), QStringLiteral("boss"), {}, QStringLiteral("BOSS"));
    select(QStringLiteral("FRED"), QStringLiteral("CUSTOMER"));
    const QStringList before = privilegesOf(QStringLiteral("FRED"));
    QString question;
    InputAnswer rename(QStringLiteral("FREDDY"));
    if (command == QLatin1String("RemoveItem"))
        answerConfirm(true, &question);
    else
        answerInput(&rename);
    QString shown;
    driver::answerMessage(&shown);
    SqlLog log;
    driver::chooseFromEditMenu(qPrintable(command));
    QVERIFY(testui::allAnswered());
    QCOMPARE(statements(log), expected);
    QCOMPARE(shown, message + QLatin1Char('.'));
    // What is left is told from the command's own last read, in its
    // transaction: nothing of FRED's is read after the commit.
    const QStringList lines = log.lines();
    const qsizetype committed = lines.indexOf(QStringLiteral("commit"));
    QVERIFY(committed > 0);
    for (const QString &line : lines.mid(committed))
        QVERIFY2(!line.contains(QLatin1String("= :Grantee")), qPrintable(line));
    // SYSDBA's four rows stay; BOSS's SELECT went, or moved to FREDDY.
    QCOMPARE(m_window.db->column(QStringLiteral("SELECT RDB$GRANTOR FROM RDB$USER_PRIVILEGES WHERE "
                                                "RDB$USER = 'FRED' GROUP BY 1")),
             QStringList{"SYSDBA"});
    QCOMPARE(privilegesOf(QStringLiteral("FRED")).size(), before.size() - 1);
    QCOMPARE(privilegesOf(QStringLiteral("FREDDY")),
             command == QLatin1String("RenameItem") ? QStringList{"CUSTOMER:S"} : QStringList());
    expectSettled();
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
