// The main window's exact view of the catalogue for the whole-user and copy
// commands: reading a grantee's rows, who the login is, running a command's
// statements and bringing the lists back to the truth however it ends.
#include "PrivEdit.h"

#include "DataSetGuards.h"
#include "db/Batch.h"
#include "db/Exception.h"
#include "db/SqlLog.h"
#include "ui/Dialogs.h"
#include "ui/Progress.h"

#include <QHash>

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

QList<db::GrantRow> TKelvaneForm::readGrantRows(db::TQuery &query)
{
    query.open();
    const auto closed = qScopeGuard([&query] { query.close(); });
    const db::TField *grantee = query.fieldByName(QStringLiteral("RDB$USER"));
    const db::TField *granteeType = query.fieldByName(QStringLiteral("RDB$USER_TYPE"));
    const db::TField *object = query.fieldByName(QStringLiteral("RDB$RELATION_NAME"));
    const db::TField *objectType = query.fieldByName(QStringLiteral("RDB$OBJECT_TYPE"));
    const db::TField *privilege = query.fieldByName(QStringLiteral("RDB$PRIVILEGE"));
    const db::TField *column = query.fieldByName(QStringLiteral("RDB$FIELD_NAME"));
    const db::TField *option = query.fieldByName(QStringLiteral("RDB$GRANT_OPTION"));
    const db::TField *grantor = query.fieldByName(QStringLiteral("RDB$GRANTOR"));
    QList<db::GrantRow> rows;
    for (query.first(); !query.eof(); query.next()) {
        const QString letter = privilege->text();
        rows.append({grantee->text(), granteeType->text().toInt(), object->text(),
                     objectType->text().toInt(), letter.isEmpty() ? QChar() : letter.front(),
                     column->text(), option->text().toInt(), grantor->text()});
    }
    return rows;
}

QList<db::GrantRow> TKelvaneForm::grantsOf(const ListKey &grantee)
{
    GranteeQuery.close();
    GranteeQuery.setParamText(0, grantee.name);
    return db::rowsWhere(readGrantRows(GranteeQuery), [&grantee](const db::GrantRow &row) {
        if (grantee.kind != ListKey::AnyKind)
            return row.granteeType == grantee.kind;
        return db::isNamedWithoutKeyword(row.granteeType);
    });
}

QList<db::GrantRow> TKelvaneForm::grantsGivenBy(const QString &grantor)
{
    GrantorQuery.close();
    GrantorQuery.setParamText(0, grantor);
    GrantorQuery.setParamText(1, grantor);
    return readGrantRows(GrantorQuery);
}

QList<db::GrantRow> TKelvaneForm::grantsGivenByGrantee(const ListKey &grantee)
{
    if (!db::isNamedWithoutKeyword(grantee.kind))
        return {};
    return grantsGivenBy(grantee.name);
}

const db::Login &TKelvaneForm::login()
{
    if (!m_loginKnown) {
        LoginQuery.close();
        LoginQuery.open();
        const auto closed = qScopeGuard([this] { LoginQuery.close(); });
        const QString name = LoginQuery.fields(0)->text();
        // The server lets exactly these write GRANTED BY.
        const QString role = LoginQuery.fields(1)->text();
        m_login = {name,
                   name == QLatin1String("SYSDBA") || name == LoginQuery.fields(2)->text() ||
                       role == QLatin1String("RDB$ADMIN"),
                   LoginQuery.fields(3)->text().toInt(),
                   LoginQuery.fields(4)->text().startsWith(QLatin1String("3.")),
                   role == QLatin1String("NONE") ? QString() : role};
        if (!m_login.isFirebird3 && !m_login.mayNameGrantors)
            m_login.mayNameGrantors = hasGrantedByPrivilege();
        m_loginKnown = true;
    }
    return m_login;
}

bool TKelvaneForm::hasGrantedByPrivilege()
{
    GrantedByQuery.close();
    GrantedByQuery.open();
    const auto closed = qScopeGuard([this] { GrantedByQuery.close(); });
    const QString answer = GrantedByQuery.fields(0)->text();
    return answer.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
           answer == QLatin1String("1");
}

QStringList TKelvaneForm::columnsOf(const QString &relation)
{
    ColumnsQuery.close();
    ColumnsQuery.setParamText(0, relation);
    ColumnsQuery.open();
    const auto closed = qScopeGuard([this] { ColumnsQuery.close(); });
    QStringList columns;
    for (ColumnsQuery.first(); !ColumnsQuery.eof(); ColumnsQuery.next())
        columns.append(ColumnsQuery.fields(0)->text());
    return columns;
}

QStringList TKelvaneForm::loginNames()
{
    LoginsQuery.close();
    try {
        LoginsQuery.open();
    } catch (const kelvane::EngineError &failure) {
        // The logins only add names to pick from; a server that will not
        // list them leaves the copy as it was, the users with privileges.
        qCWarning(lcSql).noquote() << "logins not listed:" << failure.message();
        return {};
    }
    const auto closed = qScopeGuard([this] { LoginsQuery.close(); });
    QStringList names;
    for (LoginsQuery.first(); !LoginsQuery.eof(); LoginsQuery.next())
        names.append(LoginsQuery.fields(0)->text());
    return names;
}

QStringList TKelvaneForm::runChanges(const QList<db::Change> &changes,
                                     const QList<db::ColumnRisk> &risksBeyond)
{
    if (changes.isEmpty())
        return {};
    checkServerCanStore(changes);
    // The statements join the command's transaction, which commits them
    // with the reads that follow, unless the walk ends the command early.
    db::TCommandTransaction *work = Database.commandTransaction();
    if (!work)
        throw kelvane::Exception(QStringLiteral("A command's statements ran outside its "
                                                "transaction: nothing was sent"));
    ChangeWalk walk{changes};
    walkChanges(*work, walk);
    if (!walk.cancelled) {
        const QList<db::ColumnRisk> risks =
            db::columnRisks(changes.mid(0, walk.next)) + risksBeyond;
        walk.cancelled = !mendColumnRights(*work, risks, walk.refused);
    }
    if (walk.cancelled) {
        // A half-done command is worse than none: Cancel undoes it all.
        work->rollback();
        reportCancelled(walk);
    }
    if (!walk.revokeRefusal.isEmpty()) {
        commitCommand(*work);
        reportRefusedRevoke(walk);
    }
    return walk.refused;
}

void TKelvaneForm::checkServerCanStore(const QList<db::Change> &changes)
{
    if (db::needsStoreCheck(changes))
        db::checkServerCanStore(changes, readGrantRows(ColumnRowsQuery));
}

bool TKelvaneForm::mendColumnRights(db::TCommandTransaction &work,
                                    const QList<db::ColumnRisk> &risks, QStringList &notes)
{
    if (risks.isEmpty() || !login().isFirebird3)
        return true;
    const db::Plan mends = db::planColumnMends(readGrantRows(ColumnRowsQuery), risks, login());
    notes += mends.notDone;
    if (mends.changes.isEmpty())
        return true;
    // A refused revoke here must not leave the holders after it revoked
    // and never granted again: the walk goes on.
    ChangeWalk walk{mends.changes};
    walk.revokeRefusalEnds = false;
    walkChanges(work, walk);
    notes += walk.refused;
    return !walk.cancelled;
}

void TKelvaneForm::commitCommand(db::TCommandTransaction &work)
{
    const qsizetype ran = work.ran();
    try {
        work.commit();
    } catch (const kelvane::EngineError &failure) {
        if (ran == 0)
            throw;
        throw kelvane::EngineError(
            QStringLiteral("%1\n\nThe server did not confirm the command's statements: unless it "
                           "committed them before the failure, none took effect.")
                .arg(failure.message()));
    }
}

void TKelvaneForm::inCommand(const std::function<void()> &command)
{
    const ListKey user = keyOf(*UserList);
    const ListKey relation = keyOf(*RelationList);
    db::TCommandTransaction work(Database);
    try {
        command();
    } catch (const kelvane::EngineError &failure) {
        // Whatever ran is undone with the transaction, and the lists, read
        // inside it, are read again to show it gone, unless runCommand
        // already rolled back and read them.
        const bool undone = work.ran() > 0 && !work.committed();
        const bool readInside = work.active();
        work.rollback();
        if (!undone)
            throw;
        if (readInside)
            rereadListsQuietly(user, relation);
        throw kelvane::EngineError(QStringLiteral("%1\n\nNone of the command's statements took "
                                                  "effect: the server undoes a command it has "
                                                  "not committed.")
                                       .arg(failure.message()));
    } catch (...) {
        // What the command tells at its end (what it left undone) ends it
        // as a success does: what ran stays.
        commitQuietlyRereading(work, user, relation);
        throw;
    }
    commitQuietlyRereading(work, user, relation);
}

void TKelvaneForm::commitQuietlyRereading(db::TCommandTransaction &work, const ListKey &user,
                                          const ListKey &relation)
{
    try {
        commitCommand(work);
    } catch (const kelvane::EngineError &) {
        // The lists were read inside the transaction: read them again as the
        // server now has them.
        rereadListsQuietly(user, relation);
        throw;
    }
}

void TKelvaneForm::walkChanges(db::TCommandTransaction &work, ChangeWalk &walk)
{
    const QList<db::Change> &changes = walk.changes;
    const QList<int> ordinals = objectOrdinals(changes);
    const int objects =
        ordinals.isEmpty() ? 0 : *std::max_element(ordinals.begin(), ordinals.end());
    QStringList statements;
    for (const db::Change &change : changes)
        statements.append(change.sql);
    ui::Progress progress(int(changes.size()), ProgressDelay);
    while (walk.next < changes.size()) {
        const db::Change &first = changes.at(walk.next);
        const QString now = QStringLiteral("Relation %1 of %2: %3\n%4\n\nCancel undoes the "
                                           "whole command.")
                                .arg(ordinals.at(walk.next))
                                .arg(objects)
                                .arg(first.object, elided(first.sql));
        if (!progress.step(int(walk.next), now)) {
            walk.cancelled = true;
            return;
        }
        const db::TCommandTransaction::Step step = work.run(statements, walk.next);
        walk.next = step.next;
        if (!step.refused)
            continue;
        const db::Change &change = changes.at(step.next);
        if (change.verb == db::Change::Verb::Revoke && walk.revokeRefusalEnds) {
            // A refused revoke ends the command; what ran before it stays.
            walk.revokeRefusal = step.message;
            return;
        }
        // A refused grant is told and the command goes on.
        ui::showErrorMessage(change.object + QStringLiteral(" is read-only.\n") + step.message);
        walk.refused.append(QStringLiteral("Refused: ") + change.sql);
        ++walk.next;
    }
}

void TKelvaneForm::reportRefusedRevoke(const ChangeWalk &walk)
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

void TKelvaneForm::reportCancelled(const ChangeWalk &walk)
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

QStringList TKelvaneForm::grantOptionLosses(const db::Plan &plan)
{
    QStringList lost;
    QStringList grantees;
    for (const db::OptionTaken &taken : plan.optionsTaken) {
        if (!grantees.contains(taken.grantee))
            grantees.append(taken.grantee);
    }
    for (const QString &grantee : grantees) {
        const QList<db::GrantRow> given =
            db::rowsWhere(grantsGivenBy(grantee), [&](const db::GrantRow &row) {
                return std::any_of(plan.optionsTaken.begin(), plan.optionsTaken.end(),
                                   [&](const db::OptionTaken &taken) {
                                       return taken.grantee == grantee &&
                                              taken.objectType == row.objectType &&
                                              taken.object == row.object &&
                                              taken.letter == row.privilege;
                                   });
            });
        for (const QString &line : db::describeGiven(given))
            lost.append(QStringLiteral("%1 by %2").arg(line, grantee));
    }
    return lost;
}

bool TKelvaneForm::mayTakeAway(const db::Plan &plan, bool asksWhatIsTaken)
{
    QStringList parts;
    if (asksWhatIsTaken && !plan.taken.isEmpty())
        parts.append(QStringLiteral("The copy takes from its targets:\n") +
                     ui::listedLines(db::describeTaken(plan.taken, login().name)));
    const QStringList lost = grantOptionLosses(plan);
    if (!lost.isEmpty())
        parts.append(QStringLiteral("This takes grant options away, and the server then also "
                                    "revokes what was granted with them:\n") +
                     ui::listedLines(lost));
    if (parts.isEmpty())
        return true;
    return ui::confirm(parts.join(QStringLiteral("\n\n")) + QStringLiteral("\n\nGo on?"));
}

QStringList TKelvaneForm::runPlan(const db::Plan &plan, bool asksWhatIsTaken)
{
    if (!mayTakeAway(plan, asksWhatIsTaken))
        return {};
    return plan.notDone + runChanges(plan.changes);
}

void TKelvaneForm::runCommand(const std::function<void()> &command)
{
    const ListKey user = keyOf(*UserList);
    const ListKey relation = keyOf(*RelationList);
    try {
        command();
    } catch (const kelvane::EngineError &) {
        // What the command's transaction ran is undone before the lists are
        // read again, so that they show it gone.
        if (db::TCommandTransaction *work = Database.commandTransaction())
            work->rollback();
        rereadListsQuietly(user, relation);
        throw;
    } catch (...) {
        rereadListsQuietly(user, relation);
        throw;
    }
}

void TKelvaneForm::rereadListsQuietly(const ListKey &user, const ListKey &relation)
{
    // The failure is what the administrator must read; if the lists cannot
    // be read again either, the connection is gone and the next command
    // will say so.
    try {
        rereadLists(user, relation);
    } catch (const kelvane::Exception &) {
    }
}

void TKelvaneForm::rereadLists(const ListKey &user, const ListKey &relation)
{
    MasterQuery.close();
    MasterQuery.open();
    standOnPair(user, relation);
}

void TKelvaneForm::standOnUser(const ListKey &user)
{
    if (UserList == &MasterQuery) {
        {
            const auto scanning = flagSetFor(Scanning);
            LocateKey(MasterQuery, user, true);
        }
        // The detail keeps its row, now calculated for the user.
        MasterQueryAfterScroll(nullptr);
    } else {
        // The relations are those they were; the users and cells are read again.
        RefreshPrivileges();
        LocateKey(DetailQuery, user, false);
    }
}

void TKelvaneForm::checkGranteeKind(const ListKey &grantee)
{
    if (grantee.kind == ListKey::AnyKind || db::isGranteeKind(grantee.kind))
        return;
    throw kelvane::Exception(
        QStringLiteral("%1 is a %2, which no GRANT or REVOKE can name: its privileges cannot be "
                       "changed here")
            .arg(grantee.name, granteeLook(grantee.kind).name));
}

QList<db::GrantRow> TKelvaneForm::reachableGrantsOf(const ListKey &grantee)
{
    checkGranteeKind(grantee);
    return grantsOf(grantee);
}

void TKelvaneForm::checkNothingLeftFor(const ListKey &grantee,
                                       const std::function<QString(const QString &)> &leftMessage,
                                       const QStringList &notDone)
{
    QStringList lines = notDone;
    const QStringList left = db::describeRows(grantsOf(grantee));
    if (!left.isEmpty())
        lines.append(leftMessage(QStringLiteral("\n") + ui::listedLines(left)));
    if (!lines.isEmpty())
        throw kelvane::Exception(ui::listedLines(lines));
}

void TKelvaneForm::reportNotDone(const QStringList &notDone)
{
    if (!notDone.isEmpty())
        throw kelvane::Exception(QStringLiteral("Not everything was done:\n") +
                                 ui::listedLines(notDone));
}
