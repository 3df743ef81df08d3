#include "ostrel/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "text_unicode.h"

namespace ostrel::text {
namespace {

std::string repeated(const std::string& s, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += s;
  return out;
}

const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466";
const std::string thumbsUpMedium = "\U0001F44D\U0001F3FD";
const std::string flagDe = "\U0001F1E9\U0001F1EA";
const std::string flagFr = "\U0001F1EB\U0001F1F7";
const std::string hanJamo = "\u1112\u1161\u11AB";  // one syllable as jamo

TEST(Trimming, RemovesTheSetAtBothEndsOnly) {
  // `trims`: trimmed() removes the characters at the ends; `strips`: so does
  // strippedOfSpaces(), which keeps line breaks. The run of blanks stands for each of them.
  const std::string blanks =  // the tab and every space separator (Zs)
      "\t \u00A0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007\u2008\u2009\u200A\u202F"
      "\u205F\u3000";
  const struct {
    std::string w;
    bool trims;
    bool strips;
  } cases[] = {
      {blanks, true, true},       {"\n", true, false},      {"\v", true, false},
      {"\f", true, false},        {"\r", true, false},      {"\u0085", true, false},
      {"\u2028", true, false},    {"\u2029", true, false},  {"\u200B", false, false},
      {"\uFEFF", false, false},   {"\u180E", false, false},  // no longer a space separator
      {"\xC2", false, false},                                // ill-formed: never white space
      {"\xE2\x80", false, false},                            // truncated U+2028
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.w));
    const std::string text = c.w + "a" + c.w + "b" + c.w;
    const std::string inner = "a" + c.w + "b";
    EXPECT_EQ(trimmed(text), c.trims ? inner : text);
    EXPECT_EQ(strippedOfSpaces(text), c.strips ? inner : text);
    EXPECT_EQ(trimmed(c.w), c.trims ? "" : c.w);
  }
}

TEST(Lowercasing, AppliesTheFullMappingWithoutContext) {
  const std::pair<std::string, std::string> cases[] = {
      {"\u0130STANBUL", "i\u0307stanbul"},
      {"\u039F\u0394\u039F\u03A3 \u03A3\u0391\u03A3",
       "\u03BF\u03B4\u03BF\u03C3 \u03C3\u03B1\u03C3"},
      {"\u03BF\u03B4\u03BF\u03C2", "\u03BF\u03B4\u03BF\u03C2"},  // a final sigma stays
      {"\u212A", "k"},                                           // Kelvin sign
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(lowercased(input), expected) << input;
}

TEST(Equivalence, TextsAndKeysMatchAsTheConventionsSay) {
  const struct {
    std::string a;
    std::string b;
    bool equivalent;
    bool sameKey;  // also across case
  } cases[] = {
      {"\u00E9", "e\u0301", true, true},
      {"\uD55C", hanJamo, true, true},
      {"a\u0323\u0302", "a\u0302\u0323", true, true},    // marks of different classes
      {"a\u0301\u0300", "a\u0300\u0301", false, false},  // same class: order matters
      {"\u212B", "\u00C5", true, true},                  // Angstrom sign
      {"e", "\u00E9", false, false},
      {"Stra\u00DFe", "STRA\u1E9EE", false, true},
      {"\u039F\u0394\u039F\u03A3", "\u03BF\u03B4\u03BF\u03C2", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.a + " / " + c.b);
    EXPECT_EQ(equivalent(c.a, c.b), c.equivalent);
    EXPECT_EQ(Key::of(c.a) == Key::of(c.b), c.sameKey);
  }
  EXPECT_EQ(nfc("e\u0301 \u1100\u1161 a\u0302\u0323"), "\u00E9 \uAC00 \u1EAD");
}

TEST(Characters, CountsGraphemeClustersAndNeverSplitsOne) {
  const std::pair<std::string, std::size_t> cases[] = {
      {"", 0},
      {"a\r\nb", 3},
      {thumbsUpMedium + "!", 2},
      {family + "x", 2},
      {flagDe + flagFr + "\U0001F1EB", 3},
      {hanJamo + "\uD55C", 2},
      {"x" + family + "e\u0301\r\n" + flagDe + hanJamo + "y", 7},
  };
  for (const auto& [text, count] : cases) {
    SCOPED_TRACE(testing::PrintToString(text));
    EXPECT_EQ(characterCount(text), count);
    // A prefix of whole characters leaves the others whole in the rest.
    for (std::size_t n = 0; n <= count + 1; ++n) {
      const std::string_view head = firstCharacters(text, n);
      const std::string_view tail = std::string_view(text).substr(head.size());
      EXPECT_EQ(characterCount(head), std::min(n, count)) << n;
      EXPECT_EQ(characterCount(head) + characterCount(tail), count) << n;
    }
  }
}

TEST(Utf8, RejectsAndReplacesIllFormedSequences) {
  // Each with its sanitized form, or "" when valid.
  const std::pair<std::string, std::string> cases[] = {
      {"caf\u00E9 \U0010FFFF", ""},
      {"\xC0\x80", "\uFFFD\uFFFD"},                      // overlong
      {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},            // surrogate
      {"\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"a\xE2\x82", "a\uFFFD"},                          // truncated
      {"\xF0\x9F\x91z", "\uFFFDz"},                      // truncated
      {"\x80x", "\uFFFDx"},                              // stray continuation
  };
  for (const auto& [bytes, sanitized] : cases) {
    SCOPED_TRACE(testing::PrintToString(bytes));
    EXPECT_EQ(isValidUtf8(bytes), sanitized.empty());
    const std::string clean = sanitizedUtf8(bytes);
    EXPECT_EQ(clean, sanitized.empty() ? bytes : sanitized);
    // Every operation treats an ill-formed sequence as one U+FFFD.
    EXPECT_EQ(characterCount(bytes), characterCount(clean));
    EXPECT_EQ(lowercased(bytes), lowercased(clean));
    EXPECT_EQ(nfc(bytes), nfc(clean));
  }
}

TEST(FastPaths, GiveExactlyTheGeneralResults) {
  // ASCII next to characters that join it or not, where the fast paths hand
  // only the stretch around them to ICU.
  std::vector<std::string> inputs = {
      "a\r\n\u0301b\r",
      "\u0600\r\n",
      "\r\u0301\n",
      "ab" + flagDe + flagFr + "\U0001F1E9cd\U0001F1EB",
      "a\u200D" + thumbsUpMedium + "b",
      "\r\n" + thumbsUpMedium + "\r",
      "\r\n\r" + family + "\n\r\n",
  };
  // Every ASCII text of one and two characters; every ASCII character around a
  // combining mark and after a prefix that joins the character following it.
  for (int a = 0; a < 128; ++a) {
    const std::string c(1, static_cast<char>(a));
    inputs.push_back(c);
    inputs.push_back(c + "\u0301" + c + c);
    inputs.push_back(c + c + "\u0600" + c + c);
    for (int b = 0; b < 128; ++b) inputs.push_back(c + static_cast<char>(b));
  }
  for (const std::string& s : inputs) {
    SCOPED_TRACE(testing::PrintToString(s));
    EXPECT_EQ(trimmed(s), unicode::trimmed(s));
    EXPECT_EQ(strippedOfSpaces(s), unicode::strippedOfSpaces(s));
    EXPECT_EQ(lowercased(s), unicode::lowercased(s));
    EXPECT_EQ(nfc(s), unicode::nfc(s));
    EXPECT_EQ(characterCount(s), unicode::characterCount(s));
    for (std::size_t n = 0; n <= s.size() + 1; ++n) {
      EXPECT_EQ(firstCharacters(s, n), unicode::firstCharacters(s, n)) << n;
    }
  }
}

TEST(LongTexts, CuttingIntoPiecesChangesNoResult) {
  const std::string text = repeated(
      "ab\r\n" + thumbsUpMedium + "e\u0301\u0323" + flagDe + hanJamo + "a\u0302\u0323 x\u212B", 5);
  for (std::size_t piece = 10; piece <= 20; ++piece) {
    SCOPED_TRACE(piece);
    EXPECT_EQ(unicode::characterCount(text, piece), unicode::characterCount(text));
    EXPECT_EQ(unicode::nfc(text, piece), unicode::nfc(text));
    for (std::size_t n : {1u, 7u, 20u, 1000u}) {
      EXPECT_EQ(unicode::firstCharacters(text, n, piece), unicode::firstCharacters(text, n));
    }
  }
  // One character longer than a piece is cut inside rather than looping.
  const std::string longCluster = "e" + repeated("\u0301", 20);
  EXPECT_EQ(unicode::firstCharacters(longCluster, 100, 4), longCluster);
}

}  // namespace
}  // namespace ostrel::text
