#include "Names.h"

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
