// validated(): every complaint with its exact text and order, the inclusive
// limits counted in user-perceived characters, and the silent repairs. That
// any record comes out within the limits, unchanged by a second pass, is
// checked by fuzz/edits_fuzzer.cc.
#include <gtest/gtest.h>

#include "test_support.h"

namespace ostrel {
namespace {

using Rule = AgentConfig::Rule;
using Complaints = std::vector<std::pair<std::string, std::string>>;

Rule snippet(std::string t, std::string r = "r", bool on = true) {
  return Rule("snippet", t, r, on);
}
Rule transform(std::string t, std::string r) { return Rule("transform", t, r, true); }
using Words = std::vector<std::string>;
AgentConfig with(Words w, std::vector<Rule> r = {}, std::optional<std::string> s = {}) {
  return AgentConfig(7, w, r, s);
}
std::string times(int n, const std::string& unit) { return n > 0 ? unit + times(n - 1, unit) : ""; }
Complaints pairs(const std::vector<AgentConfig::Complaint>& complaints) {
  Complaints out;
  for (const auto& c : complaints) out.emplace_back(c.subject, c.reason);
  return out;
}

TEST(Validated, RepairsAndComplaints) {
  const std::string kind = "' \u2014 use snippet or transform", t101(101, 't'), d101(101, 'd');
  const std::string loops = "replacement contains the trigger, which would loop";
  const std::string repeat = "duplicate trigger; keeping the first";
  const std::string long2000 = "replacement longer than 2000 characters";
  const std::string fam = "\U0001F468\u200D\U0001F469\u200D\U0001F467";  // one character
  const Complaints::value_type empty = {"(empty trigger)", "a rule needs something to match"};
  const std::string trim = "blanks at either end", blank = "a blank word";
  std::vector<std::string> words2000;
  std::vector<Rule> rules500 = {snippet("")};
  for (int i = 0; i < 2000; ++i) words2000.push_back("w" + std::to_string(i));
  for (int i = 0; i < 500; ++i) rules500.push_back(snippet(words2000[i]));
  rules500.push_back(transform("loop", "loop"));
  std::vector<Rule> over = rules500;
  over.insert(over.end(), {snippet("w500"), snippet("W500")});
  std::vector<std::string> over2000 = words2000;
  over2000.insert(over2000.end(), {"W7", " ", "w2000", "w2001", d101, "W70"});
  const std::vector<Rule> survivors(rules500.begin() + 1, rules500.end() - 1);
  // clang-format off
  const struct { AgentConfig input, expected; Complaints complaints, repairs; } rows[] = {
      // Silent: blanks trimmed at the ends only, blank entries dropped, a repeat keeps the
      // first spelling, a blank style is absent; each is listed as a repair.
      {with({" \t two words\r\n", "", "\u0085\u2028 ", "Cafe", " cafe ", "caf\u00E9", "CAFE\u0301"},
            {}, "\n\u00A0Be terse.\u3000"),
       with({"two words", "Cafe", "caf\u00E9"}, {}, "Be terse."), {},
       {{"two words", trim}, {"", blank}, {"\u0085\u2028 ", blank}, {"cafe", "repeats 'Cafe'"},
        {"CAFE\u0301", "repeats 'caf\u00E9'"}, {"style", trim}}},
      {with({}, {}, " \n"), with({}), {}, {{"style", "only blanks"}}},
      // The first failing test decides: blank trigger, kind (exact), lengths, loop, repeat.
      {with({}, {Rule("bogus", " \t\n", "x", true), Rule("Snippet", "  brb ", "x", true),
                 Rule(" snippet", t101, "y", true), snippet(times(101, fam), times(2001, "r")),
                 transform("r", times(2001, "r")), transform("btw", "by the way (BTW)"),
                 transform("caf\u00E9", "a CAFE\u0301 au lait"), snippet("Btw", "by the way (BTW)"),
                 snippet("hello ", "b", false), transform("HELLO", "say hello"), snippet("HeLLo")}),
       with({}, {snippet("Btw", "by the way (BTW)"), snippet("hello", "b", false)}),
       {empty, {"brb", "unknown kind 'Snippet" + kind}, {t101, "unknown kind ' snippet" + kind},
        {times(40, fam), "trigger longer than 100 characters"}, {"r", long2000}, {"btw", loops},
        {"caf\u00E9", loops}, {"HELLO", loops}, {"HeLLo", repeat}}, {{"hello", trim}}},
      // Limits are inclusive and count characters; a complaint quotes 40, and a style cut
      // where a blank ends the first 2000 keeps that blank.
      {with({" " + times(100, fam) + "\n", times(101, fam)},
            {snippet("\t" + times(100, fam), " " + times(1998, fam) + " "),
             snippet("s", " " + times(1999, fam) + " ")}, "\n" + times(1999, fam) + " tail"),
       with({times(100, fam)}, {snippet(times(100, fam), " " + times(1998, fam) + " ")},
            times(1999, fam) + " "),
       {{times(40, fam), "longer than 100 characters"}, {"s", long2000},
        {"style", "longer than 2000 characters; truncated"}},
       {{times(100, fam), trim}, {times(100, fam), trim}}},
      // Caps count what is left once blank, repeated and dropped items are gone; entries
      // past the cap still get their own complaints, and rules past it make repeats.
      {with(over2000, over), with(words2000, survivors),
       {{std::string(40, 'd'), "longer than 100 characters"},
        {"dictionary", "more than 2000 entries; extra ones ignored"}, empty, {"loop", loops},
        {"W500", repeat}, {"rules", "more than 500; extra ones ignored"}},
       {{"W7", "repeats 'w7'"}, {" ", blank}}},
  };  // clang-format on
  for (const auto& r : rows) {
    const AgentConfig::Validated v = r.input.validated();
    EXPECT_TRUE(testing::sameBytes(v.config, r.expected)) << r.complaints.size();
    EXPECT_EQ(pairs(v.complaints), r.complaints);
    EXPECT_EQ(pairs(v.repairs), r.repairs);
    EXPECT_TRUE(std::ranges::all_of(v.repairs, &AgentConfig::Complaint::silent));
    EXPECT_TRUE(std::ranges::none_of(v.complaints, &AgentConfig::Complaint::silent));
    // Upserted in one call or one call each (as rule set does), the rules come out the same,
    // the same ones refused, and nothing is left that validation would drop.
    AgentConfig batch = with({}), single = batch;
    Complaints inBatch, oneByOne;
    for (const auto& u : batch.upsertRules(r.input.rules))
      if (u.refusal) inBatch.emplace_back(u.refusal->subject, u.refusal->reason);
    for (const Rule& rule : r.input.rules)
      if (auto u = single.upsertRules(std::span(&rule, 1))[0]; u.refusal)
        oneByOne.emplace_back(u.refusal->subject, u.refusal->reason);
    EXPECT_TRUE(testing::sameBytes(batch, single));
    EXPECT_EQ(inBatch, oneByOne);
    EXPECT_TRUE(batch.validated().complaints.empty());
  }
}

}  // namespace
}  // namespace ostrel
