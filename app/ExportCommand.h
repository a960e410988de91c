#pragma once

#include <QString>

// `kelvane --export DATABASE`: the database's privileges as GRANT statements,
// written without a window, for audits and version control.
struct ExportRequest
{
    QString database; // an alias of the alias file, else a connection string
    QString user;     // empty: ISC_USER, else SYSDBA
    QString role;
    QString output; // empty: standard output
};

// Connects, writes the statements and returns the exit status: 0 when they
// are written, 1 with the engine's message on standard error when the
// connection, the read or the writing fails, 2 when no password can be had.
// The password comes from KELVANE_PASSWORD, else ISC_PASSWORD, else it is
// asked for on the terminal with echo off; never from the command line.
// Needs a core application, no display.
[[nodiscard]] int runExport(const ExportRequest &request);
