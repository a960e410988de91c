#pragma once

#include "Names.h"

#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace db {

// The kinds of object and grantee that RDB$USER_PRIVILEGES records, as
// RDB$OBJECT_TYPE and RDB$USER_TYPE hold them.
namespace kind {
inline constexpr int Relation = 0; // tables and views, as objects
inline constexpr int View = 1;     // as a grantee
inline constexpr int Trigger = 2;
inline constexpr int Procedure = 5;
inline constexpr int Exception = 7;
inline constexpr int User = 8;
inline constexpr int Role = 13;
inline constexpr int Sequence = 14;
inline constexpr int Function = 15;
inline constexpr int Package = 18;
} // namespace kind

// One catalogue row: a privilege of a grantee on an object.
struct GrantRow
{
    QString grantee;
    int granteeType = kind::User;
    QString object;
    int objectType = kind::Relation;
    QChar privilege;
    QString column; // empty when the privilege covers the whole object
    int option = 0; // 1 with grant option, 2 a role with admin option
    QString grantor;

    friend bool operator==(const GrantRow &, const GrantRow &) = default;
};

[[nodiscard]] QList<GrantRow> rowsWhere(const QList<GrantRow> &rows,
                                        const std::function<bool(const GrantRow &)> &wanted);

// "procedure", "view", "sequence": the kind named in messages; empty for a
// relation, a user or a role, which go by their name alone.
[[nodiscard]] QString kindName(int type);

// Whether a GRANT can give a privilege on this kind of object; the usage of
// domains, character sets and collations is the server's own business.
[[nodiscard]] bool isStatementKind(int objectType);
// Whether a GRANT can name this kind of grantee: users and roles by their
// name alone, procedures, functions, packages, triggers and views by keyword.
[[nodiscard]] bool isGranteeKind(int granteeType);
// Whether "TO name" with no keyword names this kind: a user or a role, and
// only these grant privileges to others.
[[nodiscard]] bool isNamedWithoutKeyword(int granteeType);
// Whether the kind of object has one privilege alone: EXECUTE, USAGE or, for
// a role, membership.
[[nodiscard]] bool hasSinglePrivilege(int objectType);
// The word of that one privilege: "EXECUTE", "USAGE" or "MEMBERSHIP".
[[nodiscard]] QString singlePrivilegeWord(int objectType);

// An object as the catalogue names it: one name may stand for objects of
// several kinds, a table and a sequence.
struct ObjectRef
{
    int type = kind::Relation;
    QString name;
};

// A privilege as one GRANT statement gives it: the rows of one object, letter,
// option and grantor, whole or limited to a list of columns.
struct PrivilegeForm
{
    int objectType = kind::Relation;
    QString object;
    QChar letter;
    QStringList columns; // empty: the whole object
    int option = 0;
    QString grantor;
};

// The rows gathered into forms, ordered by object (its name as the server
// orders names, then its kind), letter (S U I D R X G M), whole before columns.
[[nodiscard]] QList<PrivilegeForm> formsOf(const QList<GrantRow> &rows);

// Who a statement names after TO or FROM, with the keyword its kind needs.
struct Grantee
{
    SqlName name;
    int type = kind::User;
};

// "UPDATE (NAME) on CUSTOMER", "membership of ROLE R1": for messages.
[[nodiscard]] QString describe(const PrivilegeForm &form);
// The cell's tooltip line: "UPDATE (NAME) — granted by BOSS, with grant option".
[[nodiscard]] QString describeHeld(const PrivilegeForm &form);

[[nodiscard]] QString grantSql(const PrivilegeForm &form, const Grantee &to,
                               const SqlName *grantedBy = nullptr);
// word: the privilege word, or "ALL"; on a kind with a single privilege the
// statement names that one, whatever the word.
[[nodiscard]] QString revokeSql(int objectType, const QString &object, const QString &word,
                                const Grantee &from, const SqlName *grantedBy = nullptr);
[[nodiscard]] QString revokeAllOnAllSql(const Grantee &from);
// One privilege word, or "ALL", in the form the object's kind needs: on a kind
// with a single privilege the word is that privilege's, whatever was asked.
[[nodiscard]] QString grantWordSql(const ObjectRef &object, const QString &word, const Grantee &to);

// One statement of a command, with the object it acts on for messages.
struct Change
{
    enum class Verb
    {
        Grant,
        Revoke
    };
    Verb verb = Verb::Grant;
    QString sql;
    QString object;
};

// A grant option a copy takes away: the server then revokes, along with it,
// what the grantee granted to others with it.
struct OptionTaken
{
    QString grantee;
    int objectType = kind::Relation;
    QString object;
    QChar letter;
};

// The statements a command sends, and what it leaves undone and why.
struct Plan
{
    QList<Change> changes;
    QStringList notDone;
    QList<OptionTaken> optionsTaken;
};

// Who runs the statements: the login, and whether it may write GRANTED BY
// (SYSDBA, the database owner, the RDB$ADMIN role).
struct Login
{
    QString name;
    bool mayNameGrantors = false;
};

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

// The source's rows on one relation as rows on another for the same grantee:
// a column-level privilege goes only where the other relation has every
// column; the letters left out are named in skipped.
[[nodiscard]] QList<GrantRow> rowsMovedTo(const QList<GrantRow> &rows, const QString &relation,
                                          const QStringList &relationColumns, QStringList &skipped,
                                          QList<QChar> &skippedLetters);

// Moves every privilege of the old name to the new one, object by object:
// grants to the new name, the grants the old name made re-granted by the new
// one, then the old name's revoked. With GRANTED BY each privilege keeps its
// grantor; without it only the login's own grants move and the rest stays
// with the old name. Fails, before any statement, when the old name made grants that
// would be lost.
[[nodiscard]] Plan planRename(const QList<GrantRow> &oldRows, const QList<GrantRow> &madeByOld,
                              const Grantee &oldName, const Grantee &newName, const Login &login);

// Privileges, one line each: "SELECT on ZETA granted by BOSS".
[[nodiscard]] QStringList describeRows(const QList<GrantRow> &rows);
// Privileges given to others, one line each: "SELECT on ZETA to CAROL".
[[nodiscard]] QStringList describeGiven(const QList<GrantRow> &rows);

} // namespace db
