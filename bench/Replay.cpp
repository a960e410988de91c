// What the program sent, read back from its kelvane.sql log, and the bare
// loop that sends the same through the same client interface and nothing
// else.
#include "Bench.h"

#include "db/Database.h"
#include "db/Query.h"

#include <QJsonObject>
#include <QScopeGuard>

#include <algorithm>

namespace kbench {

QList<Step> parseLog(const QStringList &lines)
{
    QList<Step> steps;
    for (const QString &line : lines) {
        const qsizetype space = line.indexOf(QLatin1Char(' '));
        const QString verb = line.left(space);
        const QString rest = space < 0 ? QString() : line.mid(space + 1);
        Step step;
        if (verb == QLatin1String("connect")) {
            step.kind = Step::Connect;
        } else if (verb == QLatin1String("prepare")) {
            step.kind = Step::Prepare;
            step.sql = rest;
        } else if (verb == QLatin1String("open") || verb == QLatin1String("execute")) {
            step.kind = verb == QLatin1String("open") ? Step::Open : Step::Execute;
            step.sql = rest;
            // The values follow the text as "with a, b"; the text's own
            // placeholders say how many there must be.
            const qsizetype count = db::parameterNames(rest).size();
            if (count > 0) {
                const qsizetype with = rest.lastIndexOf(QLatin1String(" with "));
                if (with < 0)
                    fail(QStringLiteral("cannot read the parameters of the logged line: %1")
                             .arg(line));
                step.sql = rest.left(with);
                step.params = rest.mid(with + 6).split(QStringLiteral(", "));
                if (step.params.size() != db::parameterNames(step.sql).size())
                    fail(QStringLiteral("parameter count mismatch in the logged line: %1")
                             .arg(line));
            }
        } else if (verb == QLatin1String("send")) {
            // A statement the program sent in a batch is replayed alone, as
            // a plain loop over the client interface sends it: the yardstick
            // of a command is its statements one by one.
            step.kind = Step::Execute;
            step.sql = rest;
        } else {
            continue; // disconnect, the batches and their transaction
        }
        steps.append(step);
    }
    return steps;
}

QString describe(const Step &step)
{
    switch (step.kind) {
    case Step::Connect:
        return QStringLiteral("connect");
    case Step::Prepare:
        return QStringLiteral("prepare ") +
               QString(step.sql).replace(QLatin1Char('\n'), QLatin1Char(' '));
    case Step::Execute:
        return QStringLiteral("execute ") + step.sql;
    case Step::Open:
        break;
    }
    QString text =
        QStringLiteral("open ") + QString(step.sql).replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (!step.params.isEmpty())
        text += QStringLiteral(" [") + step.params.join(QStringLiteral(", ")) + QLatin1Char(']');
    return text;
}

QJsonArray toJson(const QList<Step> &steps)
{
    QJsonArray array;
    for (const Step &step : steps) {
        array.append(
            QJsonObject{{QStringLiteral("kind"), int(step.kind)},
                        {QStringLiteral("sql"), step.sql},
                        {QStringLiteral("params"), QJsonArray::fromStringList(step.params)}});
    }
    return array;
}

QList<Step> stepsFromJson(const QJsonArray &array)
{
    QList<Step> steps;
    for (const QJsonValue &value : array) {
        const QJsonObject object = value.toObject();
        Step step;
        step.kind = Step::Kind(object.value(QStringLiteral("kind")).toInt());
        step.sql = object.value(QStringLiteral("sql")).toString();
        for (const QJsonValue &param : object.value(QStringLiteral("params")).toArray())
            step.params.append(param.toString());
        steps.append(step);
    }
    return steps;
}

bool isChange(const QString &sql)
{
    return sql.startsWith(QLatin1String("GRANT ")) || sql.startsWith(QLatin1String("REVOKE "));
}

QList<Step> changesOf(const QList<Step> &steps)
{
    QList<Step> changes;
    for (const Step &step : steps) {
        if ((step.kind == Step::Prepare || step.kind == Step::Execute) && isChange(step.sql))
            changes.append(step);
    }
    return changes;
}

int changeCount(const QList<Step> &steps)
{
    return int(std::count_if(steps.begin(), steps.end(), [](const Step &step) {
        return step.kind == Step::Execute && isChange(step.sql);
    }));
}

namespace {

BareReplay *g_bench = nullptr;

const QString BareLoop = QStringLiteral("bare loop");

// The program's batches are one statement it prepares once and runs with
// many GRANT and REVOKE statements as its parameter; the bare loop sends
// each of those on its own, and has no use for the batch.
bool isBatch(const QString &sql)
{
    return sql.startsWith(QLatin1String("EXECUTE BLOCK"));
}

} // namespace

void setBenchConnection(BareReplay *bare)
{
    g_bench = bare;
}

BenchConnection &benchConnection()
{
    if (!g_bench)
        fail(QStringLiteral("the bench has no connection of its own"));
    return g_bench->connection();
}

BareReplay::BareReplay(const QString &target) : m_target(target) {}

BareReplay::~BareReplay()
{
    if (g_bench == this)
        g_bench = nullptr;
    disconnect();
}

void BareReplay::disconnect()
{
    // The statements are freed on the attachment, before it goes.
    m_prepared.clear();
    m_connection.reset();
}

BenchConnection &BareReplay::connection()
{
    if (!m_connection)
        open();
    return *m_connection;
}

void BareReplay::arrange(const QList<Step> &steps)
{
    if (!steps.isEmpty() && steps.front().kind == Step::Connect) {
        disconnect();
        return;
    }
    if (!m_connection)
        open();
    // The program prepares each statement once per connection and keeps
    // it: what it opens without preparing was prepared before the operation.
    QSet<QString> preparedHere;
    for (const Step &step : steps) {
        if (step.kind == Step::Prepare)
            preparedHere.insert(step.sql);
        else if (step.kind == Step::Open && !preparedHere.contains(step.sql) &&
                 !m_prepared.count(step.sql))
            (void)prepare(step.sql);
    }
}

FetchStats BareReplay::run(const QList<Step> &steps, bool sizes, Held *held)
{
    FetchStats stats;
    for (const Step &step : steps) {
        QElapsedTimer stepClock;
        stepClock.start();
        const auto account = qScopeGuard(
            [&] { (isChange(step.sql) ? stats.statementMs : stats.readMs) += msSince(stepClock); });
        switch (step.kind) {
        case Step::Execute:
            execute(step);
            break;
        case Step::Connect:
            open();
            break;
        case Step::Prepare:
            if (!isBatch(step.sql))
                (void)prepare(step.sql);
            break;
        case Step::Open: {
            std::vector<QString> *keep = held ? &(*held)[step.sql] : nullptr;
            if (keep)
                std::vector<QString>().swap(*keep); // the program closes before it reopens
            const qint64 before = stats.rows;
            // Prepared here only when the program prepared it out of sight
            // of the log; the timed runs have it arranged beforehand.
            const auto found = m_prepared.find(step.sql);
            db::client::Statement &statement =
                found == m_prepared.end() ? prepare(step.sql) : *found->second;
            guarded(BareLoop, [&] {
                fetch(statement.open(connection().reading(), step.params), stats, sizes, keep);
                statement.closeCursor();
            });
            stats.rowsPerStep.append(stats.rows - before);
            stats.msPerStep.append(msSince(stepClock));
            break;
        }
        }
    }
    return stats;
}

void BareReplay::open()
{
    disconnect();
    m_connection = std::make_unique<BenchConnection>(m_target, BareLoop);
}

db::client::Statement &BareReplay::prepare(const QString &sql)
{
    BenchConnection &bench = connection();
    // Prepared again when the program prepares again: it dropped its own.
    m_prepared.erase(sql);
    auto statement = guarded(QStringLiteral("%1: %2").arg(BareLoop, sql), [&] {
        return std::make_unique<db::client::Statement>(bench.attachment(), bench.reading(),
                                                       db::parseParameters(sql).text);
    });
    return *(m_prepared[sql] = std::move(statement));
}

// A statement that changes the catalogue runs on its own, in a transaction
// of its own committed at once, as a plain loop over the statements sends
// it; prepared first only if the program prepared it.
void BareReplay::execute(const Step &step)
{
    BenchConnection &bench = connection();
    guarded(QStringLiteral("%1: %2").arg(BareLoop, step.sql), [&] {
        db::client::Transaction transaction(bench.attachment(),
                                            db::client::TransactionKind::Command,
                                            db::TDatabase::DefaultLockTimeoutSeconds);
        const auto found = m_prepared.find(step.sql);
        if (found == m_prepared.end()) {
            bench.attachment().execute(transaction, step.sql);
        } else {
            found->second->execute(transaction, step.params);
            // The program drops such a statement when it prepares its next
            // one; freed here, it is freed once per run all the same, and a
            // later command that sends the same text finds nothing prepared.
            m_prepared.erase(found);
        }
        transaction.commit();
    });
}

void BareReplay::fetch(db::client::Cursor &cursor, FetchStats &stats, bool sizes,
                       std::vector<QString> *keep)
{
    const int columns = cursor.columnCount();
    while (cursor.fetch()) {
        ++stats.rows;
        for (int i = 0; i < columns; ++i) {
            const QString value = cursor.text(i);
            // Something must depend on the value, or the loop measures nothing.
            m_sink += value.size();
            if (sizes) {
                ++stats.values;
                stats.deliveredBytes += value.size() * qint64(sizeof(QChar));
                stats.trimmedBytes += trimmedLength(value) * qint64(sizeof(QChar));
            }
            if (keep)
                keep->push_back(value);
        }
    }
}

} // namespace kbench
