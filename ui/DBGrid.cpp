#include "DBGrid.h"

#include "Application.h"
#include "GridDelegate.h"
#include "PopupMenu.h"
#include "db/DataSet.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QToolTip>

namespace ui {

// The row indicator's column, as wide as it is set. QHeaderView measures its
// labels for its size hint, and drops that measure whenever a label changes:
// marking the current row made the view measure a hundred rows' labels at
// every move, for a column whose width never changes.
class IndicatorHeader : public QHeaderView
{
public:
    explicit IndicatorHeader(QWidget *parent) : QHeaderView(Qt::Vertical, parent)
    {
        // As the view's own vertical header has them.
        setSectionsClickable(true);
        setHighlightSections(true);
    }
    [[nodiscard]] QSize sizeHint() const override { return {maximumWidth(), 0}; }

    // Repaints the mark where it was and where it is now, and nothing else.
    void moveMark(int from, int to)
    {
        if (!isVisible())
            return;
        if (from >= 0)
            updateSection(from);
        if (to >= 0 && to != from)
            updateSection(to);
    }
};

Qt::KeyboardModifiers shiftState(Qt::KeyboardModifiers modifiers)
{
    return modifiers & (Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier);
}

DBGrid::DBGrid(QWidget *parent) : QTableView(parent), m_model(this)
{
    m_indicator = new IndicatorHeader(this);
    setVerticalHeader(m_indicator);
    setModel(&m_model);
    setItemDelegate(new GridDelegate(this));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setTabKeyNavigation(true);
    setShowGrid(true);
    setWordWrap(false);
    horizontalHeader()->hide();
    // Columns as narrow as a one-letter cell; the style's minimum is wider.
    horizontalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    verticalHeader()->setMinimumSectionSize(fontMetrics().height() + 2);
    verticalHeader()->hide();
    // The selection stays visible while another control has the focus.
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);
    connect(&m_model, &DataSetModel::currentRowChanged, this, &DBGrid::followDataSet);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &DBGrid::applyColumnWidths);
}

void DBGrid::setDataSource(db::TDataSource *source)
{
    m_model.setDataSource(source);
}

void DBGrid::setColumns(const QList<GridColumn> &columns)
{
    m_model.setColumns(columns);
}

void DBGrid::setColumnFieldName(int column, const QString &fieldName)
{
    m_model.setColumnFieldName(column, fieldName);
}

void DBGrid::setShowTitles(bool show)
{
    horizontalHeader()->setVisible(show);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setFixedHeight(show ? fontMetrics().height() + 6 : 0);
}

void DBGrid::setOnCellDecoration(DataSetModel::Decoration decoration, QSize pictureSize)
{
    m_model.setDecoration(std::move(decoration));
    // The first column makes room for the picture.
    setIconSize(pictureSize);
    applyColumnWidths();
}

void DBGrid::setRowSelect(bool rowSelect)
{
    setSelectionBehavior(rowSelect ? QAbstractItemView::SelectRows
                                   : QAbstractItemView::SelectItems);
}

void DBGrid::setIndicator(bool indicator)
{
    verticalHeader()->setVisible(indicator);
    verticalHeader()->setFixedWidth(indicator ? 12 : 0);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
}

void DBGrid::setSelectedIndex(int column)
{
    if (column < 0 || column >= m_model.columnCount())
        return;
    if (m_model.currentRow() >= 0)
        setCurrentIndex(m_model.index(m_model.currentRow(), column));
    else
        enterColumn(column);
}

void DBGrid::setFirstColumnGrowth(int pixels)
{
    if (pixels == m_firstColumnGrowth)
        return;
    m_firstColumnGrowth = pixels;
    applyColumnWidths();
}

void DBGrid::applyColumnWidths()
{
    const int charWidth = fontMetrics().averageCharWidth();
    const db::TDataSet *ds = dataSet();
    int total = 0;
    for (int i = 0; i < m_model.columnCount(); ++i) {
        const GridColumn column = m_model.effectiveColumn(i);
        int width = column.width;
        if (width <= 0) {
            const db::TField *field = ds ? ds->findField(column.fieldName) : nullptr;
            width = (field ? field->displayWidth() : 10) * charWidth + 4;
        }
        if (i == 0)
            width += std::max(0, m_firstColumnGrowth) + decorationWidth();
        setColumnWidth(i, width);
        total += width;
    }
    // Keep every column in sight: a first column sized by its display width
    // gives up what the grid lacks (the room beside the indicator, less a
    // vertical scroll bar), rather than pushing the last column out.
    const int available = maximumViewportSize().width() - verticalScrollBar()->sizeHint().width();
    if (total > available && m_model.columnCount() > 1 && m_model.effectiveColumn(0).width <= 0)
        setColumnWidth(0, std::max(charWidth * 8, columnWidth(0) - (total - available)));
}

int DBGrid::decorationWidth() const
{
    // The picture and the gap the style leaves between it and the text.
    return m_model.hasDecoration() ? iconSize().width() + 4 : 0;
}

void DBGrid::followDataSet(int row)
{
    m_indicator->moveMark(m_markedRow, row);
    m_markedRow = row;
    QScopedValueRollback following(m_following, true);
    if (row < 0) {
        selectionModel()->clearCurrentIndex();
        clearSelection();
        return;
    }
    const int column = std::min(m_selectedIndex, std::max(0, m_model.columnCount() - 1));
    const QModelIndex index = m_model.index(row, column);
    setCurrentIndex(index);
    scrollTo(index);
}

void DBGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (m_following || !current.isValid())
        return;
    if (current.column() != m_selectedIndex)
        enterColumn(current.column());
    db::TDataSet *ds = dataSet();
    if (ds && ds->active() && current.row() != ds->recNo()) {
        const int distance = current.row() - ds->recNo();
        guarded([&] { ds->moveBy(distance); });
        // The move may have failed half-way or been redirected by a handler.
        if (ds->active() && ds->recNo() != current.row())
            followDataSet(ds->recNo());
    }
}

const GridDelegate *DBGrid::gridDelegate() const
{
    return dynamic_cast<const GridDelegate *>(itemDelegate());
}

std::pair<int, int> DBGrid::rowsInSight() const
{
    const int first = rowAt(0);
    if (first < 0)
        return {0, -1};
    const int last = rowAt(viewport()->height() - 1);
    return {first, last < 0 ? m_model.rowCount() - 1 : last};
}

void DBGrid::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                         const QList<int> &roles)
{
    const GridDelegate *delegate = gridDelegate();
    if (!delegate || topLeft == bottomRight || !isVisible()) {
        QTableView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    // A move recalculates every cell of the detail grid, and most of those
    // in sight look as they did: a user's privileges are much like the
    // last one's. One cell at a time, the view repaints only the others.
    const auto [first, last] = rowsInSight();
    delegate->forgetRowsOutside(first, last);
    for (int row = std::max(first, topLeft.row()); row <= std::min(last, bottomRight.row());
         ++row) {
        for (int column = topLeft.column(); column <= bottomRight.column(); ++column) {
            const QModelIndex cell = m_model.index(row, column);
            if (!delegate->showsAsNow(cell))
                QTableView::dataChanged(cell, cell, roles);
        }
    }
}

void DBGrid::scrollContentsBy(int dx, int dy)
{
    QTableView::scrollContentsBy(dx, dy);
    if (const GridDelegate *delegate = gridDelegate()) {
        const auto [first, last] = rowsInSight();
        delegate->forgetRowsOutside(first, last);
    }
}

void DBGrid::enterColumn(int column)
{
    m_selectedIndex = column;
    if (m_onColEnter)
        guarded([&] { m_onColEnter(*this); });
}

bool DBGrid::isCut(const QModelIndex &index) const
{
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty())
        return false;
    const QVariant font = index.data(Qt::FontRole);
    const QFontMetrics metrics(font.isValid() ? font.value<QFont>() : this->font());
    // The style keeps this margin on either side of an item's text.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const int room = visualRect(index).width() - 2 * margin -
                     (index.data(Qt::DecorationRole).isValid() ? decorationWidth() : 0);
    return metrics.horizontalAdvance(text) > room;
}

bool DBGrid::viewportEvent(QEvent *event)
{
    // A name too long for its column ends in an ellipsis; hovering it shows
    // it whole. A text that fits needs no tooltip repeating it.
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = indexAt(help->pos());
        const QString hint =
            index.isValid() && m_onCellHint ? m_onCellHint(index.row(), index.column()) : QString();
        if (!hint.isEmpty())
            QToolTip::showText(help->globalPos(), hint, viewport(), visualRect(index));
        else if (index.isValid() && isCut(index))
            QToolTip::showText(help->globalPos(), index.data(Qt::ToolTipRole).toString(),
                               viewport(), visualRect(index));
        else
            QToolTip::hideText();
        return true;
    }
    return QTableView::viewportEvent(event);
}

void DBGrid::keyPressEvent(QKeyEvent *event)
{
    m_mouseDown = false;
    if (m_onKeyDown) {
        int key = event->key();
        const bool completed =
            guarded([&] { m_onKeyDown(*this, key, shiftState(event->modifiers())); });
        if (!completed || key == 0) {
            event->accept();
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

void DBGrid::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (!m_mouseDown)
        QTableView::scrollTo(index, hint);
}

void DBGrid::highlightCurrentRow()
{
    const db::TDataSet *ds = dataSet();
    if (!ds || !ds->active() || ds->recNo() < 0)
        return;
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    const bool onCurrent = currentIndex().row() == ds->recNo() && selected.size() >= 1 &&
                           std::all_of(selected.begin(), selected.end(), [&](const QModelIndex &i) {
                               return i.row() == ds->recNo();
                           });
    if (!onCurrent)
        followDataSet(ds->recNo());
}

void DBGrid::mousePressEvent(QMouseEvent *event)
{
    m_mouseDown = true;
    QTableView::mousePressEvent(event);
    highlightCurrentRow();
}

void DBGrid::mouseReleaseEvent(QMouseEvent *event)
{
    QTableView::mouseReleaseEvent(event);
    m_mouseDown = false;
    highlightCurrentRow();
}

void DBGrid::focusOutEvent(QFocusEvent *event)
{
    // A release that went to a menu or dialog opened by the press.
    m_mouseDown = false;
    QTableView::focusOutEvent(event);
}

void DBGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    m_mouseDown = true;
    QTableView::mouseDoubleClickEvent(event);
    highlightCurrentRow();
    // Only a double-click on the current row is one on the cell it acts on:
    // below the last row, or where the first click did not take, it is none.
    const QModelIndex index = indexAt(event->position().toPoint());
    const db::TDataSet *ds = dataSet();
    if (!index.isValid() || !ds || index.row() != ds->recNo())
        return;
    if (m_onDblClick)
        guarded([&] { m_onDblClick(*this); });
}

void DBGrid::contextMenuEvent(QContextMenuEvent *event)
{
    if (!m_popupMenu)
        return;
    QPoint position = event->globalPos();
    if (event->reason() == QContextMenuEvent::Keyboard && currentIndex().isValid())
        position = viewport()->mapToGlobal(visualRect(currentIndex()).center());
    m_popupMenu->popupFor(this, position);
}

} // namespace ui
