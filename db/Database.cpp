#include "Database.h"

#include "Batch.h"
#include "DataSet.h"
#include "Exception.h"
#include "Query.h"
#include "Session.h"
#include "SqlLog.h"

#include "Client.h"

namespace db {

TDatabase::TDatabase(const QString &databaseName) : m_databaseName(databaseName) {}

TDatabase::~TDatabase()
{
    close();
}

void TDatabase::checkNotConnected(const QString &operation) const
{
    if (m_connected)
        throw kelvane::EngineError(QStringLiteral("Cannot %1 while the database %2 is connected")
                                       .arg(operation, m_databaseName));
}

void TDatabase::setAliasName(const QString &alias)
{
    checkNotConnected(QStringLiteral("change the alias"));
    m_aliasName = alias;
}

void TDatabase::setConnectionString(const QString &target)
{
    checkNotConnected(QStringLiteral("change the connection string"));
    m_connectionString = target;
}

void TDatabase::paramsClear()
{
    checkNotConnected(QStringLiteral("change the parameters"));
    m_params.clear();
}

void TDatabase::paramsAdd(const QString &line)
{
    checkNotConnected(QStringLiteral("change the parameters"));
    m_params.append(line);
}

QString TDatabase::paramValue(const QString &name) const
{
    for (const QString &line : m_params) {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals >= 0 && line.left(equals).compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(equals + 1);
    }
    return {};
}

namespace {

QString aliasTarget(const QString &alias)
{
    const QString driver = TSession::aliasDriverName(alias);
    if (driver.compare(QStringLiteral("INTRBASE"), Qt::CaseInsensitive) != 0)
        throw kelvane::EngineError(
            QStringLiteral("Alias %1 uses the driver %2, which this engine does not support")
                .arg(alias, driver));
    const QString target = TSession::aliasDatabase(alias);
    if (target.isEmpty())
        throw kelvane::EngineError(QStringLiteral("Alias %1 names no database").arg(alias));
    return target;
}

} // namespace

void TDatabase::open()
{
    if (m_connected)
        return;
    const QString target =
        m_connectionString.isEmpty() ? aliasTarget(m_aliasName) : m_connectionString;

    const QString user = paramValue(QStringLiteral("USERNAME"));
    const QString role = paramValue(QStringLiteral("ROLE"));
    qCDebug(lcSql).noquote() << "connect" << m_aliasName << target << "as" << user
                             << (role.isEmpty() ? QString() : QStringLiteral("role ") + role);
    auto attachment = std::make_unique<client::Attachment>(
        target, client::Login{user, paramValue(QStringLiteral("PASSWORD")), role});
    m_reading = std::make_unique<client::Transaction>(
        *attachment, client::TransactionKind::ReadCommittedReadOnly);
    m_attachment = std::move(attachment);
    m_connected = true;
}

void TDatabase::close()
{
    if (!m_connected)
        return;
    // A command still running is undone before its attachment goes.
    if (m_transaction)
        m_transaction->rollback();
    const QList<TDataSet *> dataSets = m_dataSets;
    for (TDataSet *dataSet : dataSets)
        dataSet->connectionClosing();
    m_statements.clear();
    // Read-only: ending it either way undoes nothing.
    m_reading.reset();
    m_attachment.reset();
    m_connected = false;
    qCDebug(lcSql).noquote() << "disconnect" << m_aliasName;
}

void TDatabase::statementRan()
{
    if (m_transaction)
        m_transaction->m_ran += 1;
}

void TDatabase::checkConnected() const
{
    if (!m_connected)
        throw kelvane::EngineError(
            QStringLiteral("The database %1 is not connected").arg(m_databaseName));
}

client::Attachment &TDatabase::attachment() const
{
    checkConnected();
    return *m_attachment;
}

client::Transaction &TDatabase::currentTransaction() const
{
    checkConnected();
    if (m_transaction)
        return m_transaction->transaction();
    return *m_reading;
}

client::Statement &TDatabase::statement(const QString &sql)
{
    std::unique_ptr<client::Statement> &kept = m_statements[sql];
    if (!kept) {
        qCDebug(lcSql).noquote() << "prepare" << sql;
        try {
            kept = std::make_unique<client::Statement>(attachment(), currentTransaction(),
                                                       parseParameters(sql).text);
        } catch (...) {
            m_statements.erase(sql);
            throw;
        }
    }
    return *kept;
}

} // namespace db
