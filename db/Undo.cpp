#include "Undo.h"

#include "DdlPrivileges.h"
#include "Descriptions.h"
#include "ServerGuards.h"

#include <QHash>
#include <algorithm>

namespace db {

namespace {

// REVOKE ALL ON ALL names no object: its change carries no kind.
constexpr int NoObjectKind = -1;

QString rowKey(const GrantRow &row)
{
    return QStringList{row.grantee,
                       QString::number(row.granteeType),
                       row.object,
                       QString::number(row.objectType),
                       QString(row.privilege),
                       row.column,
                       QString::number(row.option),
                       row.grantor}
        .join(QChar(0x1f));
}

// An object a revoke's cascade or column repair can reach beyond its
// grantee: not a DDL privilege, kept under another name.
bool reachesOthers(const GrantRow &row)
{
    return (row.option > 0 || !row.column.isEmpty()) && !isDdl(row.objectType, row.object) &&
           row.objectType != kind::DdlPrivilege;
}

// Grants of what was given with an option after the option itself: a row
// whose grantor receives the same letter on the same object with an option
// among the grants waits for it.
QList<GrantRow> inGrantingOrder(QList<GrantRow> rows)
{
    QList<GrantRow> ordered;
    while (!rows.isEmpty()) {
        const qsizetype before = rows.size();
        for (qsizetype i = 0; i < rows.size();) {
            const GrantRow &row = rows.at(i);
            const bool waits = std::any_of(rows.begin(), rows.end(), [&row](const GrantRow &other) {
                return other.grantee == row.grantor && other.option > 0 &&
                       other.object == row.object && other.objectType == row.objectType &&
                       other.privilege == row.privilege && !(other == row);
            });
            if (waits) {
                ++i;
                continue;
            }
            ordered.append(row);
            rows.removeAt(i);
        }
        // A circle of options cannot be ordered: the rest go as they are.
        if (rows.size() == before) {
            ordered += rows;
            break;
        }
    }
    return ordered;
}

} // namespace

size_t qHash(const GroupKey &key, size_t seed)
{
    return qHashMulti(seed, key.grantee, key.granteeType, key.object, key.objectType,
                      key.letter.unicode(), key.grantor);
}

GroupKey groupOf(const GrantRow &row)
{
    return {row.grantee, row.granteeType, row.object, row.objectType, row.privilege, row.grantor};
}

bool UndoScope::holds(const GrantRow &row) const
{
    return grantees.contains(row.grantee) || objects.contains(row.object);
}

bool UndoScope::covers(const UndoScope &other) const
{
    return grantees.contains(other.grantees) && objects.contains(other.objects);
}

void UndoScope::unite(const UndoScope &other)
{
    grantees.unite(other.grantees);
    objects.unite(other.objects);
}

UndoScope UndoScope::beyond(const UndoScope &other) const
{
    UndoScope rest = *this;
    rest.grantees.subtract(other.grantees);
    rest.objects.subtract(other.objects);
    return rest;
}

UndoScope granteesOf(const QList<Change> &changes)
{
    UndoScope scope;
    for (const Change &change : changes)
        scope.grantees.insert(change.grantee);
    return scope;
}

UndoScope scopeOf(const QList<Change> &changes, const QList<GrantRow> &granteesRows)
{
    UndoScope scope = granteesOf(changes);
    for (const Change &change : changes) {
        if (change.verb != Change::Verb::Revoke)
            continue;
        const bool onEveryObject = change.objectType == NoObjectKind;
        if (!onEveryObject && !change.columnsTaken.isEmpty())
            scope.objects.insert(change.object);
        for (const GrantRow &row : granteesRows) {
            if (row.grantee != change.grantee || row.granteeType != change.granteeType ||
                !reachesOthers(row))
                continue;
            if (onEveryObject ||
                (row.object == change.object && row.objectType == change.objectType))
                scope.objects.insert(row.object);
        }
    }
    return scope;
}

QList<GrantRow> rowsIn(const QList<GrantRow> &rows, const UndoScope &scope)
{
    return rowsWhere(rows, [&scope](const GrantRow &row) { return scope.holds(row); });
}

bool sameRows(QList<GrantRow> a, QList<GrantRow> b)
{
    if (a.size() != b.size())
        return false;
    const auto below = [](const GrantRow &x, const GrantRow &y) { return rowKey(x) < rowKey(y); };
    std::sort(a.begin(), a.end(), below);
    std::sort(b.begin(), b.end(), below);
    return a == b;
}

Plan planRestore(const QList<GrantRow> &now, const QList<GrantRow> &wanted, const Login &login,
                 QStringList &refusals)
{
    QHash<GroupKey, QList<GrantRow>> nowBy;
    QHash<GroupKey, QList<GrantRow>> wantedBy;
    QList<GroupKey> order;
    for (const GrantRow &row : now) {
        if (!nowBy.contains(groupOf(row)) && !wantedBy.contains(groupOf(row)))
            order.append(groupOf(row));
        nowBy[groupOf(row)].append(row);
    }
    for (const GrantRow &row : wanted) {
        if (!nowBy.contains(groupOf(row)) && !wantedBy.contains(groupOf(row)))
            order.append(groupOf(row));
        wantedBy[groupOf(row)].append(row);
    }
    // Groups whose rows are revoked with an option: what their grantee gave
    // with it may go along, and is left for the next round to find.
    QSet<GroupKey> optionsRevoked;
    for (const GroupKey &key : order) {
        const QList<GrantRow> have = nowBy.value(key);
        if (!sameRows(have, wantedBy.value(key)) &&
            std::any_of(have.begin(), have.end(),
                        [](const GrantRow &row) { return row.option > 0; }))
            optionsRevoked.insert(key);
    }
    const auto mayGoAlong = [&optionsRevoked](const GroupKey &key) {
        return std::any_of(optionsRevoked.begin(), optionsRevoked.end(),
                           [&key](const GroupKey &by) {
                               return by.grantee == key.grantor && by.object == key.object &&
                                      by.objectType == key.objectType && by.letter == key.letter;
                           });
    };
    Plan plan;
    QList<GrantRow> grants;
    bool leftForLater = false;
    for (const GroupKey &key : order) {
        const QList<GrantRow> have = nowBy.value(key);
        const QList<GrantRow> want = wantedBy.value(key);
        if (sameRows(have, want))
            continue;
        if (!have.isEmpty() && mayGoAlong(key)) {
            leftForLater = true;
            continue;
        }
        if (key.grantor != login.name && !mayNameGrantor(login, key.grantor)) {
            refusals.append(
                QStringLiteral("%1 %2 by %3: %4 may not name that grantor")
                    .arg(want.isEmpty() ? QStringLiteral("taking") : QStringLiteral("giving"),
                         describeGiven({want.isEmpty() ? have.first() : want.first()}).constFirst(),
                         grantorText(key.grantor), login.name));
            continue;
        }
        const Grantee grantee = namedGrantee(key.grantee, key.granteeType, login);
        const SqlName by = SqlName::stored(key.grantor);
        const SqlName *grantedBy = key.grantor == login.name ? nullptr : &by;
        if (!have.isEmpty()) {
            plan.changes.append(revokeChange(key.objectType, key.object, wordOf(key.letter),
                                             grantee, grantedBy, columnsTakenBy(have)));
        }
        grants += want;
    }
    if (!refusals.isEmpty())
        return {};
    // Grants wait for the round after the revokes whose cascade could take
    // them along, or what they give back.
    if (leftForLater)
        return plan;
    // Each grantee's grants as few statements as its forms allow, the
    // grantees in the order their first grant must go.
    const QList<GrantRow> ordered = inGrantingOrder(grants);
    QList<std::pair<QString, int>> grantees;
    for (const GrantRow &row : ordered) {
        if (!grantees.contains(std::pair{row.grantee, row.granteeType}))
            grantees.append({row.grantee, row.granteeType});
    }
    for (const auto &[name, type] : grantees) {
        const Grantee to = namedGrantee(name, type, login);
        for (const PrivilegeForm &form : formsOf(rowsWhere(ordered, [&](const GrantRow &row) {
                 return row.grantee == name && row.granteeType == type;
             }))) {
            const SqlName by = SqlName::stored(form.grantor);
            plan.changes.append(grantChange(form, to, form.grantor == login.name ? nullptr : &by));
        }
    }
    return plan;
}

QStringList describeDifference(const QList<GrantRow> &expected, const QList<GrantRow> &found)
{
    QStringList lines;
    const auto missing = [](const QList<GrantRow> &from, const QList<GrantRow> &in) {
        return rowsWhere(from, [&in](const GrantRow &row) { return !in.contains(row); });
    };
    for (const GrantRow &row : missing(found, expected))
        lines.append(QStringLiteral("granted since: %1 by %2")
                         .arg(describeGiven({row}).constFirst(), grantorText(row.grantor)));
    for (const GrantRow &row : missing(expected, found))
        lines.append(QStringLiteral("gone since: %1 by %2")
                         .arg(describeGiven({row}).constFirst(), grantorText(row.grantor)));
    return lines;
}

} // namespace db
