#pragma once

#include "BusyCursor.h"

#include <QElapsedTimer>
#include <QString>
#include <memory>
#include <optional>

class QProgressDialog;

namespace ui {

// The progress of a long walk, with Cancel. Nothing shows until the walk has
// lasted the delay, so that short commands look as they always did.
class Progress
{
public:
    Progress(int total, int delayMs);
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    // Says how far the walk is and what runs next; false once the
    // administrator has pressed Cancel.
    [[nodiscard]] bool step(int done, const QString &text);

private:
    void show();

    const int m_total;
    const int m_delayMs;
    QElapsedTimer m_clock;
    std::unique_ptr<QProgressDialog> m_dialog;
    std::optional<ArrowCursor> m_arrow;
};

} // namespace ui
