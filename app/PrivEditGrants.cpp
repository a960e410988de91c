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
    return m_commands.runChanges(changes, risksBeyond, [this](const QList<db::ColumnRisk> &risks) {
        return columnMends(risks);
    });
}

void TKelvaneForm::checkServerCanStore(const QList<db::Change> &changes)
{
    if (db::needsStoreCheck(changes))
        db::checkServerCanStore(changes, readGrantRows(ColumnRowsQuery));
}

db::Plan TKelvaneForm::columnMends(const QList<db::ColumnRisk> &risks)
{
    if (!login().isFirebird3)
        return {};
    return db::planColumnMends(readGrantRows(ColumnRowsQuery), risks, login());
}

void TKelvaneForm::inCommand(const std::function<void()> &command)
{
    const ListKey user = keyOf(*UserList);
    const ListKey relation = keyOf(*RelationList);
    m_commands.run(command, [&] { rereadListsQuietly(user, relation); });
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
