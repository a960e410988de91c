#include "KeyPreview.h"

#include "Application.h"
#include "DBGrid.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace ui {

KeyPreview::KeyPreview(QWidget *window, Handler handler)
    : QObject(window), m_window(window), m_handler(std::move(handler))
{
    qApp->installEventFilter(this);
}

KeyPreview::~KeyPreview()
{
    qApp->removeEventFilter(this);
}

bool KeyPreview::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType() || !m_window)
        return false;
    auto *widget = static_cast<QWidget *>(watched);
    if (widget->window() != m_window)
        return false;
    // A key the control leaves unhandled travels on to its parents as the same
    // event: look at it only on its first delivery. Which widget has the focus
    // is no guide, since a message shown by the handler takes the focus away.
    auto *keyEvent = static_cast<QKeyEvent *>(event);
    if (event == m_seenEvent && keyEvent->key() == m_seenKey && m_seenBy && widget != m_seenBy &&
        widget->isAncestorOf(m_seenBy))
        return false;
    m_seenEvent = event;
    m_seenKey = keyEvent->key();
    m_seenBy = widget;
    int key = keyEvent->key();
    // A handler that failed has had its message shown; the key goes on.
    guarded([&] { m_handler(key, shiftState(keyEvent->modifiers())); });
    return key == 0;
}

} // namespace ui
