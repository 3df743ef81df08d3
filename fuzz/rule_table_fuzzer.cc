// Rule tables both ways. Any bytes read as a rule table must not crash or
// hang, and a table that is read must come back the same once exported.
// The same bytes, cut at 0xFF bytes into texts, also make rules (of either
// kind, on or off): what rule export prints of them once validated, rule
// import reads into an empty record as the same rules, byte for byte.

#include <cstdint>
#include <optional>

#include "fuzz_check.h"
#include "ostrel/exchange.h"
#include "ostrel/text.h"
#include "test_support.h"

namespace {

using ostrel::AgentConfig;
namespace exchange = ostrel::exchange;

std::vector<AgentConfig::Rule> rulesOf(const exchange::RuleTable& table) {
  std::vector<AgentConfig::Rule> rules;
  for (const auto& row : table.rows) rules.push_back(row.rule);
  return rules;
}

// What rule import of `table` saves into an empty record.
AgentConfig imported(std::string_view table) {
  const auto read = exchange::ruleTable(table);
  FUZZ_CHECK(read.ok());
  AgentConfig config(1, {}, {}, std::nullopt);
  for (const auto& taken : config.upsertRules(rulesOf(read.value())))
    FUZZ_CHECK(taken.how == AgentConfig::Upserted::How::added);
  return config.validated().config;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (const auto table = exchange::ruleTable(bytes); table.ok()) {
    const auto again = exchange::ruleTable(exchange::ruleTableOf(rulesOf(table.value())));
    FUZZ_CHECK(again.ok() && again.value().rows.size() == table.value().rows.size());
    for (std::size_t i = 0; i < again.value().rows.size(); ++i) {
      const auto &a = again.value().rows[i].rule, &b = table.value().rows[i].rule;
      FUZZ_CHECK(a.kind == b.kind && a.trigger == b.trigger && a.replacement == b.replacement &&
                 a.enabled == b.enabled);
    }
  } else {
    const std::string& m = table.error().description;
    FUZZ_CHECK(m.starts_with("line ") && m.find('\n') == std::string::npos);
  }

  std::vector<std::string> texts(1);
  for (char c : bytes) {
    if (c == '\xFF') {
      texts.emplace_back();
    } else {
      texts.back() += c;
    }
  }
  AgentConfig source(1, {}, {}, std::nullopt);
  for (std::size_t i = 0; i + 1 < texts.size(); i += 2) {
    const bool transform = texts[i].size() % 2, enabled = texts[i + 1].size() % 3;
    source.rules.emplace_back(transform ? "transform" : "snippet",
                              ostrel::text::sanitizedUtf8(texts[i]),
                              ostrel::text::sanitizedUtf8(texts[i + 1]), enabled);
  }
  const AgentConfig saved = source.validated().config;
  FUZZ_CHECK(ostrel::testing::sameBytes(imported(exchange::ruleTableOf(saved.rules)), saved));
  return 0;
}
