#pragma once

#include <QString>

namespace db {

// Names are ordered as their UTF-8 bytes, unsigned, with no case folding and no
// trimming; a text that is the beginning of another sorts below it.
[[nodiscard]] bool isNameBelow(const QString &name, const QString &other);

// A name column read as the name alone: "TRIM(TRAILING FROM RDB$USER) AS
// RDB$USER". The catalogue keeps names as CHAR, which travel padded to the
// column's bytes (252 a name on Firebird 4); trimmed they travel as long as
// they are, and a read of thousands of rows takes a third of the round trips.
// Every branch of a UNION must trim alike: a CHAR in one branch would come
// padded in the trimmed branch's type.
// The alias defaults to the column's name; an expression needs one.
[[nodiscard]] QString trimmedNameSql(const QString &column, const QString &alias = {});

// How many characters the server counts in the text: a letter beyond the
// Basic Multilingual Plane is one, not two.
[[nodiscard]] qsizetype characterCount(const QString &text);

// Upper-cases the letters a to z and nothing else, as the server does with an
// unquoted identifier.
[[nodiscard]] QString upperCaseAscii(const QString &text);

// Whether the word, in any case, is reserved by Firebird, so that it can stand
// as a name only as a delimited identifier.
[[nodiscard]] bool isReservedWord(const QString &word);

// A user or relation name on its way into a statement. A name read from the
// catalogue must reach exactly the object stored under it; a name the
// administrator typed means what it would mean written into SQL by hand.
// Either way the text cannot end the identifier early and add words of its
// own to the statement.
class SqlName
{
public:
    // The exact name stored in the catalogue.
    [[nodiscard]] static SqlName stored(const QString &name) { return SqlName(name, false); }
    // An identifier as written in SQL: an unquoted one is upper-cased by the
    // server.
    [[nodiscard]] static SqlName typed(const QString &text) { return SqlName(text, true); }

    [[nodiscard]] const QString &text() const { return m_text; }
    // The identifier as it goes into the statement: bare where that means
    // the same, else delimited in double quotes.
    [[nodiscard]] QString sql() const;
    // The name the server stores for it: a typed regular identifier is
    // upper-cased, and trailing blanks never count.
    [[nodiscard]] QString storedText() const;

private:
    SqlName(const QString &text, bool typed) : m_text(text), m_typed(typed) {}

    QString m_text;
    bool m_typed;
};

} // namespace db
