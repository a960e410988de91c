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
    // A key unhandled by a control travels on to its parents; look at it only
    // on its first delivery, to the focused control or to the window itself.
    QWidget *focus = QApplication::focusWidget();
    const bool firstDelivery = focus ? widget == focus : widget == m_window;
    if (!firstDelivery || widget->window() != m_window)
        return false;
    auto *keyEvent = static_cast<QKeyEvent *>(event);
    int key = keyEvent->key();
    const bool completed = guarded([&] { m_handler(key, shiftState(keyEvent->modifiers())); });
    return !completed || key == 0;
}

} // namespace ui
