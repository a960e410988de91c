#include "PrivilegeMarks.h"

#include "Privileges.h"
#include "db/DataSet.h"

bool PrivilegeMarks::isStale(const db::TDataSet &privileges) const
{
    // Closed rows are always stale, so that a rebuild meets the closed dataset
    // and fails just as a walk over the rows would.
    return !privileges.active() || m_builtFor != &privileges ||
           m_generation != privileges.openGeneration();
}

bool PrivilegeMarks::isListedKind(const QString &objectType)
{
    return objectType == QLatin1String("0") || objectType == QLatin1String("5");
}

void PrivilegeMarks::rebuild(db::TDataSet &privileges, const db::TField &name,
                             const db::TField &privilege, const db::TField &objectType)
{
    m_marks.clear();
    m_builtFor = nullptr;
    privileges.first();
    while (!privileges.eof()) {
        const int column = isListedKind(objectType.text()) ? columnOf(privilege.text()) : 0;
        if (column)
            m_marks[name.text()] |= Marks(1u << (column - 1));
        privileges.next();
    }
    m_builtFor = &privileges;
    m_generation = privileges.openGeneration();
}

int PrivilegeMarks::columnOf(const QString &privilege)
{
    if (privilege.isEmpty())
        return 0;
    for (const PrivilegeColumn &column : PrivilegeColumns) {
        if (privilege.front() == column.letter)
            return column.index;
    }
    return 0;
}
