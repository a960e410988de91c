// Every statement reaches the grantee shown and every question's promise
// holds: on one catalogue with a user and a role of one name, a table and a
// sequence of one name, a grant option held from two grantors and passed on,
// column holders and DDL privileges nobody holds, each command is checked by
// the catalogue's rows, by logging in as the grantees, and by the pair the
// window stands on afterwards.
#include "MainWindowDriver.h"
#include "TestServer.h"
#include "app/PrivEdit.h"
#include "db/DdlPrivileges.h"
#include "db/ListedNames.h"
#include "ui/Application.h"
#include "ui/DBGrid.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

using driver::answerConfirm;
using driver::cellsOf;
using driver::currentDetail;
using driver::currentMaster;
using driver::select;
using driver::statements;

namespace {

// The user ACNT and the role ACNT each hold their own on T; OLGA is a member
// of the role. (The server admits no login named like a role: the user
// ACNT's rows are checked in the catalogue, the role's in effect too.) NURSE holds
// SELECT on BED with the option from two grantors and passed it to TINA;
// NURSE's UPDATE on T, with the option, went to TINA for F2, which CLERK
// holds from SYSDBA too. BED is a table and a sequence; CLERK alone holds
// AUDITING. HEAD gave the role SURGERY to OLGA and TINA, who holds it from
// SYSDBA too.
const char *const Schema = R"(
CREATE TABLE T (F1 INTEGER, F2 INTEGER);
INSERT INTO T VALUES (1, 2);
CREATE TABLE BED (ID INTEGER);
INSERT INTO BED VALUES (1);
CREATE SEQUENCE BED;
CREATE ROLE ACNT;
CREATE ROLE NURSING;
GRANT SELECT ON T TO ROLE ACNT;
GRANT SELECT, UPDATE (F1) ON T TO USER ACNT;
GRANT NURSING TO USER ACNT;
GRANT SELECT ON BED TO NURSE WITH GRANT OPTION;
GRANT SELECT ON BED TO NURSE WITH GRANT OPTION GRANTED BY HOSP_DBO;
GRANT SELECT ON BED TO TINA GRANTED BY NURSE;
GRANT UPDATE (F2) ON T TO CLERK;
GRANT UPDATE ON T TO NURSE WITH GRANT OPTION;
GRANT UPDATE (F2) ON T TO TINA GRANTED BY NURSE;
GRANT SELECT ON BED TO CLERK;
GRANT USAGE ON SEQUENCE BED TO CLERK;
GRANT NURSING TO TINA;
GRANT ACNT TO OLGA;
CREATE ROLE AUDITING;
GRANT AUDITING TO CLERK;
CREATE ROLE SURGERY;
GRANT SELECT ON BED TO ROLE SURGERY;
GRANT SURGERY TO HEAD WITH ADMIN OPTION;
GRANT SURGERY TO OLGA GRANTED BY HEAD;
GRANT SURGERY TO TINA GRANTED BY HEAD;
GRANT SURGERY TO TINA;
)";

const QString Acnt = QStringLiteral("RDB$USER IN ('ACNT', 'ACNT2')");

} // namespace

class TestPromises : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void namesakesKeepTheirOwn_data();
    void namesakesKeepTheirOwn();
    void optionFromTwoGrantorsTakesWhatItGave_data();
    void optionFromTwoGrantorsTakesWhatItGave();
    void ddlPrivilegeNobodyHoldsIsARow();
    void windowFollowsOtherSessions();
    void revokeTakesFromTheListOnlyWhoHoldsNothing();
    void rowsKeepListedWhatTheListsShow();
    void removalTakesTheMembershipsItNamed();
    void noRoleForItsNamesakeOnFirebird4();

private:
    // Whether the login may run the statement: empty when it may, else why not.
    [[nodiscard]] QString refusal(const QString &login, const QString &sql) const
    {
        return m_window.db->refusal(sql, login, login.toLower());
    }

    driver::WindowFixture m_window;
};

void TestPromises::initTestCase()
{
    ui::Application::setTitle(QStringLiteral("Kelvane"));
    for (const char *login : {"OLGA", "TINA", "CLERK"})
        testserver::createLogin(QLatin1String(login), QString::fromLatin1(login).toLower());
}

void TestPromises::init()
{
    m_window.start(QStringLiteral("PROMISES"), Schema);
    driver::chooseAlias(QStringLiteral("PROMISES"), testserver::password());
}

void TestPromises::cleanup()
{
    m_window.stop();
}

void TestPromises::namesakesKeepTheirOwn_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QStringList>("acntAfter"); // the user's and the role's rows
    QTest::addColumn<QString>("standsOn");
    const QString role = QStringLiteral("ACNT|13|T|0|S||0|SYSDBA");
    const QStringList user{"ACNT|8|NURSING|13|M||0|SYSDBA", "ACNT|8|T|0|S||0|SYSDBA",
                           "ACNT|8|T|0|U|F1|0|SYSDBA"};
    // INSERT on and off, then the membership off and on: each reaches the
    // user, never the role (on Firebird 4 a membership "TO ACNT" would be
    // the role's).
    QTest::newRow("toggles") << "toggles"
                             << QStringList{"GRANT INSERT ON T TO USER ACNT",
                                            "REVOKE INSERT ON T FROM USER ACNT",
                                            "REVOKE NURSING FROM USER ACNT",
                                            "GRANT NURSING TO USER ACNT"}
                             << QStringList{role, user[0], user[1], user[2]} << "user ACNT";
    QTest::newRow("copy") << "copy" << QStringList{"GRANT SELECT ON BED TO USER ACNT"}
                          << QStringList{role, "ACNT|8|BED|0|S||0|SYSDBA", user[0], user[1],
                                         user[2]}
                          << "user CLERK";
    QTest::newRow("rename") << "rename"
                            << QStringList{"GRANT NURSING TO acnt2",
                                           "REVOKE NURSING FROM USER ACNT",
                                           "GRANT SELECT ON T TO acnt2",
                                           "GRANT UPDATE (F1) ON T TO acnt2",
                                           "REVOKE ALL ON T FROM USER ACNT"}
                            << QStringList{"ACNT2|8|NURSING|13|M||0|SYSDBA",
                                           "ACNT2|8|T|0|S||0|SYSDBA", "ACNT2|8|T|0|U|F1|0|SYSDBA",
                                           role}
                            << "user ACNT2";
    QTest::newRow("removal") << "removal" << QStringList{"REVOKE ALL ON ALL FROM USER ACNT"}
                             << QStringList{role} << "role ACNT";
}

void TestPromises::namesakesKeepTheirOwn()
{
    QFETCH(QString, command);
    QFETCH(QStringList, sent);
    // On Firebird 3 the revoke of ACNT's UPDATE (F1) takes the new name's in
    // effect: the rename gives it back.
    if (command == QLatin1String("rename") && m_window.db->serverVersion() == 3)
        sent +=
            QStringList{"REVOKE UPDATE (F1) ON T FROM ACNT2", "GRANT UPDATE (F1) ON T TO ACNT2"};
    QFETCH(QStringList, acntAfter);
    QFETCH(QString, standsOn);
    const QStringList others = m_window.db->catalogue(QStringLiteral("NOT ") + Acnt);
    SqlLog log;
    // Users show by their names alone in the copy dialog.
    driver::CopyAnswer copied({QStringLiteral("ACNT")});
    driver::InputAnswer renamed(QStringLiteral("acnt2"));
    QString question;
    if (command == QLatin1String("toggles")) {
        select(QStringLiteral("ACNT (user)"), QStringLiteral("T"));
        for (int i = 0; i < 2; ++i)
            driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_I, Qt::ControlModifier);
        select(QStringLiteral("ACNT (user)"), QStringLiteral("NURSING"));
        for (int i = 0; i < 2; ++i)
            driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_X, Qt::ControlModifier);
    } else if (command == QLatin1String("copy")) {
        select(QStringLiteral("CLERK"), QStringLiteral("BED (table)"));
        driver::answerCopyDialog(&copied);
        driver::chooseFromEditMenu("UserCopyItem");
    } else {
        select(QStringLiteral("ACNT (user)"), QStringLiteral("T"));
        if (command == QLatin1String("rename"))
            driver::answerInput(&renamed);
        else
            answerConfirm(true, &question);
        driver::chooseFromEditMenu(command == QLatin1String("rename") ? "RenameItem"
                                                                      : "RemoveItem");
    }
    QVERIFY(testui::allAnswered());
    QCOMPARE(statements(log), sent);
    QCOMPARE(m_window.db->catalogue(Acnt), acntAfter);
    QCOMPARE(m_window.db->catalogue(QStringLiteral("NOT ") + Acnt), others);
    QCOMPARE(KelvaneForm->nameHint(*KelvaneForm->UserList, KelvaneForm->UserList->recNo()),
             standsOn);
    // The role gave its member what it held, and nothing of the user's.
    const auto asRole = [this](const QString &sql) {
        return m_window.db->refusal(sql, QStringLiteral("OLGA"), QStringLiteral("olga"),
                                    QStringLiteral("ACNT"));
    };
    QCOMPARE(asRole(QStringLiteral("SELECT * FROM T;")), QString());
    for (const char *sql :
         {"UPDATE T SET F1 = 3;", "INSERT INTO T VALUES (5, 5);", "SELECT * FROM BED;"})
        QVERIFY2(!asRole(QLatin1String(sql)).isEmpty(), sql);
}

void TestPromises::optionFromTwoGrantorsTakesWhatItGave_data()
{
    QTest::addColumn<QString>("relation");
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QStringList>("nurseAfter");
    QTest::addColumn<QString>("cells");
    QTest::addColumn<QString>("tinaSql"); // what TINA can no longer do
    const QString optionGoes = QStringLiteral("This takes grant options away, and with them what "
                                              "was granted with those options:\n");
    const QString privilegeGoes = QStringLiteral("This revokes privileges held with the grant "
                                                 "option, and with them what was granted with "
                                                 "that option:\n");
    const QStringList nurseOnT{"NURSE|8|T|0|U||1|SYSDBA"};
    // The server leaves TINA's SELECT: NURSE held it in two rows.
    QTest::newRow("the option")
        << "BED (table)" << int(Qt::Key_S)
        << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::ShiftModifier)
        << "Confirm:" + optionGoes + "SELECT on BED to TINA by NURSE\n\nGo on?"
        << (QStringList{"NURSE|8|BED|0|S||0|HOSP_DBO", "NURSE|8|BED|0|S||0|SYSDBA"} + nurseOnT)
        << "S...."
        << "SELECT * FROM BED;";
    QTest::newRow("the privilege")
        << "BED (table)" << int(Qt::Key_S) << Qt::KeyboardModifiers(Qt::ControlModifier)
        << "Confirm:" + privilegeGoes + "SELECT on BED to TINA by NURSE\n\nGo on?" << nurseOnT
        << "....."
        << "SELECT * FROM BED;";
    // The server's own cascade takes TINA's UPDATE (F2): on Firebird 3 that
    // drops CLERK's in effect, which the command gives back.
    QTest::newRow("a privilege passed on by column")
        << "T" << int(Qt::Key_U) << Qt::KeyboardModifiers(Qt::ControlModifier)
        << "Confirm:" + privilegeGoes + "UPDATE (F2) on T to TINA by NURSE\n\nGo on?"
        << QStringList{"NURSE|8|BED|0|S||1|HOSP_DBO", "NURSE|8|BED|0|S||1|SYSDBA"} << "....."
        << "UPDATE T SET F2 = 3;";
}

void TestPromises::optionFromTwoGrantorsTakesWhatItGave()
{
    QFETCH(QString, relation);
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QString, tinaSql);
    QVERIFY(refusal(QStringLiteral("TINA"), tinaSql).isEmpty());
    const QStringList clerk = m_window.db->catalogue(QStringLiteral("RDB$USER = 'CLERK'"));
    select(QStringLiteral("NURSE"), relation);
    QString question;
    answerConfirm(true, &question);
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key(key), modifiers);
    QVERIFY(testui::allAnswered());
    QTEST(question, "question");
    QTEST(m_window.db->catalogue(QStringLiteral("RDB$USER = 'NURSE'")), "nurseAfter");
    // What the question named is gone, in the catalogue and in effect.
    QCOMPARE(m_window.db->catalogue(QStringLiteral("RDB$USER = 'TINA' AND RDB$GRANTOR = 'NURSE' "
                                                   "AND RDB$RELATION_NAME = '%1'")
                                        .arg(relation.section(QLatin1Char(' '), 0, 0))),
             QStringList());
    QVERIFY(!refusal(QStringLiteral("TINA"), tinaSql).isEmpty());
    // CLERK's UPDATE (F2) stands, in the catalogue and in effect.
    QCOMPARE(m_window.db->catalogue(QStringLiteral("RDB$USER = 'CLERK'")), clerk);
    QCOMPARE(refusal(QStringLiteral("CLERK"), QStringLiteral("UPDATE T SET F2 = 4;")), QString());
    QCOMPARE(currentMaster(), QStringLiteral("NURSE"));
    QCOMPARE(currentDetail(), relation.section(QLatin1Char(' '), 0, 0));
    QTEST(cellsOf(relation), "cells");
}

void TestPromises::revokeTakesFromTheListOnlyWhoHoldsNothing()
{
    // Nobody holds BEDSIDE but LONER, not even its owner.
    m_window.db->run(QStringLiteral("GRANT SELECT ON BED TO LONER; CREATE TABLE BEDSIDE (ID "
                                    "INTEGER); REVOKE ALL ON BEDSIDE FROM SYSDBA;\n"
                                    "GRANT SELECT, INSERT ON BEDSIDE TO LONER;"));
    driver::typeInto(KelvaneForm->MasterGrid, Qt::Key_F5);
    const QString stillListed = KelvaneForm->StillListedQuery.sqlText();
    const QString objectListed = KelvaneForm->ObjectListedQuery.sqlText();
    // By User, BEDSIDE stays while LONER keeps SELECT on it and leaves with it;
    // By Relation, CLERK holds more than SELECT on BED and stays, LONER held
    // that alone and leaves. Nothing is asked after the revoke: the
    // grantee's rows and whether the object is still listed come back in
    // its own round trip.
    for (const auto &[byUser, user, relation, key, told, next] :
         {std::tuple(true, QStringLiteral("LONER"), QStringLiteral("BEDSIDE"), Qt::Key_I, QString(),
                     QStringLiteral("BEDSIDE")),
          std::tuple(
              true, QStringLiteral("LONER"), QStringLiteral("BEDSIDE"), Qt::Key_S,
              QStringLiteral(
                  "Nobody holds a privilege on BEDSIDE any more: it has left the "
                  "list of relations, which now stands on DDL privilege CREATE CHARACTER SET."),
              QStringLiteral("CREATE CHARACTER SET")),
          std::tuple(false, QStringLiteral("CLERK"), QStringLiteral("BED (table)"), Qt::Key_S,
                     QString(), QStringLiteral("CLERK")),
          std::tuple(false, QStringLiteral("LONER"), QStringLiteral("BED (table)"), Qt::Key_S,
                     QStringLiteral("LONER holds no privilege any more and has left the list of "
                                    "users, which now stands on user NURSE."),
                     QStringLiteral("NURSE"))}) {
        (byUser ? KelvaneForm->ByUserRadio : KelvaneForm->ByTableRadio)->click();
        select(user, relation);
        SqlLog log;
        QString message;
        if (!told.isEmpty())
            driver::answerMessage(&message);
        driver::typeInto(KelvaneForm->DetailGrid, key, Qt::ControlModifier);
        QVERIFY(testui::allAnswered());
        QCOMPARE(message, told);
        QCOMPARE(statements(log).size(), 1);
        const QStringList opens = log.linesOf(QStringLiteral("open"));
        const auto opened = [&opens](const QString &sql) {
            return std::count_if(opens.begin(), opens.end(),
                                 [&sql](const QString &line) { return line.startsWith(sql); });
        };
        QCOMPARE(opened(stillListed), 0);
        QCOMPARE(opened(objectListed), 1);
        QCOMPARE(currentDetail(), next);
    }
    QVERIFY(!driver::namesOf(KelvaneForm->DetailGrid).contains(QStringLiteral("LONER")));
    QVERIFY(driver::namesOf(KelvaneForm->DetailGrid).contains(QStringLiteral("CLERK")));
    QCOMPARE(m_window.db->catalogue(QStringLiteral("RDB$USER IN ('CLERK', 'LONER') AND "
                                                   "RDB$RELATION_NAME IN ('BED', 'BEDSIDE') AND "
                                                   "RDB$OBJECT_TYPE = 0")),
             QStringList());
    // In effect: CLERK can no longer read BED; TINA, who holds SELECT on it
    // from NURSE, still can.
    QVERIFY(!refusal(QStringLiteral("CLERK"), QStringLiteral("SELECT * FROM BED;")).isEmpty());
    QCOMPARE(refusal(QStringLiteral("TINA"), QStringLiteral("SELECT * FROM BED;")), QString());
}

// A name the rows read after a command show listed is not asked about: what
// the program takes for listed is what the lists' own conditions pick, over
// every kind of object and grantee.
void TestPromises::rowsKeepListedWhatTheListsShow()
{
    m_window.db->run(QStringLiteral(
        "CREATE EXCEPTION OOPS 'oops'; CREATE PROCEDURE P1 AS BEGIN END;\n"
        "CREATE VIEW V1 AS SELECT ID FROM BED; GRANT USAGE ON EXCEPTION OOPS TO CLERK;\n"
        "GRANT EXECUTE ON PROCEDURE P1 TO VIEW V1; GRANT SELECT ON T TO PROCEDURE P1;\n"
        "GRANT CREATE TABLE TO CLERK; GRANT ALTER ANY ROLE TO ROLE SURGERY;"));
    QSet<QString> byRows;
    for (const QString &text : m_window.db->column(QStringLiteral(
             "SELECT TRIM(RDB$USER) || '|' || RDB$USER_TYPE || '|' || TRIM(RDB$RELATION_NAME) || "
             "'|' || RDB$OBJECT_TYPE || '|' || TRIM(RDB$PRIVILEGE) FROM RDB$USER_PRIVILEGES"))) {
        const QStringList field = text.split(QLatin1Char('|'));
        const db::GrantRow row = db::asListRow(
            {field[0], field[1].toInt(), field[2], field[3].toInt(), field[4].front(), {}, 0, {}});
        for (const db::ListedName &name : db::namesListedBy(row))
            byRows.insert(
                QStringLiteral("%1:%2:%3").arg(int(name.side)).arg(name.name).arg(name.kind));
    }
    const QStringList listed = m_window.db->column(
        QStringLiteral("SELECT '0:' || TRIM(RDB$USER) || ':' || RDB$USER_TYPE FROM "
                       "RDB$USER_PRIVILEGES WHERE %1 UNION SELECT '1:' || TRIM(RDB$RELATION_NAME) "
                       "|| ':' || RDB$OBJECT_TYPE FROM RDB$USER_PRIVILEGES WHERE %2")
            .arg(db::usersListConditionSql(), db::relationsListConditionSql()));
    QCOMPARE(byRows, QSet<QString>(listed.begin(), listed.end()));
    QVERIFY(byRows.contains(QStringLiteral("0:V1:1")) &&
            byRows.contains(QStringLiteral("1:OOPS:7")));
}

void TestPromises::removalTakesTheMembershipsItNamed()
{
    // Firebird 4 leaves the memberships a removed user gave, and revokes
    // one from every grantor at once: OLGA's goes, TINA's from SYSDBA stays.
    select(QStringLiteral("HEAD"), QStringLiteral("SURGERY"));
    const QString touched = QStringLiteral("RDB$USER IN ('HEAD', 'OLGA', 'TINA')");
    QStringList expected = m_window.db->catalogue(touched);
    for (const char *gone : {"HEAD|8|SURGERY|13|M||2|SYSDBA", "OLGA|8|SURGERY|13|M||0|HEAD",
                             "TINA|8|SURGERY|13|M||0|HEAD"})
        QVERIFY2(expected.removeAll(QLatin1String(gone)) == 1, gone);
    QString question, report;
    answerConfirm(true, &question);
    driver::answerMessage(&report);
    SqlLog log;
    driver::chooseFromEditMenu("RemoveItem");
    QVERIFY(testui::allAnswered());
    // A revoke on every object has no object of its own to ask about.
    const QStringList opens = log.linesOf(QStringLiteral("open"));
    QVERIFY(std::none_of(opens.begin(), opens.end(), [](const QString &line) {
        return line.startsWith(KelvaneForm->ObjectListedQuery.sqlText());
    }));
    for (const QString &text : {question, report})
        QVERIFY2(text.contains(QLatin1String("membership of role SURGERY to OLGA\n"
                                             "membership of role SURGERY to TINA")),
                 qPrintable(text));
    // Every other row of the three stays as it was, TINA's SYSDBA grant too.
    QCOMPARE(m_window.db->catalogue(touched), expected);
    QVERIFY(expected.contains(QStringLiteral("TINA|8|SURGERY|13|M||0|SYSDBA")));
    // HEAD has left the list; the window stands on a user it shows.
    QVERIFY(!driver::namesOf(KelvaneForm->MasterGrid).contains(QStringLiteral("HEAD")));
    QVERIFY(driver::namesOf(KelvaneForm->MasterGrid).contains(currentMaster()));
    const auto inWard = [this](const QString &login) {
        return m_window.db->refusal(QStringLiteral("SELECT * FROM BED;"), login, login.toLower(),
                                    QStringLiteral("SURGERY"));
    };
    QVERIFY(!inWard(QStringLiteral("OLGA")).isEmpty());
    QCOMPARE(inWard(QStringLiteral("TINA")), QString());
}

void TestPromises::noRoleForItsNamesakeOnFirebird4()
{
    // Firebird 4 would take it for the role granted to itself, and refuse
    // OLGA in the role from then on; Firebird 3 grants it as asked.
    const bool firebird4 = m_window.db->serverVersion() >= 4;
    select(QStringLiteral("ACNT (user)"), QStringLiteral("ACNT"));
    SqlLog log;
    QString refused;
    if (firebird4)
        driver::answerMessage(&refused);
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_X, Qt::ControlModifier);
    QVERIFY(testui::allAnswered());
    QCOMPARE(statements(log), firebird4 ? QStringList() : QStringList{"GRANT ACNT TO USER ACNT"});
    QCOMPARE(refused.contains(QLatin1String("The role ACNT cannot be given to the user ACNT")),
             firebird4);
    QCOMPARE(m_window.db->refusal(QStringLiteral("SELECT * FROM T;"), QStringLiteral("OLGA"),
                                  QStringLiteral("olga"), QStringLiteral("ACNT")),
             QString());
}

void TestPromises::ddlPrivilegeNobodyHoldsIsARow()
{
    // Nobody holds CREATE VIEW: its row is there all the same, and stays
    // when its one holder goes.
    select(QStringLiteral("CLERK"), QStringLiteral("CREATE VIEW"));
    const QString create = QStringLiteral("CREATE VIEW V_%1 AS SELECT ID FROM BED;");
    QVERIFY(!refusal(QStringLiteral("CLERK"), create.arg(1)).isEmpty());
    SqlLog log;
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(cellsOf(QStringLiteral("CREATE VIEW")), QStringLiteral("....X"));
    QCOMPARE(refusal(QStringLiteral("CLERK"), create.arg(2)), QString());
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(statements(log),
             (QStringList{"GRANT CREATE VIEW TO CLERK", "REVOKE CREATE VIEW FROM CLERK"}));
    QCOMPARE(currentDetail(), QStringLiteral("CREATE VIEW"));
    QCOMPARE(cellsOf(QStringLiteral("CREATE VIEW")), QStringLiteral("....."));
    QVERIFY(!refusal(QStringLiteral("CLERK"), create.arg(3)).isEmpty());

    // A row that does go when its last holder does is said to have gone:
    // the highlight stands on another, which the next key would act on.
    select(QStringLiteral("CLERK"), QStringLiteral("AUDITING"));
    QString told;
    driver::answerMessage(&told);
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_X, Qt::ControlModifier);
    QVERIFY(testui::allAnswered());
    QVERIFY2(told.startsWith(QLatin1String("Nobody holds a privilege on AUDITING any more: it has "
                                           "left the list of relations, which now stands on ")),
             qPrintable(told));
    QVERIFY(currentDetail() != QLatin1String("AUDITING"));
}

void TestPromises::windowFollowsOtherSessions()
{
    select(QStringLiteral("CLERK"), QStringLiteral("BED (table)"));
    QCOMPARE(cellsOf(QStringLiteral("BED (table)")), QStringLiteral("S...."));
    // Another session gives DELETE, then takes SELECT: each key says what
    // it found, and sends nothing.
    SqlLog log;
    for (const auto &[change, key, said] :
         {std::tuple(QStringLiteral("GRANT DELETE ON BED TO CLERK GRANTED BY BOSS;"), Qt::Key_D,
                     QStringLiteral("CLERK already holds DELETE on table BED: it was granted by "
                                    "BOSS since the grid was read; nothing to grant.")),
          std::tuple(QStringLiteral("REVOKE SELECT ON BED FROM CLERK;"), Qt::Key_S,
                     QStringLiteral("CLERK no longer holds SELECT on table BED: nothing to "
                                    "revoke."))}) {
        m_window.db->run(change);
        QString told;
        driver::answerMessage(&told);
        driver::typeInto(KelvaneForm->DetailGrid, key, Qt::ControlModifier);
        QVERIFY(testui::allAnswered());
        QCOMPARE(told, said);
    }
    // A table has no EXECUTE, nor an option for one to be granted first.
    QString told;
    driver::answerMessage(&told);
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_X, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(testui::allAnswered());
    QCOMPARE(told, QStringLiteral("table BED has no EXECUTE privilege, and so no grant option "
                                  "for it."));
    QCOMPARE(statements(log), QStringList());
    QCOMPARE(cellsOf(QStringLiteral("BED (table)")), QStringLiteral("...D."));
    // The grid shows DELETE from BOSS alone; another session gives it too.
    // The revoke planned from the grid is held back, and the one made from
    // the cell as read takes both.
    m_window.db->run(QStringLiteral("GRANT DELETE ON BED TO CLERK;"));
    log.clear();
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_D, Qt::ControlModifier);
    QStringList revokes = statements(log);
    revokes.sort(); // the grantors come in the catalogue's order
    QCOMPARE(revokes, (QStringList{"REVOKE DELETE ON BED FROM CLERK",
                                   "REVOKE DELETE ON BED FROM CLERK GRANTED BY BOSS"}));
    QCOMPARE(m_window.db->catalogue(QStringLiteral("RDB$USER = 'CLERK' AND RDB$RELATION_NAME = "
                                                   "'BED' AND RDB$OBJECT_TYPE = 0")),
             QStringList());
    QCOMPARE(cellsOf(QStringLiteral("BED (table)")), QStringLiteral("....."));
    // F5 reads everything again and stays on the pair: a relation granted
    // meanwhile shows in the list.
    m_window.db->run(
        QStringLiteral("CREATE TABLE WARD (ID INTEGER); GRANT INSERT ON WARD TO CLERK;"));
    QVERIFY(!driver::namesOf(KelvaneForm->DetailGrid).contains(QStringLiteral("WARD")));
    log.clear();
    driver::typeInto(KelvaneForm->MasterGrid, Qt::Key_F5);
    // The procedures, the views and both lists come in the connection's one
    // statement; then the cells of the pair.
    const QStringList opens = log.linesOf(QStringLiteral("open"));
    QCOMPARE(opens.size(), 2);
    QCOMPARE(opens.constFirst(), KelvaneForm->ConnectQuery.sqlText());
    QCOMPARE(cellsOf(QStringLiteral("WARD")), QStringLiteral("..I.."));
    QCOMPARE(currentMaster(), QStringLiteral("CLERK"));
    QCOMPARE(currentDetail(), QStringLiteral("BED"));
    QCOMPARE(KelvaneForm->nameHint(KelvaneForm->DetailQuery, KelvaneForm->DetailQuery.recNo()),
             QStringLiteral("table BED"));
    // A role named like a user, made since the roles were last read: the
    // grant is held back, made again naming the user, and reaches him.
    m_window.db->run(QStringLiteral("CREATE ROLE NEMO; GRANT SELECT ON BED TO USER NEMO;"));
    driver::typeInto(KelvaneForm->MasterGrid, Qt::Key_F5);
    select(QStringLiteral("NEMO"), QStringLiteral("BED (table)"));
    log.clear();
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_I, Qt::ControlModifier);
    QCOMPARE(statements(log), QStringList{"GRANT INSERT ON BED TO USER NEMO"});
    QCOMPARE(m_window.db->catalogue(QStringLiteral("RDB$USER = 'NEMO'")),
             (QStringList{"NEMO|8|BED|0|I||0|SYSDBA", "NEMO|8|BED|0|S||0|SYSDBA"}));
    // The role goes since the window read the roles: the revoke planned from
    // the grid names the user with USER, is held back, and is made again
    // from the roles as they now are.
    m_window.db->run(QStringLiteral("DROP ROLE NEMO;"));
    log.clear();
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_I, Qt::ControlModifier);
    QCOMPARE(statements(log), QStringList{"REVOKE INSERT ON BED FROM NEMO"});
    QCOMPARE(m_window.db->catalogue(QStringLiteral("RDB$USER = 'NEMO'")),
             QStringList{"NEMO|8|BED|0|S||0|SYSDBA"});
}

QTEST_MAIN(TestPromises)
#include "tst_promises.moc"
