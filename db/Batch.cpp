#include "Batch.h"

#include "Client.h"
#include "Database.h"
#include "Exception.h"
#include "Names.h"
#include "Query.h"
#include "SqlLog.h"

namespace db {

namespace {

// The batch travels as one parameter of "length:statement" items, as the
// statements' UTF-8 bytes in a parameter of character set NONE: the server
// takes those bytes as they are, and its string functions count them one
// by one, four times as many statements as UTF-8 characters would hold in
// the same message. EXECUTE STATEMENT reads them as the connection's UTF-8.
// The block's VARCHAR(32765) is that longest parameter.
constexpr qsizetype BatchBytes = client::MaxParameterBytes;

const char *const BlockSql =
    "EXECUTE BLOCK (BATCH VARCHAR(32765) CHARACTER SET NONE = ?)\n"
    "RETURNS (DONE INTEGER, REFUSED INTEGER)\n"
    "AS\n"
    "  DECLARE AT_CHAR INTEGER = 1;\n"
    "  DECLARE COLON INTEGER;\n"
    "  DECLARE LEN INTEGER;\n"
    "  DECLARE STMT VARCHAR(32765) CHARACTER SET NONE;\n"
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
    // Another transaction's lock is no refusal: it fails the whole batch,
    // and the command with it.
    "      WHEN GDSCODE lock_conflict, GDSCODE lock_timeout, GDSCODE deadlock,\n"
    "           GDSCODE update_conflict DO EXCEPTION;\n"
    // The handler's block undoes the refused statement alone.
    "      WHEN ANY DO REFUSED = 1;\n"
    "    END\n"
    "  END\n"
    "  SUSPEND;\n"
    "END";

// One statement, then the rows of a query, in one round trip: the first row
// says whether the server refused the statement, the others are the query's.
// Inside the block the query's parameters are the block's inputs P1, P2...,
// read as its variables: ": P1", the blank keeping the client from taking
// them for parameters of the block's own.
QString runThenReadSql(const TQuery &query, const QList<TextColumn> &columns)
{
    QStringList inputs{QStringLiteral("STATEMENT_SQL VARCHAR(32765) CHARACTER SET NONE = ?")};
    const QString select = parseParameters(query.sqlText(), [&inputs](qsizetype at) {
                               inputs.append(QStringLiteral("P%1 VARCHAR(255) CHARACTER SET "
                                                            "UTF8 = ?")
                                                 .arg(at + 1));
                               return QStringLiteral(": P%1").arg(at + 1);
                           }).text;
    QStringList outputs;
    QStringList into;
    for (qsizetype i = 1; i <= columns.size(); ++i) {
        outputs.append(QStringLiteral("C%1 VARCHAR(%2) CHARACTER SET UTF8")
                           .arg(i)
                           .arg(columns.at(i - 1).length));
        into.append(QStringLiteral("C%1").arg(i));
    }
    return QStringLiteral(
               "EXECUTE BLOCK (%1)\n"
               "RETURNS (REFUSED INTEGER, %2)\n"
               "AS\n"
               "BEGIN\n"
               "  REFUSED = 0;\n"
               "  BEGIN\n"
               "    EXECUTE STATEMENT STATEMENT_SQL;\n"
               "    WHEN GDSCODE lock_conflict, GDSCODE lock_timeout, GDSCODE deadlock,\n"
               "         GDSCODE update_conflict DO EXCEPTION;\n"
               "    WHEN ANY DO REFUSED = 1;\n"
               "  END\n"
               "  SUSPEND;\n"
               "  REFUSED = NULL;\n"
               "  FOR SELECT * FROM (%3)\n"
               "  INTO %4 DO SUSPEND;\n"
               "END")
        .arg(inputs.join(QStringLiteral(", ")), outputs.join(QStringLiteral(", ")), select,
             into.join(QStringLiteral(", ")));
}

} // namespace

TCommandTransaction::TCommandTransaction(TDatabase &database) : m_database(database)
{
    if (m_database.m_transaction)
        throw kelvane::EngineError(QStringLiteral("A command is already running"));
    qCDebug(lcSql).noquote() << "start transaction";
    m_transaction = std::make_unique<client::Transaction>(
        m_database.attachment(), client::TransactionKind::Command, m_database.lockTimeoutSeconds());
    m_active = true;
    m_database.m_transaction = this;
}

TCommandTransaction::~TCommandTransaction()
{
    rollback();
}

void TCommandTransaction::ended()
{
    m_active = false;
    m_database.m_transaction = nullptr;
}

void TCommandTransaction::rollback()
{
    if (!m_active)
        return;
    ended();
    qCDebug(lcSql).noquote() << "rollback";
    // A lost connection has taken the transaction with it; nothing more to say.
    const QString failure = m_transaction->rollback();
    if (!failure.isEmpty())
        qCDebug(lcSql).noquote() << "rollback failed:" << failure;
}

TCommandTransaction::Step TCommandTransaction::run(const QStringList &statements, qsizetype from)
{
    QByteArray batch;
    qsizetype end = from;
    while (end < statements.size() && end - from < MaxBatchStatements) {
        const QByteArray next = client::lengthPrefixed(statements.at(end));
        if (batch.size() + next.size() > BatchBytes)
            break;
        batch += next;
        ++end;
    }
    if (end == from)
        return runAlone(statements.at(from), from); // too long to travel in a batch

    client::Statement &block = m_database.statement(QLatin1String(BlockSql));
    qCDebug(lcSql).noquote() << "batch of" << (end - from) << "from" << statements.at(from);
    client::Cursor &result = block.open(*m_transaction, {QString::fromUtf8(batch)});
    if (!result.fetch())
        throw kelvane::EngineError(QStringLiteral("The batch returned no result"));
    const qsizetype done = result.text(0).toInt();
    const bool refused = result.text(1).toInt() != 0;
    block.closeCursor();
    for (qsizetype i = from; i < from + done; ++i)
        qCDebug(lcSql).noquote() << "send" << statements.at(i);
    m_ran += done;
    if (!refused)
        return {end, false, {}};
    // The block cannot read the server's message; running the statement
    // again alone, where it fails the same way, gives it.
    return runAlone(statements.at(from + done), from + done);
}

TCommandTransaction::Step TCommandTransaction::runThenRead(const QString &statement, TQuery &query,
                                                           const QList<TextColumn> &columns)
{
    if (statement.toUtf8().size() > BatchBytes)
        return runAlone(statement, 0); // too long to travel in the block
    QStringList parameters{statement};
    for (int i = 0; i < query.paramCount(); ++i)
        parameters.append(query.paramText(i));
    client::Statement &block = m_database.statement(runThenReadSql(query, columns));
    client::Cursor &result = block.open(*m_transaction, parameters);
    if (!result.fetch())
        throw kelvane::EngineError(QStringLiteral("The statement's block returned no result"));
    const bool refused = result.text(0).toInt() != 0;
    ReadRows rows;
    for (const TextColumn &column : columns)
        rows.fieldNames.append(column.name);
    while (result.fetch()) {
        for (int column = 1; column <= columns.size(); ++column)
            rows.values.push_back(result.text(column));
    }
    block.closeCursor();
    Step step{1, false, {}};
    if (refused) {
        // Run alone, where it fails the same way, it gives the server's reason.
        step = runAlone(statement, 0);
    } else {
        qCDebug(lcSql).noquote() << "send" << statement;
        ++m_ran;
    }
    // The rows read stand unless the statement, run alone, took effect.
    if (!refused || step.refused) {
        query.logExecution("open");
        query.openNextWith(std::move(rows));
    }
    return step;
}

TCommandTransaction::Step TCommandTransaction::runAlone(const QString &statement, qsizetype at)
{
    qCDebug(lcSql).noquote() << "send" << statement;
    try {
        m_database.attachment().execute(*m_transaction, statement);
    } catch (const kelvane::EngineError &failure) {
        // Only the statement itself can be refused; a lost connection or
        // another session's lock ends the command.
        if (failure.lostConnection() || failure.lockConflict())
            throw;
        return {at, true, failure.message()};
    }
    ++m_ran;
    return {at + 1, false, {}};
}

void TCommandTransaction::commit()
{
    if (!m_active)
        return;
    qCDebug(lcSql).noquote() << "commit";
    // Whatever the outcome the transaction is over: a refused commit is
    // rolled back.
    ended();
    m_transaction->commit();
    m_committed = true;
}

} // namespace db
