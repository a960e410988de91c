// The benchmark's delaying proxy, in front of the private server: a round
// trip through it costs at least the delay, and it counts the round trips
// the client made, the same at any delay.
#include "Proxy.h"
#include "TestServer.h"

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

namespace {

struct Trip
{
    bool answered = false;
    qint64 ms = 0;
    qint64 turns = 0;
};

Trip selectOne(const QSqlDatabase &db, const kbench::DelayProxy &proxy)
{
    QElapsedTimer clock;
    clock.start();
    const qint64 before = proxy.turns();
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const bool answered = query.exec(QStringLiteral("SELECT 1 FROM RDB$DATABASE")) &&
                          query.next() && query.value(0).toInt() == 1;
    query.finish();
    return {answered, clock.elapsed(), proxy.turns() - before};
}

} // namespace

class TestProxy : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void aRoundTripCostsTheDelay();
};

void TestProxy::aRoundTripCostsTheDelay()
{
    testserver::TestDatabase database(QStringLiteral("proxy"));
    kbench::DelayProxy proxy(quint16(testserver::port().toUInt()));
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QIBASE"), QStringLiteral("through-proxy"));
        db.setDatabaseName(proxy.connectionString(database.path()));
        db.setUserName(QStringLiteral("SYSDBA"));
        db.setPassword(testserver::password());
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QVERIFY(proxy.turns() > 0); // the login itself went through it

        const Trip loopback = selectOne(db, proxy);
        constexpr int OneWay = 40;
        proxy.setOneWayDelay(OneWay);
        const Trip delayed = selectOne(db, proxy);
        proxy.setOneWayDelay(0);
        const Trip again = selectOne(db, proxy);

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
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("through-proxy"));
}

QTEST_MAIN(TestProxy)
#include "tst_proxy.moc"
