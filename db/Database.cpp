#include "Database.h"

#include "Batch.h"
#include "DataSet.h"
#include "Exception.h"
#include "Session.h"
#include "SqlLog.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QUuid>

namespace db {

namespace {

const QString DriverName = QStringLiteral("QIBASE");

} // namespace

namespace {

// Firebird 4's own words for codes a Firebird 3 client does not know, which
// it shows as "unknown ISC error N". Their arguments do not reach it.
struct NewerMessage
{
    int code;
    QLatin1StringView text;
};

constexpr NewerMessage NewerMessages[] = {
    {335545254, QLatin1StringView("Firebird 4: \"Effective user is ...\", a name this client "
                                  "cannot show")},
};

QString withNewerMessages(QString message)
{
    for (const NewerMessage &newer : NewerMessages) {
        const QString unknown = QStringLiteral("unknown ISC error %1").arg(newer.code);
        message.replace(unknown, unknown + QStringLiteral(" (") + newer.text + QLatin1Char(')'));
    }
    return message;
}

} // namespace

QString engineMessage(const QSqlError &error)
{
    QString message = error.databaseText().trimmed();
    if (message.isEmpty())
        message = error.text().trimmed();
    return withNewerMessages(message);
}

TDatabase::TDatabase(const QString &databaseName)
    : m_databaseName(databaseName),
      m_connectionName(QStringLiteral("kelvane-") +
                       QUuid::createUuid().toString(QUuid::WithoutBraces))
{
}

TDatabase::~TDatabase()
{
    close();
    if (QSqlDatabase::contains(m_connectionName))
        QSqlDatabase::removeDatabase(m_connectionName);
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

void TDatabase::open()
{
    if (m_connected)
        return;
    const QString driver = TSession::aliasDriverName(m_aliasName);
    if (driver.compare(QStringLiteral("INTRBASE"), Qt::CaseInsensitive) != 0)
        throw kelvane::EngineError(
            QStringLiteral("Alias %1 uses the driver %2, which this engine does not support")
                .arg(m_aliasName, driver));
    const QString target = TSession::aliasDatabase(m_aliasName);
    if (target.isEmpty())
        throw kelvane::EngineError(QStringLiteral("Alias %1 names no database").arg(m_aliasName));

    QSqlDatabase connection = QSqlDatabase::contains(m_connectionName)
                                  ? QSqlDatabase::database(m_connectionName, false)
                                  : QSqlDatabase::addDatabase(DriverName, m_connectionName);
    if (!connection.isValid())
        throw kelvane::EngineError(
            QStringLiteral("The InterBase driver (Qt SQL plugin %1) is not installed")
                .arg(DriverName));
    const QString user = paramValue(QStringLiteral("USERNAME"));
    connection.setDatabaseName(target);
    connection.setUserName(user);
    connection.setPassword(paramValue(QStringLiteral("PASSWORD")));
    QString options = QStringLiteral("ISC_DPB_LC_CTYPE=UTF8");
    const QString role = paramValue(QStringLiteral("ROLE"));
    if (!role.isEmpty()) {
        // The driver splits its options at semicolons.
        if (role.contains(QLatin1Char(';')))
            throw kelvane::EngineError(
                QStringLiteral("A role name cannot contain a semicolon: %1").arg(role));
        options += QStringLiteral(";ISC_DPB_SQL_ROLE_NAME=") + role;
    }
    connection.setConnectOptions(options);
    qCDebug(lcSql).noquote() << "connect" << m_aliasName << target << "as" << user
                             << (role.isEmpty() ? QString() : QStringLiteral("role ") + role);
    if (!connection.open())
        throw kelvane::EngineError(engineMessage(connection.lastError()));
    m_connected = true;
}

void TDatabase::close()
{
    if (!m_connected)
        return;
    const QList<TDataSet *> dataSets = m_dataSets;
    for (TDataSet *dataSet : dataSets)
        dataSet->connectionClosing();
    QSqlDatabase::database(m_connectionName, false).close();
    m_connected = false;
    qCDebug(lcSql).noquote() << "disconnect" << m_aliasName;
}

void TDatabase::statementRan()
{
    if (m_transaction)
        m_transaction->m_ran += 1;
}

QSqlDatabase TDatabase::connection() const
{
    if (!m_connected)
        throw kelvane::EngineError(
            QStringLiteral("The database %1 is not connected").arg(m_databaseName));
    return QSqlDatabase::database(m_connectionName, false);
}

} // namespace db
