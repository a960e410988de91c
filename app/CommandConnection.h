#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace db {
class TDatabase;
}

// Who a command run without a window logs in as, and where.
struct CommandLogin
{
    QString database; // an alias of the alias file, else a connection string
    QString user;     // empty: ISC_USER, else SYSDBA
    QString role;
};

// Makes the database that of the alias of that name (whatever its case where
// none matches exactly), else of the connection string; refuses anything
// else, which the client library would open as a local file with no
// password asked.
void setDatabaseTarget(db::TDatabase &database, const QString &name);
// "kelvane: message" on standard error.
void printError(const QString &message);
// The lines, each ended, in UTF-8; throws when a write fails.
void writeToStandardOutput(const QStringList &lines);

// Connects and runs the work, returning its exit status; failure (1 unless
// given) with the engine's message on standard error when the connection or
// the work fails, 2 when the database is neither an alias nor a connection
// string or no password can be had. The password comes from KELVANE_PASSWORD, else ISC_PASSWORD,
// else it is asked for on the terminal with echo off; never from the command line.
[[nodiscard]] int runOnDatabase(const CommandLogin &login,
                                const std::function<int(db::TDatabase &)> &work, int failure = 1);
