#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

class QWidget;

namespace ui {

// Lets a window see every key before the focused control inside it does. The
// handler may set the key to 0 to keep it from the control.
class KeyPreview : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<void(int &key, Qt::KeyboardModifiers)>;

    KeyPreview(QWidget *window, Handler handler);
    ~KeyPreview() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_window;
    Handler m_handler;
    // The key event last looked at and the widget it was first delivered to.
    const QEvent *m_seenEvent = nullptr;
    int m_seenKey = 0;
    QPointer<QWidget> m_seenBy;
};

} // namespace ui
