#include "Table.h"

#include "Client.h"
#include "Database.h"
#include "Exception.h"
#include "SqlLog.h"

namespace db {

void TTable::setTableName(const QString &name)
{
    checkInactive(QStringLiteral("change the table"));
    m_tableName = name;
}

void TTable::setIndexFieldName(const QString &name)
{
    checkInactive(QStringLiteral("change the index"));
    m_indexFieldName = name;
}

QString TTable::selectText() const
{
    QStringList columns;
    for (int i = 0; i < fieldCount(); ++i) {
        if (!fields(i)->isCalculated())
            columns.append(fields(i)->fieldName());
    }
    QString statement =
        QStringLiteral("SELECT %1 FROM %2").arg(columns.join(QStringLiteral(", ")), m_tableName);
    if (!m_indexFieldName.isEmpty())
        statement += QStringLiteral(" ORDER BY ") + m_indexFieldName;
    return statement;
}

client::Cursor &TTable::executeSelect()
{
    const QString statement = selectText();
    m_select = &database().statement(statement);
    qCDebug(lcSql).noquote() << "open" << statement;
    return m_select->open(database().currentTransaction(), {});
}

void TTable::releaseSelect()
{
    if (m_select)
        m_select->closeCursor();
}

void TTable::afterRowsFetched()
{
    m_keys.clear();
    const TField *key = fieldByName(m_indexFieldName);
    const int rows = recordCount();
    m_keys.reserve(rows);
    // Keep the first of equal keys, as a walk in index order would find it.
    for (int row = rows - 1; row >= 0; --row)
        m_keys.insert(key->textAt(row), row);
}

bool TTable::findKey(const QString &key)
{
    checkActive();
    const auto found = m_keys.constFind(key);
    if (found == m_keys.cend())
        return false;
    moveBy(found.value() - recNo());
    return true;
}

void TTable::connectionClosing()
{
    TDataSet::connectionClosing();
    m_select = nullptr;
}

} // namespace db
