#pragma once

#include <QMenu>
#include <QPointer>
#include <functional>

namespace ui {

// A context menu whose on-popup handler runs before it shows, knows the
// control it was opened on, and can keep it from showing by a silent abort.
class PopupMenu : public QMenu
{
    Q_OBJECT
public:
    using OnPopup = std::function<void(PopupMenu &)>;

    explicit PopupMenu(QWidget *parent = nullptr) : QMenu(parent) {}

    void setOnPopup(OnPopup handler) { m_onPopup = std::move(handler); }
    [[nodiscard]] QWidget *popupComponent() const { return m_popupComponent; }

    // Adds an item named for tests and for the handlers that look it up.
    QAction *addItem(const QString &objectName, const QString &caption);

    // Runs the on-popup handler for the control, then shows the menu unless
    // the handler ended in a silent abort or a failure.
    void popupFor(QWidget *component, const QPoint &globalPosition);

private:
    OnPopup m_onPopup;
    QPointer<QWidget> m_popupComponent;
};

} // namespace ui
