// Granting and revoking through the real main window against the private
// server: the statements as sent, the catalogue afterwards, the privilege
// popup menu, the Ctrl shortcuts and refused statements.
#include "MainWindowDriver.h"
#include "TestServer.h"
#include "app/Forms.h"
#include "app/PrivEdit.h"
#include "ui/Application.h"
#include "ui/DBGrid.h"
#include "ui/Navigator.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QRadioButton>
#include <QTest>
#include <memory>

using driver::cellsOf;
using driver::chooseAlias;
using driver::currentDetail;
using driver::currentMaster;
using driver::select;
using testserver::AliasFile;

namespace {

const char *const Schema = R"(
CREATE TABLE CUSTOMER (ID INTEGER, NAME VARCHAR(20));
CREATE TABLE ORDERS (ID INTEGER);
CREATE VIEW V_CUST AS SELECT ID, NAME FROM CUSTOMER;
SET TERM ^ ;
CREATE PROCEDURE P_ONE AS BEGIN END^
SET TERM ; ^
CREATE TABLE "ORDER" (ID INTEGER);
CREATE TABLE "ACCOUNTS TO PUBLIC --" (ID INTEGER);
CREATE TABLE "mixed Case" (ID INTEGER);
GRANT SELECT ON CUSTOMER TO FRED;
GRANT EXECUTE ON PROCEDURE P_ONE TO FRED;
GRANT SELECT ON ORDERS TO CAROL;
GRANT SELECT ON ORDERS TO "fred";
GRANT SELECT ON ORDERS TO "Anna Lee";
GRANT SELECT ON ORDERS TO BOSS WITH GRANT OPTION;
GRANT SELECT ON "ORDER" TO DORA;
GRANT SELECT ON "ACCOUNTS TO PUBLIC --" TO DORA;
GRANT SELECT ON "mixed Case" TO DORA;
)";

// Counts the presses of keys other than modifiers that reach a control past
// the window's own look.
class KeyCounter : public QObject
{
public:
    using QObject::QObject;
    int presses = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key != Qt::Key_Control && key != Qt::Key_Shift && key != Qt::Key_Alt)
                ++presses;
        }
        return false;
    }
};

QStringList executed(const SqlLog &log)
{
    return driver::statements(log);
}

bool refreshed(const SqlLog &log)
{
    return driver::refreshedAfterStatements(log);
}

} // namespace

class TestEditing : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void doubleClickTogglesEditableCells_data();
    void doubleClickTogglesEditableCells();
    void privilegeMenuFollowsTheColumn();
    void privilegeMenuFromTheKeyboard();
    void noMenuWhileDisconnected();
    void grantAndRevokeAll_data();
    void grantAndRevokeAll();
    void shortcutsWorkFromEveryControl();
    void shortcutsTakeTheColumnFromTheKey();
    void shortcutsNeedCtrlAlone();
    void refusedGrantIsReportedAndRefreshed();
    void cellFromTwoGrantorsIsOnePrivilege();
    void namesThatNeedQuoting_data();
    void namesThatNeedQuoting();

private:
    void connect(const QString &user = QStringLiteral("SYSDBA"),
                 const QString &password = testserver::password())
    {
        chooseAlias(QStringLiteral("EDIT"), password, {}, user);
    }
    [[nodiscard]] QStringList holders(const QString &relation, const QString &letter) const;

    std::unique_ptr<testserver::TestDatabase> m_db;
    std::unique_ptr<AliasFile> m_aliases;
    std::unique_ptr<Forms> m_forms;
};

void TestEditing::initTestCase()
{
    ui::Application::setTitle(QStringLiteral("Kelvane"));
    testserver::createLogin(QStringLiteral("BOSS"), QStringLiteral("boss"));
    testserver::createLogin(QStringLiteral("CLERK"), QStringLiteral("clerk"));
    m_db = std::make_unique<testserver::TestDatabase>(QStringLiteral("editing"));
    m_db->run(QString::fromLatin1(Schema));
    m_db->run(QStringLiteral("GRANT SELECT ON ORDERS TO EVE;"), QStringLiteral("BOSS"),
              QStringLiteral("boss"));
    m_aliases = std::make_unique<AliasFile>(QList<AliasFile::Alias>{
        {QStringLiteral("EDIT"), QStringLiteral("INTRBASE"), m_db->connectionString()}});
}

void TestEditing::init()
{
    m_forms = std::make_unique<Forms>();
    KelvaneForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(KelvaneForm));
}

void TestEditing::cleanup()
{
    m_forms.reset();
    driver::expectNothingLeftOpen();
}

QStringList TestEditing::holders(const QString &relation, const QString &letter) const
{
    return m_db->holders(relation, letter);
}

void TestEditing::doubleClickTogglesEditableCells_data()
{
    QTest::addColumn<bool>("byUser");
    QTest::addColumn<QString>("relation");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QStringList>("statements"); // of the first and the second double-click

    const QStringList none;
    QTest::newRow("table SELECT, held")
        << true << "CUSTOMER" << 1 << "S...."
        << QStringList{"REVOKE SELECT ON CUSTOMER FROM FRED", "GRANT SELECT ON CUSTOMER TO FRED"};
    QTest::newRow("view UPDATE") << true << "V_CUST" << 2 << "....."
                                 << QStringList{"GRANT UPDATE ON V_CUST TO FRED",
                                                "REVOKE UPDATE ON V_CUST FROM FRED"};
    QTest::newRow("procedure EXECUTE, held")
        << true << "P_ONE" << 5 << "....X"
        << QStringList{"REVOKE EXECUTE ON PROCEDURE P_ONE FROM FRED",
                       "GRANT EXECUTE ON PROCEDURE P_ONE TO FRED"};
    QTest::newRow("table EXECUTE is not editable") << true << "CUSTOMER" << 5 << "S...." << none;
    QTest::newRow("procedure SELECT is not editable") << true << "P_ONE" << 1 << "....X" << none;
    QTest::newRow("name column") << true << "CUSTOMER" << 0 << "S...." << none;
    QTest::newRow("By Relation, table DELETE")
        << false << "ORDERS" << 4 << "....."
        << QStringList{"GRANT DELETE ON ORDERS TO FRED", "REVOKE DELETE ON ORDERS FROM FRED"};
    QTest::newRow("By Relation, procedure EXECUTE")
        << false << "P_ONE" << 5 << "....X"
        << QStringList{"REVOKE EXECUTE ON PROCEDURE P_ONE FROM FRED",
                       "GRANT EXECUTE ON PROCEDURE P_ONE TO FRED"};
}

void TestEditing::doubleClickTogglesEditableCells()
{
    QFETCH(bool, byUser);
    QFETCH(QString, relation);
    QFETCH(int, column);
    QFETCH(QString, before);
    QFETCH(QStringList, statements);
    connect();
    TKelvaneForm *form = KelvaneForm;
    if (!byUser)
        form->ByTableRadio->click();
    const QString user = QStringLiteral("FRED");
    select(user, relation);
    const QString detailName = byUser ? relation : user;
    QCOMPARE(cellsOf(detailName), before);
    const int detailRow = form->DetailQuery.recNo();
    const QString letter = QString(QLatin1String("SUIDX").at(std::max(column, 1) - 1));
    const bool heldBefore = holders(relation, letter).contains(user);

    for (int click = 0; click < 2; ++click) {
        SqlLog log;
        driver::doubleClickDetailCell(detailName, column);
        QCOMPARE(form->DetailGrid->selectedIndex(), column);
        if (statements.isEmpty()) {
            QVERIFY(log.lines().isEmpty());
            QCOMPARE(cellsOf(detailName), before);
            continue;
        }
        QCOMPARE(executed(log), QStringList{statements[click]});
        QVERIFY(refreshed(log));
        QCOMPARE(form->DetailQuery.recNo(), detailRow);
        const bool held = holders(relation, letter).contains(user);
        QCOMPARE(held, click == 0 ? !heldBefore : heldBefore);
        QCOMPARE(cellsOf(detailName).at(column - 1) != QLatin1Char('.'), held);
    }
    QCOMPARE(form->ChangeQuery.sql().size(), statements.isEmpty() ? 0 : 1);
}

void TestEditing::privilegeMenuFollowsTheColumn()
{
    connect();
    TKelvaneForm *form = KelvaneForm;
    select(QStringLiteral("FRED"), QStringLiteral("CUSTOMER"));
    ui::DBGrid *grid = form->DetailGrid;
    struct Item
    {
        QString caption;
        bool checked = false;
        bool enabled = false;
    };
    const auto readItem = [](Item *item) {
        return [item](QMenu *menu) {
            const QAction *action = menu->actions().constFirst();
            *item = {action->text(), action->isChecked(), action->isEnabled()};
            menu->close();
        };
    };
    const auto close = [](QMenu *menu) { menu->close(); };

    driver::clickDetailCell(QStringLiteral("CUSTOMER"), 0);
    QCOMPARE(grid->popupMenu(), form->EditMenu);
    QCOMPARE(driver::openContextMenu(grid, close), QStringLiteral("EditMenu"));

    Item item;
    driver::clickDetailCell(QStringLiteral("CUSTOMER"), 1);
    QCOMPARE(grid->popupMenu(), form->PrivilegeMenu);
    QCOMPARE(driver::openContextMenu(grid, readItem(&item)), QStringLiteral("PrivilegeMenu"));
    QCOMPARE(item.caption, QStringLiteral("SELECT"));
    QVERIFY(item.checked);
    QVERIFY(item.enabled);

    driver::clickDetailCell(QStringLiteral("CUSTOMER"), 5);
    QCOMPARE(driver::openContextMenu(grid, readItem(&item)), QStringLiteral("PrivilegeMenu"));
    QCOMPARE(item.caption, QStringLiteral("EXECUTE"));
    QVERIFY(!item.checked);
    QVERIFY(!item.enabled);

    // Choosing the item toggles as a double-click does.
    driver::clickDetailCell(QStringLiteral("CUSTOMER"), 4);
    SqlLog log;
    QCOMPARE(driver::openContextMenu(
                 grid, [](QMenu *menu) { driver::chooseItem(menu, "PrivilegeItem"); }),
             QStringLiteral("PrivilegeMenu"));
    QCOMPARE(executed(log), QStringList{"GRANT DELETE ON CUSTOMER TO FRED"});
    QCOMPARE(cellsOf(QStringLiteral("CUSTOMER")), QStringLiteral("S..D."));

    select(QStringLiteral("FRED"), QStringLiteral("P_ONE"));
    driver::clickDetailCell(QStringLiteral("P_ONE"), 5);
    QCOMPARE(driver::openContextMenu(grid, readItem(&item)), QStringLiteral("PrivilegeMenu"));
    QCOMPARE(item.caption, QStringLiteral("EXECUTE"));
    QVERIFY(item.checked);
    QVERIFY(item.enabled);
    driver::clickDetailCell(QStringLiteral("P_ONE"), 1);
    QCOMPARE(driver::openContextMenu(grid, readItem(&item)), QStringLiteral("PrivilegeMenu"));
    QCOMPARE(item.caption, QStringLiteral("SELECT"));
    QVERIFY(!item.enabled);

    // The master grid always offers the edit menu.
    QCOMPARE(driver::openContextMenu(form->MasterGrid, close), QStringLiteral("EditMenu"));
    m_db->run(QStringLiteral("REVOKE DELETE ON CUSTOMER FROM FRED;"));
}

void TestEditing::privilegeMenuFromTheKeyboard()
{
    connect();
    TKelvaneForm *form = KelvaneForm;
    select(QStringLiteral("CAROL"), QStringLiteral("ORDERS"));
    driver::clickDetailCell(QStringLiteral("ORDERS"), 3);
    SqlLog log;
    QString opened;
    driver::whenPopup([&](QMenu *menu) {
        opened = menu->objectName();
        // A menu opened from the keyboard has no active item until an arrow key.
        QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    // What the windowing system makes of the context-menu key.
    form->DetailGrid->setFocus();
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(), QCursor::pos());
    QApplication::sendEvent(form->DetailGrid->viewport(), &menuKey);
    QVERIFY(driver::allPopupsAnswered());
    QCOMPARE(opened, QStringLiteral("PrivilegeMenu"));
    QCOMPARE(executed(log), QStringList{"GRANT INSERT ON ORDERS TO CAROL"});
    QCOMPARE(holders(QStringLiteral("ORDERS"), QStringLiteral("I")), QStringList{"CAROL"});
    m_db->run(QStringLiteral("REVOKE INSERT ON ORDERS FROM CAROL;"));
}

void TestEditing::noMenuWhileDisconnected()
{
    TKelvaneForm *form = KelvaneForm;
    for (ui::DBGrid *grid : {form->MasterGrid, form->DetailGrid}) {
        QCOMPARE(driver::openContextMenu(
                     grid, [](QMenu *menu) { menu->close(); }, QPoint(20, 10)),
                 QString());
    }
    form->DetailGrid->setSelectedIndex(2);
    form->DetailGrid->setPopupMenu(form->PrivilegeMenu);
    QCOMPARE(driver::openContextMenu(
                 form->DetailGrid, [](QMenu *menu) { menu->close(); }, QPoint(40, 10)),
             QString());
    // Neither the double-click nor a shortcut does anything without a connection.
    SqlLog log;
    QTest::mouseDClick(form->DetailGrid->viewport(), Qt::LeftButton, {}, QPoint(40, 10));
    driver::typeInto(form->DetailGrid, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(log.lines().isEmpty());
}

void TestEditing::grantAndRevokeAll_data()
{
    QTest::addColumn<QString>("relation");
    QTest::addColumn<QString>("grant");
    QTest::addColumn<QString>("granted");
    QTest::addColumn<QString>("revoke");
    QTest::newRow("table") << "ORDERS"
                           << "GRANT ALL ON ORDERS TO FRED"
                           << "SUID."
                           << "REVOKE ALL ON ORDERS FROM FRED";
    QTest::newRow("procedure") << "P_ONE"
                               << "GRANT EXECUTE ON PROCEDURE P_ONE TO FRED"
                               << "....X"
                               << "REVOKE EXECUTE ON PROCEDURE P_ONE FROM FRED";
}

void TestEditing::grantAndRevokeAll()
{
    QFETCH(QString, relation);
    QFETCH(QString, grant);
    QFETCH(QString, granted);
    QFETCH(QString, revoke);
    connect();
    TKelvaneForm *form = KelvaneForm;
    select(QStringLiteral("FRED"), relation);
    driver::clickDetailCell(relation, 0);
    const auto choose = [](const char *item) {
        return [item](QMenu *menu) { driver::chooseItem(menu, item); };
    };

    SqlLog log;
    QCOMPARE(driver::openContextMenu(form->DetailGrid, choose("GrantAllItem")),
             QStringLiteral("EditMenu"));
    QCOMPARE(executed(log), QStringList{grant});
    QCOMPARE(cellsOf(relation), granted);
    QVERIFY(holders(relation, granted.remove(QLatin1Char('.')).left(1))
                .contains(QStringLiteral("FRED")));
    log.clear();
    QCOMPARE(driver::openContextMenu(form->DetailGrid, choose("RevokeAllItem")),
             QStringLiteral("EditMenu"));
    QCOMPARE(executed(log), QStringList{revoke});
    QCOMPARE(cellsOf(relation), QStringLiteral("....."));
    QCOMPARE(currentDetail(), relation);
    // Put back what the schema granted.
    if (relation == QLatin1String("P_ONE"))
        m_db->run(QStringLiteral("GRANT EXECUTE ON PROCEDURE P_ONE TO FRED;"));
}

void TestEditing::shortcutsWorkFromEveryControl()
{
    connect();
    TKelvaneForm *form = KelvaneForm;
    select(QStringLiteral("FRED"), QStringLiteral("ORDERS"));
    const QList<QWidget *> controls{form->DBCombo,        form->ByUserRadio, form->ByTableRadio,
                                    form->MasterGrid,     form->DetailGrid,  form->MasterNavigator,
                                    form->DetailNavigator};
    for (QWidget *control : controls) {
        KeyCounter counter;
        control->installEventFilter(&counter);
        control->setFocus();
        SqlLog log;
        QTest::keyClick(control, Qt::Key_U, Qt::ControlModifier);
        QTest::keyClick(control, 'u', Qt::ControlModifier); // either case
        QCOMPARE(executed(log), (QStringList{"GRANT UPDATE ON ORDERS TO FRED",
                                             "REVOKE UPDATE ON ORDERS FROM FRED"}));
        QVERIFY2(counter.presses == 0, qPrintable(control->objectName()));
        control->removeEventFilter(&counter);
        // The shortcut changed nothing else: same alias, same view, same rows.
        QCOMPARE(form->DBCombo->currentText(), QStringLiteral("EDIT"));
        QVERIFY(form->ByUserRadio->isChecked());
        QCOMPARE(currentMaster(), QStringLiteral("FRED"));
        QCOMPARE(currentDetail(), QStringLiteral("ORDERS"));
    }
}

void TestEditing::shortcutsTakeTheColumnFromTheKey()
{
    connect();
    TKelvaneForm *form = KelvaneForm;
    select(QStringLiteral("FRED"), QStringLiteral("V_CUST"));
    SqlLog log;
    for (Qt::Key key : {Qt::Key_S, Qt::Key_I, Qt::Key_D, Qt::Key_S, Qt::Key_I, Qt::Key_D})
        driver::typeInto(form->MasterGrid, key, Qt::ControlModifier);
    QCOMPARE(
        executed(log),
        (QStringList{"GRANT SELECT ON V_CUST TO FRED", "GRANT INSERT ON V_CUST TO FRED",
                     "GRANT DELETE ON V_CUST TO FRED", "REVOKE SELECT ON V_CUST FROM FRED",
                     "REVOKE INSERT ON V_CUST FROM FRED", "REVOKE DELETE ON V_CUST FROM FRED"}));

    // Ctrl+X on a table asks for EXECUTE, which the server refuses.
    log.clear();
    QString message;
    QString title;
    driver::answerMessage(&message, &title);
    driver::typeInto(form->DetailGrid, Qt::Key_X, Qt::ControlModifier);
    QVERIFY(testui::allAnswered());
    QCOMPARE(executed(log), QStringList{"GRANT EXECUTE ON V_CUST TO FRED"});
    // The first line names the relation, the second gives the server's reason.
    QCOMPARE(message.section(u'\n', 0, 0), QStringLiteral("V_CUST is read-only."));
    QVERIFY2(message.section(u'\n', 1).contains(QLatin1String("Token unknown")),
             qPrintable(message));
    QCOMPARE(title, QStringLiteral("Error"));
    QVERIFY(refreshed(log));

    // On a procedure every letter whose cell is empty grants EXECUTE.
    select(QStringLiteral("CAROL"), QStringLiteral("P_ONE"));
    log.clear();
    driver::typeInto(form->DetailGrid, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(executed(log), QStringList{"GRANT EXECUTE ON PROCEDURE P_ONE TO CAROL"});
    QCOMPARE(cellsOf(QStringLiteral("P_ONE")), QStringLiteral("....X"));
    log.clear();
    driver::typeInto(form->DetailGrid, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(executed(log), QStringList{"REVOKE EXECUTE ON PROCEDURE P_ONE FROM CAROL"});
    QCOMPARE(cellsOf(QStringLiteral("P_ONE")), QStringLiteral("....."));

    // Ctrl+G and Ctrl+R grant and revoke everything.
    select(QStringLiteral("CAROL"), QStringLiteral("CUSTOMER"));
    log.clear();
    driver::typeInto(form->DetailGrid, Qt::Key_G, Qt::ControlModifier);
    QCOMPARE(cellsOf(QStringLiteral("CUSTOMER")), QStringLiteral("SUID."));
    driver::typeInto(form->DetailGrid, Qt::Key_R, Qt::ControlModifier);
    QCOMPARE(executed(log),
             (QStringList{"GRANT ALL ON CUSTOMER TO CAROL", "REVOKE ALL ON CUSTOMER FROM CAROL"}));
    QCOMPARE(cellsOf(QStringLiteral("CUSTOMER")), QStringLiteral("....."));
}

void TestEditing::shortcutsNeedCtrlAlone()
{
    connect();
    TKelvaneForm *form = KelvaneForm;
    select(QStringLiteral("FRED"), QStringLiteral("ORDERS"));
    SqlLog log;
    // Ctrl+Shift and a letter is the grant option's shortcut.
    for (Qt::KeyboardModifiers modifiers :
         {Qt::KeyboardModifiers(Qt::AltModifier),
          Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier)}) {
        driver::typeInto(form->MasterGrid, Qt::Key_S, modifiers);
    }
    for (Qt::Key key : {Qt::Key_1, Qt::Key_F5, Qt::Key_A, Qt::Key_Q})
        driver::typeInto(form->MasterGrid, key, Qt::ControlModifier);
    QCOMPARE(executed(log), QStringList());
    QCOMPARE(currentMaster(), QStringLiteral("FRED"));

    // A plain letter goes on to the grid's type-ahead.
    driver::typeInto(form->MasterGrid, Qt::Key_C);
    QCOMPARE(currentMaster(), QStringLiteral("CAROL"));
    QCOMPARE(executed(log), QStringList());
}

void TestEditing::refusedGrantIsReportedAndRefreshed()
{
    connect(QStringLiteral("CLERK"), QStringLiteral("clerk"));
    TKelvaneForm *form = KelvaneForm;
    for (bool byUser : {true, false}) {
        if (!byUser)
            form->ByTableRadio->click();
        select(QStringLiteral("FRED"), QStringLiteral("CUSTOMER"));
        SqlLog log;
        QString message;
        driver::answerMessage(&message);
        driver::doubleClickDetailCell(byUser ? QStringLiteral("CUSTOMER") : QStringLiteral("FRED"),
                                      3);
        QVERIFY(testui::allAnswered());
        QCOMPARE(message.section(u'\n', 0, 0), QStringLiteral("CUSTOMER is read-only."));
        QVERIFY2(message.section(u'\n', 1).contains(
                     QLatin1String("no INSERT privilege with grant option on table/view CUSTOMER")),
                 qPrintable(message));
        QCOMPARE(executed(log), QStringList{"GRANT INSERT ON CUSTOMER TO FRED"});
        QVERIFY(refreshed(log));
        QCOMPARE(holders(QStringLiteral("CUSTOMER"), QStringLiteral("I")), QStringList());
    }
}

void TestEditing::cellFromTwoGrantorsIsOnePrivilege()
{
    // EVE holds SELECT on ORDERS from BOSS and from SYSDBA: one cell.
    m_db->run(QStringLiteral("GRANT SELECT ON ORDERS TO EVE;"));
    const auto eveRows = [this] {
        return m_db->column(QStringLiteral("SELECT RDB$GRANTOR FROM RDB$USER_PRIVILEGES WHERE "
                                           "RDB$USER = 'EVE' ORDER BY RDB$GRANTOR"));
    };
    QCOMPARE(eveRows(), (QStringList{"BOSS", "SYSDBA"}));

    // BOSS may not name grantors: its own row goes, and the end message
    // says who still gives the privilege, which the cell still shows.
    connect(QStringLiteral("BOSS"), QStringLiteral("boss"));
    select(QStringLiteral("EVE"), QStringLiteral("ORDERS"));
    QString message;
    driver::answerMessage(&message);
    SqlLog log;
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(testui::allAnswered());
    QCOMPARE(executed(log), QStringList{"REVOKE SELECT ON ORDERS FROM EVE"});
    QCOMPARE(message, QStringLiteral("Not everything was done:\nSELECT on ORDERS granted by "
                                     "SYSDBA is still held by EVE."));
    QCOMPARE(eveRows(), QStringList{"SYSDBA"});
    QCOMPARE(cellsOf(QStringLiteral("ORDERS")), QStringLiteral("S...."));

    // SYSDBA names each grantor: Ctrl+R takes both rows, in one command.
    m_db->run(QStringLiteral("GRANT SELECT ON ORDERS TO EVE;"), QStringLiteral("BOSS"),
              QStringLiteral("boss"));
    connect();
    select(QStringLiteral("EVE"), QStringLiteral("ORDERS"));
    log.clear();
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_R, Qt::ControlModifier);
    QStringList sent = executed(log);
    sent.sort();
    QCOMPARE(sent, (QStringList{"REVOKE ALL ON ORDERS FROM EVE",
                                "REVOKE ALL ON ORDERS FROM EVE GRANTED BY BOSS"}));
    QVERIFY(refreshed(log));
    QCOMPARE(eveRows(), QStringList());
    QCOMPARE(currentMaster(), QStringLiteral("EVE"));
    QCOMPARE(cellsOf(QStringLiteral("ORDERS")), QStringLiteral("....."));
}

void TestEditing::namesThatNeedQuoting_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("relation");
    QTest::addColumn<QString>("grant");
    QTest::addColumn<QString>("revoke");
    QTest::newRow("relation that reads as more SQL")
        << "DORA"
        << "ACCOUNTS TO PUBLIC --"
        << "GRANT UPDATE ON \"ACCOUNTS TO PUBLIC --\" TO DORA"
        << "REVOKE UPDATE ON \"ACCOUNTS TO PUBLIC --\" FROM DORA";
    QTest::newRow("reserved word") << "DORA"
                                   << "ORDER"
                                   << "GRANT UPDATE ON \"ORDER\" TO DORA"
                                   << "REVOKE UPDATE ON \"ORDER\" FROM DORA";
    QTest::newRow("lower and mixed case") << "DORA"
                                          << "mixed Case"
                                          << "GRANT UPDATE ON \"mixed Case\" TO DORA"
                                          << "REVOKE UPDATE ON \"mixed Case\" FROM DORA";
    QTest::newRow("user in lower case") << "fred"
                                        << "ORDERS"
                                        << "GRANT UPDATE ON ORDERS TO \"fred\""
                                        << "REVOKE UPDATE ON ORDERS FROM \"fred\"";
    QTest::newRow("user with a blank") << "Anna Lee"
                                       << "ORDERS"
                                       << "GRANT UPDATE ON ORDERS TO \"Anna Lee\""
                                       << "REVOKE UPDATE ON ORDERS FROM \"Anna Lee\"";
}

void TestEditing::namesThatNeedQuoting()
{
    QFETCH(QString, user);
    QFETCH(QString, relation);
    QFETCH(QString, grant);
    QFETCH(QString, revoke);
    connect();
    select(user, relation);
    const QStringList othersBefore = m_db->column(
        QStringLiteral("SELECT RDB$USER || ':' || RDB$RELATION_NAME || ':' || RDB$PRIVILEGE FROM "
                       "RDB$USER_PRIVILEGES WHERE RDB$PRIVILEGE = 'U' ORDER BY 1"));
    QVERIFY(!holders(relation, QStringLiteral("U")).contains(user));

    SqlLog log;
    driver::typeInto(KelvaneForm->MasterGrid, Qt::Key_U, Qt::ControlModifier);
    QCOMPARE(executed(log), QStringList{grant});
    // Exactly the named user on exactly the named relation, and no one else.
    QCOMPARE(holders(relation, QStringLiteral("U")), QStringList{user});
    const QStringList othersAfter = m_db->column(
        QStringLiteral("SELECT RDB$USER || ':' || RDB$RELATION_NAME || ':' || RDB$PRIVILEGE FROM "
                       "RDB$USER_PRIVILEGES WHERE RDB$PRIVILEGE = 'U' AND NOT (RDB$USER = '%1' "
                       "AND RDB$RELATION_NAME = '%2') ORDER BY 1")
            .arg(user, relation));
    QCOMPARE(othersAfter, othersBefore);

    log.clear();
    driver::typeInto(KelvaneForm->MasterGrid, Qt::Key_U, Qt::ControlModifier);
    QCOMPARE(executed(log), QStringList{revoke});
    QCOMPARE(holders(relation, QStringLiteral("U")), QStringList());
}

QTEST_MAIN(TestEditing)
#include "tst_editing.moc"
