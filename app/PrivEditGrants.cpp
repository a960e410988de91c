// The main window's exact view of the catalogue for the whole-user and copy
// commands: reading a grantee's rows, who the login is, handing a command's
// statements to its runner and bringing the lists back to the truth however
// it ends.
#include "PrivEdit.h"

#include "DataSetGuards.h"
#include "db/Exception.h"
#include "db/SqlLog.h"
#include "ui/Dialogs.h"

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
        // As the lists show them: a DDL privilege is a row of its own.
        rows.append(
            db::asListRow({grantee->text(), granteeType->text().toInt(), object->text(),
                           objectType->text().toInt(), letter.isEmpty() ? QChar() : letter.front(),
                           column->text(), option->text().toInt(), grantor->text()}));
    }
    return rows;
}

QList<db::GrantRow> TKelvaneForm::readGranteeRows(const QString &name)
{
    GranteeQuery.close();
    GranteeQuery.setParamText(0, name);
    QList<db::GrantRow> rows = readGrantRows(GranteeQuery);
    noteRoles(rows);
    return rows;
}

QList<db::GrantRow> TKelvaneForm::grantsOf(const ListKey &grantee)
{
    const QList<db::GrantRow> rows = readGranteeRows(grantee.name);
    m_undo.noteRowsOf(grantee.name, rows);
    return rowsOfKind(rows, grantee);
}

QList<db::GrantRow> TKelvaneForm::rowsOfKind(const QList<db::GrantRow> &rows,
                                             const ListKey &grantee)
{
    return db::rowsWhere(rows, [&grantee](const db::GrantRow &row) {
        if (grantee.kind != ListKey::AnyKind)
            return row.granteeType == grantee.kind;
        return db::isNamedWithoutKeyword(row.granteeType);
    });
}

void TKelvaneForm::noteRoles(QList<db::GrantRow> &rows)
{
    (void)login();
    m_login.roles.clear();
    m_login.rolesNamedLikeUsers.clear();
    for (const db::GrantRow &row : rows) {
        if (row.granteeType != RoleRow)
            continue;
        m_login.roles.insert(row.grantee);
        if (row.option != 0)
            m_login.rolesNamedLikeUsers.insert(row.grantee);
    }
    rows.removeIf([](const db::GrantRow &row) { return row.granteeType == RoleRow; });
}

db::Grantee TKelvaneForm::granteeOf(const ListKey &key)
{
    return db::namedGrantee(key.name, key.kind, login());
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
    // A grant is always a user's: a role's members grant in their own names,
    // and a role of the same name as a user gave nothing.
    if (grantee.kind != db::kind::User)
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
    m_undo.beforeChanges(changes);
    // A command's one statement brings its grantee's rows back in its round
    // trip: the cells and the way back take them instead of reading them
    // again. Rows not taken at once are dropped, for a later read must not
    // take them.
    const QString grantee = changes.constFirst().grantee;
    GranteeQuery.close();
    GranteeQuery.setParamText(0, grantee);
    TCommandRunner::ReadAfter after{{{&GranteeQuery, grantRowTexts()}}};
    // A revoke can take its object from the lists: whether it did is asked
    // in its round trip too.
    const std::optional<db::ListedName> object = objectRevoked(changes);
    if (object)
        after.reads.append(askIfListed(*object));
    // Only Firebird 3 needs the column-level rights mended after a revoke:
    // the rows it plans from, every column-level row, come back with the
    // statement where it puts them at risk. Mends that run change what came
    // back, which is then read again where needed.
    TCommandRunner::MendPlanner mends;
    bool mended = false;
    if (login().isFirebird3) {
        ColumnRowsQuery.close();
        after.mendRows = db::TCommandTransaction::Read{&ColumnRowsQuery, grantRowTexts()};
        mends = [this, &mended](const QList<db::ColumnRisk> &risks) {
            db::Plan plan = columnMends(risks);
            mended = !plan.changes.isEmpty();
            return plan;
        };
    }
    const auto unread = qScopeGuard([this] {
        GranteeQuery.forgetKeptRows();
        ObjectListedQuery.forgetKeptRows();
        ColumnRowsQuery.forgetKeptRows();
    });
    const QStringList refused = m_commands.runChanges(changes, risksBeyond, mends, &after);
    if (after.read && !mended)
        noteWhatCameAfter(grantee, object);
    return refused;
}

void TKelvaneForm::noteWhatCameAfter(const QString &grantee,
                                     const std::optional<db::ListedName> &object)
{
    m_undo.noteRowsOf(grantee, readGranteeRows(grantee));
    if (object)
        m_undo.noteObjectListed(*object, isObjectListed());
}

std::optional<db::ListedName> TKelvaneForm::objectRevoked(const QList<db::Change> &changes)
{
    if (changes.size() != 1)
        return std::nullopt;
    // Every DDL privilege stands in the list, held or not, and a revoke on
    // every object has none of its own.
    const db::Change &change = changes.constFirst();
    if (change.verb != db::Change::Verb::Revoke || !db::isListedObjectKind(change.objectType))
        return std::nullopt;
    return db::ListedName{db::ListSide::Relations, change.object, change.objectType};
}

db::TCommandTransaction::Read TKelvaneForm::askIfListed(const db::ListedName &object)
{
    ObjectListedQuery.close();
    ObjectListedQuery.setParamText(0, object.name);
    ObjectListedQuery.setParamText(1, QString::number(object.kind));
    return {&ObjectListedQuery, {{QStringLiteral("LISTED"), 1}}};
}

bool TKelvaneForm::isObjectListed()
{
    ObjectListedQuery.open();
    const auto closed = qScopeGuard([this] { ObjectListedQuery.close(); });
    return ObjectListedQuery.fields(0)->text() == QLatin1String("1");
}

void TKelvaneForm::checkServerCanStore(const QList<db::Change> &changes)
{
    db::checkRolesStayUsable(changes, login());
    if (db::needsStoreCheck(changes))
        db::checkServerCanStore(changes, readGrantRows(ColumnRowsQuery));
}

db::Plan TKelvaneForm::columnMends(const QList<db::ColumnRisk> &risks)
{
    if (!login().isFirebird3)
        return {};
    return db::planColumnMends(readGrantRows(ColumnRowsQuery), risks, login());
}

void TKelvaneForm::inCommand(const std::function<void()> &command, bool staysOnPair)
{
    const ListKey user = keyOf(*UserList);
    const ListKey relation = keyOf(*RelationList);
    m_undo.begin(user, relation);
    std::optional<UndoStep> step;
    // What the command leaves is read before it commits, whether it ends
    // quietly or telling what it left undone.
    const auto readWhatItLeft = [&] {
        try {
            step = m_undo.end();
        } catch (const kelvane::Exception &failure) {
            qCWarning(lcSql).noquote() << "the command cannot be undone:" << failure.message();
        }
    };
    const auto keepStep = [&] {
        if (!step)
            return;
        switch (m_replay) {
        case Replay::None:
            m_undo.recordDone(std::move(*step));
            break;
        case Replay::Undo:
            m_undo.recordUndone(std::move(*step));
            break;
        case Replay::Redo:
            m_undo.recordRedone(std::move(*step));
            break;
        }
    };
    const auto ranCommand = [&] {
        try {
            command();
        } catch (const kelvane::EngineError &) {
            m_undo.abandon();
            throw;
        } catch (...) {
            readWhatItLeft();
            throw;
        }
        readWhatItLeft();
    };
    try {
        m_commands.run(ranCommand, [&] { rereadListsQuietly(user, relation); });
    } catch (const kelvane::EngineError &failure) {
        m_undo.abandon();
        const QString went = staysOnPair ? whereThePairWent(user, relation) : QString();
        if (went.isEmpty())
            throw;
        throw kelvane::EngineError(failure.message() + QStringLiteral("\n\n") + went,
                                   failure.codes());
    } catch (const kelvane::Exception &failure) {
        keepStep();
        const QString went = staysOnPair ? whereThePairWent(user, relation) : QString();
        if (went.isEmpty())
            throw;
        throw kelvane::Exception(failure.message() + QStringLiteral("\n\n") + went);
    }
    keepStep();
    const QString went = staysOnPair ? whereThePairWent(user, relation) : QString();
    if (!went.isEmpty())
        ui::showInformationMessage(went);
}

QString TKelvaneForm::whereThePairWent(const ListKey &user, const ListKey &relation) const
{
    const auto sameKey = [](const ListKey &a, const ListKey &b) {
        return a.name == b.name && a.kind == b.kind;
    };
    const auto standsOn = [this](const db::TDataSet &list) {
        return list.recNo() < 0 ? QStringLiteral("no row") : nameHint(list, list.recNo());
    };
    QStringList lines;
    if (!user.name.isEmpty() && !sameKey(keyOf(*UserList), user))
        lines.append(QStringLiteral("%1 holds no privilege any more and has left the list of "
                                    "users, which now stands on %2.")
                         .arg(user.name, standsOn(*UserList)));
    if (!relation.name.isEmpty() && !sameKey(keyOf(*RelationList), relation))
        lines.append(QStringLiteral("Nobody holds a privilege on %1 any more: it has left the "
                                    "list of relations, which now stands on %2.")
                         .arg(relation.name, standsOn(*RelationList)));
    return lines.join(QLatin1Char('\n'));
}

namespace {

bool takesOptionOf(const db::Plan &plan, const QString &grantee, const db::GrantRow &row)
{
    return std::any_of(plan.optionsTaken.begin(), plan.optionsTaken.end(),
                       [&](const db::OptionTaken &taken) {
                           return taken.grantee == grantee && taken.objectType == row.objectType &&
                                  taken.object == row.object && taken.letter == row.privilege;
                       });
}

QStringList optionHolders(const QList<db::GrantRow> &given)
{
    QStringList holders;
    for (const db::GrantRow &row : given) {
        if (!holders.contains(row.grantor))
            holders.append(row.grantor);
    }
    return holders;
}

} // namespace

QList<db::GrantRow> TKelvaneForm::grantOptionLosses(const db::Plan &plan)
{
    QStringList grantees;
    for (const db::OptionTaken &taken : plan.optionsTaken) {
        if (!grantees.contains(taken.grantee))
            grantees.append(taken.grantee);
    }
    QList<db::GrantRow> lost;
    for (const QString &grantee : grantees) {
        // An option the grantee keeps from a grantor the login may not name
        // still stands behind what it gave with it.
        const QList<db::GrantRow> kept =
            db::rowsWhere(grantsOf({grantee, ListKey::AnyKind}), [&](const db::GrantRow &row) {
                return row.option > 0 && !db::mayNameGrantor(login(), row.grantor);
            });
        lost += db::rowsWhere(grantsGivenBy(grantee), [&](const db::GrantRow &row) {
            const bool stillBacked = std::any_of(kept.begin(), kept.end(), [&](const auto &own) {
                return db::isOn(own, {row.objectType, row.object}) &&
                       own.privilege == row.privilege;
            });
            return takesOptionOf(plan, grantee, row) && !stillBacked;
        });
    }
    return lost;
}

bool TKelvaneForm::mayTakeAway(const db::Plan &plan, bool asksWhatIsTaken,
                               const QList<db::GrantRow> &lost)
{
    QStringList parts;
    if (asksWhatIsTaken && !plan.taken.isEmpty())
        parts.append(QStringLiteral("The copy takes from its targets:\n") +
                     ui::listedLines(db::describeTaken(plan.taken, login().name)));
    if (!lost.isEmpty()) {
        const bool privileges =
            std::any_of(plan.optionsTaken.begin(), plan.optionsTaken.end(),
                        [](const db::OptionTaken &taken) { return taken.withPrivilege; });
        QStringList lines;
        for (const db::GrantRow &row : lost)
            lines.append(
                QStringLiteral("%1 by %2").arg(db::describeGiven({row}).constFirst(), row.grantor));
        lines.removeDuplicates();
        parts.append((privileges ? QStringLiteral("This revokes privileges held with the grant "
                                                  "option, and with them what was granted with "
                                                  "that option:\n")
                                 : QStringLiteral("This takes grant options away, and with them "
                                                  "what was granted with those options:\n")) +
                     ui::listedLines(lines));
    }
    if (parts.isEmpty())
        return true;
    return ui::confirm(parts.join(QStringLiteral("\n\n")) + QStringLiteral("\n\nGo on?"));
}

QStringList TKelvaneForm::runPlan(const db::Plan &plan, bool asksWhatIsTaken)
{
    const QList<db::GrantRow> lost = grantOptionLosses(plan);
    if (!mayTakeAway(plan, asksWhatIsTaken, lost))
        return {};
    QStringList notDone = plan.notDone + runChanges(plan.changes);
    return notDone + revokeWhatOptionsGave(lost);
}

QStringList TKelvaneForm::revokeWhatOptionsGave(const QList<db::GrantRow> &lost)
{
    // The server takes along what was granted with an option only where the
    // holder held the privilege in that one row: with two grantors it leaves
    // it. What the question said goes, goes.
    const auto leftOf = [&] {
        QList<db::GrantRow> left;
        for (const QString &holder : optionHolders(lost))
            left += db::rowsWhere(grantsGivenBy(holder),
                                  [&lost](const db::GrantRow &row) { return lost.contains(row); });
        return left;
    };
    QList<db::GrantRow> left = leftOf();
    if (left.isEmpty())
        return {};
    db::Plan plan;
    while (!left.isEmpty()) {
        const db::GrantRow first = left.constFirst();
        const auto sameGrant = [&first](const db::GrantRow &row) {
            return row.grantee == first.grantee && row.granteeType == first.granteeType &&
                   db::isOn(row, {first.objectType, first.object});
        };
        const QList<db::GrantRow> ofReceiver = db::rowsWhere(left, sameGrant);
        left.removeIf(sameGrant);
        QString letters;
        for (QChar letter : db::lettersOf(ofReceiver))
            letters += letter;
        const db::Grantee receiver = db::namedGrantee(first.grantee, first.granteeType, login());
        plan.changes += db::planRevoke(ofReceiver, letters, receiver, login()).changes;
        if (first.objectType == db::kind::Role) {
            const QList<db::GrantRow> kept =
                db::rowsWhere(membershipsOfReceivers(ofReceiver),
                              [&lost](const db::GrantRow &row) { return !lost.contains(row); });
            plan.changes += db::membershipsGivenBack(kept, {first.objectType, first.object},
                                                     first.grantor, receiver, login());
        }
    }
    QStringList notDone = runChanges(plan.changes);
    for (const db::GrantRow &row : leftOf())
        notDone.append(QStringLiteral("%1 by %2 is still held: the server kept it")
                           .arg(db::describeGiven({row}).constFirst(), row.grantor));
    return notDone;
}

void TKelvaneForm::runCommand(const std::function<void()> &command)
{
    const ListKey user = keyOf(*UserList);
    const ListKey relation = keyOf(*RelationList);
    m_commands.runStage(command, [&] { rereadListsQuietly(user, relation); });
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
    openMasterOnPair(user, relation);
}

QSet<db::ListedName> TKelvaneForm::namesReached() const
{
    // Whatever the command's statements changed, the way back read first:
    // the names of those rows are the only ones that can have gone.
    QSet<db::ListedName> reached;
    for (const db::GrantRow &row : m_undo.capturedBefore()) {
        reached.insert({db::ListSide::Users, row.grantee, row.granteeType});
        // Every DDL privilege stands in the list, held or not.
        if (row.objectType != db::kind::DdlPrivilege)
            reached.insert({db::ListSide::Relations, row.object, row.objectType});
    }
    return reached;
}

QSet<db::ListedName> TKelvaneForm::settleWithoutAsking(QSet<db::ListedName> &names) const
{
    QSet<db::ListedName> gone;
    const auto settle =
        [&names, &gone](const std::function<std::optional<bool>(const db::ListedName &)> &listed) {
            for (auto name = names.begin(); name != names.end();) {
                const std::optional<bool> answer = listed(*name);
                if (!answer) {
                    ++name;
                    continue;
                }
                if (!*answer)
                    gone.insert(*name);
                name = names.erase(name);
            }
        };
    // The rows read since the last statements: the names they list stand,
    // and a grantee whom none of his rows lists is gone, for they are every
    // row of his name.
    for (const QString &grantee : m_undo.capturedScope().grantees) {
        const std::optional<QList<db::GrantRow>> rows = m_undo.notedRowsOf(grantee);
        if (!rows)
            continue;
        QSet<db::ListedName> listed;
        for (const db::GrantRow &row : *rows) {
            for (const db::ListedName &name : db::namesListedBy(row))
                listed.insert(name);
        }
        settle([&](const db::ListedName &name) -> std::optional<bool> {
            if (listed.contains(name))
                return true;
            if (name.side == db::ListSide::Users && name.name == grantee)
                return false;
            return std::nullopt;
        });
    }
    // What was asked of an object along with them.
    settle([this](const db::ListedName &name) { return m_undo.notedListed(name); });
    return gone;
}

std::optional<QSet<db::ListedName>> TKelvaneForm::namesGone(bool usersToo)
{
    if (!m_undo.running() || !UserList->active() || !RelationList->active())
        return std::nullopt;
    QSet<db::ListedName> reached;
    for (const db::ListedName &name : namesReached()) {
        const bool inDetail = (name.side == db::ListSide::Users) == (UserList == &DetailQuery);
        if (usersToo || inDetail)
            reached.insert(name);
    }
    QSet<db::ListedName> gone = settleWithoutAsking(reached);
    const std::optional<QString> packed = db::packListedNames(reached.values());
    if (!packed)
        return std::nullopt;
    if (reached.isEmpty())
        return gone;
    StillListedQuery.close();
    StillListedQuery.setParamText(0, *packed);
    StillListedQuery.open();
    const auto closed = qScopeGuard([this] { StillListedQuery.close(); });
    for (StillListedQuery.first(); !StillListedQuery.eof(); StillListedQuery.next())
        reached.remove({db::ListSide(StillListedQuery.fields(0)->text().toInt()),
                        StillListedQuery.fields(2)->text(),
                        StillListedQuery.fields(1)->text().toInt()});
    return gone + reached;
}

void TKelvaneForm::keepRowsListed(db::TQuery &list, const QSet<db::ListedName> &gone)
{
    const db::ListSide side = &list == UserList ? db::ListSide::Users : db::ListSide::Relations;
    db::ReadRows rows = list.readRows();
    const qsizetype name = rows.fieldNames.indexOf(list.fields(0)->fieldName());
    const qsizetype kind = rows.fieldNames.indexOf(kindField(list)->fieldName());
    if (name < 0 || kind < 0)
        return;
    rows.removeRowsIf([&](const QString *row) {
        return gone.contains({side, row[name], row[kind].toInt()});
    });
    list.openNextWith(std::move(rows));
}

void TKelvaneForm::keepListsButNamesGone()
{
    const std::optional<QSet<db::ListedName>> gone = namesGone(true);
    if (!gone)
        return;
    keepRowsListed(*UserList, *gone);
    keepRowsListed(*RelationList, *gone);
}

void TKelvaneForm::refreshAfterRevoke()
{
    // Only the names whose rows the command reached can have left the
    // detail list: those are asked about, rather than the whole list read
    // again. The master list stands, as it does after any toggle.
    const std::optional<QSet<db::ListedName>> gone = namesGone(false);
    if (!gone) {
        RefreshPrivileges();
        return;
    }
    refreshCells();
    if (gone->isEmpty())
        return;
    keepRowsListed(DetailQuery, *gone);
    reopenDetailOnItsRow();
}

void TKelvaneForm::standOnUser(const ListKey &user, bool relationsKept)
{
    if (UserList == &MasterQuery) {
        {
            const auto scanning = flagSetFor(Scanning);
            revealInList(MasterQuery, user.name);
            LocateKey(MasterQuery, user, true);
        }
        // Its rows stand: only the cells are calculated again, which saves
        // reading the catalogue's largest list once more.
        if (relationsKept && DetailQuery.active())
            m_detailReadWithMaster = MasterQuery.openGeneration();
        // The detail keeps its row, now calculated for the user.
        MasterQueryAfterScroll(nullptr);
    } else {
        // The relations are those they were; the users and cells are read again.
        revealInList(DetailQuery, user.name);
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
    // After a command, what its end read of the grantee in its own
    // transaction is what it left.
    const std::optional<QList<db::GrantRow>> leftByCommand = m_undo.leftOf(grantee.name);
    const QStringList left =
        db::describeRows(leftByCommand ? rowsOfKind(*leftByCommand, grantee) : grantsOf(grantee));
    if (!left.isEmpty())
        lines.append(leftMessage(QStringLiteral("\n") + ui::listedLines(left)));
    if (!lines.isEmpty())
        throw kelvane::Exception(ui::withFullStop(ui::listedLines(lines)));
}

void TKelvaneForm::reportNotDone(const QStringList &notDone)
{
    if (!notDone.isEmpty())
        throw kelvane::Exception(ui::withFullStop(QStringLiteral("Not everything was done:\n") +
                                                  ui::listedLines(notDone)));
}
