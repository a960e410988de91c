// Who can use the relation the window stands on, and through what.
#include "PrivEdit.h"

#include "Forms.h"
#include "db/Exception.h"
#include "db/WhoCan.h"
#include "dialogs/WhoCan.h"

namespace {

const QString Public = QStringLiteral("PUBLIC");

} // namespace

void TKelvaneForm::WhoCanItemClick(QObject *)
{
    if (!hasCurrentPair())
        return;
    const db::ObjectRef object = currentObject();
    if (object.type == db::kind::DdlPrivilege)
        throw kelvane::Exception(
            QStringLiteral("%1 is a DDL privilege, held directly or through a role: who can use "
                           "an object is told for tables, views, procedures, functions, "
                           "packages, sequences, exceptions and roles.")
                .arg(object.name));
    const QList<db::AccessPath> paths = db::whoCan(object, db::readAccessFacts(Database, object));
    const ListKey grantee = keyOf(*UserList);
    // A login holds PUBLIC's paths too; any other grantee only its own.
    const bool isLogin = grantee.kind == db::kind::User && grantee.name != Public;
    QList<db::AccessPath> own;
    if (isLogin)
        own = db::pathsOfLogin(paths, grantee.name);
    else
        std::copy_if(paths.begin(), paths.end(), std::back_inserter(own),
                     [&grantee](const db::AccessPath &path) {
                         return path.grantee == grantee.name && path.granteeType == grantee.kind;
                     });
    const QString note =
        login().isFirebird3
            ? QStringLiteral("Firebird 3 has no default roles: what a role holds, a login has "
                             "only when it connects with that role.")
            : QString();
    WhoCanForm->setPaths(distinctName(*RelationList), distinctName(*UserList),
                         db::describePaths(own, isLogin ? grantee.name : QString()),
                         db::describePaths(paths), note);
    WhoCanForm->exec();
}
