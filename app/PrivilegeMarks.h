#pragma once

#include <QHash>
#include <QString>

namespace db {
class TDataSet;
class TField;
} // namespace db

// The privilege rows of the master's current name, indexed by the other name
// of each pair: which of the five letters the catalogue holds for it. Built
// by one walk over the rows each time they are opened, so that calculating a
// detail row costs one look-up instead of a walk over every privilege row.
class PrivilegeMarks
{
public:
    // Bit (index - 1) stands for the privilege column of that index.
    using Marks = quint8;

    // Whether the rows are closed, or were opened again since the last build.
    [[nodiscard]] bool isStale(const db::TDataSet &privileges) const;
    // Walks the rows from the first to the end, where it leaves them.
    // Only rows on tables, views and stored procedures mark a cell.
    void rebuild(db::TDataSet &privileges, const db::TField &name, const db::TField &privilege,
                 const db::TField &objectType);
    [[nodiscard]] static bool isListedKind(const QString &objectType);
    [[nodiscard]] Marks marksOf(const QString &name) const { return m_marks.value(name); }

    // The column marked by a catalogue privilege text: its first character
    // alone counts; 0 for any text that marks nothing.
    [[nodiscard]] static int columnOf(const QString &privilege);

private:
    QHash<QString, Marks> m_marks;
    const db::TDataSet *m_builtFor = nullptr;
    quint64 m_generation = 0;
};
