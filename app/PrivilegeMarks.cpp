#include "PrivilegeMarks.h"

#include "Privileges.h"
#include "db/DataSet.h"
#include "db/Vocabulary.h"

bool PrivilegeMarks::isStale(const db::TDataSet &privileges) const
{
    // Closed rows are always stale, so that a rebuild meets the closed dataset
    // and fails just as a walk over the rows would.
    return !privileges.active() || m_builtFor != &privileges ||
           m_generation != privileges.openGeneration();
}

void PrivilegeMarks::rebuild(db::TDataSet &privileges, const Fields &fields)
{
    m_marks.clear();
    m_builtFor = nullptr;
    privileges.first();
    while (!privileges.eof()) {
        const int column = columnOf(fields.objectType.text().toInt(), fields.privilege.text());
        if (column) {
            Mark &mark = m_marks[{fields.name.text(), fields.kind.text().toInt()}];
            const auto bit = Marks(1u << (column - 1));
            mark.held |= bit;
            if (fields.option.text().toInt() == 0)
                mark.withoutOption |= bit;
            // A role's one "column" makes it a default role, not a part of it.
            if (!fields.column.text().isEmpty() &&
                fields.objectType.text().toInt() == db::kind::Relation)
                mark.byColumn |= bit;
        }
        privileges.next();
    }
    m_builtFor = &privileges;
    m_generation = privileges.openGeneration();
}

QSet<std::pair<QString, int>> PrivilegeMarks::heldPairs() const
{
    QSet<std::pair<QString, int>> pairs;
    pairs.reserve(m_marks.size());
    for (auto mark = m_marks.keyBegin(); mark != m_marks.keyEnd(); ++mark)
        pairs.insert(*mark);
    return pairs;
}

int PrivilegeMarks::columnOf(int objectType, const QString &privilege)
{
    // The lists show only the kinds a statement can give privileges on.
    if (privilege.isEmpty() || !db::isStatementKind(objectType))
        return 0;
    // EXECUTE, USAGE (G), membership (M) and a DDL privilege (C, L, O) are
    // each the one privilege of their kinds, all shown as X.
    if (db::hasSinglePrivilege(objectType))
        return QStringView(u"XGMCLO").contains(privilege.front()) ? ExecuteColumn : 0;
    for (const PrivilegeColumn &column : PrivilegeColumns) {
        if (privilege.front() == column.letter)
            return column.index;
    }
    return 0;
}
