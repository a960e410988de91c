#pragma once

#include "CommandConnection.h"

// `kelvane --diff A B`: the statements that would make the privileges of A
// those of B, for a drift check.
struct DiffRequest
{
    CommandLogin here;  // A
    CommandLogin there; // B, with the same login
};

// Prints the statements and returns 0 when the two grant the same, 1 when
// they differ, 2 when either cannot be read (with the engine's message on
// standard error) or for a wrong argument.
[[nodiscard]] int runDiff(const DiffRequest &request);
