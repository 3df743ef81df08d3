// Tests of the edit operations: what matches what (arguments trimmed and
// lower-cased, stored values lower-cased as stored), where entries go, and
// that every edit followed by validation is idempotent.

#include <gtest/gtest.h>

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
using RuleFields = std::tuple<std::string, std::string, std::string, bool>;

const std::string kPrecomposed = "caf\u00E9";
const std::string kDecomposed = "cafe\u0301";

AgentConfig withWords(Words dictionary) { return AgentConfig(1, std::move(dictionary), {}, std::nullopt); }

AgentConfig withRules(std::vector<Rule> rules) { return AgentConfig(1, {}, std::move(rules), std::nullopt); }

Rule snippet(std::string trigger, std::string replacement, bool enabled = true) {
  return Rule("snippet", std::move(trigger), std::move(replacement), enabled);
}

// Byte for byte, so that a trigger stored with other blanks or another
// normalisation is told apart.
std::vector<RuleFields> fieldsOf(const std::vector<Rule>& rules) {
  std::vector<RuleFields> out;
  for (const Rule& r : rules) out.emplace_back(r.kind, r.trigger, r.replacement, r.enabled);
  return out;
}

struct TermsCase {
  const char* name;
  Words stored;
  Words terms;
  Words expected;
};

TEST(AddTerms, MatchesAndAppends) {
  const std::vector<TermsCase> cases = {
      {"a stored word in another case is not added", {"quokka"}, {"Quokka"}, {"quokka"}},
      {"new terms are trimmed and appended in order", {"a"}, {" \tnew word\r\n", "B"}, {"a", "new word", "B"}},
      {"blank terms are skipped", {"a"}, {"", "  ", "\u2028"}, {"a"}},
      {"no terms change nothing", {"a"}, {}, {"a"}},
      {"terms of one call are not compared with one another", {}, {"Quokka", "quokka"}, {"Quokka", "quokka"}},
      {"a hand-edited entry with blanks does not match", {" quokka "}, {"quokka"}, {" quokka ", "quokka"}},
      {"decomposed term matches precomposed entry", {kPrecomposed}, {"CAFE\u0301"}, {kPrecomposed}},
      {"precomposed term matches decomposed entry", {kDecomposed}, {"CAF\u00C9"}, {kDecomposed}},
      {"capital I with dot above matches i + combining dot", {"i\u0307stanbul"}, {"\u0130stanbul"}, {"i\u0307stanbul"}},
      {"capital sigma matches small sigma", {"\u03C3\u03BF\u03C6\u03B9\u03B1"}, {"\u03A3\u039F\u03A6\u0399\u0391"},
       {"\u03C3\u03BF\u03C6\u03B9\u03B1"}},
  };
  for (const TermsCase& c : cases) {
    SCOPED_TRACE(c.name);
    AgentConfig config = withWords(c.stored);
    config.addTerms(c.terms);
    EXPECT_EQ(config.dictionary, c.expected);
  }
}

TEST(AddTerms, ValidationKeepsTheFirstOfEqualEntries) {
  struct Case {
    const char* name;
    Words stored;
    Words terms;
    Words saved;
  };
  const std::vector<Case> cases = {
      {"Quokka and quokka in one call", {}, {"Quokka", "quokka"}, {"Quokka"}},
      {"a hand-edited entry wins over the new one", {" quokka "}, {"Quokka"}, {"quokka"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AgentConfig config = withWords(c.stored);
    config.addTerms(c.terms);
    const AgentConfig::Validated v = config.validated();
    EXPECT_EQ(v.config.dictionary, c.saved);
    EXPECT_TRUE(v.complaints.empty());
  }
}

TEST(AddTerms, FullDictionaryDropsTheNewTermsInValidation) {
  Words full;
  for (int i = 0; i < 2000; ++i) full.push_back("w" + std::to_string(i));
  AgentConfig config = withWords(full);
  config.addTerms(Words{"new1", "W5", "new2"});
  EXPECT_EQ(config.dictionary.size(), 2002u);
  EXPECT_EQ(config.dictionary.back(), "new2");

  const AgentConfig::Validated v = config.validated();
  EXPECT_EQ(v.config.dictionary, full);
  ASSERT_EQ(v.complaints.size(), 1u);
  EXPECT_EQ(v.complaints[0].subject, "dictionary");
  EXPECT_EQ(v.complaints[0].reason, "more than 2000 entries; extra ones ignored");
}

TEST(AddTerms, TermsViewingTheDictionaryItself) {
  AgentConfig config = withWords({" padded ", "plain"});
  config.addTerms(config.dictionary);
  EXPECT_EQ(config.dictionary, (Words{" padded ", "plain", "padded"}));
}

TEST(RemoveTerms, RemovesEveryMatch) {
  const std::vector<TermsCase> cases = {
      {"every case variant goes, the rest keep their order",
       {"quokka", "a", "Quokka", "b", "QUOKKA"},
       {"QUOKKA"},
       {"a", "b"}},
      {"the argument is trimmed", {"x", "quokka"}, {" Quokka\n"}, {"x"}},
      {"several terms in one call", {"a", "b", "c", "d"}, {"D", "b"}, {"a", "c"}},
      {"a term not stored changes nothing", {"a", "b"}, {"zebra"}, {"a", "b"}},
      {"a blank term removes only empty entries", {"", " ", "a", ""}, {"  "}, {" ", "a"}},
      {"a hand-edited entry with blanks does not match", {" quokka "}, {"quokka"}, {" quokka "}},
      {"decomposed term removes precomposed entry", {kPrecomposed, "x"}, {kDecomposed}, {"x"}},
      {"precomposed term removes decomposed entry", {"x", kDecomposed}, {"CAF\u00C9"}, {"x"}},
      {"no terms change nothing", {"a"}, {}, {"a"}},
  };
  for (const TermsCase& c : cases) {
    SCOPED_TRACE(c.name);
    AgentConfig config = withWords(c.stored);
    config.removeTerms(c.terms);
    EXPECT_EQ(config.dictionary, c.expected);
  }
}

struct UpsertCase {
  const char* name;
  std::vector<Rule> stored;
  Rule rule;
  std::vector<Rule> expected;
  std::size_t position;  // where the rule now stands
};

TEST(UpsertRule, ReplacesTheFirstMatchWholeOrAppends) {
  const std::vector<UpsertCase> cases = {
      {"replaces in place, taking the new trigger's spelling",
       {snippet("a", "1"), snippet("my email", "old"), snippet("b", "2")},
       snippet("My Email", "me@example.com"),
       {snippet("a", "1"), snippet("My Email", "me@example.com"), snippet("b", "2")},
       1},
      {"blanks around the new trigger still match and are stored",
       {snippet("brb", "old")},
       Rule("transform", "  BRB\t", "new", true),
       {Rule("transform", "  BRB\t", "new", true)},
       0},
      {"a disabled rule is replaced whole, enabled included",
       {snippet("sig", "old", false)},
       snippet("sig", "new"),
       {snippet("sig", "new")},
       0},
      {"no match appends at the end", {snippet("a", "1")}, snippet("b", "2"), {snippet("a", "1"), snippet("b", "2")}, 1},
      {"only the first of two equal stored triggers is replaced",
       {snippet("Hi", "1"), snippet("x", "2"), snippet("hi", "3")},
       snippet("HI", "new"),
       {snippet("HI", "new"), snippet("x", "2"), snippet("hi", "3")},
       0},
      {"a stored trigger with blanks does not match", {snippet(" brb", "old")}, snippet("brb", "new"),
       {snippet(" brb", "old"), snippet("brb", "new")},
       1},
      {"precomposed argument matches decomposed stored trigger", {snippet(kDecomposed, "old")},
       snippet(kPrecomposed, "new"), {snippet(kPrecomposed, "new")}, 0},
      {"decomposed argument matches precomposed stored trigger", {snippet(kPrecomposed, "old")},
       snippet(kDecomposed, "new"), {snippet(kDecomposed, "new")}, 0},
  };
  for (const UpsertCase& c : cases) {
    SCOPED_TRACE(c.name);
    AgentConfig config = withRules(c.stored);
    EXPECT_EQ(config.upsertRule(c.rule), c.position);
    EXPECT_EQ(fieldsOf(config.rules), fieldsOf(c.expected));
  }
}

TEST(UpsertRule, ValidationDropsTheSecondOfTwoEqualTriggers) {
  AgentConfig config = withRules({snippet("hi", "1"), snippet("HI", "2")});
  config.upsertRule(snippet("Hi", "new"));
  const AgentConfig::Validated v = config.validated();
  EXPECT_EQ(fieldsOf(v.config.rules), fieldsOf({snippet("Hi", "new")}));
  ASSERT_EQ(v.complaints.size(), 1u);
  EXPECT_EQ(v.complaints[0].subject, "HI");
  EXPECT_EQ(v.complaints[0].reason, "duplicate trigger; keeping the first");
}

struct RemoveRuleCase {
  const char* name;
  std::vector<Rule> stored;
  std::string trigger;
  std::vector<Rule> expected;
};

TEST(RemoveRule, RemovesEveryMatch) {
  const std::vector<RemoveRuleCase> cases = {
      {"another case matches", {snippet("a", "1"), snippet("My Email", "2")}, "my email", {snippet("a", "1")}},
      {"the argument is trimmed", {snippet("brb", "1"), snippet("b", "2")}, "\tBRB ", {snippet("b", "2")}},
      {"every rule sharing the key goes, the rest keep their order",
       {snippet("hi", "1"), snippet("a", "2"), Rule("transform", "HI", "3", false), snippet("b", "4")},
       "Hi",
       {snippet("a", "2"), snippet("b", "4")}},
      {"no match changes nothing", {snippet("a", "1")}, "zebra", {snippet("a", "1")}},
      {"a stored trigger with blanks does not match", {snippet(" a ", "1")}, "a", {snippet(" a ", "1")}},
      {"decomposed argument removes precomposed trigger", {snippet(kPrecomposed, "1")}, kDecomposed, {}},
      {"precomposed argument removes decomposed trigger", {snippet(kDecomposed, "1")}, "CAF\u00C9", {}},
  };
  for (const RemoveRuleCase& c : cases) {
    SCOPED_TRACE(c.name);
    AgentConfig config = withRules(c.stored);
    config.removeRule(c.trigger);
    EXPECT_EQ(fieldsOf(config.rules), fieldsOf(c.expected));
  }
}

TEST(RemoveRule, TriggerViewingAStoredRule) {
  AgentConfig config = withRules({snippet("x", "1"), snippet("a", "2"), snippet("X", "3")});
  config.removeRule(config.rules[0].trigger);
  EXPECT_EQ(fieldsOf(config.rules), fieldsOf({snippet("a", "2")}));
}

// Every edit, applied twice and validated, saves what applying it once saves.
TEST(Edits, AreIdempotentAfterValidation) {
  // As the tool saves it: the second run of a command starts from the file
  // that the first run wrote.
  const AgentConfig start(1, {"quokka", "Padded", "w"}, {snippet("brb", "be right back"), snippet("x", "1", false)},
                          std::nullopt);
  const Words longTerm = {std::string(101, 'l')};
  struct Case {
    const char* name;
    std::function<void(AgentConfig&)> edit;
  };
  const std::vector<Case> cases = {
      {"add", [](AgentConfig& c) { c.addTerms(Words{" Quokka", "new", "NEW", "padded", ""}); }},
      {"add an over-long term", [&](AgentConfig& c) { c.addTerms(longTerm); }},
      {"remove", [](AgentConfig& c) { c.removeTerms(Words{"W", "padded", "absent"}); }},
      {"upsert over a match", [](AgentConfig& c) { c.upsertRule(snippet(" X ", "new")); }},
      {"upsert a new rule", [](AgentConfig& c) { c.upsertRule(snippet("sig", "regards")); }},
      {"upsert a rule validation drops", [](AgentConfig& c) { c.upsertRule(Rule("transform", "w", "w!", true)); }},
      {"remove rule", [](AgentConfig& c) { c.removeRule("x"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AgentConfig once = start;
    c.edit(once);
    const AgentConfig savedOnce = once.validated().config;

    AgentConfig twice = savedOnce;
    c.edit(twice);
    const AgentConfig savedTwice = twice.validated().config;
    EXPECT_EQ(savedTwice.dictionary, savedOnce.dictionary);
    EXPECT_EQ(fieldsOf(savedTwice.rules), fieldsOf(savedOnce.rules));
  }
}

}  // namespace
}  // namespace ostrel
