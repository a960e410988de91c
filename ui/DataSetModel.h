#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QList>
#include <QPointer>
#include <functional>
#include <optional>

#include "db/DataSet.h"

namespace ui {

// One column of a data-bound grid, bound to a field by its name.
struct GridColumn
{
    explicit GridColumn(const QString &fieldName = {}, int width = 0,
                        Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter,
                        std::optional<QFont> font = {}, std::optional<QColor> color = {})
        : fieldName(fieldName), width(width), alignment(alignment), font(std::move(font)),
          color(std::move(color))
    {
    }

    QString fieldName;
    int width; // pixels; 0 takes the field's display width
    Qt::Alignment alignment;
    std::optional<QFont> font;
    std::optional<QColor> color;
    // The heading, where the grid shows headings, and what its tooltip says.
    QString title{};
    QString titleHint{};
};

// The rows of a data source's dataset as a table. Row count and columns are
// taken when the dataset announces a change, so that a dataset re-read while
// its controls are disabled never shows half-way states.
class DataSetModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit DataSetModel(QObject *parent = nullptr);

    void setDataSource(db::TDataSource *source);
    [[nodiscard]] db::TDataSource *dataSource() const { return m_source; }
    [[nodiscard]] db::TDataSet *dataSet() const;

    // No columns given: one column per field of the dataset, in field order.
    void setColumns(const QList<GridColumn> &columns);
    [[nodiscard]] const QList<GridColumn> &columns() const { return m_columns; }
    void setColumnFieldName(int column, const QString &fieldName);
    [[nodiscard]] GridColumn effectiveColumn(int column) const;

    [[nodiscard]] int currentRow() const { return m_currentRow; }

    // The picture shown before a cell's text, where there is one.
    using Decoration = std::function<QIcon(int row, int column)>;
    void setDecoration(Decoration decoration) { m_decoration = std::move(decoration); }
    [[nodiscard]] bool hasDecoration() const { return bool(m_decoration); }

    // How one cell differs from its column's look, where it does.
    struct CellLook
    {
        std::optional<QFont> font;
        std::optional<QColor> background;
    };
    using CellStyle = std::function<CellLook(int row, int column)>;
    void setCellStyle(CellStyle style) { m_cellStyle = std::move(style); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // A painted cell asks for all its roles at once: its own look is worked
    // out once for them, not once for its font and again for its background.
    void multiData(const QModelIndex &index, QModelRoleDataSpan roleDataSpan) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    // The dataset's current row, after a reset or a scroll; -1 for none.
    void currentRowChanged(int row);

private:
    void reload();
    void followScroll();
    void valuesChanged();
    [[nodiscard]] int datasetCurrentRow() const;
    [[nodiscard]] bool hasOwnLook(const QModelIndex &index) const;
    // The font and the background a cell with the look is shown in.
    [[nodiscard]] static QVariant lookData(int role, const CellLook &look,
                                           const GridColumn &column);

    QPointer<db::TDataSource> m_source;
    QList<GridColumn> m_columns;
    QList<GridColumn> m_effective;
    Decoration m_decoration;
    CellStyle m_cellStyle;
    int m_rows = 0;
    int m_currentRow = -1;
};

} // namespace ui
