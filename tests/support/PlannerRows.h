#pragma once

// What the planner's table tests build their cases from: catalogue rows,
// logins and grantees in a line each.

#include "db/Plans.h"

#include <QMetaType>

Q_DECLARE_METATYPE(db::GrantRow)

namespace planner {

inline db::GrantRow row(const QString &grantee, int objectType, const QString &object, char letter,
                        const QString &column = {}, int option = 0,
                        const QString &grantor = QStringLiteral("SYSDBA"),
                        int granteeType = db::kind::User)
{
    return {grantee, granteeType, object, objectType, QChar(letter), column, option, grantor};
}

inline QStringList sqlOf(const db::Plan &plan)
{
    QStringList sql;
    for (const db::Change &change : plan.changes)
        sql.append(change.sql);
    return sql;
}

inline db::Grantee user(const QString &name)
{
    return {db::SqlName::stored(name), db::kind::User};
}

} // namespace planner

// SYSDBA names any grantor; BOSS only itself.
inline const db::Login Sysdba{QStringLiteral("SYSDBA"), true};
inline const db::Login Boss{QStringLiteral("BOSS"), false};
