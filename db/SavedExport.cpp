#include "SavedExport.h"

#include "DdlPrivileges.h"
#include "Exception.h"
#include "Names.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>

#include <sys/stat.h>

namespace db {

namespace {

constexpr QLatin1StringView FirstLine("-- Privileges of ");
constexpr QLatin1StringView EveryPrivilege("every privilege");

struct Token
{
    QString text;
    bool quoted = false; // a delimited identifier, never a keyword
    int line = 0;
};

// One statement's tokens, without its ";".
struct Statement
{
    QList<Token> tokens;
    int line = 0;
};

bool isIdentifierCharacter(QChar c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
           c == u'_' || c == u'$';
}

class ExportReader
{
public:
    ExportReader(const QString &text, const QString &name, const Catalogue *database)
        : m_text(text), m_name(name), m_database(database)
    {
    }

    Catalogue read()
    {
        const qsizetype promised = promisedStatements();
        Catalogue catalogue;
        catalogue.isSavedFile = true;
        // A file from the other server numbers DDL privileges as this one
        // does once read: it is compared with this one's rows.
        catalogue.isFirebird3 = m_database ? m_database->isFirebird3 : true;
        if (m_database)
            catalogue.owners = m_database->owners;
        const QList<Statement> statements = statementsOfText();
        const bool committed = !statements.isEmpty() && statements.last().tokens.size() == 1 &&
                               isKeyword(statements.last().tokens.first(), "COMMIT");
        if (!committed)
            fail(m_line, QStringLiteral("it does not end with COMMIT; it may have been cut short"));
        for (qsizetype i = 0; i + 1 < statements.size(); ++i)
            catalogue.rows += rowsOf(statements.at(i), catalogue.isFirebird3);
        if (statements.size() - 1 != promised)
            fail(m_line, QStringLiteral("it holds %1 GRANT statement(s) where its header says %2")
                             .arg(statements.size() - 1)
                             .arg(promised));
        return catalogue;
    }

private:
    [[noreturn]] void fail(int line, const QString &why) const
    {
        throw kelvane::Exception(QStringLiteral("%1, line %2: %3. Nothing was compared.")
                                     .arg(m_name)
                                     .arg(line)
                                     .arg(why));
    }

    static bool isKeyword(const Token &token, const char *word)
    {
        return !token.quoted && token.text == QLatin1String(word);
    }

    // The count the header gives, after checking the file is one the export
    // wrote and of every privilege.
    qsizetype promisedStatements() const
    {
        if (!m_text.startsWith(FirstLine))
            fail(1, QStringLiteral("not privileges saved by Kelvane, which begin \"%1\"")
                        .arg(FirstLine.trimmed()));
        static const QRegularExpression exported(
            QStringLiteral("^-- Exported: (.*), (\\d+) GRANT statement\\(s\\)\\.$"));
        QRegularExpressionMatch match;
        for (const QStringView line : QStringView(m_text).split(u'\n')) {
            if (!line.startsWith(QLatin1String("--")))
                break; // the header is the comment lines the file begins with
            match = exported.match(line.toString());
            if (match.hasMatch())
                break;
        }
        if (!match.hasMatch())
            fail(2, QStringLiteral("the header does not say what was exported"));
        if (match.captured(1) != EveryPrivilege)
            fail(2, QStringLiteral("it holds only %1; a comparison needs every privilege, as "
                                   "\"Save ALL privileges as SQL...\" and kelvane --export save "
                                   "them")
                        .arg(match.captured(1)));
        return match.captured(2).toLongLong();
    }

    QList<Statement> statementsOfText()
    {
        QList<Statement> statements;
        Statement current;
        m_line = 1;
        for (qsizetype at = 0; at < m_text.size();) {
            const QChar c = m_text.at(at);
            if (c == u'\n') {
                ++m_line;
                ++at;
            } else if (c.isSpace()) {
                ++at;
            } else if (QStringView(m_text).mid(at, 2) == QLatin1String("--")) {
                while (at < m_text.size() && m_text.at(at) != u'\n')
                    ++at;
            } else if (c == u';') {
                if (current.tokens.isEmpty())
                    fail(m_line, QStringLiteral("an empty statement"));
                statements.append(current);
                current = {};
                ++at;
            } else {
                if (!statements.isEmpty() && statements.last().tokens.size() == 1 &&
                    isKeyword(statements.last().tokens.first(), "COMMIT"))
                    fail(m_line, QStringLiteral("a statement after COMMIT"));
                if (current.tokens.isEmpty())
                    current.line = m_line;
                current.tokens.append(tokenAt(at));
            }
        }
        if (!current.tokens.isEmpty())
            fail(current.line, QStringLiteral("a statement not ended with \";\""));
        return statements;
    }

    // The token at the position, which it moves past.
    Token tokenAt(qsizetype &at)
    {
        Token token{{}, false, m_line};
        const QChar c = m_text.at(at);
        if (c == u'(' || c == u')' || c == u',') {
            token.text = c;
            ++at;
        } else if (c == u'"') {
            token.quoted = true;
            for (++at;; ++at) {
                if (at >= m_text.size())
                    fail(token.line, QStringLiteral("a name whose closing quote is missing"));
                if (m_text.at(at) == u'\n')
                    ++m_line;
                if (m_text.at(at) != u'"') {
                    token.text += m_text.at(at);
                } else if (QStringView(m_text).mid(at, 2) == QLatin1String("\"\"")) {
                    token.text += u'"';
                    ++at;
                } else {
                    ++at;
                    break;
                }
            }
        } else if (isIdentifierCharacter(c)) {
            while (at < m_text.size() && isIdentifierCharacter(m_text.at(at)))
                token.text += m_text.at(at++);
        } else {
            fail(m_line, QStringLiteral("the character \"%1\" has no place in a statement").arg(c));
        }
        return token;
    }

    // Reads one GRANT statement as the export writes it:
    // GRANT clause TO kind grantee [WITH GRANT|ADMIN OPTION] GRANTED BY grantor
    class Cursor
    {
    public:
        Cursor(const ExportReader &reader, const Statement &statement)
            : m_reader(reader), m_statement(statement)
        {
        }

        [[nodiscard]] bool atEnd() const { return m_at >= m_statement.tokens.size(); }
        [[nodiscard]] bool at(const char *word) const
        {
            return !atEnd() && isKeyword(m_statement.tokens.at(m_at), word);
        }
        bool take(const char *word)
        {
            if (!at(word))
                return false;
            ++m_at;
            return true;
        }
        void expect(const char *word)
        {
            if (!take(word))
                fail(QStringLiteral("%1 expected").arg(QLatin1String(word)));
        }
        // A keyword: an unquoted word.
        QString keyword()
        {
            if (atEnd() || m_statement.tokens.at(m_at).quoted)
                fail(QStringLiteral("a keyword expected"));
            return m_statement.tokens.at(m_at++).text;
        }
        // A name as the server stores it: a bare one upper-cased.
        QString name()
        {
            if (atEnd() || !isIdentifier(m_statement.tokens.at(m_at)))
                fail(QStringLiteral("a name expected"));
            const Token &token = m_statement.tokens.at(m_at++);
            return token.quoted ? token.text : upperCaseAscii(token.text);
        }
        // The words up to the next bare TO, which the clause ends with.
        QList<Token> clause()
        {
            QList<Token> tokens;
            while (!atEnd() && !at("TO"))
                tokens.append(m_statement.tokens.at(m_at++));
            return tokens;
        }
        [[noreturn]] void fail(const QString &what) const
        {
            const QList<Token> &tokens = m_statement.tokens;
            const int line = tokens.isEmpty() ? m_statement.line
                                              : tokens.at(std::min(m_at, tokens.size() - 1)).line;
            m_reader.fail(line, what + QStringLiteral(" in a statement the export does not write"));
        }
        // Whether the next token is a delimited identifier.
        [[nodiscard]] bool atQuoted() const
        {
            return !atEnd() && m_statement.tokens.at(m_at).quoted;
        }

    private:
        static bool isIdentifier(const Token &token)
        {
            return token.quoted || isIdentifierCharacter(token.text.front());
        }

        const ExportReader &m_reader;
        const Statement &m_statement;
        qsizetype m_at = 0;
    };

    static QString textOf(const QList<Token> &tokens)
    {
        QStringList words;
        for (const Token &token : tokens) {
            if (token.quoted)
                return {};
            words.append(token.text);
        }
        return words.join(u' ');
    }

    // The kind a keyword names ("PROCEDURE"), among those given.
    static int kindOfKeyword(const QString &keyword, std::initializer_list<int> kinds)
    {
        for (int kind : kinds) {
            if (kindKeyword(kind).trimmed() == keyword)
                return kind;
        }
        return -1;
    }

    QList<GrantRow> rowsOf(const Statement &statement, bool firebird3) const
    {
        Cursor cursor(*this, statement);
        cursor.expect("GRANT");
        GrantRow row;
        QStringList columns;
        const QList<Token> clause = cursor.clause();
        const QString words = textOf(clause);
        if (!ddlObjectOf(words).isEmpty()) {
            row.object = ddlObjectOf(words);
            row.objectType = ddlObjectType(row.object, firebird3);
            row.privilege = ddlLetterOf(words);
        } else {
            const Statement clauseAlone{clause, statement.line};
            Cursor within(*this, clauseAlone);
            readObject(within, row, columns);
        }
        cursor.expect("TO");
        const QString keyword = cursor.keyword();
        row.granteeType = keyword == QLatin1String("USER") ? kind::User
                          : keyword == QLatin1String("ROLE")
                              ? kind::Role
                              : kindOfKeyword(keyword, {kind::View, kind::Trigger, kind::Procedure,
                                                        kind::Function, kind::Package});
        if (row.granteeType < 0)
            cursor.fail(QStringLiteral("a kind of grantee"));
        row.grantee = cursor.name();
        if (cursor.take("WITH")) {
            const bool admin = row.objectType == kind::Role;
            cursor.expect(admin ? "ADMIN" : "GRANT");
            cursor.expect("OPTION");
            row.option = admin ? 2 : 1;
        }
        cursor.expect("GRANTED");
        cursor.expect("BY");
        row.grantor = cursor.name();
        if (!cursor.atEnd())
            cursor.fail(QStringLiteral("the end"));
        if (columns.isEmpty())
            return {row};
        QList<GrantRow> rows;
        for (const QString &column : std::as_const(columns)) {
            row.column = column;
            rows.append(row);
        }
        return rows;
    }

    // What the clause before TO grants: a role ([DEFAULT] role), or a word
    // on an object (SELECT (columns) ON T, EXECUTE ON PROCEDURE P).
    static void readObject(Cursor &clause, GrantRow &row, QStringList &columns)
    {
        const bool isDefault = clause.take("DEFAULT");
        const bool quoted = clause.atQuoted();
        const QString first = clause.name();
        if (clause.atEnd()) {
            row.object = first;
            row.objectType = kind::Role;
            row.privilege = singleLetterOf(kind::Role);
            if (isDefault)
                columns.append(QStringLiteral("D"));
            return;
        }
        if (isDefault)
            clause.fail(QStringLiteral("a role after DEFAULT"));
        row.privilege = quoted ? QChar() : letterOfWord(first);
        if (row.privilege.isNull())
            clause.fail(QStringLiteral("a privilege"));
        if (clause.take("(")) {
            do
                columns.append(clause.name());
            while (clause.take(","));
            clause.expect(")");
        }
        clause.expect("ON");
        row.objectType = kind::Relation;
        const bool onRelation = QStringLiteral("SUIDR").contains(row.privilege);
        if (!onRelation) {
            row.objectType =
                kindOfKeyword(clause.keyword(), {kind::Procedure, kind::Function, kind::Package,
                                                 kind::Sequence, kind::Exception});
            if (row.objectType < 0 || singleLetterOf(row.objectType) != row.privilege ||
                !columns.isEmpty())
                clause.fail(QStringLiteral("a kind of object for %1").arg(first));
        }
        row.object = clause.name();
        if (!clause.atEnd())
            clause.fail(QStringLiteral("TO"));
    }

    QString m_text;
    QString m_name;
    const Catalogue *m_database;
    int m_line = 1;
};

} // namespace

bool isSavedExport(const QString &path)
{
    struct stat status
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) &&
           file.read(FirstLine.size()) == QByteArrayView(FirstLine.data(), FirstLine.size());
}

Catalogue catalogueOfExport(const QByteArray &text, const QString &name, const Catalogue *database)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8(text);
    if (utf8.hasError())
        throw kelvane::Exception(
            QStringLiteral("%1 is not UTF-8, as the export writes. Nothing was compared.")
                .arg(name));
    return ExportReader(decoded, name, database).read();
}

Catalogue readSavedExport(const QString &path, const Catalogue *database)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw kelvane::Exception(
            QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw kelvane::Exception(
            QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    return catalogueOfExport(text, path, database);
}

} // namespace db
