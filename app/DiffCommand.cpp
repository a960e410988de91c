#include "DiffCommand.h"

#include "db/Compare.h"
#include "db/Exception.h"

namespace {

// The status of a failure: 1 already means "they differ".
constexpr int Trouble = 2;

QStringList scriptOf(const db::CatalogueDifference &difference, const QString &here,
                     const QString &there)
{
    QStringList lines{QStringLiteral("-- Makes the privileges of %1 those of %2; run it as "
                                     "SYSDBA, or with the role RDB$ADMIN, on %1.")
                          .arg(here, there)};
    for (const QString &object : difference.objectsOnlyHere)
        lines.append(QStringLiteral("-- Only in %1, left as it is: %2").arg(here, object));
    for (const QString &object : difference.objectsOnlyThere)
        lines.append(QStringLiteral("-- Only in %1, not granted: %2").arg(there, object));
    lines += db::statementsOf(difference.changes);
    if (!difference.changes.isEmpty())
        lines.append(QStringLiteral("COMMIT;"));
    return lines;
}

} // namespace

int runDiff(const DiffRequest &request)
{
    db::Catalogue here;
    const int read = runOnDatabase(
        request.here,
        [&here](db::TDatabase &database) {
            here = db::readCatalogue(database);
            return 0;
        },
        Trouble);
    if (read != 0)
        return read;
    return runOnDatabase(
        request.there,
        [&](db::TDatabase &database) {
            const db::CatalogueDifference difference =
                db::compareCatalogues(here, db::readCatalogue(database));
            if (difference.isEmpty())
                return 0;
            writeToStandardOutput(
                scriptOf(difference, request.here.database, request.there.database));
            return 1;
        },
        Trouble);
}
