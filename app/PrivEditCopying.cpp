// The commands that make other users' or other relations' privileges equal to
// those of the current user on the current relation, or on every relation.
#include "PrivEdit.h"

#include "DataSetGuards.h"
#include "Forms.h"
#include "Privileges.h"
#include "dialogs/CopyPriv.h"
#include "ui/BusyCursor.h"
#include "ui/Dialogs.h"

#include <QLabel>
#include <QListWidget>

namespace {

void fillCopyDialog(const QString &label, const QStringList &names)
{
    CopyForm->CopyList->clear();
    CopyForm->CopyList->addItems(names);
    CopyForm->CopyLabel->setText(label);
}

// The names the administrator picked, in list order.
QStringList pickedNames()
{
    QStringList names;
    for (int row = 0; row < CopyForm->CopyList->count(); ++row) {
        const QListWidgetItem *item = CopyForm->CopyList->item(row);
        if (item->isSelected())
            names.append(item->text());
    }
    return names;
}

} // namespace

bool TKelvaneForm::isCellSet(int column) const
{
    return !DetailQuery.fields(column)->text().isEmpty();
}

void TKelvaneForm::captureSourceCells()
{
    for (const PrivilegeColumn &column : PrivilegeColumns)
        DetailQuery.fields(column.index)->setTag(isCellSet(column.index) ? 1 : 0);
}

QStringList TKelvaneForm::collectNames(db::TDataSet &list,
                                       const std::function<bool(const QString &)> &wanted)
{
    QStringList names;
    db::TBookmark bookmark = list.bookmark();
    for (list.first(); !list.eof(); list.next()) {
        const QString name = list.fields(0)->text();
        if (wanted(name))
            names.append(name);
    }
    list.gotoBookmark(bookmark);
    db::TDataSet::freeBookmark(bookmark);
    return names;
}

QStringList TKelvaneForm::otherUsers(const QString &source)
{
    const auto scanning = flagSetFor(Scanning);
    return collectNames(*UserList, [&source](const QString &name) { return name != source; });
}

void TKelvaneForm::makeEqual(const db::SqlName &user, const db::SqlName &relation,
                             const std::function<bool(int column)> &isSet)
{
    if (CurrentIsProcedure) {
        const QString execute = DetailQuery.fields(ExecuteColumn)->displayLabel();
        if (isSet(ExecuteColumn))
            GrantPrivilege(user, relation, execute);
        else
            RevokePrivilege(user, relation, execute);
        return;
    }
    for (int column = 1; column < ExecuteColumn; ++column) {
        const QString privilege = DetailQuery.fields(column)->displayLabel();
        if (isSet(column))
            GrantPrivilege(user, relation, privilege);
        else
            RevokePrivilege(user, relation, privilege);
    }
}

QList<db::SqlName> TKelvaneForm::pickedUsers()
{
    // All are checked before the first statement runs, so that a copy does
    // not stop half-way at a grantee no statement can reach.
    QList<db::SqlName> users;
    for (const QString &name : pickedNames()) {
        checkReachableGrantee(name);
        users.append(db::SqlName::stored(name));
    }
    return users;
}

bool TKelvaneForm::isTagSet(int column) const
{
    return DetailQuery.fields(column)->tag() == 1;
}

void TKelvaneForm::UserCopyItemClick(QObject *)
{
    if (!hasCurrentPair())
        return;
    captureSourceCells();
    const QString source = UserList->fields(0)->text();
    SuspendedUpdates userUpdates(*UserList);
    const QString relation = RelationList->fields(0)->text();
    fillCopyDialog(
        QStringLiteral("Copy the privileges of %1 for %2 to users:").arg(source, relation),
        otherUsers(source));
    if (ui::showModal(*CopyForm) == ui::ModalResult::Ok) {
        const ui::BusyCursor busy;
        for (const db::SqlName &target : pickedUsers())
            makeEqual(target, currentRelation(), [this](int column) { return isTagSet(column); });
    }
    userUpdates.resume();
    RefreshPrivileges();
}

void TKelvaneForm::TableCopyItemClick(QObject *)
{
    if (!hasCurrentPair())
        return;
    captureSourceCells();
    const QString source = RelationList->fields(0)->text();
    SuspendedUpdates relationUpdates;
    QStringList targets;
    {
        const auto scanning = flagSetFor(Scanning);
        if (CurrentIsProcedure) {
            // Every other stored procedure of the database, privileges
            // recorded or not.
            for (Procedures.first(); !Procedures.eof(); Procedures.next()) {
                if (ProceduresName->text() != source)
                    targets.append(ProceduresName->text());
            }
        } else {
            relationUpdates.suspend(*RelationList);
            targets = collectNames(*RelationList, [&](const QString &name) {
                return name != source && !Procedures.findKey(name);
            });
        }
    }
    fillCopyDialog(QStringLiteral("Copy the privileges of %1 for %2 to relations:")
                       .arg(UserList->fields(0)->text(), source),
                   targets);
    if (ui::showModal(*CopyForm) == ui::ModalResult::Ok) {
        const ui::BusyCursor busy;
        checkReachableGrantee(currentUser().text());
        for (const QString &target : pickedNames())
            makeEqual(currentUser(), db::SqlName::stored(target),
                      [this](int column) { return isTagSet(column); });
    }
    relationUpdates.resume();
    RefreshPrivileges();
}

void TKelvaneForm::AllCopyItemClick(QObject *)
{
    if (RelationList != &DetailQuery || !hasCurrentPair())
        return;
    const QString source = UserList->fields(0)->text();
    SuspendedUpdates userUpdates(*UserList);
    fillCopyDialog(QStringLiteral("Copy ALL the privileges of %1 to users:").arg(source),
                   otherUsers(source));
    if (ui::showModal(*CopyForm) == ui::ModalResult::Ok) {
        const ui::BusyCursor busy;
        const QList<db::SqlName> targets = pickedUsers();
        // Relation by relation, each row's cells computed for the source as
        // it is read, and CurrentIsProcedure following the row.
        walkRelationList(true, [&] {
            const db::SqlName relation = currentRelation();
            for (const db::SqlName &target : targets)
                makeEqual(target, relation, [this](int column) { return isCellSet(column); });
        });
    }
    userUpdates.resume();
    RefreshPrivileges();
}

void TKelvaneForm::walkRelationList(bool returnToStart, const std::function<void()> &visit)
{
    db::TBookmark bookmark = returnToStart ? RelationList->bookmark() : db::TBookmark();
    const auto freeBookmark = qScopeGuard([&bookmark] { db::TDataSet::freeBookmark(bookmark); });
    const auto suspended = controlsDisabledFor(*RelationList);
    for (RelationList->first(); !RelationList->eof(); RelationList->next())
        visit();
    RelationList->gotoBookmark(bookmark);
}
