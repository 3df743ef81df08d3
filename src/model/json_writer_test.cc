// The JSON document as written: exact layout, escapes and the one failure.

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

AgentConfig decodedOrFail(const std::string& json) {
  auto result = AgentConfig::decoded(json);
  EXPECT_TRUE(result.ok()) << result.error().description;
  return result.ok() ? std::move(result).value() : AgentConfig(0, {}, {}, std::nullopt);
}

TEST(JsonWriter, WritesTheExampleDocumentsByteForByte) {
  const AgentConfig example(1, {"Quokka"}, {Rule("snippet", "brb", "be right back", true)},
                            "Keep my writing terse.");
  EXPECT_EQ(encodedOrFail(example), R"({
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
  EXPECT_EQ(encodedOrFail(AgentConfig(1, {}, {}, std::nullopt)), R"({
  "dictionary" : [

  ],
  "rules" : [

  ],
  "version" : 1
})");
}

// Keys in any order come out sorted, unknown keys and a null style are gone,
// and a second round gives the same text.
TEST(JsonWriter, SortsKeysDropsUnknownOnesAndIsStable) {
  const std::string shuffled =
      R"({"version":7,"extra":{"style":"x"},"style":null,"rules":[{"trigger":"t1","x":[],)"
      R"("enabled":false,"replacement":"r1","kind":"snippet"},{"replacement":"r2",)"
      R"("kind":"transform","enabled":true,"trigger":"t2"}],"dictionary":["a","b"]})";
  const std::string once = encodedOrFail(decodedOrFail(shuffled));
  EXPECT_EQ(once, R"({
  "dictionary" : [
    "a",
    "b"
  ],
  "rules" : [
    {
      "enabled" : false,
      "kind" : "snippet",
      "replacement" : "r1",
      "trigger" : "t1"
    },
    {
      "enabled" : true,
      "kind" : "transform",
      "replacement" : "r2",
      "trigger" : "t2"
    }
  ],
  "version" : 7
})");
  EXPECT_EQ(encodedOrFail(decodedOrFail(once)), once);
}

TEST(JsonWriter, EscapesExactlyQuoteBackslashAndControlCharacters) {
  const struct {
    std::string text;
    std::string literal;
  } cases[] = {
      {"say \"hi\"", R"("say \"hi\"")"},
      {"C:\\path", R"("C:\\path")"},
      {"and/or </b>", R"("and/or </b>")"},
      {"\b\f\n\r\t", R"("\b\f\n\r\t")"},
      {std::string("\x01\x1f\0", 3), R"("\u0001\u001f\u0000")"},
      {"caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\xA6\x98 \x7F",
       "\"caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\xA6\x98 \x7F\""},
      {"", R"("")"},  // an empty style is present
  };
  for (const auto& c : cases) {
    const std::string json = encodedOrFail(AgentConfig(1, {}, {}, c.text));
    EXPECT_NE(json.find("\n  \"style\" : " + c.literal + ",\n"), std::string::npos) << json;
    EXPECT_EQ(decodedOrFail(json).style, c.text) << json;
  }
}

TEST(JsonWriter, WritesTheExtremeVersions) {
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
  // Texts are scanned eight bytes at a time: put each byte at every offset
  // of a long text, beside bytes that need no escape but are close to ones
  // that do.
  const std::string plain = "abc!#[]\x7F/0123456789\xC3\xA9";  // 21 bytes
  std::string bytes;
  for (int byte = 0; byte < 0x80; ++byte) bytes.push_back(static_cast<char>(byte));
  for (char byte : bytes) {
    for (std::size_t at = 0; at <= 17; ++at) {
      std::string text = plain;
      text.insert(at, 1, byte);
      const std::string json = encodedOrFail(AgentConfig(1, {}, {}, text));
      const std::string literal = json.substr(json.find("\"style\" : ") + 10);
      for (char c : literal.substr(0, literal.find(",\n"))) {
        EXPECT_GE(static_cast<unsigned char>(c), 0x20) << "raw control byte " << int(byte);
      }
      EXPECT_EQ(decodedOrFail(json).style, text) << int(byte) << " at " << at;
    }
  }
}

}  // namespace
}  // namespace ostrel
