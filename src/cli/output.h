// The tool's two output streams. Standard output carries results, one line
// per item; standard error carries "ostrel: " messages, each in one write so
// that lines from concurrent runs never interleave.
#pragma once

#include <string_view>

namespace ostrel::cli {

// Writes `line` and one line break to standard output. An output that cannot
// be written (a full disk) is a failure: prints why and exits with status 1.
void printLine(std::string_view line);

// Writes "ostrel: ", `message` and one line break to standard error.
void printError(std::string_view message);

// printError(message), then ends the process with exit status 1.
[[noreturn]] void fail(std::string_view message);

}  // namespace ostrel::cli
