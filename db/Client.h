#pragma once

// Firebird's own client interface (libfbclient), as the engine uses it: an
// attachment, transactions with explicit parameters, statements prepared once
// and executed many times, and cursors whose texts come out decoded. Every
// failure is a kelvane::EngineError carrying the server's words and the codes
// of its status vector.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace Firebird {
class IAttachment;
class IMessageMetadata;
class IResultSet;
class IStatement;
class ITransaction;
} // namespace Firebird

namespace db::client {

struct Login
{
    QString user;
    QString password;
    QString role;
};

class Transaction;

// One attachment to a database; detached when it goes.
class Attachment
{
public:
    // target: a Firebird connection string ("host/port:path" or an alias).
    Attachment(const QString &target, const Login &login);
    ~Attachment();
    Attachment(const Attachment &) = delete;
    Attachment &operator=(const Attachment &) = delete;

    // Runs a statement that yields no rows, prepared and freed at once.
    void execute(Transaction &transaction, const QString &statement);

    [[nodiscard]] Firebird::IAttachment *handle() const { return m_handle; }

private:
    Firebird::IAttachment *m_handle = nullptr;
};

enum class TransactionKind
{
    // Reads only, sees every commit as it happens and holds nothing back:
    // the server can collect garbage while it stays open.
    ReadCommittedReadOnly,
    // A command: reads and writes, sees others' commits, and waits at most
    // the lock timeout for a row another transaction holds.
    Command,
};

class Transaction
{
public:
    Transaction(Attachment &attachment, TransactionKind kind, int lockTimeoutSeconds = 0);
    // Rolls back what was not committed.
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    // Over either way: a commit the server refuses is rolled back, and the
    // commit's failure thrown; no transaction stays open on the server.
    void commit();
    // Quietly: a lost connection has taken the transaction with it. Returns
    // the failure's message, empty when none.
    QString rollback();
    [[nodiscard]] bool active() const { return m_handle != nullptr; }
    [[nodiscard]] Firebird::ITransaction *handle() const;

private:
    Firebird::ITransaction *m_handle = nullptr;
};

class Cursor;
struct RowLayout;

// The longest text, in UTF-8 bytes, a parameter of the server's can carry.
inline constexpr qsizetype MaxParameterBytes = 32765;

// A text as an EXECUTE BLOCK reads it out of a packed parameter of character
// set NONE, whose string functions count bytes: the count of its UTF-8
// bytes, a colon, the bytes. A colon inside the text ends nothing early.
[[nodiscard]] inline QByteArray lengthPrefixed(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    return QByteArray::number(bytes.size()) + ':' + bytes;
}

// A statement prepared once on the attachment and run in any of its
// transactions; its parameters are texts, which the server converts.
class Statement
{
public:
    Statement(Attachment &attachment, Transaction &transaction, const QString &sql);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    [[nodiscard]] int parameterCount() const { return m_parameterCount; }
    // A statement that yields no rows.
    void execute(Transaction &transaction, const QStringList &parameters);
    // The rows, positioned before the first; only one cursor at a time.
    Cursor &open(Transaction &transaction, const QStringList &parameters);
    // The cursor of the last open is done with; the statement stays prepared.
    void closeCursor();

private:
    Firebird::IStatement *m_handle = nullptr;
    int m_parameterCount = 0;
    // How its rows are read, worked out once at the prepare.
    std::unique_ptr<RowLayout> m_rows;
    std::unique_ptr<Cursor> m_cursor;
};

// The rows of an open statement, fetched in order.
class Cursor
{
public:
    ~Cursor();
    Cursor(const Cursor &) = delete;
    Cursor &operator=(const Cursor &) = delete;

    [[nodiscard]] int columnCount() const;
    // The column's name as the statement gives it (its alias).
    [[nodiscard]] const QString &columnName(int column) const;
    // Steps onto the next row; false after the last.
    bool fetch();
    // The value on the current row as text: a CHAR without its padding, a
    // VARCHAR as stored, a number in decimal, anything else as the server
    // writes it; empty for NULL.
    [[nodiscard]] QString text(int column) const;

private:
    friend class Statement;
    Cursor(Firebird::IStatement *statement, const RowLayout &rows, Transaction &transaction,
           const QStringList &parameters);
    void close();

    const RowLayout &m_rows;
    Firebird::IResultSet *m_handle = nullptr;
    std::vector<unsigned char> m_buffer;
};

} // namespace db::client
