#include "Grants.h"

#include "Exception.h"

#include <QMap>
#include <algorithm>

namespace db {

namespace {

// The order letters take within an object, and the word each stands for.
constexpr QLatin1StringView LetterOrder("SUIDRXGM");

QString wordOf(QChar letter)
{
    switch (letter.unicode()) {
    case u'S':
        return QStringLiteral("SELECT");
    case u'U':
        return QStringLiteral("UPDATE");
    case u'I':
        return QStringLiteral("INSERT");
    case u'D':
        return QStringLiteral("DELETE");
    case u'R':
        return QStringLiteral("REFERENCES");
    case u'X':
        return QStringLiteral("EXECUTE");
    case u'G':
        return QStringLiteral("USAGE");
    case u'M':
        return QStringLiteral("MEMBERSHIP");
    default:
        return QString(letter);
    }
}

qsizetype letterRank(QChar letter)
{
    const qsizetype rank = LetterOrder.indexOf(letter);
    return rank < 0 ? LetterOrder.size() : rank;
}

// How statements and messages name an object or grantee of a kind other
// than a relation, a user or a role: "EXECUTE ON PROCEDURE P", "TO VIEW V",
// "EXECUTE on procedure P". Views are objects of kind Relation; as grantees
// they have a kind of their own.
struct KindWords
{
    int type;
    QLatin1StringView keyword;
    QLatin1StringView name;
};

constexpr KindWords Kinds[] = {
    {kind::View, QLatin1StringView("VIEW "), QLatin1StringView("view")},
    {kind::Trigger, QLatin1StringView("TRIGGER "), QLatin1StringView("trigger")},
    {kind::Procedure, QLatin1StringView("PROCEDURE "), QLatin1StringView("procedure")},
    {kind::Function, QLatin1StringView("FUNCTION "), QLatin1StringView("function")},
    {kind::Package, QLatin1StringView("PACKAGE "), QLatin1StringView("package")},
    {kind::Sequence, QLatin1StringView("SEQUENCE "), QLatin1StringView("sequence")},
    {kind::Exception, QLatin1StringView("EXCEPTION "), QLatin1StringView("exception")},
};

const KindWords *kindWords(int type)
{
    for (const KindWords &words : Kinds) {
        if (words.type == type)
            return &words;
    }
    return nullptr;
}

QString keywordOf(int type)
{
    const KindWords *words = kindWords(type);
    return words ? QString(words->keyword) : QString();
}

// "TO name" reaches a user or, where one of that name exists, a role; every
// other kind of grantee needs its keyword.
QString granteeSql(const Grantee &grantee)
{
    return keywordOf(grantee.type) + grantee.name.sql();
}

QString columnList(const QStringList &columns)
{
    QStringList names;
    for (const QString &column : columns)
        names.append(SqlName::stored(column).sql());
    return QStringLiteral(" (") + names.join(QStringLiteral(", ")) + QLatin1Char(')');
}

// The one word that grants or revokes the kind's single privilege.
QString singleWordOf(int objectType)
{
    switch (objectType) {
    case kind::Sequence:
    case kind::Exception:
        return QStringLiteral("USAGE");
    case kind::Role:
        return {};
    default:
        return QStringLiteral("EXECUTE");
    }
}

// What follows GRANT or REVOKE up to TO or FROM. Only a relation has a choice
// of words; every other kind takes its one privilege's.
QString privilegeClause(int objectType, const QString &object, const QString &word,
                        const QStringList &columns = {})
{
    const QString name = SqlName::stored(object).sql();
    if (objectType == kind::Role)
        return name;
    if (objectType == kind::Relation)
        return word + (columns.isEmpty() ? QString() : columnList(columns)) +
               QStringLiteral(" ON ") + name;
    return singleWordOf(objectType) + QStringLiteral(" ON ") + keywordOf(objectType) + name;
}

QString grantedByClause(const SqlName *grantedBy)
{
    return grantedBy ? QStringLiteral(" GRANTED BY ") + grantedBy->sql() : QString();
}

struct ObjectKey
{
    int type;
    QString name;
};

bool objectBelow(const ObjectKey &a, const ObjectKey &b)
{
    if (a.name != b.name)
        return isNameBelow(a.name, b.name);
    return a.type < b.type;
}

bool sameObject(const GrantRow &row, const ObjectKey &key)
{
    return row.objectType == key.type && row.object == key.name;
}

// Every object of the row lists, once, in the order statements go out.
QList<ObjectKey> objectsOf(std::initializer_list<const QList<GrantRow> *> lists)
{
    QList<ObjectKey> objects;
    for (const QList<GrantRow> *rows : lists) {
        for (const GrantRow &row : *rows) {
            const ObjectKey key{row.objectType, row.object};
            const auto at = std::lower_bound(objects.begin(), objects.end(), key, objectBelow);
            if (at == objects.end() || at->type != key.type || at->name != key.name)
                objects.insert(at, key);
        }
    }
    return objects;
}

QList<GrantRow> rowsOn(const QList<GrantRow> &rows, const ObjectKey &object)
{
    return rowsWhere(rows, [&object](const GrantRow &row) { return sameObject(row, object); });
}

QList<QChar> lettersOf(const QList<GrantRow> &rows)
{
    QList<QChar> letters;
    for (const GrantRow &row : rows) {
        if (!letters.contains(row.privilege))
            letters.append(row.privilege);
    }
    std::sort(letters.begin(), letters.end(),
              [](QChar a, QChar b) { return letterRank(a) < letterRank(b); });
    return letters;
}

QStringList grantorsOf(const QList<GrantRow> &rows)
{
    QStringList grantors;
    for (const GrantRow &row : rows) {
        if (!grantors.contains(row.grantor))
            grantors.append(row.grantor);
    }
    return grantors;
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

Change grantChange(const PrivilegeForm &form, const Grantee &to, const SqlName *grantedBy = nullptr)
{
    return {Change::Verb::Grant, grantSql(form, to, grantedBy), form.object};
}

// The statements that give the letter in the effective forms wanted.
void addGrants(Plan &plan, const ObjectKey &object, QChar letter, const Effective &wanted,
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
    const QList<QChar> letters = lettersOf(rowsWhere(
        rowsOnObject, [&grantor](const GrantRow &row) { return row.grantor == grantor; }));
    // A kind with a single privilege holds one letter: ALL names that one.
    if (letters == lettersOf(rowsOnObject)) {
        plan.changes.append(
            {Change::Verb::Revoke,
             revokeSql(first.objectType, first.object, QStringLiteral("ALL"), from, grantedBy),
             first.object});
        return;
    }
    for (QChar letter : letters)
        plan.changes.append(
            {Change::Verb::Revoke,
             revokeSql(first.objectType, first.object, wordOf(letter), from, grantedBy),
             first.object});
}

QString stillHeld(const PrivilegeForm &form, const QString &grantee)
{
    return QStringLiteral("%1 granted by %2 is still held by %3")
        .arg(describe(form), form.grantor, grantee);
}

} // namespace

QList<GrantRow> rowsWhere(const QList<GrantRow> &rows,
                          const std::function<bool(const GrantRow &)> &wanted)
{
    QList<GrantRow> kept;
    std::copy_if(rows.begin(), rows.end(), std::back_inserter(kept), wanted);
    return kept;
}

QString kindName(int type)
{
    const KindWords *words = kindWords(type);
    return words ? QString(words->name) : QString();
}

bool isStatementKind(int objectType)
{
    switch (objectType) {
    case kind::Relation:
    case kind::Procedure:
    case kind::Exception:
    case kind::Role:
    case kind::Sequence:
    case kind::Function:
    case kind::Package:
        return true;
    default:
        return false;
    }
}

bool isGranteeKind(int granteeType)
{
    if (isNamedWithoutKeyword(granteeType))
        return true;
    switch (granteeType) {
    case kind::View:
    case kind::Trigger:
    case kind::Procedure:
    case kind::Function:
    case kind::Package:
        return true;
    default:
        return false;
    }
}

bool isNamedWithoutKeyword(int granteeType)
{
    return granteeType == kind::User || granteeType == kind::Role;
}

bool hasSinglePrivilege(int objectType)
{
    return objectType != kind::Relation && isStatementKind(objectType);
}

QString singlePrivilegeWord(int objectType)
{
    return objectType == kind::Role ? QStringLiteral("MEMBERSHIP") : singleWordOf(objectType);
}

QList<PrivilegeForm> formsOf(const QList<GrantRow> &rows)
{
    QList<PrivilegeForm> forms;
    for (const GrantRow &row : rows) {
        const bool whole = row.column.isEmpty();
        const auto same = std::find_if(forms.begin(), forms.end(), [&](const PrivilegeForm &f) {
            return f.objectType == row.objectType && f.object == row.object &&
                   f.letter == row.privilege && f.option == row.option &&
                   f.grantor == row.grantor && f.columns.isEmpty() == whole;
        });
        if (same == forms.end())
            forms.append({row.objectType, row.object, row.privilege,
                          whole ? QStringList() : QStringList{row.column}, row.option,
                          row.grantor});
        else if (!whole && !same->columns.contains(row.column))
            same->columns.append(row.column);
    }
    std::stable_sort(forms.begin(), forms.end(),
                     [](const PrivilegeForm &a, const PrivilegeForm &b) {
                         const ObjectKey ka{a.objectType, a.object};
                         const ObjectKey kb{b.objectType, b.object};
                         if (objectBelow(ka, kb) || objectBelow(kb, ka))
                             return objectBelow(ka, kb);
                         if (a.letter != b.letter)
                             return letterRank(a.letter) < letterRank(b.letter);
                         return a.columns.isEmpty() && !b.columns.isEmpty();
                     });
    return forms;
}

QString describe(const PrivilegeForm &form)
{
    if (form.objectType == kind::Role)
        return QStringLiteral("membership of role ") + form.object;
    const QString columns =
        form.columns.isEmpty()
            ? QString()
            : QStringLiteral(" (%1)").arg(form.columns.join(QStringLiteral(", ")));
    const QString kind = kindName(form.objectType);
    return wordOf(form.letter) + columns + QStringLiteral(" on ") +
           (kind.isEmpty() ? QString() : kind + QLatin1Char(' ')) + form.object;
}

QString describeHeld(const PrivilegeForm &form)
{
    QString text = wordOf(form.letter);
    if (!form.columns.isEmpty())
        text += QStringLiteral(" (%1)").arg(form.columns.join(QStringLiteral(", ")));
    text += QStringLiteral(" \u2014 granted by ") + form.grantor;
    if (form.option == 1)
        text += QStringLiteral(", with grant option");
    else if (form.option == 2)
        text += QStringLiteral(", with admin option");
    return text;
}

QString grantSql(const PrivilegeForm &form, const Grantee &to, const SqlName *grantedBy)
{
    QString option;
    if (form.option > 0)
        option = form.objectType == kind::Role ? QStringLiteral(" WITH ADMIN OPTION")
                                               : QStringLiteral(" WITH GRANT OPTION");
    return QStringLiteral("GRANT ") +
           privilegeClause(form.objectType, form.object, wordOf(form.letter), form.columns) +
           QStringLiteral(" TO ") + granteeSql(to) + option + grantedByClause(grantedBy);
}

QString revokeSql(int objectType, const QString &object, const QString &word, const Grantee &from,
                  const SqlName *grantedBy)
{
    return QStringLiteral("REVOKE ") + privilegeClause(objectType, object, word) +
           QStringLiteral(" FROM ") + granteeSql(from) + grantedByClause(grantedBy);
}

QString grantWordSql(const ObjectRef &object, const QString &word, const Grantee &to)
{
    return QStringLiteral("GRANT ") + privilegeClause(object.type, object.name, word) +
           QStringLiteral(" TO ") + granteeSql(to);
}

QString revokeAllOnAllSql(const Grantee &from)
{
    return QStringLiteral("REVOKE ALL ON ALL FROM ") + granteeSql(from);
}

Plan planCopy(const QList<GrantRow> &source, const QList<CopyTarget> &targets, const Login &login,
              bool revokeExtras)
{
    Plan plan;
    QList<GrantRow> all = source;
    for (const CopyTarget &target : targets)
        all += target.rows;
    for (const ObjectKey &object : objectsOf({&all})) {
        if (!isStatementKind(object.type))
            continue;
        const QList<GrantRow> from = rowsOn(source, object);
        for (const CopyTarget &target : targets) {
            const QList<GrantRow> held = rowsOn(target.rows, object);
            for (QChar letter : lettersOf(from + held)) {
                const Effective wanted = effectiveOf(from, letter);
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
                        {target.grantee.name.storedText(), object.type, object.name, letter});
                const QList<GrantRow> ofLetter = rowsWhere(
                    held, [letter](const GrantRow &row) { return row.privilege == letter; });
                for (const QString &grantor : grantorsOf(ofLetter)) {
                    const SqlName by = SqlName::stored(grantor);
                    if (grantor != login.name && !login.mayNameGrantors) {
                        for (const PrivilegeForm &form : formsOf(ofLetter)) {
                            if (form.grantor == grantor)
                                plan.notDone.append(stillHeld(form, target.grantee.name.text()));
                        }
                        continue;
                    }
                    plan.changes.append(
                        {Change::Verb::Revoke,
                         revokeSql(object.type, object.name, wordOf(letter), target.grantee,
                                   grantor == login.name ? nullptr : &by),
                         object.name});
                }
                addGrants(plan, object, letter, wanted, target.grantee);
            }
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
                const Grantee &oldName, const Grantee &newName, const Login &login)
{
    if (!login.mayNameGrantors && !madeByOld.isEmpty())
        throw kelvane::Exception(
            QStringLiteral("%1 granted privileges to others, which the server would revoke "
                           "with %1's own: %2. Only SYSDBA or the database owner can rename %1 "
                           "and keep them; nothing was renamed")
                .arg(oldName.name.text(), describeGiven(madeByOld).join(QStringLiteral("; "))));
    Plan plan;
    for (const ObjectKey &object : objectsOf({&oldRows, &madeByOld})) {
        const QList<GrantRow> held = rowsOn(oldRows, object);
        if (!isStatementKind(object.type)) {
            for (const PrivilegeForm &form : formsOf(held))
                plan.notDone.append(
                    QStringLiteral("%1 cannot be given by a statement").arg(describe(form)));
            continue;
        }
        for (const PrivilegeForm &form : formsOf(held)) {
            const SqlName by = SqlName::stored(form.grantor);
            if (form.grantor == login.name)
                plan.changes.append(grantChange(form, newName));
            else if (login.mayNameGrantors)
                plan.changes.append(grantChange(form, newName, &by));
            // Otherwise it stays with the old name, whose leftovers the
            // command names at its end.
        }
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
            for (const PrivilegeForm &form : formsOf(theirs))
                plan.changes.append(
                    grantChange(form, {SqlName::stored(receiver), type}, &newName.name));
        }
        if (held.isEmpty())
            continue;
        for (const QString &grantor : grantorsOf(held)) {
            const SqlName by = SqlName::stored(grantor);
            if (grantor == login.name)
                addRevokesBy(plan, held, grantor, oldName, nullptr);
            else if (login.mayNameGrantors)
                addRevokesBy(plan, held, grantor, oldName, &by);
        }
    }
    return plan;
}

QStringList describeRows(const QList<GrantRow> &rows)
{
    QStringList lines;
    for (const PrivilegeForm &form : formsOf(rows))
        lines.append(QStringLiteral("%1 granted by %2").arg(describe(form), form.grantor));
    return lines;
}

QStringList describeGiven(const QList<GrantRow> &rows)
{
    QStringList lines;
    for (const GrantRow &row : rows) {
        const QString line =
            QStringLiteral("%1 to %2")
                .arg(describe({row.objectType, row.object, row.privilege,
                               row.column.isEmpty() ? QStringList() : QStringList{row.column},
                               row.option, row.grantor}),
                     row.grantee);
        if (!lines.contains(line))
            lines.append(line);
    }
    return lines;
}

} // namespace db
