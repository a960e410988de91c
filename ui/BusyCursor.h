#pragma once

#include <QApplication>
#include <QCursor>

namespace ui {

// Shows the busy mouse cursor while it lives, however the scope is left.
class BusyCursor
{
public:
    explicit BusyCursor(Qt::CursorShape shape = Qt::WaitCursor)
    {
        QApplication::setOverrideCursor(QCursor(shape));
    }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

// The ordinary pointer while a message waits for an answer in the middle of
// a long command.
class ArrowCursor
{
public:
    ArrowCursor() : m_pushed(QApplication::overrideCursor() != nullptr)
    {
        if (m_pushed)
            QApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
    }
    ~ArrowCursor()
    {
        if (m_pushed)
            QApplication::restoreOverrideCursor();
    }
    ArrowCursor(const ArrowCursor &) = delete;
    ArrowCursor &operator=(const ArrowCursor &) = delete;

private:
    const bool m_pushed;
};

} // namespace ui
