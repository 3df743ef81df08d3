#include "json_reader_messages.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "ostrel/text.h"

namespace ostrel::json_messages {
namespace {

// Echoed input (the parser's "last read" token) is cut to its last
// characters, so that a long bad string cannot flood the message.
constexpr std::size_t maxEchoBytes = 60;

// The last bytes of a long token, starting on a character boundary.
std::string shortened(std::string_view token) {
  std::size_t start = token.size() - maxEchoBytes;
  while (start < token.size() && (static_cast<unsigned char>(token[start]) & 0xC0) == 0x80) {
    ++start;
  }
  return "..." + std::string(token.substr(start));
}

}  // namespace

std::string positionText(std::string_view json, std::size_t index) {
  index = std::min(index, json.size());
  std::size_t line = 1;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < index; ++i) {
    if (json[i] == '\n') {
      ++line;
      lineStart = i + 1;
    }
  }
  std::size_t column = 1;
  for (std::size_t i = lineStart; i < index; ++i) {
    if ((static_cast<unsigned char>(json[i]) & 0xC0) != 0x80) ++column;
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

std::size_t openingOfLevel(std::string_view json, int level) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth == level) return i;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return json.size();
}

std::string oneLine(std::string_view s) {
  const std::string valid = text::sanitizedUtf8(s);
  std::string out;
  out.reserve(valid.size());
  for (std::size_t i = 0; i < valid.size(); ++i) {
    const auto byte = static_cast<unsigned char>(valid[i]);
    const std::string_view rest = std::string_view(valid).substr(i);
    if (byte < 0x20 || byte == 0x7F) {
      static constexpr char hexDigits[] = "0123456789ABCDEF";
      out += "<U+00";
      out += hexDigits[byte >> 4];
      out += hexDigits[byte & 0xF];
      out += '>';
    } else if (rest.starts_with("\xC2\x85")) {
      out += "<U+0085>";
      ++i;
    } else if (rest.starts_with("\xE2\x80\xA8") || rest.starts_with("\xE2\x80\xA9")) {
      out += rest[2] == '\xA8' ? "<U+2028>" : "<U+2029>";
      i += 2;
    } else {
      out += valid[i];
    }
  }
  return out;
}

std::string explanation(std::string_view what, const std::string& lastToken) {
  if (what.starts_with('[')) {
    const std::size_t tagEnd = what.find("] ");
    if (tagEnd != std::string_view::npos) what.remove_prefix(tagEnd + 2);
  }
  if (what.starts_with("parse error")) {
    const std::size_t positionEnd = what.find(": ");
    if (positionEnd != std::string_view::npos) what.remove_prefix(positionEnd + 2);
  }
  std::string result(what);
  if (lastToken.size() > maxEchoBytes) {
    const std::size_t at = result.find(lastToken);
    if (at != std::string::npos) result.replace(at, lastToken.size(), shortened(lastToken));
  }
  return oneLine(result);
}

}  // namespace ostrel::json_messages
