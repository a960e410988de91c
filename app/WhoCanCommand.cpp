#include "WhoCanCommand.h"

#include "db/Exception.h"
#include "db/WhoCan.h"

#include <algorithm>

namespace {

// Every kind a grant can name an object of: one name may be a table and a
// sequence at once.
constexpr int ObjectKinds[] = {db::kind::Relation, db::kind::Procedure, db::kind::Function,
                               db::kind::Package,  db::kind::Sequence,  db::kind::Exception,
                               db::kind::Role};

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
        bool found = false;
        for (const int type : ObjectKinds) {
            const db::ObjectRef object{type, request.object};
            const db::AccessFacts facts = db::readAccessFacts(database, object);
            if (facts.owner.isEmpty() && facts.onObject.isEmpty())
                continue;
            found = true;
            QList<db::AccessPath> paths = db::whoCan(object, facts);
            if (!letter.isNull())
                paths.removeIf(
                    [letter](const db::AccessPath &path) { return path.letter != letter; });
            lines += db::tabulatePaths(object, paths);
        }
        if (!found)
            throw kelvane::Exception(
                QStringLiteral("no object named %1 in the database; names are matched exactly, "
                               "as the catalogue keeps them")
                    .arg(request.object));
        writeToStandardOutput(lines);
        return 0;
    });
}
