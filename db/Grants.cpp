#include "Grants.h"

#include "Exception.h"

#include <QMap>
#include <algorithm>

namespace db {

namespace {

// The order letters take within an object, and the word each stands for.
constexpr QLatin1StringView LetterOrder("SUIDRXGMCLO");

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
    case u'C':
        return QStringLiteral("CREATE");
    case u'L':
        return QStringLiteral("ALTER");
    case u'O':
        return QStringLiteral("DROP");
    default:
        return QString(letter);
    }
}

qsizetype letterRank(QChar letter)
{
    const qsizetype rank = LetterOrder.indexOf(letter);
    return rank < 0 ? LetterOrder.size() : rank;
}

// The letter of a kind's single privilege.
QChar singleLetterOf(int objectType)
{
    switch (objectType) {
    case kind::Sequence:
    case kind::Exception:
        return u'G';
    case kind::Role:
        return u'M';
    default:
        return u'X';
    }
}

// The DDL privileges (CREATE TABLE, ALTER ANY VIEW, DROP DATABASE) are rows
// on objects named for the kind they create, alter or drop. Their object
// type numbers differ between Firebird 3 and 4: they are known by name.
struct DdlObject
{
    QLatin1StringView name;
    QLatin1StringView kind;
};

constexpr DdlObject DdlObjects[] = {
    {QLatin1StringView("SQL$DATABASE"), QLatin1StringView("DATABASE")},
    {QLatin1StringView("SQL$TABLES"), QLatin1StringView("TABLE")},
    {QLatin1StringView("SQL$VIEWS"), QLatin1StringView("VIEW")},
    {QLatin1StringView("SQL$PROCEDURES"), QLatin1StringView("PROCEDURE")},
    {QLatin1StringView("SQL$FUNCTIONS"), QLatin1StringView("FUNCTION")},
    {QLatin1StringView("SQL$PACKAGES"), QLatin1StringView("PACKAGE")},
    {QLatin1StringView("SQL$GENERATORS"), QLatin1StringView("SEQUENCE")},
    {QLatin1StringView("SQL$DOMAINS"), QLatin1StringView("DOMAIN")},
    {QLatin1StringView("SQL$EXCEPTIONS"), QLatin1StringView("EXCEPTION")},
    {QLatin1StringView("SQL$ROLES"), QLatin1StringView("ROLE")},
    {QLatin1StringView("SQL$CHARSETS"), QLatin1StringView("CHARACTER SET")},
    {QLatin1StringView("SQL$COLLATIONS"), QLatin1StringView("COLLATION")},
    {QLatin1StringView("SQL$FILTERS"), QLatin1StringView("FILTER")},
};

const DdlObject *ddlObject(const QString &name)
{
    for (const DdlObject &object : DdlObjects) {
        if (object.name == name)
            return &object;
    }
    return nullptr;
}

// "CREATE TABLE", "ALTER ANY VIEW", "DROP DATABASE": the privilege as its
// statement names it, word being CREATE, ALTER or DROP.
QString ddlClause(const DdlObject &object, const QString &word)
{
    const bool database = object.name == QLatin1String("SQL$DATABASE");
    const bool any = word != QLatin1String("CREATE") && !database;
    return word + (any ? QStringLiteral(" ANY ") : QStringLiteral(" ")) + object.kind;
}

// The letters of DDL privileges; the database itself cannot be created
// from within, so it has no C.
constexpr QLatin1StringView DdlLetters("CLO");

QString lettersOf(const DdlObject &object)
{
    return object.name == QLatin1String("SQL$DATABASE") ? QStringLiteral("LO")
                                                        : QString(DdlLetters);
}

bool isDdl(int objectType, const QString &object)
{
    return objectType == kind::DdlPrivilege || ddlObject(object);
}

// A DDL privilege by its list name: its object and letter.
bool findDdlPrivilege(const QString &listName, const DdlObject *&found, QChar &letter)
{
    for (const DdlObject &object : DdlObjects) {
        for (QChar each : lettersOf(object)) {
            if (ddlClause(object, wordOf(each)) == listName) {
                found = &object;
                letter = each;
                return true;
            }
        }
    }
    return false;
}

QString sqlText(const QString &text)
{
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

// The catalogue letters a GRANT or REVOKE of the word gives or takes.
QString lettersOfWord(int objectType, const QString &object, const QString &word)
{
    // A DDL privilege of the lists is its letter, whatever the word.
    if (objectType == kind::DdlPrivilege)
        return QString(ddlLetterOf(object));
    // A relation and a DDL privilege's object have a choice of letters.
    if (objectType != kind::Relation && !ddlObject(object))
        return QString(singleLetterOf(objectType));
    if (word == QLatin1String("ALL"))
        return QStringLiteral("SUIDR");
    for (QChar letter : LetterOrder) {
        if (wordOf(letter) == word)
            return QString(letter);
    }
    return {};
}

QString grantorText(const QString &grantor)
{
    return grantor.isEmpty() ? QStringLiteral("the system") : grantor;
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
    if (objectType == kind::DdlPrivilege)
        return object;
    if (const DdlObject *ddl = ddlObject(object))
        return ddlClause(*ddl, word);
    const QString name = SqlName::stored(object).sql();
    // A membership's one "column" D makes the role a default one (Firebird 4).
    if (objectType == kind::Role)
        return columns.contains(QStringLiteral("D")) ? QStringLiteral("DEFAULT ") + name : name;
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

// Whether what is wanted of a letter still gives what the row gives: its
// column, or the whole object, with at least its option.
bool covers(const Effective &wanted, const GrantRow &row)
{
    const int option = std::max(wanted.value(row.column, -1), wanted.value(QString(), -1));
    return option >= row.option;
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

QList<GrantRow> ofLetter(const QList<GrantRow> &rows, QChar letter)
{
    return rowsWhere(rows, [letter](const GrantRow &row) { return row.privilege == letter; });
}

// The columns whose column-level UPDATE or REFERENCES rows revoking the rows
// takes, the grantee's own, and an empty name where a grant option may take
// along such rows it gave others, on any column.
QStringList columnsTaken(const QList<GrantRow> &rows)
{
    QStringList columns;
    for (const GrantRow &row : rows) {
        if (row.privilege != u'U' && row.privilege != u'R')
            continue;
        if (!row.column.isEmpty() && !columns.contains(row.column))
            columns.append(row.column);
        if (row.option > 0 && !columns.contains(QString()))
            columns.append(QString());
    }
    return columns;
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
                                         from, grantedBy, columnsTaken(theirs)));
        return;
    }
    for (QChar letter : letters)
        plan.changes.append(revokeChange(first.objectType, first.object, wordOf(letter), from,
                                         grantedBy, columnsTaken(ofLetter(theirs, letter))));
}

// Whether the login may revoke or grant in the grantor's name: its own, or
// anyone's with GRANTED BY. The system's grants (no grantor) no statement
// names.
bool mayName(const Login &login, const QString &grantor)
{
    return !grantor.isEmpty() && (grantor == login.name || login.mayNameGrantors);
}

QString stillHeld(const PrivilegeForm &form, const QString &grantee)
{
    return QStringLiteral("%1 granted by %2 is still held by %3")
        .arg(describe(form), grantorText(form.grantor), grantee);
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
    case kind::DdlPrivilege:
        return true;
    default:
        return false;
    }
}

bool isStatementObject(int objectType, const QString &object)
{
    return isStatementKind(objectType) || ddlObject(object);
}

GrantRow asListRow(GrantRow row)
{
    const DdlObject *ddl = ddlObject(row.object);
    if (ddl && DdlLetters.contains(row.privilege)) {
        row.object = ddlClause(*ddl, wordOf(row.privilege));
        row.objectType = kind::DdlPrivilege;
    }
    return row;
}

QChar ddlLetterOf(const QString &listName)
{
    const DdlObject *object = nullptr;
    QChar letter;
    return findDdlPrivilege(listName, object, letter) ? letter : QChar();
}

QString ddlObjectOf(const QString &listName)
{
    const DdlObject *object = nullptr;
    QChar letter;
    return findDdlPrivilege(listName, object, letter) ? QString(object->name) : QString();
}

QString isDdlRowSql()
{
    // The DDL objects' types start at 20 on Firebird 3 and 21 on Firebird 4;
    // only they hold these letters.
    return QStringLiteral("(RDB$OBJECT_TYPE >= 20 AND RDB$PRIVILEGE IN ('C', 'L', 'O'))");
}

QString ddlNameSql()
{
    QString names;
    for (const DdlObject &object : DdlObjects) {
        QString byLetter;
        for (QChar letter : lettersOf(object))
            byLetter += QStringLiteral(", '%1', %2").arg(letter).arg(
                sqlText(ddlClause(object, wordOf(letter))));
        names += QStringLiteral(" WHEN %1 THEN DECODE(RDB$PRIVILEGE%2, RDB$RELATION_NAME)")
                     .arg(sqlText(QString(object.name)), byLetter);
    }
    return QStringLiteral("CAST(CASE RDB$RELATION_NAME%1 ELSE RDB$RELATION_NAME END AS TYPE OF "
                          "COLUMN RDB$USER_PRIVILEGES.RDB$RELATION_NAME)")
        .arg(names);
}

QString listNameSql()
{
    return QStringLiteral("IIF(%1, %2, RDB$RELATION_NAME)").arg(isDdlRowSql(), ddlNameSql());
}

QString listKindSql()
{
    return QStringLiteral("IIF(%1, %2, RDB$OBJECT_TYPE)")
        .arg(isDdlRowSql())
        .arg(kind::DdlPrivilege);
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
    if (form.objectType == kind::DdlPrivilege)
        return form.object;
    if (const DdlObject *ddl = ddlObject(form.object))
        return ddlClause(*ddl, wordOf(form.letter));
    if (form.objectType == kind::Role)
        return QStringLiteral("membership of role ") + form.object +
               (form.columns.isEmpty() ? QString() : QStringLiteral(", as default role"));
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
    QString text = isDdl(form.objectType, form.object) ? describe(form) : wordOf(form.letter);
    if (form.objectType == kind::Role && !form.columns.isEmpty())
        text += QStringLiteral(", default role");
    else if (!form.columns.isEmpty())
        text += QStringLiteral(" (%1)").arg(form.columns.join(QStringLiteral(", ")));
    text += QStringLiteral(" \u2014 granted by ") + grantorText(form.grantor);
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
                  const SqlName *grantedBy, const QStringList &columns)
{
    return QStringLiteral("REVOKE ") + privilegeClause(objectType, object, word, columns) +
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

Change grantChange(const PrivilegeForm &form, const Grantee &to, const SqlName *grantedBy)
{
    return {Change::Verb::Grant,
            grantSql(form, to, grantedBy),
            form.object,
            form.objectType,
            form.objectType == kind::Relation || isDdl(form.objectType, form.object)
                ? QString(form.letter)
                : QString(singleLetterOf(form.objectType)),
            to.name.storedText(),
            to.type,
            form.columns,
            {}};
}

Change grantWordChange(const ObjectRef &object, const QString &word, const Grantee &to)
{
    return {Change::Verb::Grant,
            grantWordSql(object, word, to),
            object.name,
            object.type,
            lettersOfWord(object.type, object.name, word),
            to.name.storedText(),
            to.type,
            {},
            {}};
}

Change revokeChange(int objectType, const QString &object, const QString &word, const Grantee &from,
                    const SqlName *grantedBy, const QStringList &columnsTaken)
{
    return {Change::Verb::Revoke,
            revokeSql(objectType, object, word, from, grantedBy),
            object,
            objectType,
            lettersOfWord(objectType, object, word),
            from.name.storedText(),
            from.type,
            {},
            columnsTaken};
}

Change revokeAllOnAllChange(const Grantee &from)
{
    return {Change::Verb::Revoke,
            revokeAllOnAllSql(from),
            from.name.text(),
            -1,
            {},
            from.name.storedText(),
            from.type,
            {},
            {}};
}

Plan planCopy(const QList<GrantRow> &source, const QList<CopyTarget> &targets, const Login &login,
              bool revokeExtras)
{
    Plan plan;
    QList<GrantRow> all = source;
    for (const CopyTarget &target : targets)
        all += target.rows;
    for (const ObjectKey &object : objectsOf({&all})) {
        if (!isStatementObject(object.type, object.name))
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
                const QList<GrantRow> heldOfLetter = ofLetter(held, letter);
                for (const GrantRow &row : heldOfLetter) {
                    const bool mayRevoke = mayName(login, row.grantor);
                    if (mayRevoke && !covers(wanted, row))
                        plan.taken.append(row);
                }
                for (const QString &grantor : grantorsOf(heldOfLetter)) {
                    const SqlName by = SqlName::stored(grantor);
                    if (!mayName(login, grantor)) {
                        for (const PrivilegeForm &form : formsOf(heldOfLetter)) {
                            if (form.grantor == grantor)
                                plan.notDone.append(stillHeld(form, target.grantee.name.text()));
                        }
                        continue;
                    }
                    plan.changes.append(revokeChange(
                        object.type, object.name, wordOf(letter), target.grantee,
                        grantor == login.name ? nullptr : &by,
                        columnsTaken(rowsWhere(heldOfLetter, [&grantor](const GrantRow &row) {
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
        if (!mayName(login, grantor)) {
            for (const PrivilegeForm &form : formsOf(theirs))
                plan.notDone.append(stillHeld(form, from.name.text()));
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
                                                 columnsTaken(ofLetter(theirs, letter))));
        }
        plan.taken += theirs;
        for (const GrantRow &row : theirs) {
            if (row.option > 0)
                plan.optionsTaken.append(
                    {from.name.storedText(), row.objectType, row.object, row.privilege});
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
            const bool named = form.grantor != login.name && mayName(login, form.grantor);
            plan.changes.append(grantChange(form, grantee, named ? &by : nullptr));
        }
        return plan;
    }
    const QList<GrantRow> withOption =
        rowsWhere(rows, [](const GrantRow &row) { return row.option > 0; });
    for (const QString &grantor : grantorsOf(withOption)) {
        const QList<GrantRow> theirs = rowsWhere(
            withOption, [&grantor](const GrantRow &row) { return row.grantor == grantor; });
        if (!mayName(login, grantor)) {
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
                                         grantedBy, columnsTaken(ofIt));
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
        if (!isStatementObject(object.type, object.name)) {
            for (const PrivilegeForm &form : formsOf(held))
                plan.notDone.append(
                    QStringLiteral("%1 cannot be given by a statement").arg(describe(form)));
            continue;
        }
        for (const PrivilegeForm &form : formsOf(held)) {
            const SqlName by = SqlName::stored(form.grantor);
            if (form.grantor == login.name)
                plan.changes.append(grantChange(form, newName));
            else if (mayName(login, form.grantor))
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
            else if (mayName(login, grantor))
                addRevokesBy(plan, held, grantor, oldName, &by);
        }
    }
    return plan;
}

namespace {

bool onRelation(const Change &change)
{
    return change.objectType == kind::Relation;
}

bool isPackageGrant(const Change &change)
{
    return change.verb == Change::Verb::Grant && onRelation(change) &&
           change.granteeType == kind::Package;
}

bool isColumnGrant(const Change &change)
{
    return change.verb == Change::Verb::Grant && onRelation(change) && !change.columns.isEmpty();
}

// Whether the server can build the access list of a relation with these
// rows: a package's privileges and a column-level privilege (PUBLIC's
// aside) cannot stand together, but for a package's own on one column.
bool canStore(const QList<GrantRow> &rows)
{
    QList<GrantRow> packageRows;
    QList<GrantRow> columnRows;
    for (const GrantRow &row : rows) {
        if (row.granteeType == kind::Package)
            packageRows.append(row);
        if (!row.column.isEmpty() && row.grantee != QLatin1String("PUBLIC"))
            columnRows.append(row);
    }
    if (packageRows.isEmpty() || columnRows.isEmpty())
        return true;
    const GrantRow &first = columnRows.first();
    const auto packageOnFirstColumn = [&first](const GrantRow &row) {
        return row.granteeType == kind::Package && row.grantee == first.grantee &&
               row.column == first.column;
    };
    return std::all_of(columnRows.begin(), columnRows.end(), packageOnFirstColumn) &&
           std::all_of(packageRows.begin(), packageRows.end(), packageOnFirstColumn);
}

// The rows a grant adds, near enough for canStore: one per column.
QList<GrantRow> rowsOfGrant(const Change &change)
{
    QList<GrantRow> rows;
    for (const QString &column : change.columns.isEmpty() ? QStringList{QString()} : change.columns)
        rows.append({change.grantee, change.granteeType, change.object, change.objectType,
                     change.letters.isEmpty() ? QChar() : change.letters.front(), column, 0,
                     QString()});
    return rows;
}

} // namespace

bool needsStoreCheck(const QList<Change> &changes)
{
    return std::any_of(changes.begin(), changes.end(), [](const Change &change) {
        return isPackageGrant(change) || isColumnGrant(change);
    });
}

void checkServerCanStore(const QList<Change> &changes, const QList<GrantRow> &rows)
{
    QStringList checked;
    for (const Change &change : changes) {
        if (!(isPackageGrant(change) || isColumnGrant(change)) || checked.contains(change.object))
            continue;
        checked.append(change.object);
        QList<GrantRow> after = rowsWhere(rows, [&change](const GrantRow &row) {
            return row.objectType == kind::Relation && row.object == change.object;
        });
        for (const Change &grant : changes) {
            if (grant.verb == Change::Verb::Grant && onRelation(grant) &&
                grant.object == change.object)
                after += rowsOfGrant(grant);
        }
        if (canStore(after))
            continue;
        throw kelvane::Exception(
            QStringLiteral("Nothing was changed: the command would leave %1 with a package's "
                           "privileges beside column-level privileges, which the server cannot "
                           "keep. It stops at the commit (\"bad ACL\") and then admits nobody "
                           "to the database until every attachment has closed. Grant whole-"
                           "relation privileges instead of the columns, or give the package's "
                           "work to a procedure.")
                .arg(change.object));
    }
}

QList<ColumnRisk> columnRisks(const QList<Change> &ran)
{
    QList<ColumnRisk> risks;
    for (const Change &change : ran) {
        if (change.verb != Change::Verb::Revoke || !onRelation(change))
            continue;
        for (const QString &column : change.columnsTaken) {
            if (!risks.contains({change.object, column}))
                risks.append({change.object, column});
        }
    }
    return risks;
}

QList<ColumnRisk> columnRisks(const QList<GrantRow> &revoked)
{
    QList<ColumnRisk> risks;
    for (const GrantRow &row : revoked) {
        if (row.objectType != kind::Relation)
            continue;
        for (const QString &column : columnsTaken({row})) {
            if (!risks.contains({row.object, column}))
                risks.append({row.object, column});
        }
    }
    return risks;
}

namespace {

Grantee granteeOf(const GrantRow &row)
{
    return {SqlName::stored(row.grantee), row.granteeType};
}

// The rows of a column in the order they can be granted again: a grantor
// that holds a row itself gets it back before it gives its own.
QList<GrantRow> grantableOrder(QList<GrantRow> rows)
{
    QList<GrantRow> ordered;
    while (!rows.isEmpty()) {
        const auto waits = [&rows](const GrantRow &row) {
            return std::any_of(rows.begin(), rows.end(), [&row](const GrantRow &other) {
                return other.grantee == row.grantor && other.privilege == row.privilege &&
                       isNamedWithoutKeyword(other.granteeType) && !(other == row);
            });
        };
        const auto ready = std::stable_partition(rows.begin(), rows.end(),
                                                 [&](const GrantRow &row) { return !waits(row); });
        // A circle of grants cannot happen; should the catalogue hold one,
        // it is given back in the order read.
        const auto end = ready == rows.begin() ? rows.end() : ready;
        ordered.append(QList<GrantRow>(rows.begin(), end));
        rows.erase(rows.begin(), end);
    }
    return ordered;
}

} // namespace

Plan planColumnMends(const QList<GrantRow> &rows, const QList<ColumnRisk> &risks,
                     const Login &login)
{
    QStringList relations;
    for (const ColumnRisk &risk : risks) {
        if (!relations.contains(risk.relation))
            relations.append(risk.relation);
    }
    Plan plan;
    QList<Change> grants;
    for (const QString &relation : relations) {
        const QList<GrantRow> onRelation = rowsWhere(rows, [&relation](const GrantRow &row) {
            return row.objectType == kind::Relation && row.object == relation &&
                   !row.column.isEmpty() && (row.privilege == u'U' || row.privilege == u'R') &&
                   row.grantee != row.grantor;
        });
        const auto atRisk = [&](const QString &column) {
            return risks.contains({relation, column}) || risks.contains({relation, QString()});
        };
        QStringList columns;
        for (const GrantRow &row : onRelation) {
            if (row.privilege == u'U' && atRisk(row.column) && !columns.contains(row.column))
                columns.append(row.column);
        }
        for (const QString &column : columns) {
            const QList<GrantRow> onColumn = rowsWhere(
                onRelation, [&column](const GrantRow &row) { return row.column == column; });
            if (!std::all_of(onColumn.begin(), onColumn.end(), [&login](const GrantRow &row) {
                    return mayName(login, row.grantor);
                })) {
                for (const GrantRow &row : onColumn) {
                    if (row.privilege == u'U')
                        plan.notDone.append(
                            QStringLiteral("%1 can no longer use UPDATE (%2) on %3, although the "
                                           "catalogue still shows it: the server dropped it with "
                                           "the revoke. A login that may name every grantor "
                                           "(SYSDBA or the owner) gives it back by revoking and "
                                           "granting again each column-level privilege on %2.")
                                .arg(row.grantee, column, relation));
                }
                continue;
            }
            for (const GrantRow &row : onColumn) {
                const SqlName by = SqlName::stored(row.grantor);
                const SqlName *grantedBy = row.grantor == login.name ? nullptr : &by;
                const Grantee grantee = granteeOf(row);
                // By column: the holder's other columns stay as they are.
                Change revoke = revokeChange(kind::Relation, relation, wordOf(row.privilege),
                                             grantee, grantedBy);
                revoke.sql = revokeSql(kind::Relation, relation, wordOf(row.privilege), grantee,
                                       grantedBy, {column});
                revoke.columns = {column};
                plan.changes.append(revoke);
            }
            for (const GrantRow &row : grantableOrder(onColumn)) {
                const SqlName by = SqlName::stored(row.grantor);
                grants.append(grantChange(
                    {kind::Relation, relation, row.privilege, {column}, row.option, row.grantor},
                    granteeOf(row), row.grantor == login.name ? nullptr : &by));
            }
        }
    }
    plan.changes += grants;
    return plan;
}

QStringList describeRows(const QList<GrantRow> &rows)
{
    QStringList lines;
    for (const PrivilegeForm &form : formsOf(rows))
        lines.append(
            QStringLiteral("%1 granted by %2").arg(describe(form), grantorText(form.grantor)));
    return lines;
}

QStringList describeTaken(const QList<GrantRow> &rows, const QString &login)
{
    QList<GrantRow> ordered = rows;
    // The login's own grants are those it knows of; another's are news.
    std::stable_partition(ordered.begin(), ordered.end(),
                          [&login](const GrantRow &row) { return row.grantor != login; });
    QStringList lines;
    for (const GrantRow &row : ordered) {
        PrivilegeForm form{
            row.objectType, row.object,
            row.privilege,  row.column.isEmpty() ? QStringList() : QStringList{row.column},
            row.option,     row.grantor};
        QString line = QStringLiteral("%1: %2 granted by %3")
                           .arg(row.grantee, describe(form), grantorText(row.grantor));
        if (row.option > 0)
            line += row.objectType == kind::Role ? QStringLiteral(", with admin option")
                                                 : QStringLiteral(", with grant option");
        lines.append(line);
    }
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
