// The command line: the table of commands, their operand checks, the
// read-only commands and the edits handed to the transaction.
#pragma once

#include <span>
#include <string>

namespace ostrel::cli {

// Runs the command named by `args` (the argument vector less the program
// name). Returns the exit status of a run that did its job (0); every
// failure prints one "ostrel: " message and exits with status 1 instead.
int dispatch(std::span<const std::string> args);

}  // namespace ostrel::cli
