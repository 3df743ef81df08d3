#include "ostrel/text.h"

#include <gtest/gtest.h>

#include <string>
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

TEST(Trimming, RemovesEveryMemberOfTheSetAtBothEndsOnly) {
  const struct {
    std::string w;
    bool isLineBreak;  // kept by strippedOfSpaces
  } members[] = {
      {"\t", false},     {"\n", true},      {"\v", true},      {"\f", true},
      {"\r", true},      {" ", false},       {"\u0085", true},  {"\u00A0", false},
      {"\u1680", false}, {"\u2000", false}, {"\u2001", false}, {"\u2002", false},
      {"\u2003", false}, {"\u2004", false}, {"\u2005", false}, {"\u2006", false},
      {"\u2007", false}, {"\u2008", false}, {"\u2009", false}, {"\u200A", false},
      {"\u2028", true},  {"\u2029", true},  {"\u202F", false}, {"\u205F", false},
      {"\u3000", false},
  };
  std::string allBlank;
  for (const auto& [w, isLineBreak] : members) {
    const std::string text = w + "a" + w + "b" + w;
    SCOPED_TRACE(testing::PrintToString(w));
    EXPECT_EQ(trimmed(text), "a" + w + "b");
    EXPECT_EQ(strippedOfSpaces(text), isLineBreak ? text : "a" + w + "b");
    allBlank += w;
  }
  EXPECT_EQ(trimmed(allBlank), "");
}

TEST(Trimming, KeepsWhatIsNotInTheSet) {
  const std::vector<std::string> kept = {
      "\u200Bx\u200B",  // zero width space
      "\uFEFFx\uFEFF",  // byte order mark
      "\u180Ex",        // no longer a space separator
      "\xC2",           // ill-formed: never white space
      "\xE2\x80",       // truncated U+2028
  };
  for (const std::string& s : kept) {
    EXPECT_EQ(trimmed(s), s);
    EXPECT_EQ(trimmed(" " + s + "\u3000"), s);
  }
  EXPECT_EQ(strippedOfSpaces("\t \u3000\n\u2028 "), "\n\u2028");
  EXPECT_EQ(strippedOfSpaces(" \t\u00A0"), "");
}

TEST(Lowercasing, AppliesTheFullMappingWithoutContext) {
  const struct {
    std::string input;
    std::string expected;
  } cases[] = {
      {"Hello, WORLD 42", "hello, world 42"},
      {"\u00C9COLE", "\u00E9cole"},
      {"\u0130STANBUL", "i\u0307stanbul"},
      {"\u039F\u0394\u039F\u03A3", "\u03BF\u03B4\u03BF\u03C3"},  // final too
      {"\u03A3\u0391\u03A3 \u03A3", "\u03C3\u03B1\u03C3 \u03C3"},
      {"\u03BF\u03B4\u03BF\u03C2", "\u03BF\u03B4\u03BF\u03C2"},  // ς stays
      {"\u1E9E", "\u00DF"},
      {"GR\u00D6SSE \u00C4RGER", "gr\u00F6sse \u00E4rger"},
      {"\u041F\u0420\u0418\u0412\u0415\u0422", "\u043F\u0440\u0438\u0432\u0435\u0442"},
      {"\u212A", "k"},  // Kelvin sign
      {"A\xFF" "B", "a\uFFFD" "b"},
  };
  for (const auto& c : cases) EXPECT_EQ(lowercased(c.input), c.expected) << c.input;
}

TEST(Normalization, ComparesCanonicalEquivalents) {
  const struct {
    std::string a;
    std::string b;
    bool equivalent;
  } cases[] = {
      {"\u00E9", "e\u0301", true},
      {"\uD55C", hanJamo, true},
      {"a\u0323\u0302", "a\u0302\u0323", true},   // marks of different classes
      {"a\u0301\u0300", "a\u0300\u0301", false},  // same class: order matters
      {"\u212B", "\u00C5", true},                 // Angstrom sign
      {"e", "\u00E9", false},
      {"abc", "abd", false},
      {"", "", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(equivalent(c.a, c.b), c.equivalent) << c.a << " / " << c.b;
    EXPECT_EQ(nfc(c.a) == nfc(c.b), c.equivalent) << c.a << " / " << c.b;
  }
  EXPECT_EQ(nfc("e\u0301 \u1100\u1161"), "\u00E9 \uAC00");
  EXPECT_EQ(nfc("a\u0302\u0323"), "\u1EAD");
}

TEST(Characters, CountsExtendedGraphemeClusters) {
  const struct {
    std::string text;
    std::size_t count;
  } cases[] = {
      {"", 0},
      {"plain", 5},
      {"a\r\nb", 3},
      {"\n\r", 2},
      {repeated("e\u0301", 100), 100},
      {thumbsUpMedium + "!", 2},
      {family, 1},
      {flagDe + flagFr, 2},
      {flagDe + "\U0001F1EB", 2},
      {hanJamo + "\uD55C", 2},
  };
  for (const auto& c : cases) EXPECT_EQ(characterCount(c.text), c.count) << c.text;
}

TEST(Characters, FirstCharactersNeverSplitsOne) {
  const struct {
    std::string text;
    std::size_t n;
    std::string expected;
  } cases[] = {
      {"e\u0301e\u0301", 1, "e\u0301"},
      {family + "x", 1, family},
      {"a\r\nb", 1, "a"},
      {"a\r\nb", 2, "a\r\n"},
      {flagDe + flagFr, 1, flagDe},
      {"abc", 10, "abc"},
      {"abc", 0, ""},
      {thumbsUpMedium, 5, thumbsUpMedium},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(firstCharacters(c.text, c.n), c.expected) << c.text << " " << c.n;
  }

  const std::string mixed = "x" + family + "e\u0301\r\n" + flagDe + hanJamo + "y";
  const std::size_t total = characterCount(mixed);
  ASSERT_EQ(total, 7u);
  for (std::size_t n = 0; n <= total + 1; ++n) {
    const std::string_view head = firstCharacters(mixed, n);
    const std::string_view tail = std::string_view(mixed).substr(head.size());
    EXPECT_EQ(characterCount(head), std::min(n, total)) << n;
    EXPECT_EQ(characterCount(head) + characterCount(tail), total) << n;
  }
}

TEST(Keys, MatchAcrossCaseAndCanonicalEquivalence) {
  const struct {
    std::string a;
    std::string b;
    bool equal;
  } cases[] = {
      {"Kubernetes", "KUBERNETES", true},
      {"Stra\u00DFe", "STRA\u1E9EE", true},
      {"CAF\u00C9", "cafe\u0301", true},
      {"\u212A", "k", true},
      {"\u039F\u0394\u039F\u03A3", "\u03BF\u03B4\u03BF\u03C2", false},
      {"resume", "r\u00E9sum\u00E9", false},
  };
  for (const auto& c : cases) {
    const Key a = Key::of(c.a);
    const Key b = Key::of(c.b);
    EXPECT_EQ(a == b, c.equal) << c.a << " / " << c.b;
    if (c.equal) {
      EXPECT_EQ(std::hash<Key>{}(a), std::hash<Key>{}(b));
    }
  }
  EXPECT_TRUE(Key::of("By the way (BTW)").contains(Key::of("btw")));
  EXPECT_TRUE(Key::of("Caf\u00E9 au lait").contains(Key::of("CAFE\u0301")));
  EXPECT_FALSE(Key::of("by the way").contains(Key::of("btw")));
}

TEST(Utf8, RejectsAndReplacesIllFormedSequences) {
  const struct {
    std::string bytes;
    std::string sanitized;  // empty when valid
  } cases[] = {
      {"", ""},
      {"caf\u00E9 \U0010FFFF", ""},
      {"\xC0\x80", "\uFFFD\uFFFD"},              // overlong
      {"\xE0\x80\x80", "\uFFFD\uFFFD\uFFFD"},    // overlong
      {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},    // surrogate
      {"\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"a\xE2\x82", "a\uFFFD"},                  // truncated
      {"\xF0\x9F\x91" "b", "\uFFFD" "b"},        // truncated
      {"\x80x", "\uFFFDx"},                      // stray continuation
      {"\xFF", "\uFFFD"},
  };
  for (const auto& c : cases) {
    const bool valid = c.sanitized.empty();
    EXPECT_EQ(isValidUtf8(c.bytes), valid) << testing::PrintToString(c.bytes);
    const std::string clean = sanitizedUtf8(c.bytes);
    EXPECT_EQ(clean, valid ? c.bytes : c.sanitized);
    // Every operation treats an ill-formed sequence as one U+FFFD.
    EXPECT_EQ(characterCount(c.bytes), characterCount(clean));
    EXPECT_EQ(lowercased(c.bytes), lowercased(clean));
    EXPECT_EQ(nfc(c.bytes), nfc(clean));
  }
}

// Inputs for the checks that run one text through several paths.
std::vector<std::string> variedInputs() {
  std::vector<std::string> inputs = {
      "",  " \t\r\n ", "a\r\n\r\nb", "\r\r\n\n", "\x7F\x01x\x1F",
      "  Mixed CASE, digits 0-9 and punctuation: {}[]!  ",
      "\u00A0\u00C9t\u00E9\u2028", "\u039F\u0394\u039F\u03A3 \u0130",
      "e\u0301\u0323" + family + flagDe + flagFr + hanJamo,
      "\r\n" + thumbsUpMedium + "\r", "a\u0302\u0323\u1E9E\u3000",
  };
  // Every ASCII text of one and two characters.
  for (int a = 0; a < 128; ++a) {
    inputs.push_back(std::string(1, static_cast<char>(a)));
    for (int b = 0; b < 128; ++b) {
      inputs.push_back({static_cast<char>(a), static_cast<char>(b)});
    }
  }
  return inputs;
}

TEST(FastPaths, GiveExactlyTheGeneralResults) {
  for (const std::string& s : variedInputs()) {
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
      "ab\r\n" + thumbsUpMedium + "e\u0301\u0323" + flagDe + hanJamo + "\uD55C", 5);
  const std::string decomposed = repeated("a\u0302\u0323 e\u0301x\u212B", 6);
  for (std::size_t piece = 10; piece <= 20; ++piece) {
    SCOPED_TRACE(piece);
    EXPECT_EQ(unicode::characterCount(text, piece), unicode::characterCount(text));
    for (std::size_t n : {1u, 7u, 20u, 1000u}) {
      EXPECT_EQ(unicode::firstCharacters(text, n, piece),
                unicode::firstCharacters(text, n));
    }
    EXPECT_EQ(unicode::nfc(decomposed, piece), unicode::nfc(decomposed));
  }
  // One character longer than a piece is cut inside rather than looping.
  const std::string longCluster = "e" + repeated("\u0301", 20);
  EXPECT_EQ(unicode::firstCharacters(longCluster, 100, 4), longCluster);
}

}  // namespace
}  // namespace ostrel::text
