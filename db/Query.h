#pragma once

#include "DataSet.h"

#include <QStringList>
#include <functional>

namespace db {

namespace client {
class Statement;
class Transaction;
} // namespace client

// A statement given as a list of lines; its parameters (":Name") are derived
// from the text and set by position, as text.
class TQuery : public TDataSet
{
public:
    using TDataSet::TDataSet;

    // Changing the text closes the query and drops the prepared statement.
    void sqlClear();
    void sqlAdd(const QString &line);
    [[nodiscard]] const QStringList &sql() const { return m_sql; }
    [[nodiscard]] QString sqlText() const { return m_sql.join(QLatin1Char('\n')); }
    [[nodiscard]] QString selectText() const override { return sqlText(); }

    [[nodiscard]] int paramCount() const { return int(m_paramNames.size()); }
    [[nodiscard]] QString paramName(int index) const;
    [[nodiscard]] QString paramText(int index) const;
    void setParamText(int index, const QString &text);

    // Prepared once for the connection, at the first open or execution of
    // its text, and kept until the connection closes: each open after the
    // first is one execution with its fetch. Every open reads the server as
    // it is then.
    void prepare();
    [[nodiscard]] bool prepared() const { return m_statement != nullptr; }
    // Runs a statement that returns no rows: in the running command's
    // transaction, else in one of its own, committed at once. One without
    // parameters that was not prepared goes to the server as it is.
    void execSQL();
    // Logs the query's text and parameters under the verb ("open").
    void logExecution(const char *verb) const;

    void connectionClosing() override;

protected:
    client::Cursor &executeSelect() override;
    void releaseSelect() override;

private:
    void sqlChanged();
    void checkParamIndex(int index) const;
    void executeIn(client::Transaction &transaction);

    QStringList m_sql;
    QStringList m_paramNames;
    QStringList m_paramValues;
    // The connection's, for the text as it is now.
    client::Statement *m_statement = nullptr;
};

// The parameters (":Name") of a statement in the order they appear, outside
// quotes and comments, and its text with each one replaced by "?", as the
// server takes it, or by what `replace` makes of its position.
struct ParsedStatement
{
    QString text;
    QStringList names;
};
[[nodiscard]] ParsedStatement
parseParameters(const QString &statement, const std::function<QString(qsizetype)> &replace = {});
[[nodiscard]] QStringList parameterNames(const QString &statement);

} // namespace db
