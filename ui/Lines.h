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

// Names on one line: the first ten, then "…, and N more", for a question or
// a note that names many.
[[nodiscard]] inline QString firstNames(const QStringList &names, qsizetype shown = 10)
{
    if (names.size() <= shown)
        return names.join(QStringLiteral(", "));
    return QStringLiteral("%1, %2 and %3 more")
        .arg(names.mid(0, shown).join(QStringLiteral(", ")), QString(QChar(0x2026)))
        .arg(names.size() - shown);
}

// The text with a full stop at its end, where it has none: a list of names
// can end in a quote or a bracket, after which the message box adds none.
[[nodiscard]] inline QString withFullStop(const QString &text)
{
    return text.endsWith(QLatin1Char('.')) ? text : text + QLatin1Char('.');
}

} // namespace ui
