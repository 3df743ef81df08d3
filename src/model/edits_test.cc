// Tests of the edit operations: what matches what (arguments trimmed and
// lower-cased, stored values lower-cased as stored, canonical equivalents
// equal) and where entries go. The plain cases, and that running a command
// twice leaves the same file, are checked end to end in src/cli/cli_test.cc.

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "ostrel/agent_config.h"

namespace ostrel {
namespace {

using Rule = AgentConfig::Rule;
using Words = std::vector<std::string>;
using Edit = std::function<void(AgentConfig&)>;

const std::string kCafe = "caf\u00E9";             // precomposed
const std::string kResume = "re\u0301sume\u0301";  // decomposed

AgentConfig record(Words dictionary, std::vector<Rule> rules = {}) {
  return AgentConfig(1, std::move(dictionary), std::move(rules), std::nullopt);
}

Rule snippet(std::string trigger, std::string replacement = "x", bool enabled = true) {
  return Rule("snippet", std::move(trigger), std::move(replacement), enabled);
}

Edit add(Words terms) {
  return [=](AgentConfig& c) { c.addTerms(terms); };
}
Edit remove(Words terms) {
  return [=](AgentConfig& c) { c.removeTerms(terms); };
}
// Also checks the position that upsertRule() returns.
Edit upsert(Rule rule, std::size_t at) {
  return [=](AgentConfig& c) { EXPECT_EQ(c.upsertRule(rule), at); };
}

// The lists, byte for byte, so that another spelling or normalisation shows.
auto bytes(const AgentConfig& c) {
  std::vector<std::tuple<std::string, std::string, std::string, bool>> rules;
  for (const Rule& r : c.rules) rules.emplace_back(r.kind, r.trigger, r.replacement, r.enabled);
  return std::make_pair(c.dictionary, rules);
}

TEST(Edits, MatchAndPlaceEntries) {
  struct Case {
    const char* name;
    AgentConfig start;
    Edit edit;
    AgentConfig expected;
  };
  const std::vector<Case> cases = {
      {"add trims, skips blanks, keeps both spellings of one call; a padded entry matches none",
       record({" quokka "}), add({"Quokka", " ", "\tquokka\n"}),
       record({" quokka ", "Quokka", "quokka"})},
      {"add matches canonical equivalents both ways", record({kCafe, kResume}),
       add({"CAFE\u0301", "R\u00C9SUM\u00C9"}), record({kCafe, kResume})},
      {"remove: every case of each trimmed term, a blank term only empty entries; the rest in "
       "order",
       record({"quokka", "", "a", "Quokka", " ", "b", "QUOKKA", "", "c", "d"}),
       remove({"QUOKKA", " D\n", "  "}), record({"a", " ", "b", "c"})},
      {"remove matches canonical equivalents both ways", record({kCafe, "x", kResume}),
       remove({"CAFE\u0301", "R\u00C9SUM\u00C9"}), record({"x"})},
      {"upsert replaces the first match whole, in place, with the argument's trigger",
       record({}, {snippet("a"), snippet("my email", "old", false), snippet("b")}),
       upsert(Rule("transform", " My Email\t", "new", true), 1),
       record({}, {snippet("a"), Rule("transform", " My Email\t", "new", true), snippet("b")})},
      {"upsert appends when nothing matches", record({}, {snippet("a")}),
       upsert(Rule("transform", "brb", "brb!", true), 1),
       record({}, {snippet("a"), Rule("transform", "brb", "brb!", true)})},
      {"upsert replaces only the first of two equal stored triggers",
       record({}, {snippet("Hi"), snippet("x"), snippet("hi")}), upsert(snippet("HI", "new"), 0),
       record({}, {snippet("HI", "new"), snippet("x"), snippet("hi")})},
      {"upsert matches canonical equivalents", record({}, {snippet(kCafe)}),
       upsert(snippet("CAFE\u0301", "new"), 0), record({}, {snippet("CAFE\u0301", "new")})},
      {"removeRule matches canonical equivalents", record({}, {snippet("CAFE\u0301")}),
       [](AgentConfig& c) { c.removeRule(kCafe); }, record({})},
      {"the trigger may be a stored rule's", record({}, {snippet("x"), snippet("a"), snippet("X")}),
       [](AgentConfig& c) { c.removeRule(c.rules[0].trigger); }, record({}, {snippet("a")})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AgentConfig edited = c.start;
    c.edit(edited);
    EXPECT_EQ(bytes(edited), bytes(c.expected));
  }
}

}  // namespace
}  // namespace ostrel
