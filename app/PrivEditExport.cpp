// The main window's saving of privileges as SQL: the current user's, those
// on the current relation, or the whole catalogue's.
#include "PrivEdit.h"

#include "db/Export.h"
#include "ui/BusyCursor.h"
#include "ui/Dialogs.h"

#include <QAction>
#include <QRegularExpression>

namespace {

// A file name from names of any kind: what a file system or a shell would
// take otherwise becomes an underscore.
QString fileNamePart(const QString &name)
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9_.-]+"));
    QString part = name;
    part.replace(unsafe, QStringLiteral("_"));
    return part;
}

} // namespace

void TKelvaneForm::SaveSqlItemClick(QObject *sender)
{
    if (!Database.connected())
        return;
    const bool ofUser = sender == SaveUserSqlItem;
    const bool onRelation = sender == SaveRelationSqlItem;
    if ((ofUser || onRelation) && !hasCurrentPair())
        return;
    const ListKey user = keyOf(*UserList);
    const db::ObjectRef object = currentObject();
    std::function<bool(const db::GrantRow &)> wanted;
    QString what;
    QString suggested = fileNamePart(Database.aliasName());
    if (ofUser) {
        wanted = [user](const db::GrantRow &row) {
            return row.grantee == user.name && row.granteeType == user.kind;
        };
        what = QStringLiteral("the privileges of ") + nameHint(*UserList, UserList->recNo());
        suggested += QLatin1Char('-') + fileNamePart(user.name);
    } else if (onRelation) {
        // The catalogue keeps a DDL privilege on an object of its own; the
        // lists, and so the current object, name it as its statement does.
        wanted = [object](const db::GrantRow &row) {
            const db::GrantRow shown = db::asListRow(row);
            return shown.object == object.name && shown.objectType == object.type;
        };
        // A DDL privilege is held, not held on.
        what = object.type == db::kind::DdlPrivilege
                   ? QStringLiteral("who holds the DDL privilege ") + object.name
                   : QStringLiteral("the privileges on ") +
                         nameHint(*RelationList, RelationList->recNo());
        suggested += QLatin1Char('-') + fileNamePart(object.name);
    } else {
        suggested += QStringLiteral("-privileges");
    }
    const QString path =
        ui::askSaveFileName(QStringLiteral("Save as SQL"), suggested + QStringLiteral(".sql"),
                            QStringLiteral("SQL scripts (*.sql);;All files (*)"));
    if (path.isEmpty())
        return;
    qsizetype written = 0;
    {
        const ui::BusyCursor busy;
        written = db::saveExport(Database, path, wanted, what);
    }
    ui::showInformationMessage(QStringLiteral("%1 GRANT statement%2 saved in %3.")
                                   .arg(written)
                                   .arg(written == 1 ? QString() : QStringLiteral("s"), path));
}
