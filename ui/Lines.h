#pragma once

#include <QString>
#include <QStringList>

namespace ui {

// The lines of a message, one under the other: at most `most` of them, then
// "and N more", so that a box never grows past the screen. Outside the
// dialogs, so that code that shows none words its messages the same way.
[[nodiscard]] inline QString listedLines(const QStringList &lines, qsizetype most = 20)
{
    QStringList shown = lines.mid(0, most);
    if (lines.size() > most)
        shown.append(QStringLiteral("and %1 more").arg(lines.size() - most));
    return shown.join(QLatin1Char('\n'));
}

} // namespace ui
