#pragma once

#include "DataSet.h"

#include <QHash>

namespace db {

namespace client {
class Statement;
}

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
    [[nodiscard]] QString selectText() const override;

    void connectionClosing() override;

protected:
    client::Cursor &executeSelect() override;
    void afterRowsFetched() override;
    void releaseSelect() override;

private:
    QString m_tableName;
    QString m_indexFieldName;
    QHash<QString, int> m_keys;
    // The connection's statement for the table and fields as they are.
    client::Statement *m_select = nullptr;
};

} // namespace db
