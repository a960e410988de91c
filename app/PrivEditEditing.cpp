// The main window's writers to the database and the commands that change one
// privilege, or all of them, of the current user on the current relation.
#include "PrivEdit.h"

#include "Privileges.h"
#include "db/Exception.h"
#include "ui/Application.h"
#include "ui/DBGrid.h"
#include "ui/Dialogs.h"
#include "ui/PopupMenu.h"

#include <QAction>

namespace {

// GRANT privilege ON relation TO user, or for a stored procedure the one
// privilege it has, EXECUTE, whatever the word asked for.
QString privilegeStatement(QLatin1StringView verb, QLatin1StringView preposition, bool procedure,
                           const QString &privilege, const db::SqlName &relation,
                           const db::SqlName &user)
{
    const QString object = procedure ? QStringLiteral("EXECUTE ON PROCEDURE ") + relation.sql()
                                     : privilege + QStringLiteral(" ON ") + relation.sql();
    return verb + QLatin1Char(' ') + object + QLatin1Char(' ') + preposition + QLatin1Char(' ') +
           user.sql();
}

} // namespace

void TKelvaneForm::GrantPrivilege(const db::SqlName &user, const db::SqlName &relation,
                                  const QString &privilege)
{
    ChangeQuery.sqlClear();
    ChangeQuery.sqlAdd(privilegeStatement(QLatin1StringView("GRANT"), QLatin1StringView("TO"),
                                          CurrentIsProcedure, privilege, relation, user));
    try {
        ChangeQuery.execSQL();
    } catch (const kelvane::Exception &failure) {
        // A refused grant does not end the command: the administrator is told
        // why, and the command goes on with its next step.
        ui::showErrorMessage(RelationList->fields(0)->text() + QStringLiteral(" is read-only.\n") +
                             failure.message());
    }
}

void TKelvaneForm::RevokePrivilege(const db::SqlName &user, const db::SqlName &relation,
                                   const QString &privilege)
{
    ChangeQuery.sqlClear();
    ChangeQuery.sqlAdd(privilegeStatement(QLatin1StringView("REVOKE"), QLatin1StringView("FROM"),
                                          CurrentIsProcedure, privilege, relation, user));
    ChangeQuery.execSQL();
}

db::SqlName TKelvaneForm::currentUser() const
{
    return db::SqlName::stored(UserList->fields(0)->text());
}

db::SqlName TKelvaneForm::currentRelation() const
{
    return db::SqlName::stored(RelationList->fields(0)->text());
}

bool TKelvaneForm::hasCurrentPair() const
{
    // Without a user and a relation a statement could name nobody.
    return Database.connected() && UserList && RelationList && UserList->recNo() >= 0 &&
           RelationList->recNo() >= 0;
}

bool TKelvaneForm::isEditableColumn(int column) const
{
    // A stored procedure has EXECUTE alone; a table or view everything else.
    return (column != ExecuteColumn) != CurrentIsProcedure;
}

void TKelvaneForm::togglePrivilege(int column)
{
    checkReachableGrantee(currentUser().text());
    const QString privilege = DetailQuery.fields(column)->displayLabel();
    if (isCellSet(column))
        RevokePrivilege(currentUser(), currentRelation(), privilege);
    else
        GrantPrivilege(currentUser(), currentRelation(), privilege);
}

void TKelvaneForm::DetailGridDblClick(QObject *)
{
    const int column = DetailGrid->selectedIndex();
    if (column <= 0 || !hasCurrentPair() || !isEditableColumn(column))
        return;
    togglePrivilege(column);
    RefreshPrivileges();
}

void TKelvaneForm::PrivilegeItemClick(QObject *)
{
    DetailGridDblClick(DetailGrid);
}

void TKelvaneForm::PrivilegeMenuPopup(QObject *)
{
    if (!Database.connected())
        ui::abortSilently();
    const int column = DetailGrid->selectedIndex();
    PrivilegeItem->setText(DetailQuery.fields(column)->displayLabel());
    PrivilegeItem->setChecked(isCellSet(column));
    PrivilegeItem->setEnabled(isEditableColumn(column));
}

void TKelvaneForm::DetailGridColEnter(QObject *)
{
    DetailGrid->setPopupMenu(DetailGrid->selectedIndex() == 0 ? EditMenu : PrivilegeMenu);
}

void TKelvaneForm::GrantAllItemClick(QObject *)
{
    if (!hasCurrentPair())
        return;
    checkReachableGrantee(currentUser().text());
    GrantPrivilege(currentUser(), currentRelation(), QStringLiteral("ALL"));
    RefreshPrivileges();
}

void TKelvaneForm::RevokeAllItemClick(QObject *)
{
    if (!hasCurrentPair())
        return;
    checkReachableGrantee(currentUser().text());
    RevokePrivilege(currentUser(), currentRelation(), QStringLiteral("ALL"));
    RefreshPrivileges();
}

void TKelvaneForm::FormKeyDown(QObject *, int &key, Qt::KeyboardModifiers shift)
{
    if (!Database.connected() || shift != Qt::ControlModifier)
        return;
    if (key == Qt::Key_G) {
        GrantAllItemClick(GrantAllItem);
    } else if (key == Qt::Key_R) {
        RevokeAllItemClick(RevokeAllItem);
    } else {
        const auto column =
            std::find_if(PrivilegeColumns.begin(), PrivilegeColumns.end(),
                         [key](const PrivilegeColumn &c) { return key == c.letter.unicode(); });
        if (column == PrivilegeColumns.end())
            return;
        if (hasCurrentPair()) {
            togglePrivilege(column->index);
            RefreshPrivileges();
        }
    }
    key = 0;
}
