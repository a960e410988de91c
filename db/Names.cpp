#include "Names.h"

#include <QSet>
#include <algorithm>

namespace db {

namespace {

// Code point order is UTF-8 byte order; UTF-16 unit order is not, because
// surrogates (U+D800..U+DFFF) sort below U+E000..U+FFFF as units.
char32_t codePointAt(const QString &text, qsizetype &i)
{
    const QChar c = text.at(i++);
    if (c.isHighSurrogate() && i < text.size() && text.at(i).isLowSurrogate())
        return QChar::surrogateToUcs4(c, text.at(i++));
    return c.unicode();
}

} // namespace

QString trimmedNameSql(const QString &column, const QString &alias)
{
    return QStringLiteral("TRIM(TRAILING FROM %1) AS %2")
        .arg(column, alias.isEmpty() ? column : alias);
}

bool isNameBelow(const QString &name, const QString &other)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < name.size() && j < other.size()) {
        const char32_t a = codePointAt(name, i);
        const char32_t b = codePointAt(other, j);
        if (a != b)
            return a < b;
    }
    return i == name.size() && j < other.size();
}

} // namespace db

namespace db {

namespace {

// Firebird 3's reserved words; a bare one is a syntax error as a name.
constexpr const char *ReservedWords[] = {
    "ADD", "ADMIN", "ALL", "ALTER", "AND", "ANY", "AS", "AT", "AVG", "BEGIN", "BETWEEN", "BIGINT",
    "BIT_LENGTH", "BLOB", "BOOLEAN", "BOTH", "BY", "CASE", "CAST", "CHAR", "CHAR_LENGTH",
    "CHARACTER", "CHARACTER_LENGTH", "CHECK", "CLOSE", "COLLATE", "COLUMN", "COMMIT", "CONNECT",
    "CONSTRAINT", "CORR", "COUNT", "COVAR_POP", "COVAR_SAMP", "CREATE", "CROSS", "CURRENT",
    "CURRENT_CONNECTION", "CURRENT_DATE", "CURRENT_ROLE", "CURRENT_TIME", "CURRENT_TIMESTAMP",
    "CURRENT_TRANSACTION", "CURRENT_USER", "CURSOR", "DATE", "DAY", "DEC", "DECIMAL", "DECLARE",
    "DEFAULT", "DELETE", "DELETING", "DETERMINISTIC", "DISCONNECT", "DISTINCT", "DOUBLE", "DROP",
    "ELSE", "END", "ESCAPE", "EXECUTE", "EXISTS", "EXTERNAL", "EXTRACT", "FALSE", "FETCH", "FILTER",
    "FLOAT", "FOR", "FOREIGN", "FROM", "FULL", "FUNCTION", "GDSCODE", "GLOBAL", "GRANT", "GROUP",
    "HAVING", "HOUR", "IN", "INDEX", "INNER", "INSENSITIVE", "INSERT", "INSERTING", "INT",
    "INTEGER", "INTO", "IS", "JOIN", "LEADING", "LEFT", "LIKE", "LOCALTIME", "LOCALTIMESTAMP",
    "LONG", "LOWER", "MAX", "MERGE", "MIN", "MINUTE", "MONTH", "NATIONAL", "NATURAL", "NCHAR", "NO",
    "NOT", "NULL", "NUMERIC", "OCTET_LENGTH", "OF", "OFFSET", "ON", "ONLY", "OPEN", "OR", "ORDER",
    "OUTER", "OVER", "PARAMETER", "PLAN", "POSITION", "POST_EVENT", "PRECISION", "PRIMARY",
    "PROCEDURE", "RDB$DB_KEY", "RDB$RECORD_VERSION", "REAL", "RECORD_VERSION", "RECREATE",
    "RECURSIVE", "REFERENCES", "REGR_AVGX", "REGR_AVGY", "REGR_COUNT", "REGR_INTERCEPT", "REGR_R2",
    "REGR_SLOPE", "REGR_SXX", "REGR_SXY", "REGR_SYY", "RELEASE", "RETURN", "RETURNING_VALUES",
    "RETURNS", "REVOKE", "RIGHT", "ROLLBACK", "ROW", "ROW_COUNT", "ROWS", "SAVEPOINT", "SCROLL",
    "SECOND", "SELECT", "SENSITIVE", "SET", "SIMILAR", "SMALLINT", "SOME", "SQLCODE", "SQLSTATE",
    "START", "STDDEV_POP", "STDDEV_SAMP", "SUM", "TABLE", "THEN", "TIME", "TIMESTAMP", "TO",
    "TRAILING", "TRIGGER", "TRIM", "TRUE", "UNION", "UNIQUE", "UNKNOWN", "UPDATE", "UPDATING",
    "UPPER", "USER", "USING", "VALUE", "VALUES", "VAR_POP", "VAR_SAMP", "VARCHAR", "VARIABLE",
    "VARYING", "VIEW", "WHEN", "WHERE", "WHILE", "WITH", "YEAR",
    // Reserved by later servers only. Delimiting such a name changes nothing
    // on Firebird 3 and keeps the statement valid where the database moves on.
    "BINARY", "COMMENT", "DECFLOAT", "INT128", "LATERAL", "LOCAL", "PUBLICATION", "RDB$ERROR",
    "RDB$GET_CONTEXT", "RDB$SET_CONTEXT", "RESETTING", "TIMEZONE_HOUR", "TIMEZONE_MINUTE",
    "UNBOUNDED", "VARBINARY", "WINDOW", "WITHOUT"};

bool isAsciiUpper(QChar c)
{
    return c >= QLatin1Char('A') && c <= QLatin1Char('Z');
}

bool isAsciiLetter(QChar c)
{
    return isAsciiUpper(c) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
}

bool isIdentifierTail(QChar c, bool anyCase)
{
    return (anyCase ? isAsciiLetter(c) : isAsciiUpper(c)) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('_') ||
           c == QLatin1Char('$');
}

// A letter, then letters, digits, '_' or '$': what the server reads as one
// unquoted identifier. Only ASCII, since other letters are not identifier
// characters to it.
bool isRegularIdentifier(const QString &text, bool anyCase)
{
    if (text.isEmpty() || !(anyCase ? isAsciiLetter(text.front()) : isAsciiUpper(text.front())))
        return false;
    return std::all_of(text.begin() + 1, text.end(),
                       [anyCase](QChar c) { return isIdentifierTail(c, anyCase); });
}

QString delimited(const QString &name)
{
    // Trailing blanks mean nothing to the server inside quotes either: left
    // in, a name of blanks alone would reach the user with the empty name
    // instead of being refused as the empty name it is.
    QString quoted = name;
    while (quoted.endsWith(QLatin1Char(' ')))
        quoted.chop(1);
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

QString upperCaseAscii(const QString &text)
{
    QString upper = text;
    for (QChar &c : upper) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - ('a' - 'A'));
    }
    return upper;
}

bool isReservedWord(const QString &word)
{
    static const QSet<QString> words = [] {
        QSet<QString> all;
        for (const char *reserved : ReservedWords)
            all.insert(QString::fromLatin1(reserved));
        return all;
    }();
    return words.contains(upperCaseAscii(word));
}

QString SqlName::storedText() const
{
    QString name = m_typed && isRegularIdentifier(m_text, true) ? upperCaseAscii(m_text) : m_text;
    while (name.endsWith(QLatin1Char(' ')))
        name.chop(1);
    return name;
}

QString SqlName::sql() const
{
    if (!isRegularIdentifier(m_text, m_typed))
        return delimited(m_text);
    if (!isReservedWord(m_text))
        return m_text;
    // A reserved word means what it would mean unquoted, were that allowed:
    // the upper-case name.
    return delimited(m_typed ? upperCaseAscii(m_text) : m_text);
}

qsizetype characterCount(const QString &text)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!text.at(i).isLowSurrogate())
            ++count;
    }
    return count;
}

} // namespace db
