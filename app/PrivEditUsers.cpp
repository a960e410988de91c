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
// empty. Blanks around the name are a slip of the keyboard, not part of it:
// the name is trimmed, and one of blanks alone, which can name nobody, is
// refused here, before anything runs.
bool askUserName(const QString &caption, const QString &prompt, QString &name,
                 const QStringList &suggestions = {})
{
    name.clear();
    if (!ui::inputQuery(caption, prompt, name, suggestions) || name.isEmpty())
        return false;
    name = name.trimmed();
    if (name.isEmpty())
        throw kelvane::Exception(QStringLiteral("A user name cannot be blank"));
    return true;
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
    captionEachLetterItems();
    captionUndoItems();
}

bool TKelvaneForm::askNewUserName(const QString &caption, const QString &prompt, QString &name,
                                  QStringList *logins)
{
    const QStringList read = loginNames();
    if (logins)
        *logins = read;
    // The logins that hold nothing yet are there to be picked.
    if (!askUserName(caption, prompt, name, idleLogins(allGrantees(), read)))
        return false;
    checkNameLength(db::SqlName::typed(name));
    return true;
}

void TKelvaneForm::checkNameLength(const db::SqlName &name)
{
    const QString stored = name.storedText();
    const int most = login().nameLength;
    const bool beyondAscii =
        std::any_of(stored.begin(), stored.end(), [](QChar c) { return c.unicode() > 127; });
    const qsizetype length =
        login().isFirebird3 ? stored.toUtf8().size() : db::characterCount(stored);
    if (length <= most)
        return;
    throw kelvane::Exception(
        QStringLiteral("%1 is longer than the %2 characters the server allows for a name%3: "
                       "nothing was changed")
            .arg(stored)
            .arg(most)
            .arg(login().isFirebird3 && beyondAscii
                     ? QStringLiteral(" (there, a letter beyond ASCII counts as two or three)")
                     : QString()));
}

void TKelvaneForm::AddNewItemClick(QObject *)
{
    QString typed;
    if (!hasCurrentPair() ||
        !askNewUserName(QStringLiteral("Add New User"), QStringLiteral("User Name"), typed))
        return;
    // Upper-cased only where the server would read it so anyway: a name with
    // blanks or other signs is a delimited name, kept exactly.
    const db::SqlName name = db::SqlName::typed(typed);
    const ui::BusyCursor busy;
    const ListKey user{name.storedText(), db::kind::User};
    inCommand(
        [&] {
            nameCommand(
                QStringLiteral("new user %1 on %2").arg(user.name, distinctName(*RelationList)));
            // Read first: a role of the name, which the statement must not reach.
            (void)grantsOf(user);
            GrantPrivilege(granteeOf(user), currentObject(), QStringLiteral("SELECT"));
            {
                const auto scanning = flagSetFor(Scanning);
                const auto suspended = controlsDisabledFor(*UserList);
                revealInList(*UserList, name.storedText());
                UserList->close();
                UserList->open();
                const auto isNewName = [&] {
                    const ListKey key = keyOf(*UserList);
                    return key.name == user.name && key.kind == user.kind;
                };
                for (UserList->first(); !UserList->eof() && !isNewName();)
                    UserList->next();
            }
            MasterQueryAfterScroll(nullptr);
        },
        false);
}

void TKelvaneForm::CopyNewItemClick(QObject *)
{
    QString name;
    if (!hasCurrentPair() || !askNewUserName(QStringLiteral("Copy These Privileges To New User"),
                                             QStringLiteral("New User Name"), name))
        return;
    copyToNewUser(name,
                  QStringLiteral("copy of %1's privileges on %2 to %3")
                      .arg(distinctName(*UserList), distinctName(*RelationList),
                           db::SqlName::typed(name).storedText()),
                  [this](const db::GrantRow &row) { return isCurrentObject(row); });
}

void TKelvaneForm::CopyNewAllItemClick(QObject *)
{
    QString name;
    if (!hasCurrentPair() || !askNewUserName(QStringLiteral("Copy ALL Privileges To New User"),
                                             QStringLiteral("New User Name"), name))
        return;
    copyToNewUser(
        name,
        QStringLiteral("copy of ALL %1's privileges to %2")
            .arg(distinctName(*UserList), db::SqlName::typed(name).storedText()),
        [](const db::GrantRow &row) { return db::isStatementObject(row.objectType, row.object); });
}

void TKelvaneForm::copyToNewUser(const QString &name, const QString &commandName,
                                 const std::function<bool(const db::GrantRow &)> &copied)
{
    const ui::BusyCursor busy;
    const db::SqlName newUser = db::SqlName::typed(name);
    inCommand(
        [&] {
            nameCommand(commandName);
            QStringList notDone;
            runCommand([&] {
                // Only what the new name lacks is granted; nothing is taken from
                // it. Every read before the plan's arguments are built, none
                // inside them (see pickedUsers).
                const QList<db::GrantRow> source =
                    db::rowsWhere(grantsOf(keyOf(*UserList)), copied);
                QList<db::GrantRow> held =
                    db::rowsWhere(grantsOf({newUser.storedText(), db::kind::User}), copied);
                // A user is a name that holds something: with nothing to
                // copy, there would be no new user to stand on.
                if (source.isEmpty() && held.isEmpty())
                    throw kelvane::Exception(
                        QStringLiteral("%1 holds nothing here to copy: nothing was given to %2")
                            .arg(distinctName(*UserList), newUser.storedText()));
                const db::Plan plan = db::planCopy(
                    source, {{db::namedGrantee(newUser, db::kind::User, login()), std::move(held)}},
                    login(), false);
                notDone = runPlan(plan);
            });
            // The new user is current, so that the cells shown are the ones the
            // next command acts on. A copy only grants, on objects listed already.
            standOnUser({newUser.storedText(), db::kind::User}, true);
            reportNotDone(notDone);
        },
        false);
}

void TKelvaneForm::RenameItemClick(QObject *)
{
    if (!hasCurrentPair())
        return;
    const ListKey old = keyOf(*UserList);
    const QString &oldName = old.name;
    // The dialog is modal: the rows read here are those the rename moves.
    const QList<db::GrantRow> held = reachableGrantsOf(old);
    QString name;
    QStringList logins;
    if (!askNewUserName(QStringLiteral("Rename User"), QStringLiteral("New Name For ") + oldName,
                        name, &logins))
        return;
    const db::SqlName newUser = db::SqlName::typed(name);
    // Granting to the same name and then revoking from it would leave the
    // user with nothing.
    if (newUser.storedText() == oldName)
        throw kelvane::Exception(
            QStringLiteral("%1 is already the name of this user: nothing was renamed").arg(name));
    if (!mayMergeInto(newUser.storedText(), logins))
        return;
    const ui::BusyCursor busy;
    inCommand(
        [&] {
            nameCommand(QStringLiteral("rename of %1 to %2").arg(oldName, newUser.storedText()));
            QStringList notDone;
            runCommand([&] {
                const QList<db::GrantRow> given = grantsGivenByGrantee(old);
                const db::Plan plan = db::planRename(
                    held, given, granteeOf(old), db::namedGrantee(newUser, db::kind::User, login()),
                    login(), membershipsOfReceivers(given));
                notDone = runPlan(plan);
            });
            // Where every statement ran, each object the old name held is held
            // by the new one: the relations are those they were.
            standOnUser({newUser.storedText(), db::kind::User}, notDone.isEmpty());
            checkNothingLeftFor(
                old,
                [&](const QString &left) {
                    return QStringLiteral("%1 still holds privileges that only their grantors can "
                                          "move, which were not carried to %2:%3")
                        .arg(oldName, newUser.storedText(), left);
                },
                notDone);
        },
        false);
}

QList<db::GrantRow> TKelvaneForm::membershipsOfReceivers(const QList<db::GrantRow> &given)
{
    QList<db::GrantRow> memberships;
    QList<std::pair<QString, int>> receivers;
    for (const db::GrantRow &row : given) {
        const std::pair receiver{row.grantee, row.granteeType};
        if (row.objectType != db::kind::Role || receivers.contains(receiver))
            continue;
        receivers.append(receiver);
        memberships.append(
            db::rowsWhere(grantsOf({row.grantee, row.granteeType}), [](const db::GrantRow &held) {
                return held.objectType == db::kind::Role;
            }));
    }
    return memberships;
}

bool TKelvaneForm::mayMergeInto(const QString &name, const QStringList &logins)
{
    // Every login, present and future, holds what PUBLIC holds.
    if (name == QLatin1String("PUBLIC"))
        throw kelvane::Exception(QStringLiteral("A user cannot be renamed to PUBLIC: every login "
                                                "would get the user's privileges. Nothing was "
                                                "renamed"));
    const QList<db::GrantRow> theirs = grantsOf({name, ListKey::AnyKind});
    const bool isLogin = logins.contains(name);
    if (theirs.isEmpty() && !isLogin)
        return true;
    const bool role = std::any_of(theirs.begin(), theirs.end(), [](const db::GrantRow &row) {
        return row.granteeType == db::kind::Role;
    });
    QString question =
        QStringLiteral("%1 %2 exists already")
            .arg(role ? QStringLiteral("The role") : QStringLiteral("The user"), name);
    if (!isLogin && !role)
        question = QStringLiteral("%1 holds privileges already").arg(name);
    if (theirs.isEmpty())
        question += QStringLiteral(" and holds no privileges. Rename onto it, giving it this "
                                   "user's privileges?");
    else
        question += QStringLiteral(". Renaming merges this user's privileges into those it "
                                   "holds:\n%1\n\nRename onto it all the same?")
                        .arg(ui::listedLines(db::describeRows(theirs)));
    return ui::confirm(question, false);
}

void TKelvaneForm::RemoveItemClick(QObject *)
{
    if (!hasCurrentPair())
        return;
    const ListKey grantee = keyOf(*UserList);
    const QString &name = grantee.name;
    checkGranteeKind(grantee);
    // Revoking a privilege held with grant option takes along what the user
    // granted to others with it: the administrator hears of it first.
    const QList<db::GrantRow> given = grantsGivenByGrantee(grantee);
    QString question = QStringLiteral("Remove ALL privileges for this user?\n\nThis removes the "
                                      "privileges of %1.")
                           .arg(nameHint(*UserList, UserList->recNo()));
    if (!login().mayNameGrantors)
        question += QStringLiteral(" Only those that %1 granted go; what others granted stays.")
                        .arg(login().name);
    if (!given.isEmpty())
        question += QStringLiteral("\n\nThe server also revokes what %1 granted to others:\n%2")
                        .arg(name, ui::listedLines(db::describeGiven(given)));
    if (!ui::confirm(question)) {
        MasterQuery.close();
        MasterQuery.open();
        return;
    }
    QStringList notDone;
    {
        const ui::BusyCursor busy;
        // One statement removes every row of the user, of every kind, that
        // the login may revoke.
        inCommand(
            [&] {
                nameCommand(QStringLiteral("removal of %1").arg(name));
                runCommand([&] {
                    // Read in the command, the rows are those the way back
                    // starts from.
                    const QList<db::GrantRow> held = grantsOf(grantee);
                    notDone = runChanges({db::revokeAllOnAllChange(granteeOf(grantee))},
                                         db::columnRisks(held));
                    // Firebird 4 leaves the memberships the user gave; the
                    // question said they go.
                    notDone += revokeWhatOptionsGave(given);
                });
                // The master list is read again from what it held: a
                // removal only takes names away.
                keepListsButNamesGone();
                const auto dropUnused = keptRowsDroppedAtEnd(MasterQuery, DetailQuery);
                MasterQuery.close();
                MasterQuery.open();
            },
            false);
    }
    if (!given.isEmpty())
        reportGivenGone(name, given);
    checkNothingLeftFor(
        grantee,
        [&name](const QString &left) {
            return QStringLiteral(
                       "%1 still holds privileges that only their grantors can revoke:%2")
                .arg(name, left);
        },
        notDone);
}

void TKelvaneForm::reportGivenGone(const QString &name, const QList<db::GrantRow> &given)
{
    const QList<db::GrantRow> left = grantsGivenBy(name);
    const QList<db::GrantRow> gone =
        db::rowsWhere(given, [&left](const db::GrantRow &row) { return !left.contains(row); });
    if (!gone.isEmpty())
        ui::showInformationMessage(
            QStringLiteral("These privileges that %1 granted were revoked with %1's:\n%2")
                .arg(name, ui::listedLines(db::describeGiven(gone))));
}
