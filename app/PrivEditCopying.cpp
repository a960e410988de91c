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
    QStringList names;
    {
        const auto scanning = flagSetFor(Scanning);
        names = collectNames(*UserList, [&source](const QString &name) { return name != source; });
    }
    // Then the logins that hold nothing yet, so that a new clerk can be
    // given a clerk's rights without typing the name.
    QStringList idle;
    for (const QString &login : loginNames()) {
        if (login != source && !names.contains(login))
            idle.append(login);
    }
    std::sort(idle.begin(), idle.end(), db::isNameBelow);
    return names + idle;
}

bool TKelvaneForm::isCurrentObject(const db::GrantRow &row) const
{
    return row.object == RelationList->fields(0)->text() &&
           row.objectType == (CurrentIsProcedure ? db::kind::Procedure : db::kind::Relation);
}

QList<db::CopyTarget>
TKelvaneForm::pickedUsers(const std::function<bool(const db::GrantRow &)> &copied)
{
    // All are read and checked before the first statement runs, so that a
    // copy does not stop half-way at a grantee no statement can reach.
    QList<db::CopyTarget> targets;
    for (const QString &name : pickedNames()) {
        // Read before the target is built: GCC 12 destroys the parts of an
        // aggregate already built twice when a later part of its braced
        // initialiser throws, which here freed a name the copy dialog held.
        QList<db::GrantRow> rows = db::rowsWhere(reachableGrantsOf(name), copied);
        targets.append({{db::SqlName::stored(name), db::kind::User}, std::move(rows)});
    }
    return targets;
}

void TKelvaneForm::UserCopyItemClick(QObject *)
{
    if (!hasCurrentPair())
        return;
    const QString source = UserList->fields(0)->text();
    SuspendedUpdates userUpdates(*UserList);
    const QString relation = RelationList->fields(0)->text();
    fillCopyDialog(
        QStringLiteral("Copy the privileges of %1 for %2 to users:").arg(source, relation),
        otherUsers(source));
    QStringList notDone;
    if (ui::showModal(*CopyForm) == ui::ModalResult::Ok) {
        const ui::BusyCursor busy;
        runCommand([&] {
            const auto onRelation = [this](const db::GrantRow &row) {
                return isCurrentObject(row);
            };
            const db::Plan plan = db::planCopy(db::rowsWhere(grantsOf(source), onRelation),
                                               pickedUsers(onRelation), login(), true);
            notDone = runPlan(plan);
        });
    }
    userUpdates.resume();
    RefreshPrivileges();
    reportNotDone(notDone);
}

void TKelvaneForm::TableCopyItemClick(QObject *)
{
    if (!hasCurrentPair())
        return;
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
    QStringList notDone;
    if (ui::showModal(*CopyForm) == ui::ModalResult::Ok) {
        const ui::BusyCursor busy;
        runCommand([&] {
            const QString user = currentUser().text();
            notDone = copyToRelations(user, reachableGrantsOf(user), pickedNames());
        });
    }
    relationUpdates.resume();
    RefreshPrivileges();
    reportNotDone(notDone);
}

QStringList TKelvaneForm::copyToRelations(const QString &user, const QList<db::GrantRow> &held,
                                          const QStringList &relations)
{
    const int objectType = CurrentIsProcedure ? db::kind::Procedure : db::kind::Relation;
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
        const db::Plan step = db::planCopy(
            moved, {{{db::SqlName::stored(user), db::kind::User}, onTarget}}, login(), true);
        plan.changes += step.changes;
        plan.notDone += step.notDone;
    }
    return runPlan(plan);
}

void TKelvaneForm::AllCopyItemClick(QObject *)
{
    if (RelationList != &DetailQuery || !hasCurrentPair())
        return;
    const QString source = UserList->fields(0)->text();
    SuspendedUpdates userUpdates(*UserList);
    fillCopyDialog(QStringLiteral("Copy ALL the privileges of %1 to users:").arg(source),
                   otherUsers(source));
    QStringList notDone;
    if (ui::showModal(*CopyForm) == ui::ModalResult::Ok) {
        const ui::BusyCursor busy;
        runCommand([&] {
            // Every privilege a statement can give: on the relations listed
            // and on what the lists do not show, roles and sequences among them.
            const auto carried = [](const db::GrantRow &row) {
                return db::isStatementKind(row.objectType);
            };
            const db::Plan plan = db::planCopy(db::rowsWhere(grantsOf(source), carried),
                                               pickedUsers(carried), login(), true);
            notDone = runPlan(plan);
        });
    }
    userUpdates.resume();
    RefreshPrivileges();
    reportNotDone(notDone);
}
