// The command line: the table of commands, which the usage text, the
// dispatcher and the documentation's checks all read, and the dispatcher.
#pragma once

#include <array>
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

// What shell completion offers for an operand (see completion.h).
enum class Operand : unsigned char {
  text,     // nothing: the user types it
  kind,     // a rule kind, one of AgentConfig::validKinds
  word,     // a stored dictionary word
  trigger,  // a stored rule trigger
  file,     // a file name, which the shell lists itself
};

struct Command {
  std::string_view name;      // the words that select it: "dict add"
  std::string_view operands;  // as the usage text shows them: "<word>..."
  // The usage text's description, its lines separated by '\n'; empty for
  // none.
  std::string_view summary;
  // Hidden commands are left out of the usage text but completed; internal
  // ones are neither shown nor completed.
  enum class Listing { hidden, internal, listed, afterBlankLine } listing;
  // Commands that act ignore what follows their operands, except that
  // "--help" or "-h" among them asks for the usage text instead; commands
  // that only answer ignore everything after their name.
  bool helpAmongOperands;
  // Does the command's work; an error is the one message that says why it
  // failed (empty when the command has printed everything itself).
  Status (*run)(const Invocation&);
  // What each operand shown in `operands` completes, in order; the last one
  // shown repeats when `operands` ends in "...".
  std::array<Operand, 3> completes = {};
  // The option it takes anywhere among its operands, which completion offers
  // and does not count as an operand; empty for none.
  std::string_view option = {};
};

// Every command, in the order of the usage text.
std::span<const Command> commands();

// The command that the leading words of `args` select, first in table order,
// and how many words select it; null when none does.
const Command* selected(std::span<const std::string> args, std::size_t& used);

// True for "--help" and "-h", which ask for the usage text wherever they stand
// among the operands of a command that acts.
bool isHelpWord(std::string_view word);

// The usage text: composed from the table, its descriptions in column 40.
const std::string& usage();

// Runs the command named by `args` (the argument vector less the program
// name). Never exits.
Status dispatch(std::span<const std::string> args);

}  // namespace ostrel::cli
