// The general paths of the text conventions (text_unicode.h), on utf8proc.
// This is the only file in the project that calls it; ostrel/text.h's
// functions come here for what their ASCII fast paths cannot answer.
#include <utf8proc.h>

#include <cstdint>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "ostrel/text.h"
#include "text_unicode.h"

namespace ostrel::text::unicode {
namespace {

// ---------------------------------------------------------------------------
// Bytes and code points

bool isTrail(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

// The start of the sequence that byte `at` (< s.size()) lies in, not below
// `floor`. Inside a run of stray continuation bytes it is `at` itself.
std::size_t sequenceStartAtOrBefore(std::string_view s, std::size_t at, std::size_t floor) {
  std::size_t start = at;
  for (int step = 0; step < 3 && start > floor && isTrail(s[start]); ++step) --start;
  return isTrail(s[start]) ? at : start;
}

// The code point at `at`, U+FFFD for an ill-formed sequence.
std::int32_t codePointOrReplacementAt(std::string_view s, std::size_t at, std::size_t& next) {
  const std::int32_t c = codePointAt(s, at, next);
  return c < 0 ? 0xFFFD : c;
}

void appendUtf8(std::string& out, std::int32_t c) {
  utf8proc_uint8_t bytes[4];
  const auto length = utf8proc_encode_char(c, bytes);
  out.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
}

// ---------------------------------------------------------------------------
// Membership in the white-space sets

bool isTrimmedCodePoint(std::int32_t c) {
  if ((c >= 0x09 && c <= 0x0D) || c == 0x85) return true;
  const auto category = utf8proc_category(c);
  return category == UTF8PROC_CATEGORY_ZS || category == UTF8PROC_CATEGORY_ZL ||
         category == UTF8PROC_CATEGORY_ZP;
}

bool isSpaceCodePoint(std::int32_t c) {
  return c == 0x09 || utf8proc_category(c) == UTF8PROC_CATEGORY_ZS;
}

// `s` without the code points at either end for which `isMember` holds. An
// ill-formed sequence is never a member.
template <class IsMember>
std::string_view trimmedOfCodePoints(std::string_view s, IsMember isMember) {
  std::size_t begin = 0;
  while (begin < s.size()) {
    std::size_t next;
    const std::int32_t c = codePointAt(s, begin, next);
    if (c < 0 || !isMember(c)) break;
    begin = next;
  }
  std::size_t end = s.size();
  while (end > begin) {
    // The last code point is the one decoded from the last lead byte, if it
    // reaches exactly to `end`; anything else there is ill-formed.
    const std::size_t start = sequenceStartAtOrBefore(s, end - 1, begin);
    std::size_t next;
    const std::int32_t c = codePointAt(s, start, next);
    if (c < 0 || next != end || !isMember(c)) break;
    end = start;
  }
  return s.substr(begin, end - begin);
}

// ---------------------------------------------------------------------------
// User-perceived characters

// Calls `visit(end)` with the end offset of each user-perceived character of
// `s`, in order, until `visit` returns false.
template <class Visit>
void forEachCharacterEnd(std::string_view s, Visit visit) {
  if (s.empty()) return;
  std::size_t at;
  std::int32_t previous = codePointOrReplacementAt(s, 0, at);
  std::int32_t state = 0;  // what the rules for emoji and flag pairs need
  while (at < s.size()) {
    std::size_t next;
    const std::int32_t c = codePointOrReplacementAt(s, at, next);
    if (utf8proc_grapheme_break_stateful(previous, c, &state) && !visit(at)) return;
    previous = c;
    at = next;
  }
  visit(s.size());
}

}  // namespace

std::int32_t codePointAt(std::string_view s, std::size_t at, std::size_t& next) {
  const auto byte = [&s](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(at);
  next = at + 1;
  if (lead < 0x80) return lead;
  // The length, and the range of the second byte that excludes overlong
  // forms, surrogates and code points above U+10FFFF.
  int length = 2;
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else if (lead < 0xC2 || lead > 0xDF) {
    return -1;
  }
  std::int32_t c = lead & (0x7F >> length);
  for (int i = 1; i < length; ++i, low = 0x80, high = 0xBF) {
    // An ill-formed sequence ends before the first byte that cannot continue it.
    if (next == s.size() || byte(next) < low || byte(next) > high) return -1;
    c = (c << 6) | (byte(next++) & 0x3F);
  }
  return c;
}

std::string_view trimmed(std::string_view s) { return trimmedOfCodePoints(s, isTrimmedCodePoint); }

std::string_view strippedOfSpaces(std::string_view s) {
  return trimmedOfCodePoints(s, isSpaceCodePoint);
}

std::string lowercased(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  appendLowercased(out, s);
  return out;
}

void appendLowercased(std::string& out, std::string_view s) {
  // One code point at a time, so that no context applies (capital sigma is
  // always small sigma) and no locale does either.
  for (std::size_t at = 0, next; at < s.size(); at = next) {
    const std::int32_t c = codePointOrReplacementAt(s, at, next);
    if (c == 0x130) {
      // Capital I with dot above: SpecialCasing.txt's only unconditional
      // lower-case mapping that differs from the simple one utf8proc gives.
      out += "i\u0307";
    } else {
      appendUtf8(out, utf8proc_tolower(c));
    }
  }
}

std::string nfc(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  appendNfc(out, s);
  return out;
}

void appendNfc(std::string& out, std::string_view s) {
  if (!isValidUtf8(s)) return appendNfc(out, sanitizedUtf8(s));
  constexpr auto options = static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE);
  const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(s.data());
  const auto size = static_cast<utf8proc_ssize_t>(s.size());
  // Most texts that come here are a few characters long, so their code
  // points go on the stack. One entry is kept for the NUL that re-encoding
  // in place writes after the bytes.
  utf8proc_int32_t small[64];
  std::vector<utf8proc_int32_t> large;
  utf8proc_int32_t* codePoints = small;
  utf8proc_ssize_t room = std::size(small) - 1, length;
  while ((length = utf8proc_decompose(bytes, size, codePoints, room, options)) > room) {
    room = length;
    large.resize(static_cast<std::size_t>(room) + 1);
    codePoints = large.data();
  }
  // On valid UTF-8 both fail only for a text too long to count in memory.
  if (length >= 0) length = utf8proc_reencode(codePoints, length, options);
  if (length < 0) throw std::bad_alloc();
  out.append(reinterpret_cast<const char*>(codePoints), static_cast<std::size_t>(length));
}

std::size_t characterCount(std::string_view s) {
  std::size_t count = 0;
  forEachCharacterEnd(s, [&count](std::size_t) {
    ++count;
    return true;
  });
  return count;
}

std::string_view firstCharacters(std::string_view s, std::size_t n) {
  std::size_t end = 0;
  std::size_t taken = 0;
  if (n == 0) return s.substr(0, 0);
  forEachCharacterEnd(s, [&](std::size_t characterEnd) {
    end = characterEnd;
    return ++taken < n;
  });
  return s.substr(0, end);
}

}  // namespace ostrel::text::unicode
