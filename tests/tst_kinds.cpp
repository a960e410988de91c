// Every kind of object and grantee that a Firebird 3 GRANT can name, in both
// lists: the statement each toggle sends, the catalogue row it makes and
// removes, the letters a kind does not have, and one name standing for two
// objects or two grantees.
#include "MainWindowDriver.h"
#include "TestServer.h"
#include "app/Forms.h"
#include "app/PrivEdit.h"
#include "dialogs/CopyPriv.h"
#include "ui/Application.h"
#include "ui/DBGrid.h"

#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

using driver::cellsOf;
using driver::CopyAnswer;
using driver::hintOf;
using driver::select;
using driver::statements;

namespace {

const char *const Schema = R"(
CREATE TABLE CUSTOMER (ID INTEGER, NAME VARCHAR(20));
CREATE TABLE ORDERS (ID INTEGER);
CREATE VIEW V_CUST AS SELECT ID FROM CUSTOMER;
CREATE SEQUENCE SQ;
CREATE SEQUENCE ORDERS;
CREATE EXCEPTION EX 'no';
CREATE ROLE R1;
SET TERM ^ ;
CREATE PROCEDURE P1 AS BEGIN END^
CREATE FUNCTION F1 RETURNS INTEGER AS BEGIN RETURN 1; END^
CREATE PACKAGE PK AS BEGIN PROCEDURE PP; END^
CREATE PACKAGE BODY PK AS BEGIN PROCEDURE PP AS BEGIN END END^
CREATE TRIGGER TR1 FOR CUSTOMER BEFORE INSERT AS BEGIN END^
SET TERM ; ^
GRANT SELECT ON ORDERS TO FRED;
GRANT R1 TO CAROL;
GRANT SELECT ON CUSTOMER TO PROCEDURE P1;
GRANT SELECT ON CUSTOMER TO FUNCTION F1;
GRANT SELECT ON CUSTOMER TO PACKAGE PK;
GRANT SELECT ON CUSTOMER TO TRIGGER TR1;
GRANT SELECT ON CUSTOMER TO VIEW V_CUST;
GRANT SELECT ON CUSTOMER TO R1;
GRANT SELECT ON CUSTOMER TO FRED;
GRANT SELECT ON ORDERS TO P1;
)";

enum class Refusal
{
    Ignored, // a double-click on the column does nothing
    Told     // Ctrl+S is refused with a message
};

} // namespace

Q_DECLARE_METATYPE(Refusal)

class TestKinds : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void objectKinds_data();
    void objectKinds();
    void granteeKinds_data();
    void granteeKinds();
    void oneNameTwoObjects();
    void commandsOnGranteesOfEveryKind();
    void newUserPickedFromTheIdleLogins();

private:
    // The rows on the object, as "grantee type:grantee:object type:letter".
    [[nodiscard]] QStringList rowsOn(const QString &object) const;

    driver::WindowFixture m_window;
};

void TestKinds::initTestCase()
{
    ui::Application::setTitle(QStringLiteral("Kelvane"));
    testserver::createLogin(QStringLiteral("LONELY"), QStringLiteral("lonely"));
}

void TestKinds::init()
{
    m_window.start(QStringLiteral("KINDS"), Schema);
    driver::chooseAlias(QStringLiteral("KINDS"), testserver::password());
}

void TestKinds::cleanup()
{
    m_window.stop();
}

QStringList TestKinds::rowsOn(const QString &object) const
{
    return m_window.db->column(
        QStringLiteral("SELECT RDB$USER_TYPE || ':' || TRIM(RDB$USER) || ':' || RDB$OBJECT_TYPE || "
                       "':' || TRIM(RDB$PRIVILEGE) FROM RDB$USER_PRIVILEGES WHERE "
                       "RDB$RELATION_NAME = '%1' AND RDB$USER <> 'SYSDBA' ORDER BY 1")
            .arg(object));
}

void TestKinds::objectKinds_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("grant");
    QTest::addColumn<QString>("revoke");
    QTest::addColumn<QString>("grantAll");
    QTest::addColumn<QString>("row");
    QTest::addColumn<int>("refusedColumn");
    QTest::addColumn<Refusal>("refusal");
    QTest::newRow("table") << "CUSTOMER (table)" << 2 << "GRANT UPDATE ON CUSTOMER TO FRED"
                           << "REVOKE UPDATE ON CUSTOMER FROM FRED"
                           << "GRANT ALL ON CUSTOMER TO FRED"
                           << "8:FRED:0:U" << 5 << Refusal::Ignored;
    QTest::newRow("view") << "V_CUST (view)" << 1 << "GRANT SELECT ON V_CUST TO FRED"
                          << "REVOKE SELECT ON V_CUST FROM FRED"
                          << "GRANT ALL ON V_CUST TO FRED"
                          << "8:FRED:0:S" << 5 << Refusal::Ignored;
    QTest::newRow("procedure") << "P1 (procedure)" << 5 << "GRANT EXECUTE ON PROCEDURE P1 TO FRED"
                               << "REVOKE EXECUTE ON PROCEDURE P1 FROM FRED"
                               << "GRANT EXECUTE ON PROCEDURE P1 TO FRED"
                               << "8:FRED:5:X" << 1 << Refusal::Ignored;
    QTest::newRow("function") << "F1 (function)" << 5 << "GRANT EXECUTE ON FUNCTION F1 TO FRED"
                              << "REVOKE EXECUTE ON FUNCTION F1 FROM FRED"
                              << "GRANT EXECUTE ON FUNCTION F1 TO FRED"
                              << "8:FRED:15:X" << 1 << Refusal::Told;
    QTest::newRow("package") << "PK (package)" << 5 << "GRANT EXECUTE ON PACKAGE PK TO FRED"
                             << "REVOKE EXECUTE ON PACKAGE PK FROM FRED"
                             << "GRANT EXECUTE ON PACKAGE PK TO FRED"
                             << "8:FRED:18:X" << 1 << Refusal::Told;
    QTest::newRow("sequence") << "SQ (sequence)" << 5 << "GRANT USAGE ON SEQUENCE SQ TO FRED"
                              << "REVOKE USAGE ON SEQUENCE SQ FROM FRED"
                              << "GRANT USAGE ON SEQUENCE SQ TO FRED"
                              << "8:FRED:14:G" << 1 << Refusal::Told;
    QTest::newRow("exception") << "EX (exception)" << 5 << "GRANT USAGE ON EXCEPTION EX TO FRED"
                               << "REVOKE USAGE ON EXCEPTION EX FROM FRED"
                               << "GRANT USAGE ON EXCEPTION EX TO FRED"
                               << "8:FRED:7:G" << 1 << Refusal::Told;
    QTest::newRow("role") << "R1 (role)" << 5 << "GRANT R1 TO FRED"
                          << "REVOKE R1 FROM FRED"
                          << "GRANT R1 TO FRED"
                          << "8:FRED:13:M" << 1 << Refusal::Told;
}

void TestKinds::objectKinds()
{
    QFETCH(QString, object);
    QFETCH(int, column);
    QFETCH(QString, grant);
    QFETCH(QString, revoke);
    QFETCH(QString, grantAll);
    QFETCH(QString, row);
    QFETCH(int, refusedColumn);
    QFETCH(Refusal, refusal);
    const QString name = object.section(u' ', 0, 0);
    const QString kind = object.section(u'(', 1).chopped(1);
    const QStringList before = rowsOn(name);
    QVERIFY(!before.contains(row));

    select(QStringLiteral("FRED"), object);
    const QString cells = cellsOf(object);
    // The kind shows in the name's and every cell's tooltip.
    QCOMPARE(hintOf(object, 0), kind + QLatin1Char(' ') + name);
    QCOMPARE(hintOf(object, column).section(u'\n', 0, 0), kind + QLatin1Char(' ') + name);
    SqlLog log;
    driver::doubleClickDetailCell(object, column);
    QCOMPARE(statements(log), QStringList{grant});
    QVERIFY2(rowsOn(name).contains(row), qPrintable(rowsOn(name).join(u' ')));
    QCOMPARE(cellsOf(object).at(column - 1), column == 5 ? QChar(u'X') : grant.at(6));
    driver::doubleClickDetailCell(object, column);
    QCOMPARE(statements(log), (QStringList{grant, revoke}));
    QCOMPARE(rowsOn(name), before);
    QCOMPARE(cellsOf(object), cells);

    // Grant all and revoke all act on the kind's one privilege.
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_G, Qt::ControlModifier);
    QCOMPARE(statements(log).last(), grantAll);
    QVERIFY(rowsOn(name).contains(row));
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_R, Qt::ControlModifier);
    QStringList withoutFred = before;
    withoutFred.removeIf([](const QString &r) { return r.startsWith(QLatin1String("8:FRED:")); });
    QCOMPARE(rowsOn(name), withoutFred);

    // A letter the kind does not have gives nothing.
    const int sent = int(statements(log).size());
    if (refusal == Refusal::Ignored) {
        driver::doubleClickDetailCell(object, refusedColumn);
    } else {
        QString message;
        driver::answerMessage(&message);
        driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(testui::allAnswered());
        QVERIFY2(message.startsWith(
                     QStringLiteral("%1 is a %2: it has no SELECT privilege").arg(name, kind)),
                 qPrintable(message));
    }
    QCOMPARE(statements(log).size(), sent);
    QCOMPARE(rowsOn(name), withoutFred);
}

void TestKinds::granteeKinds_data()
{
    QTest::addColumn<QString>("grantee");
    QTest::addColumn<QString>("grant");
    QTest::addColumn<QString>("row");
    QTest::newRow("user") << "FRED (user)"
                          << "GRANT UPDATE ON CUSTOMER TO FRED"
                          << "8:FRED:0:U";
    // "TO R1" reaches the role of that name.
    QTest::newRow("role") << "R1 (role)"
                          << "GRANT UPDATE ON CUSTOMER TO R1"
                          << "13:R1:0:U";
    QTest::newRow("procedure") << "P1 (procedure)"
                               << "GRANT UPDATE ON CUSTOMER TO PROCEDURE P1"
                               << "5:P1:0:U";
    QTest::newRow("function") << "F1 (function)"
                              << "GRANT UPDATE ON CUSTOMER TO FUNCTION F1"
                              << "15:F1:0:U";
    QTest::newRow("package") << "PK (package)"
                             << "GRANT UPDATE ON CUSTOMER TO PACKAGE PK"
                             << "18:PK:0:U";
    QTest::newRow("trigger") << "TR1 (trigger)"
                             << "GRANT UPDATE ON CUSTOMER TO TRIGGER TR1"
                             << "2:TR1:0:U";
    QTest::newRow("view") << "V_CUST (view)"
                          << "GRANT UPDATE ON CUSTOMER TO VIEW V_CUST"
                          << "1:V_CUST:0:U";
}

void TestKinds::granteeKinds()
{
    QFETCH(QString, grantee);
    QFETCH(QString, grant);
    QFETCH(QString, row);
    KelvaneForm->ByTableRadio->click();
    const QStringList before = rowsOn(QStringLiteral("CUSTOMER"));
    select(grantee, QStringLiteral("CUSTOMER (table)"));
    QCOMPARE(cellsOf(grantee), QStringLiteral("S...."));
    SqlLog log;
    driver::doubleClickDetailCell(grantee, 2);
    QVERIFY(testui::allAnswered());
    QCOMPARE(statements(log), QStringList{grant});
    QVERIFY2(rowsOn(QStringLiteral("CUSTOMER")).contains(row),
             qPrintable(rowsOn(QStringLiteral("CUSTOMER")).join(u' ')));
    QCOMPARE(cellsOf(grantee), QStringLiteral("SU..."));
    driver::doubleClickDetailCell(grantee, 2);
    QString revoke = grant;
    revoke.replace(QStringLiteral("GRANT"), QStringLiteral("REVOKE"))
        .replace(QStringLiteral(" TO "), QStringLiteral(" FROM "));
    QCOMPARE(statements(log), (QStringList{grant, revoke}));
    QCOMPARE(rowsOn(QStringLiteral("CUSTOMER")), before);
}

void TestKinds::oneNameTwoObjects()
{
    TKelvaneForm *form = KelvaneForm;
    // ORDERS is a table and a sequence; P1 a user and a procedure grantee.
    QCOMPARE(driver::namesOf(form->MasterGrid).count(QStringLiteral("P1")), 2);
    select(QStringLiteral("FRED"), QStringLiteral("ORDERS (sequence)"));
    QCOMPARE(driver::namesOf(form->DetailGrid).count(QStringLiteral("ORDERS")), 2);
    QCOMPARE(cellsOf(QStringLiteral("ORDERS (table)")), QStringLiteral("S...."));
    QCOMPARE(cellsOf(QStringLiteral("ORDERS (sequence)")), QStringLiteral("....."));
    SqlLog log;
    driver::typeInto(form->DetailGrid, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(statements(log), QStringList{"GRANT USAGE ON SEQUENCE ORDERS TO FRED"});
    QCOMPARE(rowsOn(QStringLiteral("ORDERS")),
             (QStringList{"8:FRED:0:S", "8:FRED:14:G", "8:P1:0:S"}));
    QCOMPARE(cellsOf(QStringLiteral("ORDERS (table)")), QStringLiteral("S...."));
    QCOMPARE(cellsOf(QStringLiteral("ORDERS (sequence)")), QStringLiteral("....X"));

    // The view switch keeps the kind as well as the name.
    form->ByTableRadio->click();
    QCOMPARE(form->nameHint(form->MasterQuery, form->MasterQuery.recNo()),
             QStringLiteral("sequence ORDERS"));
    QCOMPARE(driver::currentDetail(), QStringLiteral("FRED"));
    QCOMPARE(cellsOf(QStringLiteral("FRED")), QStringLiteral("....X"));
    // The procedure P1 holds nothing on the sequence; the user P1 neither.
    QCOMPARE(driver::namesOf(form->DetailGrid).count(QStringLiteral("P1")), 2);
    QCOMPARE(cellsOf(QStringLiteral("P1 (user)")), QStringLiteral("....."));
    form->ByUserRadio->click();
    QCOMPARE(form->nameHint(form->DetailQuery, form->DetailQuery.recNo()),
             QStringLiteral("sequence ORDERS"));

    // Type-ahead goes by name, and stands on the first kind of it.
    driver::typeInto(form->DetailGrid, Qt::Key_O);
    QCOMPARE(form->nameHint(form->DetailQuery, form->DetailQuery.recNo()),
             QStringLiteral("table ORDERS"));
}

void TestKinds::commandsOnGranteesOfEveryKind()
{
    // The copy dialog offers every grantee but the source, each kind named,
    // and then the login that holds nothing yet.
    select(QStringLiteral("FRED"), QStringLiteral("ORDERS (table)"));
    CopyAnswer answer({QStringLiteral("PK (package)"), QStringLiteral("LONELY")});
    driver::answerCopyDialog(&answer);
    SqlLog log;
    driver::chooseFromMenu(KelvaneForm->MasterGrid, "UserCopyItem");
    QVERIFY(testui::allAnswered());
    for (const char *offered : {"CAROL", "F1 (function)", "P1", "P1 (procedure)", "R1 (role)",
                                "TR1 (trigger)", "V_CUST (view)"})
        QVERIFY2(answer.offered.contains(QLatin1String(offered)), offered);
    QVERIFY(!answer.offered.contains(QStringLiteral("FRED")));
    QVERIFY(answer.offered.indexOf(QStringLiteral("LONELY")) >
            answer.offered.indexOf(QStringLiteral("V_CUST (view)")));
    QCOMPARE(statements(log), (QStringList{"GRANT SELECT ON ORDERS TO PACKAGE PK",
                                           "GRANT SELECT ON ORDERS TO LONELY"}));
    QVERIFY(rowsOn(QStringLiteral("ORDERS")).contains(QStringLiteral("18:PK:0:S")));

    // Removing a trigger grantee names it by its keyword; the user of the
    // same name as a procedure keeps what it holds.
    select(QStringLiteral("TR1 (trigger)"), QStringLiteral("CUSTOMER (table)"));
    QString question;
    driver::answerConfirm(true, &question);
    driver::chooseFromMenu(KelvaneForm->MasterGrid, "RemoveItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(statements(log).last(), QStringLiteral("REVOKE ALL ON ALL FROM TRIGGER TR1"));
    QVERIFY(!rowsOn(QStringLiteral("CUSTOMER")).contains(QStringLiteral("2:TR1:0:S")));
    QVERIFY(!driver::namesOf(KelvaneForm->MasterGrid).contains(QStringLiteral("TR1")));
    QVERIFY(rowsOn(QStringLiteral("ORDERS")).contains(QStringLiteral("8:P1:0:S")));
}

void TestKinds::newUserPickedFromTheIdleLogins()
{
    select(QStringLiteral("FRED"), QStringLiteral("SQ (sequence)"));
    QStringList offered;
    testui::whenModal([&offered](QWidget *modal) {
        auto *dialog = qobject_cast<QInputDialog *>(modal);
        QVERIFY(dialog);
        auto *combo = dialog->findChild<QComboBox *>();
        QVERIFY(combo && combo->isEditable());
        // Nothing is chosen for the administrator: the line starts empty.
        QCOMPARE(combo->currentText(), QString());
        for (int i = 0; i < combo->count(); ++i)
            offered << combo->itemText(i);
        QTest::keyClicks(combo->lineEdit(), QStringLiteral("LON"));
        // Typed, not completed in place: a prefix stays a prefix.
        QCOMPARE(combo->lineEdit()->text(), QStringLiteral("LON"));
        combo->lineEdit()->clear();
        combo->showPopup();
        const int lonely = combo->findText(QStringLiteral("LONELY"));
        QVERIFY(lonely >= 0);
        QTest::keyClick(combo->view(), Qt::Key_Home);
        for (int i = 0; i < lonely; ++i)
            QTest::keyClick(combo->view(), Qt::Key_Down);
        QTest::keyClick(combo->view(), Qt::Key_Return);
        QCOMPARE(combo->currentText(), QStringLiteral("LONELY"));
        QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    });
    SqlLog log;
    driver::chooseFromMenu(KelvaneForm->MasterGrid, "AddNewItem");
    QVERIFY(testui::allAnswered());
    // The logins with privileges are not offered.
    QVERIFY(offered.contains(QStringLiteral("LONELY")));
    QVERIFY(!offered.contains(QStringLiteral("SYSDBA")));
    // On a sequence a new user gets its one privilege.
    QCOMPARE(statements(log), QStringList{"GRANT USAGE ON SEQUENCE SQ TO LONELY"});
    QCOMPARE(driver::currentMaster(), QStringLiteral("LONELY"));
    QCOMPARE(cellsOf(QStringLiteral("SQ")), QStringLiteral("....X"));
}

QTEST_MAIN(TestKinds)
#include "tst_kinds.moc"
