#include "DiffCommand.h"

#include "db/Compare.h"
#include "db/Exception.h"
#include "db/SavedExport.h"
#include "db/ServerGuards.h"

#include <QSet>

namespace {

// The status of a failure: 1 already means "they differ".
constexpr int Trouble = 2;

// SYSDBA, who runs the script, as the planner of the column mends needs it:
// every role of the database, and those a user's name shares.
db::Login scriptLogin(const db::Catalogue &here)
{
    db::Login login{QStringLiteral("SYSDBA"), true, here.isFirebird3 ? 31 : 63, here.isFirebird3};
    QSet<QString> users;
    for (const db::GrantRow &row : here.rows) {
        if (row.objectType == db::kind::Role)
            login.roles.insert(row.object);
        if (row.granteeType == db::kind::Role)
            login.roles.insert(row.grantee);
        if (row.granteeType == db::kind::User)
            users.insert(row.grantee);
    }
    for (const QString &role : std::as_const(login.roles)) {
        if (users.contains(role))
            login.rolesNamedLikeUsers.insert(role);
    }
    return login;
}

// On Firebird 3 a revoke of column-level UPDATE drops every other holder's
// on that column in effect, the catalogue unchanged: the script ends by
// giving them back, as the window's commands do.
QList<db::Change> withColumnMends(const db::CatalogueDifference &difference,
                                  const db::Catalogue &here)
{
    if (!here.isFirebird3)
        return difference.changes;
    const QList<db::GrantRow> columnRows =
        db::rowsWhere(difference.thereRows, [](const db::GrantRow &row) {
            return row.objectType == db::kind::Relation && !row.column.isEmpty();
        });
    return difference.changes +
           db::planColumnMends(columnRows, db::columnRisks(difference.changes), scriptLogin(here))
               .changes;
}

QStringList scriptOf(const db::CatalogueDifference &difference, const db::Catalogue &catalogue,
                     const QString &here, const QString &there)
{
    QStringList lines{QStringLiteral("-- Makes the privileges of %1 those of %2; run it as "
                                     "SYSDBA, or with the role RDB$ADMIN, on %1.")
                          .arg(here, there)};
    for (const QString &object : difference.objectsOnlyHere)
        lines.append(QStringLiteral("-- Only in %1, left as it is: %2").arg(here, object));
    for (const QString &object : difference.objectsOnlyThere)
        lines.append(QStringLiteral("-- Only in %1, not granted: %2").arg(there, object));
    const QList<db::Change> changes = withColumnMends(difference, catalogue);
    lines += db::statementsOf(changes);
    if (!changes.isEmpty())
        lines.append(QStringLiteral("COMMIT;"));
    return lines;
}

int readDatabase(const CommandLogin &login, db::Catalogue &into)
{
    return runOnDatabase(
        login,
        [&into](db::TDatabase &database) {
            into = db::readCatalogue(database);
            return 0;
        },
        Trouble);
}

} // namespace

int runDiff(const DiffRequest &request)
{
    // Either side may be a file the export saved instead of a database.
    const bool hereIsFile = db::isSavedExport(request.here.database);
    const bool thereIsFile = db::isSavedExport(request.there.database);
    db::Catalogue here;
    db::Catalogue there;
    int status = hereIsFile ? 0 : readDatabase(request.here, here);
    if (status == 0 && !thereIsFile)
        status = readDatabase(request.there, there);
    if (status != 0)
        return status;
    try {
        // A file stands on the other side's objects; between two files
        // neither knows them.
        if (hereIsFile)
            here = db::readSavedExport(request.here.database, thereIsFile ? nullptr : &there);
        if (thereIsFile)
            there = db::readSavedExport(request.there.database, hereIsFile ? nullptr : &here);
        const db::CatalogueDifference difference = db::compareCatalogues(here, there);
        if (difference.isEmpty())
            return 0;
        writeToStandardOutput(
            scriptOf(difference, here, request.here.database, request.there.database));
        return 1;
    } catch (const kelvane::Exception &error) {
        printError(error.message());
        return Trouble;
    }
}
