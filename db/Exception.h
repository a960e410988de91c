#pragma once

#include <QByteArray>
#include <QString>
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
// server's own text wherever the server gave one.
class EngineError : public Exception
{
public:
    using Exception::Exception;
};

} // namespace kelvane
