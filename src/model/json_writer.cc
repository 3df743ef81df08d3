// AgentConfig::encoded(): writes the JSON document by hand, in the settings
// file's fixed layout: two-space indent, sorted keys, " : " between key and
// value, "/" and non-ASCII text left as they are, and no line break after the
// final "}".

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "ostrel/agent_config.h"
#include "ostrel/text.h"

namespace ostrel {
namespace {

// True for the bytes that a JSON string literal cannot hold as they are.
constexpr std::array<bool, 256> needsEscapeTable() {
  std::array<bool, 256> table{};
  for (int byte = 0; byte < 0x20; ++byte) table[byte] = true;
  table['"'] = true;
  table['\\'] = true;
  return table;
}
constexpr std::array<bool, 256> needsEscape = needsEscapeTable();

// True when none of the 8 bytes from `p` needs an escape, tested on the
// whole word at once: (v - 0x01..) & ~v & 0x80.. is non-zero exactly when
// some byte of v is below 0x01 (the same with 0x20 finds bytes below 0x20),
// and v ^ 0x22.. has a zero byte exactly where v holds '"'.
bool noEscapeInWord(const char* p) {
  constexpr std::uint64_t ones = 0x0101010101010101;
  constexpr std::uint64_t highBits = 0x8080808080808080;
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  auto hasByteBelow = [&](std::uint64_t v, std::uint64_t limit) {
    return ((v - ones * limit) & ~v & highBits) != 0;
  };
  return !hasByteBelow(word, 0x20) && !hasByteBelow(word ^ (ones * '"'), 1) &&
         !hasByteBelow(word ^ (ones * '\\'), 1);
}

// Appends `s` as a JSON string literal. Runs of bytes that need no escape
// are copied in one go, found eight bytes at a time; the files can reach a
// megabyte.
void appendQuoted(std::string& out, std::string_view s) {
  static constexpr char hexDigits[] = "0123456789abcdef";
  out.push_back('"');
  std::size_t runStart = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    while (i + 8 <= s.size() && noEscapeInWord(s.data() + i)) i += 8;
    if (i == s.size()) break;
    const auto byte = static_cast<unsigned char>(s[i]);
    if (!needsEscape[byte]) continue;
    out.append(s.data() + runStart, i - runStart);
    runStart = i + 1;
    switch (byte) {
      case '"':
        out.append("\\\"");
        break;
      case '\\':
        out.append("\\\\");
        break;
      case '\b':
        out.append("\\b");
        break;
      case '\f':
        out.append("\\f");
        break;
      case '\n':
        out.append("\\n");
        break;
      case '\r':
        out.append("\\r");
        break;
      case '\t':
        out.append("\\t");
        break;
      default: {
        const char escape[] = {'\\', 'u', '0', '0', hexDigits[byte >> 4], hexDigits[byte & 0xF]};
        out.append(escape, sizeof escape);
      }
    }
  }
  out.append(s.data() + runStart, s.size() - runStart);
  out.push_back('"');
}

// Appends `"key" : ` after the indent.
void appendKey(std::string& out, std::string_view indent, std::string_view key) {
  out.append(indent);
  out.push_back('"');
  out.append(key);
  out.append("\" : ");
}

void appendInteger(std::string& out, std::int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

// A generous guess of the document's size, so that one allocation suffices
// unless the texts are full of characters that need escapes.
std::size_t estimatedSize(const AgentConfig& config) {
  std::size_t size = 128;
  for (const auto& term : config.dictionary) size += term.size() + 8;
  for (const auto& rule : config.rules) {
    size += rule.kind.size() + rule.trigger.size() + rule.replacement.size() + 128;
  }
  if (config.style) size += config.style->size() + 16;
  return size + size / 16;
}

// The first text field of `rule` that is not valid UTF-8, or null.
const char* invalidField(const AgentConfig::Rule& rule) {
  if (!text::isValidUtf8(rule.kind)) return "kind";
  if (!text::isValidUtf8(rule.trigger)) return "trigger";
  if (!text::isValidUtf8(rule.replacement)) return "replacement";
  return nullptr;
}

Error notUtf8(std::string field) { return Error{std::move(field) + " is not valid UTF-8"}; }

}  // namespace

Expected<std::string> AgentConfig::encoded() const {
  std::string out;
  out.reserve(estimatedSize(*this));
  out.append("{\n");

  appendKey(out, "  ", "dictionary");
  if (dictionary.empty()) {
    out.append("[\n\n  ],\n");
  } else {
    out.append("[\n");
    for (std::size_t i = 0; i < dictionary.size(); ++i) {
      if (!text::isValidUtf8(dictionary[i])) {
        return notUtf8("dictionary[" + std::to_string(i) + "]");
      }
      out.append("    ");
      appendQuoted(out, dictionary[i]);
      out.append(i + 1 < dictionary.size() ? ",\n" : "\n");
    }
    out.append("  ],\n");
  }

  appendKey(out, "  ", "rules");
  if (rules.empty()) {
    out.append("[\n\n  ]");
  } else {
    out.append("[\n");
    for (std::size_t i = 0; i < rules.size(); ++i) {
      const Rule& rule = rules[i];
      if (const char* field = invalidField(rule)) {
        return notUtf8("rules[" + std::to_string(i) + "]." + field);
      }
      out.append("    {\n");
      appendKey(out, "      ", "enabled");
      out.append(rule.enabled ? "true,\n" : "false,\n");
      appendKey(out, "      ", "kind");
      appendQuoted(out, rule.kind);
      out.append(",\n");
      appendKey(out, "      ", "replacement");
      appendQuoted(out, rule.replacement);
      out.append(",\n");
      appendKey(out, "      ", "trigger");
      appendQuoted(out, rule.trigger);
      out.append("\n    }");
      out.append(i + 1 < rules.size() ? ",\n" : "\n");
    }
    out.append("  ]");
  }
  out.append(",\n");

  if (style) {
    if (!text::isValidUtf8(*style)) return notUtf8("style");
    appendKey(out, "  ", "style");
    appendQuoted(out, *style);
    out.append(",\n");
  }

  appendKey(out, "  ", "version");
  appendInteger(out, version);
  out.append("\n}");
  return out;
}

}  // namespace ostrel
