#include "WhoCan.h"

#include <QHash>
#include <algorithm>

namespace db {

namespace {

const QString Public = QStringLiteral("PUBLIC");
const QString Sysdba = QStringLiteral("SYSDBA");
// Every right on every object of the database, to whoever has it in effect.
const QString Admin = QStringLiteral("RDB$ADMIN");

QString lettersOfKind(int objectType)
{
    return objectType == kind::Relation ? QStringLiteral("SUIDR")
                                        : QString(singleLetterOf(objectType));
}

bool isDefaultMembership(const GrantRow &row, bool isFirebird3)
{
    // Firebird 4 keeps DEFAULT as the membership's one "column".
    return !isFirebird3 && row.column == QLatin1String("D");
}

// A letter as a grantee holds it: on the whole object, or on some columns.
struct Held
{
    QChar letter;
    QStringList columns;
};

// The letters each grantee holds on the object, rows of one letter together.
QList<Held> heldBy(const QList<GrantRow> &rows)
{
    QList<Held> held;
    for (const QChar letter : lettersOf(rows)) {
        Held one{letter, {}};
        bool whole = false;
        for (const GrantRow &row : ofLetter(rows, letter)) {
            whole = whole || row.column.isEmpty();
            if (!row.column.isEmpty() && !one.columns.contains(row.column))
                one.columns.append(row.column);
        }
        if (whole)
            one.columns.clear();
        held.append(one);
    }
    return held;
}

QList<Held> everyLetter(int objectType)
{
    QList<Held> held;
    for (const QChar letter : lettersOfKind(objectType))
        held.append({letter, {}});
    return held;
}

// What a system privilege gives on the object, as Firebird 4.0.5 lets a
// login use it: SELECT_ANY_OBJECT_IN_DATABASE reads (and references) any
// table or view; ACCESS_ANY_OBJECT_IN_DATABASE uses every object but
// makes no one a member of a role.
QList<Held> lettersOfSystemPrivilege(const QString &privilege, int objectType)
{
    if (privilege == SelectAnyObject)
        return objectType == kind::Relation ? QList<Held>{{u'S', {}}, {u'R', {}}} : QList<Held>();
    return objectType == kind::Role ? QList<Held>() : everyLetter(objectType);
}

// What a role holds for its members: its grants on the object, or what a
// system privilege of its gives.
struct RoleHolding
{
    QList<Held> held;
    QString systemPrivilege;
};

// Roles granted to roles (Firebird 4): who holds which role, and whether as
// a default one.
struct RoleEdge
{
    QString granted;
    bool isDefault;
};
using RoleGraph = QHash<QString, QList<RoleEdge>>;

// The roles in effect once `start` is: itself and, down the edges taken,
// every role granted to it, each with the chain from it back to start.
QHash<QString, QStringList> reachedFrom(const QString &start, const RoleGraph &graph,
                                        bool defaultsOnly)
{
    QHash<QString, QStringList> chains{{start, {start}}};
    QStringList queue{start};
    for (qsizetype i = 0; i < queue.size(); ++i) {
        const QString holder = queue.at(i);
        for (const RoleEdge &edge : graph.value(holder)) {
            if ((defaultsOnly && !edge.isDefault) || chains.contains(edge.granted))
                continue;
            chains.insert(edge.granted, QStringList{edge.granted} + chains.value(holder));
            queue.append(edge.granted);
        }
    }
    return chains;
}

int routeRank(AccessPath::Route route)
{
    return int(route);
}

bool pathBelow(const AccessPath &a, const AccessPath &b)
{
    if (a.grantee != b.grantee)
        return a.grantee.toUtf8() < b.grantee.toUtf8();
    if (a.granteeType != b.granteeType)
        return a.granteeType < b.granteeType;
    if (a.route != b.route)
        return routeRank(a.route) < routeRank(b.route);
    if (a.defaultRole != b.defaultRole)
        return a.defaultRole;
    if (a.roles != b.roles)
        return a.roles.join(u',').toUtf8() < b.roles.join(u',').toUtf8();
    if (a.systemPrivilege != b.systemPrivilege)
        return a.systemPrivilege < b.systemPrivilege;
    return letterRank(a.letter) < letterRank(b.letter);
}

QString granteeKindWord(int type)
{
    if (type == kind::User)
        return QStringLiteral("user");
    if (type == kind::Role)
        return QStringLiteral("role");
    return kindName(type);
}

QString privilegeText(const AccessPath &path)
{
    const QString word = wordOf(path.letter);
    return path.columns.isEmpty()
               ? word
               : QStringLiteral("%1 (%2)").arg(word, path.columns.join(QStringLiteral(", ")));
}

bool sameGroup(const AccessPath &a, const AccessPath &b)
{
    return a.grantee == b.grantee && a.granteeType == b.granteeType && a.route == b.route &&
           a.roles == b.roles && a.defaultRole == b.defaultRole &&
           a.systemPrivilege == b.systemPrivilege;
}

// "role WC_R1, granted to role WC_R2", after the system privilege that
// gives the letter where one does.
QString roleChain(const AccessPath &path)
{
    return (path.systemPrivilege.isEmpty()
                ? QString()
                : QStringLiteral("the system privilege %1 of ").arg(path.systemPrivilege)) +
           QStringLiteral("role ") + path.roles.join(QStringLiteral(", granted to role "));
}

QString whoText(const AccessPath &path, const QString &login)
{
    if (path.granteeType == kind::User)
        return path.grantee == Public && !login.isEmpty() ? login : path.grantee;
    return granteeKindWord(path.granteeType) + QLatin1Char(' ') + path.grantee;
}

QString howText(const AccessPath &path, const QString &login)
{
    const bool publics = path.granteeType == kind::User && path.grantee == Public;
    switch (path.route) {
    case AccessPath::Route::Directly:
        if (publics)
            return login.isEmpty() ? QStringLiteral("directly (every login)")
                                   : QStringLiteral("through PUBLIC");
        return QStringLiteral("directly");
    case AccessPath::Route::Role:
        return QStringLiteral("through %1%2 (%3)")
            .arg(roleChain(path),
                 publics && !login.isEmpty() ? QStringLiteral(", held by PUBLIC") : QString(),
                 path.defaultRole
                     ? QStringLiteral("default role")
                     : QStringLiteral("when connecting with role %1").arg(path.connectRole()));
    case AccessPath::Route::Owner:
        return QStringLiteral("as its owner");
    case AccessPath::Route::Sysdba:
        return QStringLiteral("as SYSDBA");
    case AccessPath::Route::DatabaseOwner:
        return QStringLiteral("as the database's owner");
    }
    return {};
}

QString throughCell(const AccessPath &path)
{
    switch (path.route) {
    case AccessPath::Route::Directly:
        return QStringLiteral("directly");
    case AccessPath::Route::Role:
        return roleChain(path);
    case AccessPath::Route::Owner:
        return QStringLiteral("owner");
    case AccessPath::Route::Sysdba:
        return Sysdba;
    case AccessPath::Route::DatabaseOwner:
        return QStringLiteral("database owner");
    }
    return {};
}

QString whenCell(const AccessPath &path)
{
    if (path.route != AccessPath::Route::Role)
        return QStringLiteral("always");
    return path.defaultRole ? QStringLiteral("default role")
                            : QStringLiteral("with role ") + path.connectRole();
}

} // namespace

QString AccessPath::connectRole() const
{
    return route == Route::Role && !defaultRole && !roles.isEmpty() ? roles.constLast() : QString();
}

QList<AccessPath> whoCan(const ObjectRef &object, const AccessFacts &facts)
{
    QList<AccessPath> paths;
    const auto add = [&paths](const QString &grantee, int granteeType, const QList<Held> &held,
                              AccessPath::Route route, const QStringList &roles = {},
                              bool defaultRole = false, const QString &systemPrivilege = {}) {
        for (const Held &one : held)
            paths.append({grantee, granteeType, one.letter, one.columns, route, roles, defaultRole,
                          systemPrivilege});
    };

    // Each grantee's own rows, and what each role holds for its members.
    QList<std::pair<QString, int>> grantees;
    for (const GrantRow &row : facts.onObject) {
        if (!grantees.contains(std::pair(row.grantee, row.granteeType)))
            grantees.append({row.grantee, row.granteeType});
    }
    QHash<QString, QList<RoleHolding>> ofRole;
    for (const auto &[grantee, type] : grantees) {
        const QList<Held> held = heldBy(rowsWhere(facts.onObject, [&](const GrantRow &row) {
            return row.grantee == grantee && row.granteeType == type;
        }));
        add(grantee, type, held, AccessPath::Route::Directly);
        if (type == kind::Role)
            ofRole[grantee].append({held, {}});
    }
    ofRole[Admin].append({everyLetter(object.type), {}});
    for (auto it = facts.systemPrivileges.begin(); it != facts.systemPrivileges.end(); ++it) {
        const QList<Held> held = lettersOfSystemPrivilege(it.value(), object.type);
        if (!held.isEmpty())
            ofRole[it.key()].append({held, it.value()});
    }

    RoleGraph graph;
    for (const GrantRow &row : facts.memberships) {
        if (row.granteeType == kind::Role)
            graph[row.grantee].append({row.object, isDefaultMembership(row, facts.isFirebird3)});
    }
    // A login, or PUBLIC for every login, holds a role: connecting with it
    // brings every role granted to it; as a default role, it and the roles
    // granted to it as default ones are in effect at every connection.
    for (const GrantRow &row : facts.memberships) {
        if (row.granteeType != kind::User)
            continue;
        const QHash<QString, QStringList> always = isDefaultMembership(row, facts.isFirebird3)
                                                       ? reachedFrom(row.object, graph, true)
                                                       : QHash<QString, QStringList>();
        const QHash<QString, QStringList> connected = reachedFrom(row.object, graph, false);
        QStringList reached = connected.keys();
        std::sort(reached.begin(), reached.end());
        for (const QString &role : reached) {
            if (!ofRole.contains(role))
                continue;
            const bool isDefault = always.contains(role);
            for (const RoleHolding &holding : ofRole.value(role))
                add(row.grantee, row.granteeType, holding.held, AccessPath::Route::Role,
                    isDefault ? always.value(role) : connected.value(role), isDefault,
                    holding.systemPrivilege);
        }
    }

    if (!facts.owner.isEmpty() && object.type != kind::Role)
        add(facts.owner, kind::User, everyLetter(object.type), AccessPath::Route::Owner);
    add(Sysdba, kind::User, everyLetter(object.type), AccessPath::Route::Sysdba);
    if (!facts.databaseOwner.isEmpty() && facts.databaseOwner != Sysdba)
        add(facts.databaseOwner, kind::User, everyLetter(object.type),
            AccessPath::Route::DatabaseOwner);
    std::stable_sort(paths.begin(), paths.end(), pathBelow);
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    return paths;
}

QList<AccessPath> pathsOfLogin(const QList<AccessPath> &paths, const QString &login)
{
    // Its own paths first, then those it has as anyone has them.
    QList<AccessPath> own;
    for (const QString &grantee : {login, Public}) {
        std::copy_if(paths.begin(), paths.end(), std::back_inserter(own),
                     [&grantee](const AccessPath &path) {
                         return path.granteeType == kind::User && path.grantee == grantee;
                     });
        if (login == Public)
            break;
    }
    return own;
}

QString lettersInEffect(const QList<AccessPath> &paths, const QString &role)
{
    QList<QChar> letters;
    for (const AccessPath &path : paths) {
        const QString needed = path.connectRole();
        if ((needed.isEmpty() || needed == role) && !letters.contains(path.letter))
            letters.append(path.letter);
    }
    std::sort(letters.begin(), letters.end(),
              [](QChar a, QChar b) { return letterRank(a) < letterRank(b); });
    return QString(letters.constData(), letters.size());
}

QStringList describePaths(const QList<AccessPath> &paths, const QString &login)
{
    QStringList lines;
    for (qsizetype i = 0; i < paths.size();) {
        QStringList privileges;
        qsizetype end = i;
        for (; end < paths.size() && sameGroup(paths.at(i), paths.at(end)); ++end)
            privileges.append(privilegeText(paths.at(end)));
        lines.append(QStringLiteral("%1 — %2 %3")
                         .arg(whoText(paths.at(i), login), privileges.join(QStringLiteral(", ")),
                              howText(paths.at(i), login)));
        i = end;
    }
    return lines;
}

QString tabulatedHeader()
{
    return QStringLiteral(
        "object\tobject kind\tgrantee\tgrantee kind\tprivilege\tcolumns\tthrough\twhen");
}

QStringList tabulatePaths(const ObjectRef &object, const QList<AccessPath> &paths)
{
    const QString objectKind =
        object.type == kind::Relation ? QStringLiteral("relation") : granteeKindWord(object.type);
    QStringList lines;
    for (const AccessPath &path : paths)
        lines.append(QStringList{object.name, objectKind, path.grantee,
                                 granteeKindWord(path.granteeType), wordOf(path.letter),
                                 path.columns.join(u','), throughCell(path), whenCell(path)}
                         .join(u'\t'));
    return lines;
}

} // namespace db
