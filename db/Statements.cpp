#include "Statements.h"

#include "DdlPrivileges.h"

#include <QStringBuilder>

namespace db {

namespace {

// "TO name" reaches a user or, where one of that name exists, a role; every
// other kind of grantee needs its keyword, and so do a user and a role that
// share a name.
QString granteeSql(const Grantee &grantee)
{
    QString keyword = kindKeyword(grantee.type);
    if (grantee.namesake && grantee.type == kind::User)
        keyword = QStringLiteral("USER ");
    else if (grantee.namesake && grantee.type == kind::Role)
        keyword = QStringLiteral("ROLE ");
    return keyword + grantee.name.sql();
}

QString columnList(const QStringList &columns)
{
    QStringList names;
    for (const QString &column : columns)
        names.append(SqlName::stored(column).sql());
    return QStringLiteral(" (") + names.join(QStringLiteral(", ")) + QLatin1Char(')');
}

// What follows GRANT or REVOKE up to TO or FROM. Only a relation has a choice
// of words; every other kind takes its one privilege's.
QString privilegeClause(int objectType, const QString &object, const QString &word,
                        const QStringList &columns = {})
{
    if (objectType == kind::DdlPrivilege)
        return object;
    if (isDdlObject(object))
        return ddlClause(object, word);
    const QString name = SqlName::stored(object).sql();
    // A membership's one "column" D makes the role a default one (Firebird 4).
    if (objectType == kind::Role)
        return columns.contains(QStringLiteral("D")) ? QStringLiteral("DEFAULT ") + name : name;
    if (objectType == kind::Relation)
        return word % (columns.isEmpty() ? QString() : columnList(columns)) % u" ON " % name;
    return singleWordOf(objectType) % u" ON " % kindKeyword(objectType) % name;
}

QString grantedByClause(const SqlName *grantedBy)
{
    return grantedBy ? u" GRANTED BY " % grantedBy->sql() : QString();
}

// The catalogue letters a GRANT or REVOKE of the word gives or takes.
QString lettersOfWord(int objectType, const QString &object, const QString &word)
{
    // A DDL privilege of the lists is its letter, whatever the word.
    if (objectType == kind::DdlPrivilege)
        return QString(ddlLetterOf(object));
    // A relation and a DDL privilege's object have a choice of letters.
    if (objectType != kind::Relation && !isDdlObject(object))
        return QString(singleLetterOf(objectType));
    if (word == QLatin1String("ALL"))
        return QStringLiteral("SUIDR");
    const QChar letter = letterOfWord(word);
    return letter.isNull() ? QString() : QString(letter);
}

} // namespace

QString grantSql(const PrivilegeForm &form, const Grantee &to, const SqlName *grantedBy)
{
    // A hundred thousand of these make an export: built in one allocation.
    QStringView option;
    if (form.option > 0)
        option = form.objectType == kind::Role ? u" WITH ADMIN OPTION" : u" WITH GRANT OPTION";
    return u"GRANT " %
           privilegeClause(form.objectType, form.object, wordOf(form.letter), form.columns) %
           u" TO " % granteeSql(to) % option % grantedByClause(grantedBy);
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

} // namespace db
