#pragma once

#include "db/DataSet.h"

#include <QScopeGuard>

// Enables the dataset's controls again however the enclosing block ends.
[[nodiscard]] inline auto controlsDisabledFor(db::TDataSet &dataSet)
{
    dataSet.disableControls();
    return qScopeGuard([&dataSet] { dataSet.enableControls(); });
}

// Rows kept for the datasets' next opens go with the enclosing block if no
// open took them, however it ends: a later open reads the server rather
// than rows the block meant for itself.
[[nodiscard]] inline auto keptRowsDroppedAtEnd(db::TDataSet &one, db::TDataSet &other)
{
    return qScopeGuard([&one, &other] {
        one.forgetKeptRows();
        other.forgetKeptRows();
    });
}

// Sets the flag for the length of the enclosing block, however it ends.
[[nodiscard]] inline auto flagSetFor(bool &flag)
{
    flag = true;
    return qScopeGuard([&flag] { flag = false; });
}

// The updating of a dataset's grids, suspended until resume() or the end of
// the scope, whichever comes first: a command resumes it at a given step when
// it succeeds, and the scope resumes it when the command fails on the way.
class SuspendedUpdates
{
public:
    SuspendedUpdates() = default;
    explicit SuspendedUpdates(db::TDataSet &dataSet) { suspend(dataSet); }
    ~SuspendedUpdates() { resume(); }
    SuspendedUpdates(const SuspendedUpdates &) = delete;
    SuspendedUpdates &operator=(const SuspendedUpdates &) = delete;

    void suspend(db::TDataSet &dataSet)
    {
        resume();
        dataSet.disableControls();
        m_dataSet = &dataSet;
    }
    void resume()
    {
        if (m_dataSet)
            std::exchange(m_dataSet, nullptr)->enableControls();
    }

private:
    db::TDataSet *m_dataSet = nullptr;
};
