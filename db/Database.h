#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QSqlDatabase;
class QSqlError;

namespace db {

class TCommandTransaction;
class TDataSet;

// The message of a failure as the server worded it, else as the driver did.
[[nodiscard]] QString engineMessage(const QSqlError &error);

// One connection to the server of an alias. The parameter lines USERNAME= and
// PASSWORD= are the login; every dataset created on it closes with it, and
// every dataset must be destroyed before it.
class TDatabase
{
public:
    explicit TDatabase(const QString &databaseName);
    ~TDatabase();
    TDatabase(const TDatabase &) = delete;
    TDatabase &operator=(const TDatabase &) = delete;

    [[nodiscard]] const QString &databaseName() const { return m_databaseName; }
    [[nodiscard]] const QString &aliasName() const { return m_aliasName; }
    void setAliasName(const QString &alias);
    [[nodiscard]] const QStringList &params() const { return m_params; }
    void paramsClear();
    void paramsAdd(const QString &line);
    // The engine never asks for a login of its own; kept so that the owner
    // can state that it wants none.
    [[nodiscard]] bool loginPrompt() const { return m_loginPrompt; }
    void setLoginPrompt(bool prompt) { m_loginPrompt = prompt; }

    void open();
    void close();
    [[nodiscard]] bool connected() const { return m_connected; }

    // Only while connected.
    [[nodiscard]] QSqlDatabase connection() const;

    // The transaction of the command running now, if any: every statement
    // and read of the connection runs in it until it ends.
    [[nodiscard]] TCommandTransaction *commandTransaction() const { return m_transaction; }
    // A statement that changes the database has run.
    void statementRan();

private:
    friend class TDataSet;
    friend class TCommandTransaction;
    void registerDataSet(TDataSet *dataSet) { m_dataSets.append(dataSet); }
    void unregisterDataSet(TDataSet *dataSet) { m_dataSets.removeOne(dataSet); }
    [[nodiscard]] QString paramValue(const QString &name) const;
    void checkNotConnected(const QString &operation) const;

    const QString m_databaseName;
    const QString m_connectionName;
    QString m_aliasName;
    QStringList m_params;
    bool m_loginPrompt = false;
    bool m_connected = false;
    QList<TDataSet *> m_dataSets;
    TCommandTransaction *m_transaction = nullptr;
};

} // namespace db
