// The command line: the table of commands, which the usage text, the
// dispatcher and the documentation's checks all read, and the dispatcher.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "ostrel/expected.h"

namespace ostrel::cli {

// One run's arguments, split at the command's name.
struct Invocation {
  std::span<const std::string> args;      // after the program name
  std::span<const std::string> operands;  // after the command's words
};

struct Command {
  std::string_view name;      // the words that select it: "dict add"
  std::string_view operands;  // as the usage text shows them: "<word>..."
  // The usage text's description, its lines separated by '\n'; empty for
  // none.
  std::string_view summary;
  enum class Listing { hidden, listed, afterBlankLine } listing;
  // Commands that act ignore what follows their operands, except that
  // "--help" or "-h" among them asks for the usage text instead; commands
  // that only answer ignore everything after their name.
  bool helpAmongOperands;
  // Does the command's work; an error is the one message that says why it
  // failed (empty when the command has printed everything itself).
  Status (*run)(const Invocation&);
};

// Every command, in the order of the usage text.
std::span<const Command> commands();

// The usage text: composed from the table, its descriptions in column 40.
const std::string& usage();

// Runs the command named by `args` (the argument vector less the program
// name). Never exits.
Status dispatch(std::span<const std::string> args);

}  // namespace ostrel::cli
