#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <algorithm>
#include <exception>

namespace kelvane {

// The one exception type the program reports: every failure, whether found by
// the engine or by the program, carries a message meant for the administrator.
class Exception : public std::exception
{
public:
    explicit Exception(const QString &message) : m_message(message), m_utf8(message.toUtf8()) {}

    [[nodiscard]] const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// A failure reported by the database engine or the server; the message is the
// server's own text wherever the server gave one, and the codes those of its
// status vector, in order (none for a failure found by the engine itself).
// What the program does about a failure is decided by its codes, never by
// its words.
class EngineError : public Exception
{
public:
    explicit EngineError(const QString &message, QList<qint64> codes = {})
        : Exception(message), m_codes(std::move(codes))
    {
    }

    [[nodiscard]] const QList<qint64> &codes() const noexcept { return m_codes; }
    [[nodiscard]] bool hasAnyOf(std::initializer_list<qint64> codes) const noexcept
    {
        return std::any_of(codes.begin(), codes.end(),
                           [this](qint64 code) { return m_codes.contains(code); });
    }
    // The attachment is gone: nothing more can run on it.
    [[nodiscard]] bool lostConnection() const noexcept
    {
        return hasAnyOf({NetworkError, NetReadError, NetWriteError, ConnectionLost,
                         LostDbConnection, AttachmentShutdown, Shutdown, BadDbHandle});
    }
    // Another transaction holds what the statement needed.
    [[nodiscard]] bool lockConflict() const noexcept
    {
        return hasAnyOf({Deadlock, LockConflict, UpdateConflict, LockTimeout});
    }
    // The login lacks a right the statement needs.
    [[nodiscard]] bool noPermission() const noexcept
    {
        return hasAnyOf({NoPrivilege, GrantNoPrivilege, GrantNoPrivilegeOnBase, CannotGrantOption});
    }

    // The status vector codes the program tells apart (iberror.h's isc_*).
    static constexpr qint64 BadDbHandle = 335544324;
    static constexpr qint64 Deadlock = 335544336;
    static constexpr qint64 LockConflict = 335544345;
    static constexpr qint64 NoPrivilege = 335544352;
    static constexpr qint64 UpdateConflict = 335544451;
    static constexpr qint64 LockTimeout = 335544510;
    static constexpr qint64 Shutdown = 335544528;
    static constexpr qint64 GrantNoPrivilege = 335544553;
    static constexpr qint64 ConnectionLost = 335544648;
    static constexpr qint64 GrantNoPrivilegeOnBase = 335544707;
    static constexpr qint64 NetworkError = 335544721;
    static constexpr qint64 NetReadError = 335544726;
    static constexpr qint64 NetWriteError = 335544727;
    static constexpr qint64 LostDbConnection = 335544741;
    static constexpr qint64 AttachmentShutdown = 335544856;
    static constexpr qint64 CannotGrantOption = 335545095;

private:
    QList<qint64> m_codes;
};

} // namespace kelvane
