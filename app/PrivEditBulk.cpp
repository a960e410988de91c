// One letter given or taken on every relation the detail list shows (By
// User), or to and from every grantee it shows (By Relation), as one command.
#include "PrivEdit.h"

#include "Privileges.h"
#include "db/Exception.h"
#include "db/LetterOnEach.h"
#include "ui/BusyCursor.h"
#include "ui/DBGrid.h"
#include "ui/Dialogs.h"
#include "ui/Lines.h"

#include <QAction>
#include <QHash>

namespace {

QString counted(qsizetype count, const QString &one, const QString &many)
{
    return QStringLiteral("%1 %2").arg(count).arg(count == 1 ? one : many);
}

using ObjectKey = std::pair<int, QString>;

} // namespace

int TKelvaneForm::eachLetterColumn() const
{
    // From the list of names, the letter is the first column's.
    const int column = DetailGrid->selectedIndex();
    return column > 0 ? column : 1;
}

void TKelvaneForm::captionEachLetterItems()
{
    const bool byUser = RelationList == &DetailQuery;
    const int column = eachLetterColumn();
    const QString word = byUser || !hasCurrentPair()
                             ? QString(PrivilegeColumns.at(column - 1).label)
                             : privilegeWordOf(column);
    const QString on = byUser ? QStringLiteral("on every relation shown")
                              : QStringLiteral("to every grantee shown");
    const QString from = byUser ? on : QStringLiteral("from every grantee shown");
    GrantEachItem->setText(QStringLiteral("Grant %1 %2").arg(word, on));
    GrantEachOptionItem->setText(QStringLiteral("Grant %1 with grant option %2").arg(word, on));
    RevokeEachItem->setText(QStringLiteral("Revoke %1 %2").arg(word, from));
    RevokeEachOptionItem->setText(QStringLiteral("Revoke grant option for %1 %2").arg(word, from));
    for (QAction *item : {GrantEachItem, GrantEachOptionItem, RevokeEachItem, RevokeEachOptionItem})
        item->setEnabled(hasCurrentPair() && DetailQuery.recordCount() > 0);
}

void TKelvaneForm::EachLetterItemClick(QObject *sender)
{
    if (!hasCurrentPair())
        return;
    const db::LetterAction action = sender == GrantEachItem ? db::LetterAction::Grant
                                    : sender == GrantEachOptionItem
                                        ? db::LetterAction::GrantWithOption
                                    : sender == RevokeEachItem ? db::LetterAction::Revoke
                                                               : db::LetterAction::RevokeOption;
    letterOnEachShown(action, eachLetterColumn());
}

QList<db::LetterTarget> TKelvaneForm::relationsShownFor(const ListKey &user)
{
    checkGranteeKind(user);
    // One read of the user's rows, sorted out by object once: nothing here
    // grows with the relations times the rows.
    QHash<ObjectKey, QList<db::GrantRow>> heldOn;
    for (const db::GrantRow &row : grantsOf(user))
        heldOn[{row.objectType, row.object}].append(row);
    const db::Grantee grantee = granteeOf(user);
    QList<db::LetterTarget> targets;
    for (int row = 0; row < DetailQuery.recordCount(); ++row) {
        const db::ObjectRef object{kindOf(DetailQuery, row), DetailQuery.fields(0)->textAt(row)};
        targets.append({grantee, object, heldOn.value({object.type, object.name})});
    }
    return targets;
}

QList<db::LetterTarget> TKelvaneForm::granteesShownOn(const db::ObjectRef &object)
{
    QList<ListKey> keys;
    for (int row = 0; row < DetailQuery.recordCount(); ++row)
        keys.append({DetailQuery.fields(0)->textAt(row), kindOf(DetailQuery, row)});
    QList<db::LetterTarget> targets;
    for (const ListKey &key : keys) {
        // A grantee no statement can name is left out, as the letter is
        // where it does not apply.
        if (!db::isGranteeKind(key.kind)) {
            targets.append({{db::SqlName::stored(key.name), key.kind}, object, {}});
            continue;
        }
        QList<db::GrantRow> held = db::rowsWhere(
            grantsOf(key), [&object](const db::GrantRow &row) { return db::isOn(row, object); });
        targets.append({granteeOf(key), object, std::move(held)});
    }
    return targets;
}

QString TKelvaneForm::eachLetterSummary(db::LetterAction action, const QString &word,
                                        qsizetype count) const
{
    const bool gives =
        action == db::LetterAction::Grant || action == db::LetterAction::GrantWithOption;
    QString what;
    switch (action) {
    case db::LetterAction::Grant:
    case db::LetterAction::Revoke:
        what = QStringLiteral("%1 %2").arg(
            gives ? QStringLiteral("Grant") : QStringLiteral("Revoke"), word);
        break;
    case db::LetterAction::GrantWithOption:
        what = QStringLiteral("Grant %1 with grant option").arg(word);
        break;
    case db::LetterAction::RevokeOption:
        what = QStringLiteral("Revoke the grant option for %1").arg(word);
        break;
    }
    const QString toOrFrom = gives ? QStringLiteral("to") : QStringLiteral("from");
    if (RelationList == &DetailQuery)
        return QStringLiteral("%1 %2 %3 on %4")
            .arg(what, toOrFrom, distinctName(*UserList),
                 counted(count, QStringLiteral("relation"), QStringLiteral("relations")));
    return QStringLiteral("%1 on %2 %3 %4")
        .arg(what, distinctName(*RelationList), toOrFrom,
             counted(count, QStringLiteral("grantee"), QStringLiteral("grantees")));
}

void TKelvaneForm::letterOnEachShown(db::LetterAction action, int column)
{
    const bool byUser = RelationList == &DetailQuery;
    // On one object the X column is that object's one privilege, whatever
    // its letter; across relations of every kind it is EXECUTE alone.
    const QChar letter =
        !byUser && column == ExecuteColumn && db::hasSinglePrivilege(currentObject().type)
            ? db::singleLetterOf(currentObject().type)
            : PrivilegeColumns.at(column - 1).letter;
    const QString word =
        byUser ? QString(PrivilegeColumns.at(column - 1).label) : privilegeWordOf(column);
    if (!byUser)
        checkLetterOfKind(column);
    const ui::BusyCursor busy;
    inCommand([&] {
        const QList<db::LetterTarget> targets =
            byUser ? relationsShownFor(keyOf(*UserList)) : granteesShownOn(currentObject());
        QList<int> changed;
        const db::Plan plan = db::planLetterOnEach(targets, letter, action, login(), changed);
        QStringList names;
        for (int index : changed) {
            const db::LetterTarget &target = targets.at(index);
            names.append(byUser ? target.object.name : target.grantee.name.text());
        }
        if (names.isEmpty() && plan.notDone.isEmpty()) {
            ui::showInformationMessage(
                QStringLiteral("Nothing to change: every %1 shown already stands as asked, or "
                               "the letter does not apply to it.")
                    .arg(byUser ? QStringLiteral("relation") : QStringLiteral("grantee")));
            return;
        }
        const QString summary = eachLetterSummary(action, word, names.size());
        if (!names.isEmpty() &&
            !ui::confirm(QStringLiteral("%1: %2?").arg(summary, ui::firstNames(names))))
            return;
        // "Undo grant SELECT to FRED on 318 relations"
        nameCommand(summary.front().toLower() + summary.mid(1));
        const QStringList notDone = names.isEmpty() ? plan.notDone : runPlan(plan);
        // A grant to names the lists show changes which names they show no
        // more than a toggle does: the cells alone are read again.
        const bool gives =
            action == db::LetterAction::Grant || action == db::LetterAction::GrantWithOption;
        gives ? refreshCells() : RefreshPrivileges();
        reportNotDone(notDone);
    });
}
