// The plain formats that words and rules are moved in, between machines and
// from other tools: a word list (one word per line) and a rule table (CSV
// with a header row). Both are UTF-8, may start with a byte-order mark and
// may end their lines with CRLF. Errors read "line N: " and the reason, N
// counting the lines of the file from 1; the caller names the file.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ostrel/agent_config.h"
#include "ostrel/expected.h"

namespace ostrel::exchange {

// What `dict list` prints for an empty dictionary, which a word list read
// back must take for no words.
inline constexpr std::string_view noWords = "(no words yet)";

// The most an import reads: far beyond any real list, small enough to hold.
inline constexpr std::size_t maxInputBytes = std::size_t{16} << 20;

// The words of a word list, in order, blank lines left out. Refuses a NUL
// byte and text that is not UTF-8.
Expected<std::vector<std::string>> wordList(std::string_view bytes);

// One row of a rule table, with the line where it starts.
struct RuleRow {
  std::size_t line;
  AgentConfig::Rule rule;
};

struct RuleTable {
  std::vector<RuleRow> rows;
  std::vector<std::string> ignoredColumns;  // as the header names them
};

// The rows of a rule table. Its header names the columns in any order, in
// any case: "trigger" and "replacement" are required; "kind" (snippet when
// absent or empty) and "enabled" (true, false, 1, 0, yes or no in any case;
// true when absent or empty) are optional; others are ignored. Empty lines
// are skipped. Refuses text that is not UTF-8, a row whose number of fields
// differs from the header's, a kind that is not valid and what csv::parse()
// refuses. Fields are taken byte for byte.
Expected<RuleTable> ruleTable(std::string_view bytes);

// The rules as a table that ruleTable() reads back byte for byte: the header
// "kind,trigger,replacement,enabled", then one row per rule, in order.
std::string ruleTableOf(std::span<const AgentConfig::Rule> rules);

// Empty when `kind` is one of AgentConfig::validKinds, else the message that
// says so ("unknown kind '…' — use snippet or transform").
std::string kindProblem(std::string_view kind);

}  // namespace ostrel::exchange
