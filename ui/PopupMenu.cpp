#include "PopupMenu.h"

#include "Application.h"

namespace ui {

QAction *PopupMenu::addItem(const QString &objectName, const QString &caption)
{
    QAction *item = addAction(caption);
    item->setObjectName(objectName);
    return item;
}

void PopupMenu::popupFor(QWidget *component, const QPoint &globalPosition)
{
    m_popupComponent = component;
    if (m_onPopup && !guarded([&] { m_onPopup(*this); }))
        return;
    exec(globalPosition);
}

} // namespace ui
