#pragma once

#include <QPoint>
#include <QString>
#include <QStringList>
#include <Qt>
#include <functional>
#include <memory>

#include "TestServer.h"
#include "app/Forms.h"

class QMenu;
class QWidget;
class SqlLog;

namespace ui {
class DBGrid;
}

// Drives the program's main window, KelvaneForm, as a person would.
namespace driver {

// What a test of the window starts from: a fresh database with its schema,
// an alias of the same name for it, and the program's forms with the main
// window shown.
struct WindowFixture
{
    void start(const QString &alias, const char *schema);
    // Closes the window and checks that nothing was left open.
    void stop();
    // New forms, as at a start of the program, on the same database.
    void restartForms();

    std::unique_ptr<testserver::TestDatabase> db;
    std::unique_ptr<testserver::AliasFile> aliases;
    std::unique_ptr<Forms> forms;
};

// Chooses the alias from the alias list's popup and answers the login dialog
// with the user name, password and role (none when empty), or cancels it
// when the password is empty. Then answers the dialog that follows, if any.
void chooseAlias(const QString &alias, const QString &password,
                 std::function<void(QWidget *)> then = {},
                 const QString &user = QStringLiteral("SYSDBA"), const QString &role = {});

// After a test: every queued dialog and menu answer was used, and no window
// is left open.
void expectNothingLeftOpen();

// Stands on the pair in either view: the user and the relation current.
// Where one name stands for several rows, "SQ (sequence)" names one of them
// by the kind its tooltip tells; a name alone is its first row. The detail
// helpers below take the same labels.
void select(const QString &user, const QString &relation);

// The names a grid shows in its first column, top to bottom.
[[nodiscard]] QStringList namesOf(const ui::DBGrid *grid);
// The five cells of a detail row as the grid shows them, "." for empty.
[[nodiscard]] QString cellsOf(const QString &detailName);
// The tooltip the detail grid shows over that cell, empty for none.
[[nodiscard]] QString hintOf(const QString &detailName, int column);
[[nodiscard]] QString currentMaster();
[[nodiscard]] QString currentDetail();

// Gives the grid the focus and presses the key.
void typeInto(ui::DBGrid *grid, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// Clicks, or double-clicks, the detail grid's cell on the row of that name.
void clickDetailCell(const QString &detailName, int column);
void doubleClickDetailCell(const QString &detailName, int column);

// Opens the grid's context menu as the right mouse button does at the
// position (the current cell's centre by default) and hands it to the action,
// which must close it. The object name of the menu that opened, or empty
// when none did.
QString openContextMenu(ui::DBGrid *grid, std::function<void(QMenu *)> action,
                        QPoint position = QPoint(-1, -1));
// Right-clicks the grid's current cell and chooses the item from its menu.
void chooseFromMenu(ui::DBGrid *grid, const char *itemName);
// Chooses the item from the edit menu of the users' grid, or of the
// relations' grid, on the current name, in either view.
void chooseFromEditMenu(const char *itemName, bool onUsersGrid = true);

// The GRANT and REVOKE statements sent, in order; a statement the server
// refuses already when it is prepared is among them.
[[nodiscard]] QStringList statements(const SqlLog &log);
// Whether the privileges were read again after the last statement, in the
// one transaction of the statements.
[[nodiscard]] bool refreshedAfterStatements(const SqlLog &log);

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

// What the administrator answers in the copy dialog, and what it showed.
struct CopyAnswer
{
    explicit CopyAnswer(const QStringList &clicked, bool pressOk = true)
        : pick(clicked), ok(pressOk)
    {
    }
    QStringList pick; // clicked in this order
    bool ok = true;
    QString label;
    QStringList offered;
    bool okEnabledAtFirst = true;
};
// Queues the answer to the next copy dialog.
void answerCopyDialog(CopyAnswer *answer);

// What the administrator types into the text-input dialog, and what it showed.
struct InputAnswer
{
    explicit InputAnswer(const QString &typed, bool pressOk = true) : text(typed), ok(pressOk) {}
    QString text;
    bool ok = true;
    QString caption;
    QString prompt;
};
void answerInput(InputAnswer *answer);

// Answers the next save dialog by typing the path over the name it
// suggests, which is kept in suggested, and pressing Return.
void answerSaveDialog(const QString &path, QString *suggested = nullptr);
// Opens the file: its path given whole, then Open clicked.
void answerOpenDialog(const QString &path);

// Answers the next confirmation with Yes or No and keeps its title and text
// as "title:text".
void answerConfirm(bool yes, QString *text);

} // namespace driver
