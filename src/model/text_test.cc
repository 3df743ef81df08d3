// What the text conventions give, on ill-formed UTF-8 and on Unicode's own
// conformance data. That the fast paths give exactly the general results is
// checked by fuzz/text_fuzzer.cc over its corpus.
#include "ostrel/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <vector>

namespace ostrel::text {
namespace {

// An ill-formed sequence is one U+FFFD character, and never white space.
TEST(Text, RejectsAndReplacesIllFormedUtf8) {
  const struct {
    std::string bytes, sanitized;
    std::size_t characters;
  } rows[] = {
      {"caf\u00E9 \U0010FFFF", "caf\u00E9 \U0010FFFF", 6},
      {"\xC0\x80|\xED\xA0\x80|\xF4\x90\x80\x80",
       "\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD\uFFFD", 11},
      {"a\xE2\x82|\xF0\x9F\x91z|\x80x", "a\uFFFD|\uFFFDz|\uFFFDx", 8},
      {"\xC2 \xE2\x80", "\uFFFD \uFFFD", 3},
  };
  for (const auto& [bytes, sanitized, characters] : rows) {
    EXPECT_EQ(isValidUtf8(bytes), bytes == sanitized) << testing::PrintToString(bytes);
    EXPECT_EQ(sanitizedUtf8(bytes), sanitized);
    EXPECT_EQ(Key::of(bytes), Key::of(sanitized));
    EXPECT_EQ(characterCount(bytes), characters);
    EXPECT_EQ(trimmed(bytes), bytes);
  }
}

std::string utf8(std::uint32_t c) {
  if (c < 0x80) return std::string(1, static_cast<char>(c));
  const int n = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  std::string out(n, static_cast<char>(0xF00 >> n | c >> 6 * (n - 1)));  // 110xxxxx...
  for (int i = 1; i < n; ++i) out[i] = static_cast<char>(0x80 | (c >> 6 * (n - 1 - i) & 0x3F));
  return out;
}

// The lines of a file of Unicode's data as Debian's unicode-data installs it
// (decompressed where only NAME.bz2 is there), without comments, as `sed`
// leaves them; none when it is missing.
std::vector<std::string> dataLines(const std::string& name, const std::string& sed = "") {
  const std::string path = "/usr/share/unicode/" + name;
  std::FILE* in = ::popen(("(cat '" + path + "' || bzip2 -dc '" + path + ".bz2') 2>/dev/null" +
                           " | sed 's/#.*//; /^[[:space:]]*$/d; " + sed + "'")
                              .c_str(),
                          "r");
  std::vector<std::string> lines;
  for (char line[4096]; std::fgets(line, sizeof line, in);)
    lines.emplace_back(line, std::strcspn(line, "\n"));
  ::pclose(in);
  return lines;
}

// The fields of a line; with `asText`, each a text written as code points
// in hex ("0044 0307").
std::vector<std::string> fields(const std::string& line, bool asText = false) {
  std::vector<std::string> out;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, ';'); out.push_back(field)) {
    std::istringstream hex(field);
    if (asText) field.clear();
    for (std::uint32_t c; asText && hex >> std::hex >> c;) field += utf8(c);
  }
  return out;
}

TEST(Text, ReplaysUnicodeConformanceData) {
  const auto normalization = dataLines("NormalizationTest.txt"),
             data = dataLines("UnicodeData.txt"), special = dataLines("SpecialCasing.txt"),
             breaks = dataLines("auxiliary/GraphemeBreakTest.txt", "s/\u00D7//g; s/\u00F7/;/g");
  if (normalization.empty() || data.empty() || special.empty() || breaks.empty())
    GTEST_SKIP() << "no Unicode data in /usr/share/unicode (Debian: unicode-data, bzip2)";
  int failed = 0;  // only the first few are reported
  const auto check = [&failed](bool holds, const auto& what) {
    if (!holds && ++failed <= 10) ADD_FAILURE() << std::hex << what;
  };
  std::vector<bool> listed(0x110000);  // in Part 1, the only code points NFC changes
  for (bool part1 = false; const std::string& line : normalization) {
    if (line[0] == '@') part1 = line.starts_with("@Part1");
    if (line[0] == '@') continue;
    if (part1) listed[std::stoul(line, nullptr, 16)] = true;
    const auto c = fields(line, true);  // NFC: columns 1-3 give 2, columns 4-5 give 4
    check(nfc(c.at(4)) == c[3] && nfc(c[3]) == c[3] && nfc(c[0]) == c[1] && nfc(c[1]) == c[1] &&
              nfc(c[2]) == c[1],
          line);
  }
  for (const std::string& line : breaks) {  // characters between ';' (breaks)
    std::string text;
    for (const std::string& character : fields(line, true)) text += character;
    std::size_t n = 0, end = 0;
    bool holds = true;
    for (const std::string& character : fields(line, true)) {
      if (!character.empty())
        holds = holds && firstCharacters(text, ++n).size() == (end += character.size());
    }
    check(holds && characterCount(text) == n, line);
  }
  // The full lower-case mapping: SpecialCasing.txt's unconditional one (no
  // context or language in a fifth field), else UnicodeData.txt's simple one.
  std::map<std::uint32_t, std::string> lower;
  std::vector<char> separator(0x110000);  // 's', 'l' or 'p' for Zs, Zl and Zp
  for (std::uint32_t previous = 0; const std::string& line : data) {
    const auto f = fields(line);
    const std::uint32_t c = std::stoul(f[0], nullptr, 16);
    if (!f.at(13).empty()) lower[c] = fields(f[13], true)[0];
    for (auto i = f[1].ends_with("Last>") ? previous + 1 : c; i <= c; ++i)  // a range
      separator[i] = f[2][0] == 'Z' ? f[2][1] : 0;
    previous = c;
  }
  for (const std::string& line : special) {
    if (const auto f = fields(line);
        f.size() == 5 && f[4].find_first_not_of(' ') == std::string::npos)
      lower[std::stoul(f[0], nullptr, 16)] = fields(f[1], true)[0];
  }
  for (std::uint32_t c = 0; c < 0x110000; c += c == 0xD7FF ? 0x801 : 1) {  // no surrogates
    const std::string u = utf8(c), framed = u + u + "x" + u + "x" + u + u;
    const bool blank = (c >= 0x09 && c <= 0x0D) || c == 0x85 || separator[c] != 0;
    const bool space = c == 0x09 || separator[c] == 's';
    check(lowercased("A" + u) == "a" + (lower.contains(c) ? lower[c] : u) &&
              trimmed(framed) == (blank ? "x" + u + "x" : framed) &&
              strippedOfSpaces(framed) == (space ? "x" + u + "x" : framed) &&
              (listed[c] || nfc(u) == u),
          c);
  }
  EXPECT_EQ(failed, 0);
}

}  // namespace
}  // namespace ostrel::text
