// The edit menu and the commands that treat a user as a whole: a new user,
// a copy to a new user, renaming and removal.
#include "PrivEdit.h"

#include "DataSetGuards.h"
#include "Privileges.h"
#include "db/Exception.h"
#include "ui/Application.h"
#include "ui/BusyCursor.h"
#include "ui/DBGrid.h"
#include "ui/Dialogs.h"
#include "ui/PopupMenu.h"

#include <QAction>
#include <QHash>
#include <QScopeGuard>

namespace {

// Asks for a user name; false when the administrator cancels or leaves it
// empty. A name of blanks alone can name nobody: the server would refuse it
// after the command had begun, so it is refused here, before anything runs.
bool askUserName(const QString &caption, const QString &prompt, QString &name)
{
    name.clear();
    if (!ui::inputQuery(caption, prompt, name) || name.isEmpty())
        return false;
    if (name.trimmed().isEmpty())
        throw kelvane::Exception(QStringLiteral("A user name cannot be blank"));
    return true;
}

// RDB$USER_TYPE of the grantees that GRANT ... TO name reaches.
const QString UserType = QStringLiteral("8");
const QString RoleType = QStringLiteral("13");

QString granteeKind(const QString &type)
{
    static const QHash<QString, QString> kinds{{QStringLiteral("1"), QStringLiteral("view")},
                                               {QStringLiteral("2"), QStringLiteral("trigger")},
                                               {QStringLiteral("5"), QStringLiteral("procedure")}};
    return kinds.value(type, QStringLiteral("grantee of type %1").arg(type));
}

} // namespace

void TKelvaneForm::EditMenuPopup(QObject *)
{
    if (!Database.connected())
        ui::abortSilently();
    const auto *grid = qobject_cast<const ui::DBGrid *>(EditMenu->popupComponent());
    const bool onUsersGrid = grid && grid->dataSet() == UserList;
    AllCopyItem->setEnabled(RelationList == &DetailQuery && onUsersGrid);
    RemoveItem->setEnabled(onUsersGrid);
    RenameItem->setEnabled(RemoveItem->isEnabled());
    CopyNewAllItem->setEnabled(RemoveItem->isEnabled());
}

void TKelvaneForm::grantSetCellsTo(const db::SqlName &user, const db::SqlName &relation)
{
    for (const PrivilegeColumn &column : PrivilegeColumns) {
        if (isCellSet(column.index))
            GrantPrivilege(user, relation, DetailQuery.fields(column.index)->displayLabel());
    }
}

void TKelvaneForm::locateNewUser(const QString &name)
{
    const auto scanning = flagSetFor(Scanning);
    LocateRecord(*UserList, 0, name, true);
    UserList->prior();
}

bool TKelvaneForm::standsOnUser(const QString &name) const
{
    // In the By Relation view every relation's reload re-reads the users and
    // finds the user again by name; once the user holds nothing any more, the
    // user is gone from the list and another one stands in that place.
    return UserList->fields(0)->text() == name;
}

void TKelvaneForm::AddNewItemClick(QObject *)
{
    QString typed;
    if (!hasCurrentPair() ||
        !askUserName(QStringLiteral("Add New User"), QStringLiteral("User Name"), typed))
        return;
    const QString name = ui::upperCaseAscii(typed);
    const ui::BusyCursor busy;
    GrantPrivilege(db::SqlName::typed(name), currentRelation(), QStringLiteral("SELECT"));
    {
        const auto scanning = flagSetFor(Scanning);
        const auto suspended = controlsDisabledFor(*UserList);
        UserList->close();
        UserList->open();
        // The server stores the name as it would read it in a statement.
        const QString stored = db::SqlName::typed(name).storedText();
        for (UserList->first(); !UserList->eof() && UserList->fields(0)->text() != stored;)
            UserList->next();
    }
    MasterQueryAfterScroll(nullptr);
}

void TKelvaneForm::CopyNewItemClick(QObject *)
{
    QString name;
    if (!hasCurrentPair() || !askUserName(QStringLiteral("Copy These Privileges To New User"),
                                          QStringLiteral("New User Name"), name))
        return;
    const ui::BusyCursor busy;
    grantSetCellsTo(db::SqlName::typed(name), currentRelation());
    locateNewUser(name);
    RefreshPrivileges();
}

void TKelvaneForm::CopyNewAllItemClick(QObject *)
{
    QString name;
    if (!hasCurrentPair() || !askUserName(QStringLiteral("Copy ALL Privileges To New User"),
                                          QStringLiteral("New User Name"), name))
        return;
    const ui::BusyCursor busy;
    const db::SqlName newUser = db::SqlName::typed(name);
    const QString source = UserList->fields(0)->text();
    walkRelationList(true, [&] {
        if (standsOnUser(source))
            grantSetCellsTo(newUser, currentRelation());
    });
    locateNewUser(name);
    RefreshPrivileges();
}

void TKelvaneForm::RenameItemClick(QObject *)
{
    if (!hasCurrentPair())
        return;
    const QString oldName = UserList->fields(0)->text();
    checkReachableGrantee(oldName);
    QString name;
    if (!askUserName(QStringLiteral("Rename User"), QStringLiteral("New Name For ") + oldName,
                     name))
        return;
    const db::SqlName newUser = db::SqlName::typed(name);
    // Granting to the same name and then revoking from it would leave the
    // user with nothing.
    if (newUser.storedText() == oldName)
        throw kelvane::Exception(
            QStringLiteral("%1 is already the name of this user: nothing was renamed").arg(name));
    const ui::BusyCursor busy;
    const db::SqlName oldUser = db::SqlName::stored(oldName);
    walkRelationList(true, [&] {
        if (!standsOnUser(oldName))
            return;
        const db::SqlName relation = currentRelation();
        grantSetCellsTo(newUser, relation);
        bool tablePrivilege = false;
        for (int column = 1; column < ExecuteColumn; ++column)
            tablePrivilege = tablePrivilege || isCellSet(column);
        if (tablePrivilege)
            RevokePrivilege(oldUser, relation, QStringLiteral("ALL"));
        else if (isCellSet(ExecuteColumn))
            RevokePrivilege(oldUser, relation, DetailQuery.fields(ExecuteColumn)->displayLabel());
    });
    locateNewUser(name);
    RefreshPrivileges();
    checkNothingLeftFor(oldName);
}

void TKelvaneForm::RemoveItemClick(QObject *)
{
    if (!hasCurrentPair())
        return;
    const QString name = UserList->fields(0)->text();
    checkReachableGrantee(name);
    const bool confirmed = ui::confirm(QStringLiteral("Remove ALL privileges for this user?"));
    if (confirmed) {
        const ui::BusyCursor busy;
        const db::SqlName user = currentUser();
        const auto scanning = flagSetFor(Scanning);
        // Every relation gets its revoke, held or not: the catalogue may hold
        // rows that the five columns do not show.
        walkRelationList(false, [&] {
            CurrentIsProcedure = Procedures.findKey(RelationList->fields(0)->text());
            RevokePrivilege(user, currentRelation(),
                            CurrentIsProcedure ? QStringLiteral("EXECUTE") : QStringLiteral("ALL"));
        });
    }
    MasterQuery.close();
    MasterQuery.open();
    if (confirmed)
        checkNothingLeftFor(name);
}

QScopeGuard<std::function<void()>> TKelvaneForm::openGranteeRows(const QString &name)
{
    GranteeQuery.close();
    GranteeQuery.setParamText(0, name);
    GranteeQuery.open();
    return qScopeGuard(std::function<void()>([this] { GranteeQuery.close(); }));
}

void TKelvaneForm::checkReachableGrantee(const QString &name)
{
    const auto closed = openGranteeRows(name);
    QString otherType;
    for (GranteeQuery.first(); !GranteeQuery.eof(); GranteeQuery.next()) {
        const QString type = GranteeQueryType->text();
        if (type == UserType || type == RoleType)
            return;
        otherType = type;
    }
    // A name that holds nothing yet is a new user.
    if (otherType.isEmpty())
        return;
    // The statement would grant to, or revoke from, a user of the same name.
    throw kelvane::Exception(
        QStringLiteral("%1 is a %2, not a user or a role: its privileges cannot be changed here")
            .arg(name, granteeKind(otherType)));
}

void TKelvaneForm::checkNothingLeftFor(const QString &name)
{
    const auto closed = openGranteeRows(name);
    QStringList left;
    for (GranteeQuery.first(); !GranteeQuery.eof(); GranteeQuery.next()) {
        if (PrivilegeMarks::columnOf(GranteeQueryPrivilege->text()) == 0)
            continue;
        const QString entry = QStringLiteral("%1 (granted by %2)")
                                  .arg(GranteeQueryRelation->text(), GranteeQueryGrantor->text());
        if (!left.contains(entry))
            left.append(entry);
    }
    if (!left.isEmpty())
        throw kelvane::Exception(
            QStringLiteral("%1 still holds privileges that only their grantors can revoke: %2")
                .arg(name, left.join(QStringLiteral(", "))));
}
