// The JSON document as written: exact layout, escapes and the one failure.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "ostrel/agent_config.h"

namespace ostrel {
namespace {

const char* const sampleDocument = R"({
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
})";

const char* const defaultDocument = R"({
  "dictionary" : [

  ],
  "rules" : [

  ],
  "version" : 1
})";

AgentConfig sampleConfig() {
  return AgentConfig(1, {"Quokka"}, {AgentConfig::Rule("snippet", "brb", "be right back", true)},
                     "Keep my writing terse.");
}

std::string encodedOrFail(const AgentConfig& config) {
  auto result = config.encoded();
  EXPECT_TRUE(result.ok()) << result.error().description;
  return result.ok() ? result.value() : std::string();
}

TEST(JsonWriter, WritesTheDocumentsByteForByte) {
  EXPECT_EQ(encodedOrFail(sampleConfig()), sampleDocument);
  EXPECT_EQ(encodedOrFail(AgentConfig(1, {}, {}, std::nullopt)), defaultDocument);
}

TEST(JsonWriter, WritesSeveralEntriesWithCommasAndTheVersionInDecimal) {
  AgentConfig config(-7, {"a", "b"},
                     {AgentConfig::Rule("snippet", "t1", "r1", false),
                      AgentConfig::Rule("transform", "t2", "r2", true)},
                     std::nullopt);
  EXPECT_EQ(encodedOrFail(config), R"({
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
  "version" : -7
})");
  config.version = std::numeric_limits<std::int64_t>::min();
  EXPECT_NE(encodedOrFail(config).find("\"version\" : -9223372036854775808\n}"), std::string::npos);
}

TEST(JsonWriter, EscapesExactlyQuoteBackslashAndControlCharacters) {
  struct Case {
    std::string text;
    std::string literal;
  };
  const Case cases[] = {
      {"say \"hi\"", R"("say \"hi\"")"},
      {"C:\\path", R"("C:\\path")"},
      {"and/or </b>", R"("and/or </b>")"},
      {"\b\f\n\r\t", R"("\b\f\n\r\t")"},
      {"\x01\x1f", R"("\u0001\u001f")"},
      {std::string("a\0b", 3), R"("a\u0000b")"},
      {"caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\xA6\x98 \x7F",
       "\"caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\xA6\x98 \x7F\""},
      {"", R"("")"},
  };
  for (const Case& c : cases) {
    const std::string json = encodedOrFail(AgentConfig(1, {}, {}, c.text));
    EXPECT_NE(json.find("\n  \"style\" : " + c.literal + ",\n"), std::string::npos)
        << "for " << c.literal << " got:\n"
        << json;
    // What is written must read back as the same text.
    auto decoded = AgentConfig::decoded(json);
    ASSERT_TRUE(decoded.ok()) << decoded.error().description;
    EXPECT_EQ(decoded.value().style, c.text);
  }
}

TEST(JsonWriter, WritesStyleOnlyWhenPresent) {
  EXPECT_EQ(encodedOrFail(AgentConfig(1, {}, {}, std::nullopt)).find("style"), std::string::npos);
  EXPECT_NE(encodedOrFail(AgentConfig(1, {}, {}, "")).find("  \"style\" : \"\",\n"),
            std::string::npos);
}

TEST(JsonWriter, SortsKeysReadInAnyOrderAndIsStable) {
  const std::string shuffled =
      R"({"version":1,"extra":[1,2],"style":"Keep my writing terse.","rules":[)"
      R"({"trigger":"brb","unknown":{},"enabled":true,"replacement":"be right back",)"
      R"("kind":"snippet"}],"dictionary":["Quokka"]})";
  auto first = AgentConfig::decoded(shuffled);
  ASSERT_TRUE(first.ok()) << first.error().description;
  const std::string once = encodedOrFail(first.value());
  EXPECT_EQ(once, sampleDocument);
  auto second = AgentConfig::decoded(once);
  ASSERT_TRUE(second.ok()) << second.error().description;
  EXPECT_EQ(encodedOrFail(second.value()), once);
}

TEST(JsonWriter, RefusesTextThatIsNotUtf8AndNamesTheField) {
  struct Case {
    void (*spoil)(AgentConfig&);
    const char* message;
  };
  const Case cases[] = {
      {[](AgentConfig& c) {
         c.dictionary = {"a", "b", "c\xFF"};
       },
       "dictionary[2] is not valid UTF-8"},
      {[](AgentConfig& c) { c.rules[0].kind = "\xC0\xAF"; }, "rules[0].kind is not valid UTF-8"},
      {[](AgentConfig& c) { c.rules[0].trigger = "\xED\xA0\x80"; },
       "rules[0].trigger is not valid UTF-8"},
      {[](AgentConfig& c) { c.rules[0].replacement = "x\xE2\x80"; },
       "rules[0].replacement is not valid UTF-8"},
      {[](AgentConfig& c) { c.style = "\x80"; }, "style is not valid UTF-8"},
  };
  for (const Case& c : cases) {
    AgentConfig config = sampleConfig();
    c.spoil(config);
    auto result = config.encoded();
    ASSERT_FALSE(result.ok()) << c.message;
    EXPECT_EQ(result.error().description, c.message);
  }
}

}  // namespace
}  // namespace ostrel
