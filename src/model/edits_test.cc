// Tests of the edit operations: what matches what (arguments trimmed and
// lower-cased, stored values lower-cased as stored), where entries go, and
// that an edit of a saved record is idempotent.

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
Edit removeRule(std::string trigger) {
  return [=](AgentConfig& c) { c.removeRule(trigger); };
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

TEST(Edits, MatchAndPlaceEntriesAndAreIdempotent) {
  Words full;
  for (int i = 0; i < 2000; ++i) full.push_back("w" + std::to_string(i));
  Words fullAndNew = full;
  fullAndNew.insert(fullAndNew.end(), {"new1", "new2"});
  const std::string tooLong(101, 'l');
  struct Case {
    const char* name;
    AgentConfig start;
    Edit edit;
    AgentConfig expected;
  };
  const std::vector<Case> cases = {
      {"add trims, skips blanks and words stored in any case, keeping the stored spelling",
       record({"quokka"}), add({"Quokka", " \tnew word\r\n", "  ", "", tooLong}),
       record({"quokka", "new word", tooLong})},
      {"add appends to a full dictionary", record(full), add({"new1", "W5", "new2"}),
       record(fullAndNew)},
      {"add appends two spellings of one call, matching no stored entry with blanks",
       record({" quokka "}), add({"Quokka", "quokka"}), record({" quokka ", "Quokka", "quokka"})},
      {"add matches canonical equivalents both ways", record({kCafe, kResume}),
       add({"CAFE\u0301", "R\u00C9SUM\u00C9"}), record({kCafe, kResume})},
      {"remove takes every case, the rest keep their order",
       record({"quokka", "a", "Quokka", "b", "QUOKKA"}), remove({"QUOKKA"}), record({"a", "b"})},
      {"remove takes several trimmed terms", record({"a", "b", "c", "d"}), remove({" D\n", "b"}),
       record({"a", "c"})},
      {"a blank term removes only empty entries", record({"", " ", "a", ""}), remove({"  "}),
       record({" ", "a"})},
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
      {"removeRule takes every match of a trimmed, case-folded argument",
       record({}, {snippet("hi"), snippet("a"), Rule("transform", "HI", "y", false), snippet("b")}),
       removeRule("\tHi "), record({}, {snippet("a"), snippet("b")})},
      {"removeRule matches canonical equivalents", record({}, {snippet("CAFE\u0301")}),
       removeRule(kCafe), record({})},
      {"terms may be the dictionary itself", record({" a ", "b", "\tc"}),
       [](AgentConfig& c) { c.addTerms(c.dictionary); }, record({" a ", "b", "\tc", "a", "c"})},
      {"the trigger may be a stored rule's", record({}, {snippet("x"), snippet("a"), snippet("X")}),
       [](AgentConfig& c) { c.removeRule(c.rules[0].trigger); }, record({}, {snippet("a")})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AgentConfig edited = c.start;
    c.edit(edited);
    EXPECT_EQ(bytes(edited), bytes(c.expected));

    // The tool saves validated records: the same edit run again on a saved
    // record saves the same record.
    if (bytes(c.start.validated().config) != bytes(c.start)) continue;
    const AgentConfig saved = edited.validated().config;
    AgentConfig again = saved;
    c.edit(again);
    EXPECT_EQ(bytes(again.validated().config), bytes(saved));
  }
}

}  // namespace
}  // namespace ostrel
