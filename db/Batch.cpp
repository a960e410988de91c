#include "Batch.h"

#include "Database.h"
#include "Exception.h"
#include "Names.h"
#include "SqlLog.h"

#include <QSqlError>

namespace db {

namespace {

// The batch travels as one parameter of "length:statement" items; lengths
// count characters, as the server's string functions do.
constexpr qsizetype BatchCharacters = 8191;

const char *const BlockSql =
    "EXECUTE BLOCK (BATCH VARCHAR(8191) CHARACTER SET UTF8 = ?)\n"
    "RETURNS (DONE INTEGER, REFUSED INTEGER)\n"
    "AS\n"
    "  DECLARE AT_CHAR INTEGER = 1;\n"
    "  DECLARE COLON INTEGER;\n"
    "  DECLARE LEN INTEGER;\n"
    "  DECLARE STMT VARCHAR(8191) CHARACTER SET UTF8;\n"
    "BEGIN\n"
    "  DONE = 0;\n"
    "  REFUSED = 0;\n"
    "  WHILE (REFUSED = 0 AND AT_CHAR <= CHAR_LENGTH(BATCH)) DO\n"
    "  BEGIN\n"
    "    COLON = POSITION(':', BATCH, AT_CHAR);\n"
    "    LEN = CAST(SUBSTRING(BATCH FROM AT_CHAR FOR COLON - AT_CHAR) AS INTEGER);\n"
    "    STMT = SUBSTRING(BATCH FROM COLON + 1 FOR LEN);\n"
    "    AT_CHAR = COLON + 1 + LEN;\n"
    "    BEGIN\n"
    "      EXECUTE STATEMENT STMT;\n"
    "      DONE = DONE + 1;\n"
    // The handler's block undoes the refused statement alone.
    "      WHEN ANY DO REFUSED = 1;\n"
    "    END\n"
    "  END\n"
    "  SUSPEND;\n"
    "END";

QString item(const QString &statement)
{
    return QString::number(characterCount(statement)) + QLatin1Char(':') + statement;
}

} // namespace

TCommandTransaction::TCommandTransaction(TDatabase &database)
    : m_database(database), m_connection(database.connection())
{
    if (m_database.m_transaction)
        throw kelvane::EngineError(QStringLiteral("A command is already running"));
    qCDebug(lcSql).noquote() << "start transaction";
    if (!m_connection.transaction())
        throw kelvane::EngineError(engineMessage(m_connection.lastError()));
    m_active = true;
    m_database.m_transaction = this;
}

TCommandTransaction::~TCommandTransaction()
{
    rollback();
}

void TCommandTransaction::rollback()
{
    m_block.reset();
    if (!m_active)
        return;
    m_active = false;
    m_database.m_transaction = nullptr;
    qCDebug(lcSql).noquote() << "rollback";
    // A lost connection has taken the transaction with it; nothing more to say.
    if (!m_connection.rollback())
        qCDebug(lcSql).noquote() << "rollback failed:" << engineMessage(m_connection.lastError());
}

QSqlQuery &TCommandTransaction::block()
{
    if (!m_block) {
        QSqlQuery query(m_connection);
        query.setForwardOnly(true);
        qCDebug(lcSql).noquote() << "prepare" << BlockSql;
        if (!query.prepare(QLatin1String(BlockSql)))
            throw kelvane::EngineError(engineMessage(query.lastError()));
        m_block = std::move(query);
    }
    return *m_block;
}

TCommandTransaction::Step TCommandTransaction::run(const QStringList &statements, qsizetype from)
{
    QString batch;
    qsizetype characters = 0;
    qsizetype end = from;
    while (end < statements.size() && end - from < MaxBatchStatements) {
        const QString next = item(statements.at(end));
        const qsizetype nextCharacters = characterCount(next);
        if (characters + nextCharacters > BatchCharacters)
            break;
        batch += next;
        characters += nextCharacters;
        ++end;
    }
    if (end == from)
        return runAlone(statements.at(from), from); // too long to travel in a batch

    QSqlQuery &query = block();
    query.bindValue(0, batch);
    qCDebug(lcSql).noquote() << "batch of" << (end - from) << "from" << statements.at(from);
    if (!query.exec() || !query.next())
        throw kelvane::EngineError(engineMessage(query.lastError()));
    const qsizetype done = query.value(0).toInt();
    const bool refused = query.value(1).toInt() != 0;
    for (qsizetype i = from; i < from + done; ++i)
        qCDebug(lcSql).noquote() << "send" << statements.at(i);
    m_ran += done;
    if (!refused)
        return {end, false, {}};
    // The block cannot read the server's message; running the statement
    // again alone, where it fails the same way, gives it.
    return runAlone(statements.at(from + done), from + done);
}

TCommandTransaction::Step TCommandTransaction::runAlone(const QString &statement, qsizetype at)
{
    QSqlQuery query(m_connection);
    qCDebug(lcSql).noquote() << "send" << statement;
    if (!query.exec(statement))
        return {at, true, engineMessage(query.lastError())};
    ++m_ran;
    return {at + 1, false, {}};
}

void TCommandTransaction::commit()
{
    m_block.reset();
    if (!m_active)
        return;
    qCDebug(lcSql).noquote() << "commit";
    // Whatever the outcome the transaction is over: the driver lets go of it
    // even when the server refuses the commit.
    m_active = false;
    m_database.m_transaction = nullptr;
    if (!m_connection.commit())
        throw kelvane::EngineError(engineMessage(m_connection.lastError()));
    m_committed = true;
}

} // namespace db
