#include "Batch.h"

#include "Client.h"
#include "Database.h"
#include "Exception.h"
#include "Names.h"
#include "Query.h"
#include "SqlLog.h"

#include <algorithm>

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

// A text whose parameters become the block's inputs prefix1, prefix2...,
// read as its variables: ": P1", the blank keeping the client from taking
// them for parameters of the block's own.
ParsedStatement withBlockInputs(const QString &text, const QString &prefix, QStringList &inputs)
{
    return parseParameters(text, [&](qsizetype at) {
        const QString name = prefix + QString::number(at + 1);
        inputs.append(name + QStringLiteral(" VARCHAR(255) CHARACTER SET UTF8 = ?"));
        return QStringLiteral(": ") + name;
    });
}

// One statement and the rows of queries, in one round trip. The rows come
// with REFUSED null; one row between them says whether the server refused
// the statement (1), or its guard held it back (2), and one more before the
// rows of each query after the first (3). Without a guard the rows are read
// after the statement. With one, the first query's rows within its reach
// are read before it too, then every row after it, each saying in REACHED
// whether it is within the reach. The first query's parameters are the
// block's inputs P1, P2..., the next's Q1_1, Q1_2..., the guard's G1,
// G2..., the reach's R1, R2...
QString aroundStatementSql(const QList<TCommandTransaction::Read> &reads,
                           const TCommandTransaction::Guard *guard)
{
    QStringList inputs{QStringLiteral("STATEMENT_SQL VARCHAR(32765) CHARACTER SET NONE = ?")};
    QStringList selects;
    QList<int> widths;
    for (qsizetype i = 0; i < reads.size(); ++i) {
        const QString prefix = i == 0 ? QStringLiteral("P") : QStringLiteral("Q%1_").arg(i);
        selects.append(withBlockInputs(reads.at(i).query->sqlText(), prefix, inputs).text);
        const QList<TextColumn> &columns = reads.at(i).columns;
        for (qsizetype c = 0; c < columns.size(); ++c) {
            if (c == widths.size())
                widths.append(0);
            widths[c] = std::max(widths.at(c), columns.at(c).length);
        }
    }
    QStringList outputs;
    for (qsizetype c = 0; c < widths.size(); ++c)
        outputs.append(
            QStringLiteral("C%1 VARCHAR(%2) CHARACTER SET UTF8").arg(c + 1).arg(widths.at(c)));
    const auto into = [](qsizetype count) {
        QStringList columns;
        for (qsizetype c = 1; c <= count; ++c)
            columns.append(QStringLiteral("C%1").arg(c));
        return columns.join(QStringLiteral(", "));
    };
    const QString run =
        QStringLiteral("  BEGIN\n"
                       "    EXECUTE STATEMENT STATEMENT_SQL;\n"
                       "    WHEN GDSCODE lock_conflict, GDSCODE lock_timeout, GDSCODE deadlock,\n"
                       "         GDSCODE update_conflict DO EXCEPTION;\n"
                       "    WHEN ANY DO REFUSED = 1;\n"
                       "  END\n");
    const QString first = selects.constFirst();
    const QString firstInto = into(reads.constFirst().columns.size());
    QString body;
    QString readAfter;
    if (guard) {
        const QString condition =
            withBlockInputs(guard->condition, QStringLiteral("G"), inputs).text;
        const QString reach = withBlockInputs(guard->reach, QStringLiteral("R"), inputs).text;
        body = QStringLiteral("  REACHED = 1;\n"
                              "  FOR SELECT * FROM (%1) WHERE %2\n"
                              "  INTO %3 DO SUSPEND;\n"
                              "  REFUSED = 0;\n"
                              "  IF (%4) THEN\n%5"
                              "  ELSE REFUSED = 2;\n")
                   .arg(first, reach, firstInto, condition, run);
        readAfter = QStringLiteral("  FOR SELECT Q.*, IIF(%1, 1, 0) FROM (%2) Q\n"
                                   "  INTO %3, REACHED DO SUSPEND;\n")
                        .arg(reach, first, firstInto);
    } else {
        body = QStringLiteral("  REFUSED = 0;\n") + run;
        readAfter = QStringLiteral("  FOR SELECT * FROM (%1)\n"
                                   "  INTO %2 DO SUSPEND;\n")
                        .arg(first, firstInto);
    }
    for (qsizetype i = 1; i < reads.size(); ++i)
        readAfter += QStringLiteral("  REFUSED = 3;\n"
                                    "  SUSPEND;\n"
                                    "  REFUSED = NULL;\n"
                                    "  FOR SELECT * FROM (%1)\n"
                                    "  INTO %2 DO SUSPEND;\n")
                         .arg(selects.at(i), into(reads.at(i).columns.size()));
    return QStringLiteral("EXECUTE BLOCK (%1)\n"
                          "RETURNS (REFUSED INTEGER, REACHED INTEGER, %2)\n"
                          "AS\n"
                          "BEGIN\n"
                          "%3"
                          "  SUSPEND;\n"
                          "  REFUSED = NULL;\n"
                          "%4"
                          "END")
        .arg(inputs.join(QStringLiteral(", ")), outputs.join(QStringLiteral(", ")), body,
             readAfter);
}

// A guard's values, one for each parameter of the condition where it appears.
QStringList valuesInOrder(const QString &condition, const QHash<QString, QString> &byName)
{
    QStringList values;
    for (const QString &name : parameterNames(condition)) {
        const auto value = byName.constFind(name);
        if (value == byName.cend())
            throw kelvane::Exception(
                QStringLiteral("The guard's parameter %1 has no value: nothing was sent")
                    .arg(name));
        values.append(*value);
    }
    return values;
}

// The rows a query with these columns read, none yet.
ReadRows noRows(const QList<TextColumn> &columns)
{
    ReadRows rows;
    for (const TextColumn &column : columns)
        rows.fieldNames.append(column.name);
    return rows;
}

// The block's columns before the query's.
constexpr int FlagColumns = 2;

// Appends the cursor's rows to `rows` up to the one that says how the
// statement went, whose REFUSED it returns; after the last, -1. Where
// `outside` is given, the rows not within the statement's reach go there.
int fetchRowsUpToFlag(client::Cursor &result, ReadRows &rows, ReadRows *outside = nullptr)
{
    const int width = int(rows.fieldNames.size());
    while (result.fetch()) {
        const QString flag = result.text(0);
        if (!flag.isEmpty())
            return flag.toInt();
        for (int column = FlagColumns; column < FlagColumns + width; ++column)
            rows.values.push_back(result.text(column));
        if (outside && result.text(1) == QLatin1String("0"))
            outside->values.insert(outside->values.end(), rows.values.end() - width,
                                   rows.values.end());
    }
    return -1;
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
    return runThenRead(statement, {{&query, columns}});
}

TCommandTransaction::Step TCommandTransaction::runThenRead(const QString &statement,
                                                           const QList<Read> &reads)
{
    if (statement.toUtf8().size() > BatchBytes)
        return runAlone(statement, 0); // too long to travel in the block
    RowsAround rows;
    QList<ReadRows> others;
    const Step step = runInBlock(statement, nullptr, reads, rows, others);
    if (rows.after) {
        others.prepend(std::move(*rows.after));
        openWithRowsRead(reads, others);
    }
    return step;
}

TCommandTransaction::Step TCommandTransaction::runBetweenReads(const QString &statement,
                                                               const Guard &guard, TQuery &query,
                                                               const QList<TextColumn> &columns,
                                                               RowsAround &rows,
                                                               const QList<Read> &alsoAfter)
{
    if (statement.toUtf8().size() > BatchBytes) {
        // A faulty guard fails here as it would below.
        (void)valuesInOrder(guard.condition + QLatin1Char(' ') + guard.reach, guard.values);
        query.open();
        rows = {query.readRows(), std::nullopt};
        query.close();
        rows.after = rows.before;
        return {0, false, {}, true};
    }
    query.logExecution("open");
    QList<ReadRows> others;
    const Step step =
        runInBlock(statement, &guard, QList<Read>{{&query, columns}} + alsoAfter, rows, others);
    if (rows.after) {
        query.logExecution("open");
        openWithRowsRead(alsoAfter, others);
    }
    return step;
}

void TCommandTransaction::openWithRowsRead(const QList<Read> &reads, QList<ReadRows> &rows)
{
    for (qsizetype i = 0; i < reads.size(); ++i) {
        reads.at(i).query->logExecution("open");
        reads.at(i).query->openNextWith(std::move(rows[i]));
    }
}

TCommandTransaction::Step TCommandTransaction::runInBlock(const QString &statement,
                                                          const Guard *guard,
                                                          const QList<Read> &reads,
                                                          RowsAround &rows, QList<ReadRows> &others)
{
    QStringList parameters{statement};
    for (const Read &read : reads) {
        for (int i = 0; i < read.query->paramCount(); ++i)
            parameters.append(read.query->paramText(i));
    }
    if (guard) {
        parameters += valuesInOrder(guard->condition, guard->values);
        parameters += valuesInOrder(guard->reach, guard->values);
    }
    client::Statement &block = m_database.statement(aroundStatementSql(reads, guard));
    client::Cursor &result = block.open(*m_transaction, parameters);
    const QList<TextColumn> &columns = reads.constFirst().columns;
    ReadRows reached = noRows(columns);
    rows = {noRows(columns), noRows(columns)};
    const int flag = fetchRowsUpToFlag(result, reached);
    if (flag < 0)
        throw kelvane::EngineError(QStringLiteral("The statement's block returned no result"));
    (void)fetchRowsUpToFlag(result, *rows.after, &rows.before);
    others.clear();
    for (qsizetype i = 1; i < reads.size(); ++i) {
        others.append(noRows(reads.at(i).columns));
        (void)fetchRowsUpToFlag(result, others.last());
    }
    block.closeCursor();
    // Beyond its reach the statement changed nothing: those rows read after
    // it are as they were before.
    rows.before.append(std::move(reached));
    if (flag == 2)
        return {0, false, {}, true};
    if (flag == 0) {
        qCDebug(lcSql).noquote() << "send" << statement;
        ++m_ran;
        return {1, false, {}};
    }
    // Run alone, where it fails the same way, it gives the server's reason;
    // the rows read after it stand unless, alone, it took effect.
    const Step step = runAlone(statement, 0);
    if (!step.refused)
        rows.after.reset();
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
