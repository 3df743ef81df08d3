// The tool's two output streams. Standard output carries results, one line
// per item; standard error carries "ostrel: " messages, each in one write so
// that lines from concurrent runs never interleave.
#pragma once

#include <string_view>

#include "ostrel/expected.h"

namespace ostrel::cli {

// Writes `line` and one line break to standard output. Fails when the output
// cannot be written (a full disk); the error is the message to print.
Status printLine(std::string_view line);

// Writes "ostrel: ", `message` and one line break to standard error.
void printError(std::string_view message);

// Writes "ostrel: ", `question` and a space to standard error, for an answer
// typed on the same line.
void printPrompt(std::string_view question);

}  // namespace ostrel::cli
