#include "ExportCommand.h"

#include "CommandConnection.h"
#include "db/Exception.h"
#include "db/Export.h"

#include <QFile>

int runExport(const ExportRequest &request)
{
    return runOnDatabase(
        {request.database, request.user, request.role}, [&request](db::TDatabase &database) {
            if (request.output.isEmpty()) {
                QFile out;
                if (!out.open(stdout, QIODevice::WriteOnly))
                    throw kelvane::Exception(out.errorString());
                (void)db::writeExport(database, out);
                if (!out.flush())
                    throw kelvane::Exception(
                        QStringLiteral("Cannot write standard output: %1").arg(out.errorString()));
                return 0;
            }
            // Written whole or not at all: a file under version
            // control keeps its last good state when the export
            // fails.
            (void)db::saveExport(database, request.output);
            return 0;
        });
}
