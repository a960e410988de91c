#pragma once

// One letter given or taken on every object a list shows, or to and from
// every grantee it shows: which pairs the letter applies to, and the
// statements for those where it changes anything. Rows in, statements out.

#include "Plans.h"

namespace db {

enum class LetterAction
{
    Grant,
    GrantWithOption,
    Revoke,
    RevokeOption
};

// One grantee on one object, with every row the grantee holds on it now.
struct LetterTarget
{
    Grantee grantee;
    ObjectRef object;
    QList<GrantRow> held;
};

// Whether the letter, as the catalogue stores it, means anything for the
// pair: a table has no EXECUTE, a procedure no SELECT, a sequence only its
// usage; only users, roles and PUBLIC hold options; a role goes to users,
// and on Firebird 4 to roles.
[[nodiscard]] bool letterApplies(const LetterTarget &target, QChar letter, LetterAction action,
                                 const Login &login);

// The statements that leave each pair holding the letter (whole, with the
// option where asked) or not holding it (or its option), sending nothing
// where that already stands. changed: the indexes of the targets that get
// statements; notDone names what the login may not take. Pairs the letter
// does not apply to are left alone.
[[nodiscard]] Plan planLetterOnEach(const QList<LetterTarget> &targets, QChar letter,
                                    LetterAction action, const Login &login, QList<int> &changed);

} // namespace db
