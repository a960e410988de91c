#pragma once

#include "DataSetModel.h"

#include <QTableView>
#include <functional>

namespace ui {

class GridDelegate;
class IndicatorHeader;
class PopupMenu;

// The modifier keys a key handler looks at: Shift, Alt and Ctrl.
[[nodiscard]] Qt::KeyboardModifiers shiftState(Qt::KeyboardModifiers modifiers);

// A grid over one dataset: moving in the grid moves the dataset, and the grid
// follows every move of the dataset. No in-place editing.
class DBGrid : public QTableView
{
    Q_OBJECT
public:
    // The handler may set the key to 0 to keep it from the grid.
    using KeyHandler = std::function<void(DBGrid &, int &key, Qt::KeyboardModifiers)>;
    using Handler = std::function<void(DBGrid &)>;

    explicit DBGrid(QWidget *parent = nullptr);

    void setDataSource(db::TDataSource *source);
    [[nodiscard]] db::TDataSource *dataSource() const { return m_model.dataSource(); }
    [[nodiscard]] db::TDataSet *dataSet() const { return m_model.dataSet(); }
    [[nodiscard]] DataSetModel &dataModel() { return m_model; }

    void setColumns(const QList<GridColumn> &columns);
    [[nodiscard]] const QList<GridColumn> &columns() const { return m_model.columns(); }
    void setColumnFieldName(int column, const QString &fieldName);

    // Whole-row selection, or one current cell.
    void setRowSelect(bool rowSelect);
    // A column at the left marking the current row; not counted as a column.
    void setIndicator(bool indicator);

    // The current column, 0 being the first data column.
    [[nodiscard]] int selectedIndex() const { return m_selectedIndex; }
    void setSelectedIndex(int column);

    [[nodiscard]] PopupMenu *popupMenu() const { return m_popupMenu; }
    void setPopupMenu(PopupMenu *menu) { m_popupMenu = menu; }

    void setOnKeyDown(KeyHandler handler) { m_onKeyDown = std::move(handler); }
    void setOnDblClick(Handler handler) { m_onDblClick = std::move(handler); }
    void setOnColEnter(Handler handler) { m_onColEnter = std::move(handler); }
    // Pixels the first column takes beyond its own width, where the grid has
    // been made wider than designed.
    void setFirstColumnGrowth(int pixels);
    // The tooltip of a cell, where it has more to tell than its text; empty
    // for none, and then a cut text shows whole.
    using CellHint = std::function<QString(int row, int column)>;
    void setOnCellHint(CellHint hint) { m_onCellHint = std::move(hint); }
    // The picture, of the given size, before a cell's text, such as the kind
    // of the row's name.
    void setOnCellDecoration(DataSetModel::Decoration decoration, QSize pictureSize);
    void setOnCellStyle(DataSetModel::CellStyle style) { m_model.setCellStyle(std::move(style)); }
    // A row of headings over the columns, from their titles.
    void setShowTitles(bool show);

    // Searching by typed letters is the program's own business, through the
    // key handler: the grid itself does none.
    void keyboardSearch(const QString &) override {}

    // A click acts on the row under the mouse: scrolling a half-shown row
    // into full view while the button is down would slide another row under
    // it, which the release, or the second click of a double-click, would
    // then take. The grid scrolls for keys and moves of the dataset alone.
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;

protected:
    bool viewportEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    // Repaints, of the cells reported changed, those in sight that no longer
    // look as they were painted.
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = QList<int>()) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void followDataSet(int row);
    // The highlighted row is always the dataset's current one, which every
    // command acts on.
    void highlightCurrentRow();
    void applyColumnWidths();
    void enterColumn(int column);
    [[nodiscard]] bool isCut(const QModelIndex &index) const;
    [[nodiscard]] int decorationWidth() const;
    // The first and last rows in sight; the first past the last where none is.
    [[nodiscard]] std::pair<int, int> rowsInSight() const;
    [[nodiscard]] const GridDelegate *gridDelegate() const;

    DataSetModel m_model;
    IndicatorHeader *m_indicator = nullptr;
    // The row whose mark the indicator column shows.
    int m_markedRow = -1;
    PopupMenu *m_popupMenu = nullptr;
    KeyHandler m_onKeyDown;
    Handler m_onDblClick;
    Handler m_onColEnter;
    CellHint m_onCellHint;
    int m_firstColumnGrowth = 0;
    int m_selectedIndex = 0;
    bool m_following = false;
    bool m_mouseDown = false;
};

} // namespace ui
