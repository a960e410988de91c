#pragma once

// Who can use an object, and through what: the grants on it, the roles that
// hold them and the logins that hold those roles, its owner, SYSDBA and the
// database's owner. Rows in, paths out.

#include "Vocabulary.h"

#include <QHash>

namespace db {

class TDatabase;

// Firebird 4's system privileges that reach objects.
inline const QString SelectAnyObject = QStringLiteral("SELECT_ANY_OBJECT_IN_DATABASE");
inline const QString AccessAnyObject = QStringLiteral("ACCESS_ANY_OBJECT_IN_DATABASE");

// What the server reads when it decides whether a login may use an object.
struct AccessFacts
{
    QList<GrantRow> onObject;    // every row on the object
    QList<GrantRow> memberships; // every membership of a role, whoever holds it
    QString owner;               // of the object; empty when unknown
    QString databaseOwner;
    bool isFirebird3 = false;
    // Firebird 4's roles whose system privileges reach objects: the role
    // and its widest such privilege, AccessAnyObject or SelectAnyObject. RDB$ADMIN, which holds
    // every one, is not among them.
    QHash<QString, QString> systemPrivileges;
};

// One way a grantee reaches one letter of the object.
struct AccessPath
{
    enum class Route
    {
        Directly,
        Role,
        Owner,
        Sysdba,
        DatabaseOwner
    };

    QString grantee;
    int granteeType = kind::User;
    QChar letter;
    QStringList columns; // the letter on these columns alone; empty: the whole object
    Route route = Route::Directly;
    // The role that holds the letter, then each role it was granted to, the
    // last the one the grantee holds.
    QStringList roles;
    // The role is in effect at every connection: Firebird 4's DEFAULT, down
    // a chain of roles each granted DEFAULT to the next.
    bool defaultRole = false;
    // The role's system privilege that gives the letter, where a grant does
    // not: "SELECT_ANY_OBJECT_IN_DATABASE".
    QString systemPrivilege;

    // The role the grantee must connect with; empty when none is needed.
    [[nodiscard]] QString connectRole() const;
    friend bool operator==(const AccessPath &, const AccessPath &) = default;
};

// Every path to every letter of the object: each grantee's own grants, the
// members of each role (PUBLIC among them) that reaches a grant, is
// RDB$ADMIN or holds a system privilege that reaches the object, the
// object's owner, SYSDBA and the database's owner.
[[nodiscard]] QList<AccessPath> whoCan(const ObjectRef &object, const AccessFacts &facts);

// The paths of one login: its own and PUBLIC's, which every login holds.
[[nodiscard]] QList<AccessPath> pathsOfLogin(const QList<AccessPath> &paths, const QString &login);

// The letters the paths give a login connected with the role (empty for
// none), once each, in the order statements take them; a letter held on
// some columns alone counts.
[[nodiscard]] QString lettersInEffect(const QList<AccessPath> &paths, const QString &role);

// One line per grantee and path, letters together: "NURSE_OLGA — SELECT
// through role NURSING (default role)". PUBLIC's paths are said of the login
// when one is given ("FRED — SELECT through PUBLIC").
[[nodiscard]] QStringList describePaths(const QList<AccessPath> &paths, const QString &login = {});

// One line per path and letter, tab-separated under tabulatedHeader(): the
// object and its kind, the grantee and its kind, the privilege, its columns,
// through what and when ("always", "default role", "with role R").
[[nodiscard]] QStringList tabulatePaths(const ObjectRef &object, const QList<AccessPath> &paths);
[[nodiscard]] QString tabulatedHeader();

// The object's rows, every membership, the object's and the database's
// owners and the server's version, in one statement; on Firebird 4 the
// roles' system privileges in a second.
[[nodiscard]] AccessFacts readAccessFacts(TDatabase &database, const ObjectRef &object);
// The same for every object of the name, of whatever kind (a table and a
// sequence may share it), read at once; those that do not exist and have
// no rows are left out.
[[nodiscard]] QList<std::pair<ObjectRef, AccessFacts>> readAccessFactsOfName(TDatabase &database,
                                                                             const QString &name);

} // namespace db
