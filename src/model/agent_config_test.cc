// Equality of records: canonical equivalence for texts, everything else exact.

#include "ostrel/agent_config.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ostrel {
namespace {

using Rule = AgentConfig::Rule;

TEST(AgentConfigEquality, ComparesTextsByCanonicalEquivalenceAndAllElseExactly) {
  const std::string cafe = "caf\xC3\xA9";
  const std::string cafeDecomposed = "cafe\xCC\x81";
  const Rule rule("snippet", cafe, cafe, true);
  // The first two differ only in how the accents are encoded; every other one differs from
  // the first in one field.
  const std::vector<AgentConfig> configs = {
      AgentConfig(1, {"Quokka", cafe}, {rule}, cafe),
      AgentConfig(1, {"Quokka", cafeDecomposed},
                  {Rule("snippet", cafeDecomposed, cafeDecomposed, true)}, cafeDecomposed),
      AgentConfig(2, {"Quokka", cafe}, {rule}, cafe),
      AgentConfig(1, {"quokka", cafe}, {rule}, cafe),
      AgentConfig(1, {"Quokka"}, {rule}, cafe),
      AgentConfig(1, {"Quokka", cafe}, {Rule("snippet", cafe, cafe, false)}, cafe),
      AgentConfig(1, {"Quokka", cafe}, {Rule("transform", cafe, cafe, true)}, cafe),
      AgentConfig(1, {"Quokka", cafe}, {Rule("snippet", "Caf\xC3\xA9", cafe, true)}, cafe),
      AgentConfig(1, {"Quokka", cafe}, {Rule("snippet", cafe, cafe + " ", true)}, cafe),
      AgentConfig(1, {"Quokka", cafe}, {rule}, ""),
      AgentConfig(1, {"Quokka", cafe}, {rule}, std::nullopt),
  };
  for (std::size_t i = 0; i < configs.size(); ++i) {
    for (std::size_t j = 0; j < configs.size(); ++j) {
      EXPECT_EQ(configs[i] == configs[j], i == j || i + j == 1) << i << " vs " << j;
    }
  }
  using Complaint = AgentConfig::Complaint;
  EXPECT_EQ((Complaint{cafe, "too long"}), (Complaint{cafeDecomposed, "too long"}));
  EXPECT_FALSE((Complaint{"a", "too long"}) == (Complaint{"b", "too long"}));
  EXPECT_FALSE((Complaint{"a", "too long"}) == (Complaint{"a", "Too long"}));
}

}  // namespace
}  // namespace ostrel
