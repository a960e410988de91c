// A command's transaction and the walk of its statements, however the command
// ends: committed, stopped by a refused revoke, cancelled or failed.
#include "CommandRunner.h"

#include "db/Batch.h"
#include "db/Database.h"
#include "db/Exception.h"
#include "ui/Lines.h"

#include <QHash>
#include <QScopeGuard>
#include <algorithm>

namespace {

// A statement as the progress shows it: a long column list is cut.
QString elided(const QString &statement)
{
    constexpr qsizetype Shown = 160;
    return statement.size() <= Shown ? statement : statement.left(Shown) + QChar(0x2026);
}

// Each change's object counted in the order the walk first meets it, from 1.
QList<int> objectOrdinals(const QList<db::Change> &changes)
{
    QHash<QString, int> seen;
    QList<int> ordinals;
    for (const db::Change &change : changes) {
        auto it = seen.find(change.object);
        if (it == seen.end())
            it = seen.insert(change.object, int(seen.size()) + 1);
        ordinals.append(*it);
    }
    return ordinals;
}

} // namespace

// Where a command's walk of its statements got to, and why it ended.
struct TCommandRunner::Walk
{
    explicit Walk(const QList<db::Change> &all) : changes(all) {}
    const QList<db::Change> &changes;
    qsizetype next = 0;
    bool cancelled = false;
    // Off where a refused revoke must not leave what follows it undone.
    bool revokeRefusalEnds = true;
    QString revokeRefusal;
    QStringList refused;
};

TCommandRunner::TCommandRunner(db::TDatabase &database, Hooks hooks)
    : m_database(database), m_hooks(std::move(hooks))
{
}

TCommandRunner::~TCommandRunner() = default;

void TCommandRunner::run(const std::function<void()> &command,
                         const std::function<void()> &readAgain)
{
    // Made before it is held: a command started inside another fails here
    // and leaves the other's transaction alone.
    m_work = std::make_unique<db::TCommandTransaction>(m_database);
    const auto ended = qScopeGuard([this] { m_work.reset(); });
    try {
        command();
    } catch (const kelvane::EngineError &failure) {
        // Whatever ran is undone with the transaction, and what was read
        // inside it is read again to show it gone, unless runStage already
        // rolled back and read it.
        const bool undone = m_work->ran() > 0 && !m_work->committed();
        const bool readInside = m_work->active();
        m_work->rollback();
        QString message = failure.message();
        if (failure.lockConflict())
            message += QStringLiteral("\n\nAnother session's transaction holds what the command "
                                      "needed; the command waited %1 seconds for it. Try again "
                                      "once that session has committed or rolled back.")
                           .arg(m_database.lockTimeoutSeconds());
        if (!undone)
            throw kelvane::EngineError(message, failure.codes());
        if (readInside)
            readAgain();
        throw kelvane::EngineError(QStringLiteral("%1\n\nNone of the command's statements took "
                                                  "effect: the server undoes a command it has "
                                                  "not committed.")
                                       .arg(message),
                                   failure.codes());
    } catch (...) {
        // What the command tells at its end (what it left undone) ends it
        // as a success does: what ran stays.
        commitReadingAgain(readAgain);
        throw;
    }
    commitReadingAgain(readAgain);
}

void TCommandRunner::runStage(const std::function<void()> &stage,
                              const std::function<void()> &readAgain)
{
    try {
        stage();
    } catch (const kelvane::EngineError &) {
        // What the command's transaction ran is undone before the reads
        // again, so that they show it gone.
        if (m_work)
            m_work->rollback();
        readAgain();
        throw;
    } catch (...) {
        readAgain();
        throw;
    }
}

QStringList TCommandRunner::runChanges(const QList<db::Change> &changes,
                                       const QList<db::ColumnRisk> &risksBeyond,
                                       const MendPlanner &mends, ReadAfter *readAfter)
{
    if (changes.isEmpty())
        return {};
    checkInCommand();
    Walk walk{changes};
    const bool mayMend = mends && !(risksBeyond.isEmpty() && db::columnRisks(changes).isEmpty());
    const bool readsAfter = readAfter && changes.size() == 1 && (!mayMend || readAfter->mendRows);
    if (readsAfter && mayMend)
        readAfter->reads.append(*readAfter->mendRows);
    walkChanges(walk, readsAfter ? readAfter : nullptr);
    if (!walk.cancelled) {
        const QList<db::ColumnRisk> risks =
            db::columnRisks(changes.mid(0, walk.next)) + risksBeyond;
        walk.cancelled = !mendColumnRights(risks, mends, walk.refused);
    }
    if (walk.cancelled) {
        // A half-done command is worse than none: Cancel undoes it all.
        m_work->rollback();
        reportCancelled(walk);
    }
    if (!walk.revokeRefusal.isEmpty()) {
        commit();
        reportRefusedRevoke(walk);
    }
    return walk.refused;
}

db::TCommandTransaction::Step TCommandRunner::runThenRead(const QString &statement,
                                                          db::TQuery &query,
                                                          const QList<db::TextColumn> &columns)
{
    checkInCommand();
    return m_work->runThenRead(statement, query, columns);
}

db::TCommandTransaction::Step TCommandRunner::runBetweenReads(
    const QString &statement, const db::TCommandTransaction::Guard &guard, db::TQuery &query,
    const QList<db::TextColumn> &columns, db::TCommandTransaction::RowsAround &rows,
    const QList<db::TCommandTransaction::Read> &alsoAfter)
{
    checkInCommand();
    return m_work->runBetweenReads(statement, guard, query, columns, rows, alsoAfter);
}

void TCommandRunner::undoSent()
{
    if (m_work)
        m_work->rollback();
}

bool TCommandRunner::running() const
{
    return m_work && m_work->active();
}

void TCommandRunner::checkInCommand() const
{
    // The statements join the command's transaction, which commits them
    // with the reads that follow, unless the walk ends the command early.
    if (!running())
        throw kelvane::Exception(QStringLiteral("A command's statements ran outside its "
                                                "transaction: nothing was sent"));
}

void TCommandRunner::abandon(const QString &message)
{
    undoSent();
    throw kelvane::Exception(message);
}

bool TCommandRunner::mendColumnRights(const QList<db::ColumnRisk> &risks, const MendPlanner &mends,
                                      QStringList &notes)
{
    if (risks.isEmpty() || !mends)
        return true;
    const db::Plan plan = mends(risks);
    notes += plan.notDone;
    if (plan.changes.isEmpty())
        return true;
    // A refused revoke here must not leave the holders after it revoked
    // and never granted again: the walk goes on.
    Walk walk{plan.changes};
    walk.revokeRefusalEnds = false;
    walkChanges(walk);
    notes += walk.refused;
    return !walk.cancelled;
}

void TCommandRunner::commit()
{
    const qsizetype ran = m_work->ran();
    try {
        m_work->commit();
    } catch (const kelvane::EngineError &failure) {
        if (ran == 0)
            throw;
        throw kelvane::EngineError(
            QStringLiteral("%1\n\nThe server did not confirm the command's statements: unless it "
                           "committed them before the failure, none took effect.")
                .arg(failure.message()));
    }
}

void TCommandRunner::commitReadingAgain(const std::function<void()> &readAgain)
{
    try {
        commit();
    } catch (const kelvane::EngineError &) {
        // What the command read, it read inside the transaction: it is read
        // again as the server now has it.
        readAgain();
        throw;
    }
}

void TCommandRunner::walkChanges(Walk &walk, ReadAfter *readAfter)
{
    const QList<db::Change> &changes = walk.changes;
    const QList<int> ordinals = objectOrdinals(changes);
    const int objects =
        ordinals.isEmpty() ? 0 : *std::max_element(ordinals.begin(), ordinals.end());
    QStringList statements;
    for (const db::Change &change : changes)
        statements.append(change.sql);
    const ProgressStep progress = m_hooks.progress(int(changes.size()));
    while (walk.next < changes.size()) {
        const db::Change &first = changes.at(walk.next);
        const QString now = QStringLiteral("Relation %1 of %2: %3\n%4\n\nCancel undoes the "
                                           "whole command.")
                                .arg(ordinals.at(walk.next))
                                .arg(objects)
                                .arg(first.object, elided(first.sql));
        if (!progress(int(walk.next), now)) {
            walk.cancelled = true;
            return;
        }
        const db::TCommandTransaction::Step step =
            readAfter ? m_work->runThenRead(first.sql, readAfter->reads)
                      : m_work->run(statements, walk.next);
        if (readAfter)
            readAfter->read = true;
        walk.next = step.next;
        if (!step.refused)
            continue;
        const db::Change &change = changes.at(step.next);
        if (m_allOrNothing)
            abandon(QStringLiteral("The server refused %1:\n%2\n\nNothing was changed.")
                        .arg(change.sql, step.message));
        if (change.verb == db::Change::Verb::Revoke && walk.revokeRefusalEnds) {
            // A refused revoke ends the command; what ran before it stays.
            walk.revokeRefusal = step.message;
            return;
        }
        // A refused grant is told and the command goes on.
        m_hooks.refusedGrant(change.object + QStringLiteral(" is read-only.\n") + step.message);
        walk.refused.append(QStringLiteral("Refused: ") + change.sql);
        ++walk.next;
    }
}

void TCommandRunner::reportRefusedRevoke(const Walk &walk)
{
    const QList<db::Change> &changes = walk.changes;
    if (changes.size() == 1)
        throw kelvane::EngineError(walk.revokeRefusal);
    QString message = QStringLiteral("%1\n\nThe command stopped at %2 after %3 of its %4 "
                                     "statements had run.")
                          .arg(walk.revokeRefusal, changes.at(walk.next).sql)
                          .arg(walk.next)
                          .arg(changes.size());
    if (!walk.refused.isEmpty())
        message += QStringLiteral("\n") + ui::listedLines(walk.refused);
    QStringList notRun;
    for (qsizetype i = walk.next + 1; i < changes.size(); ++i)
        notRun.append(changes.at(i).sql);
    if (!notRun.isEmpty())
        message += QStringLiteral(" These did not run:\n") + ui::listedLines(notRun);
    throw kelvane::Exception(message);
}

void TCommandRunner::reportCancelled(const Walk &walk)
{
    const qsizetype total = walk.changes.size();
    if (walk.next == 0)
        throw kelvane::Exception(QStringLiteral("Cancelled before any of the command's %1 "
                                                "statements ran: nothing was changed.")
                                     .arg(total));
    throw kelvane::Exception(QStringLiteral("Cancelled: nothing was changed. The %1 of the "
                                            "command's %2 statements that had run were undone, "
                                            "and the other %3 never ran.")
                                 .arg(walk.next)
                                 .arg(total)
                                 .arg(total - walk.next));
}
