#pragma once

#include <QString>
#include <QStringList>
#include <Qt>
#include <functional>

class QMenu;
class QWidget;

namespace ui {
class DBGrid;
}

// Drives the program's main window, KelvaneForm, as a person would.
namespace driver {

// Chooses the alias from the alias list's popup and answers the login dialog
// with the user name and password, or cancels it when the password is empty.
// Then answers the dialog that follows, if any.
void chooseAlias(const QString &alias, const QString &password,
                 std::function<void(QWidget *)> then = {},
                 const QString &user = QStringLiteral("SYSDBA"));

// The names a grid shows in its first column, top to bottom.
[[nodiscard]] QStringList namesOf(const ui::DBGrid *grid);
// The five cells of a detail row as the grid shows them, "." for empty.
[[nodiscard]] QString cellsOf(const QString &detailName);
[[nodiscard]] QString currentMaster();
[[nodiscard]] QString currentDetail();

// Gives the grid the focus and presses the key.
void typeInto(ui::DBGrid *grid, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// Clicks, or double-clicks, the detail grid's cell on the row of that name.
void clickDetailCell(const QString &detailName, int column);
void doubleClickDetailCell(const QString &detailName, int column);

// Runs the action on the next popup menu to open, from a timer, so that a
// test can choose from a menu that a handler opens and waits for.
void whenPopup(std::function<void(QMenu *)> action);
// Chooses the enabled item of that object name from the open menu with the
// keyboard, which closes the menu.
void chooseItem(QMenu *menu, const char *objectName);
// Whether the popup answers queued so far have all run.
[[nodiscard]] bool allPopupsAnswered(int timeoutMs = 5000);
// The caption of the message box a handler shows, after pressing its button;
// queued like the other answers.
void answerMessage(QString *text, QString *title = nullptr);

} // namespace driver
