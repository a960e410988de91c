#pragma once

#include <optional>

// Answers --help and --version, runs --export and --who-can, and refuses what the program
// does not take, before any connection to a display is made. Returns the exit
// status when the program should end at once: 0 after help or version, that
// of the export or the audit (see runExport, runWhoCan), 2 after an unknown option or an argument
// (with the usage on standard error). Qt's own window
// system options (-platform, -style, ...) are let through for QApplication.
[[nodiscard]] std::optional<int> handleCommandLine(int argc, char *argv[]);
