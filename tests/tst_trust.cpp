// What the window shows is what a command does, and access still works
// afterwards: on a catalogue with column-level holders, two grantors, a
// procedure, PUBLIC and a package grantee, each command is checked in the
// catalogue and, where access is the point, by logging in as the holder.
#include "MainWindowDriver.h"
#include "TestServer.h"
#include "app/Forms.h"
#include "app/PrivEdit.h"
#include "dialogs/DBLogin.h"
#include "ui/Application.h"
#include "ui/DBGrid.h"
#include "ui/QuitSignals.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTest>
#include <QTimer>
#include <csignal>

using driver::answerConfirm;
using driver::answerCopyDialog;
using driver::answerInput;
using driver::cellsOf;
using driver::CopyAnswer;
using driver::currentDetail;
using driver::currentMaster;
using driver::InputAnswer;
using driver::select;
using driver::statements;

namespace {

// BOB's UPDATE (ADDRESS) is the right that must survive what is done to
// ALICE's. HEAVY holds three privileges on each of 250 tables: renaming it
// takes more than one batch.
const char *const Schema = R"(
CREATE TABLE PATIENT (ID INTEGER NOT NULL PRIMARY KEY, ADDRESS VARCHAR(40), PHONE VARCHAR(20));
INSERT INTO PATIENT VALUES (1, 'Lane 1', '555');
CREATE TABLE WARD (ID INTEGER);
SET TERM ^ ;
CREATE PROCEDURE P_ADMIT AS BEGIN END^
CREATE PACKAGE PK_LAB AS BEGIN PROCEDURE RUN; END^
CREATE PACKAGE BODY PK_LAB AS BEGIN PROCEDURE RUN AS BEGIN END END^
SET TERM ; ^
GRANT UPDATE (ADDRESS) ON PATIENT TO BOB;
GRANT SELECT, UPDATE (ADDRESS) ON PATIENT TO ALICE;
GRANT EXECUTE ON PROCEDURE P_ADMIT TO ALICE;
GRANT SELECT ON WARD TO CLERK;
GRANT SELECT ON WARD TO PUBLIC;
GRANT SELECT ON WARD TO PACKAGE PK_LAB;
)";

const QString UpdateAddress = QStringLiteral("UPDATE PATIENT SET ADDRESS = 'Lane 2';");

// Presses Enter in the next question and keeps its text: what a hurried
// administrator does.
void pressEnterOnConfirm(QString *text)
{
    testui::whenModal([text](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        *text = box->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
}

} // namespace

class TestTrust : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void columnRightsSurviveEveryRevoke_data();
    void columnRightsSurviveEveryRevoke();
    void grantsTheServerCannotKeepAreRefused();
    void namesTypedAndWhatARenameLandsOn();
    void anyLetterTogglesAProceduresExecute();
    void highlightedRowIsTheRowActedOn();
    void signalEndsTheProgramUndoingTheCommand();
    void roleAtLoginGivesItsRights();

private:
    [[nodiscard]] QStringList rowsOf(const QString &grantee) const
    {
        return m_window.db->rowsOf(grantee);
    }

    driver::WindowFixture m_window;
};

void TestTrust::initTestCase()
{
    ui::Application::setTitle(QStringLiteral("Kelvane"));
    for (const char *login : {"BOB", "ALICE", "ALICE2"})
        testserver::createLogin(QLatin1String(login), QString::fromLatin1(login).toLower());
}

void TestTrust::init()
{
    m_window.start(QStringLiteral("TRUST"), Schema);
    m_window.db->run(testserver::manyTablesScript(QStringLiteral("H"), 250,
                                                  QStringLiteral("SELECT, INSERT, DELETE"),
                                                  QStringLiteral("HEAVY")));
    driver::chooseAlias(QStringLiteral("TRUST"), testserver::password());
}

void TestTrust::cleanup()
{
    m_window.stop();
}

void TestTrust::columnRightsSurviveEveryRevoke_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("aliceAfter");
    // Where the window stands afterwards, with the cells it shows there.
    QTest::addColumn<QString>("standsOn");
    QTest::addColumn<QString>("cells");
    QTest::newRow("toggle") << "toggle"
                            << QStringList{"0:PATIENT:S::0:SYSDBA", "5:P_ADMIT:X::0:SYSDBA"}
                            << "ALICE"
                            << "S....";
    QTest::newRow("revoke all") << "revoke all" << QStringList{"5:P_ADMIT:X::0:SYSDBA"} << "ALICE"
                                << ".....";
    QTest::newRow("copy") << "copy" << QStringList{"5:P_ADMIT:X::0:SYSDBA"} << "CLERK"
                          << ".....";
    QTest::newRow("rename") << "rename" << QStringList() << "ALICE2"
                            << "SU...";
    QTest::newRow("removal") << "removal" << QStringList() << "BOB"
                             << ".U...";
}

void TestTrust::columnRightsSurviveEveryRevoke()
{
    // Firebird 3 takes BOB's UPDATE (ADDRESS) away in effect when ALICE's is
    // revoked, though BOB's row stays: each command gives it back.
    QFETCH(QString, command);
    QFETCH(QStringList, aliceAfter);
    QFETCH(QString, standsOn);
    QFETCH(QString, cells);
    QCOMPARE(m_window.db->refusal(UpdateAddress, QStringLiteral("BOB"), QStringLiteral("bob")),
             QString());
    const QStringList aliceBefore = rowsOf(QStringLiteral("ALICE"));
    const QStringList bobRows = rowsOf(QStringLiteral("BOB"));
    const QStringList clerkRows = rowsOf(QStringLiteral("CLERK"));
    select(QStringLiteral("ALICE"), QStringLiteral("PATIENT"));
    QCOMPARE(cellsOf(QStringLiteral("PATIENT")), QStringLiteral("SU..."));
    SqlLog log;
    InputAnswer renamed(QStringLiteral("alice2"));
    CopyAnswer copied({QStringLiteral("ALICE")});
    QString question;
    if (command == QLatin1String("toggle")) {
        driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_U, Qt::ControlModifier);
    } else if (command == QLatin1String("revoke all")) {
        driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_R, Qt::ControlModifier);
    } else if (command == QLatin1String("copy")) {
        // CLERK holds nothing on PATIENT: the copy takes ALICE's away.
        select(QStringLiteral("CLERK"), QStringLiteral("PATIENT"));
        answerCopyDialog(&copied);
        answerConfirm(true, &question);
        driver::chooseFromEditMenu("UserCopyItem");
    } else if (command == QLatin1String("rename")) {
        // ALICE2 is a login already: the rename asks before it lands there.
        answerInput(&renamed);
        answerConfirm(true, &question);
        driver::chooseFromEditMenu("RenameItem");
    } else {
        answerConfirm(true, &question);
        driver::chooseFromEditMenu("RemoveItem");
    }
    QVERIFY(testui::allAnswered());
    // Every row of every grantee the command touched, kind to grantor.
    QCOMPARE(rowsOf(QStringLiteral("ALICE")), aliceAfter);
    QCOMPARE(rowsOf(QStringLiteral("BOB")), bobRows);
    QCOMPARE(rowsOf(QStringLiteral("CLERK")), clerkRows);
    QCOMPARE(rowsOf(QStringLiteral("ALICE2")),
             command == QLatin1String("rename") ? aliceBefore : QStringList());
    QCOMPARE(currentMaster(), standsOn);
    QCOMPARE(currentDetail(), QStringLiteral("PATIENT"));
    QCOMPARE(cellsOf(QStringLiteral("PATIENT")), cells);
    QCOMPARE(m_window.db->refusal(UpdateAddress, QStringLiteral("BOB"), QStringLiteral("bob")),
             QString());
    // The new name's right is a column-level one too, and works as well.
    if (command == QLatin1String("rename"))
        QCOMPARE(
            m_window.db->refusal(UpdateAddress, QStringLiteral("ALICE2"), QStringLiteral("alice2")),
            QString());
    // On Firebird 3 BOB's row went and came back in the same command, by
    // column; Firebird 4 keeps it in effect, and it is left alone.
    QCOMPARE(statements(log).contains(QStringLiteral("GRANT UPDATE (ADDRESS) ON PATIENT TO BOB")),
             m_window.db->serverVersion() == 3);
}

void TestTrust::grantsTheServerCannotKeepAreRefused()
{
    // A package's privilege on PATIENT beside BOB's column-level one would
    // stop the server at the commit and lock everyone out: refused before
    // any statement, whether by a toggle or by a copy.
    const QStringList before = rowsOf(QStringLiteral("PK_LAB"));
    select(QStringLiteral("PK_LAB"), QStringLiteral("PATIENT"));
    SqlLog log;
    QString message;
    driver::answerMessage(&message);
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(testui::allAnswered());
    QVERIFY2(message.startsWith(QLatin1String("Nothing was changed: the command would leave "
                                              "PATIENT with a package's privileges beside "
                                              "column-level privileges")),
             qPrintable(message));

    select(QStringLiteral("ALICE"), QStringLiteral("PATIENT"));
    CopyAnswer copied({QStringLiteral("PK_LAB (package)")});
    answerCopyDialog(&copied);
    driver::answerMessage(&message);
    driver::chooseFromEditMenu("UserCopyItem");
    QVERIFY(testui::allAnswered());
    QVERIFY2(message.contains(QLatin1String("\"bad ACL\"")), qPrintable(message));
    QCOMPARE(statements(log), QStringList());
    QCOMPARE(rowsOf(QStringLiteral("PK_LAB")), before);
    QCOMPARE(currentMaster(), QStringLiteral("ALICE"));
}

void TestTrust::namesTypedAndWhatARenameLandsOn()
{
    select(QStringLiteral("ALICE"), QStringLiteral("PATIENT"));
    const QStringList alice = rowsOf(QStringLiteral("ALICE"));
    const QStringList bob = rowsOf(QStringLiteral("BOB"));
    SqlLog log;
    QString message;
    // PUBLIC is every login; a name past the catalogue's 31 characters
    // would fail half-way: both refused before any statement.
    const int longest = m_window.db->serverVersion() == 3 ? 31 : 63;
    for (const QString &typed : {QStringLiteral("  public "), QString(longest + 1, u'N')}) {
        InputAnswer answer(typed);
        answerInput(&answer);
        driver::answerMessage(&message);
        driver::chooseFromEditMenu("RenameItem");
        QVERIFY(testui::allAnswered());
        QVERIFY2(message.contains(QLatin1String("PUBLIC")) ||
                     message.contains(QStringLiteral("longer than the %1 ").arg(longest)),
                 qPrintable(message));
    }
    // Onto someone who holds privileges: asked first, and Enter means No.
    InputAnswer ontoBob(QStringLiteral("bob"));
    answerInput(&ontoBob);
    QString question;
    pressEnterOnConfirm(&question);
    driver::chooseFromEditMenu("RenameItem");
    QVERIFY(testui::allAnswered());
    QVERIFY2(question.contains(QLatin1String("UPDATE (ADDRESS) on PATIENT granted by SYSDBA")),
             qPrintable(question));
    QCOMPARE(statements(log), QStringList());
    QCOMPARE(rowsOf(QStringLiteral("ALICE")), alice);
    QCOMPARE(rowsOf(QStringLiteral("BOB")), bob);

    // Blanks around a typed name are no part of it.
    InputAnswer padded(QStringLiteral("  newbie  "));
    answerInput(&padded);
    driver::chooseFromEditMenu("AddNewItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(currentMaster(), QStringLiteral("NEWBIE"));
    QCOMPARE(rowsOf(QStringLiteral("NEWBIE")), QStringList{"0:PATIENT:S::0:SYSDBA"});
}

void TestTrust::anyLetterTogglesAProceduresExecute()
{
    select(QStringLiteral("ALICE"), QStringLiteral("P_ADMIT"));
    QCOMPARE(cellsOf(QStringLiteral("P_ADMIT")), QStringLiteral("....X"));
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(cellsOf(QStringLiteral("P_ADMIT")), QStringLiteral("....."));
    QVERIFY(!rowsOf(QStringLiteral("ALICE")).contains(QStringLiteral("5:P_ADMIT:X::0:SYSDBA")));
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_D, Qt::ControlModifier);
    QCOMPARE(cellsOf(QStringLiteral("P_ADMIT")), QStringLiteral("....X"));
    QVERIFY(rowsOf(QStringLiteral("ALICE")).contains(QStringLiteral("5:P_ADMIT:X::0:SYSDBA")));
}

void TestTrust::highlightedRowIsTheRowActedOn()
{
    // HEAVY's relations fill the grid past its bottom, whose last row shows
    // only in part.
    select(QStringLiteral("HEAVY"), QStringLiteral("H001"));
    ui::DBGrid *grid = KelvaneForm->DetailGrid;
    const int bottom = grid->viewport()->height() - 2;
    const int row = grid->rowAt(bottom);
    QVERIFY(row > 0 && grid->rowViewportPosition(row) + grid->rowHeight(row) > bottom + 2);
    const QString aimed = grid->dataModel().index(row, 0).data().toString();
    const QPoint cell(grid->columnViewportPosition(1) + grid->columnWidth(1) / 2, bottom);
    const auto highlighted = [grid] {
        const QModelIndexList selected = grid->selectionModel()->selectedIndexes();
        return selected.size() == 1 ? selected.first().row() : -1;
    };

    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell);
    QCOMPARE(currentDetail(), aimed);
    QCOMPARE(highlighted(), grid->dataSet()->recNo());
    QCOMPARE(grid->rowAt(bottom), row);
    // The double-click lands on the row aimed at, and acts on it.
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell);
    QCOMPARE(currentDetail(), aimed);
    QCOMPARE(highlighted(), grid->dataSet()->recNo());
    QCOMPARE(cellsOf(aimed), QStringLiteral("..ID."));
    QCOMPARE(grid->selectedIndex(), 1);
    QVERIFY2(
        !rowsOf(QStringLiteral("HEAVY")).contains(QStringLiteral("0:%1:S::0:SYSDBA").arg(aimed)),
        qPrintable(aimed));
}

void TestTrust::signalEndsTheProgramUndoingTheCommand()
{
    // As the desktop's logout does: SIGTERM while a long rename runs.
    const ui::QuitSignals quitSignals;
    ui::QuitSignals::reclaim();
    KelvaneForm->ProgressDelay = 0;
    select(QStringLiteral("HEAVY"), QStringLiteral("H001"));
    const QStringList before = rowsOf(QStringLiteral("HEAVY"));
    bool raised = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &watch, [&] {
        auto *progress = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
        if (raised || !progress || progress->value() <= 0)
            return;
        raised = true;
        QVERIFY(progress->labelText().endsWith(QLatin1String("Cancel undoes the whole command.")));
        std::raise(SIGTERM);
    });
    watch.start(5);
    InputAnswer answer(QStringLiteral("HEAVY2"));
    answerInput(&answer);
    SqlLog log;
    driver::chooseFromEditMenu("RenameItem");
    QVERIFY(testui::allAnswered());
    QTRY_VERIFY_WITH_TIMEOUT(!KelvaneForm->isVisible(), 5000);
    QVERIFY(raised);
    QVERIFY(ui::QuitSignals::quitting());
    QVERIFY(!statements(log).isEmpty());
    QCOMPARE(rowsOf(QStringLiteral("HEAVY")), before);
    QCOMPARE(rowsOf(QStringLiteral("HEAVY2")), QStringList());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void TestTrust::roleAtLoginGivesItsRights()
{
    // ALICE holds RDB$ADMIN in the database: she has its rights when she
    // connects with it (on Firebird 3 only then), and may name grantors.
    m_window.db->run(QStringLiteral("GRANT RDB$ADMIN TO ALICE;\n"
                                    "GRANT SELECT ON WARD TO EVE GRANTED BY BOB;"));
    driver::chooseAlias(QStringLiteral("TRUST"), QStringLiteral("alice"), {},
                        QStringLiteral("ALICE"), QStringLiteral("RDB$ADMIN"));
    QCOMPARE(KelvaneForm->windowTitle(),
             QStringLiteral("IB Kelvane Administrator \u2014 ALICE, role RDB$ADMIN"));
    select(QStringLiteral("EVE"), QStringLiteral("WARD"));
    SqlLog log;
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(statements(log), QStringList{"REVOKE SELECT ON WARD FROM EVE GRANTED BY BOB"});
    QCOMPARE(rowsOf(QStringLiteral("EVE")), QStringList());

    // The role is offered again for the same database; a cancelled login
    // leaves nobody connected and the caption says so.
    driver::chooseAlias(QStringLiteral("TRUST"), QString());
    QCOMPARE(LoginForm->RoleEdit->text(), QStringLiteral("RDB$ADMIN"));
    QCOMPARE(KelvaneForm->windowTitle(), QStringLiteral("IB Kelvane Administrator"));
    driver::chooseAlias(QStringLiteral("TRUST"), QStringLiteral("alice"), {},
                        QStringLiteral("ALICE"));
    QCOMPARE(KelvaneForm->windowTitle(), QStringLiteral("IB Kelvane Administrator \u2014 ALICE"));
    if (m_window.db->serverVersion() < 4)
        return;

    // Firebird 4: RDB$ADMIN as ALICE's default role gives its rights with no
    // role typed, and the server says so.
    m_window.db->run(QStringLiteral("GRANT DEFAULT RDB$ADMIN TO ALICE;\n"
                                    "GRANT SELECT ON WARD TO EVE GRANTED BY BOB;"));
    driver::chooseAlias(QStringLiteral("TRUST"), QStringLiteral("alice"), {},
                        QStringLiteral("ALICE"));
    select(QStringLiteral("EVE"), QStringLiteral("WARD"));
    log.clear();
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(statements(log), QStringList{"REVOKE SELECT ON WARD FROM EVE GRANTED BY BOB"});
    QCOMPARE(rowsOf(QStringLiteral("EVE")), QStringList());
}

QTEST_MAIN(TestTrust)
#include "tst_trust.moc"
