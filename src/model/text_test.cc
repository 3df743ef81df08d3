// What the text conventions give. That the fast paths give exactly the
// general results is checked by fuzz/text_fuzzer.cc over its corpus.
#include "ostrel/text.h"

#include <gtest/gtest.h>

#include "text_unicode.h"

namespace ostrel::text {
namespace {

const std::string thumbsUp = "\U0001F44D\U0001F3FD", flagDe = "\U0001F1E9\U0001F1EA";
const std::string jamo = "\u1112\u1161\u11AB";  // one syllable as three letters

TEST(Text, TrimsLowerCasesNormalisesAndCounts) {
  // "=": stripped as trimmed, others as the text.
  // clang-format off
  const struct { std::string text, trimmed, stripped, key; std::size_t characters; } rows[] = {
      {"\t \u00A0\u1680\u2002\u200A\u202F\u205F\u3000a\u3000b \t", "a\u3000b", "=", "=", 14},
      {"\n\v\f\r\u0085\u2028\u2029a\r\n\u2029", "a", "\n\v\f\r\u0085\u2028\u2029a\r\n\u2029", "=",
       10},
      {"\u200B\uFEFF\u180Ex\u180E", "=", "=", "=", 5},  // not blanks
      {"\xC2 \xE2\x80", "=", "=", "\uFFFD \uFFFD", 3},  // ill-formed: never blank, one U+FFFD
      {"\u0130STANBUL \u212A", "=", "=", "i\u0307stanbul k", 10},
      {"\u039F\u03A3 \u03C2", "=", "=", "\u03BF\u03C3 \u03C2", 4},  // no final sigma, but kept
      {"e\u0301 \u212B " + jamo + " a\u0302\u0323", "=", "=", "\u00E9 \u00E5 \uD55C \u1EAD", 7},
      {"a\u0301\u0300 " + thumbsUp + "\U0001F468\u200D\U0001F469!", "=", "=",
       "\u00E1\u0300 " + thumbsUp + "\U0001F468\u200D\U0001F469!", 5},
  };  // clang-format on
  for (const auto& r : rows) {
    const std::string trimmedText = r.trimmed == "=" ? r.text : r.trimmed;
    EXPECT_EQ(trimmed(r.text), trimmedText) << testing::PrintToString(r.text);
    EXPECT_EQ(strippedOfSpaces(r.text), r.stripped == "=" ? trimmedText : r.stripped);
    EXPECT_EQ(Key::of(r.text).str(), r.key == "=" ? r.text : r.key);
    EXPECT_EQ(characterCount(r.text), r.characters);
  }
}

TEST(Text, RejectsAndReplacesIllFormedUtf8) {
  const std::pair<std::string, std::string> rows[] = {
      {"caf\u00E9 \U0010FFFF", "caf\u00E9 \U0010FFFF"},
      {"\xC0\x80|\xED\xA0\x80|\xF4\x90\x80\x80",
       "\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"a\xE2\x82|\xF0\x9F\x91z|\x80x", "a\uFFFD|\uFFFDz|\uFFFDx"},
  };
  for (const auto& [bytes, sanitized] : rows) {
    EXPECT_EQ(isValidUtf8(bytes), bytes == sanitized) << bytes;
    EXPECT_EQ(sanitizedUtf8(bytes), sanitized);
    EXPECT_EQ(nfc(bytes), nfc(sanitized));
  }
}

// ICU takes texts in pieces cut where no result can change.
TEST(Text, CuttingIntoPiecesChangesNoResult) {
  std::string text;
  for (int i = 0; i < 5; ++i)
    text += "ab\r\n" + thumbsUp + "e\u0301\u0323" + flagDe + jamo + " x\u212B";
  for (std::size_t piece = 10; piece <= 20; ++piece) {
    EXPECT_EQ(unicode::characterCount(text, piece), unicode::characterCount(text)) << piece;
    EXPECT_EQ(unicode::nfc(text, piece), unicode::nfc(text)) << piece;
    for (std::size_t n : {1u, 7u, 20u, 1000u})
      EXPECT_EQ(unicode::firstCharacters(text, n, piece), unicode::firstCharacters(text, n));
  }
  // A character longer than a piece is cut inside rather than looped over.
  std::string longCluster = "e";
  for (int i = 0; i < 20; ++i) longCluster += "\u0301";
  EXPECT_EQ(unicode::firstCharacters(longCluster, 100, 4), longCluster);
}

}  // namespace
}  // namespace ostrel::text
