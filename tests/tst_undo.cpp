// One letter on every row shown, and the way back: each scenario runs a
// command through the window, checks the catalogue and what the logins can
// do, then takes it back with Ctrl+Z and does it again with Ctrl+Shift+Z,
// comparing the whole catalogue each time.
#include "MainWindowDriver.h"
#include "TestServer.h"
#include "app/PrivEdit.h"
#include "app/Privileges.h"
#include "app/UndoJournal.h"
#include "ui/Application.h"
#include "ui/DBGrid.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QTest>

using driver::answerConfirm;
using driver::select;

namespace {

// FRED holds SELECT on ARC_T01 from BOSS, and INSERT on ARC_T02 with the
// option, which he passed on to CAROL; HELEN holds what a rename carries.
const char *const Schema = R"(
CREATE TABLE ARC_T01 (ID INTEGER);
CREATE TABLE ARC_T02 (ID INTEGER);
CREATE TABLE ARC_T03 (ID INTEGER);
CREATE TABLE ARC_T04 (ID INTEGER);
CREATE TABLE ARC_T05 (ID INTEGER);
CREATE TABLE ARC_T06 (ID INTEGER);
CREATE TABLE ARC_T07 (ID INTEGER);
CREATE TABLE ARC_T08 (ID INTEGER);
CREATE TABLE ARC_T09 (ID INTEGER);
CREATE TABLE ARC_T10 (ID INTEGER);
CREATE TABLE ARC_T11 (ID INTEGER);
CREATE TABLE ARC_T12 (ID INTEGER);
CREATE TABLE WARD (ID INTEGER);
CREATE SEQUENCE SQ;
SET TERM ^;
CREATE PROCEDURE P AS BEGIN END^
SET TERM ;^
GRANT SELECT ON ARC_T01 TO FRED GRANTED BY BOSS;
GRANT INSERT ON ARC_T02 TO FRED WITH GRANT OPTION;
GRANT INSERT ON ARC_T02 TO CAROL GRANTED BY FRED;
GRANT SELECT ON ARC_T03 TO CAROL;
GRANT USAGE ON SEQUENCE SQ TO CAROL;
GRANT SELECT ON WARD TO HELEN WITH GRANT OPTION;
GRANT UPDATE (ID) ON ARC_T04 TO HELEN;
GRANT SELECT ON WARD TO CAROL GRANTED BY HELEN;
GRANT SELECT ON ARC_T05 TO PROCEDURE P;
)";

// The item's caption as the edit menu shows it, and whether it is enabled.
QString editMenuCaption(const char *item)
{
    QString caption;
    (void)driver::openContextMenu(KelvaneForm->MasterGrid, [&](QMenu *menu) {
        const QAction *action = menu->findChild<QAction *>(QLatin1String(item));
        caption = action->text() + (action->isEnabled() ? QString() : QStringLiteral(" (off)"));
        menu->close();
    });
    return caption;
}

QString undoCaption()
{
    return editMenuCaption("UndoItem");
}

QString redoCaption()
{
    return editMenuCaption("RedoItem");
}

QStringList withoutFred(QStringList rows)
{
    rows.removeIf([](const QString &row) { return row.startsWith(QLatin1String("FRED|")); });
    return rows;
}

QString refusal(const testserver::TestDatabase &db, const char *sql, const QString &login)
{
    return db.refusal(QLatin1String(sql), login, login.toLower());
}

void press(Qt::KeyboardModifiers modifiers)
{
    driver::typeInto(KelvaneForm->MasterGrid, Qt::Key_Z, modifiers);
}

} // namespace

class TestUndo : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void letterOnEveryRelationShown();
    void optionFromEveryGranteeShown();
    void undoRenameStandsOnItsPair();
    void undoRefusedWhileAnotherSessionChangedIt();
    void grantReadsItsGranteeOnceAfter();
    void journalKeepsTenSteps();
    void removalUndoneWholeWhereOptionsReachMany();

private:
    [[nodiscard]] QStringList catalogue() const { return m_window.db->catalogue(); }

    driver::WindowFixture m_window;
};

void TestUndo::initTestCase()
{
    ui::Application::setTitle(QStringLiteral("Kelvane"));
    for (const char *login : {"FRED", "CAROL"})
        testserver::createLogin(QLatin1String(login), QString::fromLatin1(login).toLower());
}

void TestUndo::init()
{
    m_window.start(QStringLiteral("UNDO"), Schema);
    driver::chooseAlias(QStringLiteral("UNDO"), testserver::password());
}

void TestUndo::cleanup()
{
    m_window.stop();
}

void TestUndo::letterOnEveryRelationShown()
{
    select(QStringLiteral("FRED"), QStringLiteral("ARC_T01"));
    // The filter leaves the twelve ARC tables; ARC_T01 holds SELECT already.
    QTest::keyClicks(KelvaneForm->DetailFilter, QStringLiteral("ARC"));
    QCOMPARE(KelvaneForm->DetailQuery.recordCount(), 12);
    const QStringList before = catalogue();
    QString question;
    answerConfirm(true, &question);
    driver::chooseFromMenu(KelvaneForm->DetailGrid, "GrantEachItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(question, QStringLiteral("Confirm:Grant SELECT to FRED on 11 relations: ARC_T02, "
                                      "ARC_T03, ARC_T04, ARC_T05, ARC_T06, ARC_T07, ARC_T08, "
                                      "ARC_T09, ARC_T10, ARC_T11, … and 1 more?"));
    const QStringList after = catalogue();
    QStringList fred = m_window.db->catalogue(QStringLiteral("RDB$USER = 'FRED'"));
    QCOMPARE(fred.size(), 13);
    QVERIFY(fred.contains(QStringLiteral("FRED|8|ARC_T01|0|S||0|BOSS")));
    QVERIFY(fred.contains(QStringLiteral("FRED|8|ARC_T12|0|S||0|SYSDBA")));
    QCOMPARE(withoutFred(after), withoutFred(before));
    QCOMPARE(refusal(*m_window.db, "SELECT * FROM ARC_T12;", QStringLiteral("FRED")), QString());
    QCOMPARE(driver::cellsOf(QStringLiteral("ARC_T12")), QStringLiteral("S...."));

    // EXECUTE applies to none of the tables shown: nothing is asked or sent.
    testui::MessageCollector said;
    driver::clickDetailCell(QStringLiteral("ARC_T02"), ExecuteColumn);
    driver::chooseFromMenu(KelvaneForm->DetailGrid, "GrantEachItem");
    QTRY_COMPARE(said.texts.size(), 1);
    QVERIFY(said.texts.constFirst().startsWith(QLatin1String("Nothing to change")));
    QCOMPARE(catalogue(), after);

    QCOMPARE(undoCaption(), QStringLiteral("Undo grant SELECT to FRED on 11 relations\tCtrl+Z"));
    press(Qt::ControlModifier);
    QCOMPARE(catalogue(), before);
    QCOMPARE(driver::currentMaster(), QStringLiteral("FRED"));
    QCOMPARE(redoCaption(),
             QStringLiteral("Redo grant SELECT to FRED on 11 relations\tCtrl+Shift+Z"));
    press(Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(catalogue(), after);
    QCOMPARE(driver::cellsOf(QStringLiteral("ARC_T12")), QStringLiteral("S...."));
}

void TestUndo::optionFromEveryGranteeShown()
{
    // By Relation on ARC_T02: FRED's option goes, and with it CAROL's
    // INSERT that FRED gave; the undo brings back both, CAROL's granted by
    // FRED as before.
    KelvaneForm->ByTableRadio->click();
    select(QStringLiteral("FRED"), QStringLiteral("ARC_T02"));
    // SYSDBA, the owner, holds the option too: the filter leaves FRED alone.
    QTest::keyClicks(KelvaneForm->DetailFilter, QStringLiteral("FR"));
    driver::clickDetailCell(QStringLiteral("FRED"), 3);
    const QStringList before = catalogue();
    QString question, cascade;
    answerConfirm(true, &question);
    answerConfirm(true, &cascade);
    driver::chooseFromMenu(KelvaneForm->DetailGrid, "RevokeEachOptionItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(question, QStringLiteral("Confirm:Revoke the grant option for INSERT on ARC_T02 "
                                      "from 1 grantee: FRED?"));
    QVERIFY2(cascade.contains(QLatin1String("INSERT on ARC_T02 to CAROL by FRED")),
             qPrintable(cascade));
    QCOMPARE(m_window.db->catalogue(
                 QStringLiteral("RDB$RELATION_NAME = 'ARC_T02' AND RDB$USER <> 'SYSDBA'")),
             QStringList{QStringLiteral("FRED|8|ARC_T02|0|I||0|SYSDBA")});
    QVERIFY(!refusal(*m_window.db, "INSERT INTO ARC_T02 VALUES (1);", QStringLiteral("CAROL"))
                 .isEmpty());

    press(Qt::ControlModifier);
    QCOMPARE(catalogue(), before);
    QCOMPARE(refusal(*m_window.db, "INSERT INTO ARC_T02 VALUES (1);", QStringLiteral("CAROL")),
             QString());
    QCOMPARE(driver::currentMaster(), QStringLiteral("ARC_T02"));
    QCOMPARE(driver::currentDetail(), QStringLiteral("FRED"));
}

void TestUndo::undoRenameStandsOnItsPair()
{
    select(QStringLiteral("HELEN"), QStringLiteral("WARD"));
    const QStringList before = catalogue();
    driver::InputAnswer renamed(QStringLiteral("helen2"));
    driver::answerInput(&renamed);
    driver::chooseFromEditMenu("RenameItem");
    QVERIFY(testui::allAnswered());
    const QStringList after = catalogue();
    QVERIFY(after.contains(QStringLiteral("CAROL|8|WARD|0|S||0|HELEN2")));
    QCOMPARE(driver::currentMaster(), QStringLiteral("HELEN2"));
    // Elsewhere meanwhile: the undo still finds its pair.
    select(QStringLiteral("CAROL"), QStringLiteral("SQ"));

    QCOMPARE(undoCaption(), QStringLiteral("Undo rename of HELEN to HELEN2\tCtrl+Z"));
    press(Qt::ControlModifier);
    QCOMPARE(catalogue(), before);
    QCOMPARE(driver::currentMaster(), QStringLiteral("HELEN"));
    QCOMPARE(driver::currentDetail(), QStringLiteral("WARD"));
    QCOMPARE(undoCaption(), QStringLiteral("Undo\tCtrl+Z (off)"));

    press(Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(catalogue(), after);
    // A new command leaves nothing to redo.
    press(Qt::ControlModifier);
    select(QStringLiteral("CAROL"), QStringLiteral("ARC_T03"));
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_D, Qt::ControlModifier);
    QCOMPARE(redoCaption(), QStringLiteral("Redo\tCtrl+Shift+Z (off)"));
    QCOMPARE(undoCaption(), QStringLiteral("Undo grant of DELETE on ARC_T03 to CAROL\tCtrl+Z"));
}

void TestUndo::undoRefusedWhileAnotherSessionChangedIt()
{
    select(QStringLiteral("CAROL"), QStringLiteral("ARC_T03"));
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_I, Qt::ControlModifier);
    const QStringList granted = catalogue();
    m_window.db->run(QStringLiteral("GRANT DELETE ON ARC_T03 TO CAROL;"));
    const QStringList changedElsewhere = catalogue();
    {
        testui::MessageCollector said;
        press(Qt::ControlModifier);
        QTRY_COMPARE(said.texts.size(), 1);
        QCOMPARE(said.texts.constFirst(),
                 QStringLiteral("Undo of grant of INSERT on ARC_T03 to CAROL: nothing was sent. "
                                "Another session has changed what the command left:\n"
                                "granted since: DELETE on ARC_T03 to CAROL by SYSDBA."));
    }
    QCOMPARE(catalogue(), changedElsewhere);
    // Once the other session takes its change back, the step is still there.
    m_window.db->run(QStringLiteral("REVOKE DELETE ON ARC_T03 FROM CAROL;"));
    QCOMPARE(catalogue(), granted);
    press(Qt::ControlModifier);
    QVERIFY(!m_window.db->catalogue(QStringLiteral("RDB$USER = 'CAROL'"))
                 .contains(QStringLiteral("CAROL|8|ARC_T03|0|I||0|SYSDBA")));
}

// A toggle's grant reads the grantee's rows before it, for the check of the
// cell and the way back, and once after it: the cells and the way back take
// the same rows. Taking them back still brings back every row, a
// procedure's of the same name included.
void TestUndo::grantReadsItsGranteeOnceAfter()
{
    m_window.db->run(QStringLiteral("SET TERM ^;\nCREATE PROCEDURE CAROL AS BEGIN END^\nSET TERM "
                                    ";^\nGRANT SELECT ON ARC_T03 TO PROCEDURE CAROL;"));
    KelvaneForm->RefreshPrivileges();
    select(QStringLiteral("CAROL"), QStringLiteral("ARC_T03"));
    const QStringList before = catalogue();
    SqlLog log;
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_I, Qt::ControlModifier);
    QCOMPARE(driver::statements(log), QStringList{"GRANT INSERT ON ARC_T03 TO CAROL"});
    const QStringList reads = log.linesOf(QStringLiteral("open"));
    QCOMPARE(reads.size(), 2);
    for (const QString &read : reads)
        QVERIFY2(read.contains(QLatin1String("WHERE RDB$USER = :Grantee")), qPrintable(read));
    QCOMPARE(KelvaneForm->DetailQueryInsert->text(), QStringLiteral("I"));
    QCOMPARE(KelvaneForm->DetailQuerySelect->text(), QStringLiteral("S"));
    QVERIFY(catalogue().contains(QStringLiteral("CAROL|8|ARC_T03|0|I||0|SYSDBA")));

    press(Qt::ControlModifier);
    QCOMPARE(catalogue(), before);
    QCOMPARE(KelvaneForm->DetailQueryInsert->text(), QString());
}

void TestUndo::journalKeepsTenSteps()
{
    TUndoJournal journal([](const db::UndoScope &) { return QList<db::GrantRow>(); });
    for (int i = 1; i <= 12; ++i)
        journal.recordDone({QString::number(i), {}, {}, {}, {}, {}});
    QCOMPARE(journal.nextUndo()->name, QStringLiteral("12"));
    journal.recordUndone({QStringLiteral("12"), {}, {}, {}, {}, {}});
    int undoable = 0;
    for (; journal.nextUndo(); ++undoable)
        journal.dropNextUndo();
    QCOMPARE(undoable, 10);
    QCOMPARE(journal.nextRedo()->name, QStringLiteral("12"));
    journal.recordDone({QStringLiteral("13"), {}, {}, {}, {}, {}});
    QVERIFY(!journal.nextRedo());
}

QTEST_MAIN(TestUndo)
#include "tst_undo.moc"

// The removal of a user holding options on more objects than the statement
// of a few names takes reads its reach through the packed block: the user's
// own rows there, reached by the grantee and again by each object, count
// once, so that the undo finds what the removal left and brings back every
// row, the grants made from the options included, in effect too.
void TestUndo::removalUndoneWholeWhereOptionsReachMany()
{
    const QString user = QStringLiteral("Zoë:1");
    QString script;
    for (int table = 6; table <= 11; ++table) {
        script += QStringLiteral("GRANT SELECT ON ARC_T%1 TO \"Zoë:1\" WITH GRANT OPTION;\n"
                                 "GRANT SELECT ON ARC_T%1 TO CAROL GRANTED BY \"Zoë:1\";\n")
                      .arg(table, 2, 10, QLatin1Char('0'));
    }
    // FRED holds the same SELECT from SYSDBA: the removal leaves it to him.
    script += QStringLiteral("GRANT SELECT ON ARC_T11 TO FRED;\n");
    m_window.db->run(script);
    driver::chooseAlias(QStringLiteral("UNDO"), testserver::password());
    select(user, QStringLiteral("ARC_T06"));
    const QStringList before = catalogue();
    QString question, cascade;
    answerConfirm(true, &question);
    driver::answerMessage(&cascade);
    driver::chooseFromEditMenu("RemoveItem");
    QVERIFY(testui::allAnswered());
    QVERIFY2(question.contains(user), qPrintable(question));
    QVERIFY2(cascade.contains(QLatin1String("SELECT on ARC_T11 to CAROL")), qPrintable(cascade));
    const QStringList after = catalogue();
    for (const QString &row : after)
        QVERIFY2(!row.contains(user), qPrintable(row));
    QCOMPARE(before.size() - after.size(), 12);
    QVERIFY(!refusal(*m_window.db, "SELECT * FROM ARC_T11;", QStringLiteral("CAROL")).isEmpty());
    QCOMPARE(refusal(*m_window.db, "SELECT * FROM ARC_T11;", QStringLiteral("FRED")), QString());
    // The screen shows what the next command acts on: the user is gone.
    QVERIFY(!driver::namesOf(KelvaneForm->MasterGrid).contains(user));

    press(Qt::ControlModifier);
    QCOMPARE(catalogue(), before);
    QCOMPARE(driver::currentMaster(), user);
    QCOMPARE(driver::cellsOf(QStringLiteral("ARC_T11")), QStringLiteral("S...."));
    QCOMPARE(refusal(*m_window.db, "SELECT * FROM ARC_T11;", QStringLiteral("CAROL")), QString());
    press(Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(catalogue(), after);
}
