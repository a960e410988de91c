#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

// A row of the users' or the relations' list: one name may stand for several
// objects (a table and a sequence) or grantees (a user and a procedure), told
// apart by the kind the catalogue records.
struct ListKey
{
    QString name;
    int kind = AnyKind;

    // A search for a name alone stops at its first row, whatever its kind.
    static constexpr int AnyKind = -1;
};

// How the lists show a row's kind: a badge beside the name, and the kind's
// name in the tooltip.
struct KindLook
{
    QChar badge;
    QColor color;
    QString name;
};

// An object of the relations' list; tables and views share one catalogue kind.
[[nodiscard]] KindLook objectLook(int objectType, bool isView);
// A grantee of the users' list.
[[nodiscard]] KindLook granteeLook(int granteeType);
// The badge of the look, drawn once per look.
[[nodiscard]] QIcon kindBadge(const KindLook &look);
