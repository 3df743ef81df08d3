// Equality of records: canonical equivalence for texts, everything else exact.

#include "ostrel/agent_config.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel {
namespace {

using Rule = AgentConfig::Rule;

// "café" precomposed and with a combining acute accent.
const std::string cafeComposed = "caf\xC3\xA9";
const std::string cafeDecomposed = "cafe\xCC\x81";

AgentConfig base() {
  return AgentConfig(1, {"Quokka", cafeComposed},
                     {Rule("snippet", "brb", "be right back " + cafeComposed, true)}, cafeComposed);
}

TEST(AgentConfigEquality, ComparesEveryFieldWithCanonicalEquivalence) {
  struct Case {
    const char* name;
    void (*change)(AgentConfig&);
    bool equal;
  };
  const Case cases[] = {
      {"unchanged", [](AgentConfig&) {}, true},
      {"decomposed accent in a word", [](AgentConfig& c) { c.dictionary[1] = cafeDecomposed; },
       true},
      {"decomposed accent in a replacement",
       [](AgentConfig& c) { c.rules[0].replacement = "be right back " + cafeDecomposed; }, true},
      {"decomposed accent in the style", [](AgentConfig& c) { c.style = cafeDecomposed; }, true},
      {"case of a word", [](AgentConfig& c) { c.dictionary[0] = "quokka"; }, false},
      {"blank after a word", [](AgentConfig& c) { c.dictionary[0] = "Quokka "; }, false},
      {"order of words", [](AgentConfig& c) { std::swap(c.dictionary[0], c.dictionary[1]); },
       false},
      {"extra word", [](AgentConfig& c) { c.dictionary.push_back("x"); }, false},
      {"version", [](AgentConfig& c) { c.version = 2; }, false},
      {"enabled", [](AgentConfig& c) { c.rules[0].enabled = false; }, false},
      {"kind", [](AgentConfig& c) { c.rules[0].kind = "transform"; }, false},
      {"case of a replacement",
       [](AgentConfig& c) { c.rules[0].replacement = "Be right back " + cafeComposed; }, false},
      {"no rules", [](AgentConfig& c) { c.rules.clear(); }, false},
      {"style empty", [](AgentConfig& c) { c.style = ""; }, false},
      {"style absent", [](AgentConfig& c) { c.style.reset(); }, false},
  };
  for (const Case& c : cases) {
    AgentConfig changed = base();
    c.change(changed);
    EXPECT_EQ(changed == base(), c.equal) << c.name;
    EXPECT_EQ(base() == changed, c.equal) << c.name;
  }
}

TEST(AgentConfigEquality, RulesAndComplaintsCompareByEquivalentTexts) {
  EXPECT_TRUE(Rule("snippet", cafeComposed, "x", true) ==
              Rule("snippet", cafeDecomposed, "x", true));
  EXPECT_FALSE(Rule("snippet", "t", "x", true) == Rule("snippet", "t", "x", false));
  using Complaint = AgentConfig::Complaint;
  EXPECT_TRUE((Complaint{cafeComposed, "too long"}) == (Complaint{cafeDecomposed, "too long"}));
  EXPECT_FALSE((Complaint{"a", "too long"}) == (Complaint{"a", "Too long"}));
  EXPECT_FALSE((Complaint{"a", "b"}) == (Complaint{"b", "a"}));
}

}  // namespace
}  // namespace ostrel
