#include "Plans.h"

#include "DdlPrivileges.h"
#include "Descriptions.h"
#include "Exception.h"
#include "ServerGuards.h"

#include <QMap>
#include <algorithm>

namespace db {

namespace {

// Every object of the row lists, once, in the order statements go out.
QList<ObjectRef> objectsOf(std::initializer_list<const QList<GrantRow> *> lists)
{
    QList<ObjectRef> objects;
    for (const QList<GrantRow> *rows : lists) {
        for (const GrantRow &row : *rows) {
            const ObjectRef key{row.objectType, row.object};
            const auto at = std::lower_bound(objects.begin(), objects.end(), key, objectBelow);
            if (at == objects.end() || at->type != key.type || at->name != key.name)
                objects.insert(at, key);
        }
    }
    return objects;
}

QList<GrantRow> rowsOn(const QList<GrantRow> &rows, const ObjectRef &object)
{
    return rowsWhere(rows, [&object](const GrantRow &row) { return isOn(row, object); });
}

// Column (empty for the whole object) to the strongest option held on it,
// whoever granted it: what a grantee may do with one letter.
using Effective = QMap<QString, int>;

Effective effectiveOf(const QList<GrantRow> &rows, QChar letter)
{
    Effective effective;
    for (const GrantRow &row : rows) {
        if (row.privilege == letter)
            effective[row.column] = std::max(effective.value(row.column, 0), row.option);
    }
    return effective;
}

// Whether what is wanted of a letter still gives what the row gives: its
// column, or the whole object, with at least its option.
bool covers(const Effective &wanted, const GrantRow &row)
{
    const int option = std::max(wanted.value(row.column, -1), wanted.value(QString(), -1));
    return option >= row.option;
}

// Takes every option out of what is wanted; true where there was one.
bool withoutOptions(Effective &wanted)
{
    bool had = false;
    for (int &option : wanted) {
        had |= option > 0;
        option = 0;
    }
    return had;
}

// The statements that give the letter in the effective forms wanted.
void addGrants(Plan &plan, const ObjectRef &object, QChar letter, const Effective &wanted,
               const Grantee &to)
{
    QMap<int, QStringList> columnsByOption;
    for (auto it = wanted.begin(); it != wanted.end(); ++it) {
        if (it.key().isEmpty())
            plan.changes.append(
                grantChange({object.type, object.name, letter, {}, it.value(), {}}, to));
        else
            columnsByOption[it.value()].append(it.key());
    }
    for (auto it = columnsByOption.begin(); it != columnsByOption.end(); ++it)
        plan.changes.append(
            grantChange({object.type, object.name, letter, it.value(), it.key(), {}}, to));
}

// Revokes what one grantor gave the grantee on the object. REVOKE ALL fails
// outright when the grantee holds a letter on the relation from someone else
// only, so ALL is used only where this grantor gave every letter held.
void addRevokesBy(Plan &plan, const QList<GrantRow> &rowsOnObject, const QString &grantor,
                  const Grantee &from, const SqlName *grantedBy)
{
    const GrantRow &first = rowsOnObject.first();
    const QList<GrantRow> theirs =
        rowsWhere(rowsOnObject, [&grantor](const GrantRow &row) { return row.grantor == grantor; });
    const QList<QChar> letters = lettersOf(theirs);
    // A kind with a single privilege holds one letter: ALL names that one.
    // A DDL privilege has no ALL.
    if (letters == lettersOf(rowsOnObject) && !isDdl(first.objectType, first.object)) {
        plan.changes.append(revokeChange(first.objectType, first.object, QStringLiteral("ALL"),
                                         from, grantedBy, columnsTakenBy(theirs)));
        return;
    }
    for (QChar letter : letters)
        plan.changes.append(revokeChange(first.objectType, first.object, wordOf(letter), from,
                                         grantedBy, columnsTakenBy(ofLetter(theirs, letter))));
}

// Gives the rows' privileges to the grantee, each from its grantor where
// the login may name it; the others are left out, and the command names
// what they leave behind.
void addGrantsKeepingGrantors(Plan &plan, const QList<GrantRow> &rows, const Grantee &to,
                              const Login &login)
{
    for (const PrivilegeForm &form : formsOf(rows)) {
        const SqlName by = SqlName::stored(form.grantor);
        if (form.grantor == login.name)
            plan.changes.append(grantChange(form, to));
        else if (mayNameGrantor(login, form.grantor))
            plan.changes.append(grantChange(form, to, &by));
    }
}

} // namespace

QList<Change> membershipsGivenBack(const QList<GrantRow> &memberships, const ObjectRef &role,
                                   const QString &revokedGrantor, const Grantee &to,
                                   const Login &login)
{
    if (login.isFirebird3)
        return {};
    Plan plan;
    addGrantsKeepingGrantors(plan,
                             rowsWhere(memberships,
                                       [&](const GrantRow &row) {
                                           return row.grantee == to.name.storedText() &&
                                                  row.granteeType == to.type && isOn(row, role) &&
                                                  row.grantor != revokedGrantor;
                                       }),
                             to, login);
    return plan.changes;
}

Grantee namedGrantee(const SqlName &name, int type, const Login &login)
{
    const QString stored = name.storedText();
    const bool namesake = (type == kind::User && login.roles.contains(stored)) ||
                          (type == kind::Role && login.rolesNamedLikeUsers.contains(stored));
    return {name, type, namesake};
}

Grantee namedGrantee(const QString &storedName, int type, const Login &login)
{
    return namedGrantee(SqlName::stored(storedName), type, login);
}

bool mayNameGrantor(const Login &login, const QString &grantor)
{
    return !grantor.isEmpty() && (grantor == login.name || login.mayNameGrantors);
}

Plan planCopy(const QList<GrantRow> &source, const QList<CopyTarget> &targets, const Login &login,
              bool revokeExtras)
{
    Plan plan;
    QList<GrantRow> all = source;
    for (const CopyTarget &target : targets)
        all += target.rows;
    for (const ObjectRef &object : objectsOf({&all})) {
        if (!isStatementObject(object.type, object.name))
            continue;
        const QList<GrantRow> from = rowsOn(source, object);
        for (const CopyTarget &target : targets) {
            const QList<GrantRow> held = rowsOn(target.rows, object);
            // A role goes to users, and on Firebird 4 to roles, alone; on
            // Firebird 3 the plain name of a role grantee would reach a user.
            const bool member = target.grantee.type == kind::User ||
                                (target.grantee.type == kind::Role && !login.isFirebird3);
            if (object.type == kind::Role && !member) {
                if (!from.isEmpty())
                    plan.notDone.append(
                        QStringLiteral("membership of role %1 was not given to "
                                       "%2 %3: the server grants roles to users "
                                       "%4only")
                            .arg(object.name,
                                 target.grantee.type == kind::Role ? QStringLiteral("the role")
                                                                   : kindName(target.grantee.type),
                                 target.grantee.name.text(),
                                 login.isFirebird3 ? QString() : QStringLiteral("and roles ")));
                continue;
            }
            // The server refuses a role granted to itself; say so rather
            // than send what must fail. Firebird 4 takes a user of the
            // role's name for the role itself, and then refuses every
            // connection in the role.
            if (object.type == kind::Role && object.name == target.grantee.name.storedText() &&
                (target.grantee.type == kind::Role || !login.isFirebird3)) {
                if (!from.isEmpty())
                    plan.notDone.append(
                        target.grantee.type == kind::Role
                            ? QStringLiteral("the role %1 was not made a member of itself")
                                  .arg(target.grantee.name.text())
                            : QStringLiteral("the role %1 was not given to the user %1: Firebird "
                                             "4 would take it for the role granted to itself "
                                             "and refuse every connection in the role")
                                  .arg(target.grantee.name.text()));
                continue;
            }
            for (QChar letter : lettersOf(from + held)) {
                Effective wanted = effectiveOf(from, letter);
                // Only users and roles hold grant options: a procedure,
                // function, package, trigger or view gets the privilege alone.
                if (!isNamedWithoutKeyword(target.grantee.type) && withoutOptions(wanted))
                    plan.notDone.append(
                        QStringLiteral("%1 was given to %2 %3 without its grant option, which "
                                       "only users and roles hold")
                            .arg(describe({object.type, object.name, letter, {}, 0, {}}),
                                 kindName(target.grantee.type), target.grantee.name.text()));
                const Effective has = effectiveOf(held, letter);
                if (wanted == has)
                    continue;
                const bool revoke =
                    revokeExtras &&
                    std::any_of(has.keyValueBegin(), has.keyValueEnd(), [&](auto kv) {
                        return !wanted.contains(kv.first) || wanted.value(kv.first) < kv.second;
                    });
                if (!revoke) {
                    Effective missing;
                    for (auto it = wanted.begin(); it != wanted.end(); ++it) {
                        if (has.value(it.key(), -1) < it.value())
                            missing.insert(it.key(), it.value());
                    }
                    addGrants(plan, object, letter, missing, target.grantee);
                    continue;
                }
                const bool optionTaken =
                    std::any_of(has.keyValueBegin(), has.keyValueEnd(), [&](auto kv) {
                        return kv.second > 0 && wanted.value(kv.first, 0) < kv.second;
                    });
                if (optionTaken)
                    plan.optionsTaken.append(
                        {target.grantee.name.storedText(), object.type, object.name, letter, true});
                const QList<GrantRow> heldOfLetter = ofLetter(held, letter);
                for (const GrantRow &row : heldOfLetter) {
                    const bool mayRevoke = mayNameGrantor(login, row.grantor);
                    if (mayRevoke && !covers(wanted, row))
                        plan.taken.append(row);
                }
                for (const QString &grantor : grantorsOf(heldOfLetter)) {
                    const SqlName by = SqlName::stored(grantor);
                    if (!mayNameGrantor(login, grantor)) {
                        for (const PrivilegeForm &form : formsOf(heldOfLetter)) {
                            if (form.grantor == grantor)
                                plan.notDone.append(
                                    describeStillHeld(form, target.grantee.name.text()));
                        }
                        continue;
                    }
                    plan.changes.append(revokeChange(
                        object.type, object.name, wordOf(letter), target.grantee,
                        grantor == login.name ? nullptr : &by,
                        columnsTakenBy(rowsWhere(heldOfLetter, [&grantor](const GrantRow &row) {
                            return row.grantor == grantor;
                        }))));
                }
                addGrants(plan, object, letter, wanted, target.grantee);
            }
        }
    }
    return plan;
}

Plan planRevoke(const QList<GrantRow> &held, const QString &letters, const Grantee &from,
                const Login &login)
{
    Plan plan;
    const QList<GrantRow> taken =
        letters.isEmpty() ? held : rowsWhere(held, [&letters](const GrantRow &row) {
            return letters.contains(row.privilege);
        });
    for (const QString &grantor : grantorsOf(taken)) {
        const QList<GrantRow> theirs =
            rowsWhere(taken, [&grantor](const GrantRow &row) { return row.grantor == grantor; });
        if (!mayNameGrantor(login, grantor)) {
            for (const PrivilegeForm &form : formsOf(theirs))
                plan.notDone.append(describeStillHeld(form, from.name.text()));
            continue;
        }
        const SqlName by = SqlName::stored(grantor);
        const SqlName *grantedBy = grantor == login.name ? nullptr : &by;
        if (letters.isEmpty()) {
            addRevokesBy(plan, held, grantor, from, grantedBy);
        } else {
            for (QChar letter : lettersOf(theirs))
                plan.changes.append(revokeChange(theirs.first().objectType, theirs.first().object,
                                                 wordOf(letter), from, grantedBy,
                                                 columnsTakenBy(ofLetter(theirs, letter))));
        }
        plan.taken += theirs;
        for (const GrantRow &row : theirs) {
            if (row.option > 0)
                plan.optionsTaken.append(
                    {from.name.storedText(), row.objectType, row.object, row.privilege, true});
        }
    }
    return plan;
}

Plan planGrantOption(const QList<GrantRow> &held, const ObjectRef &object, const QString &letters,
                     bool give, const Grantee &grantee, const Login &login)
{
    Plan plan;
    const QList<GrantRow> rows =
        letters.isEmpty() ? held : rowsWhere(held, [&letters](const GrantRow &row) {
            return letters.contains(row.privilege);
        });
    const int option = object.type == kind::Role ? 2 : 1;
    if (give) {
        for (PrivilegeForm form : formsOf(rows)) {
            if (form.option > 0)
                continue;
            form.option = option;
            // Where the grantor cannot be named, the login gives the option
            // itself, in a row of its own.
            const SqlName by = SqlName::stored(form.grantor);
            const bool named = form.grantor != login.name && mayNameGrantor(login, form.grantor);
            plan.changes.append(grantChange(form, grantee, named ? &by : nullptr));
        }
        return plan;
    }
    const QList<GrantRow> withOption =
        rowsWhere(rows, [](const GrantRow &row) { return row.option > 0; });
    for (const QString &grantor : grantorsOf(withOption)) {
        const QList<GrantRow> theirs = rowsWhere(
            withOption, [&grantor](const GrantRow &row) { return row.grantor == grantor; });
        if (!mayNameGrantor(login, grantor)) {
            for (const PrivilegeForm &form : formsOf(theirs))
                plan.notDone.append(
                    QStringLiteral("the option of %1 granted by %2 is still held by %3")
                        .arg(describe(form), grantorText(grantor), grantee.name.text()));
            continue;
        }
        const SqlName by = SqlName::stored(grantor);
        const SqlName *grantedBy = grantor == login.name ? nullptr : &by;
        const QString what = object.type == kind::Role ? QStringLiteral("ADMIN OPTION FOR ")
                                                       : QStringLiteral("GRANT OPTION FOR ");
        for (QChar letter : lettersOf(theirs)) {
            const QList<GrantRow> ofIt = ofLetter(theirs, letter);
            Change change = revokeChange(object.type, object.name, wordOf(letter), grantee,
                                         grantedBy, columnsTakenBy(ofIt));
            change.sql.insert(QStringLiteral("REVOKE ").size(), what);
            plan.changes.append(change);
            plan.optionsTaken.append({grantee.name.storedText(), object.type, object.name, letter});
        }
    }
    return plan;
}

QList<GrantRow> rowsMovedTo(const QList<GrantRow> &rows, const QString &relation,
                            const QStringList &relationColumns, QStringList &skipped,
                            QList<QChar> &skippedLetters)
{
    for (const GrantRow &row : rows) {
        if (row.column.isEmpty() || relationColumns.contains(row.column) ||
            skippedLetters.contains(row.privilege))
            continue;
        skippedLetters.append(row.privilege);
    }
    QList<GrantRow> moved;
    for (const GrantRow &row : rows) {
        if (skippedLetters.contains(row.privilege))
            continue;
        GrantRow copy = row;
        copy.object = relation;
        // A DDL privilege moved to another is that other's letter.
        if (row.objectType == kind::DdlPrivilege)
            copy.privilege = ddlLetterOf(relation);
        moved.append(copy);
    }
    for (const PrivilegeForm &form : formsOf(rows)) {
        if (!skippedLetters.contains(form.letter) || form.columns.isEmpty())
            continue;
        QStringList missing;
        for (const QString &column : form.columns) {
            if (!relationColumns.contains(column))
                missing.append(column);
        }
        if (!missing.isEmpty())
            skipped.append(QStringLiteral("%1 was not copied to %2, which has no column %3")
                               .arg(describe(form), relation, missing.join(QStringLiteral(", "))));
    }
    return moved;
}

Plan planRename(const QList<GrantRow> &oldRows, const QList<GrantRow> &madeByOld,
                const Grantee &oldName, const Grantee &newName, const Login &login,
                const QList<GrantRow> &othersMemberships)
{
    if (!login.mayNameGrantors && !madeByOld.isEmpty())
        throw kelvane::Exception(
            QStringLiteral("%1 granted privileges to others, which the server would revoke "
                           "with %1's own: %2. Only SYSDBA or the database owner can rename %1 "
                           "and keep them; nothing was renamed")
                .arg(oldName.name.text(), describeGiven(madeByOld).join(QStringLiteral("; "))));
    Plan plan;
    for (const ObjectRef &object : objectsOf({&oldRows, &madeByOld})) {
        const QList<GrantRow> held = rowsOn(oldRows, object);
        if (!isStatementObject(object.type, object.name)) {
            for (const PrivilegeForm &form : formsOf(held))
                plan.notDone.append(
                    QStringLiteral("%1 cannot be given by a statement").arg(describe(form)));
            continue;
        }
        addGrantsKeepingGrantors(plan, held, newName, login);
        // The grants the old name made stay, now given by the new name;
        // revoking the old name's privileges below takes the old ones along.
        const QList<GrantRow> given = rowsOn(madeByOld, object);
        QList<QPair<QString, int>> receivers;
        for (const GrantRow &row : given) {
            if (!receivers.contains(qMakePair(row.grantee, row.granteeType)))
                receivers.append(qMakePair(row.grantee, row.granteeType));
        }
        for (const auto &[receiver, type] : receivers) {
            const QList<GrantRow> theirs = rowsWhere(given, [&](const GrantRow &row) {
                return row.grantee == receiver && row.granteeType == type;
            });
            const Grantee to = namedGrantee(receiver, type, login);
            QList<Change> grants;
            for (const PrivilegeForm &form : formsOf(theirs))
                grants.append(grantChange(form, to, &newName.name));
            // The old grants go by name: the server takes them along with
            // the old name's privilege only where it held that in one row.
            // Letter by letter, since REVOKE ALL fails where another grantor
            // gave one of the receiver's letters.
            const SqlName old = SqlName::stored(oldName.name.storedText());
            QList<Change> revokes;
            for (QChar letter : lettersOf(theirs))
                revokes.append(revokeChange(object.type, object.name, wordOf(letter), to, &old,
                                            columnsTakenBy(ofLetter(theirs, letter))));
            // Firebird 4 revokes a membership from every grantor at once,
            // GRANTED BY or not, so the new name's grant of a role must
            // come after the old one's revoke.
            if (object.type == kind::Role)
                plan.changes.append(revokes + grants +
                                    membershipsGivenBack(othersMemberships, object,
                                                         oldName.name.storedText(), to, login));
            else
                plan.changes.append(grants + revokes);
        }
        if (held.isEmpty())
            continue;
        for (const QString &grantor : grantorsOf(held)) {
            const SqlName by = SqlName::stored(grantor);
            if (grantor == login.name)
                addRevokesBy(plan, held, grantor, oldName, nullptr);
            else if (mayNameGrantor(login, grantor))
                addRevokesBy(plan, held, grantor, oldName, &by);
        }
    }
    return plan;
}

} // namespace db
