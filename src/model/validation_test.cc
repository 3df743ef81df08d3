// Tests of AgentConfig::validated(): every complaint and its exact text, the
// order of complaints, the inclusive limits measured in user-perceived
// characters, the silent repairs, and the promise that the result respects
// every limit and is a fixed point.
//
// Records are compared byte for byte here (not with the record's own
// canonical-equivalence ==), because validation must keep the bytes it keeps.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <unordered_set>
#include <utility>
#include <vector>

#include "ostrel/agent_config.h"
#include "ostrel/text.h"

namespace ostrel {
namespace {

using Rule = AgentConfig::Rule;
using Complaints = std::vector<std::pair<std::string, std::string>>;
using RuleFields = std::tuple<std::string, std::string, std::string, bool>;

const std::string kEmDash = "\u2014";
const std::string kDecomposedE = "e\u0301";                // 2 code points, 1 character
const std::string kThumbsUp = "\U0001F44D\U0001F3FD";     // emoji + skin tone, 1 character
const std::string kFamily = "\U0001F468\u200D\U0001F469\u200D\U0001F467";  // ZWJ sequence, 1 character

std::string repeated(const std::string& unit, std::int64_t times) {
  std::string s;
  for (std::int64_t i = 0; i < times; ++i) s += unit;
  return s;
}

Rule snippet(std::string trigger, std::string replacement = "text") {
  return Rule("snippet", std::move(trigger), std::move(replacement), true);
}

Rule transform(std::string trigger, std::string replacement = "text") {
  return Rule("transform", std::move(trigger), std::move(replacement), true);
}

AgentConfig record(std::vector<std::string> dictionary, std::vector<Rule> rules = {},
                   std::optional<std::string> style = std::nullopt) {
  return AgentConfig(1, std::move(dictionary), std::move(rules), std::move(style));
}

Complaints complaintsOf(const AgentConfig::Validated& v) {
  Complaints out;
  for (const auto& c : v.complaints) out.emplace_back(c.subject, c.reason);
  return out;
}

std::vector<RuleFields> fieldsOf(const std::vector<Rule>& rules) {
  std::vector<RuleFields> out;
  for (const Rule& r : rules) out.emplace_back(r.kind, r.trigger, r.replacement, r.enabled);
  return out;
}

// Byte-for-byte equality of two records.
void expectSameRecord(const AgentConfig& a, const AgentConfig& b) {
  EXPECT_EQ(a.version, b.version);
  EXPECT_EQ(a.dictionary, b.dictionary);
  EXPECT_EQ(fieldsOf(a.rules), fieldsOf(b.rules));
  EXPECT_EQ(a.style, b.style);
}

// Validates a copy and checks that the input was left alone.
AgentConfig::Validated validate(const AgentConfig& input) {
  const AgentConfig before = input;
  AgentConfig::Validated result = input.validated();
  expectSameRecord(input, before);
  return result;
}

std::vector<std::string> distinctWords(int count, const std::string& prefix = "word") {
  std::vector<std::string> words;
  for (int i = 0; i < count; ++i) words.push_back(prefix + std::to_string(i));
  return words;
}

const std::string kLongTerm = "longer than 100 characters";

// ---------------------------------------------------------------- dictionary

struct DictionaryCase {
  const char* name;
  std::vector<std::string> input;
  std::vector<std::string> expected;
  Complaints complaints;
};

TEST(ValidatedDictionary, RepairsAndComplaints) {
  const std::vector<DictionaryCase> cases = {
      {"trims blanks and line breaks at both ends only",
       {" \t two words\r\n", "\u00A0x\u3000", "\u2028y\u2029"},
       {"two words", "x", "y"},
       {}},
      {"drops blank entries silently", {"", "   ", "\t\n\r", "\u0085\u2028", "a"}, {"a"}, {}},
      {"keeps non-blank format characters", {"\u200B"}, {"\u200B"}, {}},
      {"case repeats keep the first spelling",
       {"Kubernetes", " kubernetes ", "KUBERNETES"},
       {"Kubernetes"},
       {}},
      {"canonically equivalent entries are repeats", {"caf\u00E9", "CAFE\u0301"}, {"caf\u00E9"}, {}},
      {"capital I with dot above matches i + combining dot",
       {"\u0130stanbul", "i\u0307stanbul", "istanbul"},
       {"\u0130stanbul", "istanbul"},
       {}},
      {"capital sigma lowers to small sigma everywhere",
       {"\u039F\u0394\u039F\u03A3", "\u03BF\u03B4\u03BF\u03C3", "\u03BF\u03B4\u03BF\u03C2"},
       {"\u039F\u0394\u039F\u03A3", "\u03BF\u03B4\u03BF\u03C2"},
       {}},
      {"100 ASCII characters pass, measured after trimming",
       {"  " + std::string(100, 'a') + "\n"},
       {std::string(100, 'a')},
       {}},
      {"101 ASCII characters are dropped, quoting 40",
       {std::string(101, 'b'), "kept"},
       {"kept"},
       {{std::string(40, 'b'), kLongTerm}}},
      {"100 decomposed accented letters pass", {repeated(kDecomposedE, 100)}, {repeated(kDecomposedE, 100)}, {}},
      {"101 decomposed accented letters are dropped, quoting 40 whole ones",
       {repeated(kDecomposedE, 101)},
       {},
       {{repeated(kDecomposedE, 40), kLongTerm}}},
      {"100 emoji with modifiers pass", {repeated(kThumbsUp, 100)}, {repeated(kThumbsUp, 100)}, {}},
      {"101 emoji with modifiers are dropped", {repeated(kThumbsUp, 101)}, {}, {{repeated(kThumbsUp, 40), kLongTerm}}},
      {"the 40-character subject never splits a ZWJ sequence",
       {std::string(39, 'c') + repeated(kFamily, 70)},
       {},
       {{std::string(39, 'c') + kFamily, kLongTerm}}},
      {"an over-long entry records no key and complaints follow dictionary order",
       {std::string(101, 'z'), "ok", std::string(120, 'y'), "OK"},
       {"ok"},
       {{std::string(40, 'z'), kLongTerm}, {std::string(40, 'y'), kLongTerm}}},
  };
  for (const DictionaryCase& c : cases) {
    SCOPED_TRACE(c.name);
    const AgentConfig::Validated v = validate(record(c.input));
    EXPECT_EQ(v.config.dictionary, c.expected);
    EXPECT_EQ(complaintsOf(v), c.complaints);
  }
}

TEST(ValidatedDictionary, CapCountsSurvivors) {
  const Complaints cap = {{"dictionary", "more than 2000 entries; extra ones ignored"}};
  struct CapCase {
    const char* name;
    std::vector<std::string> input;
    std::size_t survivors;
    Complaints complaints;
  };
  std::vector<std::string> withRepeats = distinctWords(1995);
  for (int i = 0; i < 10; ++i) withRepeats.push_back("WORD" + std::to_string(i * 7));
  std::vector<std::string> withBlanks = distinctWords(2000);
  withBlanks.insert(withBlanks.begin() + 5, {"  ", "", std::string(101, 'q')});
  std::vector<std::string> longAfterCap = distinctWords(2005);
  longAfterCap.push_back(std::string(101, 'x'));
  longAfterCap.push_back("word3");  // repeat after the cap: silent

  const std::vector<CapCase> cases = {
      {"2000 entries pass", distinctWords(2000), 2000, {}},
      {"2001 entries keep the first 2000", distinctWords(2001), 2000, cap},
      {"2005 entries with 10 repeats", withRepeats, 1995, {}},
      {"blank and over-long entries do not count", withBlanks, 2000, {{std::string(40, 'q'), kLongTerm}}},
      {"entries past the cap still get their own complaint first", longAfterCap, 2000,
       {{std::string(40, 'x'), kLongTerm}, cap[0]}},
  };
  for (const CapCase& c : cases) {
    SCOPED_TRACE(c.name);
    const AgentConfig::Validated v = validate(record(c.input));
    ASSERT_EQ(v.config.dictionary.size(), c.survivors);
    EXPECT_EQ(v.config.dictionary.front(), "word0");
    EXPECT_EQ(v.config.dictionary.back(), "word" + std::to_string(c.survivors - 1));
    EXPECT_EQ(complaintsOf(v), c.complaints);
  }
}

// --------------------------------------------------------------------- rules

struct RulesCase {
  const char* name;
  std::vector<Rule> input;
  std::vector<Rule> expected;
  Complaints complaints;
};

TEST(ValidatedRules, TestsInOrderFirstFailureWins) {
  const std::string unknownSnippet = "unknown kind 'Snippet' " + kEmDash + " use snippet or transform";
  const std::string longTrigger = "trigger longer than 100 characters";
  const std::string longReplacement = "replacement longer than 2000 characters";
  const std::string loops = "replacement contains the trigger, which would loop";
  const std::string duplicate = "duplicate trigger; keeping the first";
  const std::string tooLongReplacement(2001, 'r');

  const std::vector<RulesCase> cases = {
      {"blank trigger with a bad kind gets only the empty-trigger complaint",
       {Rule("bogus", " \t\n", "x", true)},
       {},
       {{"(empty trigger)", "a rule needs something to match"}}},
      {"kind is case-sensitive, subject is the trimmed trigger",
       {Rule("Snippet", "  brb ", "be right back", true)},
       {},
       {{"brb", unknownSnippet}}},
      {"kind is not trimmed",
       {Rule(" snippet", "brb", "x", true)},
       {},
       {{"brb", "unknown kind ' snippet' " + kEmDash + " use snippet or transform"}}},
      {"bad kind is found before an over-long trigger, quoting it whole",
       {Rule("Snippet", std::string(101, 't'), "x", true)},
       {},
       {{std::string(101, 't'), unknownSnippet}}},
      {"trigger of 100 characters passes, measured after trimming",
       {snippet(" " + repeated(kDecomposedE, 100) + " ")},
       {snippet(repeated(kDecomposedE, 100))},
       {}},
      {"trigger of 101 characters is dropped, quoting 40",
       {snippet(repeated(kThumbsUp, 101))},
       {},
       {{repeated(kThumbsUp, 40), longTrigger}}},
      {"over-long trigger is found before an over-long replacement",
       {snippet(std::string(101, 't'), tooLongReplacement)},
       {},
       {{std::string(40, 't'), longTrigger}}},
      {"replacement of 2000 characters passes, blanks counted and kept",
       {snippet("sig", " " + repeated(kDecomposedE, 1998) + "\n")},
       {snippet("sig", " " + repeated(kDecomposedE, 1998) + "\n")},
       {}},
      {"replacement of 2001 characters counting its blanks is dropped",
       {snippet("sig", " " + std::string(1999, 'r') + " ")},
       {},
       {{"sig", longReplacement}}},
      {"over-long replacement is found before a loop",
       {transform("r", tooLongReplacement)},
       {},
       {{"r", longReplacement}}},
      {"a transform containing its trigger loops, ignoring case",
       {transform("btw", "by the way (BTW)"), transform("BTW", "by the btw way")},
       {},
       {{"btw", loops}, {"BTW", loops}}},
      {"the loop test matches canonically equivalent text",
       {transform("caf\u00E9", "a CAFE\u0301 au lait")},
       {},
       {{"caf\u00E9", loops}}},
      {"a snippet may contain its trigger", {snippet("btw", "by the way (BTW)")},
       {snippet("btw", "by the way (BTW)")}, {}},
      {"a looping transform records no key: a later snippet survives",
       {transform("btw", "btw!"), snippet("btw", "by the way")},
       {snippet("btw", "by the way")},
       {{"btw", loops}}},
      {"a rule dropped for its replacement records no key",
       {snippet("x", tooLongReplacement), snippet("x", "ok")},
       {snippet("x", "ok")},
       {{"x", longReplacement}}},
      {"a later trigger equal ignoring case and blanks is a duplicate",
       {snippet("Hello", "a"), snippet("hello ", "b")},
       {snippet("Hello", "a")},
       {{"hello", duplicate}}},
      {"the loop test comes before the duplicate test",
       {snippet("hi", "a"), transform("HI", "say hi")},
       {snippet("hi", "a")},
       {{"HI", loops}}},
      {"canonically equivalent triggers are duplicates",
       {snippet("caf\u00E9"), snippet("cafe\u0301")},
       {snippet("caf\u00E9")},
       {{"cafe\u0301", duplicate}}},
      {"capital I with dot above and i + combining dot are duplicates",
       {snippet("\u0130zmir"), snippet("i\u0307zmir"), snippet("izmir")},
       {snippet("\u0130zmir"), snippet("izmir")},
       {{"i\u0307zmir", duplicate}}},
      {"capital sigma duplicates small sigma, not final sigma",
       {snippet("\u039F\u0394\u039F\u03A3"), snippet("\u03BF\u03B4\u03BF\u03C3"), snippet("\u03BF\u03B4\u03BF\u03C2")},
       {snippet("\u039F\u0394\u039F\u03A3"), snippet("\u03BF\u03B4\u03BF\u03C2")},
       {{"\u03BF\u03B4\u03BF\u03C3", duplicate}}},
      {"disabled rules are tested alike and stay disabled",
       {Rule("transform", " gonna ", "going to", false), Rule("Transform", "x", "y", false),
        Rule("snippet", "GONNA", "z", false)},
       {Rule("transform", "gonna", "going to", false)},
       {{"x", "unknown kind 'Transform' " + kEmDash + " use snippet or transform"}, {"GONNA", duplicate}}},
  };
  for (const RulesCase& c : cases) {
    SCOPED_TRACE(c.name);
    const AgentConfig::Validated v = validate(record({}, c.input));
    EXPECT_EQ(fieldsOf(v.config.rules), fieldsOf(c.expected));
    EXPECT_EQ(complaintsOf(v), c.complaints);
  }
}

TEST(ValidatedRules, CapCountsSurvivorsAndKeepsTheirKeys) {
  const std::pair<std::string, std::string> cap = {"rules", "more than 500; extra ones ignored"};
  auto validRules = [](int count) {
    std::vector<Rule> rules;
    for (int i = 0; i < count; ++i) rules.push_back(snippet("t" + std::to_string(i)));
    return rules;
  };
  std::vector<Rule> duplicatePastCap = validRules(502);
  duplicatePastCap.push_back(snippet("T501"));  // repeats a survivor beyond the cap
  std::vector<Rule> withDropped = validRules(500);
  withDropped.insert(withDropped.begin(), snippet(""));

  struct CapCase {
    const char* name;
    std::vector<Rule> input;
    std::size_t survivors;
    Complaints complaints;
  };
  const std::vector<CapCase> cases = {
      {"500 rules pass", validRules(500), 500, {}},
      {"501 rules keep the first 500", validRules(501), 500, {cap}},
      {"dropped rules do not count", withDropped, 500, {{"(empty trigger)", "a rule needs something to match"}}},
      {"survivors past the cap still make duplicates",
       duplicatePastCap,
       500,
       {{"T501", "duplicate trigger; keeping the first"}, cap}},
  };
  for (const CapCase& c : cases) {
    SCOPED_TRACE(c.name);
    const AgentConfig::Validated v = validate(record({}, c.input));
    ASSERT_EQ(v.config.rules.size(), c.survivors);
    EXPECT_EQ(v.config.rules.back().trigger, "t" + std::to_string(c.survivors - 1));
    EXPECT_EQ(complaintsOf(v), c.complaints);
  }
}

TEST(ComplaintDroppingRule, AgreesWithValidated) {
  const std::string loops = "replacement contains the trigger, which would loop";
  std::vector<Rule> rules = {snippet("a"), transform("b", "b!"), snippet("B"), snippet("A"), snippet("c")};
  for (int i = 0; i < 497; ++i) rules.push_back(snippet("r" + std::to_string(i)));
  rules.push_back(snippet("past the cap"));
  const AgentConfig config = record({}, rules);

  struct Case {
    std::size_t index;
    std::optional<std::pair<std::string, std::string>> complaint;
  };
  const std::vector<Case> cases = {
      {0, std::nullopt},
      {1, std::make_pair("b", loops)},
      {2, std::nullopt},  // the looping rule before it recorded no key
      {3, std::make_pair("A", "duplicate trigger; keeping the first")},
      {501, std::nullopt},  // the 500th survivor
      {502, std::make_pair("rules", "more than 500; extra ones ignored")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    const std::optional<AgentConfig::Complaint> got = config.complaintDroppingRule(c.index);
    ASSERT_EQ(got.has_value(), c.complaint.has_value());
    if (got) {
      EXPECT_EQ(std::make_pair(got->subject, got->reason), *c.complaint);
    }
  }
}

// --------------------------------------------------------------------- style

TEST(ValidatedStyle, TrimsDropsBlankAndCuts) {
  const std::pair<std::string, std::string> cut = {"style", "longer than 2000 characters; truncated"};
  struct StyleCase {
    const char* name;
    std::optional<std::string> input;
    std::optional<std::string> expected;
    Complaints complaints;
  };
  const std::vector<StyleCase> cases = {
      {"absent stays absent", std::nullopt, std::nullopt, {}},
      {"empty becomes absent", "", std::nullopt, {}},
      {"blank becomes absent", " \n\t\u2029 ", std::nullopt, {}},
      {"trimmed, inner line breaks kept", "\n Be terse.\nNo emoji. ", "Be terse.\nNo emoji.", {}},
      {"2000 characters pass, measured after trimming", "  " + repeated(kThumbsUp, 2000) + " ",
       repeated(kThumbsUp, 2000), {}},
      {"2001 characters are cut to 2000", std::string(2001, 's'), std::string(2000, 's'), {cut}},
      {"the cut never splits a character", repeated(kDecomposedE, 2001), repeated(kDecomposedE, 2000), {cut}},
      {"a cut at a blank keeps the blank", std::string(1999, 's') + " tail", std::string(1999, 's') + " ", {cut}},
  };
  for (const StyleCase& c : cases) {
    SCOPED_TRACE(c.name);
    const AgentConfig::Validated v = validate(record({}, {}, c.input));
    EXPECT_EQ(v.config.style, c.expected);
    EXPECT_EQ(complaintsOf(v), c.complaints);
  }
}

TEST(ValidatedStyle, CutAtBlankLosesTheBlankOnASecondPass) {
  const AgentConfig::Validated first = validate(record({}, {}, std::string(1999, 's') + " tail"));
  const AgentConfig::Validated second = validate(first.config);
  EXPECT_EQ(second.config.style, std::string(1999, 's'));
  EXPECT_TRUE(second.complaints.empty());
}

// ------------------------------------------------------------- whole record

TEST(Validated, ComplaintsComeInStageOrder) {
  std::vector<std::string> dictionary = distinctWords(2001);
  dictionary.push_back(std::string(101, 'd'));
  std::vector<Rule> rules;
  rules.push_back(snippet(""));
  for (int i = 0; i < 501; ++i) rules.push_back(snippet("r" + std::to_string(i)));
  rules.push_back(transform("loop", "loop"));
  AgentConfig input(7, dictionary, rules, std::string(2001, 's'));

  const AgentConfig::Validated v = validate(input);
  const Complaints expected = {
      {std::string(40, 'd'), kLongTerm},
      {"dictionary", "more than 2000 entries; extra ones ignored"},
      {"(empty trigger)", "a rule needs something to match"},
      {"loop", "replacement contains the trigger, which would loop"},
      {"rules", "more than 500; extra ones ignored"},
      {"style", "longer than 2000 characters; truncated"},
  };
  EXPECT_EQ(complaintsOf(v), expected);
  EXPECT_EQ(v.config.version, 7);
}

TEST(Validated, CleanRecordComesBackUnchanged) {
  const AgentConfig input(3, {"Quokka", "caf\u00E9"}, {snippet("brb", " be right back "), transform("gonna", "going to")},
                          "Keep it terse.");
  const AgentConfig::Validated v = validate(input);
  EXPECT_TRUE(v.complaints.empty());
  expectSameRecord(v.config, input);
}

// Random records mixing every kind of defect. Whatever goes in, what comes out
// respects every limit and validates again without complaint.
class RecordGenerator {
 public:
  explicit RecordGenerator(std::uint32_t seed) : random_(seed) {}

  AgentConfig next() {
    // Now and then a record large enough, and with enough distinct words,
    // to reach the caps.
    const bool large = pick(20) == 0;
    distinct_ = large;
    std::vector<std::string> dictionary;
    const int words = large ? 3000 + pick(300) : pick(30);
    for (int i = 0; i < words; ++i) dictionary.push_back(text());
    std::vector<Rule> rules;
    const int ruleCount = large ? 1700 + pick(400) : pick(15);
    for (int i = 0; i < ruleCount; ++i) rules.push_back(rule());
    std::optional<std::string> style;
    switch (pick(5)) {
      case 0: break;
      case 1: style = ""; break;
      case 2: style = blank(); break;
      case 3: style = padded(repeated(piece(), 1990 + pick(20))); break;
      default: style = padded(piece() + " " + piece()); break;
    }
    return AgentConfig(pick(5), std::move(dictionary), std::move(rules), std::move(style));
  }

 private:
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  std::string blank() {
    static const std::vector<std::string> blanks = {"", " ", "\t", "\r\n", "\u00A0", "\u2028", "\u3000"};
    return blanks[pick(static_cast<int>(blanks.size()))];
  }

  // One word, in one of several spellings and scripts.
  std::string piece() {
    static const std::vector<std::string> pieces = {
        "quokka", "Quokka", "QUOKKA", "caf\u00E9", "cafe\u0301", "CAF\u00C9", "\u0130stanbul", "i\u0307stanbul",
        "\u03A3\u039F\u03A6\u0399\u0391", "\u03C3\u03BF\u03C6\u03B9\u03B1", kThumbsUp, kFamily, "btw", "BTW", "a b"};
    return pieces[pick(static_cast<int>(pieces.size()))];
  }

  std::string padded(const std::string& s) { return blank() + s + blank(); }

  std::string text() {
    switch (pick(6)) {
      case 0: return blank();
      case 1: return padded(repeated(piece(), 15 + pick(10)));  // around the 100-character limit
      default: return padded(piece() + (distinct_ ? std::to_string(counter_++) : pick(2) ? std::to_string(pick(40)) : ""));
    }
  }

  Rule rule() {
    static const std::vector<std::string> kinds = {"snippet", "transform", "transform", "Snippet", "", "macro"};
    std::string trigger = text();
    std::string replacement;
    switch (pick(5)) {
      case 0: replacement = "say " + trigger + " again"; break;
      case 1: replacement = padded(repeated(piece(), 300 + pick(60))); break;  // around 2000
      default: replacement = padded(piece()); break;
    }
    return Rule(kinds[pick(static_cast<int>(kinds.size()))], std::move(trigger), std::move(replacement), pick(2));
  }

  std::mt19937 random_;
  bool distinct_ = false;
  int counter_ = 0;
};

void expectWithinLimits(const AgentConfig& c) {
  EXPECT_LE(static_cast<std::int64_t>(c.dictionary.size()), AgentConfig::maxDictionaryEntries);
  std::unordered_set<text::Key> seen;
  for (const std::string& entry : c.dictionary) {
    EXPECT_FALSE(entry.empty());
    EXPECT_EQ(text::trimmed(entry), entry);
    EXPECT_LE(static_cast<std::int64_t>(text::characterCount(entry)), AgentConfig::maxTermLength);
    EXPECT_TRUE(seen.insert(text::Key::of(entry)).second) << entry;
  }
  EXPECT_LE(static_cast<std::int64_t>(c.rules.size()), AgentConfig::maxRules);
  seen.clear();
  for (const Rule& r : c.rules) {
    EXPECT_TRUE(r.kind == "snippet" || r.kind == "transform") << r.kind;
    EXPECT_FALSE(r.trigger.empty());
    EXPECT_EQ(text::trimmed(r.trigger), r.trigger);
    EXPECT_LE(static_cast<std::int64_t>(text::characterCount(r.trigger)), AgentConfig::maxTermLength);
    EXPECT_LE(static_cast<std::int64_t>(text::characterCount(r.replacement)), AgentConfig::maxReplacementLength);
    const text::Key key = text::Key::of(r.trigger);
    if (r.kind == "transform") {
      EXPECT_FALSE(text::Key::of(r.replacement).contains(key)) << r.trigger;
    }
    EXPECT_TRUE(seen.insert(key).second) << r.trigger;
  }
  if (c.style) {
    EXPECT_FALSE(text::trimmed(*c.style).empty());
    EXPECT_LE(static_cast<std::int64_t>(text::characterCount(*c.style)), AgentConfig::maxStyleLength);
  }
}

TEST(Validated, RandomRecordsComeOutWithinLimitsAndStable) {
  RecordGenerator generator(20240611);
  for (int i = 0; i < 300; ++i) {
    SCOPED_TRACE("record " + std::to_string(i));
    const AgentConfig input = generator.next();
    const AgentConfig::Validated first = validate(input);
    EXPECT_EQ(first.config.version, input.version);
    expectWithinLimits(first.config);

    // Validating again changes nothing, except that a style cut at a blank
    // loses that blank.
    AgentConfig expected = first.config;
    if (expected.style) expected.style = std::string(text::trimmed(*expected.style));
    const AgentConfig::Validated second = validate(first.config);
    EXPECT_TRUE(second.complaints.empty());
    expectSameRecord(second.config, expected);

    // Asked rule by rule, the same rules are dropped for the same reasons.
    if (input.rules.size() <= 30) {
      const AgentConfig rulesOnly = record({}, input.rules);
      Complaints oneByOne;
      std::size_t survivors = 0;
      for (std::size_t r = 0; r < input.rules.size(); ++r) {
        if (auto complaint = rulesOnly.complaintDroppingRule(r)) {
          oneByOne.emplace_back(complaint->subject, complaint->reason);
        } else {
          ++survivors;
        }
      }
      const AgentConfig::Validated whole = validate(rulesOnly);
      EXPECT_EQ(oneByOne, complaintsOf(whole));
      EXPECT_EQ(survivors, whole.config.rules.size());
    }
    if (testing::Test::HasFailure()) break;
  }
}

}  // namespace
}  // namespace ostrel
