#pragma once

// Each command's plan: from the catalogue rows it starts from to the
// statements it sends, with what it leaves undone and what it takes along.
// Plain functions, rows in and statements out: no connection, no widgets.

#include "Statements.h"

#include <QSet>

namespace db {

// A grant option a command takes away: the server then revokes, along with
// it, what the grantee granted to others with it.
struct OptionTaken
{
    QString grantee;
    int objectType = kind::Relation;
    QString object;
    QChar letter;
    // The privilege itself is revoked, not only its option.
    bool withPrivilege = false;
};

// The statements a command sends, and what it leaves undone and why.
struct Plan
{
    QList<Change> changes;
    QStringList notDone;
    QList<OptionTaken> optionsTaken;
    // What the targets lose in effect: rows revoked and not given back in
    // the same form.
    QList<GrantRow> taken;
};

// Who runs the statements: the login, and whether it may write GRANTED BY
// (SYSDBA, the database owner, the RDB$ADMIN role).
struct Login
{
    QString name;
    bool mayNameGrantors = false;
    // The longest name the catalogue holds: characters on Firebird 4, bytes
    // of UTF-8 on Firebird 3, whose names are UNICODE_FSS.
    int nameLength = 31;
    // Firebird 3: column-level UPDATE rights dropped in effect on revokes,
    // names counted in bytes.
    bool isFirebird3 = false;
    QString role{}; // the attachment's SQL role; empty for none
    // The database's roles, and those of them whose name a user grantee
    // shares: statements name such a user or role with its kind.
    QSet<QString> roles{};
    QSet<QString> rolesNamedLikeUsers{};
};

// The grantee of that stored name and kind as the login's statements must
// name it: with USER or ROLE where a user and a role share the name.
[[nodiscard]] Grantee namedGrantee(const SqlName &name, int type, const Login &login);
[[nodiscard]] Grantee namedGrantee(const QString &storedName, int type, const Login &login);

// Whether the login may revoke or grant in the grantor's name: its own, or
// anyone's with GRANTED BY. The system's grants (no grantor) no statement
// names.
[[nodiscard]] bool mayNameGrantor(const Login &login, const QString &grantor);

// Makes each target's privileges on every object in the rows equal to the
// source's, object by object and target by target, column lists and options included, sending a
// statement only where the two differ. Without revokeExtras it only adds what the target lacks. The
// login grants; what it may not revoke is reported.
struct CopyTarget
{
    Grantee grantee;
    QList<GrantRow> rows; // what the target holds now on the objects copied
};
[[nodiscard]] Plan planCopy(const QList<GrantRow> &source, const QList<CopyTarget> &targets,
                            const Login &login, bool revokeExtras);

// Takes the letters (all when empty) from the grantee's rows on one object:
// each grantor's rows with GRANTED BY where the login may name grantors,
// else the login's own, naming the rest in notDone. One REVOKE ALL a grantor
// where it gave every letter held.
[[nodiscard]] Plan planRevoke(const QList<GrantRow> &held, const QString &letters,
                              const Grantee &from, const Login &login);

// Gives (give) or takes the grant option, for a role the admin option, of
// the letters (all when empty) the grantee holds on one object. Giving keeps
// each form and grantor (GRANTED BY where the login may name it); taking revokes
// "GRANT OPTION FOR" / "ADMIN OPTION FOR" once per grantor, naming in
// optionsTaken what the server revokes along with it, and in notDone what
// the login may not take.
[[nodiscard]] Plan planGrantOption(const QList<GrantRow> &held, const ObjectRef &object,
                                   const QString &letters, bool give, const Grantee &grantee,
                                   const Login &login);

// The source's rows on one relation as rows on another for the same grantee:
// a column-level privilege goes only where the other relation has every
// column; the letters left out are named in skipped.
[[nodiscard]] QList<GrantRow> rowsMovedTo(const QList<GrantRow> &rows, const QString &relation,
                                          const QStringList &relationColumns, QStringList &skipped,
                                          QList<QChar> &skippedLetters);

// Firebird 4 revokes a membership from every grantor at once, GRANTED BY or
// not: after revoking the revoked grantor's membership of the role, the
// grants that give back what the receiver holds from others (none on
// Firebird 3, which takes only that grantor's).
[[nodiscard]] QList<Change> membershipsGivenBack(const QList<GrantRow> &memberships,
                                                 const ObjectRef &role,
                                                 const QString &revokedGrantor, const Grantee &to,
                                                 const Login &login);

// Moves every privilege of the old name to the new one, object by object:
// grants to the new name, the grants the old name made re-granted by the new
// one, then the old name's revoked. With GRANTED BY each privilege keeps its
// grantor; without it only the login's own grants move and the rest stays
// with the old name. Fails, before any statement, when the old name made grants that
// would be lost. othersMemberships: the memberships of those the old name
// gave a role to, from other grantors, which Firebird 4 revokes along with
// the old name's grant and the plan gives again.
[[nodiscard]] Plan planRename(const QList<GrantRow> &oldRows, const QList<GrantRow> &madeByOld,
                              const Grantee &oldName, const Grantee &newName, const Login &login,
                              const QList<GrantRow> &othersMemberships = {});

} // namespace db
