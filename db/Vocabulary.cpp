#include "Vocabulary.h"

#include "Names.h"

#include <algorithm>

namespace db {

namespace {

// The order letters take within an object.
constexpr QLatin1StringView LetterOrder("SUIDRXGMCLO");

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

} // namespace

size_t qHash(const GrantRow &row, size_t seed)
{
    return qHashMulti(seed, row.grantee, row.granteeType, row.object, row.objectType,
                      row.privilege.unicode(), row.column, row.option, row.grantor);
}

QList<GrantRow> rowsWhere(const QList<GrantRow> &rows,
                          const std::function<bool(const GrantRow &)> &wanted)
{
    QList<GrantRow> kept;
    std::copy_if(rows.begin(), rows.end(), std::back_inserter(kept), wanted);
    return kept;
}

QList<GrantRow> ofLetter(const QList<GrantRow> &rows, QChar letter)
{
    return rowsWhere(rows, [letter](const GrantRow &row) { return row.privilege == letter; });
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

QChar letterOfWord(const QString &word)
{
    for (QChar letter : LetterOrder) {
        if (wordOf(letter) == word)
            return letter;
    }
    return {};
}

QString kindName(int type)
{
    const KindWords *words = kindWords(type);
    return words ? QString(words->name) : QString();
}

QString kindKeyword(int type)
{
    const KindWords *words = kindWords(type);
    return words ? QString(words->keyword) : QString();
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

bool objectBelow(const ObjectRef &a, const ObjectRef &b)
{
    if (a.name != b.name)
        return isNameBelow(a.name, b.name);
    return a.type < b.type;
}

bool isOn(const GrantRow &row, const ObjectRef &object)
{
    return row.objectType == object.type && row.object == object.name;
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
            forms.append(formOf(row));
        else if (!whole && !same->columns.contains(row.column))
            same->columns.append(row.column);
    }
    std::stable_sort(forms.begin(), forms.end(),
                     [](const PrivilegeForm &a, const PrivilegeForm &b) {
                         const ObjectRef ka{a.objectType, a.object};
                         const ObjectRef kb{b.objectType, b.object};
                         if (objectBelow(ka, kb) || objectBelow(kb, ka))
                             return objectBelow(ka, kb);
                         if (a.letter != b.letter)
                             return letterRank(a.letter) < letterRank(b.letter);
                         return a.columns.isEmpty() && !b.columns.isEmpty();
                     });
    return forms;
}

PrivilegeForm formOf(const GrantRow &row)
{
    return {row.objectType, row.object,
            row.privilege,  row.column.isEmpty() ? QStringList() : QStringList{row.column},
            row.option,     row.grantor};
}

} // namespace db
