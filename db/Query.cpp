#include "Query.h"

#include "Client.h"
#include "Database.h"
#include "Exception.h"
#include "SqlLog.h"

namespace db {

namespace {

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$');
}

} // namespace

ParsedStatement parseParameters(const QString &statement,
                                const std::function<QString(qsizetype)> &replace)
{
    ParsedStatement parsed;
    qsizetype i = 0;
    qsizetype copied = 0;
    const qsizetype n = statement.size();
    while (i < n) {
        const QChar c = statement.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            const qsizetype close = statement.indexOf(c, i + 1);
            i = close < 0 ? n : close + 1;
        } else if (c == QLatin1Char('-') && statement.mid(i, 2) == QLatin1String("--")) {
            const qsizetype eol = statement.indexOf(QLatin1Char('\n'), i);
            i = eol < 0 ? n : eol + 1;
        } else if (c == QLatin1Char('/') && statement.mid(i, 2) == QLatin1String("/*")) {
            const qsizetype close = statement.indexOf(QLatin1String("*/"), i + 2);
            i = close < 0 ? n : close + 2;
        } else if (c == QLatin1Char(':') && i + 1 < n && isNameChar(statement.at(i + 1))) {
            qsizetype end = i + 1;
            while (end < n && isNameChar(statement.at(end)))
                ++end;
            // The server knows parameters only by position.
            parsed.text += QStringView(statement).mid(copied, i - copied);
            parsed.text += replace ? replace(parsed.names.size()) : QStringLiteral("?");
            parsed.names.append(statement.mid(i + 1, end - i - 1));
            copied = end;
            i = end;
        } else {
            ++i;
        }
    }
    parsed.text += QStringView(statement).mid(copied);
    return parsed;
}

QStringList parameterNames(const QString &statement)
{
    return parseParameters(statement).names;
}

void TQuery::sqlClear()
{
    m_sql.clear();
    sqlChanged();
}

void TQuery::sqlAdd(const QString &line)
{
    m_sql.append(line);
    sqlChanged();
}

void TQuery::sqlChanged()
{
    close();
    m_statement = nullptr;
    m_paramNames = parameterNames(sqlText());
    m_paramValues = QStringList(m_paramNames.size(), QString());
}

void TQuery::checkParamIndex(int index) const
{
    if (index < 0 || index >= paramCount())
        throw kelvane::EngineError(
            QStringLiteral("%1: parameter index %2 out of range").arg(name()).arg(index));
}

QString TQuery::paramName(int index) const
{
    checkParamIndex(index);
    return m_paramNames[index];
}

QString TQuery::paramText(int index) const
{
    checkParamIndex(index);
    return m_paramValues[index];
}

void TQuery::setParamText(int index, const QString &text)
{
    checkParamIndex(index);
    m_paramValues[index] = text;
}

void TQuery::prepare()
{
    if (m_statement)
        return;
    client::Statement &statement = database().statement(sqlText());
    if (statement.parameterCount() != paramCount()) {
        const int taken = statement.parameterCount();
        throw kelvane::EngineError(
            QStringLiteral("%1: the server sees %2 parameters where the text names %3")
                .arg(name())
                .arg(taken)
                .arg(paramCount()));
    }
    m_statement = &statement;
}

void TQuery::logExecution(const char *verb) const
{
    if (m_paramValues.isEmpty())
        qCDebug(lcSql).noquote() << verb << sqlText();
    else
        qCDebug(lcSql).noquote() << verb << sqlText() << "with"
                                 << m_paramValues.join(QStringLiteral(", "));
}

client::Cursor &TQuery::executeSelect()
{
    logExecution("open");
    prepare();
    return m_statement->open(database().currentTransaction(), m_paramValues);
}

void TQuery::releaseSelect()
{
    // Every row is in memory, or none will be; the statement stays prepared.
    if (m_statement)
        m_statement->closeCursor();
}

void TQuery::execSQL()
{
    logExecution("execute");
    if (database().commandTransaction()) {
        executeIn(database().currentTransaction());
        database().statementRan();
        return;
    }
    // Outside a command the statement is a command of its own: it commits
    // at once, or leaves nothing.
    client::Transaction alone(database().attachment(), client::TransactionKind::Command,
                              database().lockTimeoutSeconds());
    executeIn(alone);
    alone.commit();
}

void TQuery::executeIn(client::Transaction &transaction)
{
    // A statement without parameters (a GRANT, a REVOKE) is sent as it is,
    // in one round trip, and not kept: each one names other objects.
    if (!m_statement && paramCount() == 0) {
        database().attachment().execute(transaction, sqlText());
        return;
    }
    prepare();
    m_statement->execute(transaction, m_paramValues);
}

void TQuery::connectionClosing()
{
    TDataSet::connectionClosing();
    m_statement = nullptr;
}

} // namespace db
