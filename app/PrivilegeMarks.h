#pragma once

#include <QHash>
#include <QString>
#include <utility>

namespace db {
class TDataSet;
class TField;
} // namespace db

// The privilege rows of the master's current name, indexed by the other name
// of each pair and its kind: which of the five letters the catalogue holds for
// it. Built by one walk over the rows each time they are opened, so that
// calculating a detail row costs one look-up instead of a walk over every
// privilege row.
class PrivilegeMarks
{
public:
    // Bit (index - 1) stands for the privilege column of that index.
    using Marks = quint8;

    // The fields of a privilege row that decide its mark: the other name of
    // the pair and its kind, the letter, and the kind of the object.
    struct Fields
    {
        const db::TField &name;
        const db::TField &kind;
        const db::TField &privilege;
        const db::TField &objectType;
    };

    // Whether the rows are closed, or were opened again since the last build.
    [[nodiscard]] bool isStale(const db::TDataSet &privileges) const;
    // Walks the rows from the first to the end, where it leaves them.
    void rebuild(db::TDataSet &privileges, const Fields &fields);
    [[nodiscard]] Marks marksOf(const QString &name, int kind) const
    {
        return m_marks.value({name, kind});
    }

    // The column a catalogue row marks: on a table or view the column of the
    // privilege text's first character, on a kind with a single privilege
    // the last column for that privilege; 0 where it marks nothing.
    [[nodiscard]] static int columnOf(int objectType, const QString &privilege);

private:
    QHash<std::pair<QString, int>, Marks> m_marks;
    const db::TDataSet *m_builtFor = nullptr;
    quint64 m_generation = 0;
};
