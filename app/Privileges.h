#pragma once

#include <QChar>
#include <QString>
#include <array>

// The five privilege columns of the detail list, in their fixed order: the
// field of each calculated column, the word that goes into statements, and
// the letter the catalogue stores and the cell shows.
struct PrivilegeColumn
{
    int index; // the detail field's index, 1 to 5
    QLatin1StringView fieldName;
    QLatin1StringView label;
    QChar letter;
};

inline constexpr std::array<PrivilegeColumn, 5> PrivilegeColumns = {{
    {1, QLatin1StringView("PRIVSELECT"), QLatin1StringView("SELECT"), QChar(u'S')},
    {2, QLatin1StringView("PRIVUPDATE"), QLatin1StringView("UPDATE"), QChar(u'U')},
    {3, QLatin1StringView("PRIVINSERT"), QLatin1StringView("INSERT"), QChar(u'I')},
    {4, QLatin1StringView("PRIVDELETE"), QLatin1StringView("DELETE"), QChar(u'D')},
    {5, QLatin1StringView("PRIVEXECUTE"), QLatin1StringView("EXECUTE"), QChar(u'X')},
}};

// The one privilege of a stored procedure; the columns before it are those of
// tables and views.
inline constexpr int ExecuteColumn = PrivilegeColumns.back().index;
