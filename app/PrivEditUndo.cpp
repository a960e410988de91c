// Undo and redo: every command's rows as they stood before it and as it
// left them, and the command that brings them back.
#include "PrivEdit.h"

#include "db/Exception.h"
#include "db/ScopeRead.h"
#include "db/SqlLog.h"
#include "ui/BusyCursor.h"
#include "ui/Dialogs.h"
#include "ui/Lines.h"

#include <QAction>

namespace {

// How many times an undo reads its rows and sends what still differs: a
// revoke can take along what the same undo gives again later (an option's
// cascade, Firebird 4's membership from every grantor).
constexpr int RestoreRounds = 6;

} // namespace

QList<db::GrantRow> TKelvaneForm::readScopeRows(const db::UndoScope &scope)
{
    // A grant reaches its grantee alone, whose statement the command's own
    // read of the cell has prepared already.
    if (scope.objects.isEmpty() && scope.grantees.size() == 1)
        return readGranteeRows(*scope.grantees.begin());
    // Most other commands reach a grantee or two and an object or two: one
    // statement, prepared once, reads them.
    if (scope.grantees.size() <= FewNames && scope.objects.size() <= FewNames) {
        FewNamesQuery.close();
        const auto setNames = [this](const QSet<QString> &names, int first) {
            auto name = names.begin();
            for (int i = first; i < first + FewNames; ++i)
                FewNamesQuery.setParamText(i, name == names.end() ? QString() : *name++);
        };
        setNames(scope.grantees, 0);
        setNames(scope.objects, FewNames);
        return readGrantRows(FewNamesQuery);
    }
    const QList<db::PackedSource> sides =
        db::scopeSources(QLatin1String(SelectGrantRows), GrantRowColumns);
    const qsizetype granteeSlot = GrantRowColumns.indexOf(QStringLiteral("RDB$USER"));
    QList<db::GrantRow> rows;
    // The names the reads so far asked for: a row they reach came with them.
    db::UndoScope read;
    for (const db::ScopeNamesRead &names : db::packScopeNames(scope)) {
        ScopeQuery.close();
        ScopeQuery.setParamText(0, names.packed);
        QList<db::ReadRows> reached = db::readPackedRows(ScopeQuery, sides);
        // A row its grantee's name reached comes again by its object's.
        reached[1].removeRowsIf(
            [&](const QString *row) { return names.names.grantees.contains(row[granteeSlot]); });
        reached[0].append(std::move(reached[1]));
        ScopeRowsQuery.close();
        ScopeRowsQuery.openNextWith(std::move(reached[0]));
        rows += db::rowsWhere(readGrantRows(ScopeRowsQuery),
                              [&read](const db::GrantRow &row) { return !read.holds(row); });
        read.unite(names.names);
    }
    return rows;
}

void TKelvaneForm::captionUndoItems()
{
    const UndoStep *undo = m_undo.nextUndo();
    const UndoStep *redo = m_undo.nextRedo();
    UndoItem->setText(undo ? QStringLiteral("Undo %1\tCtrl+Z").arg(undo->name)
                           : QStringLiteral("Undo\tCtrl+Z"));
    RedoItem->setText(redo ? QStringLiteral("Redo %1\tCtrl+Shift+Z").arg(redo->name)
                           : QStringLiteral("Redo\tCtrl+Shift+Z"));
    UndoItem->setEnabled(Database.connected() && undo);
    RedoItem->setEnabled(Database.connected() && redo);
}

void TKelvaneForm::UndoItemClick(QObject *)
{
    replayStep(false);
}

void TKelvaneForm::RedoItemClick(QObject *)
{
    replayStep(true);
}

void TKelvaneForm::replayStep(bool redo)
{
    if (!Database.connected())
        return;
    const UndoStep *next = redo ? m_undo.nextRedo() : m_undo.nextUndo();
    if (!next)
        throw kelvane::Exception(redo ? QStringLiteral("Nothing to redo.")
                                      : QStringLiteral("Nothing to undo."));
    const UndoStep step = *next;
    const ui::BusyCursor busy;
    m_replay = redo ? Replay::Redo : Replay::Undo;
    m_commands.setAllOrNothing(true);
    const auto replayed = qScopeGuard([this] {
        m_replay = Replay::None;
        m_commands.setAllOrNothing(false);
    });
    // Where the step cannot be taken, it stays for a later try: the other
    // session may put its rows back.
    inCommand(
        [&] {
            nameCommand(step.name);
            restoreRows(step, redo);
            rereadLists(step.user, step.relation);
        },
        false);
    // The step now lives on the other side, as the command just run.
    redo ? m_undo.dropNextRedo() : m_undo.dropNextUndo();
}

void TKelvaneForm::restoreRows(const UndoStep &step, bool redo)
{
    const QString what =
        (redo ? QStringLiteral("Redo of ") : QStringLiteral("Undo of ")) + step.name;
    QList<db::GrantRow> now = db::rowsIn(readScopeRows(step.scope), step.scope);
    // A redo takes back the undo's own step: either way from how the step
    // left its rows to how they stood before it.
    const QList<db::GrantRow> &left = step.after;
    const QList<db::GrantRow> &wanted = step.before;
    if (!db::sameRows(now, left))
        throw kelvane::Exception(
            QStringLiteral("%1: nothing was sent. Another session has changed what the command "
                           "left:\n%2")
                .arg(what, ui::listedLines(db::describeDifference(left, now))));
    try {
        for (int round = 0; round < RestoreRounds && !db::sameRows(now, wanted); ++round) {
            QStringList refusals;
            const db::Plan plan = db::planRestore(now, wanted, login(), refusals);
            if (!refusals.isEmpty())
                m_commands.abandon(
                    QStringLiteral("%1: nothing was sent. The login cannot do it:\n%2")
                        .arg(what, ui::listedLines(refusals)));
            reportNotDone(runChanges(plan.changes));
            now = db::rowsIn(readScopeRows(step.scope), step.scope);
        }
        if (!db::sameRows(now, wanted))
            m_commands.abandon(
                QStringLiteral("%1: the server would not bring the rows back "
                               "exactly, so nothing was changed:\n%2")
                    .arg(what, ui::listedLines(db::describeDifference(wanted, now))));
        // A revoke here may have reached rows the command never touched: an
        // option taken away takes along what was given with it since.
        const db::UndoScope &reached = m_undo.capturedScope();
        const auto beyondStep = [&step](const db::GrantRow &row) { return !step.scope.holds(row); };
        const QList<db::GrantRow> before = db::rowsWhere(m_undo.capturedBefore(), beyondStep);
        const QList<db::GrantRow> after =
            db::rowsWhere(db::rowsIn(readScopeRows(reached), reached), beyondStep);
        if (!db::sameRows(before, after))
            m_commands.abandon(
                QStringLiteral("%1 would also change what was granted since, so nothing was "
                               "changed:\n%2")
                    .arg(what, ui::listedLines(db::describeDifference(before, after))));
    } catch (const kelvane::EngineError &) {
        throw;
    } catch (const kelvane::Exception &failure) {
        // Half an undo is worse than none.
        m_commands.abandon(failure.message());
    }
}
