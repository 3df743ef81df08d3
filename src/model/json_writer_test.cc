// The JSON document as written: escapes, extreme versions and the one
// failure. Layout, key order and the dropping of unknown keys are checked
// byte for byte end to end, in cli_test.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "ostrel/agent_config.h"

namespace ostrel {
namespace {

using Rule = AgentConfig::Rule;

std::string encodedOrFail(const AgentConfig& config) {
  auto result = config.encoded();
  EXPECT_TRUE(result.ok()) << result.error().description;
  return result.ok() ? result.value() : std::string();
}

std::optional<std::string> decodedStyle(const std::string& json) {
  auto result = AgentConfig::decoded(json);
  EXPECT_TRUE(result.ok()) << result.error().description;
  return result.ok() ? result.value().style : std::nullopt;
}

TEST(JsonWriter, WritesTheDocumentOfOneWordOneRuleAndAStyleByteForByte) {
  const AgentConfig config(1, {"Quokka"}, {Rule("snippet", "brb", "be right back", true)},
                           "Keep my writing terse.");
  EXPECT_EQ(encodedOrFail(config), R"({
  "dictionary" : [
    "Quokka"
  ],
  "rules" : [
    {
      "enabled" : true,
      "kind" : "snippet",
      "replacement" : "be right back",
      "trigger" : "brb"
    }
  ],
  "style" : "Keep my writing terse.",
  "version" : 1
})");
}

TEST(JsonWriter, WritesTextsAndVersionsAsExactLiterals) {
  // Exactly quote, backslash and control characters are escaped.
  const std::pair<std::string, std::string> cases[] = {
      {"say \"hi\" in C:\\path and/or </b>", R"("say \"hi\" in C:\\path and/or </b>")"},
      {std::string("\b\f\n\r\t\x01\x1f\0", 8), R"("\b\f\n\r\t\u0001\u001f\u0000")"},
      {"caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\xA6\x98 \x7F",
       "\"caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\xA6\x98 \x7F\""},
      {"", R"("")"},  // an empty style is present
  };
  for (const auto& [text, literal] : cases) {
    const std::string json = encodedOrFail(AgentConfig(1, {}, {}, text));
    EXPECT_NE(json.find("\n  \"style\" : " + literal + ",\n"), std::string::npos) << json;
  }
  for (std::int64_t version :
       {std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max()}) {
    const std::string json = encodedOrFail(AgentConfig(version, {}, {}, std::nullopt));
    EXPECT_TRUE(json.ends_with("\"version\" : " + std::to_string(version) + "\n}")) << json;
  }
}

TEST(JsonWriter, RefusesTextThatIsNotUtf8AndNamesTheField) {
  const struct {
    void (*spoil)(AgentConfig&);
    const char* message;
  } cases[] = {
      {[](AgentConfig& c) { c.dictionary.push_back("c\xFF"); }, "dictionary[1] is not valid UTF-8"},
      {[](AgentConfig& c) { c.rules[0].kind = "\xC0\xAF"; }, "rules[0].kind is not valid UTF-8"},
      {[](AgentConfig& c) { c.rules[0].trigger = "\xED\xA0\x80"; },
       "rules[0].trigger is not valid UTF-8"},
      {[](AgentConfig& c) { c.rules[0].replacement = "x\xE2\x80"; },
       "rules[0].replacement is not valid UTF-8"},
      {[](AgentConfig& c) { c.style = "\x80"; }, "style is not valid UTF-8"},
  };
  for (const auto& c : cases) {
    AgentConfig config(1, {"a"}, {Rule("snippet", "t", "r", true)}, "s");
    c.spoil(config);
    auto result = config.encoded();
    ASSERT_FALSE(result.ok()) << c.message;
    EXPECT_EQ(result.error().description, c.message);
  }
}

TEST(JsonWriter, EscapesEveryByteThatNeedsItWhereverItStands) {
  // Texts are scanned eight bytes at a time: put each ASCII byte at every
  // offset of a long text, beside bytes that need no escape but are close to
  // ones that do. The strict reader refuses a raw control byte.
  const std::string plain = "abc!#[]\x7F/0123456789\xC3\xA9";  // 21 bytes
  for (int byte = 0; byte < 0x80; ++byte) {
    for (std::size_t at = 0; at <= 17; ++at) {
      std::string text = plain;
      text.insert(at, 1, static_cast<char>(byte));
      const std::string json = encodedOrFail(AgentConfig(1, {}, {}, text));
      EXPECT_EQ(decodedStyle(json), text) << byte << " at " << at;
    }
  }
}

}  // namespace
}  // namespace ostrel
