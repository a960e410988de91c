#include "LetterOnEach.h"

#include "DdlPrivileges.h"

namespace db {

namespace {

bool givesOption(LetterAction action)
{
    return action == LetterAction::GrantWithOption || action == LetterAction::RevokeOption;
}

void append(Plan &plan, const Plan &step)
{
    plan.changes += step.changes;
    plan.notDone += step.notDone;
    plan.optionsTaken += step.optionsTaken;
    plan.taken += step.taken;
}

// The statements for one pair; none where it already stands as asked.
Plan planPair(const LetterTarget &target, QChar letter, LetterAction action, const Login &login)
{
    const QList<GrantRow> ofIt = ofLetter(target.held, letter);
    const QList<GrantRow> whole =
        rowsWhere(ofIt, [](const GrantRow &row) { return row.column.isEmpty(); });
    const bool wholeWithOption =
        std::any_of(whole.begin(), whole.end(), [](const GrantRow &row) { return row.option > 0; });
    const bool anyOption =
        std::any_of(ofIt.begin(), ofIt.end(), [](const GrantRow &row) { return row.option > 0; });
    // A kind with one privilege takes it with any letter.
    const QString letters = hasSinglePrivilege(target.object.type) ? QString() : QString(letter);
    Plan plan;
    switch (action) {
    case LetterAction::Grant:
        if (whole.isEmpty())
            plan.changes.append(grantChange(
                {target.object.type, target.object.name, letter, {}, 0, {}}, target.grantee));
        break;
    case LetterAction::GrantWithOption:
        if (wholeWithOption)
            break;
        // A whole privilege held without the option gets it, from the same
        // grantor; one held on some columns alone is granted whole.
        if (!whole.isEmpty())
            return planGrantOption(whole, target.object, letters, true, target.grantee, login);
        plan.changes.append(grantChange({target.object.type,
                                         target.object.name,
                                         letter,
                                         {},
                                         target.object.type == kind::Role ? 2 : 1,
                                         {}},
                                        target.grantee));
        break;
    case LetterAction::Revoke:
        if (!ofIt.isEmpty())
            return planRevoke(target.held, letters, target.grantee, login);
        break;
    case LetterAction::RevokeOption:
        if (anyOption)
            return planGrantOption(target.held, target.object, letters, false, target.grantee,
                                   login);
        break;
    }
    return plan;
}

} // namespace

bool letterApplies(const LetterTarget &target, QChar letter, LetterAction action,
                   const Login &login)
{
    const ObjectRef &object = target.object;
    const int granteeType = target.grantee.type;
    if (!isStatementKind(object.type) || isDdl(object.type, object.name) ||
        !isGranteeKind(granteeType))
        return false;
    // EXECUTE is a procedure's, a function's or a package's, never a
    // sequence's usage or a role's membership, whose letters are their own.
    if (hasSinglePrivilege(object.type) ? letter != singleLetterOf(object.type)
                                        : !QStringLiteral("SUIDR").contains(letter))
        return false;
    if (givesOption(action) && granteeType != kind::User && granteeType != kind::Role)
        return false;
    if (object.type == kind::Role)
        return granteeType == kind::User || (granteeType == kind::Role && !login.isFirebird3);
    return true;
}

Plan planLetterOnEach(const QList<LetterTarget> &targets, QChar letter, LetterAction action,
                      const Login &login, QList<int> &changed)
{
    Plan plan;
    changed.clear();
    for (qsizetype i = 0; i < targets.size(); ++i) {
        const LetterTarget &target = targets.at(i);
        if (!letterApplies(target, letter, action, login))
            continue;
        const Plan step = planPair(target, letter, action, login);
        append(plan, step);
        // A pair whose rows the login may not take is named among what
        // was left undone, not among what changes.
        if (!step.changes.isEmpty())
            changed.append(int(i));
    }
    return plan;
}

} // namespace db
