// Connecting, the two view modes, the privilege grid and the type-ahead
// search, driven through the real main window against the private server.
#include "MainWindowDriver.h"
#include "TestServer.h"
#include "app/Forms.h"
#include "app/PrivEdit.h"
#include "db/DdlPrivileges.h"
#include "db/Exception.h"
#include "dialogs/DBLogin.h"
#include "ui/Application.h"
#include "ui/DBGrid.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <memory>

using driver::cellsOf;
using driver::chooseAlias;
using driver::currentDetail;
using driver::currentMaster;
using driver::namesOf;
using driver::typeInto;
using testserver::AliasFile;

namespace {

const char *const Schema = R"(
CREATE TABLE CUSTOMER (ID INTEGER, NAME VARCHAR(20));
CREATE TABLE ORDERS (ID INTEGER, TOTAL INTEGER);
CREATE TABLE "Customer" (ID INTEGER);
CREATE VIEW V_CUST AS SELECT ID FROM CUSTOMER;
SET TERM ^ ;
CREATE PROCEDURE P_ONE AS BEGIN END^
CREATE PROCEDURE P_TWO AS BEGIN END^
SET TERM ; ^
GRANT SELECT, UPDATE ON CUSTOMER TO FRED;
GRANT UPDATE (ID) ON ORDERS TO FRED;
GRANT UPDATE (TOTAL) ON ORDERS TO FRED;
GRANT REFERENCES ON ORDERS TO FRED;
GRANT EXECUTE ON PROCEDURE P_ONE TO FRED;
GRANT SELECT ON "Customer" TO "fred";
GRANT INSERT ON CUSTOMER TO "ADMIN";
GRANT DELETE ON ORDERS TO BOB;
GRANT SELECT ON V_CUST TO CAROL;
GRANT EXECUTE ON PROCEDURE P_TWO TO CAROL;
CREATE SEQUENCE SEQ_ONE;
CREATE DOMAIN D_ONE AS INTEGER;
CREATE ROLE CLERKS;
GRANT USAGE ON SEQUENCE SEQ_ONE TO GUSTAV;
GRANT CLERKS TO GUSTAV;
)";

// Enough relations that a search passing each of them is plain to see.
const char *const ManyRelations = R"(
SET TERM ^ ;
EXECUTE BLOCK AS
DECLARE i INTEGER = 0;
DECLARE t VARCHAR(10);
BEGIN
  WHILE (i < 300) DO BEGIN
    t = 'T' || LPAD(i, 3, '0');
    EXECUTE STATEMENT 'CREATE TABLE ' || t || ' (ID INTEGER)';
    i = i + 1;
  END
END^
EXECUTE BLOCK AS
DECLARE i INTEGER = 0;
BEGIN
  WHILE (i < 300) DO BEGIN
    EXECUTE STATEMENT 'GRANT SELECT ON T' || LPAD(i, 3, '0') || ' TO U' || LPAD(MOD(i, 40), 2, '0');
    i = i + 1;
  END
END^
SET TERM ; ^
)";

} // namespace

class TestBrowse : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void connectingFillsBothLists();
    void connectStatementsInOrder();
    void filtersAndTheSystemSwitchNarrowTheLists();
    void heldOnlyFollowsTheMasterRow();
    void listsHoldEveryKindAGrantCanName();
    void switchingViewsReloadsTheDetailOnce_data();
    void switchingViewsReloadsTheDetailOnce();
    void closedPrivilegeRowsAreNeverReadFromTheIndex();
    void cancelledLoginLeavesDisconnected();
    void refusedLoginIsShownAndLeavesDisconnected();
    void choosingTheSameAliasAgainLogsInAgain();
    void calculatedCells();
    void movingTheMasterKeepsTheDetailRow();
    void switchingViewsKeepsTheSelection();
    void storedProceduresAreRecognisedInBothViews();
    void typeAheadInTheMasterList_data();
    void typeAheadInTheMasterList();
    void typeAheadIgnoresAltAndCtrlAndGathersNoLetters();
    void typeAheadInTheDetailList();
    void scanningSilencesReloadsAndCalculation();
    void refreshShowsTheServersNewState();
    void gridUpdatingResumesAfterAFailure();
    void locateRecordReopens();

private:
    void connect() { chooseAlias(QStringLiteral("BROWSE"), testserver::password()); }

    std::unique_ptr<testserver::TestDatabase> m_db;
    std::unique_ptr<testserver::TestDatabase> m_many;
    std::unique_ptr<AliasFile> m_aliases;
    std::unique_ptr<Forms> m_forms;
};

void TestBrowse::initTestCase()
{
    ui::Application::setTitle(QStringLiteral("Kelvane"));
    m_db = std::make_unique<testserver::TestDatabase>(QStringLiteral("browse"));
    m_db->run(QString::fromLatin1(Schema));
    m_many = std::make_unique<testserver::TestDatabase>(QStringLiteral("many"));
    m_many->run(QString::fromLatin1(ManyRelations));
    m_aliases = std::make_unique<AliasFile>(QList<AliasFile::Alias>{
        {QStringLiteral("BROWSE"), QStringLiteral("INTRBASE"), m_db->connectionString()},
        {QStringLiteral("SECOND"), QStringLiteral("INTRBASE"), m_db->connectionString()},
        {QStringLiteral("MANY"), QStringLiteral("INTRBASE"), m_many->connectionString()}});
}

void TestBrowse::init()
{
    m_forms = std::make_unique<Forms>();
    KelvaneForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(KelvaneForm));
}

void TestBrowse::cleanup()
{
    m_forms.reset();
    driver::expectNothingLeftOpen();
}

void TestBrowse::connectingFillsBothLists()
{
    bool sawAlias = false;
    bool okDisabledAtFirst = false;
    QString userName;
    testui::whenModal([&](QWidget *modal) {
        auto *login = qobject_cast<TLoginForm *>(modal);
        sawAlias = login->DatabaseEdit->text() == QLatin1String("BROWSE");
        okDisabledAtFirst = !login->OKButton->isEnabled() && login->PasswordEdit->text().isEmpty();
        userName = login->UserNameEdit->text();
        QTest::keyClicks(login->PasswordEdit, testserver::password());
        QTest::keyClick(login->PasswordEdit, Qt::Key_Return);
    });
    KelvaneForm->DBCombo->setFocus();
    QTest::keyClick(KelvaneForm->DBCombo, Qt::Key_Down); // a closed list chooses by arrow keys
    QVERIFY(testui::allAnswered());
    QVERIFY(sawAlias);
    QVERIFY(okDisabledAtFirst);
    QCOMPARE(userName, QStringLiteral("SYSDBA"));

    TKelvaneForm *form = KelvaneForm;
    QVERIFY(form->Database.connected());
    QCOMPARE(form->Database.params(),
             (QStringList{"USERNAME=SYSDBA", "PASSWORD=" + testserver::password()}));
    QCOMPARE(form->DBCombo->currentText(), QStringLiteral("BROWSE"));
    QVERIFY(form->Procedures.active());
    QVERIFY(form->ViewsQuery.active());
    QCOMPARE(form->UserList, &form->MasterQuery);
    QCOMPARE(form->RelationList, &form->DetailQuery);
    QCOMPARE(form->MasterLabel->text(), QStringLiteral("Users"));
    QCOMPARE(form->DetailLabel->text(), QStringLiteral("Relations"));
    // Byte order, as the server sorts DISTINCT rows: upper case before lower.
    QCOMPARE(namesOf(KelvaneForm->MasterGrid),
             (QStringList{"ADMIN", "BOB", "CAROL", "FRED", "GUSTAV", "PUBLIC", "SYSDBA", "fred"}));
    QCOMPARE(form->MasterQuery.recNo(), 0);
    QCOMPARE(form->DetailQuery.recNo(), 0);
    QVERIFY(form->DetailGrid->dataModel().rowCount() > 50); // the system's relations too
    QCOMPARE(cellsOf(QStringLiteral("CUSTOMER")), QStringLiteral("..I.."));
}

void TestBrowse::filtersAndTheSystemSwitchNarrowTheLists()
{
    connect();
    TKelvaneForm *form = KelvaneForm;
    // The cell columns have their headings.
    QVERIFY(form->DetailGrid->horizontalHeader()->isVisible());
    QStringList headings;
    for (int column = 1; column <= 5; ++column)
        headings << form->DetailGrid->dataModel()
                        .headerData(column, Qt::Horizontal, Qt::DisplayRole)
                        .toString();
    QCOMPARE(headings, (QStringList{"S", "U", "I", "D", "X"}));
    QCOMPARE(form->DetailFilter->placeholderText(), QStringLiteral("Filter relations"));

    driver::select(QStringLiteral("FRED"), QStringLiteral("ORDERS"));
    QTest::keyClicks(form->DetailFilter, QStringLiteral("cust"));
    // Whatever the case, names that contain the text; the cells still
    // those of FRED.
    QCOMPARE(namesOf(form->DetailGrid), (QStringList{"CUSTOMER", "Customer", "V_CUST"}));
    QCOMPARE(currentDetail(), QStringLiteral("CUSTOMER"));
    QCOMPARE(cellsOf(QStringLiteral("CUSTOMER")), QStringLiteral("SU..."));
    // Type-ahead goes on within what shows; Ctrl+F and Down go between a
    // list and its filter.
    form->DetailFilter->setFocus();
    QTest::keyClick(form->DetailFilter, Qt::Key_Down);
    QCOMPARE(QApplication::focusWidget(), form->DetailGrid);
    QTest::keyClick(form->DetailGrid, Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(QApplication::focusWidget(), form->DetailFilter);
    QCOMPARE(form->DetailFilter->selectedText(), QStringLiteral("cust"));
    typeInto(form->DetailGrid, Qt::Key_V);
    QCOMPARE(currentDetail(), QStringLiteral("V_CUST"));
    // A row chosen while filtered stays when the filter is cleared.
    form->DetailFilter->clear();
    QVERIFY(namesOf(form->DetailGrid).contains(QStringLiteral("ORDERS")));
    QCOMPARE(currentDetail(), QStringLiteral("V_CUST"));
    // Cleared without choosing, the list goes back to where it stood.
    QTest::keyClicks(form->DetailFilter, QStringLiteral("rders"));
    QCOMPARE(namesOf(form->DetailGrid), QStringList{"ORDERS"});
    QTest::keyClicks(form->DetailFilter, QStringLiteral("x"));
    QCOMPARE(namesOf(form->DetailGrid), QStringList());
    form->DetailFilter->clear();
    QCOMPARE(currentDetail(), QStringLiteral("V_CUST"));

    // The users' filter narrows the master; with no user shown no command
    // has a pair to act on.
    QTest::keyClicks(form->MasterFilter, QStringLiteral("zz"));
    QCOMPARE(namesOf(form->MasterGrid), QStringList());
    SqlLog log;
    typeInto(form->DetailGrid, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(driver::statements(log), QStringList());
    form->MasterFilter->clear();
    QCOMPARE(currentMaster(), QStringLiteral("FRED"));
    QCOMPARE(cellsOf(QStringLiteral("CUSTOMER")), QStringLiteral("SU..."));
    // Each filter goes with its list when the view turns round.
    QTest::keyClicks(form->MasterFilter, QStringLiteral("fr"));
    form->ByTableRadio->click();
    QCOMPARE(form->DetailFilter->text(), QStringLiteral("fr"));
    QCOMPARE(namesOf(form->DetailGrid), (QStringList{"FRED", "fred"}));
    QCOMPARE(form->MasterFilter->placeholderText(), QStringLiteral("Filter relations"));
    form->DetailFilter->clear();
    form->ByUserRadio->click();

    // The system's objects hide at the switch, and stay hidden next time.
    const auto systemNames = [form] {
        return namesOf(form->RelationList == &form->MasterQuery ? form->MasterGrid
                                                                : form->DetailGrid)
            .filter(QRegularExpression(QStringLiteral("^(RDB|MON|SEC|SQL)\\$")));
    };
    QVERIFY(systemNames().size() > 20);
    QVERIFY(form->SystemCheck->isChecked());
    form->SystemCheck->click();
    QCOMPARE(systemNames(), QStringList());
    QVERIFY(namesOf(form->DetailGrid).contains(QStringLiteral("CUSTOMER")));
    form->ByTableRadio->click();
    QCOMPARE(systemNames(), QStringList());
    form->ByUserRadio->click();
    m_forms.reset();
    m_forms = std::make_unique<Forms>();
    KelvaneForm->show();
    QVERIFY(!KelvaneForm->SystemCheck->isChecked());
    KelvaneForm->SystemCheck->click();
    QVERIFY(KelvaneForm->SystemCheck->isChecked());
}

void TestBrowse::heldOnlyFollowsTheMasterRow()
{
    connect();
    TKelvaneForm *form = KelvaneForm;
    driver::select(QStringLiteral("FRED"), QStringLiteral("ORDERS"));
    QVERIFY(!form->HeldCheck->isChecked());
    // The mnemonic clicks as a button does, a moment after the key.
    QTest::keyClick(form->DetailGrid, Qt::Key_H, Qt::AltModifier);
    QTRY_VERIFY(form->HeldCheck->isChecked());
    // REFERENCES alone would mark nothing; ORDERS shows for its UPDATE rows.
    QCOMPARE(namesOf(form->DetailGrid), (QStringList{"CUSTOMER", "ORDERS", "P_ONE"}));
    QCOMPARE(currentDetail(), QStringLiteral("ORDERS"));
    // Each move shows what the new row holds, and works with the filter.
    form->MasterQuery.last();
    QCOMPARE(currentMaster(), QStringLiteral("fred"));
    QCOMPARE(namesOf(form->DetailGrid), QStringList{"Customer"});
    QCOMPARE(cellsOf(QStringLiteral("Customer")), QStringLiteral("S...."));
    driver::select(QStringLiteral("CAROL"), QStringLiteral("V_CUST"));
    QCOMPARE(namesOf(form->DetailGrid), (QStringList{"P_TWO", "V_CUST"}));
    QTest::keyClicks(form->DetailFilter, QStringLiteral("v_"));
    QCOMPARE(namesOf(form->DetailGrid), QStringList{"V_CUST"});
    form->DetailFilter->clear();
    // Turned round: the grantees that hold something on the relation; the
    // relations' list, now the master, shows every relation.
    form->ByTableRadio->click();
    QVERIFY(namesOf(form->MasterGrid).contains(QStringLiteral("T000")) ||
            namesOf(form->MasterGrid).contains(QStringLiteral("CUSTOMER")));
    driver::select(QStringLiteral("BOB"), QStringLiteral("ORDERS"));
    QVERIFY(!namesOf(form->DetailGrid).contains(QStringLiteral("CAROL")));
    QVERIFY(namesOf(form->DetailGrid).contains(QStringLiteral("BOB")));
    QVERIFY(namesOf(form->DetailGrid).contains(QStringLiteral("FRED")));
    form->ByUserRadio->click();
    // Remembered for the next window; off again, every relation shows.
    m_forms.reset();
    m_forms = std::make_unique<Forms>();
    KelvaneForm->show();
    connect();
    form = KelvaneForm;
    QVERIFY(form->HeldCheck->isChecked());
    form->HeldCheck->click();
    QVERIFY(namesOf(form->DetailGrid).contains(QStringLiteral("V_CUST")));
    QVERIFY(namesOf(form->DetailGrid).contains(QStringLiteral("ORDERS")));
}

void TestBrowse::connectStatementsInOrder()
{
    SqlLog log;
    connect();
    // DDL privileges are rows of the relations' list, named for their
    // statements, and their holders grantees.
    const QString ddlRow = db::isDdlRowSql();
    const QString users =
        QStringLiteral("SELECT DISTINCT TRIM(TRAILING FROM RDB$USER) AS RDB$USER, "
                       "RDB$USER_TYPE\nFROM RDB$USER_PRIVILEGES\n"
                       "WHERE (RDB$OBJECT_TYPE IN (0, 5, 7, 13, 14, 15, 18) OR %1)\n"
                       "AND RDB$USER_TYPE IN (1, 2, 5, 8, 13, 15, 18)")
            .arg(ddlRow);
    const QString relations =
        QStringLiteral("SELECT TRIM(TRAILING FROM RDB$RELATION_NAME) AS RDB$RELATION_NAME, "
                       "RDB$OBJECT_TYPE\nFROM RDB$USER_PRIVILEGES\n"
                       "WHERE RDB$OBJECT_TYPE IN (0, 5, 7, 13, 14, 15, 18)\n"
                       "UNION SELECT TRIM(TRAILING FROM NAME), 99 FROM %1\nORDER BY 1, 2")
            .arg(db::everyDdlPrivilegeSql());
    // The names come trimmed, as long as they are.
    const QString privileges =
        QStringLiteral("SELECT TRIM(TRAILING FROM %1) AS RDB$RELATION_NAME, RDB$PRIVILEGE, %2 AS "
                       "RDB$OBJECT_TYPE, RDB$USER_TYPE, TRIM(TRAILING FROM RDB$FIELD_NAME) AS "
                       "RDB$FIELD_NAME, RDB$GRANT_OPTION, TRIM(TRAILING FROM RDB$GRANTOR) AS "
                       "RDB$GRANTOR\nFROM RDB$USER_PRIVILEGES\nWHERE RDB$USER = :User AND "
                       "RDB$USER_TYPE = :UserType")
            .arg(db::listNameSql(), db::listKindSql());
    // One statement reads who the login is, the procedures, the views and
    // both lists, each by its own statement; then the master's privileges.
    const QString packed = db::packedReadSql(
        {db::packedSourceOf(KelvaneForm->LoginQuery),
         db::packedSourceOf(KelvaneForm->Procedures),
         db::packedSourceOf(KelvaneForm->ViewsQuery),
         {users, {QStringLiteral("RDB$USER"), QStringLiteral("RDB$USER_TYPE")}},
         {relations, {QStringLiteral("RDB$RELATION_NAME"), QStringLiteral("RDB$OBJECT_TYPE")}}});
    QCOMPARE(KelvaneForm->ConnectQuery.sqlText(), packed);
    QVERIFY(packed.contains(QStringLiteral(
        "SELECT RDB$PROCEDURE_NAME FROM RDB$PROCEDURES ORDER BY RDB$PROCEDURE_NAME")));
    QVERIFY(
        packed.contains(QStringLiteral("select distinct rdb$view_name\nfrom rdb$view_relations")));
    QCOMPARE(log.linesOf(QStringLiteral("prepare")), (QStringList{packed, privileges}));
    QCOMPARE(log.linesOf(QStringLiteral("open")),
             (QStringList{packed, privileges + QStringLiteral(" with ADMIN, 8")}));
    for (const QString &line : log.lines())
        QVERIFY2(!line.contains(testserver::password()), qPrintable(line));
}

void TestBrowse::listsHoldEveryKindAGrantCanName()
{
    connect();
    TKelvaneForm *form = KelvaneForm;
    // GUSTAV holds the usage of a sequence and a role's membership.
    QVERIFY(namesOf(KelvaneForm->MasterGrid).contains(QStringLiteral("GUSTAV")));
    QStringList relations;
    for (int row = 0; row < form->DetailQuery.recordCount(); ++row)
        relations << form->DetailQuery.fields(0)->textAt(row);
    for (const char *kept : {"CUSTOMER", "Customer", "V_CUST", "P_ONE", "SEQ_ONE", "CLERKS",
                             "RDB$RELATIONS", "MON$ATTACHMENTS", "SEC$USERS"})
        QVERIFY2(relations.contains(QLatin1String(kept)), kept);
    // The catalogue's own: domains, character sets, collations, the database.
    for (const char *gone : {"", "D_ONE", "UTF8", "ASCII", "UNICODE", "UNICODE_FSS"})
        QVERIFY2(!relations.contains(QLatin1String(gone)), gone);
    // No automatic column domain RDB$nnn either.
    const QRegularExpression columnDomain(QStringLiteral("^RDB\\$\\d+$"));
    QCOMPARE(relations.filter(columnDomain), QStringList());

    // Every DDL privilege, held or not, in byte order among the rest; no
    // empty name first.
    form->ByTableRadio->click();
    const QStringList masters = namesOf(KelvaneForm->MasterGrid);
    QCOMPARE(masters.first(), QStringLiteral("ALTER ANY CHARACTER SET"));
    QCOMPARE(masters.indexOf(QStringLiteral("CLERKS")),
             masters.indexOf(QStringLiteral("ALTER DATABASE")) + 1);
    QVERIFY(masters.contains(QStringLiteral("SEQ_ONE")));
    QCOMPARE(masters.filter(QRegularExpression(QStringLiteral("^(CREATE|ALTER|DROP) "))).size(),
             38);
}

void TestBrowse::switchingViewsReloadsTheDetailOnce_data()
{
    QTest::addColumn<bool>("toRelations");
    QTest::addColumn<bool>("detailOnLastRow");
    QTest::addColumn<int>("privilegeReads");
    // Only the privileges of the row found are read, not first those of the
    // master's first row.
    QTest::newRow("to By Relation, far down") << true << true << 1;
    QTest::newRow("to By User, far down") << false << true << 1;
    QTest::newRow("to By Relation, first row") << true << false << 1;
}

void TestBrowse::switchingViewsReloadsTheDetailOnce()
{
    QFETCH(bool, toRelations);
    QFETCH(bool, detailOnLastRow);
    QFETCH(int, privilegeReads);
    chooseAlias(QStringLiteral("MANY"), testserver::password());
    TKelvaneForm *form = KelvaneForm;
    if (!toRelations)
        form->ByTableRadio->click();
    // U19 holds SELECT on T299, the last relation; U39, the last user, on T279.
    form->LocateRecord(form->MasterQuery, 0,
                       toRelations ? QStringLiteral("U19") : QStringLiteral("T279"), false);
    if (detailOnLastRow)
        form->DetailQuery.last();
    const QString master = currentMaster();
    const QString detail = currentDetail();

    SqlLog log;
    (toRelations ? form->ByTableRadio : form->ByUserRadio)->click();
    QCOMPARE(currentMaster(), detail);
    QCOMPARE(currentDetail(), master);
    QCOMPARE(log.linesOf(QStringLiteral("open")).filter(QStringLiteral(", RDB$PRIVILEGE, ")).size(),
             privilegeReads);
    QVERIFY(log.lines().size() <= 12);
    QVERIFY(!form->Scanning);
    // The cells are those of the pair found, read in the detail list.
    QCOMPARE(cellsOf(currentDetail()),
             detailOnLastRow ? QStringLiteral("S....") : QStringLiteral("....."));
    QCOMPARE(form->MasterGrid->currentIndex().row(), form->MasterQuery.recNo());
    QCOMPARE(form->DetailGrid->currentIndex().row(), form->DetailQuery.recNo());
}

void TestBrowse::closedPrivilegeRowsAreNeverReadFromTheIndex()
{
    connect();
    TKelvaneForm *form = KelvaneForm;
    form->LocateRecord(form->MasterQuery, 0, QStringLiteral("FRED"), false);
    QCOMPARE(cellsOf(QStringLiteral("CUSTOMER")), QStringLiteral("SU..."));
    form->PrivQuery.close();
    form->DetailQuery.close();
    form->DetailQuery.open();
    QCOMPARE(cellsOf(QStringLiteral("CUSTOMER")), QStringLiteral("....."));
    QVERIFY(!form->DetailQuery.controlsDisabled());

    // Open again, the rows are indexed afresh.
    form->MasterQueryAfterScroll(nullptr);
    QCOMPARE(cellsOf(QStringLiteral("CUSTOMER")), QStringLiteral("SU..."));
}

void TestBrowse::cancelledLoginLeavesDisconnected()
{
    connect();
    chooseAlias(QStringLiteral("SECOND"), QString());
    QVERIFY(!KelvaneForm->Database.connected());
    QCOMPARE(KelvaneForm->DBCombo->currentIndex(), -1);
    QVERIFY(!KelvaneForm->MasterQuery.active());
    QVERIFY(!KelvaneForm->DetailQuery.active());
    QVERIFY(!KelvaneForm->PrivQuery.active());
    QVERIFY(!KelvaneForm->Procedures.active());
    QCOMPARE(KelvaneForm->MasterGrid->dataModel().rowCount(), 0);
    QCOMPARE(KelvaneForm->DetailGrid->dataModel().rowCount(), 0);

    // The user name typed last is offered again, the password never.
    chooseAlias(QStringLiteral("BROWSE"), testserver::password());
    QVERIFY(KelvaneForm->Database.connected());
}

void TestBrowse::refusedLoginIsShownAndLeavesDisconnected()
{
    connect();
    QString title;
    QString text;
    chooseAlias(QStringLiteral("SECOND"), QStringLiteral("wrong"), [&](QWidget *modal) {
        title = modal->windowTitle();
        text = qobject_cast<QMessageBox *>(modal)->text();
        qobject_cast<QMessageBox *>(modal)->accept();
    });
    QCOMPARE(title, QStringLiteral("Kelvane"));
    QVERIFY2(text.contains(QStringLiteral("user name and password are not defined")),
             qPrintable(text));
    QVERIFY(!KelvaneForm->Database.connected());
    QCOMPARE(KelvaneForm->DBCombo->currentIndex(), -1);
    QCOMPARE(KelvaneForm->MasterGrid->dataModel().rowCount(), 0);
    QCOMPARE(KelvaneForm->DetailGrid->dataModel().rowCount(), 0);
}

void TestBrowse::choosingTheSameAliasAgainLogsInAgain()
{
    connect();
    KelvaneForm->MasterQuery.moveBy(3);
    QCOMPARE(currentMaster(), QStringLiteral("FRED"));
    connect();
    QVERIFY(KelvaneForm->Database.connected());
    // A new connection finds the lists closed and starts on the first rows.
    QCOMPARE(currentMaster(), QStringLiteral("ADMIN"));
    QCOMPARE(KelvaneForm->DetailQuery.recNo(), 0);
}

void TestBrowse::calculatedCells()
{
    connect();
    KelvaneForm->MasterQuery.moveBy(3);
    QCOMPARE(currentMaster(), QStringLiteral("FRED"));
    QCOMPARE(cellsOf(QStringLiteral("CUSTOMER")), QStringLiteral("SU..."));
    // Two UPDATE rows (one per column) mark once; REFERENCES marks nothing.
    QCOMPARE(cellsOf(QStringLiteral("ORDERS")), QStringLiteral(".U..."));
    QCOMPARE(cellsOf(QStringLiteral("P_ONE")), QStringLiteral("....X"));
    // Granted to "fred", not to FRED: names match byte for byte.
    QCOMPARE(cellsOf(QStringLiteral("Customer")), QStringLiteral("....."));
    QCOMPARE(cellsOf(QStringLiteral("V_CUST")), QStringLiteral("....."));
    QCOMPARE(KelvaneForm->PrivQuery.paramText(0), QStringLiteral("FRED"));
    QVERIFY(KelvaneForm->PrivQuery.eof());

    KelvaneForm->MasterQuery.last();
    QCOMPARE(currentMaster(), QStringLiteral("fred"));
    QCOMPARE(cellsOf(QStringLiteral("Customer")), QStringLiteral("S...."));
    QCOMPARE(cellsOf(QStringLiteral("CUSTOMER")), QStringLiteral("....."));
}

void TestBrowse::movingTheMasterKeepsTheDetailRow()
{
    connect();
    TKelvaneForm *form = KelvaneForm;
    form->LocateRecord(form->DetailQuery, 0, QStringLiteral("ORDERS"), false);
    const int detailRow = form->DetailQuery.recNo();
    typeInto(form->MasterGrid, Qt::Key_Down);
    QCOMPARE(currentMaster(), QStringLiteral("BOB"));
    QCOMPARE(form->DetailQuery.recNo(), detailRow);
    QCOMPARE(currentDetail(), QStringLiteral("ORDERS"));
    QCOMPARE(form->DetailGrid->currentIndex().row(), detailRow);
    QCOMPARE(cellsOf(QStringLiteral("ORDERS")), QStringLiteral("...D."));
    QVERIFY(!form->DetailQuery.controlsDisabled());
}

void TestBrowse::switchingViewsKeepsTheSelection()
{
    connect();
    TKelvaneForm *form = KelvaneForm;
    form->LocateRecord(form->MasterQuery, 0, QStringLiteral("FRED"), false);
    form->LocateRecord(form->DetailQuery, 0, QStringLiteral("CUSTOMER"), false);

    form->ByTableRadio->click();
    QCOMPARE(form->MasterLabel->text(), QStringLiteral("Relations"));
    QCOMPARE(form->DetailLabel->text(), QStringLiteral("Users"));
    QCOMPARE(form->RelationList, &form->MasterQuery);
    QCOMPARE(form->UserList, &form->DetailQuery);
    QCOMPARE(currentMaster(), QStringLiteral("CUSTOMER"));
    QCOMPARE(currentDetail(), QStringLiteral("FRED"));
    QCOMPARE(form->DetailGrid->columns()[0].fieldName, QStringLiteral("RDB$USER"));
    QCOMPARE(form->PrivQuery.paramName(0), QStringLiteral("Table"));
    QCOMPARE(cellsOf(QStringLiteral("FRED")), QStringLiteral("SU..."));
    QCOMPARE(cellsOf(QStringLiteral("ADMIN")), QStringLiteral("..I.."));
    QCOMPARE(form->MasterGrid->currentIndex().row(), form->MasterQuery.recNo());

    form->ByUserRadio->click();
    QCOMPARE(form->MasterLabel->text(), QStringLiteral("Users"));
    QCOMPARE(currentMaster(), QStringLiteral("FRED"));
    QCOMPARE(currentDetail(), QStringLiteral("CUSTOMER"));
    QCOMPARE(form->DetailGrid->columns()[0].fieldName, QStringLiteral("RDB$RELATION_NAME"));
    QCOMPARE(form->PrivQuery.paramName(0), QStringLiteral("User"));
    QCOMPARE(cellsOf(QStringLiteral("CUSTOMER")), QStringLiteral("SU..."));

    // Clicking the button already checked changes nothing.
    SqlLog log;
    form->ByUserRadio->click();
    QVERIFY(log.lines().isEmpty());
}

void TestBrowse::storedProceduresAreRecognisedInBothViews()
{
    connect();
    TKelvaneForm *form = KelvaneForm;
    form->LocateRecord(form->DetailQuery, 0, QStringLiteral("P_ONE"), false);
    QVERIFY(form->CurrentIsProcedure);
    typeInto(form->DetailGrid, Qt::Key_Down); // P_TWO
    QCOMPARE(currentDetail(), QStringLiteral("P_TWO"));
    QVERIFY(form->CurrentIsProcedure);
    form->LocateRecord(form->DetailQuery, 0, QStringLiteral("ORDERS"), false);
    QVERIFY(!form->CurrentIsProcedure);

    form->ByTableRadio->click();
    form->LocateRecord(form->MasterQuery, 0, QStringLiteral("P_TWO"), false);
    QVERIFY(form->CurrentIsProcedure);
    QCOMPARE(cellsOf(QStringLiteral("CAROL")), QStringLiteral("....X"));
    typeInto(form->DetailGrid, Qt::Key_Down);
    QVERIFY(form->CurrentIsProcedure);      // whichever user is current
    typeInto(form->MasterGrid, Qt::Key_Up); // P_ONE
    QVERIFY(form->CurrentIsProcedure);
    form->LocateRecord(form->MasterQuery, 0, QStringLiteral("V_CUST"), false);
    QVERIFY(!form->CurrentIsProcedure);
}

void TestBrowse::typeAheadInTheMasterList_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("lands");
    QTest::addColumn<QString>("cells"); // of CUSTOMER for the user found
    QTest::newRow("B") << int(Qt::Key_B) << "BOB"
                       << ".....";
    QTest::newRow("A") << int(Qt::Key_A) << "ADMIN"
                       << "..I..";
    QTest::newRow("C") << int(Qt::Key_C) << "CAROL"
                       << ".....";
    QTest::newRow("D to the next name") << int(Qt::Key_D) << "FRED"
                                        << "SU...";
    QTest::newRow("Q past upper case") << int(Qt::Key_Q) << "SYSDBA"
                                       << "SUID.";
    QTest::newRow("Z to the lower-case name") << int(Qt::Key_Z) << "fred"
                                              << ".....";
}

void TestBrowse::typeAheadInTheMasterList()
{
    QFETCH(int, key);
    QFETCH(QString, lands);
    QFETCH(QString, cells);
    connect();
    TKelvaneForm *form = KelvaneForm;
    form->LocateRecord(form->DetailQuery, 0, QStringLiteral("CUSTOMER"), false);
    SqlLog log;
    typeInto(form->MasterGrid, Qt::Key(key));
    QCOMPARE(currentMaster(), lands);
    QCOMPARE(form->MasterGrid->currentIndex().row(), form->MasterQuery.recNo());
    QVERIFY(!form->Scanning);
    // The walk did not reload at each row: the privileges were read once.
    QCOMPARE(log.linesOf(QStringLiteral("open")).filter(QStringLiteral(", RDB$PRIVILEGE, ")).size(),
             1);
    QCOMPARE(currentDetail(), QStringLiteral("CUSTOMER"));
    QCOMPARE(cellsOf(QStringLiteral("CUSTOMER")), cells);
}

void TestBrowse::typeAheadIgnoresAltAndCtrlAndGathersNoLetters()
{
    connect();
    TKelvaneForm *form = KelvaneForm;
    typeInto(form->MasterGrid, Qt::Key_F);
    typeInto(form->MasterGrid, Qt::Key_F);
    QCOMPARE(currentMaster(), QStringLiteral("FRED")); // every search starts at the top
    typeInto(form->MasterGrid, Qt::Key_C);
    typeInto(form->MasterGrid, Qt::Key_A);
    QCOMPARE(currentMaster(), QStringLiteral("ADMIN")); // "CA" is not gathered
    QTest::keyClick(form->MasterGrid, 'p');             // lower case searches upper case
    QCOMPARE(currentMaster(), QStringLiteral("PUBLIC"));

    for (Qt::KeyboardModifiers modifiers :
         {Qt::KeyboardModifiers(Qt::AltModifier), Qt::KeyboardModifiers(Qt::ControlModifier)}) {
        typeInto(form->MasterGrid, Qt::Key_B, modifiers);
        QCOMPARE(currentMaster(), QStringLiteral("PUBLIC"));
    }
    typeInto(form->MasterGrid, Qt::Key_B, Qt::ShiftModifier); // a capital jumps as well
    QCOMPARE(currentMaster(), QStringLiteral("BOB"));
    typeInto(form->MasterGrid, Qt::Key_P);
    typeInto(form->MasterGrid, Qt::Key_1);
    QCOMPARE(currentMaster(), QStringLiteral("PUBLIC"));
    typeInto(form->MasterGrid, Qt::Key_Down); // other keys go to the grid
    QCOMPARE(currentMaster(), QStringLiteral("SYSDBA"));
}

void TestBrowse::typeAheadInTheDetailList()
{
    connect();
    TKelvaneForm *form = KelvaneForm;
    form->LocateRecord(form->MasterQuery, 0, QStringLiteral("FRED"), false);
    typeInto(form->DetailGrid, Qt::Key_V);
    QCOMPARE(currentDetail(), QStringLiteral("V_CUST"));
    QCOMPARE(currentMaster(), QStringLiteral("FRED"));
    QCOMPARE(form->DetailGrid->currentIndex().row(), form->DetailQuery.recNo());
    // The rows read during the search are read again with their cells.
    QCOMPARE(cellsOf(QStringLiteral("ORDERS")), QStringLiteral(".U..."));
    QCOMPARE(cellsOf(QStringLiteral("CUSTOMER")), QStringLiteral("SU..."));
    QVERIFY(!form->CurrentIsProcedure);

    form->ByTableRadio->click();
    QCOMPARE(currentMaster(), QStringLiteral("V_CUST"));
    typeInto(form->DetailGrid, Qt::Key_C);
    QCOMPARE(currentDetail(), QStringLiteral("CAROL"));
    QCOMPARE(cellsOf(QStringLiteral("CAROL")), QStringLiteral("S...."));
}

void TestBrowse::scanningSilencesReloadsAndCalculation()
{
    connect();
    TKelvaneForm *form = KelvaneForm;
    SqlLog log;
    form->Scanning = true;
    form->MasterQuery.moveBy(3);
    QVERIFY(log.lines().isEmpty());
    QCOMPARE(form->PrivQuery.paramText(0), QStringLiteral("ADMIN"));
    form->DetailQuery.close();
    form->DetailQuery.open();
    QCOMPARE(cellsOf(QStringLiteral("CUSTOMER")), QStringLiteral("....."));
    form->Scanning = false;
    form->MasterQueryAfterScroll(nullptr);
    QCOMPARE(cellsOf(QStringLiteral("CUSTOMER")), QStringLiteral("SU..."));
}

void TestBrowse::refreshShowsTheServersNewState()
{
    connect();
    TKelvaneForm *form = KelvaneForm;
    form->LocateRecord(form->MasterQuery, 0, QStringLiteral("FRED"), false);
    form->LocateRecord(form->DetailQuery, 0, QStringLiteral("CUSTOMER"), false);
    const int row = form->DetailQuery.recNo();
    m_db->run(QStringLiteral("GRANT INSERT ON CUSTOMER TO FRED;"));
    form->MasterQuery.disableControls();
    form->RefreshPrivileges();
    QVERIFY(!form->MasterQuery.controlsDisabled());
    QCOMPARE(cellsOf(QStringLiteral("CUSTOMER")), QStringLiteral("SUI.."));
    QCOMPARE(form->DetailQuery.recNo(), row);
    QCOMPARE(currentMaster(), QStringLiteral("FRED"));
    m_db->run(QStringLiteral("REVOKE INSERT ON CUSTOMER FROM FRED;"));
    form->RefreshPrivileges(); // with nothing disabled: the count stays at zero
    QVERIFY(!form->MasterQuery.controlsDisabled());
    QCOMPARE(cellsOf(QStringLiteral("CUSTOMER")), QStringLiteral("SU..."));
}

void TestBrowse::gridUpdatingResumesAfterAFailure()
{
    connect();
    TKelvaneForm *form = KelvaneForm;
    const auto failureOf = [](const std::function<void()> &action) {
        try {
            action();
        } catch (const kelvane::Exception &e) {
            return e.message();
        }
        return QStringLiteral("<no failure>");
    };
    form->PrivQuery.close();
    form->PrivQueryPrivilege->setFieldName(QStringLiteral("NO_SUCH_COLUMN"));
    QCOMPARE(failureOf([&] { form->MasterQueryAfterScroll(nullptr); }),
             QStringLiteral("Field 'NO_SUCH_COLUMN' not found"));
    QVERIFY(!form->DetailQuery.controlsDisabled());
    form->PrivQueryPrivilege->setFieldName(QStringLiteral("RDB$PRIVILEGE"));
    form->MasterQueryAfterScroll(nullptr);

    form->DetailQuery.close();
    form->DetailQueryName->setFieldName(QStringLiteral("NO_SUCH_NAME"));
    QCOMPARE(failureOf([&] { form->RefreshPrivileges(); }),
             QStringLiteral("Field 'NO_SUCH_NAME' not found"));
    QVERIFY(!form->DetailQuery.controlsDisabled());
    form->DetailQueryName->setFieldName(QStringLiteral("RDB$RELATION_NAME"));

    QVERIFY(failureOf([&] {
                form->LocateRecord(form->DetailQuery, 0, QStringLiteral("X"), false);
            }).contains(QStringLiteral("closed dataset")));
    QVERIFY(!form->DetailQuery.controlsDisabled());
    form->MasterQueryAfterScroll(nullptr);
    QCOMPARE(cellsOf(QStringLiteral("CUSTOMER")), QStringLiteral("..I.."));
}

void TestBrowse::locateRecordReopens()
{
    connect();
    TKelvaneForm *form = KelvaneForm;
    m_db->run(QStringLiteral("GRANT SELECT ON ORDERS TO DORA;"));
    form->LocateRecord(form->MasterQuery, 0, QStringLiteral("DORA"), false);
    QCOMPARE(currentMaster(), QStringLiteral("FRED"));
    form->LocateRecord(form->MasterQuery, 0, QStringLiteral("DORA"), true);
    QCOMPARE(currentMaster(), QStringLiteral("DORA"));
    QVERIFY(!form->MasterQuery.controlsDisabled());
    QCOMPARE(cellsOf(QStringLiteral("ORDERS")), QStringLiteral("S...."));
    m_db->run(QStringLiteral("REVOKE SELECT ON ORDERS FROM DORA;"));
}

QTEST_MAIN(TestBrowse)
#include "tst_browse.moc"
