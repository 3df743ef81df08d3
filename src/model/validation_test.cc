// Tests of AgentConfig::validated(): every complaint with its exact text and
// order, the inclusive limits counted in user-perceived characters, and the
// silent repairs. That any record comes out within the limits, unchanged by a
// second pass, is checked on random records by fuzz/edits_fuzzer.cc.
//
// Records are compared byte for byte (not with the record's canonical ==),
// because validation must keep the bytes it keeps.

#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "ostrel/agent_config.h"

namespace ostrel {
namespace {

using Rule = AgentConfig::Rule;
using Words = std::vector<std::string>;
using Complaint = std::pair<std::string, std::string>;
using Complaints = std::vector<Complaint>;

const std::string kDecomposedE = "e\u0301";                                // 2 code points
const std::string kThumbsUp = "\U0001F44D\U0001F3FD";                      // emoji + modifier
const std::string kFamily = "\U0001F468\u200D\U0001F469\u200D\U0001F467";  // ZWJ sequence
const std::string kLongTerm = "longer than 100 characters";
const std::string kLoops = "replacement contains the trigger, which would loop";
const std::string kDuplicate = "duplicate trigger; keeping the first";
const Complaint kEmptyTrigger = {"(empty trigger)", "a rule needs something to match"};
const Complaint kRulesCap = {"rules", "more than 500; extra ones ignored"};
const Complaint kStyleCut = {"style", "longer than 2000 characters; truncated"};

std::string repeated(const std::string& unit, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += unit;
  return s;
}

Rule snippet(std::string trigger, std::string replacement = "text", bool enabled = true) {
  return Rule("snippet", std::move(trigger), std::move(replacement), enabled);
}

Rule transform(std::string trigger, std::string replacement) {
  return Rule("transform", std::move(trigger), std::move(replacement), true);
}

AgentConfig record(Words dictionary, std::vector<Rule> rules = {},
                   std::optional<std::string> style = std::nullopt) {
  return AgentConfig(1, std::move(dictionary), std::move(rules), std::move(style));
}

// The words prefix0, prefix1, ...
Words numbered(const std::string& prefix, int count) {
  Words out;
  for (int i = 0; i < count; ++i) out.push_back(prefix + std::to_string(i));
  return out;
}

// Every field, byte for byte.
auto bytes(const AgentConfig& c) {
  std::vector<std::tuple<std::string, std::string, std::string, bool>> rules;
  for (const Rule& r : c.rules) rules.emplace_back(r.kind, r.trigger, r.replacement, r.enabled);
  return std::make_tuple(c.version, c.dictionary, rules, c.style);
}

Complaints complaintsOf(const AgentConfig::Validated& v) {
  Complaints out;
  for (const AgentConfig::Complaint& c : v.complaints) out.emplace_back(c.subject, c.reason);
  return out;
}

// complaintDroppingRule() asked for each rule in turn.
Complaints askedRuleByRule(const AgentConfig& config) {
  Complaints out;
  for (std::size_t i = 0; i < config.rules.size(); ++i) {
    if (auto c = config.complaintDroppingRule(i)) out.emplace_back(c->subject, c->reason);
  }
  return out;
}

TEST(Validated, RepairsAndComplaints) {
  const std::string useValidKinds = "' \u2014 use snippet or transform";
  struct Case {
    const char* name;
    AgentConfig input;
    AgentConfig expected;
    Complaints complaints;
  };
  const std::vector<Case> cases = {
      {"silent: trimmed at both ends only, blanks dropped, a case repeat keeps the first spelling",
       record({" \t two words\r\n", "", "\u0085\u2028 ", "Kubernetes", " kubernetes ", "KUBERNETES",
               "caf\u00E9", "CAFE\u0301"},
              {}, "\n\u00A0Be terse.\nNo emoji.\u3000"),
       record({"two words", "Kubernetes", "caf\u00E9"}, {}, "Be terse.\nNo emoji."),
       {}},
      {"a blank trigger beats a bad kind; kinds are exact; the subject is the trimmed trigger",
       record({}, {Rule("bogus", " \t\n", "x", true), Rule("Snippet", "  brb ", "x", true),
                   Rule(" snippet", "x", "y", true)}),
       record({}),
       {kEmptyTrigger,
        {"brb", "unknown kind 'Snippet" + useValidKinds},
        {"x", "unknown kind ' snippet" + useValidKinds}}},
      {"the first failing test decides: kind, trigger length, replacement length, loop",
       record({}, {Rule("Snippet", std::string(101, 't'), "x", true),
                   snippet(std::string(101, 'u'), std::string(2001, 'r')),
                   transform("r", std::string(2001, 'r'))}),
       record({}),
       {{std::string(101, 't'), "unknown kind 'Snippet" + useValidKinds},
        {std::string(40, 'u'), "trigger longer than 100 characters"},
        {"r", "replacement longer than 2000 characters"}}},
      {"only transforms loop, ignoring case; a dropped rule records no key",
       record({},
              {transform("btw", "by the way (BTW)"), transform("BTW", "say btw"),
               transform("caf\u00E9", "a CAFE\u0301 au lait"), snippet("Btw", "by the way (BTW)")}),
       record({}, {snippet("Btw", "by the way (BTW)")}),
       {{"btw", kLoops}, {"BTW", kLoops}, {"caf\u00E9", kLoops}}},
      {"equal but for case and blanks is a duplicate, tested after the loop; disabled rules alike",
       record({}, {snippet("Hello", "a"), snippet("hello ", "b"), transform("HELLO", "say hello"),
                   snippet(" gonna ", "going to", false), Rule("Transform", "x", "y", false),
                   snippet("GONNA", "z", false)}),
       record({}, {snippet("Hello", "a"), snippet("gonna", "going to", false)}),
       {{"hello", kDuplicate},
        {"HELLO", kLoops},
        {"x", "unknown kind 'Transform" + useValidKinds},
        {"GONNA", kDuplicate}}},
      {"a style cut where a blank ends the first 2000 characters keeps that blank",
       record({}, {}, std::string(1999, 's') + " tail"),
       record({}, {}, std::string(1999, 's') + " "),
       {kStyleCut}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const AgentConfig::Validated v = c.input.validated();
    EXPECT_EQ(bytes(v.config), bytes(c.expected));
    EXPECT_EQ(complaintsOf(v), c.complaints);
    // Asked one rule at a time, the same rules are dropped for the same reasons.
    const AgentConfig rulesOnly = record({}, c.input.rules);
    EXPECT_EQ(askedRuleByRule(rulesOnly), complaintsOf(rulesOnly.validated()));
  }
}

// Every length limit is inclusive and counts user-perceived characters, whatever they
// are made of; a quoted subject holds 40 whole ones; the blanks of a replacement count.
TEST(Validated, LengthLimitsAreInclusiveAndCountCharacters) {
  for (const std::string& unit : {std::string("a"), kDecomposedE, kThumbsUp, kFamily}) {
    SCOPED_TRACE(unit);
    const auto times = [&](int n) { return repeated(unit, n); };
    const AgentConfig input(
        1, {" " + times(100) + "\n", times(101)},
        {snippet("\t" + times(100)), snippet(times(101)), snippet("r", " " + times(1998) + " "),
         snippet("s", " " + times(1999) + " ")},
        " " + times(2001) + "\n");
    const AgentConfig expected(
        1, {times(100)}, {snippet(times(100)), snippet("r", " " + times(1998) + " ")}, times(2000));
    const AgentConfig::Validated v = input.validated();
    EXPECT_EQ(bytes(v.config), bytes(expected));
    EXPECT_EQ(complaintsOf(v), (Complaints{{times(40), kLongTerm},
                                           {times(40), "trigger longer than 100 characters"},
                                           {"s", "replacement longer than 2000 characters"},
                                           kStyleCut}));

    const AgentConfig::Validated styleAtLimit =
        record({}, {}, "\t" + times(2000) + " ").validated();
    EXPECT_EQ(styleAtLimit.config.style, times(2000));
    EXPECT_TRUE(styleAtLimit.complaints.empty());
  }
}

TEST(Validated, CapsCountSurvivorsAndComplaintsComeInStageOrder) {
  // At both limits once blank, repeated and dropped items are gone.
  Words words = numbered("w", 2000);
  for (int i = 0; i < 10; ++i) words.push_back("W" + std::to_string(i * 7));
  words.push_back(" ");
  std::vector<Rule> rules = {snippet("")};
  for (const std::string& trigger : numbered("t", 500)) rules.push_back(snippet(trigger));
  rules.push_back(transform("loop", "loop"));
  const AgentConfig::Validated atLimit = record(words, rules).validated();
  EXPECT_EQ(atLimit.config.dictionary, numbered("w", 2000));
  EXPECT_EQ(atLimit.config.rules.size(), 500u);
  EXPECT_EQ(complaintsOf(atLimit), (Complaints{kEmptyTrigger, {"loop", kLoops}}));

  // Over every limit. Entries past the cap still get their own complaints, and
  // rules past it still make later ones duplicates.
  words.insert(words.end(), {"w2000", "w2001", std::string(101, 'd')});
  rules.push_back(snippet("t500"));
  rules.push_back(snippet("T500"));
  const AgentConfig over = record(words, rules, std::string(2001, 's'));
  const AgentConfig::Validated v = over.validated();
  EXPECT_EQ(v.config.dictionary, numbered("w", 2000));
  ASSERT_EQ(v.config.rules.size(), 500u);
  EXPECT_EQ(v.config.rules.back().trigger, "t499");
  EXPECT_EQ(complaintsOf(v),
            (Complaints{{std::string(40, 'd'), kLongTerm},
                        {"dictionary", "more than 2000 entries; extra ones ignored"},
                        kEmptyTrigger,
                        {"loop", kLoops},
                        {"T500", kDuplicate},
                        kRulesCap,
                        kStyleCut}));
  // Asked one by one, the 501st survivor itself gets the cap.
  EXPECT_EQ(askedRuleByRule(over),
            (Complaints{kEmptyTrigger, {"loop", kLoops}, kRulesCap, {"T500", kDuplicate}}));
}

}  // namespace
}  // namespace ostrel
