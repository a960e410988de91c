#pragma once

#include <QHash>
#include <QSet>
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

    // How the cells of one row are held: which are set, which of those hold
    // the grant (or admin) option in every row, and which are limited to
    // columns of the relation.
    struct Cells
    {
        Marks held = 0;
        Marks withOption = 0;
        Marks byColumn = 0;
    };

    // The fields of a privilege row that decide its mark: the other name of
    // the pair and its kind, the letter, the kind of the object, and the
    // form: its column and option.
    struct Fields
    {
        const db::TField &name;
        const db::TField &kind;
        const db::TField &privilege;
        const db::TField &objectType;
        const db::TField &column;
        const db::TField &option;
    };

    // Whether the rows are closed, or were opened again since the last build.
    [[nodiscard]] bool isStale(const db::TDataSet &privileges) const;
    // Walks the rows from the first to the end, where it leaves them.
    void rebuild(db::TDataSet &privileges, const Fields &fields);
    // Every pair the rows mark something on.
    [[nodiscard]] QSet<std::pair<QString, int>> heldPairs() const;
    [[nodiscard]] Marks marksOf(const QString &name, int kind) const
    {
        return cellsOf(name, kind).held;
    }
    [[nodiscard]] Cells cellsOf(const QString &name, int kind) const
    {
        const Mark mark = m_marks.value({name, kind});
        return {mark.held, Marks(mark.held & ~mark.withoutOption), mark.byColumn};
    }

    // The column a catalogue row marks: on a table or view the column of the
    // privilege text's first character, on a kind with a single privilege
    // the last column for that privilege; 0 where it marks nothing.
    [[nodiscard]] static int columnOf(int objectType, const QString &privilege);

private:
    struct Mark
    {
        Marks held = 0;
        Marks withoutOption = 0;
        Marks byColumn = 0;
    };
    QHash<std::pair<QString, int>, Mark> m_marks;
    const db::TDataSet *m_builtFor = nullptr;
    quint64 m_generation = 0;
};
