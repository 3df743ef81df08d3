// What the text conventions give. That the fast paths give exactly the
// general results is checked by fuzz/text_fuzzer.cc over its corpus.
#include "ostrel/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <sstream>
#include <vector>

#include "test_support.h"
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
    EXPECT_EQ(trimmed(r.text), trimmedText) << ::testing::PrintToString(r.text);
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

// The Unicode Character Database as Debian's unicode-data installs it (or
// where OSTREL_UNICODE_DATA says), replayed through the public functions.

// The lines of a data file without comments and blank lines, decompressed
// where only NAME.bz2 is installed; none when the file is missing.
std::vector<std::string> dataLines(const std::string& name) {
  const char* folder = std::getenv("OSTREL_UNICODE_DATA");
  const std::string path = std::string(folder ? folder : "/usr/share/unicode") + "/" + name;
  std::string text;
  if (std::FILE* plain = std::fopen(path.c_str(), "r")) {
    std::fclose(plain);
    text = testing::readFile(path);
  } else if (std::FILE* packed = std::fopen((path + ".bz2").c_str(), "r")) {
    std::fclose(packed);
    std::FILE* pipe = ::popen(("bzip2 -dc '" + path + ".bz2'").c_str(), "r");
    char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      text.append(buffer, n);
    if (::pclose(pipe) != 0) ADD_FAILURE() << "bzip2 -dc " << path << ".bz2 failed";
  }
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    line.erase(std::min(line.find('#'), line.size()));
    if (line.find_first_not_of(' ') != std::string::npos) lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, ';');) out.push_back(field);
  return out;
}

std::string utf8(std::uint32_t c) {
  if (c < 0x80) return std::string(1, static_cast<char>(c));
  const int length = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  std::string out(static_cast<std::size_t>(length), '\0');
  for (int i = length - 1; i > 0; --i, c >>= 6) out[i] = static_cast<char>(0x80 | (c & 0x3F));
  out[0] = static_cast<char>((0xF00 >> length) | c);  // 110xxxxx, 1110xxxx or 11110xxx
  return out;
}

// Code points written in hex, as the data files write them: "0044 0307".
std::string fromHex(const std::string& codePoints) {
  std::string out;
  std::istringstream in(codePoints);
  for (std::uint32_t c; in >> std::hex >> c;) out += utf8(c);
  return out;
}

bool isSurrogate(std::uint32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Counts the lines of one replay and reports the first few that fail.
class Replay {
 public:
  explicit Replay(std::string what) : what_(std::move(what)) {}
  ~Replay() {
    std::cout << what_ << ": " << lines_ << " lines, " << failed_ << " failed\n";
    EXPECT_GT(lines_, 0) << what_;
    if (failed_ > 0) ADD_FAILURE() << what_ << ": " << failed_ << " of " << lines_ << " fail";
  }
  void line(const std::string& line, bool holds) {
    ++lines_;
    if (!holds && ++failed_ <= 10) ADD_FAILURE() << what_ << ": " << line;
  }

 private:
  std::string what_;
  int lines_ = 0, failed_ = 0;
};

std::string codePointName(std::uint32_t c) {
  char name[16];
  std::snprintf(name, sizeof name, "U+%04X", c);
  return name;
}

TEST(UnicodeData, NormalizationTestNfc) {
  const auto lines = dataLines("NormalizationTest.txt");
  if (lines.empty()) GTEST_SKIP() << "no NormalizationTest.txt (Debian: unicode-data)";
  std::vector<bool> listed(0x110000);
  {
    Replay replay("NormalizationTest.txt");
    bool inPart1 = false;
    for (const std::string& line : lines) {
      if (line[0] == '@') {
        inPart1 = line.starts_with("@Part1");
        continue;
      }
      std::vector<std::string> c = fields(line);
      for (auto& column : c) column = fromHex(column);
      if (inPart1) listed[std::stoul(line, nullptr, 16)] = true;
      // NFC gives column 2 for columns 1 to 3, and column 4 for columns 4 and 5.
      replay.line(line, c.size() >= 5 && nfc(c[0]) == c[1] && nfc(c[1]) == c[1] &&
                            nfc(c[2]) == c[1] && nfc(c[3]) == c[3] && nfc(c[4]) == c[3]);
    }
  }
  Replay others("NormalizationTest.txt, code points outside Part 1 (their own NFC)");
  for (std::uint32_t c = 0; c < 0x110000; ++c) {
    if (!listed[c] && !isSurrogate(c)) others.line(codePointName(c), nfc(utf8(c)) == utf8(c));
  }
}

TEST(UnicodeData, GraphemeBreakTest) {
  const auto lines = dataLines("auxiliary/GraphemeBreakTest.txt");
  if (lines.empty()) GTEST_SKIP() << "no GraphemeBreakTest.txt (Debian: unicode-data)";
  Replay replay("GraphemeBreakTest.txt");
  for (const std::string& line : lines) {
    std::string text;
    std::vector<std::size_t> ends;  // of each character
    std::istringstream words(line);
    for (std::string word; words >> word;) {
      if (word == "\u00F7") {  // a break
        if (!text.empty()) ends.push_back(text.size());
      } else if (word != "\u00D7") {  // not "no break"
        text += fromHex(word);
      }
    }
    bool holds = characterCount(text) == ends.size() && firstCharacters(text, 0).empty();
    for (std::size_t n = 1; n <= ends.size(); ++n) {
      holds = holds && firstCharacters(text, n).size() == ends[n - 1];
    }
    replay.line(line, holds);
  }
}

// The full lower-case mapping: SpecialCasing.txt's unconditional mappings,
// else UnicodeData.txt's simple one. Mappings with a condition (a context or
// a language) are not applied. White space: the separators Zs, Zl and Zp of
// UnicodeData.txt, and the controls that text.h names.
TEST(UnicodeData, LowerCaseAndWhiteSpaceOfEveryCodePoint) {
  const auto data = dataLines("UnicodeData.txt"), special = dataLines("SpecialCasing.txt");
  if (data.empty() || special.empty()) GTEST_SKIP() << "no UnicodeData.txt (Debian: unicode-data)";
  std::map<std::uint32_t, std::string> lower;
  std::vector<char> separator(0x110000);  // 's', 'l' or 'p' for Zs, Zl and Zp
  std::uint32_t rangeStart = 0;
  for (const std::string& line : data) {
    const auto f = fields(line);
    ASSERT_GE(f.size(), 14u) << line;
    const std::uint32_t c = std::stoul(f[0], nullptr, 16);
    if (f[1].ends_with(", First>")) rangeStart = c;
    const std::uint32_t first = f[1].ends_with(", Last>") ? rangeStart : c;
    for (std::uint32_t member = first; member <= c; ++member) {
      separator[member] = f[2][0] == 'Z' ? f[2][1] : 0;
    }
    if (!f[13].empty()) lower[c] = fromHex(f[13]);
  }
  for (const std::string& line : special) {
    const auto f = fields(line);
    if (f.size() == 5 && f[4].find_first_not_of(' ') == std::string::npos) {
      lower[std::stoul(f[0], nullptr, 16)] = fromHex(f[1]);
    }
  }
  Replay replay("UnicodeData.txt and SpecialCasing.txt, every code point");
  for (std::uint32_t c = 0; c < 0x110000; ++c) {
    if (isSurrogate(c)) continue;
    const std::string u = utf8(c), framed = u + "x" + u;
    const auto mapped = lower.find(c);
    const bool blank = (c >= 0x09 && c <= 0x0D) || c == 0x85 || separator[c] != 0;
    const bool space = c == 0x09 || separator[c] == 's';
    replay.line(codePointName(c),
                lowercased("A" + u) == "a" + (mapped == lower.end() ? u : mapped->second) &&
                    trimmed(framed) == (blank ? "x" : framed) &&
                    strippedOfSpaces(framed) == (space ? "x" : framed));
  }
}

}  // namespace
}  // namespace ostrel::text
