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

constexpr int NameRole = Qt::UserRole;
constexpr int KindRole = Qt::UserRole + 1;

// Users show by their names alone, as they always have; every other kind of
// grantee with its kind, since one name may be a user and a procedure.
void fillCopyDialog(const QString &label, const QList<ListKey> &keys, bool grantees)
{
    CopyForm->CopyList->clear();
    for (const ListKey &key : keys) {
        const KindLook look = grantees ? granteeLook(key.kind) : KindLook();
        const bool named = grantees && key.kind != db::kind::User;
        auto *item = new QListWidgetItem(named ? QStringLiteral("%1 (%2)").arg(key.name, look.name)
                                               : key.name,
                                         CopyForm->CopyList);
        if (grantees)
            item->setIcon(kindBadge(look));
        item->setData(NameRole, key.name);
        item->setData(KindRole, key.kind);
    }
    CopyForm->CopyLabel->setText(label);
}

// The rows the administrator picked, in list order.
QList<ListKey> pickedKeys()
{
    QList<ListKey> keys;
    for (int row = 0; row < CopyForm->CopyList->count(); ++row) {
        const QListWidgetItem *item = CopyForm->CopyList->item(row);
        if (item->isSelected())
            keys.append({item->data(NameRole).toString(), item->data(KindRole).toInt()});
    }
    return keys;
}

} // namespace

QString TKelvaneForm::distinctName(const db::TDataSet &list) const
{
    const int row = list.recNo();
    const QString name = list.fields(0)->textAt(row);
    const auto sameName = [&](int other) {
        return other >= 0 && other < list.recordCount() && list.fields(0)->textAt(other) == name;
    };
    // The list is ordered by name: rows of one name stand together.
    return sameName(row - 1) || sameName(row + 1) ? nameHint(list, row) : name;
}

bool TKelvaneForm::isCellSet(int column) const
{
    return !DetailQuery.fields(column)->text().isEmpty();
}

QList<ListKey> TKelvaneForm::collectKeys(db::TDataSet &list,
                                         const std::function<bool(const ListKey &)> &wanted)
{
    // Every row, those a filter hides too: the commands act on the catalogue,
    // not on what the filter happens to show.
    QList<ListKey> keys;
    const int kindIndex = kindField(list)->index();
    for (int row = 0; row < list.allRowCount(); ++row) {
        const ListKey key{list.allTextAt(row, 0), list.allTextAt(row, kindIndex).toInt()};
        if (wanted(key))
            keys.append(key);
    }
    return keys;
}

QList<ListKey> TKelvaneForm::allGrantees()
{
    const auto scanning = flagSetFor(Scanning);
    return collectKeys(*UserList, [](const ListKey &) { return true; });
}

QList<ListKey> TKelvaneForm::otherUsers(const ListKey &source)
{
    const QList<ListKey> grantees = allGrantees();
    QList<ListKey> keys;
    std::copy_if(grantees.begin(), grantees.end(), std::back_inserter(keys),
                 [&source](const ListKey &key) {
                     return key.name != source.name || key.kind != source.kind;
                 });
    // Then the logins that hold nothing yet, so that a new clerk can be
    // given a clerk's rights without typing the name.
    for (const QString &login : idleLogins(grantees, loginNames()))
        keys.append({login, db::kind::User});
    return keys;
}

QStringList TKelvaneForm::idleLogins(const QList<ListKey> &grantees, const QStringList &logins)
{
    QStringList idle;
    for (const QString &login : logins) {
        const bool holds = std::any_of(grantees.begin(), grantees.end(), [&](const ListKey &key) {
            return key.name == login && key.kind == db::kind::User;
        });
        if (!holds)
            idle.append(login);
    }
    std::sort(idle.begin(), idle.end(), db::isNameBelow);
    return idle;
}

bool TKelvaneForm::isCurrentObject(const db::GrantRow &row) const
{
    const db::ObjectRef object = currentObject();
    return row.object == object.name && row.objectType == object.type;
}

void TKelvaneForm::runCopy(SuspendedUpdates &updates, const std::function<QStringList()> &copy)
{
    QStringList notDone;
    // The grid shows the server's state once the dialog is gone, whatever
    // was answered; the statements and the reads after them are one
    // transaction.
    const auto end = [&] {
        updates.resume();
        RefreshPrivileges();
        reportNotDone(notDone);
    };
    if (ui::showModal(*CopyForm) != ui::ModalResult::Ok) {
        end();
        return;
    }
    const ui::BusyCursor busy;
    inCommand([&] {
        runCommand([&] { notDone = copy(); });
        end();
    });
}

QList<db::CopyTarget>
TKelvaneForm::pickedUsers(const std::function<bool(const db::GrantRow &)> &copied)
{
    // All are read and checked before the first statement runs, so that a
    // copy does not stop half-way at a grantee no statement can reach.
    QList<db::CopyTarget> targets;
    for (const ListKey &key : pickedKeys()) {
        // Read before the target is built: GCC 12 destroys the parts of an
        // aggregate already built twice when a later part of its braced
        // initialiser throws, which here freed a name the copy dialog held.
        QList<db::GrantRow> rows = db::rowsWhere(reachableGrantsOf(key), copied);
        targets.append({granteeOf(key), std::move(rows)});
    }
    return targets;
}

void TKelvaneForm::UserCopyItemClick(QObject *)
{
    if (!hasCurrentPair())
        return;
    const ListKey source = keyOf(*UserList);
    SuspendedUpdates userUpdates(*UserList);
    fillCopyDialog(QStringLiteral("Copy the privileges of %1 for %2 to users:")
                       .arg(distinctName(*UserList), distinctName(*RelationList)),
                   otherUsers(source), true);
    runCopy(userUpdates, [&] {
        nameCommand(QStringLiteral("copy of %1's privileges on %2 to users")
                        .arg(distinctName(*UserList), distinctName(*RelationList)));
        const auto onRelation = [this](const db::GrantRow &row) { return isCurrentObject(row); };
        const db::Plan plan = db::planCopy(db::rowsWhere(grantsOf(source), onRelation),
                                           pickedUsers(onRelation), login(), true);
        return runPlan(plan, true);
    });
}

void TKelvaneForm::TableCopyItemClick(QObject *)
{
    if (!hasCurrentPair())
        return;
    const ListKey source = keyOf(*RelationList);
    SuspendedUpdates relationUpdates;
    QList<ListKey> targets;
    {
        const auto scanning = flagSetFor(Scanning);
        if (source.kind == db::kind::Procedure) {
            // Every other stored procedure of the database, privileges
            // recorded or not.
            for (Procedures.first(); !Procedures.eof(); Procedures.next()) {
                if (ProceduresName->text() != source.name)
                    targets.append({ProceduresName->text(), source.kind});
            }
        } else {
            // The other objects of the same kind: a table's privileges go to
            // tables and views, a sequence's to sequences.
            relationUpdates.suspend(*RelationList);
            targets = collectKeys(*RelationList, [&](const ListKey &key) {
                return key.name != source.name && key.kind == source.kind;
            });
        }
    }
    fillCopyDialog(QStringLiteral("Copy the privileges of %1 for %2 to relations:")
                       .arg(distinctName(*UserList), distinctName(*RelationList)),
                   targets, false);
    runCopy(relationUpdates, [&] {
        nameCommand(QStringLiteral("copy of %1's privileges on %2 to relations")
                        .arg(distinctName(*UserList), distinctName(*RelationList)));
        QStringList relations;
        for (const ListKey &key : pickedKeys())
            relations.append(key.name);
        return copyToRelations(currentGrantee(), reachableGrantsOf(keyOf(*UserList)), relations);
    });
}

QStringList TKelvaneForm::copyToRelations(const db::Grantee &user, const QList<db::GrantRow> &held,
                                          const QStringList &relations)
{
    const int objectType = currentObject().type;
    const QList<db::GrantRow> source =
        db::rowsWhere(held, [this](const db::GrantRow &row) { return isCurrentObject(row); });
    const bool byColumn = std::any_of(source.begin(), source.end(), [](const db::GrantRow &row) {
        return !row.column.isEmpty();
    });
    db::Plan plan;
    for (const QString &relation : relations) {
        QList<QChar> skippedLetters;
        const QList<db::GrantRow> moved =
            db::rowsMovedTo(source, relation, byColumn ? columnsOf(relation) : QStringList(),
                            plan.notDone, skippedLetters);
        // A letter left out stays as the target holds it.
        const QList<db::GrantRow> onTarget = db::rowsWhere(held, [&](const db::GrantRow &row) {
            return row.object == relation && row.objectType == objectType &&
                   !skippedLetters.contains(row.privilege);
        });
        const db::Plan step = db::planCopy(moved, {{user, onTarget}}, login(), true);
        plan.changes += step.changes;
        plan.notDone += step.notDone;
        plan.taken += step.taken;
        plan.optionsTaken += step.optionsTaken;
    }
    return runPlan(plan, true);
}

void TKelvaneForm::AllCopyItemClick(QObject *)
{
    if (RelationList != &DetailQuery || !hasCurrentPair())
        return;
    const ListKey source = keyOf(*UserList);
    SuspendedUpdates userUpdates(*UserList);
    fillCopyDialog(
        QStringLiteral("Copy ALL the privileges of %1 to users:").arg(distinctName(*UserList)),
        otherUsers(source), true);
    runCopy(userUpdates, [&] {
        nameCommand(
            QStringLiteral("copy of ALL %1's privileges to users").arg(distinctName(*UserList)));
        // Every privilege a statement can give: on the objects listed, and
        // the DDL privileges, which the lists do not show.
        const auto carried = [](const db::GrantRow &row) {
            return db::isStatementObject(row.objectType, row.object);
        };
        const db::Plan plan = db::planCopy(db::rowsWhere(grantsOf(source), carried),
                                           pickedUsers(carried), login(), true);
        return runPlan(plan, true);
    });
}
