#include "DataSet.h"

#include "Client.h"
#include "Database.h"
#include "Exception.h"

#include <QScopeGuard>
#include <algorithm>

namespace db {

TField::TField(TDataSet &dataSet, int index, const QString &fieldName, FieldKind kind, int size,
               int displayWidth)
    : m_dataSet(dataSet), m_index(index), m_fieldName(fieldName), m_kind(kind), m_size(size),
      m_displayWidth(displayWidth > 0 ? displayWidth : size)
{
}

void TField::setFieldName(const QString &name)
{
    m_dataSet.checkInactive(QStringLiteral("rename a field"));
    m_fieldName = name;
}

QString TField::displayLabel() const
{
    return m_displayLabel.isEmpty() ? m_fieldName : m_displayLabel;
}

QString TField::text() const
{
    return textAt(m_dataSet.activeRow());
}

QString TField::textAt(int row) const
{
    if (row < 0 || row >= m_dataSet.m_rowCount)
        return {};
    return m_dataSet.valueAt(row, m_index);
}

void TField::setText(const QString &text)
{
    if (!isCalculated())
        throw kelvane::EngineError(
            QStringLiteral("Field '%1' cannot be modified").arg(m_fieldName));
    const int row = m_dataSet.activeRow();
    if (row < 0)
        throw kelvane::EngineError(
            QStringLiteral("Field '%1' has no current record").arg(m_fieldName));
    m_dataSet.m_values[size_t(row) * m_dataSet.m_fields.size() + size_t(m_index)] = text;
    if (m_dataSet.m_calcRow < 0)
        m_dataSet.notify(TDataSet::Change::DataSet);
}

TDataSet::TDataSet(TDatabase &database) : m_database(database)
{
    m_database.registerDataSet(this);
}

TDataSet::~TDataSet()
{
    m_database.unregisterDataSet(this);
    for (TDataSource *source : std::as_const(m_sources))
        source->m_dataSet = nullptr;
}

TField *TDataSet::addField(const QString &fieldName, FieldKind kind, int size, int displayWidth)
{
    checkInactive(QStringLiteral("add a field"));
    m_fields.push_back(
        std::make_unique<TField>(*this, fieldCount(), fieldName, kind, size, displayWidth));
    return m_fields.back().get();
}

TField *TDataSet::fields(int index) const
{
    if (index < 0 || index >= fieldCount())
        throw kelvane::EngineError(
            QStringLiteral("%1: field index %2 out of range").arg(m_name).arg(index));
    return m_fields[size_t(index)].get();
}

TField *TDataSet::findField(const QString &fieldName) const
{
    for (const auto &field : m_fields) {
        if (field->fieldName() == fieldName)
            return field.get();
    }
    return nullptr;
}

TField *TDataSet::fieldByName(const QString &fieldName) const
{
    if (TField *field = findField(fieldName))
        return field;
    throw kelvane::EngineError(QStringLiteral("Field '%1' not found").arg(fieldName));
}

void TDataSet::checkInactive(const QString &operation) const
{
    if (m_active)
        throw kelvane::EngineError(
            QStringLiteral("%1: cannot %2 while the dataset is open").arg(m_name, operation));
}

void TDataSet::checkActive() const
{
    if (!m_active)
        throw kelvane::EngineError(
            QStringLiteral("%1: cannot perform this operation on a closed dataset").arg(m_name));
}

void TDataSet::open()
{
    if (m_active)
        return;
    if (m_nextRows) {
        openWithKeptRows();
        return;
    }
    client::Cursor &cursor = executeSelect();
    const auto release = qScopeGuard([this] { releaseSelect(); });
    std::vector<int> columns;
    bindFields(cursor, columns);
    m_active = true;
    auto closeOnFailure = qScopeGuard([this] {
        clearRows();
        m_active = false;
    });
    fetchRows([&](std::vector<QString> &target, size_t base) {
        if (!cursor.fetch())
            return false;
        for (size_t slot = 0; slot < columns.size(); ++slot) {
            if (columns[slot] >= 0)
                target[base + slot] = cursor.text(columns[slot]);
        }
        return true;
    });
    afterRowsFetched();
    calculateFirstOpened();
    closeOnFailure.dismiss();
    scrolledToFirstOpened();
}

void TDataSet::openWithKeptRows()
{
    const std::unique_ptr<ReadRows> kept = std::move(m_nextRows);
    const size_t keptWidth = size_t(kept->fieldNames.size());
    std::vector<int> columns(m_fields.size(), -1);
    for (const auto &field : m_fields) {
        if (field->isCalculated())
            continue;
        const int column = int(kept->fieldNames.indexOf(field->fieldName()));
        if (column < 0)
            throw kelvane::EngineError(
                QStringLiteral("Field '%1' not found").arg(field->fieldName()));
        columns[size_t(field->index())] = column;
    }
    m_active = true;
    auto closeOnFailure = qScopeGuard([this] {
        clearRows();
        m_active = false;
    });
    size_t next = 0;
    fetchRows([&](std::vector<QString> &target, size_t base) {
        if (keptWidth == 0 || next + keptWidth > kept->values.size())
            return false;
        for (size_t slot = 0; slot < columns.size(); ++slot) {
            if (columns[slot] >= 0)
                target[base + slot] = kept->values[next + size_t(columns[slot])];
        }
        next += keptWidth;
        return true;
    });
    afterRowsFetched();
    calculateFirstOpened();
    closeOnFailure.dismiss();
    scrolledToFirstOpened();
}

void TDataSet::calculateFirstOpened()
{
    // The row the open stands on, at once: a calculation that fails fails
    // the open, not a later paint.
    if (m_rowCount > 0)
        calculateRow(0);
}

void TDataSet::scrolledToFirstOpened()
{
    ++m_openGeneration;
    m_current = m_rowCount > 0 ? 0 : -1;
    m_bof = true;
    m_eof = m_rowCount == 0;
    notify(Change::DataSet);
    if (m_rowCount > 0 && m_afterScroll)
        m_afterScroll(*this);
}

void TDataSet::bindFields(const client::Cursor &cursor, std::vector<int> &columns) const
{
    columns.assign(m_fields.size(), -1);
    for (const auto &field : m_fields) {
        if (field->isCalculated())
            continue;
        int column = -1;
        for (int i = 0; i < cursor.columnCount() && column < 0; ++i) {
            if (cursor.columnName(i) == field->fieldName())
                column = i;
        }
        if (column < 0)
            throw kelvane::EngineError(
                QStringLiteral("Field '%1' not found").arg(field->fieldName()));
        columns[size_t(field->index())] = column;
    }
}

void TDataSet::fetchRows(const RowReader &readRow)
{
    const size_t width = m_fields.size();
    const bool filtered = !m_filter.isEmpty();
    std::vector<QString> &target = filtered ? m_allValues : m_values;
    for (;;) {
        const size_t base = target.size();
        target.resize(base + width);
        if (!readRow(target, base)) {
            target.resize(base);
            break;
        }
        if (!filtered) {
            ++m_rowCount;
            rowShown();
        } else if (passesFilter(&target[base])) {
            appendShown(&target[base]);
        }
    }
}

bool TDataSet::passesFilter(const QString *row) const
{
    const QString &value = row[m_filter.field];
    if (!value.contains(m_filter.text, Qt::CaseInsensitive))
        return false;
    if (m_filter.onlyPairs &&
        !m_filter.onlyPairs->contains({value, row[m_filter.kindField].toInt()}))
        return false;
    return std::none_of(m_filter.hiddenPrefixes.begin(), m_filter.hiddenPrefixes.end(),
                        [&value](const QString &prefix) { return value.startsWith(prefix); });
}

void TDataSet::appendShown(const QString *row)
{
    const size_t width = m_fields.size();
    const size_t base = m_values.size();
    m_values.resize(base + width);
    for (size_t slot = 0; slot < width; ++slot) {
        if (!m_fields[slot]->isCalculated())
            m_values[base + slot] = row[slot];
    }
    ++m_rowCount;
    rowShown();
}

void TDataSet::setRowFilter(const RowFilter &filter)
{
    if (filter == m_filter)
        return;
    if (!m_active) {
        m_filter = filter;
        return;
    }
    // Every row read is kept while a filter is set, so that the next
    // filter needs no read.
    if (m_filter.isEmpty())
        m_allValues = m_values;
    const TBookmark current = bookmark();
    m_filter = filter;
    std::vector<QString>().swap(m_values);
    m_calculatedIn.clear();
    m_rowCount = 0;
    const size_t width = m_fields.size();
    for (size_t base = 0; base < m_allValues.size(); base += width) {
        if (passesFilter(&m_allValues[base]))
            appendShown(&m_allValues[base]);
    }
    if (m_filter.isEmpty())
        std::vector<QString>().swap(m_allValues);
    int row = current.isNull() ? -1 : findBookmarkedRow(current);
    if (row < 0)
        row = m_rowCount > 0 ? 0 : -1;
    m_current = row;
    m_bof = row <= 0;
    m_eof = m_rowCount == 0;
    notify(Change::DataSet);
    if (m_rowCount > 0 && m_afterScroll)
        m_afterScroll(*this);
}

int TDataSet::allRowCount() const
{
    if (m_filter.isEmpty() || !m_active)
        return recordCount();
    return int(m_allValues.size() / m_fields.size());
}

QString TDataSet::allTextAt(int row, int fieldIndex) const
{
    if (m_filter.isEmpty() || !m_active)
        return fields(fieldIndex)->textAt(row);
    return m_allValues[size_t(row) * m_fields.size() + size_t(fieldIndex)];
}

void TDataSet::calculateRow(int row)
{
    m_calculatedIn[size_t(row)] = m_calculation;
    for (const auto &field : m_fields) {
        if (field->isCalculated())
            m_values[size_t(row) * m_fields.size() + size_t(field->index())].clear();
    }
    if (!m_onCalcFields)
        return;
    const int calculating = m_calcRow;
    m_calcRow = row;
    auto done = qScopeGuard([this, calculating] { m_calcRow = calculating; });
    m_onCalcFields(*this);
}

void TDataSet::rowShown()
{
    m_calculatedIn.push_back(0);
}

void TDataSet::calculateIfStale(int row) const
{
    if (m_calculatedIn[size_t(row)] != m_calculation)
        const_cast<TDataSet *>(this)->calculateRow(row);
}

void TDataSet::recalculate()
{
    checkActive();
    ++m_calculation;
    // The current row at once, so that a failure of the calculation is the
    // caller's, not a later paint's.
    if (m_current >= 0)
        calculateRow(m_current);
    notify(Change::Values);
}

ReadRows TDataSet::readRows() const
{
    ReadRows rows;
    std::vector<size_t> slots;
    for (const auto &field : m_fields) {
        if (!field->isCalculated()) {
            rows.fieldNames.append(field->fieldName());
            slots.push_back(size_t(field->index()));
        }
    }
    // Unfiltered, the shown rows are all there are.
    const std::vector<QString> &all = m_filter.isEmpty() ? m_values : m_allValues;
    const size_t width = m_fields.size();
    rows.values.reserve(all.size() / std::max<size_t>(width, 1) * slots.size());
    for (size_t base = 0; base + width <= all.size() && width > 0; base += width) {
        for (size_t slot : slots)
            rows.values.push_back(all[base + slot]);
    }
    return rows;
}

void TDataSet::openNextWith(ReadRows rows)
{
    m_nextRows = std::make_unique<ReadRows>(std::move(rows));
}

void TDataSet::close()
{
    if (!m_active)
        return;
    clearRows();
    m_active = false;
    m_bof = m_eof = true;
    notify(Change::DataSet);
}

void TDataSet::clearRows()
{
    std::vector<QString>().swap(m_values);
    std::vector<QString>().swap(m_allValues);
    m_calculatedIn.clear();
    m_rowCount = 0;
    m_current = -1;
}

int TDataSet::activeRow() const
{
    return m_calcRow >= 0 ? m_calcRow : m_current;
}

const QString &TDataSet::valueAt(int row, int slot) const
{
    if (m_fields[size_t(slot)]->isCalculated())
        calculateIfStale(row);
    return m_values[size_t(row) * m_fields.size() + size_t(slot)];
}

int TDataSet::recordCount() const
{
    checkActive();
    return m_rowCount;
}

void TDataSet::scrolledTo(int row)
{
    m_current = row;
    notify(Change::Scrolled);
    if (m_afterScroll)
        m_afterScroll(*this);
}

void TDataSet::first()
{
    checkActive();
    m_bof = true;
    m_eof = m_rowCount == 0;
    if (m_rowCount > 0)
        scrolledTo(0);
}

void TDataSet::last()
{
    checkActive();
    m_eof = true;
    m_bof = m_rowCount == 0;
    if (m_rowCount > 0)
        scrolledTo(m_rowCount - 1);
}

void TDataSet::next()
{
    moveBy(1);
}

void TDataSet::prior()
{
    moveBy(-1);
}

void TDataSet::moveBy(int distance)
{
    checkActive();
    if (m_rowCount == 0) {
        m_bof = m_eof = true;
        return;
    }
    const int target = std::clamp(m_current + distance, 0, m_rowCount - 1);
    m_bof = distance < 0 && target != m_current + distance;
    m_eof = distance > 0 && target != m_current + distance;
    if (target != m_current)
        scrolledTo(target);
}

TBookmark TDataSet::bookmark() const
{
    TBookmark bookmark;
    if (!m_active || m_current < 0)
        return bookmark;
    bookmark.m_row = m_current;
    for (const auto &field : m_fields) {
        if (!field->isCalculated())
            bookmark.m_values.append(valueAt(m_current, field->index()));
    }
    return bookmark;
}

int TDataSet::findBookmarkedRow(const TBookmark &bookmark) const
{
    const auto matches = [&](int row) {
        int i = 0;
        for (const auto &field : m_fields) {
            if (field->isCalculated())
                continue;
            if (i >= bookmark.m_values.size() ||
                valueAt(row, field->index()) != bookmark.m_values[i])
                return false;
            ++i;
        }
        return true;
    };
    // Nearest match to where the row stood, so that equal rows keep their
    // place. The row may have stood far below the rows a filter leaves.
    const int farthest = std::max(bookmark.m_row + 1, m_rowCount);
    for (int distance = 0; distance < farthest; ++distance) {
        const int below = bookmark.m_row + distance;
        const int above = bookmark.m_row - distance;
        if (below < m_rowCount && matches(below))
            return below;
        if (above >= 0 && above < m_rowCount && matches(above))
            return above;
        if (below >= m_rowCount && above < 0)
            break;
    }
    return -1;
}

void TDataSet::gotoBookmark(const TBookmark &bookmark)
{
    if (bookmark.isNull() || !m_active || m_rowCount == 0)
        return;
    int row = findBookmarkedRow(bookmark);
    if (row < 0)
        row = std::min(bookmark.m_row, m_rowCount - 1);
    m_bof = m_eof = false;
    scrolledTo(row);
}

void TDataSet::enableControls()
{
    if (m_disableCount == 0)
        return;
    if (--m_disableCount == 0 && m_pending != Change::None) {
        const Change pending = m_pending;
        m_pending = Change::None;
        notify(pending);
    }
}

void TDataSet::notify(Change change)
{
    if (m_disableCount > 0) {
        m_pending = std::max(m_pending, change);
        return;
    }
    const QList<TDataSource *> sources = m_sources;
    for (TDataSource *source : sources) {
        switch (change) {
        case Change::DataSet:
            Q_EMIT source->dataSetChanged();
            break;
        case Change::Values:
            Q_EMIT source->valuesChanged();
            break;
        case Change::Scrolled:
            Q_EMIT source->scrolled();
            break;
        case Change::None:
            break;
        }
    }
}

TDataSource::~TDataSource()
{
    setDataSet(nullptr);
}

void TDataSource::setDataSet(TDataSet *dataSet)
{
    if (m_dataSet == dataSet)
        return;
    if (m_dataSet)
        m_dataSet->m_sources.removeOne(this);
    m_dataSet = dataSet;
    if (m_dataSet)
        m_dataSet->m_sources.append(this);
    Q_EMIT dataSetChanged();
}

} // namespace db
