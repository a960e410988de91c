#pragma once

#include "DataSet.h"

#include <QHash>
#include <QSqlQuery>
#include <optional>

namespace db {

// A read-only table ordered by one index column, with key lookup on it.
class TTable : public TDataSet
{
public:
    using TDataSet::TDataSet;

    [[nodiscard]] const QString &tableName() const { return m_tableName; }
    void setTableName(const QString &name);
    [[nodiscard]] const QString &indexFieldName() const { return m_indexFieldName; }
    void setIndexFieldName(const QString &name);

    // Stands on the row whose index column equals the key exactly, if any.
    [[nodiscard]] bool findKey(const QString &key);

    void connectionClosing() override;

protected:
    QSqlQuery &executeSelect() override;
    void afterRowsFetched() override;
    void releaseSelect() override { m_select.reset(); }

private:
    QString m_tableName;
    QString m_indexFieldName;
    QHash<QString, int> m_keys;
    std::optional<QSqlQuery> m_select;
};

} // namespace db
