#include "Compare.h"

#include "DdlPrivileges.h"
#include "Descriptions.h"
#include "ServerGuards.h"
#include "Undo.h"

#include <QHash>
#include <QSet>
#include <optional>
#include <set>

namespace db {

namespace {

// The object a grantee of that kind is, when it is one.
std::optional<int> objectKindOfGrantee(int granteeType)
{
    switch (granteeType) {
    case kind::View:
        return kind::Relation;
    case kind::Procedure:
    case kind::Role:
    case kind::Function:
    case kind::Package:
        return granteeType;
    default:
        return std::nullopt; // users, and triggers, whose owners are not read
    }
}

QString objectText(int objectType, const QString &name)
{
    const QString kindWord = objectType == kind::Relation ? QStringLiteral("table or view")
                             : objectType == kind::Role   ? QStringLiteral("role")
                                                          : kindName(objectType);
    return kindWord + QLatin1Char(' ') + name;
}

// What the export writes, split into the rows on objects the other side has
// too and the objects it lacks.
struct Side
{
    QList<GrantRow> rows;
    QStringList missingThere;
};

// firebird3: the numbering of DDL privileges' objects to compare in, that of
// the first side's server, as Firebird 4 numbers them one higher.
Side sideOf(const Catalogue &catalogue, const Catalogue &other, bool firebird3)
{
    Side side;
    const auto lacks = [&](int objectType, const QString &name) {
        // A saved file's objects are the database's: it lacks none of them.
        if (other.isSavedFile || isDdl(objectType, name) ||
            !other.owners.of(objectType, name).isEmpty())
            return false;
        const QString text = objectText(objectType, name);
        if (!side.missingThere.contains(text))
            side.missingThere.append(text);
        return true;
    };
    for (const GrantRow &row : catalogue.rows) {
        if (!isExported(row, catalogue.owners))
            continue;
        const std::optional<int> granteeObject = objectKindOfGrantee(row.granteeType);
        // Both checks run: each side names what the other lacks.
        const bool objectMissing = lacks(row.objectType, row.object);
        const bool granteeMissing = granteeObject && lacks(*granteeObject, row.grantee);
        if (objectMissing || granteeMissing)
            continue;
        side.rows.append(row);
        if (isDdlObject(row.object))
            side.rows.last().objectType = ddlObjectType(row.object, firebird3);
    }
    return side;
}

QHash<GroupKey, QList<GrantRow>> byGroup(const QList<GrantRow> &rows)
{
    QHash<GroupKey, QList<GrantRow>> groups;
    for (const GrantRow &row : rows)
        groups[groupOf(row)].append(row);
    return groups;
}

// A person's standing on one object and letter, whichever side of a grant
// the person is on: the grantee of one group and the grantor of another
// meet under it.
GroupKey standingOf(const QString &person, const QString &object, int objectType, QChar letter)
{
    return {person, 0, object, objectType, letter, {}};
}

// Revokes go out what was granted with an option first: revoking the option
// first would take those rows along, and their own revoke would then fail.
// Otherwise they keep their order; in a circle of grants the first goes
// first.
QList<GroupKey> dependentsFirst(const QList<GroupKey> &groups)
{
    // Each group's grantee and grantor as standings, to find who gave whom
    // the option without a walk of every pair.
    QHash<GroupKey, QList<qsizetype>> byGrantor;
    QHash<GroupKey, QList<qsizetype>> byGrantee;
    for (qsizetype i = 0; i < groups.size(); ++i) {
        const GroupKey &group = groups.at(i);
        byGrantor[standingOf(group.grantor, group.object, group.objectType, group.letter)].append(
            i);
        byGrantee[standingOf(group.grantee, group.object, group.objectType, group.letter)].append(
            i);
    }
    // How many of the groups left each group's grantee gave the option to.
    QList<qsizetype> waitingFor(groups.size(), 0);
    std::set<qsizetype> ready;
    std::set<qsizetype> left;
    for (qsizetype i = 0; i < groups.size(); ++i) {
        const GroupKey &group = groups.at(i);
        for (const qsizetype given : byGrantor.value(
                 standingOf(group.grantee, group.object, group.objectType, group.letter)))
            waitingFor[i] += given != i;
        if (waitingFor[i] == 0)
            ready.insert(i);
        left.insert(i);
    }
    QList<GroupKey> ordered;
    while (!left.empty()) {
        const qsizetype next = ready.empty() ? *left.begin() : *ready.begin();
        ready.erase(next);
        left.erase(next);
        const GroupKey &gone = groups.at(next);
        ordered.append(gone);
        // Whoever gave it the option waits for one group less.
        for (const qsizetype giver :
             byGrantee.value(standingOf(gone.grantor, gone.object, gone.objectType, gone.letter))) {
            if (giver != next && left.count(giver) && --waitingFor[giver] == 0)
                ready.insert(giver);
        }
    }
    return ordered;
}

// One grantee's rows on one object, as the window lists them.
GroupKey pairOf(const QString &grantee, int granteeType, const QString &object, int objectType)
{
    return {grantee, granteeType, object, objectType, {}, {}};
}

GroupKey pairOf(const GrantRow &row)
{
    return pairOf(row.grantee, row.granteeType, row.object, row.objectType);
}

} // namespace

CatalogueDifference compareCatalogues(const Catalogue &here, const Catalogue &there,
                                      const std::function<bool(const GrantRow &)> &chosen)
{
    CatalogueDifference difference;
    const Side mine = sideOf(here, there, here.isFirebird3);
    const Side theirs = sideOf(there, here, here.isFirebird3);
    difference.objectsOnlyHere = mine.missingThere;
    difference.objectsOnlyThere = theirs.missingThere;
    difference.hereRows = mine.rows;
    difference.thereRows = theirs.rows;
    const QHash<GroupKey, QList<GrantRow>> have = byGroup(mine.rows);
    const QHash<GroupKey, QList<GrantRow>> want = byGroup(theirs.rows);
    const auto isChosen = [&chosen](const GrantRow &row) { return !chosen || chosen(row); };

    QList<GroupKey> differing;
    for (auto it = have.begin(); it != have.end(); ++it) {
        if (!sameRows(it.value(), want.value(it.key())))
            differing.append(it.key());
    }
    for (auto it = want.begin(); it != want.end(); ++it) {
        if (!have.contains(it.key()))
            differing.append(it.key());
    }
    std::sort(differing.begin(), differing.end(), [](const GroupKey &a, const GroupKey &b) {
        return std::tie(a.grantee, a.granteeType, a.object, a.objectType, a.letter, a.grantor) <
               std::tie(b.grantee, b.granteeType, b.object, b.objectType, b.letter, b.grantor);
    });

    QList<GroupKey> revoked;
    QList<GrantRow> granted;
    QSet<GroupKey> changing;
    for (const GroupKey &group : differing) {
        const QList<GrantRow> mineOf = have.value(group);
        const QList<GrantRow> theirsOf = want.value(group);
        difference.onlyHere +=
            rowsWhere(mineOf, [&](const GrantRow &row) { return !theirsOf.contains(row); });
        difference.onlyThere +=
            rowsWhere(theirsOf, [&](const GrantRow &row) { return !mineOf.contains(row); });
        if (!isChosen(mineOf.isEmpty() ? theirsOf.constFirst() : mineOf.constFirst()))
            continue;
        changing.insert(group);
        if (!mineOf.isEmpty())
            revoked.append(group);
        granted += theirsOf;
    }
    // What a revoke may take along comes back as it is to stand: the grants
    // its grantee made with the option (the server's cascade), and on
    // Firebird 4 its memberships of the role from every grantor.
    const QList<GrantRow> standing =
        rowsWhere(theirs.rows,
                  [&](const GrantRow &row) { return changing.contains(groupOf(row)); }) +
        rowsWhere(mine.rows, [&](const GrantRow &row) { return !changing.contains(groupOf(row)); });
    // What the revokes reach: the grants their grantees made with the option
    // on the same object and letter, and the memberships of the role.
    QSet<GroupKey> optionsRevoked;
    QSet<GroupKey> membershipsRevoked;
    for (const GroupKey &by : std::as_const(revoked)) {
        optionsRevoked.insert(standingOf(by.grantee, by.object, by.objectType, by.letter));
        if (by.objectType == kind::Role)
            membershipsRevoked.insert(pairOf(by.grantee, by.granteeType, by.object, by.objectType));
    }
    QSet<GrantRow> grantedRows(granted.begin(), granted.end());
    for (const GrantRow &row : standing) {
        const bool mayGoAlong =
            optionsRevoked.contains(
                standingOf(row.grantor, row.object, row.objectType, row.privilege)) ||
            (row.objectType == kind::Role && membershipsRevoked.contains(pairOf(row)));
        if (mayGoAlong && !grantedRows.contains(row)) {
            granted.append(row);
            grantedRows.insert(row);
        }
    }

    for (const GroupKey &group : dependentsFirst(revoked)) {
        const Grantee from{SqlName::stored(group.grantee), group.granteeType, true};
        const SqlName grantor = SqlName::stored(group.grantor);
        difference.changes.append(revokeChange(group.objectType, group.object, wordOf(group.letter),
                                               from, &grantor, columnsTakenBy(have.value(group))));
    }
    difference.changes += exportChanges(granted, there.owners);
    return difference;
}

QStringList statementsOf(const QList<Change> &changes)
{
    QStringList statements;
    for (const Change &change : changes)
        statements.append(change.sql + QLatin1Char(';'));
    return statements;
}

QList<PairDifference> pairsOf(const CatalogueDifference &difference)
{
    QList<PairDifference> pairs;
    QHash<GroupKey, qsizetype> at;
    for (const GrantRow &row : difference.onlyHere + difference.onlyThere) {
        if (at.contains(pairOf(row)))
            continue;
        at.insert(pairOf(row), pairs.size());
        pairs.append({row.grantee, row.granteeType, row.object, row.objectType, {}, {}});
    }
    for (const GrantRow &row : difference.hereRows) {
        if (const auto pair = at.constFind(pairOf(row)); pair != at.constEnd())
            pairs[*pair].here.append(row);
    }
    for (const GrantRow &row : difference.thereRows) {
        if (const auto pair = at.constFind(pairOf(row)); pair != at.constEnd())
            pairs[*pair].there.append(row);
    }
    std::sort(pairs.begin(), pairs.end(), [](const PairDifference &a, const PairDifference &b) {
        return std::tie(a.grantee, a.granteeType, a.object, a.objectType) <
               std::tie(b.grantee, b.granteeType, b.object, b.objectType);
    });
    return pairs;
}

std::function<bool(const GrantRow &)> inPairs(const QList<PairDifference> &pairs)
{
    QSet<GroupKey> chosen;
    for (const PairDifference &pair : pairs)
        chosen.insert(pairOf(pair.grantee, pair.granteeType, pair.object, pair.objectType));
    return [chosen](const GrantRow &row) { return chosen.contains(pairOf(row)); };
}

QString describePair(const PairDifference &pair)
{
    // A DDL privilege as the lists name it ("CREATE TABLE").
    const auto held = [](const QList<GrantRow> &rows) {
        QList<GrantRow> listed;
        for (const GrantRow &row : rows)
            listed.append(asListRow(row));
        QStringList forms;
        for (const PrivilegeForm &form : formsOf(listed))
            forms.append(describeHeld(form));
        return forms.join(QStringLiteral(", "));
    };
    QStringList parts;
    for (const QChar letter : lettersOf(pair.here + pair.there)) {
        const QList<GrantRow> mine = ofLetter(pair.here, letter);
        const QList<GrantRow> theirs = ofLetter(pair.there, letter);
        if (sameRows(mine, theirs))
            continue;
        if (theirs.isEmpty())
            parts.append(held(mine) + QStringLiteral(" here only"));
        else if (mine.isEmpty())
            parts.append(held(theirs) + QStringLiteral(" there only"));
        else
            parts.append(QStringLiteral("here %1, there %2").arg(held(mine), held(theirs)));
    }
    const QString kindWord = pair.granteeType == kind::Role ? QStringLiteral("role ")
                             : kindName(pair.granteeType).isEmpty()
                                 ? QString()
                                 : kindName(pair.granteeType) + QLatin1Char(' ');
    return QStringLiteral("%1%2 on %3: %4")
        .arg(kindWord, pair.grantee,
             isDdl(pair.objectType, pair.object) ? QStringLiteral("the DDL privileges")
                                                 : pair.object,
             parts.join(QStringLiteral("; ")));
}

} // namespace db
