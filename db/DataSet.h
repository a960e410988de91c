#pragma once

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace db {

namespace client {
class Cursor;
}

class TDatabase;
class TDataSet;
class TDataSource;

enum class FieldKind
{
    Data,
    Calculated
};

// A persistent field: it lives as long as its dataset and, for a data field,
// is bound by name to the result column of that name at every open.
class TField
{
public:
    TField(TDataSet &dataSet, int index, const QString &fieldName, FieldKind kind, int size,
           int displayWidth);

    [[nodiscard]] int index() const { return m_index; }
    [[nodiscard]] const QString &fieldName() const { return m_fieldName; }
    // Only while the dataset is closed: the binding is made at open.
    void setFieldName(const QString &name);
    [[nodiscard]] QString displayLabel() const;
    void setDisplayLabel(const QString &label) { m_displayLabel = label; }
    [[nodiscard]] int size() const { return m_size; }
    [[nodiscard]] int displayWidth() const { return m_displayWidth; }
    [[nodiscard]] bool isCalculated() const { return m_kind == FieldKind::Calculated; }
    [[nodiscard]] int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }
    [[nodiscard]] TDataSet &dataSet() const { return m_dataSet; }

    // The value on the active record: the row being calculated during the
    // calculated-fields notification, else the current row; empty without one.
    [[nodiscard]] QString text() const;
    // Calculated fields only; writing does not trigger a recalculation.
    void setText(const QString &text);
    [[nodiscard]] QString textAt(int row) const;

private:
    TDataSet &m_dataSet;
    const int m_index;
    QString m_fieldName;
    QString m_displayLabel;
    const FieldKind m_kind;
    const int m_size;
    const int m_displayWidth;
    int m_tag = 0;
};

// Designates a row by the values of its data fields, so that after a re-read
// the same row is found wherever it now stands. A null bookmark does nothing.
class TBookmark
{
public:
    [[nodiscard]] bool isNull() const { return m_row < 0; }

private:
    friend class TDataSet;
    QStringList m_values;
    int m_row = -1;
};

// Which rows of a dataset show: those whose field contains the text, whatever
// its case, and does not start with one of the hidden prefixes.
struct RowFilter
{
    int field = 0;
    QString text;
    QStringList hiddenPrefixes;
    // When set, only the rows whose name (field) and kind (kindField) are
    // among these pairs pass.
    std::optional<QSet<std::pair<QString, int>>> onlyPairs;
    int kindField = -1;

    [[nodiscard]] bool isEmpty() const
    {
        return text.isEmpty() && hiddenPrefixes.isEmpty() && !onlyPairs;
    }
    friend bool operator==(const RowFilter &, const RowFilter &) = default;
};

// The rows a dataset read, each value under the name of the field it was
// read into, so that a dataset with fields of those names can open with them
// instead of reading them again.
struct ReadRows
{
    QStringList fieldNames;
    std::vector<QString> values; // row-major, one slot per name

    // The other's rows after these, of the same fields.
    void append(ReadRows &&other)
    {
        values.insert(values.end(), std::make_move_iterator(other.values.begin()),
                      std::make_move_iterator(other.values.end()));
        other.values.clear();
    }

    // Drops the rows the predicate picks, given each row's first slot; the
    // others keep their order.
    template <typename Predicate> void removeRowsIf(Predicate picks)
    {
        const size_t width = size_t(fieldNames.size());
        if (width == 0)
            return;
        size_t kept = 0;
        for (size_t row = 0; row < values.size(); row += width) {
            if (picks(&values[row]))
                continue;
            if (kept != row)
                std::move(values.begin() + row, values.begin() + row + width,
                          values.begin() + kept);
            kept += width;
        }
        values.resize(kept);
    }
};

// A read-only, bidirectional dataset whose rows are fetched at open. Moves
// notify after-scroll; every row read notifies calculate-fields first.
class TDataSet
{
public:
    using Notification = std::function<void(TDataSet &)>;

    explicit TDataSet(TDatabase &database);
    virtual ~TDataSet();
    TDataSet(const TDataSet &) = delete;
    TDataSet &operator=(const TDataSet &) = delete;

    [[nodiscard]] TDatabase &database() const { return m_database; }
    [[nodiscard]] const QString &name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }

    TField *addField(const QString &fieldName, FieldKind kind, int size, int displayWidth = 0);
    [[nodiscard]] int fieldCount() const { return int(m_fields.size()); }
    [[nodiscard]] TField *fields(int index) const;
    [[nodiscard]] TField *findField(const QString &fieldName) const;
    // Fails with "Field '%s' not found".
    [[nodiscard]] TField *fieldByName(const QString &fieldName) const;

    void setAfterScroll(Notification handler) { m_afterScroll = std::move(handler); }
    void setOnCalcFields(Notification handler) { m_onCalcFields = std::move(handler); }

    void open();
    void close();
    // The statement whose rows an open reads, as the server is given it.
    [[nodiscard]] virtual QString selectText() const = 0;
    // Every row read, hidden or not, by its data fields' names.
    [[nodiscard]] ReadRows readRows() const;
    // The next open takes these rows, matched to the fields by name, rather
    // than running the statement: for rows the caller knows to be current.
    void openNextWith(ReadRows rows);
    // Rows kept for an open that did not come are dropped: a later open
    // reads the server.
    void forgetKeptRows() { m_nextRows.reset(); }
    // Calculates the calculated fields again from the rows as they were
    // read, without reading them again; the current row stays. The current
    // row is calculated at once, every other when it is first read, so
    // that what it costs grows with the rows shown, not with the rows held.
    void recalculate();
    [[nodiscard]] bool active() const { return m_active; }
    // Counts the opens, so that what is derived from the rows can tell when
    // it is stale.
    [[nodiscard]] quint64 openGeneration() const { return m_openGeneration; }

    void first();
    void next();
    void prior();
    void last();
    void moveBy(int distance);
    [[nodiscard]] bool eof() const { return m_eof; }
    [[nodiscard]] bool bof() const { return m_bof; }
    [[nodiscard]] int recordCount() const;
    // The current row counted from 0; -1 without one.
    [[nodiscard]] int recNo() const { return m_current; }

    [[nodiscard]] TBookmark bookmark() const;
    void gotoBookmark(const TBookmark &bookmark);
    static void freeBookmark(TBookmark &bookmark) { bookmark = TBookmark(); }

    // Hides rows without reading them again; the current row stays where
    // it is still shown, else the first row is current.
    void setRowFilter(const RowFilter &filter);
    [[nodiscard]] const RowFilter &rowFilter() const { return m_filter; }
    // Every row read, hidden or not, for what must see them all.
    [[nodiscard]] int allRowCount() const;
    [[nodiscard]] QString allTextAt(int row, int fieldIndex) const;

    // Counted: the bound controls follow again, once, at the matching enable.
    void disableControls() { ++m_disableCount; }
    void enableControls();
    [[nodiscard]] bool controlsDisabled() const { return m_disableCount > 0; }

    // Closes and lets go of everything that belongs to the connection.
    virtual void connectionClosing()
    {
        forgetKeptRows();
        close();
    }

protected:
    // Runs the statement that yields the rows, positioned before the first;
    // the statement belongs to the dataset.
    virtual client::Cursor &executeSelect() = 0;
    void checkInactive(const QString &operation) const;
    void checkActive() const;
    virtual void afterRowsFetched() {}
    // The rows are fetched, or the fetch failed: the statement may go.
    virtual void releaseSelect() {}
    [[nodiscard]] const QString &valueAt(int row, int slot) const;

private:
    friend class TField;
    friend class TDataSource;

    void bindFields(const client::Cursor &cursor, std::vector<int> &columns) const;
    // Fills one row's data slots from base on; false when there are no more.
    using RowReader = std::function<bool(std::vector<QString> &target, size_t base)>;
    void fetchRows(const RowReader &readRow);
    void openWithKeptRows();
    void calculateFirstOpened();
    void scrolledToFirstOpened();
    void calculateRow(int row);
    // A row appended to the shown rows, to be calculated when first read.
    void rowShown();
    // Calculates the row where it was not since the last recalculate().
    void calculateIfStale(int row) const;
    void clearRows();
    [[nodiscard]] int activeRow() const;
    void scrolledTo(int row);
    [[nodiscard]] int findBookmarkedRow(const TBookmark &bookmark) const;
    [[nodiscard]] bool passesFilter(const QString *row) const;
    // Appends one row of values to the shown rows, to be calculated when
    // first read.
    void appendShown(const QString *row);

    // Ordered: a later change covers an earlier one pending with it.
    enum class Change
    {
        None,
        Scrolled,
        Values,
        DataSet
    };
    void notify(Change change);

    TDatabase &m_database;
    QString m_name;
    std::vector<std::unique_ptr<TField>> m_fields;
    std::vector<QString> m_values; // row-major, one slot per field
    // While a filter is set: every row read, in the same layout.
    std::vector<QString> m_allValues;
    std::unique_ptr<ReadRows> m_nextRows;
    RowFilter m_filter;
    int m_rowCount = 0;
    int m_current = -1;
    int m_calcRow = -1;
    // For each shown row, the recalculation it was last calculated in; 0
    // for never.
    mutable std::vector<quint64> m_calculatedIn;
    quint64 m_calculation = 1;
    bool m_active = false;
    bool m_bof = true;
    bool m_eof = true;
    quint64 m_openGeneration = 0;
    int m_disableCount = 0;
    Change m_pending = Change::None;
    QList<TDataSource *> m_sources;
    Notification m_afterScroll;
    Notification m_onCalcFields;
};

// Binds controls to a dataset: they hear when its rows or its current row
// change, except while the dataset's controls are disabled.
class TDataSource : public QObject
{
    Q_OBJECT
public:
    explicit TDataSource(QObject *parent = nullptr) : QObject(parent) {}
    ~TDataSource() override;

    [[nodiscard]] TDataSet *dataSet() const { return m_dataSet; }
    void setDataSet(TDataSet *dataSet);

Q_SIGNALS:
    // The rows, or whether there are any, changed: re-read everything.
    void dataSetChanged();
    // Only the current row moved.
    void scrolled();
    // The same rows, with other values in their calculated fields; the
    // current row may have moved too.
    void valuesChanged();

private:
    friend class TDataSet;
    TDataSet *m_dataSet = nullptr;
};

} // namespace db
