#pragma once

// The text of GRANT and REVOKE statements: who they name after TO or FROM,
// what they give or take, and each statement as a change a command sends.

#include "Names.h"
#include "Vocabulary.h"

namespace db {

// Who a statement names after TO or FROM, with the keyword its kind needs.
struct Grantee
{
    SqlName name;
    int type = kind::User;
    // A user and a role share the name: "TO name" would reach the role, so
    // the statement says "USER name" or "ROLE name".
    bool namesake = false;
};

[[nodiscard]] QString grantSql(const PrivilegeForm &form, const Grantee &to,
                               const SqlName *grantedBy = nullptr);
// word: the privilege word, or "ALL"; on a kind with a single privilege the
// statement names that one, whatever the word.
[[nodiscard]] QString revokeSql(int objectType, const QString &object, const QString &word,
                                const Grantee &from, const SqlName *grantedBy = nullptr,
                                const QStringList &columns = {});
[[nodiscard]] QString revokeAllOnAllSql(const Grantee &from);
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

[[nodiscard]] Change grantChange(const PrivilegeForm &form, const Grantee &to,
                                 const SqlName *grantedBy = nullptr);
// A grant of one privilege word, or ALL, on the whole object.
[[nodiscard]] Change grantWordChange(const ObjectRef &object, const QString &word,
                                     const Grantee &to);
// word: a privilege word or "ALL", as revokeSql takes it.
[[nodiscard]] Change revokeChange(int objectType, const QString &object, const QString &word,
                                  const Grantee &from, const SqlName *grantedBy = nullptr,
                                  const QStringList &columnsTaken = {});
// Its change, on no object of one kind: every object the grantee holds
// anything on.
[[nodiscard]] Change revokeAllOnAllChange(const Grantee &from);

} // namespace db
