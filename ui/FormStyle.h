#pragma once

#include <QColor>
#include <QFont>
#include <QSize>
#include <QString>
#include <QStringList>

class QAbstractItemView;
class QDialog;
class QFrame;
class QLabel;
class QWidget;

namespace ui {

// The forms are laid out for Windows faces that Linux lacks. Arial, Times New
// Roman and Courier New are mapped by fontconfig to the Liberation faces of the
// same widths; "MS Sans Serif" is mapped here. Runs once; every font made by
// pixelFont() has it done first.
void substituteDesignFonts();
// A font by family and character height in pixels (8 point is 11 pixels at
// 96 dots per inch), so that layouts measured in pixels hold.
[[nodiscard]] QFont pixelFont(const QString &family, int pixelHeight, bool bold = false);
// The forms' own font, "MS Sans Serif" 8 point, or its nearest substitute.
[[nodiscard]] QFont formFont();

// A dialog of fixed size: no resizing, no minimise or maximise.
void makeFixedDialog(QDialog &dialog, const QString &caption, int clientWidth, int clientHeight);
void centreOnScreen(QWidget &window);
// Widens the window so that the list shows the longest of the lines whole
// (checkable: beside a check box each), as far as nine tenths of the
// screen's width; never narrows it.
void widenForLines(QWidget &window, const QAbstractItemView &list, const QStringList &lines,
                   bool checkable = false);

QLabel *addLabel(QWidget *parent, const QString &objectName, const QString &caption, int left,
                 int top);
// The size a window had when it was last closed, or an invalid size; kept in
// kelvane.ini in the user's configuration folder, beside the alias file.
[[nodiscard]] QSize savedWindowSize(const QString &window);
void saveWindowSize(const QString &window, const QSize &size);
// The file those sizes are kept in, whether or not it exists yet.
[[nodiscard]] QString windowSettingsFile();
// What the administrator last chose for something, kept in the same file:
// the role last used with an alias, say. Empty when nothing was kept.
[[nodiscard]] QString savedChoice(const QString &group, const QString &name);
void saveChoice(const QString &group, const QString &name, const QString &value);

// A separator drawn as a single line along the bottom of its rectangle.
QFrame *addBottomLine(QWidget *parent, const QString &objectName, int left, int top, int width,
                      int height);

} // namespace ui
