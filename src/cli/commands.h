// The command line: the table of commands, their operand checks, the
// read-only commands and the edits handed to the transaction.
#pragma once

#include <span>
#include <string>

#include "ostrel/expected.h"

namespace ostrel::cli {

// Runs the command named by `args` (the argument vector less the program
// name). Succeeds when the command did its job; otherwise returns the one
// message that says why, for the caller to print (an empty one when the
// command has printed everything itself). Never exits.
Status dispatch(std::span<const std::string> args);

}  // namespace ostrel::cli
