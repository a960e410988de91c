#include "WhoCanCommand.h"

#include "db/Exception.h"
#include "db/WhoCan.h"

#include <algorithm>

namespace {

QChar letterAsked(const QString &text)
{
    if (text.size() == 1 && QStringLiteral("SUIDRXGM").contains(text.front().toUpper()))
        return text.front().toUpper();
    return db::letterOfWord(text.toUpper());
}

} // namespace

int runWhoCan(const WhoCanRequest &request)
{
    const QChar letter = request.letter.isEmpty() ? QChar() : letterAsked(request.letter);
    if (!request.letter.isEmpty() && letter.isNull()) {
        printError(QStringLiteral("--letter %1: not a privilege; give one of S U I D R X G M, or "
                                  "its word (SELECT)")
                       .arg(request.letter));
        return 2;
    }
    return runOnDatabase(request.login, [&](db::TDatabase &database) {
        QStringList lines{db::tabulatedHeader()};
        const auto objects = db::readAccessFactsOfName(database, request.object);
        for (const auto &[object, facts] : objects) {
            QList<db::AccessPath> paths = db::whoCan(object, facts);
            if (!letter.isNull())
                paths.removeIf(
                    [letter](const db::AccessPath &path) { return path.letter != letter; });
            lines += db::tabulatePaths(object, paths);
        }
        if (objects.isEmpty())
            throw kelvane::Exception(
                QStringLiteral("no object named %1 in the database; names are matched exactly, "
                               "as the catalogue keeps them")
                    .arg(request.object));
        writeToStandardOutput(lines);
        return 0;
    });
}
