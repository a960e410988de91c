// The edit menu and the commands that treat a user as a whole: a new user,
// a copy to a new user, renaming and removal.
#include "PrivEdit.h"

#include "ui/Application.h"
#include "ui/DBGrid.h"
#include "ui/PopupMenu.h"

#include <QAction>

void TKelvaneForm::EditMenuPopup(QObject *)
{
    if (!Database.connected())
        ui::abortSilently();
    const auto *grid = qobject_cast<const ui::DBGrid *>(EditMenu->popupComponent());
    const bool onUsersGrid = grid && grid->dataSet() == UserList;
    AllCopyItem->setEnabled(RelationList == &DetailQuery && onUsersGrid);
    RemoveItem->setEnabled(onUsersGrid);
    RenameItem->setEnabled(RemoveItem->isEnabled());
    CopyNewAllItem->setEnabled(RemoveItem->isEnabled());
}
