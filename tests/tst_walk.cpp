// The commands that walk a list of statements, where a grantee of one name
// may be several kinds and the target already holds privileges of its own:
// where the window stands afterwards, what a copy leaves alone, when the
// progress shows and what it counts, and a grant the server refuses.
#include "MainWindowDriver.h"
#include "TestServer.h"
#include "app/Forms.h"
#include "app/PrivEdit.h"
#include "ui/Application.h"
#include "ui/DBGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QTest>
#include <QTimer>

using driver::cellsOf;
using driver::CopyAnswer;
using driver::InputAnswer;
using driver::select;
using driver::statements;

namespace {

// FRED and P1 are each a user and a procedure grantee. HEAVY holds three
// privileges on each of 40 tables: renaming it takes 160 statements.
const char *const Schema = R"(
CREATE TABLE T (ID INTEGER, NAME VARCHAR(20));
CREATE TABLE U (ID INTEGER);
CREATE TABLE ALPHA (ID INTEGER);
CREATE TABLE BETA (ID INTEGER);
SET TERM ^ ;
CREATE PROCEDURE FRED AS BEGIN END^
CREATE PROCEDURE P1 AS BEGIN END^
SET TERM ; ^
GRANT SELECT ON T TO PROCEDURE FRED;
GRANT SELECT ON T TO PROCEDURE P1;
GRANT INSERT ON T TO P1;
GRANT SELECT, UPDATE (NAME) ON T TO HELEN;
GRANT UPDATE (ID) ON U TO HELEN;
GRANT DELETE ON T TO CLERK;
GRANT SELECT ON U TO CLERK;
GRANT SELECT ON ALPHA TO IRIS;
GRANT SELECT ON BETA TO IRIS;
GRANT SELECT ON ALPHA TO WALKER;
GRANT SELECT ON BETA TO WALKER WITH GRANT OPTION;
)";

// Every progress dialog that shows while it is installed: how many showed,
// and the range the last one had while it was on screen.
class ProgressWatch : public QObject
{
public:
    ProgressWatch() { qApp->installEventFilter(this); }
    ~ProgressWatch() override { qApp->removeEventFilter(this); }
    int shown = 0;
    int maximum = -1;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (auto *progress = qobject_cast<QProgressDialog *>(watched)) {
            if (event->type() == QEvent::Show)
                ++shown;
            if (progress->isVisible())
                maximum = progress->maximum();
        }
        return false;
    }
};

// The kind and name of the master's current row: "user FRED".
QString currentMasterKind()
{
    TKelvaneForm *form = KelvaneForm;
    return form->nameHint(form->MasterQuery, form->MasterQuery.recNo());
}

} // namespace

class TestWalk : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void newUserStandsOnTheUserNotTheProcedure();
    void copyToANameThatHoldsMoreOnlyAdds_data();
    void copyToANameThatHoldsMoreOnlyAdds();
    void copyOffersTheSourcesNamesakeOfAnotherKind();
    void copyToRelationsKeepsTheLetterLeftOut();
    void progressOnlyForLongCommandsCountingStatements();
    void refusedGrantToldOnceAndTheCommandGoesOn();

private:
    driver::WindowFixture m_window;
};

void TestWalk::initTestCase()
{
    ui::Application::setTitle(QStringLiteral("Kelvane"));
    testserver::createLogin(QStringLiteral("WALKER"), QStringLiteral("walker"));
}

void TestWalk::init()
{
    m_window.start(QStringLiteral("WALK"), Schema);
    m_window.db->run(testserver::manyTablesScript(QStringLiteral("H"), 40,
                                                  QStringLiteral("SELECT, INSERT, DELETE"),
                                                  QStringLiteral("HEAVY")));
    driver::chooseAlias(QStringLiteral("WALK"), testserver::password());
}

void TestWalk::cleanup()
{
    m_window.stop();
}

void TestWalk::newUserStandsOnTheUserNotTheProcedure()
{
    // The procedure FRED sorts before the user FRED: the new user's row is
    // the one to stand on, so that the cells shown are those the next
    // command changes.
    select(QStringLiteral("HELEN"), QStringLiteral("U"));
    InputAnswer answer(QStringLiteral("FRED"));
    driver::answerInput(&answer);
    testui::MessageCollector messages;
    SqlLog log;
    driver::chooseFromEditMenu("AddNewItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(messages.texts, QStringList());
    QCOMPARE(statements(log), QStringList{"GRANT SELECT ON U TO FRED"});
    QCOMPARE(currentMasterKind(), QStringLiteral("user FRED"));
    QCOMPARE(cellsOf(QStringLiteral("U")), QStringLiteral("S...."));
    // The procedure FRED's SELECT on T is not the user's.
    QCOMPARE(cellsOf(QStringLiteral("T")), QStringLiteral("....."));
}

void TestWalk::copyToANameThatHoldsMoreOnlyAdds_data()
{
    QTest::addColumn<QByteArray>("item");
    QTest::addColumn<QStringList>("added");
    QTest::newRow("this relation")
        << QByteArray("CopyNewItem") << QStringList{"0:T:S::0:SYSDBA", "0:T:U:NAME:0:SYSDBA"};
    QTest::newRow("ALL") << QByteArray("CopyNewAllItem")
                         << QStringList{"0:T:S::0:SYSDBA", "0:T:U:NAME:0:SYSDBA",
                                        "0:U:U:ID:0:SYSDBA"};
}

void TestWalk::copyToANameThatHoldsMoreOnlyAdds()
{
    // CLERK holds DELETE on T and SELECT on U, which HELEN has not: a copy
    // to a name typed in gives what it lacks and takes nothing away.
    QFETCH(QByteArray, item);
    QFETCH(QStringList, added);
    const QStringList helen = m_window.db->rowsOf(QStringLiteral("HELEN"));
    QStringList expected = m_window.db->rowsOf(QStringLiteral("CLERK")) + added;
    expected.sort();
    select(QStringLiteral("HELEN"), QStringLiteral("T"));
    InputAnswer answer(QStringLiteral("CLERK"));
    driver::answerInput(&answer);
    testui::MessageCollector messages;
    SqlLog log;
    driver::chooseFromEditMenu(item.constData());
    QVERIFY(testui::allAnswered());
    QCOMPARE(messages.texts, QStringList());
    QCOMPARE(statements(log).filter(QStringLiteral("REVOKE")), QStringList());
    QCOMPARE(m_window.db->rowsOf(QStringLiteral("CLERK")), expected);
    QCOMPARE(m_window.db->rowsOf(QStringLiteral("HELEN")), helen);
    QCOMPARE(currentMasterKind(), QStringLiteral("user CLERK"));
    QCOMPARE(cellsOf(QStringLiteral("T")), QStringLiteral("SU.D."));
}

void TestWalk::copyOffersTheSourcesNamesakeOfAnotherKind()
{
    // Copying from the user P1: the procedure P1 is another grantee.
    select(QStringLiteral("P1 (user)"), QStringLiteral("T"));
    QCOMPARE(cellsOf(QStringLiteral("T")), QStringLiteral("..I.."));
    for (const char *item : {"UserCopyItem", "AllCopyItem"}) {
        CopyAnswer answer({}, false);
        driver::answerCopyDialog(&answer);
        driver::chooseFromEditMenu(item);
        QVERIFY(testui::allAnswered());
        QVERIFY2(answer.offered.contains(QStringLiteral("P1 (procedure)")),
                 qPrintable(answer.offered.join(u',')));
        QVERIFY2(!answer.offered.contains(QStringLiteral("P1")),
                 qPrintable(answer.offered.join(u',')));
        QVERIFY(answer.offered.contains(QStringLiteral("FRED (procedure)")));
        // The source is named with its kind, since P1 is two grantees.
        QVERIFY2(answer.label.startsWith(QLatin1String("Copy ")) &&
                     answer.label.contains(QLatin1String(" of user P1 ")),
                 qPrintable(answer.label));
    }
}

void TestWalk::copyToRelationsKeepsTheLetterLeftOut()
{
    // HELEN's UPDATE on T is on the column NAME, which U has not: U keeps
    // the UPDATE (ID) HELEN holds there, and is only given the SELECT.
    select(QStringLiteral("HELEN"), QStringLiteral("T"));
    QStringList expected = m_window.db->rowsOf(QStringLiteral("HELEN"));
    expected << QStringLiteral("0:U:S::0:SYSDBA");
    expected.sort();
    CopyAnswer answer({QStringLiteral("U")});
    driver::answerCopyDialog(&answer);
    testui::MessageCollector messages;
    SqlLog log;
    driver::chooseFromEditMenu("TableCopyItem", false);
    QVERIFY(testui::allAnswered());
    QCOMPARE(messages.texts.size(), 1);
    QVERIFY2(messages.texts.first().contains(
                 QStringLiteral("was not copied to U, which has no column NAME")),
             qPrintable(messages.texts.first()));
    QVERIFY2(messages.texts.first().contains(QStringLiteral("UPDATE")),
             qPrintable(messages.texts.first()));
    QCOMPARE(statements(log), QStringList{"GRANT SELECT ON U TO HELEN"});
    QCOMPARE(m_window.db->rowsOf(QStringLiteral("HELEN")), expected);
    QCOMPARE(cellsOf(QStringLiteral("U")), QStringLiteral("SU..."));
}

void TestWalk::progressOnlyForLongCommandsCountingStatements()
{
    ProgressWatch watch;
    testui::MessageCollector messages;
    // A toggle, and a copy of two statements, are over before any progress
    // would be worth reading.
    select(QStringLiteral("HELEN"), QStringLiteral("T"));
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_I, Qt::ControlModifier);
    QCOMPARE(cellsOf(QStringLiteral("T")), QStringLiteral("SUI.."));
    InputAnswer copy(QStringLiteral("NEWBIE"));
    driver::answerInput(&copy);
    SqlLog log;
    driver::chooseFromEditMenu("CopyNewItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(statements(log).size(), 3);
    QCOMPARE(watch.shown, 0);

    // Shown from the start, the progress runs over the command's statements.
    KelvaneForm->ProgressDelay = 0;
    select(QStringLiteral("HEAVY"), QStringLiteral("H01"));
    const QStringList before = m_window.db->rowsOf(QStringLiteral("HEAVY"));
    QCOMPARE(before.size(), 120);
    InputAnswer rename(QStringLiteral("HEAVY2"));
    driver::answerInput(&rename);
    log.clear();
    driver::chooseFromEditMenu("RenameItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(messages.texts, QStringList());
    QCOMPARE(statements(log).size(), 160);
    QVERIFY(watch.shown > 0);
    QCOMPARE(watch.maximum, 160);
    QCOMPARE(m_window.db->rowsOf(QStringLiteral("HEAVY2")).size(), before.size());
    QCOMPARE(m_window.db->rowsOf(QStringLiteral("HEAVY")), QStringList());
}

void TestWalk::refusedGrantToldOnceAndTheCommandGoesOn()
{
    // WALKER may give SELECT on BETA but not on ALPHA: copying IRIS's
    // SELECT on both, the grant on ALPHA is refused, and the one on BETA,
    // after it in the walk, still runs.
    m_window.restartForms();
    driver::chooseAlias(QStringLiteral("WALK"), QStringLiteral("walker"), {},
                        QStringLiteral("WALKER"));
    select(QStringLiteral("IRIS"), QStringLiteral("ALPHA"));
    InputAnswer answer(QStringLiteral("NEWBIE"));
    driver::answerInput(&answer);
    testui::MessageCollector messages;
    // A refusal met again and again would keep the command going for ever:
    // the test ends there, with what it saw.
    QElapsedTimer clock;
    clock.start();
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, &guard, [&] {
        if (messages.texts.size() > 5 || clock.elapsed() > 60000)
            qFatal("The copy did not end: %d messages after %lld ms, the last: %s",
                   int(messages.texts.size()), clock.elapsed(),
                   qPrintable(messages.texts.value(messages.texts.size() - 1)));
    });
    guard.start(20);
    SqlLog log;
    driver::chooseFromEditMenu("CopyNewAllItem");
    guard.stop();
    QVERIFY(testui::allAnswered());
    QVERIFY(QTest::qWaitFor([&] { return messages.texts.size() >= 2; }, 2000));
    QTest::qWait(100);
    const QStringList refused = messages.texts.filter(QStringLiteral("is read-only"));
    QCOMPARE(refused.size(), 1);
    QVERIFY2(refused.first().startsWith(QStringLiteral("ALPHA is read-only.\n")),
             qPrintable(refused.first()));
    // With the server's reason.
    QVERIFY2(refused.first().contains(QStringLiteral("grant option")) &&
                 refused.first().contains(QStringLiteral("SELECT")),
             qPrintable(refused.first()));
    QCOMPARE(messages.texts.size(), 2);
    QVERIFY2(messages.texts.last().contains(QStringLiteral("GRANT SELECT ON ALPHA TO NEWBIE")),
             qPrintable(messages.texts.last()));
    QCOMPARE(statements(log),
             (QStringList{"GRANT SELECT ON ALPHA TO NEWBIE", "GRANT SELECT ON BETA TO NEWBIE"}));
    QCOMPARE(m_window.db->rowsOf(QStringLiteral("NEWBIE")), QStringList{"0:BETA:S::0:WALKER"});
    QCOMPARE(currentMasterKind(), QStringLiteral("user NEWBIE"));
}

QTEST_MAIN(TestWalk)
#include "tst_walk.moc"
