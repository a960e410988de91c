#pragma once

#include "CommandConnection.h"

// `kelvane --who-can DATABASE NAME [--letter S]`: who can use each object of
// that name and through what, tab-separated, for audits.
struct WhoCanRequest
{
    CommandLogin login;
    QString object; // as the catalogue keeps it, matched exactly
    QString letter; // a letter (S) or a word (SELECT); empty for every one
};

// Prints the paths and returns 0; 1 when the connection or the read fails or
// no object has the name, 2 for a letter that is none, or as runOnDatabase.
[[nodiscard]] int runWhoCan(const WhoCanRequest &request);
