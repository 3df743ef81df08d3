#include "json_encoding.h"

#include <cstddef>
#include <cstdint>

namespace ostrel::json_encoding {
namespace {

struct Encoding {
  std::string_view name;  // empty for UTF-8
  std::size_t unit = 1;   // bytes per code unit: 2 or 4
  bool bigEndian = false;
  std::size_t markLength = 0;
};

Encoding detected(std::string_view bytes) {
  auto zero = [&](std::size_t i) { return i < bytes.size() && bytes[i] == '\0'; };
  auto present = [&](std::size_t i) { return i < bytes.size() && bytes[i] != '\0'; };
  if (bytes.starts_with(std::string_view("\0\0\xFE\xFF", 4))) return {"UTF-32BE", 4, true, 4};
  // Read although the application's own detection takes it for UTF-16LE
  // followed by a NUL, which no JSON text can hold.
  if (bytes.starts_with(std::string_view("\xFF\xFE\0\0", 4))) return {"UTF-32LE", 4, false, 4};
  if (bytes.starts_with("\xFE\xFF")) return {"UTF-16BE", 2, true, 2};
  if (bytes.starts_with("\xFF\xFE")) return {"UTF-16LE", 2, false, 2};
  if (zero(0) && zero(1) && zero(2) && present(3)) return {"UTF-32BE", 4, true, 0};
  if (present(0) && zero(1) && zero(2) && zero(3)) return {"UTF-32LE", 4, false, 0};
  if (zero(0) && present(1)) return {"UTF-16BE", 2, true, 0};
  if (present(0) && zero(1)) return {"UTF-16LE", 2, false, 0};
  return {};
}

void appendUtf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

Expected<std::string_view> asUtf8(std::string_view bytes, std::string& storage) {
  const Encoding encoding = detected(bytes);
  if (encoding.name.empty()) return bytes;
  auto unitAt = [&](std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < encoding.unit; ++i) {
      const auto byte =
          static_cast<unsigned char>(bytes[at + (encoding.bigEndian ? i : encoding.unit - 1 - i)]);
      value = value << 8 | byte;
    }
    return value;
  };
  auto invalid = [&](std::size_t at) {
    return Error{"byte " + std::to_string(at + 1) + ": not valid " + std::string(encoding.name) +
                 " text"};
  };
  storage.clear();
  storage.reserve(bytes.size());
  for (std::size_t at = encoding.markLength; at < bytes.size();) {
    if (bytes.size() - at < encoding.unit) return invalid(at);
    std::uint32_t c = unitAt(at);
    const std::size_t start = at;
    at += encoding.unit;
    const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
    if (encoding.unit == 2 && c >= 0xD800 && c <= 0xDBFF) {
      // A high surrogate must be followed by a low one.
      if (bytes.size() - at < 2) return invalid(start);
      const std::uint32_t low = unitAt(at);
      if (low < 0xDC00 || low > 0xDFFF) return invalid(start);
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      at += 2;
    } else if (surrogate || c > 0x10FFFF) {
      return invalid(start);
    }
    appendUtf8(storage, c);
  }
  return std::string_view(storage);
}

}  // namespace ostrel::json_encoding
