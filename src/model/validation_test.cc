// Tests of AgentConfig::validated(): every complaint with its exact text and
// order, the inclusive limits counted in user-perceived characters, the silent
// repairs, and the promise that the result respects every limit and is a
// fixed point.
//
// Records are compared byte for byte (not with the record's canonical ==),
// because validation must keep the bytes it keeps.

#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "ostrel/agent_config.h"
#include "ostrel/text.h"

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
      {"over-long entries record no key, complaints in entry order; a blank style becomes absent",
       record({std::string(101, 'z'), "ok", std::string(101, 'Z')}, {}, " \n\t\u2029 "),
       record({"ok"}),
       {{std::string(40, 'z'), kLongTerm}, {std::string(40, 'Z'), kLongTerm}}},
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
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const AgentConfig::Validated v = c.input.validated();
    EXPECT_EQ(bytes(v.config), bytes(c.expected));
    EXPECT_EQ(complaintsOf(v), c.complaints);
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
  const AgentConfig over(7, words, rules, std::string(2001, 's'));
  const AgentConfig::Validated v = over.validated();
  EXPECT_EQ(v.config.version, 7);
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

TEST(Validated, StyleCutAtABlankKeepsItUntilASecondPass) {
  const AgentConfig::Validated first = record({}, {}, std::string(1999, 's') + " tail").validated();
  EXPECT_EQ(first.config.style, std::string(1999, 's') + " ");
  const AgentConfig::Validated second = first.config.validated();
  EXPECT_EQ(second.config.style, std::string(1999, 's'));
  EXPECT_TRUE(second.complaints.empty());
}

// A random record mixing every kind of defect; one in twenty is large enough, with
// enough distinct words, to reach the caps.
AgentConfig randomRecord(std::mt19937& random) {
  static const Words blanks = {"", " ", "\t", "\r\n", "\u00A0", "\u2028", "\u3000"};
  static const Words pieces = {
      "quokka",         "QUOKKA",  "caf\u00E9", "CAFE\u0301", "\u0130stanbul",
      "i\u0307stanbul", kThumbsUp, kFamily,     "btw",        "a b"};
  static const Words kinds = {"snippet", "transform", "transform", "Snippet", "", "macro"};
  const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  const auto oneOf = [&](const Words& w) { return w[pick(static_cast<int>(w.size()))]; };
  const auto padded = [&](const std::string& s) { return oneOf(blanks) + s + oneOf(blanks); };
  const auto several = [&](int n) { return padded(repeated(oneOf(pieces), n)); };
  const bool large = pick(20) == 0;
  int counter = 0;
  // Blank, around 100 characters, or one numbered word.
  const auto text = [&] {
    const int shape = pick(6);
    if (shape == 0) return oneOf(blanks);
    if (shape == 1) return several(15 + pick(10));
    return padded(oneOf(pieces) + std::to_string(large ? counter++ : pick(40)));
  };

  AgentConfig c(pick(5), {}, {}, std::nullopt);
  for (int i = pick(30) + (large ? 3000 : 0); i > 0; --i) c.dictionary.push_back(text());
  for (int i = pick(15) + (large ? 1700 : 0); i > 0; --i) {
    std::string trigger = text();
    // Sometimes quoting the trigger, sometimes around 2000 characters.
    const int shape = pick(5);
    std::string replacement =
        shape == 0 ? "say " + trigger : several(shape == 1 ? 300 + pick(60) : 1);
    c.rules.emplace_back(oneOf(kinds), std::move(trigger), std::move(replacement), pick(2) == 0);
  }
  if (pick(5) > 0) c.style = pick(3) == 0 ? oneOf(blanks) : several(pick(2) ? 3 : 1990 + pick(20));
  return c;
}

// The limits, counted by the text module rather than by validated(). Blanks,
// repeats and loops show up as changes in a second pass.
void expectWithinLimits(const AgentConfig& c) {
  const auto length = [](const std::string& s) { return text::characterCount(s); };
  EXPECT_LE(c.dictionary.size(), 2000u);
  for (const std::string& entry : c.dictionary) EXPECT_LE(length(entry), 100u) << entry;
  EXPECT_LE(c.rules.size(), 500u);
  for (const Rule& r : c.rules) {
    EXPECT_TRUE(r.kind == "snippet" || r.kind == "transform") << r.kind;
    EXPECT_LE(length(r.trigger), 100u) << r.trigger;
    EXPECT_LE(length(r.replacement), 2000u) << r.trigger;
  }
  if (c.style) {
    EXPECT_LE(length(*c.style), 2000u);
  }
}

TEST(Validated, RandomRecordsComeOutWithinLimitsAndStable) {
  std::mt19937 random(20240611);
  for (int i = 0; i < 300 && !testing::Test::HasFailure(); ++i) {
    SCOPED_TRACE("record " + std::to_string(i));
    const AgentConfig input = randomRecord(random);
    const auto inputBytes = bytes(input);
    const AgentConfig::Validated first = input.validated();
    EXPECT_EQ(bytes(input), inputBytes);
    expectWithinLimits(first.config);

    // A second pass changes nothing, except that a style cut at a blank loses it.
    AgentConfig expected = first.config;
    if (expected.style) expected.style = std::string(text::trimmed(*expected.style));
    const AgentConfig::Validated second = first.config.validated();
    EXPECT_TRUE(second.complaints.empty());
    EXPECT_EQ(bytes(second.config), bytes(expected));

    if (input.rules.size() <= 30) {  // asking rule by rule is quadratic
      const AgentConfig rulesOnly = record({}, input.rules);
      EXPECT_EQ(askedRuleByRule(rulesOnly), complaintsOf(rulesOnly.validated()));
    }
  }
}

}  // namespace
}  // namespace ostrel
