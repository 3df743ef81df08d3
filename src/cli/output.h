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

// printLine() for the report of a save that has happened: its failure says
// that the config was saved all the same.
Status printReportOfSaved(std::string_view line);

// Writes "ostrel: ", `message` and one line break to standard error.
void printError(std::string_view message);

// Writes "ostrel: ", `question` and a space to standard error, for an answer
// typed on the same line.
void printPrompt(std::string_view question);

// While it lives, SIGINT, SIGTERM and SIGHUP first write "ostrel: ",
// `message` and a line break to standard error, then end the process as
// they would have (a signal that was ignored stays ignored), so that what
// the user must know is said even as the run is cut short.
class LastWordsOnSignal {
 public:
  explicit LastWordsOnSignal(std::string_view message);
  ~LastWordsOnSignal();
  LastWordsOnSignal(const LastWordsOnSignal&) = delete;
  LastWordsOnSignal& operator=(const LastWordsOnSignal&) = delete;
};

}  // namespace ostrel::cli
