#include "DataSetModel.h"

#include "db/DataSet.h"

namespace ui {

DataSetModel::DataSetModel(QObject *parent) : QAbstractTableModel(parent) {}

db::TDataSet *DataSetModel::dataSet() const
{
    return m_source ? m_source->dataSet() : nullptr;
}

void DataSetModel::setDataSource(db::TDataSource *source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (m_source) {
        connect(m_source, &db::TDataSource::dataSetChanged, this, &DataSetModel::reload);
        connect(m_source, &db::TDataSource::scrolled, this, &DataSetModel::followScroll);
        connect(m_source, &db::TDataSource::valuesChanged, this, &DataSetModel::valuesChanged);
    }
    reload();
}

void DataSetModel::setColumns(const QList<GridColumn> &columns)
{
    m_columns = columns;
    reload();
}

void DataSetModel::setColumnFieldName(int column, const QString &fieldName)
{
    if (column < 0 || column >= m_columns.size())
        return;
    m_columns[column].fieldName = fieldName;
    reload();
}

GridColumn DataSetModel::effectiveColumn(int column) const
{
    return m_effective.value(column);
}

int DataSetModel::datasetCurrentRow() const
{
    const db::TDataSet *ds = dataSet();
    return ds && ds->active() ? ds->recNo() : -1;
}

void DataSetModel::reload()
{
    beginResetModel();
    const db::TDataSet *ds = dataSet();
    m_rows = ds && ds->active() ? ds->recordCount() : 0;
    m_effective = m_columns;
    if (m_effective.isEmpty() && ds) {
        for (int i = 0; i < ds->fieldCount(); ++i)
            m_effective.append(GridColumn{ds->fields(i)->fieldName()});
    }
    m_currentRow = datasetCurrentRow();
    endResetModel();
    Q_EMIT currentRowChanged(m_currentRow);
}

void DataSetModel::followScroll()
{
    m_currentRow = datasetCurrentRow();
    if (m_currentRow >= m_rows) {
        // The rows changed behind our back: a scroll cannot reach past them.
        reload();
        return;
    }
    // No headerDataChanged for the row mark: every view of the model answers
    // it by laying out and repainting all it shows, which made each move
    // repaint the whole master list. The grid repaints the two marks itself.
    Q_EMIT currentRowChanged(m_currentRow);
}

void DataSetModel::valuesChanged()
{
    // The rows are those the grid has: a repaint of what shows, not a reset
    // that makes the view measure every row again.
    const db::TDataSet *ds = dataSet();
    if (!ds || !ds->active() || ds->recordCount() != m_rows) {
        reload();
        return;
    }
    // Only the calculated columns changed: the others, names and pictures,
    // are not painted again.
    int first = -1;
    int last = -1;
    for (int column = 0; column < m_effective.size(); ++column) {
        const db::TField *field = ds->findField(m_effective[column].fieldName);
        if (!field || !field->isCalculated())
            continue;
        if (first < 0)
            first = column;
        last = column;
    }
    if (m_rows > 0 && first >= 0)
        Q_EMIT dataChanged(index(0, first), index(m_rows - 1, last));
    followScroll();
}

int DataSetModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int DataSetModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_effective.size());
}

QVariant DataSetModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const GridColumn &column = m_effective[index.column()];
    switch (role) {
    // The whole text: the grid shows it where the cell is too narrow.
    case Qt::ToolTipRole:
    case Qt::DisplayRole: {
        const db::TDataSet *ds = dataSet();
        if (!ds || !ds->active() || index.row() >= ds->recordCount())
            return {};
        const db::TField *field = ds->findField(column.fieldName);
        return field ? field->textAt(index.row()) : QString();
    }
    case Qt::DecorationRole: {
        if (!m_decoration || index.row() >= m_rows)
            return {};
        const QIcon icon = m_decoration(index.row(), index.column());
        return icon.isNull() ? QVariant() : QVariant(icon);
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(column.alignment);
    case Qt::FontRole:
    case Qt::BackgroundRole:
        return lookData(role,
                        hasOwnLook(index) ? m_cellStyle(index.row(), index.column()) : CellLook(),
                        column);
    case Qt::ForegroundRole:
        return column.color ? QVariant(*column.color) : QVariant();
    default:
        return {};
    }
}

void DataSetModel::multiData(const QModelIndex &index, QModelRoleDataSpan roleDataSpan) const
{
    std::optional<CellLook> look;
    for (QModelRoleData &roleData : roleDataSpan) {
        const int role = roleData.role();
        if ((role != Qt::FontRole && role != Qt::BackgroundRole) || !hasOwnLook(index)) {
            roleData.setData(data(index, role));
            continue;
        }
        if (!look)
            look = m_cellStyle(index.row(), index.column());
        roleData.setData(lookData(role, *look, m_effective[index.column()]));
    }
}

bool DataSetModel::hasOwnLook(const QModelIndex &index) const
{
    return m_cellStyle && checkIndex(index, CheckIndexOption::IndexIsValid) && index.row() < m_rows;
}

QVariant DataSetModel::lookData(int role, const CellLook &look, const GridColumn &column)
{
    if (role == Qt::BackgroundRole)
        return look.background ? QVariant(*look.background) : QVariant();
    if (look.font)
        return *look.font;
    return column.font ? QVariant(*column.font) : QVariant();
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical && role == Qt::DisplayRole)
        return section == m_currentRow ? QStringLiteral("\u25B8") : QString();
    if (orientation != Qt::Horizontal || section < 0 || section >= m_effective.size())
        return {};
    const GridColumn &column = m_effective[section];
    switch (role) {
    case Qt::DisplayRole:
        return column.title.isNull() ? column.fieldName : column.title;
    case Qt::ToolTipRole:
        return column.titleHint.isEmpty() ? QVariant() : QVariant(column.titleHint);
    case Qt::ForegroundRole:
        return column.color ? QVariant(*column.color) : QVariant();
    case Qt::FontRole:
        return column.font ? QVariant(*column.font) : QVariant();
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(column.alignment);
    default:
        return {};
    }
}

} // namespace ui
