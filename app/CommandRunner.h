#pragma once

#include "db/Batch.h"
#include "db/ServerGuards.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

namespace db {
class TDatabase;
class TQuery;
} // namespace db

// Runs the main window's commands, each in one transaction: its reads, its
// statements sent to the server in batches, and the reads of its end. It
// shows nothing itself: the progress, Cancel and the refused grants reach the
// administrator through the hooks its owner gives it, so that it runs the
// same under the window as under a test.
class TCommandRunner
{
public:
    // Says how far a walk of a command's statements is and what runs next;
    // false once the administrator has pressed Cancel.
    using ProgressStep = std::function<bool(int done, const QString &text)>;
    // What the administrator sees and answers while statements run; both
    // are called, so both must be given.
    struct Hooks
    {
        // A walk of `total` statements starts; its progress lasts as long as
        // the step returned, which the walk lets go of at its end.
        std::function<ProgressStep(int total)> progress;
        // The server refused a grant, for the reason the message gives; the
        // command goes on once it has been told.
        std::function<void(const QString &message)> refusedGrant;
    };
    // The statements that give the column-level rights back in effect on the
    // columns at risk, with what cannot be given back.
    using MendPlanner = std::function<db::Plan(const QList<db::ColumnRisk> &risks)>;

    TCommandRunner(db::TDatabase &database, Hooks hooks);
    ~TCommandRunner();
    TCommandRunner(const TCommandRunner &) = delete;
    TCommandRunner &operator=(const TCommandRunner &) = delete;

    // Runs a command, its reads, statements and the reads of its end, in one
    // transaction: one round trip for its start and one for its commit
    // instead of two for every read and statement. An engine failure undoes
    // everything and says so; anything else the command ends with keeps what
    // ran. readAgain reads again, without failing, what the command read
    // inside the transaction once that no longer stands: after an undo, or a
    // commit the server did not confirm.
    void run(const std::function<void()> &command, const std::function<void()> &readAgain);
    // Runs a stage of the running command whose failure must leave what the
    // command read as the catalogue now is: on an engine failure what ran is
    // undone first; on any failure readAgain, then the failure goes on.
    void runStage(const std::function<void()> &stage, const std::function<void()> &readAgain);
    // Sends the statements in order, in the command's transaction and in
    // batches, with progress and Cancel; a refused grant is told and the rest
    // go on, a refused revoke ends the command naming what ran and what did
    // not, Cancel undoes the whole command. Then gives back, with the
    // statements mends plans, the column-level rights that the revokes which
    // ran and risksBeyond dropped. Returns the refused grants and what could
    // not be given back.
    //
    // Queries to read after a command's one statement: their rows come back
    // in the statement's round trip, for their next open, and `read` says
    // that their next open shows the rows as the statement left them. Where
    // the statement puts column-level rights at risk and mends may follow,
    // they come only with the rows the mends plan from (`mendRows`), read
    // after them; the mends that then run change what was read.
    struct ReadAfter
    {
        QList<db::TCommandTransaction::Read> reads;
        std::optional<db::TCommandTransaction::Read> mendRows = std::nullopt;
        bool read = false;
    };
    QStringList runChanges(const QList<db::Change> &changes,
                           const QList<db::ColumnRisk> &risksBeyond = {},
                           const MendPlanner &mends = {}, ReadAfter *readAfter = nullptr);

    // Whether a command's transaction is open, for its statements.
    [[nodiscard]] bool running() const;
    // Runs one statement in the command's transaction and reads the query's
    // rows as they stand after it, in the same round trip; the query's next
    // open takes them. A refused statement is returned, not told.
    [[nodiscard]] db::TCommandTransaction::Step
    runThenRead(const QString &statement, db::TQuery &query, const QList<db::TextColumn> &columns);
    // Reads the query's rows, runs one statement if its guard holds and reads
    // the rows again, in the command's transaction and in one round trip.
    [[nodiscard]] db::TCommandTransaction::Step
    runBetweenReads(const QString &statement, const db::TCommandTransaction::Guard &guard,
                    db::TQuery &query, const QList<db::TextColumn> &columns,
                    db::TCommandTransaction::RowsAround &rows,
                    const QList<db::TCommandTransaction::Read> &alsoAfter = {});
    // Undoes everything the running command sent; what it reads afterwards
    // is read outside its transaction, as the server has it.
    void undoSent();

    // Undoes everything the running command sent and ends it with the
    // message, as Cancel does.
    [[noreturn]] void abandon(const QString &message);
    // While it is on, any statement the server refuses undoes the whole
    // command, which then fails naming it: for an undo, which must take
    // effect whole or not at all.
    void setAllOrNothing(bool on) { m_allOrNothing = on; }

private:
    struct Walk;
    void checkInCommand() const;
    void walkChanges(Walk &walk, ReadAfter *readAfter = nullptr);
    // false when the administrator cancelled the mends.
    [[nodiscard]] bool mendColumnRights(const QList<db::ColumnRisk> &risks,
                                        const MendPlanner &mends, QStringList &notes);
    void commit();
    void commitReadingAgain(const std::function<void()> &readAgain);
    // The end messages of a walk that a refused revoke or Cancel stopped.
    [[noreturn]] static void reportRefusedRevoke(const Walk &walk);
    [[noreturn]] static void reportCancelled(const Walk &walk);

    db::TDatabase &m_database;
    const Hooks m_hooks;
    // The transaction of the command running, while it runs.
    std::unique_ptr<db::TCommandTransaction> m_work;
    bool m_allOrNothing = false;
};
