#include "Query.h"

#include "Database.h"
#include "Exception.h"
#include "SqlLog.h"

#include <QSqlError>

namespace db {

namespace {

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$');
}

} // namespace

QStringList parameterNames(const QString &statement)
{
    QStringList names;
    qsizetype i = 0;
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
            names.append(statement.mid(i + 1, end - i - 1));
            i = end;
        } else {
            ++i;
        }
    }
    return names;
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
    m_statement.reset();
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
    QSqlQuery statement(database().connection());
    // Rows are fetched once, in order, into the dataset's own storage.
    statement.setForwardOnly(true);
    qCDebug(lcSql).noquote() << "prepare" << sqlText();
    if (!statement.prepare(sqlText()))
        throw kelvane::EngineError(engineMessage(statement.lastError()));
    m_statement = std::move(statement);
}

void TQuery::bindParams()
{
    for (int i = 0; i < paramCount(); ++i)
        m_statement->bindValue(i, m_paramValues[i]);
}

void TQuery::execute(const char *verb)
{
    prepare();
    bindParams();
    if (m_paramValues.isEmpty())
        qCDebug(lcSql).noquote() << verb << sqlText();
    else
        qCDebug(lcSql).noquote() << verb << sqlText() << "with"
                                 << m_paramValues.join(QStringLiteral(", "));
    if (!m_statement->exec()) {
        const QString message = engineMessage(m_statement->lastError());
        m_statement.reset();
        throw kelvane::EngineError(message);
    }
}

QSqlQuery &TQuery::executeSelect()
{
    execute("open");
    return *m_statement;
}

void TQuery::releaseSelect()
{
    // Every row is in memory, or none will be. The driver keeps a statement's
    // transaction until the statement goes, and executing it again would read
    // the old snapshot: let it go, so the next open reads the server's state.
    m_statement.reset();
}

void TQuery::execSQL()
{
    execute("execute");
    m_statement.reset();
    database().statementRan();
}

void TQuery::connectionClosing()
{
    TDataSet::connectionClosing();
    m_statement.reset();
}

} // namespace db
