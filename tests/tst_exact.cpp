// The whole-user and copy commands on a catalogue that holds every form a
// Firebird 3 privilege takes: column lists, grant and admin options, another
// grantor, roles, functions, packages, sequences, exceptions, DDL privileges
// and grants the user gave to others. Each command is checked row by row in
// the catalogue.
#include "MainWindowDriver.h"
#include "TestServer.h"
#include "app/Forms.h"
#include "app/PrivEdit.h"
#include "ui/Application.h"
#include "ui/DBGrid.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using driver::answerConfirm;
using driver::answerCopyDialog;
using driver::answerInput;
using driver::CopyAnswer;
using driver::currentDetail;
using driver::currentMaster;
using driver::InputAnswer;
using driver::select;
using driver::statements;

namespace {

const char *const Schema = R"(
CREATE TABLE CUSTOMER (ID INTEGER, NAME VARCHAR(20), CITY VARCHAR(20));
CREATE TABLE NOCITY (ID INTEGER, NAME VARCHAR(20));
CREATE TABLE ORDERS (ID INTEGER NOT NULL PRIMARY KEY);
CREATE TABLE ALPHA (ID INTEGER);
CREATE TABLE ZETA (ID INTEGER);
CREATE SEQUENCE SQ;
CREATE SEQUENCE ZETA;
CREATE EXCEPTION EX 'no';
CREATE ROLE R1;
SET TERM ^ ;
CREATE FUNCTION F1 RETURNS INTEGER AS BEGIN RETURN 1; END^
CREATE PACKAGE PK AS BEGIN PROCEDURE PP; END^
CREATE PACKAGE BODY PK AS BEGIN PROCEDURE PP AS BEGIN END END^
CREATE PROCEDURE P1 AS BEGIN END^
SET TERM ; ^
GRANT SELECT, UPDATE (NAME) ON CUSTOMER TO HELEN;
GRANT REFERENCES (ID) ON ORDERS TO HELEN;
GRANT SELECT ON ALPHA TO HELEN WITH GRANT OPTION;
GRANT R1 TO HELEN WITH ADMIN OPTION;
GRANT EXECUTE ON FUNCTION F1 TO HELEN;
GRANT EXECUTE ON PACKAGE PK TO HELEN;
GRANT USAGE ON SEQUENCE SQ TO HELEN;
GRANT USAGE ON SEQUENCE ZETA TO HELEN;
GRANT USAGE ON EXCEPTION EX TO HELEN;
GRANT EXECUTE ON PROCEDURE P1 TO HELEN;
GRANT SELECT ON ZETA TO HELEN GRANTED BY BOSS;
GRANT SELECT ON ALPHA TO "carol lee" GRANTED BY HELEN;
GRANT UPDATE ON CUSTOMER TO CLERK;
GRANT SELECT ON ALPHA TO JOE;
GRANT SELECT ON ALPHA TO IRIS WITH GRANT OPTION;
GRANT SELECT ON ALPHA TO DAN GRANTED BY IRIS;
GRANT SELECT ON ZETA TO CLERK;
GRANT CREATE TABLE TO HELEN;
GRANT ALTER ANY VIEW TO HELEN WITH GRANT OPTION;
GRANT DROP DATABASE TO HELEN;
GRANT CREATE PROCEDURE TO BUILDER;
)";

// HELEN's rows with the grantee left out, so that two grantees compare.
const QStringList BaseHelenRows{"0:ALPHA:S::1:SYSDBA",
                                "0:CUSTOMER:S::0:SYSDBA",
                                "0:CUSTOMER:U:NAME:0:SYSDBA",
                                "0:ORDERS:R:ID:0:SYSDBA",
                                "0:ZETA:S::0:BOSS",
                                "13:R1:M::2:SYSDBA",
                                "14:SQ:G::0:SYSDBA",
                                "14:ZETA:G::0:SYSDBA",
                                "15:F1:X::0:SYSDBA",
                                "18:PK:X::0:SYSDBA",
                                "5:P1:X::0:SYSDBA",
                                "7:EX:G::0:SYSDBA",
                                "ddl:SQL$DATABASE:O::0:SYSDBA",
                                "ddl:SQL$TABLES:C::0:SYSDBA",
                                "ddl:SQL$VIEWS:L::1:SYSDBA"};

QStringList withGrantor(QStringList rows, const QString &grantor)
{
    for (QString &row : rows)
        row = row.section(u':', 0, -2) + QLatin1Char(':') + grantor;
    return rows;
}

} // namespace

class TestExact : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void renameCarriesEveryRow_data();
    void renameCarriesEveryRow();
    void copyAllToANewUser();
    void copyAllToAnotherUser();
    void copyToOtherRelations();
    void removalNamesWhatGoesWithIt();
    void copyAsksBeforeTakingAGrantOption();
    void copyToALoginThatHoldsNothing();
    void renameRefusedWhereGrantsWouldBeLost();
    void grantOptionsFromTheWindow();
    void savedAsSqlFromTheWindow();

private:
    // Every row of the grantee: kind, object, privilege, column, option, grantor.
    [[nodiscard]] QStringList rowsOf(const QString &grantee) const;

    driver::WindowFixture m_window;
    // HELEN's rows as the server at hand keeps them.
    QStringList m_helenRows;
};

void TestExact::initTestCase()
{
    ui::Application::setTitle(QStringLiteral("Kelvane"));
    testserver::createLogin(QStringLiteral("BOSS"), QStringLiteral("boss"));
    testserver::createLogin(QStringLiteral("HELEN"), QStringLiteral("helen"));
}

void TestExact::init()
{
    m_window.start(QStringLiteral("EXACT"), Schema);
    m_helenRows = BaseHelenRows;
    // Firebird 4 also has default roles, kept as "D" on the membership row.
    if (m_window.db->serverVersion() >= 4) {
        m_window.db->run(QStringLiteral("GRANT DEFAULT R1 TO HELEN WITH ADMIN OPTION;"));
        m_helenRows.replace(m_helenRows.indexOf(QStringLiteral("13:R1:M::2:SYSDBA")),
                            QStringLiteral("13:R1:M:D:2:SYSDBA"));
    }
    driver::chooseAlias(QStringLiteral("EXACT"), testserver::password());
}

void TestExact::cleanup()
{
    m_window.stop();
}

QStringList TestExact::rowsOf(const QString &grantee) const
{
    return m_window.db->rowsOf(grantee);
}

void TestExact::renameCarriesEveryRow_data()
{
    QTest::addColumn<bool>("byUser");
    QTest::newRow("By User") << true;
    QTest::newRow("By Relation") << false;
}

void TestExact::renameCarriesEveryRow()
{
    QFETCH(bool, byUser);
    if (!byUser)
        KelvaneForm->ByTableRadio->click();
    QCOMPARE(rowsOf(QStringLiteral("HELEN")), m_helenRows);
    select(QStringLiteral("HELEN"), QStringLiteral("CUSTOMER"));
    // A name that sorts right after the old one must not take another's row.
    InputAnswer answer(QStringLiteral("HELEN2"));
    answerInput(&answer);
    testui::MessageCollector messages;
    driver::chooseFromEditMenu("RenameItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(messages.texts, QStringList());
    QCOMPARE(rowsOf(QStringLiteral("HELEN2")), m_helenRows);
    QCOMPARE(rowsOf(QStringLiteral("HELEN")), QStringList());
    // What HELEN gave carol is now given by HELEN2.
    QCOMPARE(rowsOf(QStringLiteral("carol lee")), QStringList{"0:ALPHA:S::0:HELEN2"});
    QCOMPARE(rowsOf(QStringLiteral("CLERK")),
             (QStringList{"0:CUSTOMER:U::0:SYSDBA", "0:ZETA:S::0:SYSDBA"}));
    // The screen shows the new name, and the next toggle acts on it.
    QCOMPARE(byUser ? currentMaster() : currentDetail(), QStringLiteral("HELEN2"));
    QCOMPARE(byUser ? currentDetail() : currentMaster(), QStringLiteral("CUSTOMER"));
    const QString row = byUser ? QStringLiteral("CUSTOMER") : QStringLiteral("HELEN2");
    QCOMPARE(driver::cellsOf(row), QStringLiteral("SU..."));
    // The letters stay; the tooltip tells the row's kind and the exact form.
    const QString kindLine =
        byUser ? QStringLiteral("table CUSTOMER\n") : QStringLiteral("user HELEN2\n");
    QCOMPARE(driver::hintOf(row, 2),
             kindLine + QStringLiteral("UPDATE (NAME) \u2014 granted by SYSDBA"));
    QCOMPARE(driver::hintOf(row, 3), kindLine.trimmed());
    SqlLog log;
    driver::typeInto(KelvaneForm->MasterGrid, Qt::Key_D, Qt::ControlModifier);
    QCOMPARE(statements(log), QStringList{"GRANT DELETE ON CUSTOMER TO HELEN2"});
}

void TestExact::copyAllToANewUser()
{
    // A grantee holding DDL privileges alone is listed, to be renamed or removed.
    QVERIFY(driver::namesOf(KelvaneForm->MasterGrid).contains(QStringLiteral("BUILDER")));
    select(QStringLiteral("HELEN"), QStringLiteral("ORDERS"));
    InputAnswer answer(QStringLiteral("newbie"));
    answerInput(&answer);
    testui::MessageCollector messages;
    SqlLog log;
    driver::chooseFromEditMenu("CopyNewAllItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(messages.texts, QStringList());
    // Granted by the login, every form as HELEN holds it; nothing revoked.
    QCOMPARE(rowsOf(QStringLiteral("NEWBIE")), withGrantor(m_helenRows, QStringLiteral("SYSDBA")));
    QCOMPARE(rowsOf(QStringLiteral("HELEN")), m_helenRows);
    QVERIFY(statements(log).filter(QStringLiteral("REVOKE")).isEmpty());
    const bool defaultRole = m_window.db->serverVersion() >= 4;
    QVERIFY(
        statements(log).contains(QStringLiteral("GRANT %1R1 TO newbie WITH ADMIN OPTION")
                                     .arg(defaultRole ? QStringLiteral("DEFAULT ") : QString())));
    QCOMPARE(currentMaster(), QStringLiteral("NEWBIE"));
    QCOMPARE(driver::cellsOf(QStringLiteral("ORDERS")), QStringLiteral("....."));
    // A sequence named like a table marks nothing on the table.
    QCOMPARE(driver::cellsOf(QStringLiteral("ZETA")), QStringLiteral("S...."));
    QCOMPARE(driver::hintOf(QStringLiteral("ALPHA"), 1),
             QStringLiteral("table ALPHA\nSELECT \u2014 granted by SYSDBA, with grant option"));
}

void TestExact::copyAllToAnotherUser()
{
    select(QStringLiteral("HELEN"), QStringLiteral("CUSTOMER"));
    CopyAnswer answer({QStringLiteral("CLERK")});
    answerCopyDialog(&answer);
    QString question;
    answerConfirm(true, &question);
    SqlLog log;
    driver::chooseFromEditMenu("AllCopyItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(question, QStringLiteral("Confirm:The copy takes from its targets:\nCLERK: UPDATE on "
                                      "CUSTOMER granted by SYSDBA\n\nGo on?"));
    // CLERK's whole-table UPDATE becomes HELEN's UPDATE (NAME); the SELECT on
    // ZETA CLERK already had is left as it is, granted by SYSDBA. A DDL
    // privilege goes in the order of its name, as the lists show it.
    QCOMPARE(statements(log).mid(0, 5),
             (QStringList{"GRANT SELECT ON ALPHA TO CLERK WITH GRANT OPTION",
                          "GRANT ALTER ANY VIEW TO CLERK WITH GRANT OPTION",
                          "GRANT CREATE TABLE TO CLERK", "GRANT SELECT ON CUSTOMER TO CLERK",
                          "REVOKE UPDATE ON CUSTOMER FROM CLERK"}));
    QStringList expected = withGrantor(m_helenRows, QStringLiteral("SYSDBA"));
    expected.sort();
    QCOMPARE(rowsOf(QStringLiteral("CLERK")), expected);
    // The source and what it gave to others are untouched.
    QCOMPARE(rowsOf(QStringLiteral("HELEN")), m_helenRows);
    QCOMPARE(rowsOf(QStringLiteral("carol lee")), QStringList{"0:ALPHA:S::0:HELEN"});
    QCOMPARE(driver::cellsOf(QStringLiteral("CUSTOMER")), QStringLiteral("SU..."));
}

void TestExact::copyToOtherRelations()
{
    select(QStringLiteral("HELEN"), QStringLiteral("CUSTOMER"));
    CopyAnswer answer({QStringLiteral("NOCITY"), QStringLiteral("ORDERS")});
    answerCopyDialog(&answer);
    QString question;
    answerConfirm(true, &question);
    QString message;
    driver::answerMessage(&message);
    SqlLog log;
    driver::clickDetailCell(QStringLiteral("CUSTOMER"), 0);
    driver::chooseFromMenu(KelvaneForm->DetailGrid, "TableCopyItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(question, QStringLiteral("Confirm:The copy takes from its targets:\nHELEN: "
                                      "REFERENCES (ID) on ORDERS granted by SYSDBA\n\nGo on?"));
    // ORDERS has no column NAME: its UPDATE is left as it was, and said so.
    QCOMPARE(message, QStringLiteral("Not everything was done:\nUPDATE (NAME) on CUSTOMER was not "
                                     "copied to ORDERS, which has no column NAME."));
    QCOMPARE(
        statements(log),
        (QStringList{"GRANT SELECT ON NOCITY TO HELEN", "GRANT UPDATE (NAME) ON NOCITY TO HELEN",
                     "GRANT SELECT ON ORDERS TO HELEN", "REVOKE REFERENCES ON ORDERS FROM HELEN"}));
    // Every other row of HELEN's stays as it was.
    QStringList expected = m_helenRows;
    expected.removeOne(QStringLiteral("0:ORDERS:R:ID:0:SYSDBA"));
    expected << "0:NOCITY:S::0:SYSDBA"
             << "0:NOCITY:U:NAME:0:SYSDBA"
             << "0:ORDERS:S::0:SYSDBA";
    expected.sort();
    QCOMPARE(rowsOf(QStringLiteral("HELEN")), expected);
    QCOMPARE(currentDetail(), QStringLiteral("CUSTOMER"));
}

void TestExact::removalNamesWhatGoesWithIt()
{
    select(QStringLiteral("HELEN"), QStringLiteral("CUSTOMER"));
    QString question;
    answerConfirm(true, &question);
    QString confirmation;
    driver::answerMessage(&confirmation);
    SqlLog log;
    driver::chooseFromEditMenu("RemoveItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(question, QStringLiteral("Confirm:Remove ALL privileges for this user?\n\nThis "
                                      "removes the privileges of user HELEN.\n\nThe server "
                                      "also revokes what HELEN granted to others:\nSELECT on "
                                      "ALPHA to carol lee"));
    QCOMPARE(statements(log), QStringList{"REVOKE ALL ON ALL FROM HELEN"});
    QCOMPARE(confirmation, QStringLiteral("These privileges that HELEN granted were revoked with "
                                          "HELEN's:\nSELECT on ALPHA to carol lee"));
    QCOMPARE(rowsOf(QStringLiteral("HELEN")), QStringList());
    QCOMPARE(rowsOf(QStringLiteral("carol lee")), QStringList());
    QVERIFY(!driver::namesOf(KelvaneForm->MasterGrid).contains(QStringLiteral("HELEN")));
}

void TestExact::copyAsksBeforeTakingAGrantOption()
{
    // IRIS holds SELECT on ALPHA with grant option and gave it to DAN; JOE
    // holds it plain. Making IRIS equal to JOE would take DAN's along.
    select(QStringLiteral("JOE"), QStringLiteral("ALPHA"));
    for (bool yes : {false, true}) {
        CopyAnswer answer({QStringLiteral("IRIS")});
        answerCopyDialog(&answer);
        QString question;
        answerConfirm(yes, &question);
        SqlLog log;
        driver::chooseFromEditMenu("UserCopyItem");
        QVERIFY(testui::allAnswered());
        QCOMPARE(question, QStringLiteral("Confirm:The copy takes from its targets:\nIRIS: "
                                          "SELECT on ALPHA granted by SYSDBA, with grant "
                                          "option\n\nThis revokes privileges held with the "
                                          "grant option, and with them what was granted with "
                                          "that option:\nSELECT on ALPHA to DAN by IRIS\n\nGo "
                                          "on?"));
        const QStringList expected{"REVOKE SELECT ON ALPHA FROM IRIS",
                                   "GRANT SELECT ON ALPHA TO IRIS"};
        QCOMPARE(statements(log), yes ? expected : QStringList());
        QCOMPARE(rowsOf(QStringLiteral("IRIS")),
                 QStringList{yes ? "0:ALPHA:S::0:SYSDBA" : "0:ALPHA:S::1:SYSDBA"});
        QCOMPARE(rowsOf(QStringLiteral("DAN")),
                 yes ? QStringList() : QStringList{"0:ALPHA:S::0:IRIS"});
    }
}

void TestExact::copyToALoginThatHoldsNothing()
{
    // BOSS is a login of the server with no privilege in this database.
    select(QStringLiteral("HELEN"), QStringLiteral("CUSTOMER"));
    QVERIFY(!driver::namesOf(KelvaneForm->MasterGrid).contains(QStringLiteral("BOSS")));
    CopyAnswer answer({QStringLiteral("BOSS")});
    answerCopyDialog(&answer);
    SqlLog log;
    driver::chooseFromEditMenu("UserCopyItem");
    QVERIFY(testui::allAnswered());
    QVERIFY(answer.offered.contains(QStringLiteral("BOSS")));
    QCOMPARE(statements(log), (QStringList{"GRANT SELECT ON CUSTOMER TO BOSS",
                                           "GRANT UPDATE (NAME) ON CUSTOMER TO BOSS"}));
    QCOMPARE(rowsOf(QStringLiteral("BOSS")),
             (QStringList{"0:CUSTOMER:S::0:SYSDBA", "0:CUSTOMER:U:NAME:0:SYSDBA"}));
}

void TestExact::renameRefusedWhereGrantsWouldBeLost()
{
    // BOSS may not write GRANTED BY, so carol's privilege could not be given
    // again in the new name: nothing is sent at all.
    m_window.restartForms();
    driver::chooseAlias(QStringLiteral("EXACT"), QStringLiteral("boss"), {},
                        QStringLiteral("BOSS"));
    select(QStringLiteral("HELEN"), QStringLiteral("CUSTOMER"));
    InputAnswer answer(QStringLiteral("HELEN2"));
    answerInput(&answer);
    QString message;
    driver::answerMessage(&message);
    SqlLog log;
    driver::chooseFromEditMenu("RenameItem");
    QVERIFY(testui::allAnswered());
    QVERIFY2(message.startsWith(QStringLiteral(
                 "HELEN granted privileges to others, which the server would revoke with HELEN's "
                 "own: SELECT on ALPHA to carol lee.")),
             qPrintable(message));
    QCOMPARE(statements(log), QStringList());
    QCOMPARE(rowsOf(QStringLiteral("HELEN")), m_helenRows);
    QCOMPARE(currentMaster(), QStringLiteral("HELEN"));
}

void TestExact::grantOptionsFromTheWindow()
{
    TKelvaneForm *form = KelvaneForm;
    const auto look = [form](const char *relation, int column) {
        // As the grid paints it.
        const int row = driver::namesOf(form->DetailGrid).indexOf(QLatin1String(relation));
        const QModelIndex cell = form->DetailGrid->dataModel().index(row, column);
        const QFont font = cell.data(Qt::FontRole).value<QFont>();
        const bool tinted = cell.data(Qt::BackgroundRole).isValid();
        const QString text =
            QStringLiteral("%1%2%3").arg(font.underline() ? "option " : "",
                                         font.italic() ? "columns " : "", tinted ? "tinted" : "");
        return text.isEmpty() ? QStringLiteral("plain") : text;
    };
    const auto mayGrantAlpha = [this] {
        return m_window.db
            ->refusal(QStringLiteral("GRANT SELECT ON ALPHA TO PROBE;"), QStringLiteral("HELEN"),
                      QStringLiteral("helen"))
            .isEmpty();
    };
    select(QStringLiteral("HELEN"), QStringLiteral("ALPHA"));
    // The option and a part of the columns show at a glance.
    QCOMPARE(look("ALPHA", 1), QStringLiteral("option tinted"));
    QCOMPARE(look("CUSTOMER", 1), QStringLiteral("plain"));
    QCOMPARE(look("CUSTOMER", 2), QStringLiteral("columns tinted"));
    QStringList helen = m_helenRows;

    // Taking the option away asks first, naming what the server takes along;
    // No sends nothing.
    driver::clickDetailCell(QStringLiteral("ALPHA"), 1);
    QString question;
    answerConfirm(false, &question);
    SqlLog log;
    driver::chooseFromMenu(form->DetailGrid, "GrantOptionItem");
    QVERIFY(testui::allAnswered());
    QVERIFY2(question.contains(QStringLiteral("SELECT on ALPHA to carol lee")),
             qPrintable(question));
    QCOMPARE(statements(log), QStringList());
    answerConfirm(true, &question);
    driver::chooseFromMenu(form->DetailGrid, "GrantOptionItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(statements(log), QStringList{"REVOKE GRANT OPTION FOR SELECT ON ALPHA FROM HELEN"});
    helen.replace(helen.indexOf(QStringLiteral("0:ALPHA:S::1:SYSDBA")),
                  QStringLiteral("0:ALPHA:S::0:SYSDBA"));
    QCOMPARE(rowsOf(QStringLiteral("HELEN")), helen);
    QCOMPARE(rowsOf(QStringLiteral("carol lee")), QStringList());
    QCOMPARE(look("ALPHA", 1), QStringLiteral("plain"));
    QCOMPARE(currentDetail(), QStringLiteral("ALPHA"));
    QVERIFY(!mayGrantAlpha());

    // Ctrl+Shift and the letter gives it back; each form keeps its grantor
    // and columns.
    driver::typeInto(form->DetailGrid, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(statements(log).last(),
             QStringLiteral("GRANT SELECT ON ALPHA TO HELEN WITH GRANT OPTION"));
    QCOMPARE(look("ALPHA", 1), QStringLiteral("option tinted"));
    QVERIFY(mayGrantAlpha());
    select(QStringLiteral("HELEN"), QStringLiteral("ZETA (table)"));
    driver::typeInto(form->DetailGrid, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(statements(log).last(),
             QStringLiteral("GRANT SELECT ON ZETA TO HELEN WITH GRANT OPTION GRANTED BY BOSS"));
    select(QStringLiteral("HELEN"), QStringLiteral("CUSTOMER"));
    driver::typeInto(form->DetailGrid, Qt::Key_U, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(statements(log).last(),
             QStringLiteral("GRANT UPDATE (NAME) ON CUSTOMER TO HELEN WITH GRANT OPTION"));
    QCOMPARE(look("CUSTOMER", 2), QStringLiteral("option columns tinted"));

    // An empty cell gets no option, nor the privilege with it.
    select(QStringLiteral("HELEN"), QStringLiteral("NOCITY"));
    const int sent = int(statements(log).size());
    QString refused;
    driver::answerMessage(&refused);
    driver::typeInto(form->DetailGrid, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(testui::allAnswered());
    QCOMPARE(refused, QStringLiteral("HELEN holds no SELECT on NOCITY: grant it first, then its "
                                     "option."));
    QCOMPARE(statements(log).size(), sent);

    // A role's is the admin option.
    select(QStringLiteral("HELEN"), QStringLiteral("R1"));
    driver::clickDetailCell(QStringLiteral("R1"), 5);
    QString item;
    driver::openContextMenu(form->DetailGrid, [&item](QMenu *menu) {
        item = menu->findChild<QAction *>(QStringLiteral("GrantOptionItem"))->text();
        menu->close();
    });
    QCOMPARE(item, QStringLiteral("With Admin Option"));
    driver::typeInto(form->DetailGrid, Qt::Key_X, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(statements(log).last(), QStringLiteral("REVOKE ADMIN OPTION FOR R1 FROM HELEN"));
    QStringList expected = helen;
    const QString role = m_window.db->serverVersion() >= 4 ? QStringLiteral("13:R1:M:D:")
                                                           : QStringLiteral("13:R1:M::");
    expected.replace(expected.indexOf(role + QStringLiteral("2:SYSDBA")),
                     role + QStringLiteral("0:SYSDBA"));
    expected.replace(expected.indexOf(QStringLiteral("0:ALPHA:S::0:SYSDBA")),
                     QStringLiteral("0:ALPHA:S::1:SYSDBA"));
    expected.replace(expected.indexOf(QStringLiteral("0:ZETA:S::0:BOSS")),
                     QStringLiteral("0:ZETA:S::1:BOSS"));
    expected.replace(expected.indexOf(QStringLiteral("0:CUSTOMER:U:NAME:0:SYSDBA")),
                     QStringLiteral("0:CUSTOMER:U:NAME:1:SYSDBA"));
    QCOMPARE(rowsOf(QStringLiteral("HELEN")), expected);
    QCOMPARE(currentDetail(), QStringLiteral("R1"));
}

void TestExact::savedAsSqlFromTheWindow()
{
    QTemporaryDir folder;
    const auto saved = [&folder](const char *item, const char *file) {
        const QString path = folder.filePath(QLatin1String(file));
        QString suggested;
        driver::answerSaveDialog(path, &suggested);
        QString told;
        driver::answerMessage(&told);
        driver::chooseFromEditMenu(item);
        [&] { QVERIFY(testui::allAnswered()); }();
        QFile sql(path);
        [&] { QVERIFY(sql.open(QIODevice::ReadOnly)); }();
        QStringList grants;
        for (const QString &line : QString::fromUtf8(sql.readAll()).split(u'\n')) {
            if (line.startsWith(QStringLiteral("GRANT ")))
                grants << line;
        }
        return QStringList{suggested, told} + grants;
    };
    select(QStringLiteral("HELEN"), QStringLiteral("ALPHA"));
    // HELEN's every row, each naming its grantor, one statement a line.
    const QStringList helen = saved("SaveUserSqlItem", "helen.sql");
    QCOMPARE(helen.at(0), QStringLiteral("EXACT-HELEN.sql"));
    QCOMPARE(helen.size() - 2, m_helenRows.size());
    QVERIFY(helen.at(1).startsWith(
        QStringLiteral("%1 GRANT statements saved in ").arg(m_helenRows.size())));
    for (const char *line :
         {"GRANT SELECT ON ALPHA TO USER HELEN WITH GRANT OPTION GRANTED BY SYSDBA;",
          "GRANT SELECT ON ZETA TO USER HELEN GRANTED BY BOSS;",
          "GRANT UPDATE (NAME) ON CUSTOMER TO USER HELEN GRANTED BY SYSDBA;",
          "GRANT ALTER ANY VIEW TO USER HELEN WITH GRANT OPTION GRANTED BY SYSDBA;"})
        QVERIFY2(helen.contains(QLatin1String(line)), line);
    // The holders of one object: a DDL privilege's too.
    select(QStringLiteral("HELEN"), QStringLiteral("CREATE TABLE"));
    QCOMPARE(saved("SaveRelationSqlItem", "create-table.sql").mid(2),
             QStringList{"GRANT CREATE TABLE TO USER HELEN GRANTED BY SYSDBA;"});
    select(QStringLiteral("HELEN"), QStringLiteral("ALPHA"));
    QCOMPARE(
        saved("SaveRelationSqlItem", "alpha.sql").mid(2),
        (QStringList{"GRANT SELECT ON ALPHA TO USER HELEN WITH GRANT OPTION GRANTED BY SYSDBA;",
                     "GRANT SELECT ON ALPHA TO USER IRIS WITH GRANT OPTION GRANTED BY SYSDBA;",
                     "GRANT SELECT ON ALPHA TO USER JOE GRANTED BY SYSDBA;",
                     "GRANT SELECT ON ALPHA TO USER DAN GRANTED BY IRIS;",
                     "GRANT SELECT ON ALPHA TO USER \"carol lee\" GRANTED BY HELEN;"}));
}

QTEST_MAIN(TestExact)
#include "tst_exact.moc"
