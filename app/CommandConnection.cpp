#include "CommandConnection.h"

#include "db/Database.h"
#include "db/Exception.h"
#include "db/Session.h"

#include <QFile>
#include <QRegularExpression>
#include <cstdio>
#include <optional>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The database named is neither an alias nor a connection string: wrong
// usage, not a failure of the server.
class UnknownAlias : public kelvane::Exception
{
public:
    using kelvane::Exception::Exception;
};

// Asks on the terminal itself, not on standard input or output: those may be
// a pipe or the file the statements go to. Nothing when there is no terminal
// or Ctrl+C is typed: taken as a character, not a signal, so that the
// terminal gets its echo back before the program ends.
std::optional<QString> askPassword(const QString &prompt)
{
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0)
        return std::nullopt;
    const QByteArray question = prompt.toLocal8Bit();
    (void)!::write(tty, question.constData(), size_t(question.size()));
    termios saved{};
    const bool hidden = ::tcgetattr(tty, &saved) == 0;
    if (hidden) {
        termios quiet = saved;
        quiet.c_lflag &= tcflag_t(~(ECHO | ISIG));
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    QByteArray answer;
    char c = 0;
    bool cancelled = false;
    while (!cancelled && ::read(tty, &c, 1) == 1 && c != '\n') {
        cancelled = hidden && c == char(saved.c_cc[VINTR]);
        answer.append(c);
    }
    if (hidden)
        ::tcsetattr(tty, TCSAFLUSH, &saved);
    if (cancelled)
        (void)!::write(tty, "\n", 1);
    ::close(tty);
    if (cancelled)
        return std::nullopt;
    return QString::fromLocal8Bit(answer);
}

std::optional<QString> passwordFor(const QString &user, const QString &database)
{
    for (const char *name : {"KELVANE_PASSWORD", "ISC_PASSWORD"}) {
        if (qEnvironmentVariableIsSet(name))
            return qEnvironmentVariable(name);
    }
    return askPassword(QStringLiteral("Password for %1 on %2: ").arg(user, database));
}

// Whether the argument reads as a connection string: host:path,
// host/port:path, an absolute path, or a database file's name.
bool isConnectionString(const QString &name)
{
    return name.contains(QLatin1Char(':')) || name.startsWith(QLatin1Char('/')) ||
           name.endsWith(QLatin1String(".fdb"), Qt::CaseInsensitive);
}

// The alias of that name, whatever its case where none matches exactly.
std::optional<QString> aliasNamed(const QStringList &aliases, const QString &name)
{
    if (aliases.contains(name))
        return name;
    const QStringList matching = aliases.filter(
        QRegularExpression(QStringLiteral("^%1$").arg(QRegularExpression::escape(name)),
                           QRegularExpression::CaseInsensitiveOption));
    if (matching.size() == 1)
        return matching.constFirst();
    return std::nullopt;
}

} // namespace

// An alias when the alias file has one of that name, else a connection
// string. Anything else is refused: handed to the client library, a bare
// name would be opened as a local file by the embedded engine, which asks
// no password. A broken alias file does not stand in the way of a
// connection string.
void setDatabaseTarget(db::TDatabase &database, const QString &name)
{
    QStringList aliases;
    try {
        aliases = db::TSession::aliasNames();
    } catch (const kelvane::Exception &) {
        if (!isConnectionString(name))
            throw;
    }
    if (const std::optional<QString> alias = aliasNamed(aliases, name))
        database.setAliasName(*alias);
    else if (isConnectionString(name))
        database.setConnectionString(name);
    else
        throw UnknownAlias(QStringLiteral("no alias %1 in %2 (%3)")
                               .arg(name, db::TSession::aliasFilePath(),
                                    aliases.isEmpty() ? QStringLiteral("it has none")
                                                      : QStringLiteral("its aliases: ") +
                                                            aliases.join(QStringLiteral(", "))));
}

void printError(const QString &message)
{
    std::fputs(QStringLiteral("kelvane: %1\n").arg(message).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

void writeToStandardOutput(const QStringList &lines)
{
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly))
        throw kelvane::Exception(out.errorString());
    for (const QString &line : lines) {
        if (out.write((line + QLatin1Char('\n')).toUtf8()) < 0)
            throw kelvane::Exception(
                QStringLiteral("Cannot write standard output: %1").arg(out.errorString()));
    }
    if (!out.flush())
        throw kelvane::Exception(
            QStringLiteral("Cannot write standard output: %1").arg(out.errorString()));
}

int runOnDatabase(const CommandLogin &login, const std::function<int(db::TDatabase &)> &work,
                  int failure)
{
    const QString user = !login.user.isEmpty()                   ? login.user
                         : qEnvironmentVariableIsSet("ISC_USER") ? qEnvironmentVariable("ISC_USER")
                                                                 : QStringLiteral("SYSDBA");
    try {
        db::TDatabase database(QStringLiteral("KELVANE"));
        // Before the password is asked for: a name that is neither an alias
        // nor a database is a mistake to hear of at once.
        setDatabaseTarget(database, login.database);
        const std::optional<QString> password = passwordFor(user, login.database);
        if (!password) {
            printError(QStringLiteral("no password: set KELVANE_PASSWORD, or type it on a "
                                      "terminal when asked."));
            return 2;
        }
        database.paramsAdd(QStringLiteral("USERNAME=") + user);
        database.paramsAdd(QStringLiteral("PASSWORD=") + *password);
        if (!login.role.isEmpty())
            database.paramsAdd(QStringLiteral("ROLE=") + login.role);
        database.open();
        return work(database);
    } catch (const UnknownAlias &error) {
        printError(error.message());
        return 2;
    } catch (const kelvane::Exception &error) {
        printError(error.message());
        return failure;
    }
}
