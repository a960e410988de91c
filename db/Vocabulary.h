#pragma once

// The words of a privilege: the kinds of object and grantee the catalogue
// records, the letters it stores and the words statements say for them, and
// a catalogue row and the forms one GRANT gives. The rest of the planner
// (Statements, Plans, ServerGuards, Descriptions) speaks in these terms.

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
[[nodiscard]] size_t qHash(const GrantRow &row, size_t seed = 0);

[[nodiscard]] QList<GrantRow> rowsWhere(const QList<GrantRow> &rows,
                                        const std::function<bool(const GrantRow &)> &wanted);
// The rows of one letter.
[[nodiscard]] QList<GrantRow> ofLetter(const QList<GrantRow> &rows, QChar letter);
// The letters of the rows, once each, in the order statements take them.
[[nodiscard]] QList<QChar> lettersOf(const QList<GrantRow> &rows);
// The grantors of the rows, once each, in the order met.
[[nodiscard]] QStringList grantorsOf(const QList<GrantRow> &rows);

// "SELECT", "EXECUTE", "USAGE", "MEMBERSHIP", "CREATE" (for C): the word of
// a catalogue letter; the letter itself for one unknown.
[[nodiscard]] QString wordOf(QChar letter);
// Where a letter goes among the others of an object: S U I D R X G M C L O.
[[nodiscard]] qsizetype letterRank(QChar letter);
// The letter of a kind's single privilege: G usage, M membership, else X.
[[nodiscard]] QChar singleLetterOf(int objectType);
// The one word that grants or revokes the kind's single privilege; a role
// has none, its name is the privilege.
[[nodiscard]] QString singleWordOf(int objectType);
// The letter a privilege word stands for: S for "SELECT"; null for none.
[[nodiscard]] QChar letterOfWord(const QString &word);

// "procedure", "view", "sequence": the kind named in messages; empty for a
// relation, a user or a role, which go by their name alone.
[[nodiscard]] QString kindName(int type);
// "PROCEDURE ", "VIEW ": the keyword that names the kind in a statement,
// with its blank; empty for a relation, a user or a role.
[[nodiscard]] QString kindKeyword(int type);

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
// Objects in the order statements go out: by name as the server orders
// names, then by kind.
[[nodiscard]] bool objectBelow(const ObjectRef &a, const ObjectRef &b);
[[nodiscard]] bool isOn(const GrantRow &row, const ObjectRef &object);

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
// One row's own form.
[[nodiscard]] PrivilegeForm formOf(const GrantRow &row);

} // namespace db
