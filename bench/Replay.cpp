// What the program sent, read back from its kelvane.sql log, and the bare
// loop that sends the same through the same driver and nothing else.
#include "Bench.h"

#include "db/Query.h"

#include <QJsonObject>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

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
        } else if (verb == QLatin1String("open")) {
            step.kind = Step::Open;
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
        } else if (verb == QLatin1String("execute") || verb == QLatin1String("send")) {
            // A statement the program sent in a batch is replayed alone, as
            // a plain loop through the driver sends it: the yardstick of a
            // command is its statements one by one.
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

BareReplay::BareReplay(const QString &target, const QString &connectionName)
    : m_connectionName(connectionName)
{
    (void)addBareConnection(target, m_connectionName);
}

BareReplay::~BareReplay()
{
    disconnect();
    QSqlDatabase::removeDatabase(m_connectionName);
}

void BareReplay::learn(const QList<Step> &steps)
{
    for (const Step &step : steps) {
        if (step.kind == Step::Prepare)
            m_preparedTexts.insert(step.sql);
    }
}

void BareReplay::disconnect()
{
    m_prepared.clear();
    QSqlDatabase db = database();
    if (db.isOpen())
        db.close();
}

void BareReplay::arrange(const QList<Step> &steps)
{
    if (!steps.isEmpty() && steps.front().kind == Step::Connect) {
        disconnect();
        return;
    }
    if (!database().isOpen())
        open();
    QSet<QString> preparedHere;
    for (const Step &step : steps) {
        if (step.kind == Step::Prepare)
            preparedHere.insert(step.sql);
        else if (step.kind == Step::Open && m_preparedTexts.contains(step.sql) &&
                 !preparedHere.contains(step.sql) && !m_prepared.count(step.sql))
            prepare(step.sql);
    }
}

FetchStats BareReplay::run(const QList<Step> &steps, bool sizes, Held *held)
{
    FetchStats stats;
    QSet<QString> preparedHere;
    for (const Step &step : steps) {
        QElapsedTimer stepClock;
        stepClock.start();
        const auto account = qScopeGuard(
            [&] { (isChange(step.sql) ? stats.statementMs : stats.readMs) += msSince(stepClock); });
        switch (step.kind) {
        case Step::Execute: {
            const auto found = m_prepared.find(step.sql);
            if (found == m_prepared.end()) {
                QSqlQuery query(database());
                if (!query.exec(step.sql))
                    fail(QStringLiteral("bare loop: %1").arg(query.lastError().text()));
            } else {
                if (!found->second->exec())
                    fail(QStringLiteral("bare loop: %1").arg(found->second->lastError().text()));
                m_prepared.erase(found);
            }
            break;
        }
        case Step::Connect:
            open();
            break;
        case Step::Prepare:
            prepare(step.sql);
            preparedHere.insert(step.sql);
            break;
        case Step::Open: {
            std::vector<QString> *keep = held ? &(*held)[step.sql] : nullptr;
            if (keep)
                std::vector<QString>().swap(*keep); // the program closes before it reopens
            const qint64 before = stats.rows;
            if (m_preparedTexts.contains(step.sql)) {
                const auto found = m_prepared.find(step.sql);
                if (found == m_prepared.end())
                    fail(QStringLiteral("bare loop: not prepared: %1").arg(step.sql));
                QSqlQuery &query = *found->second;
                for (int i = 0; i < step.params.size(); ++i)
                    query.bindValue(i, step.params[i]);
                if (!query.exec())
                    fail(QStringLiteral("bare loop: %1").arg(query.lastError().text()));
                fetch(query, stats, sizes, keep);
                query.finish();
                // Prepared for this one execution, as the program does:
                // a kept statement would also keep its transaction.
                if (preparedHere.contains(step.sql))
                    m_prepared.erase(found);
            } else {
                QSqlQuery query(database());
                query.setForwardOnly(true);
                if (!query.exec(step.sql))
                    fail(QStringLiteral("bare loop: %1").arg(query.lastError().text()));
                fetch(query, stats, sizes, keep);
            }
            stats.rowsPerStep.append(stats.rows - before);
            stats.msPerStep.append(msSince(stepClock));
            break;
        }
        }
    }
    return stats;
}

QSqlDatabase BareReplay::database() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

void BareReplay::open()
{
    QSqlDatabase db = database();
    if (!db.open())
        fail(QStringLiteral("bare loop: cannot connect: %1").arg(db.lastError().text()));
}

void BareReplay::prepare(const QString &sql)
{
    auto query = std::make_unique<QSqlQuery>(database());
    query->setForwardOnly(true);
    if (!query->prepare(sql))
        fail(QStringLiteral("bare loop: %1").arg(query->lastError().text()));
    m_prepared[sql] = std::move(query);
}

void BareReplay::fetch(QSqlQuery &query, FetchStats &stats, bool sizes, std::vector<QString> *keep)
{
    const int columns = query.record().count();
    while (query.next()) {
        ++stats.rows;
        for (int i = 0; i < columns; ++i) {
            const QString value = query.value(i).toString();
            // Something must depend on the value, or the loop measures nothing.
            m_sink += value.size();
            if (sizes) {
                ++stats.values;
                stats.paddedBytes += value.size() * qint64(sizeof(QChar));
                stats.trimmedBytes += trimmedLength(value) * qint64(sizeof(QChar));
            }
            if (keep)
                keep->push_back(value);
        }
    }
    if (query.lastError().isValid())
        fail(QStringLiteral("bare loop: %1").arg(query.lastError().text()));
}

} // namespace kbench
