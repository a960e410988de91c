// The command runner with no window, nor any widget: how a command's
// statements travel and how the command ends, against the private server.
#include "TestServer.h"
#include "app/CommandRunner.h"
#include "db/Batch.h"
#include "db/Database.h"
#include "db/Exception.h"
#include "db/Query.h"

#include <QTest>
#include <optional>

namespace {

const QString HeldSql =
    QStringLiteral("SELECT COUNT(*) FROM RDB$USER_PRIVILEGES WHERE RDB$USER STARTING WITH 'RUN'");

// SELECT on T to RUN000 and on, but to RUN150 on a table that is not there,
// and at revokeAt a revoke the server refuses.
QList<db::Change> walkOf(int revokeAt)
{
    QList<db::Change> changes(250);
    for (int i = 0; i < 250; ++i) {
        const bool revoke = i == revokeAt;
        changes[i].verb = revoke ? db::Change::Verb::Revoke : db::Change::Verb::Grant;
        changes[i].object = revoke ? "NO_SUCH_VIEW" : i == 150 ? "NO_SUCH_TABLE" : "T";
        changes[i].sql =
            QString(revoke ? "REVOKE SELECT ON %1 FROM RUN%2" : "GRANT SELECT ON %1 TO RUN%2")
                .arg(changes[i].object)
                .arg(i, 3, 10, QLatin1Char('0'));
    }
    return changes;
}

// All that one command told through the runner's hooks, and how it ended.
struct Told
{
    QStringList steps; // "done/total"
    QStringList texts;
    QStringList refusedGrants;
    QStringList refused;
    QList<int> readAgain; // at each, the rows the runner's connection saw, then another's
    QString failure;
};

} // namespace

class TestRunner : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void batchesGoOnPastARefusedGrantAndCommitTogether();
    void commandEnds_data();
    void commandEnds();
    void readsDoNotWaitForAnotherSessionsWork();
    void refusedCommitIsUndoneAndSaidSo();

private:
    // Runs the changes, then `after`, as a command of the window does; Cancel
    // at the step cancelAt.
    Told runCommand(const QList<db::Change> &changes, const std::function<void()> &after,
                    int cancelAt = -1, bool inStage = true);
    [[nodiscard]] int committed() const { return m_db->column(HeldSql).value(0).toInt(); }

    std::unique_ptr<testserver::TestDatabase> m_db;
    std::unique_ptr<testserver::AliasFile> m_aliases;
    std::unique_ptr<db::TDatabase> m_connection;
};

void TestRunner::init()
{
    m_db = std::make_unique<testserver::TestDatabase>(QStringLiteral("runner"));
    m_db->run(QStringLiteral("CREATE TABLE T (ID INTEGER);\nINSERT INTO T VALUES (1);"));
    m_aliases = std::make_unique<testserver::AliasFile>(QList<testserver::AliasFile::Alias>{
        {QStringLiteral("RUNNER"), QStringLiteral("INTRBASE"), m_db->connectionString()}});
    m_connection = testserver::connectAsSysdba(QStringLiteral("RUNNER"));
}

void TestRunner::cleanup()
{
    m_connection.reset();
    m_aliases.reset();
    m_db.reset();
}

Told TestRunner::runCommand(const QList<db::Change> &changes, const std::function<void()> &after,
                            int cancelAt, bool inStage)
{
    Told told;
    const auto progress = [&](int total) -> TCommandRunner::ProgressStep {
        return [&, total](int done, const QString &text) {
            told.steps.append(QStringLiteral("%1/%2").arg(done).arg(total));
            told.texts.append(text);
            return told.steps.size() - 1 != cancelAt;
        };
    };
    TCommandRunner runner(
        *m_connection, {progress, [&](const QString &message) { told.refusedGrants << message; }});
    const auto readAgain = [&] {
        // What the runner's own connection reads at this point, beside what
        // another one sees committed.
        db::TQuery here(*m_connection);
        here.sqlAdd(HeldSql);
        here.addField(QStringLiteral("COUNT"), db::FieldKind::Data, 10);
        here.open();
        told.readAgain << here.fields(0)->text().toInt() << committed();
    };
    const auto walk = [&] {
        told.refused = runner.runChanges(changes);
        after();
    };
    told.failure = testui::failureOf([&] {
        runner.run([&] { inStage ? runner.runStage(walk, readAgain) : walk(); }, readAgain);
    });
    return told;
}

void TestRunner::batchesGoOnPastARefusedGrantAndCommitTogether()
{
    int seenOutside = -1;
    const Told told = runCommand(walkOf(-1), [&] { seenOutside = committed(); });
    QCOMPARE(told.failure, QStringLiteral("<no failure>"));
    // One walk: a batch from 0 that stops at the refusal, and the rest
    // after it.
    QCOMPARE(told.steps, (QStringList{"0/250", "151/250"}));
    QCOMPARE(told.texts.first(),
             QStringLiteral("Relation 1 of 2: T\nGRANT SELECT ON T TO RUN000\n\nCancel undoes "
                            "the whole command."));
    // Told once, with the server's reason, and the command went on.
    QCOMPARE(told.refusedGrants.size(), 1);
    QVERIFY2(told.refusedGrants.first().startsWith("NO_SUCH_TABLE is read-only.\n") &&
                 told.refusedGrants.first().section('\n', 1).contains("NO_SUCH_TABLE"),
             qPrintable(told.refusedGrants.first()));
    QCOMPARE(told.refused, QStringList{"Refused: GRANT SELECT ON NO_SUCH_TABLE TO RUN150"});
    // Nothing shows to others until the command has ended, then all of it.
    QCOMPARE(seenOutside, 0);
    QCOMPARE(committed(), 249);
    QCOMPARE(told.readAgain, QList<int>());
}

void TestRunner::commandEnds_data()
{
    QTest::addColumn<int>("revokeAt");
    QTest::addColumn<int>("cancelAt");
    QTest::addColumn<QString>("after"); // the command's failure after the walk
    QTest::addColumn<bool>("inStage");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("held");
    QTest::addColumn<QList<int>>("readAgain");

    QTest::newRow("refused revoke")
        << 247 << -1 << "" << true
        << "The command stopped at REVOKE SELECT ON NO_SUCH_VIEW FROM RUN247 after 247 of its 250 "
           "statements had run.\nRefused: GRANT SELECT ON NO_SUCH_TABLE TO RUN150 These did not "
           "run:\nGRANT SELECT ON T TO RUN248\nGRANT SELECT ON T TO RUN249"
        << 246 << QList<int>{246, 246};
    QTest::newRow("cancel at once")
        << -1 << 0 << "" << true
        << "Cancelled before any of the command's 250 statements ran: nothing was changed." << 0
        << QList<int>{0, 0};
    QTest::newRow("cancel midway") << -1 << 1 << "" << true
                                   << "Cancelled: nothing was changed. The 151 of the command's "
                                      "250 statements that had run were undone, and the other 99 "
                                      "never ran."
                                   << 0 << QList<int>{0, 0};
    const QString undone = "\n\nNone of the command's statements took effect: the server undoes "
                           "a command it has not committed.";
    QTest::newRow("engine failure")
        << -1 << -1 << "engine" << true << undone << 0 << QList<int>{0, 0};
    QTest::newRow("engine failure outside a stage")
        << -1 << -1 << "engine" << false << undone << 0 << QList<int>{0, 0};
    QTest::newRow("another session's lock")
        << -1 << -1 << "lock" << true
        << "Another session's transaction holds what the command needed; the command waited 1 "
           "seconds for it. Try again once that session has committed or rolled back." +
               undone
        << 0 << QList<int>{0, 0};
    QTest::newRow("engine failure after one statement")
        << -1 << -1 << "engine" << true << undone << 0 << QList<int>{0, 0};
    QTest::newRow("other failure")
        << -1 << -1 << "other" << false << "Not everything was done" << 249 << QList<int>();
}

void TestRunner::commandEnds()
{
    QFETCH(int, revokeAt);
    QFETCH(int, cancelAt);
    QFETCH(QString, after);
    QFETCH(bool, inStage);
    QFETCH(QString, message);
    // Another session holds the row the command's last statement updates.
    const QString update = QStringLiteral("UPDATE T SET ID = 2");
    std::unique_ptr<db::TDatabase> other;
    std::optional<db::TCommandTransaction> holder;
    std::optional<testserver::DelayedAction> release;
    if (after == "lock") {
        other = testserver::connectAsSysdba(QStringLiteral("RUNNER"));
        holder.emplace(*other);
        QCOMPARE(holder->run({update}, 0).next, 1);
        m_connection->setLockTimeoutSeconds(1);
        // A wait far longer than the second set ends here, and the update
        // then goes through: the test fails at once rather than hang.
        release.emplace(5000, [&holder] { holder->rollback(); });
    }
    const QList<db::Change> changes =
        QString::fromLatin1(QTest::currentDataTag()).contains("one statement")
            ? walkOf(revokeAt).mid(0, 1)
            : walkOf(revokeAt);
    const Told told = runCommand(
        changes,
        [&] {
            if (after == "other")
                throw kelvane::Exception("Not everything was done");
            if (after == "engine") {
                db::TQuery missing(*m_connection);
                missing.sqlAdd("SELECT 1 FROM GONE");
                missing.open();
            }
            if (after == "lock") {
                db::TQuery waiting(*m_connection);
                waiting.sqlAdd(update);
                waiting.execSQL();
            }
        },
        cancelAt, inStage);
    QVERIFY2(told.failure.endsWith(message), qPrintable(told.failure));
    QTEST(committed(), "held");
    QTEST(told.readAgain, "readAgain");
}

void TestRunner::readsDoNotWaitForAnotherSessionsWork()
{
    // Another session has changed T and not committed: the command reads the
    // value committed before, at once, rather than wait for that session.
    const auto other = testserver::connectAsSysdba(QStringLiteral("RUNNER"));
    db::TCommandTransaction holder(*other);
    QCOMPARE(holder.run({QStringLiteral("UPDATE T SET ID = 2")}, 0).next, 1);
    const testserver::DelayedAction release(5000, [&holder] { holder.rollback(); });
    m_connection->setLockTimeoutSeconds(1);
    QString read;
    const Told told = runCommand({}, [&] {
        db::TQuery query(*m_connection);
        query.sqlAdd(QStringLiteral("SELECT ID FROM T"));
        query.addField(QStringLiteral("ID"), db::FieldKind::Data, 10);
        query.open();
        read = query.fields(0)->text();
    });
    QCOMPARE(told.failure, QStringLiteral("<no failure>"));
    QCOMPARE(read, QStringLiteral("1"));
}

void TestRunner::refusedCommitIsUndoneAndSaidSo()
{
    // A unique index over duplicates is built, and refused, at the commit.
    m_db->run(QStringLiteral("CREATE TABLE DUP (ID INTEGER);\nINSERT INTO DUP VALUES (1);\n"
                             "INSERT INTO DUP VALUES (1);"));
    db::Change index;
    index.sql = QStringLiteral("CREATE UNIQUE INDEX IX_DUP ON DUP (ID)");
    index.object = QStringLiteral("DUP");
    QStringList open;
    TCommandRunner runner(
        *m_connection,
        {[](int) { return [](int, const QString &) { return true; }; }, [](const QString &) {}});
    const QString failure = testui::failureOf([&] {
        runner.run([&] { (void)runner.runChanges({index}); },
                   [&] {
                       // Read again once the commit has failed: by then
                       // only the kept reading transaction is left.
                       open = testserver::transactionsOf(*m_connection);
                   });
    });
    QVERIFY2(failure.contains(QLatin1String("IX_DUP")), qPrintable(failure));
    QVERIFY2(failure.endsWith(QLatin1String("The server did not confirm the command's statements: "
                                            "unless it committed them before the failure, none "
                                            "took effect.")),
             qPrintable(failure));
    QCOMPARE(open, QStringList{QStringLiteral("1")});
}

QTEST_GUILESS_MAIN(TestRunner)
#include "tst_runner.moc"
