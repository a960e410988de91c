#include "ExportCommand.h"

#include "db/Database.h"
#include "db/Exception.h"
#include "db/Export.h"
#include "db/Session.h"

#include <QFile>
#include <cstdio>
#include <optional>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

void printError(const QString &message)
{
    std::fputs(QStringLiteral("kelvane: %1\n").arg(message).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

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

// An alias when the alias file has one of that name, else a connection
// string. A broken alias file does not stand in the way of a connection
// string, which has a colon an alias needs not have.
void setTarget(db::TDatabase &database, const QString &name)
{
    QStringList aliases;
    try {
        aliases = db::TSession::aliasNames();
    } catch (const kelvane::Exception &) {
        if (!name.contains(QLatin1Char(':')))
            throw;
    }
    if (aliases.contains(name))
        database.setAliasName(name);
    else
        database.setConnectionString(name);
}

} // namespace

int runExport(const ExportRequest &request)
{
    const QString user = !request.user.isEmpty()                 ? request.user
                         : qEnvironmentVariableIsSet("ISC_USER") ? qEnvironmentVariable("ISC_USER")
                                                                 : QStringLiteral("SYSDBA");
    const std::optional<QString> password = passwordFor(user, request.database);
    if (!password) {
        printError(QStringLiteral("no password: set KELVANE_PASSWORD, or type it on a terminal "
                                  "when asked."));
        return 2;
    }
    try {
        db::TDatabase database(QStringLiteral("KELVANE"));
        setTarget(database, request.database);
        database.paramsAdd(QStringLiteral("USERNAME=") + user);
        database.paramsAdd(QStringLiteral("PASSWORD=") + *password);
        if (!request.role.isEmpty())
            database.paramsAdd(QStringLiteral("ROLE=") + request.role);
        database.open();
        if (request.output.isEmpty()) {
            QFile out;
            if (!out.open(stdout, QIODevice::WriteOnly))
                throw kelvane::Exception(out.errorString());
            (void)db::writeExport(database, out);
            out.flush();
            return 0;
        }
        // Written whole or not at all: a file under version control keeps
        // its last good state when the export fails.
        (void)db::saveExport(database, request.output);
        return 0;
    } catch (const kelvane::Exception &error) {
        printError(error.message());
        return 1;
    }
}
