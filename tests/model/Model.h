#pragma once

// A catalogue generated at random, and a model of RDB$USER_PRIVILEGES that
// says what each command must leave there, written from the README's words
// and the server's facts, not from the program's planner.

#include <QChar>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <random>

namespace model {

// Kinds as the catalogue numbers them; a DDL privilege's object (SQL$TABLES)
// gets one of its own, its number differing between Firebird 3 and 4.
namespace kind {
inline constexpr int Relation = 0;
inline constexpr int View = 1;
inline constexpr int Trigger = 2;
inline constexpr int Procedure = 5;
inline constexpr int Exception = 7;
inline constexpr int User = 8;
inline constexpr int Role = 13;
inline constexpr int Sequence = 14;
inline constexpr int Function = 15;
inline constexpr int Package = 18;
inline constexpr int DdlObject = 100;
} // namespace kind

// One catalogue row.
struct Row
{
    QString grantee;
    int granteeType = kind::User;
    QString object;
    int objectType = kind::Relation;
    QChar letter;
    QString column;
    int option = 0;
    QString grantor; // empty: the server's own

    [[nodiscard]] QString text() const;
    friend bool operator==(const Row &, const Row &) = default;
};

// A user, role or object as the lists name it; a DDL privilege by its
// statement's words, of kind DdlPrivilege.
struct Name
{
    QString name;
    int type = kind::User;
    friend bool operator==(const Name &, const Name &) = default;
};
inline constexpr int DdlPrivilege = 99;

// "CREATE TABLE" <-> SQL$TABLES and C: the README's names of the DDL
// privileges and where the catalogue keeps them.
struct DdlPlace
{
    QString object;
    QChar letter;
};
[[nodiscard]] DdlPlace ddlPlaceOf(const QString &privilege);
[[nodiscard]] QStringList ddlPrivileges();

// What the generator made: its objects, grantees and the script that makes
// them with their privileges.
struct Schema
{
    QStringList tables; // views among them, as the catalogue keeps them
    QHash<QString, QStringList> columns;
    QStringList views, procedures, functions, packages, sequences, exceptions, roles;
    QStringList users; // grantees of kind user, PUBLIC among them
    QStringList logins;
    QString objectsScript; // the objects alone
    QString grantsScript;  // their privileges
    [[nodiscard]] bool isGenerated(const Name &name) const;
};

// The logins of every schema, made once in the server's security database.
[[nodiscard]] QStringList loginNames();
[[nodiscard]] QString passwordOf(const QString &login);

[[nodiscard]] Schema generate(std::mt19937 &random, int serverVersion);

// The rows a list shows, and what a cell shows.
[[nodiscard]] QList<Name> userRows(const QList<Row> &rows);
[[nodiscard]] QList<Name> relationRows(const QList<Row> &rows);
// The five cells of a pair, "S.I.X" style, "." for an empty one.
[[nodiscard]] QString cellsOf(const QList<Row> &rows, const Name &grantee, const Name &object);
// The roles given, and every role granted to them, to roles granted to
// those and so on (Firebird 4).
[[nodiscard]] QStringList rolesReachedFrom(const QList<Row> &rows, QStringList roles);

// What a command must leave, and whether it takes from anyone it was not
// given: then it must have asked first.
struct Outcome
{
    QList<Row> rows;
    QList<Row> takenFromOthers;
};

// The model's commands, by the login SYSDBA, which names every grantor.
class Model
{
public:
    Model(QList<Row> rows, const Schema &schema, int serverVersion)
        : m_rows(std::move(rows)), m_schema(schema), m_server(serverVersion)
    {
    }
    [[nodiscard]] const QList<Row> &rows() const { return m_rows; }
    void set(QList<Row> rows) { m_rows = std::move(rows); }

    // Ctrl and a letter, column 1 to 5 (S U I D X).
    [[nodiscard]] Outcome toggle(const Name &grantee, const Name &object, int column) const;
    // Ctrl+Shift and a letter.
    [[nodiscard]] Outcome toggleOption(const Name &grantee, const Name &object, int column) const;
    [[nodiscard]] Outcome grantAll(const Name &grantee, const Name &object) const;
    [[nodiscard]] Outcome revokeAll(const Name &grantee, const Name &object) const;
    // Each target ends with exactly the source's privileges on the objects;
    // without revoking, it only gains what it lacks.
    [[nodiscard]] Outcome copy(const Name &source, const QList<Name> &targets,
                               const std::function<bool(const Row &)> &onObjects,
                               bool revoking) const;
    [[nodiscard]] Outcome copyToRelations(const Name &grantee, const Name &object,
                                          const QList<Name> &targets) const;
    [[nodiscard]] Outcome rename(const Name &grantee, const QString &newName) const;
    [[nodiscard]] Outcome removal(const Name &grantee) const;
    [[nodiscard]] Outcome addNew(const QString &user, const Name &object) const;
    // The object's rows, as the catalogue keeps them: a DDL privilege is a
    // letter on its SQL$ object.
    [[nodiscard]] static bool isOn(const Row &row, const Name &object);

private:
    [[nodiscard]] Outcome withCascade(QList<Row> after) const;
    [[nodiscard]] QString letters(const Name &object, int column) const;
    // A role goes to users, and on Firebird 4 to roles, alone: another grant
    // of it changes nothing.
    // What a grant of the object to the grantee leaves in the catalogue: no
    // row where the server grants roles to users only (Firebird 3), or where
    // the membership would close a circle of roles, the role itself
    // included (Firebird 4 refuses it with error 336068900).
    [[nodiscard]] bool grantsNothing(const QList<Row> &rows, const Name &grantee,
                                     const Name &object) const;

    QList<Row> m_rows;
    const Schema &m_schema;
    int m_server;
};

} // namespace model
