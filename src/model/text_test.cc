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
  // `trims`: trimmed() removes the character at the ends; `strips`: so does
  // strippedOfSpaces(), which keeps line breaks.
  const struct {
    std::string w;
    bool trims;
    bool strips;
  } cases[] = {
      {"\t", true, true},         {" ", true, true},        {"\u00A0", true, true},
      {"\u1680", true, true},     {"\u2000", true, true},   {"\u2001", true, true},
      {"\u2002", true, true},     {"\u2003", true, true},   {"\u2004", true, true},
      {"\u2005", true, true},     {"\u2006", true, true},   {"\u2007", true, true},
      {"\u2008", true, true},     {"\u2009", true, true},   {"\u200A", true, true},
      {"\u202F", true, true},     {"\u205F", true, true},   {"\u3000", true, true},
      {"\n", true, false},        {"\v", true, false},      {"\f", true, false},
      {"\r", true, false},        {"\u0085", true, false},  {"\u2028", true, false},
      {"\u2029", true, false},    {"\u200B", false, false}, {"\uFEFF", false, false},
      {"\u180E", false, false},    // no longer a space separator
      {"\xC2", false, false},      // ill-formed: never white space
      {"\xE2\x80", false, false},  // truncated U+2028
  };
  std::string allBlank;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.w));
    const std::string text = c.w + "a" + c.w + "b" + c.w;
    const std::string inner = "a" + c.w + "b";
    EXPECT_EQ(trimmed(text), c.trims ? inner : text);
    EXPECT_EQ(strippedOfSpaces(text), c.strips ? inner : text);
    if (c.trims) allBlank += c.w;
  }
  EXPECT_EQ(trimmed(allBlank), "");
  EXPECT_EQ(strippedOfSpaces(" \t\u00A0\u3000"), "");
}

TEST(Lowercasing, AppliesTheFullMappingWithoutContext) {
  const std::pair<std::string, std::string> cases[] = {
      {"Hello, WORLD 42", "hello, world 42"},
      {"\u0130STANBUL", "i\u0307stanbul"},
      {"\u039F\u0394\u039F\u03A3 \u03A3\u0391\u03A3",
       "\u03BF\u03B4\u03BF\u03C3 \u03C3\u03B1\u03C3"},
      {"\u03BF\u03B4\u03BF\u03C2", "\u03BF\u03B4\u03BF\u03C2"},  // a final sigma stays
      {"\u00C9COLE GR\u00D6SSE \u1E9E \u041F\u0420\u0418",
       "\u00E9cole gr\u00F6sse \u00DF \u043F\u0440\u0438"},
      {"\u212A", "k"},  // Kelvin sign
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
      {"Kubernetes", "KUBERNETES", false, true},
      {"Stra\u00DFe", "STRA\u1E9EE", false, true},
      {"CAF\u00C9", "cafe\u0301", false, true},
      {"\u212A", "k", false, true},
      {"\u039F\u0394\u039F\u03A3", "\u03BF\u03B4\u03BF\u03C2", false, false},
      {"resume", "r\u00E9sum\u00E9", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.a + " / " + c.b);
    EXPECT_EQ(equivalent(c.a, c.b), c.equivalent);
    EXPECT_EQ(nfc(c.a) == nfc(c.b), c.equivalent);
    EXPECT_EQ(Key::of(c.a) == Key::of(c.b), c.sameKey);
    if (c.sameKey) {
      EXPECT_EQ(std::hash<Key>{}(Key::of(c.a)), std::hash<Key>{}(Key::of(c.b)));
    }
  }
  EXPECT_EQ(nfc("e\u0301 \u1100\u1161 a\u0302\u0323"), "\u00E9 \uAC00 \u1EAD");
  EXPECT_TRUE(Key::of("By the way (BTW)").contains(Key::of("btw")));
  EXPECT_TRUE(Key::of("Caf\u00E9 au lait").contains(Key::of("CAFE\u0301")));
  EXPECT_FALSE(Key::of("by the way").contains(Key::of("btw")));
}

TEST(Characters, CountsGraphemeClustersAndNeverSplitsOne) {
  const std::pair<std::string, std::size_t> cases[] = {
      {"", 0},
      {"plain", 5},
      {"a\r\nb", 3},
      {"\n\r", 2},
      {repeated("e\u0301", 100), 100},
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
      {"", ""},
      {"caf\u00E9 \U0010FFFF", ""},
      {"\xC0\x80", "\uFFFD\uFFFD"},                      // overlong
      {"\xE0\x80\x80", "\uFFFD\uFFFD\uFFFD"},            // overlong
      {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},            // surrogate
      {"\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"a\xE2\x82", "a\uFFFD"},                          // truncated
      {"\xF0\x9F\x91z", "\uFFFDz"},                      // truncated
      {"\x80x", "\uFFFDx"},                              // stray continuation
      {"\xFF", "\uFFFD"},
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
  std::vector<std::string> inputs = {
      " \t\r\n ",
      "a\r\n\r\nb",
      "\r\r\n\n",
      "\x7F\x01x\x1F",
      "  Mixed CASE, digits 0-9 and punctuation: {}[]!  ",
      "\u00A0\u00C9t\u00E9\u2028",
      "\u039F\u0394\u039F\u03A3 \u0130",
      "e\u0301\u0323" + family + flagDe + flagFr + hanJamo,
      "\r\n" + thumbsUpMedium + "\r",
      "a\u0302\u0323\u1E9E\u3000",
      // ASCII next to characters that join it or not, where the fast paths
      // hand only the stretch around them to ICU.
      "ab\u0301cd",
      "a\r\n\u0301b\r",
      "x\u0600ab",
      "\u0600\r\n",
      "\r\u0301\n",
      "ab" + flagDe + flagFr + "\U0001F1E9cd\U0001F1EB",
      "a\u200D" + thumbsUpMedium + "b",
      "ab\xC3(cd\xE2\x82 \x80\x80"
      "ef\xF0\x9F",
      "q\u0915\u094D\u0937x \u0915\u094D",
      "A\u0130B\u03A3c Stra\u00DFE",
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
