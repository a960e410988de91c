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
// Not a catalogue kind: a DDL privilege as a row of the relations' list,
// named as its statement names it ("CREATE TABLE", "DROP DATABASE"). The
// catalogue keeps it as a letter (C, L, O) on an object named for the kind
// (SQL$TABLES), whose type number differs between Firebird 3 and 4.
inline constexpr int DdlPrivilege = 99;
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
// ...or this object: those kinds, and the objects DDL privileges are kept
// on (SQL$TABLES for CREATE TABLE, ALTER ANY TABLE, DROP ANY TABLE).
[[nodiscard]] bool isStatementObject(int objectType, const QString &object);
// A catalogue row as the lists show it: a DDL privilege's row becomes a row
// on the privilege itself, of kind DdlPrivilege, its letter kept; any other
// row stays as it is.
[[nodiscard]] GrantRow asListRow(GrantRow row);
// The catalogue letter of a DDL privilege by its list name: C, L or O; a
// null character for any other name.
[[nodiscard]] QChar ddlLetterOf(const QString &listName);
// The catalogue object a DDL privilege's list name is kept on: SQL$TABLES.
[[nodiscard]] QString ddlObjectOf(const QString &listName);
// The same in SQL, over RDB$USER_PRIVILEGES' columns: the name and kind
// each row has in the lists. The name keeps the catalogue column's type, so
// that lists ordered by it keep the order of names.
[[nodiscard]] QString listNameSql();
[[nodiscard]] QString listKindSql();
// The list name of a row known to be a DDL privilege's: cheaper, where the
// statement has picked those rows already.
[[nodiscard]] QString ddlNameSql();
// Whether a row of the catalogue is a DDL privilege's, in SQL.
[[nodiscard]] QString isDdlRowSql();

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
                                const Grantee &from, const SqlName *grantedBy = nullptr,
                                const QStringList &columns = {});
[[nodiscard]] QString revokeAllOnAllSql(const Grantee &from);
// Its change, on no object of one kind: every object the grantee holds
// anything on.
struct Change;
[[nodiscard]] Change revokeAllOnAllChange(const Grantee &from);
// One privilege word, or "ALL", in the form the object's kind needs: on a kind
// with a single privilege the word is that privilege's, whatever was asked.
[[nodiscard]] QString grantWordSql(const ObjectRef &object, const QString &word, const Grantee &to);

// One statement of a command, with the object it acts on for messages and
// what it gives or takes, for the checks before a command and the mends after
// it.
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
    int objectType = kind::Relation;
    QString letters; // the letters given or taken; every one of them for ALL
    QString grantee;
    int granteeType = kind::User;
    QStringList columns; // a grant's column list
    // What a revoke takes of column-level UPDATE and REFERENCES rows: their
    // columns, and an empty name where a grant option may take along rows
    // given with it, on any column.
    QStringList columnsTaken;
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
};

[[nodiscard]] Change grantChange(const PrivilegeForm &form, const Grantee &to,
                                 const SqlName *grantedBy = nullptr);
// A grant of one privilege word, or ALL, on the whole object.
[[nodiscard]] Change grantWordChange(const ObjectRef &object, const QString &word,
                                     const Grantee &to);
// word: a privilege word or "ALL", as revokeSql takes it.
[[nodiscard]] Change revokeChange(int objectType, const QString &object, const QString &word,
                                  const Grantee &from, const SqlName *grantedBy = nullptr,
                                  const QStringList &columnsTaken = {});

// Whether the changes give a package a privilege on a relation, or anyone a
// column-level one: then the catalogue's rows of those kinds on relations
// must be read for checkServerCanStore.
[[nodiscard]] bool needsStoreCheck(const QList<Change> &changes);
// Fails, before any statement, where the grants would leave a relation with
// a package's privileges beside a column-level privilege (but a package's
// own on one column alone): the server cannot build that relation's access
// list, stops at the commit ("bad ACL") and admits nobody to the database
// until every attachment has closed. rows: every package's row and every
// column-level row on relations, as the catalogue has them.
void checkServerCanStore(const QList<Change> &changes, const QList<GrantRow> &rows);

// A column of a relation whose column-level UPDATE rows a revoke took: on
// Firebird 3 every other holder of a column-level UPDATE on it then loses
// it in effect, while the catalogue still shows it. An empty column stands
// for every column of the relation.
struct ColumnRisk
{
    QString relation;
    QString column;

    friend bool operator==(const ColumnRisk &, const ColumnRisk &) = default;
};
// What the statements put at risk...
[[nodiscard]] QList<ColumnRisk> columnRisks(const QList<Change> &ran);
// ...and what removing every privilege of a grantee with these rows does.
[[nodiscard]] QList<ColumnRisk> columnRisks(const QList<GrantRow> &revoked);
// Gives the column-level UPDATE holders of the columns at risk their rights
// back in effect: on each such column where someone holds UPDATE, every
// column-level UPDATE and REFERENCES row is revoked, all of them before any
// is granted again (each revoke drops the others' again), grantor and option
// kept, a grant option's holder before those it gave to. A column where the
// login may not name every grantor is left alone, and its UPDATE holders are
// named in notDone. rows: every column-level row on relations, as the
// catalogue now has them.
[[nodiscard]] Plan planColumnMends(const QList<GrantRow> &rows, const QList<ColumnRisk> &risks,
                                   const Login &login);

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
// What a copy takes from its targets, other grantors' rows first, one line
// each: "CAROL: UPDATE (NAME) on CUSTOMER granted by BOSS".
[[nodiscard]] QStringList describeTaken(const QList<GrantRow> &rows, const QString &login);
// Privileges given to others, one line each: "SELECT on ZETA to CAROL".
[[nodiscard]] QStringList describeGiven(const QList<GrantRow> &rows);

} // namespace db
