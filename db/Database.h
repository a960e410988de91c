#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <unordered_map>

namespace db {

namespace client {
class Attachment;
class Statement;
class Transaction;
} // namespace client

class TCommandTransaction;
class TDataSet;

// One connection to the server of an alias. The parameter lines USERNAME=,
// PASSWORD= and ROLE= are the login; every dataset created on it closes with
// it, and every dataset must be destroyed before it.
//
// Outside a command, every read runs in one read-only READ COMMITTED
// transaction kept for the whole connection: it sees each commit as soon as
// it is made and, read-only, holds nothing back on the server.
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
    // A Firebird connection string ("host/port:path") attached to instead of
    // an alias's database: the command line may name a database the alias
    // file does not know. Empty: the alias is used.
    [[nodiscard]] const QString &connectionString() const { return m_connectionString; }
    void setConnectionString(const QString &target);
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
    [[nodiscard]] client::Attachment &attachment() const;
    // Where the next read or statement runs: the transaction of the command
    // running now, else the kept reading one.
    [[nodiscard]] client::Transaction &currentTransaction() const;

    // The transaction of the command running now, if any: every statement
    // and read of the connection runs in it until it ends.
    [[nodiscard]] TCommandTransaction *commandTransaction() const { return m_transaction; }
    // A statement that changes the database has run.
    void statementRan();

    // How long a command waits for what another session's transaction holds
    // before it fails with the server's lock conflict.
    [[nodiscard]] int lockTimeoutSeconds() const { return m_lockTimeoutSeconds; }
    void setLockTimeoutSeconds(int seconds) { m_lockTimeoutSeconds = seconds; }
    static constexpr int DefaultLockTimeoutSeconds = 10;

    // The statement of that text, prepared at its first use and kept until
    // the connection closes, whichever dataset or command asks for it: a
    // switch of the window's view goes back to texts it has run before.
    // One cursor at a time: a dataset's reads are fetched whole at its open.
    // Named parameters (":Name") go to the server as positional ones.
    [[nodiscard]] client::Statement &statement(const QString &sql);

private:
    friend class TDataSet;
    friend class TCommandTransaction;
    void registerDataSet(TDataSet *dataSet) { m_dataSets.append(dataSet); }
    void unregisterDataSet(TDataSet *dataSet) { m_dataSets.removeOne(dataSet); }
    [[nodiscard]] QString paramValue(const QString &name) const;
    void checkNotConnected(const QString &operation) const;
    void checkConnected() const;

    const QString m_databaseName;
    QString m_aliasName;
    QString m_connectionString;
    QStringList m_params;
    bool m_loginPrompt = false;
    bool m_connected = false;
    int m_lockTimeoutSeconds = DefaultLockTimeoutSeconds;
    QList<TDataSet *> m_dataSets;
    TCommandTransaction *m_transaction = nullptr;
    std::unique_ptr<client::Attachment> m_attachment;
    std::unique_ptr<client::Transaction> m_reading;
    std::unordered_map<QString, std::unique_ptr<client::Statement>> m_statements;
};

} // namespace db
