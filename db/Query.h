#pragma once

#include "DataSet.h"

#include <QSqlQuery>
#include <QStringList>
#include <optional>

namespace db {

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

    [[nodiscard]] int paramCount() const { return int(m_paramNames.size()); }
    [[nodiscard]] QString paramName(int index) const;
    [[nodiscard]] QString paramText(int index) const;
    void setParamText(int index, const QString &text);

    // A prepared statement runs once: every open or execution after the
    // first prepares it again, so that it reads the server's current state.
    void prepare();
    [[nodiscard]] bool prepared() const { return m_statement.has_value(); }
    // Runs a statement that returns no rows; it takes effect at once.
    void execSQL();

    void connectionClosing() override;

protected:
    QSqlQuery &executeSelect() override;
    void releaseSelect() override;

private:
    void sqlChanged();
    void checkParamIndex(int index) const;
    void bindParams();
    void execute(const char *verb);

    QStringList m_sql;
    QStringList m_paramNames;
    QStringList m_paramValues;
    std::optional<QSqlQuery> m_statement;
};

// Parameter names in the order they appear, outside quotes and comments.
[[nodiscard]] QStringList parameterNames(const QString &statement);

} // namespace db
