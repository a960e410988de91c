#pragma once

#include <QMap>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

class QTimer;
class QWidget;

namespace db {
class TDatabase;
}

// The private Firebird server the tests run against, as the test script
// started it: KELVANE_FB_DIR, KELVANE_FB_PORT and KELVANE_FB_PASSWORD.
namespace testserver {

[[nodiscard]] QString port();
[[nodiscard]] QString password();
// A connection string for a database file of the server.
[[nodiscard]] QString connectionString(const QString &path);

// A server: its folder (the databases go in its data folder) and port.
struct Server
{
    QString dir;
    QString port;
};
// A second server of the other version, where the test script started one
// (KELVANE_FB_OTHER_DIR and KELVANE_FB_OTHER_PORT), for comparisons across
// versions; the same password.
[[nodiscard]] std::optional<Server> otherServer();

// A fresh database of its own for one test class; SQL run through isql-fb.
class TestDatabase
{
public:
    // On the server the tests run against, or on the one given.
    explicit TestDatabase(const QString &name, const std::optional<Server> &server = {});
    ~TestDatabase();

    [[nodiscard]] const QString &path() const { return m_path; }
    [[nodiscard]] QString connectionString() const;
    // Runs a script as SYSDBA (or the given login); fails the test on error.
    void run(const QString &script, const QString &user = QStringLiteral("SYSDBA"),
             const QString &password = testserver::password()) const;
    // The server's major version: 3 or 4.
    [[nodiscard]] int serverVersion() const;
    // What the server answers running the script as that login, in a
    // connection of its own: empty when it ran, else its message.
    [[nodiscard]] QString refusal(const QString &script, const QString &user,
                                  const QString &password, const QString &role = {}) const;
    // The first column of every row of a query, trimmed.
    [[nodiscard]] QStringList column(const QString &query) const;
    // The users other than SYSDBA who hold the privilege letter on the
    // relation, in order.
    [[nodiscard]] QStringList holders(const QString &relation, const QString &letter) const;
    // Every catalogue row of a grantee, each as
    // "object kind:object:privilege:column:option:grantor", in order. A DDL
    // privilege's kind reads "ddl": its number differs between Firebird 3
    // and 4.
    [[nodiscard]] QStringList rowsOf(const QString &grantee) const;
    // Every catalogue row, or those the condition picks, each as
    // "grantee|kind|object|kind|privilege|column|option|grantor" (the
    // grantor "-" for none, a DDL privilege's object kind "ddl"), in order.
    [[nodiscard]] QStringList catalogue(const QString &where = {}) const;

private:
    QString m_path;
    QString m_port;
};

// An alias file in a temporary folder, named by KELVANE_ALIASES while it lives.
class AliasFile
{
public:
    // Groups in the order given: alias, driver, database.
    struct Alias
    {
        QString name;
        QString driver;
        QString database;
    };
    explicit AliasFile(const QList<Alias> &aliases);
    ~AliasFile();
    [[nodiscard]] QString path() const { return m_dir.filePath(QStringLiteral("aliases.ini")); }
    // Writes raw text instead, for malformed files.
    void writeRaw(const QByteArray &text) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
};

// A script creating the tables PREFIX1 to PREFIXcount, numbered with as many
// digits as count has, and granting the privileges on each to the grantees:
// a user with many rows, for the long commands.
[[nodiscard]] QString manyTablesScript(const QString &prefix, int count, const QString &privileges,
                                       const QString &grantees);

// Creates a login on the server.
void createLogin(const QString &name, const QString &password);

// The transactions the connection has open on the server, each as its
// MON$READ_ONLY flag: "1" alone between commands.
[[nodiscard]] QStringList transactionsOf(db::TDatabase &connection);

// A connection named KELVANE to the alias, open, logged in as SYSDBA.
[[nodiscard]] std::unique_ptr<db::TDatabase> connectAsSysdba(const QString &alias);
// The same, to a test database by its connection string.
[[nodiscard]] std::unique_ptr<db::TDatabase> connectAsSysdba(const TestDatabase &database);

} // namespace testserver

namespace testui {

// From now on a modal dialog that no queued answer takes fails the test
// after a few seconds and is closed, rather than waiting for the timeout.
void watchForUnansweredDialogs();
// Runs the action on the next modal dialog to show, from a timer, so that a
// test can answer a dialog that a handler opens and waits for.
void whenModal(std::function<void(QWidget *)> action);
// Waits until the queued answers have all run; fails the test if they did not.
[[nodiscard]] bool allAnswered(int timeoutMs = 5000);

// Answers every message box that shows while it lives and keeps its text and
// title, so that a test sees how many a command showed, and a message nobody
// expected fails the test instead of waiting for an answer.
class MessageCollector
{
public:
    MessageCollector();
    ~MessageCollector();
    MessageCollector(const MessageCollector &) = delete;
    MessageCollector &operator=(const MessageCollector &) = delete;

    QStringList texts;
    QStringList titles;

private:
    std::unique_ptr<QTimer> m_timer;
    QPointer<QWidget> m_last;
};

// The message of the program's exception that the action raises, or
// "<no failure>".
[[nodiscard]] QString failureOf(const std::function<void()> &action);

} // namespace testui

// Runs the action on a thread of its own once the delay has passed; waits for
// it when it goes. A lock test releases its lock so: a lock timeout far longer
// than meant then ends the wait, and the test fails at once instead of
// hanging until CTest's timeout.
namespace testserver {
class DelayedAction
{
public:
    DelayedAction(int delayMs, std::function<void()> action);
    ~DelayedAction();
    DelayedAction(const DelayedAction &) = delete;
    DelayedAction &operator=(const DelayedAction &) = delete;

private:
    std::thread m_thread;
};
} // namespace testserver

// Collects the statements the engine logs under kelvane.sql while it lives.
class SqlLog
{
public:
    SqlLog();
    ~SqlLog();
    [[nodiscard]] QStringList lines() const;
    // The lines that start with a verb: "open", "prepare", "execute", "connect".
    [[nodiscard]] QStringList linesOf(const QString &verb) const;
    void clear();
};
