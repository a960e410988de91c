// The benchmark's delaying proxy, in front of the private server: a round
// trip through it costs at least the delay, and it counts the round trips
// the client made, the same at any delay. Through it, the window's toggle.
#include "MainWindowDriver.h"
#include "Proxy.h"
#include "TestServer.h"
#include "app/PrivEdit.h"
#include "db/Client.h"
#include "db/Exception.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

using namespace db::client;

struct Trip
{
    bool answered = false;
    qint64 ms = 0;
    qint64 turns = 0;
};

// One execution of a statement prepared once, with its fetch, as the
// program runs a read that it has run before.
Trip selectOne(Statement &statement, Transaction &transaction, const kbench::DelayProxy &proxy)
{
    QElapsedTimer clock;
    clock.start();
    const qint64 before = proxy.turns();
    Cursor &cursor = statement.open(transaction, {});
    const bool answered = cursor.fetch() && cursor.text(0) == QLatin1String("1");
    statement.closeCursor();
    return {answered, clock.elapsed(), proxy.turns() - before};
}

} // namespace

class TestProxy : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void aRoundTripCostsTheDelay();
    void aToggleTakesThreeRoundTrips();
    void aRemovalTakesNineRoundTrips();
};

void TestProxy::aRoundTripCostsTheDelay()
{
    testserver::TestDatabase database(QStringLiteral("proxy"));
    kbench::DelayProxy proxy(quint16(testserver::port().toUInt()));
    try {
        Attachment attachment(proxy.connectionString(database.path()),
                              Login{QStringLiteral("SYSDBA"), testserver::password(), {}});
        QVERIFY(proxy.turns() > 0); // the login itself went through it
        Transaction reading(attachment, TransactionKind::ReadCommittedReadOnly);
        Statement statement(attachment, reading, QStringLiteral("SELECT 1 FROM RDB$DATABASE"));

        const Trip loopback = selectOne(statement, reading, proxy);
        constexpr int OneWay = 40;
        proxy.setOneWayDelay(OneWay);
        const Trip delayed = selectOne(statement, reading, proxy);
        proxy.setOneWayDelay(0);
        const Trip again = selectOne(statement, reading, proxy);

        QVERIFY(loopback.answered && delayed.answered && again.answered);
        QVERIFY(delayed.turns >= 1);
        QCOMPARE(delayed.turns, loopback.turns);
        QVERIFY2(
            delayed.ms >= delayed.turns * 2 * OneWay,
            qPrintable(
                QStringLiteral("%1 ms for %2 round trips").arg(delayed.ms).arg(delayed.turns)));
        // Off again, the delay is gone.
        QVERIFY2(again.ms < delayed.turns * 2 * OneWay,
                 qPrintable(QStringLiteral("%1 ms after the delay was taken off").arg(again.ms)));
    } catch (const kelvane::Exception &error) {
        QFAIL(qPrintable(error.message()));
    }
}

namespace {

// The window on a database of the schema, its alias reaching the server
// through the proxy.
void startThroughProxy(driver::WindowFixture &window, const kbench::DelayProxy &proxy,
                       const char *schema)
{
    window.start(QStringLiteral("TURNS"), schema);
    window.aliases.reset(); // before the next, which keeps the variable it replaces
    window.aliases = std::make_unique<testserver::AliasFile>(
        QList<testserver::AliasFile::Alias>{{QStringLiteral("TURNS"), QStringLiteral("INTRBASE"),
                                             proxy.connectionString(window.db->path())}});
    window.restartForms();
    driver::chooseAlias(QStringLiteral("TURNS"), testserver::password());
}

} // namespace

// A toggle: the transaction's start; the cell's read, the statement and the
// grantee's rows after it, in one, a revoke's with whether the relation is
// still listed; and the commit. The cells, the lists and the way back take
// what came after the statement.
void TestProxy::aToggleTakesThreeRoundTrips()
{
    driver::WindowFixture window;
    kbench::DelayProxy proxy(quint16(testserver::port().toUInt()));
    startThroughProxy(window, proxy,
                      "CREATE TABLE T1 (ID INTEGER);\n"
                      "GRANT SELECT ON T1 TO FRED;");
    driver::select(QStringLiteral("FRED"), QStringLiteral("T1"));
    // The first toggle each way prepares its statements.
    for (int i = 0; i < 2; ++i)
        driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_U, Qt::ControlModifier);
    const auto turnsOf = [&proxy](Qt::Key key) {
        const qint64 before = proxy.turns();
        driver::typeInto(KelvaneForm->DetailGrid, key, Qt::ControlModifier);
        return proxy.turns() - before;
    };
    for (const auto &[key, turns, cells] :
         {std::tuple(Qt::Key_I, 3, "S.I.."), std::tuple(Qt::Key_D, 3, "S.ID."),
          std::tuple(Qt::Key_I, 3, "S..D."), std::tuple(Qt::Key_D, 3, "S...."),
          std::tuple(Qt::Key_S, 3, ".....")}) {
        QCOMPARE(turnsOf(key), turns);
        QCOMPARE(driver::cellsOf(QStringLiteral("T1")), QLatin1String(cells));
    }
    // Every row of the grantee, as the toggles left them.
    QCOMPARE(window.db->rowsOf(QStringLiteral("FRED")), QStringList());
    window.stop();
}

// A removal: the question's read of what the user granted to others; the
// transaction's start; the user's rows, then for the way back the rows of
// the objects he holds options on; the statement, with the user's rows and
// Firebird 3's column-level rows after it in one; whether the names it
// reached are still listed; the cells of the user the list then stands on;
// what the command left; and the commit. The first removal prepares the
// statements the second counts.
void TestProxy::aRemovalTakesNineRoundTrips()
{
    driver::WindowFixture window;
    kbench::DelayProxy proxy(quint16(testserver::port().toUInt()));
    startThroughProxy(window, proxy,
                      "CREATE TABLE T1 (ID INTEGER);\n"
                      "CREATE TABLE T2 (ID INTEGER);\n"
                      "CREATE ROLE R1;\n"
                      "GRANT SELECT, UPDATE ON T1 TO FRED WITH GRANT OPTION;\n"
                      "GRANT SELECT ON T2 TO FRED;\n"
                      "GRANT R1 TO FRED;\n"
                      "GRANT SELECT, UPDATE ON T1 TO JOHN WITH GRANT OPTION;\n"
                      "GRANT SELECT ON T2 TO JOHN;\n"
                      "GRANT R1 TO JOHN;\n"
                      "GRANT SELECT ON T1 TO MARY;");
    const QStringList mary = window.db->rowsOf(QStringLiteral("MARY"));
    for (const char *login : {"FRED", "MARY"})
        testserver::createLogin(QLatin1String(login), QString::fromLatin1(login).toLower());
    const auto refusal = [&window](const char *login) {
        return window.db->refusal(QStringLiteral("SELECT * FROM T1;"), QLatin1String(login),
                                  QString::fromLatin1(login).toLower());
    };
    QCOMPARE(refusal("FRED"), QString());
    QStringList users = driver::namesOf(KelvaneForm->MasterGrid);
    for (const auto &[user, turns] : {std::pair("JOHN", -1), std::pair("FRED", 9)}) {
        driver::select(QString::fromLatin1(user), QStringLiteral("T2"));
        QString question;
        driver::answerConfirm(true, &question);
        const qint64 before = proxy.turns();
        driver::chooseFromEditMenu("RemoveItem");
        QVERIFY(testui::allAnswered());
        if (turns > 0)
            QCOMPARE(proxy.turns() - before, turns);
        QCOMPARE(window.db->rowsOf(QString::fromLatin1(user)), QStringList());
        QVERIFY(users.removeOne(QString::fromLatin1(user)));
        QCOMPARE(driver::namesOf(KelvaneForm->MasterGrid), users);
        // The list stands on a user whose cells are what the catalogue holds.
        const QString current = driver::currentMaster();
        QVERIFY(users.contains(current));
        QCOMPARE(driver::cellsOf(QStringLiteral("T1")).startsWith(QLatin1Char('S')),
                 window.db->holders(QStringLiteral("T1"), QStringLiteral("S")).contains(current));
    }
    // In effect too: FRED can no longer read T1, and MARY, who holds SELECT
    // on it as he did, still can.
    QCOMPARE(window.db->rowsOf(QStringLiteral("MARY")), mary);
    QVERIFY(!refusal("FRED").isEmpty());
    QCOMPARE(refusal("MARY"), QString());
    window.stop();
}

QTEST_MAIN(TestProxy)
#include "tst_proxy.moc"
