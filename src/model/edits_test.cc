// What the edit operations match (arguments and stored values alike trimmed
// and lower-cased, canonical equivalents equal) and where entries go. The plain cases are checked
// end to end in src/cli/cli_test.cc.
#include <gtest/gtest.h>

#include <functional>

#include "test_support.h"

namespace ostrel {
namespace {

using Rule = AgentConfig::Rule;
using Terms = std::vector<std::string>;

AgentConfig with(Terms w, std::vector<Rule> r = {}) { return AgentConfig(1, w, r, {}); }
Rule snippet(std::string trigger) { return Rule("snippet", std::move(trigger), "x", true); }

TEST(Edits, MatchAndPlaceEntries) {
  const std::string cafe = "caf\u00E9", resume = "re\u0301sume\u0301", oddCafe = "CAFE\u0301";
  const std::string oddResume = "R\u00C9SUM\u00C9";
  const Rule mail("transform", " My Email\t", "new", false);
  // clang-format off
  const struct { AgentConfig start; std::function<void(AgentConfig&)> edit; AgentConfig expected; }
      rows[] = {
      // Both spellings of one call are added; a padded stored entry matches its word.
      {with({" Wombat\t", cafe, resume}),
       [&](auto& c) { c.addTerms(Terms{"Quokka", " ", "\tquokka\n", oddCafe, oddResume, "wombat"}); },
       with({" Wombat\t", cafe, resume, "Quokka", "quokka"})},
      // A blank term removes only blank entries; survivors keep their order.
      {with({"quokka", "", "a", " Quokka\n", " ", cafe, "QUOKKA", "d", resume}),
       [&](auto& c) { c.removeTerms(Terms{"QUOKKA", " D\n", "  ", oddCafe, oddResume}); },
       with({"a"})},
      // The first match, padded or not, is replaced whole, in place; a later equal trigger
      // stays. (An unmatched rule is appended, as the command line shows.)
      {with({}, {snippet(" my email "), snippet("a"), snippet("MY EMAIL")}),
       [&](auto& c) { EXPECT_EQ(c.upsertRule(mail), 0u); },
       with({}, {mail, snippet("a"), snippet("MY EMAIL")})},
      // Every match goes, also when the trigger is a stored rule's own.
      {with({}, {snippet("x"), snippet(oddCafe), snippet("a"), snippet(" X")}),
       [&](auto& c) { c.removeRule(c.rules[0].trigger); c.removeRule(" " + cafe); },
       with({}, {snippet("a")})},
  };  // clang-format on
  for (const auto& r : rows) {
    AgentConfig edited = r.start;
    r.edit(edited);
    EXPECT_TRUE(testing::sameBytes(edited, r.expected)) << r.expected.encoded().value();
  }
}

// Equality offered to the model's callers: every field, texts by canonical
// equivalence.
TEST(Record, EqualIsEveryFieldWithTextsCanonicallyEquivalent) {
  const AgentConfig base(1, {"caf\u00E9"}, {snippet("a")}, std::nullopt);
  AgentConfig decomposed = base, disabled = base, styled = base, later = base;
  decomposed.dictionary[0] = "cafe\u0301";
  disabled.rules[0].enabled = false;
  styled.style = "";
  later.version = 2;
  EXPECT_TRUE(base == decomposed);
  for (const AgentConfig& other : {disabled, styled, later}) EXPECT_FALSE(base == other);
}

}  // namespace
}  // namespace ostrel
