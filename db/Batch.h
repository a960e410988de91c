#pragma once

#include "DataSet.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace db {

namespace client {
class Transaction;
}
class TDatabase;
class TQuery;

// A column read as text of at most `length` characters. The client fetches
// as many rows a round trip as fit in its cache at their declared width:
// the narrower, the more.
struct TextColumn
{
    QString name;
    int length;
};

// One command in one transaction: its reads, and its statements sent to the
// server many at a time. Each batch is a single round trip of an EXECUTE
// BLOCK that runs its statements one by one and stops at the first the
// server refuses, keeping those before it. Without a commit, everything the
// command ran is undone, which is what the server does anyway when the
// connection is lost. Until it ends, every statement and read of the
// database runs in it.
//
// The transaction reads what others have committed, and waits for what
// another session's transaction holds no longer than the database's lock
// timeout; a lock conflict, like a lost connection, fails the command
// rather than counting as a refused statement.
class TCommandTransaction
{
public:
    // Starts the transaction.
    explicit TCommandTransaction(TDatabase &database);
    // Rolls back what was not committed.
    ~TCommandTransaction();
    TCommandTransaction(const TCommandTransaction &) = delete;
    TCommandTransaction &operator=(const TCommandTransaction &) = delete;

    // Where a batch ended: next is the first statement it did not run. When
    // the server refused a statement, next is that statement and message the
    // server's reason; the statement took no effect.
    struct Step
    {
        qsizetype next = 0;
        bool refused = false;
        QString message;
        // Its guard kept it from running.
        bool heldBack = false;
    };
    // Runs the statements from `from` on, as many as one batch holds.
    [[nodiscard]] Step run(const QStringList &statements, qsizetype from);
    // Runs one statement, then reads the query's rows as they stand after
    // it, in the same round trip; the query's next open takes those rows
    // instead of reading them. The query's parameters keep the values set;
    // its columns are given in the order it selects them. A statement the
    // server refuses takes no effect, and the rows are read all the same.
    [[nodiscard]] Step runThenRead(const QString &statement, TQuery &query,
                                   const QList<TextColumn> &columns);
    // A query read after a statement, and its columns in the order it
    // selects them.
    struct Read
    {
        TQuery *query;
        QList<TextColumn> columns;
    };
    // Runs one statement, then reads each query in turn as runThenRead
    // reads one, all in the same round trip.
    [[nodiscard]] Step runThenRead(const QString &statement, const QList<Read> &reads);

    // What must still hold for a statement to run, tested in its round trip:
    // an SQL search condition; what the statement can reach: a condition
    // over the query's columns that picks every row it can change; and the
    // values of their parameters (":Name") by name.
    struct Guard
    {
        QString condition;
        QString reach;
        QHash<QString, QString> values;
    };
    // A query's rows as they stood before a statement and, where the rows
    // read after it stand, after it.
    struct RowsAround
    {
        ReadRows before;
        std::optional<ReadRows> after;
    };
    // Reads the query's rows, runs the statement if the guard's condition
    // holds, and reads the rows again, all in one round trip; rows come as
    // runThenRead reads them, for the caller to open the query with. Only
    // the rows within the statement's reach travel twice: the others are as
    // it found them. A statement its guard held back leaves the rows after
    // as they were before. One too long to travel with its guard is held
    // back too, after the rows are read: the caller, who has them, runs it
    // if it still should. The queries alsoAfter are read after the rows, as
    // runThenRead reads them, where the block ran.
    [[nodiscard]] Step runBetweenReads(const QString &statement, const Guard &guard, TQuery &query,
                                       const QList<TextColumn> &columns, RowsAround &rows,
                                       const QList<Read> &alsoAfter = {});

    // Ends the transaction; what it ran stays, or is all undone. The reads
    // after either run in the connection's reading transaction. A commit
    // the server refuses is rolled back and fails.
    void commit();
    void rollback();
    [[nodiscard]] bool active() const { return m_active; }
    [[nodiscard]] bool committed() const { return m_committed; }
    // How many changes ran in it.
    [[nodiscard]] qsizetype ran() const { return m_ran; }

    // At most this many statements go in one batch, and no more than its
    // parameter's 32,765 bytes hold; the Cancel of a long command waits for
    // the batch in flight, a quarter of a second or so on the server.
    static constexpr qsizetype MaxBatchStatements = 500;

private:
    friend class TDatabase;
    [[nodiscard]] Step runAlone(const QString &statement, qsizetype at);
    // The first query's rows come in `rows`; those of the others, read
    // after it, in `others`.
    [[nodiscard]] Step runInBlock(const QString &statement, const Guard *guard,
                                  const QList<Read> &reads, RowsAround &rows,
                                  QList<ReadRows> &others);
    // Each query's next open takes its rows.
    static void openWithRowsRead(const QList<Read> &reads, QList<ReadRows> &rows);
    [[nodiscard]] client::Transaction &transaction() const { return *m_transaction; }
    void ended();

    TDatabase &m_database;
    std::unique_ptr<client::Transaction> m_transaction;
    bool m_active = false;
    bool m_committed = false;
    qsizetype m_ran = 0;
};

} // namespace db
