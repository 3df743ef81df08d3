// The text conventions: ASCII fast paths, and the dispatch between them and
// the general paths of text_unicode.h (on the Unicode library). Pure-ASCII
// texts never reach the library, and the ASCII characters of other texts
// skip it where no neighbour can change their result; both give exactly the
// results of the general paths.
#include "ostrel/text.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>

#include "text_unicode.h"

namespace ostrel::text {
namespace {

// ---------------------------------------------------------------------------
// Bytes

bool isAsciiByte(char c) { return static_cast<unsigned char>(c) < 0x80; }

// The offset of the first byte of `s` at or after `from` that is not ASCII,
// or s.size(). Eight bytes at a time.
std::size_t firstNonAscii(std::string_view s, std::size_t from) {
  const char* p = s.data();
  std::size_t i = from;
  for (; i + 8 <= s.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    if (word & 0x8080808080808080ull) break;
  }
  while (i < s.size() && isAsciiByte(p[i])) ++i;
  return i;
}

// The offset of the first ASCII byte of `s` at or after `from`, or s.size().
// No UTF-8 sequence, not even an ill-formed one, runs on into an ASCII byte,
// so a text cut there decodes as it did whole.
std::size_t firstAscii(std::string_view s, std::size_t from) {
  while (from < s.size() && !isAsciiByte(s[from])) ++from;
  return from;
}

bool isAscii(std::string_view s) { return firstNonAscii(s, 0) == s.size(); }

// True when well-formed UTF-8 `s` holds at most `n` code points: bytes that
// do not continue a sequence.
bool codePointsAtMost(std::string_view s, std::size_t n) {
  if (s.size() <= n) return true;
  std::size_t count = 0;
  for (char c : s) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count <= n;
}

bool isTrimmedAscii(char c) { return (c >= 0x09 && c <= 0x0D) || c == ' '; }

bool isSpaceAscii(char c) { return c == '\t' || c == ' '; }

template <class IsMember>
std::string_view trimmedOfAscii(std::string_view s, IsMember isMember) {
  std::size_t begin = 0;
  std::size_t end = s.size();
  while (begin < end && isMember(s[begin])) ++begin;
  while (end > begin && isMember(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

// ---------------------------------------------------------------------------
// ASCII fast paths

namespace ascii {

char lowercased(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowercased(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = lowercased(c);
  return out;
}

// Every ASCII character is a user-perceived character of its own, except
// that CR LF is one.
std::size_t characterCount(std::string_view s) {
  std::size_t count = s.size();
  for (std::size_t i = 1; i < s.size(); ++i) {
    if (s[i - 1] == '\r' && s[i] == '\n') --count;
  }
  return count;
}

std::string_view firstCharacters(std::string_view s, std::size_t n) {
  std::size_t end = 0;
  for (std::size_t taken = 0; taken < n && end < s.size(); ++taken) {
    const bool isCrLf = s[end] == '\r' && end + 1 < s.size() && s[end + 1] == '\n';
    end += isCrLf ? 2 : 1;
  }
  return s.substr(0, end);
}

}  // namespace ascii

// ---------------------------------------------------------------------------
// Mostly-ASCII texts: ASCII characters take the fast path one by one, and
// only the stretches around other characters take the general path.

namespace mixed {

// Appends `s`, all ASCII, lower-cased: an ASCII character's full lower-case
// mapping is its ASCII lower case.
void appendAsciiLowercased(std::string& out, std::string_view s) {
  const std::size_t written = out.size();
  out.resize(written + s.size());
  // Plain pointers, so the compiler can map many bytes at once.
  char* to = out.data() + written;
  for (const char c : s) *to++ = ascii::lowercased(c);
}

std::string lowercased(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  std::size_t at = 0;
  while (at < s.size()) {
    const std::size_t asciiEnd = firstNonAscii(s, at);
    appendAsciiLowercased(out, s.substr(at, asciiEnd - at));
    const std::size_t otherEnd = firstAscii(s, asciiEnd);
    unicode::appendLowercased(out, s.substr(asciiEnd, otherEnd - asciiEnd));
    at = otherEnd;
  }
  return out;
}

// Appends what `form` makes of `stretch`, from `remembered` where it can.
// Prose repeats a few short stretches ("xé", "a ñ") again and again, and each
// costs the Unicode library about a thousand instructions, so the forms of
// short ones are kept: a stretch that fits std::string's inline buffer needs
// no allocation to look up.
using Forms = std::unordered_map<std::string, std::string>;
template <class Form>
void appendRemembered(Forms& remembered, std::string& out, std::string_view stretch, Form form) {
  constexpr std::size_t longestRemembered = 15;
  constexpr std::size_t mostRemembered = 4096;  // then it starts afresh
  if (stretch.size() > longestRemembered) return form(out, stretch);
  const std::string key(stretch);
  if (const auto found = remembered.find(key); found != remembered.end()) {
    out += found->second;
    return;
  }
  const std::size_t start = out.size();
  form(out, stretch);
  if (remembered.size() == mostRemembered) remembered.clear();
  remembered.emplace(key, out.substr(start));
}

// Only the stretches of other characters, with the ASCII character before
// them, need normalising: that one may combine with what follows it, but no
// character ever combines with an ASCII character. Calls
// `appendAscii(out, run)` for the ASCII runs between the stretches and
// `appendStretch(out, stretch)` for the stretches.
template <class AppendAscii, class AppendStretch>
std::string byStretches(std::string_view s, AppendAscii appendAscii, AppendStretch appendStretch) {
  std::string out;
  out.reserve(s.size());
  std::size_t at = 0;
  while (at < s.size()) {
    const std::size_t other = firstNonAscii(s, at);
    if (other == s.size()) {
      appendAscii(out, s.substr(at));
      break;
    }
    const std::size_t stretchStart = other > at ? other - 1 : other;
    appendAscii(out, s.substr(at, stretchStart - at));
    const std::size_t otherEnd = firstAscii(s, other);
    appendStretch(out, s.substr(stretchStart, otherEnd - stretchStart));
    at = otherEnd;
  }
  return out;
}

void appendAsIs(std::string& out, std::string_view s) { out += s; }

std::string nfc(std::string_view s) {
  thread_local Forms remembered;
  return byStretches(s, appendAsIs, [](std::string& out, std::string_view stretch) {
    appendRemembered(remembered, out, stretch, unicode::appendNfc);
  });
}

// The NFC of the lower case, in one pass. Lower-casing maps each code point
// on its own and ASCII to ASCII, so the stretches of `s` are stretches of its
// lower case too.
std::string key(std::string_view s) {
  thread_local Forms remembered;
  return byStretches(s, appendAsciiLowercased, [](std::string& out, std::string_view stretch) {
    appendRemembered(remembered, out, stretch, [](std::string& to, std::string_view part) {
      unicode::appendNfc(to, mixed::lowercased(part));
    });
  });
}

// True when a character boundary lies at `at` (0 < at < s.size()) whatever
// comes before or after: between two ASCII characters other than CR LF. No
// segmentation rule joins anything else across two ASCII characters, and
// segmentation starts afresh after them.
bool isCertainBoundary(std::string_view s, std::size_t at) {
  return isAsciiByte(s[at - 1]) && isAsciiByte(s[at]) && !(s[at - 1] == '\r' && s[at] == '\n');
}

// Calls `visit(piece, isAsciiPiece)` with consecutive pieces that together
// make `s`, until `visit` returns false. Each piece starts and ends at a
// certain boundary, so its characters are those it has within `s`. A piece
// holding non-ASCII bytes runs from the certain boundary before them to the
// certain boundary after them; the pieces between are ASCII.
template <class Visit>
void eachPiece(std::string_view s, Visit visit) {
  std::size_t start = 0;
  while (start < s.size()) {
    const std::size_t other = firstNonAscii(s, start);
    // The ASCII characters before the stretch, but the last one, which may
    // join the first non-ASCII one.
    std::size_t stretchStart = start;
    if (other == s.size()) {
      stretchStart = s.size();
    } else if (other > start) {
      for (std::size_t at = other - 1; at > start; --at) {
        if (isCertainBoundary(s, at)) {
          stretchStart = at;
          break;
        }
      }
    }
    if (stretchStart > start && !visit(s.substr(start, stretchStart - start), true)) return;
    if (stretchStart == s.size()) return;

    std::size_t stretchEnd = other + 1;
    while (stretchEnd < s.size() && !isCertainBoundary(s, stretchEnd)) {
      ++stretchEnd;
    }
    if (!visit(s.substr(stretchStart, stretchEnd - stretchStart), false)) return;
    start = stretchEnd;
  }
}

std::size_t pieceCharacterCount(std::string_view piece, bool isAsciiPiece) {
  return isAsciiPiece ? ascii::characterCount(piece) : unicode::characterCount(piece);
}

std::size_t characterCount(std::string_view s) {
  std::size_t count = 0;
  eachPiece(s, [&count](std::string_view piece, bool isAsciiPiece) {
    count += pieceCharacterCount(piece, isAsciiPiece);
    return true;
  });
  return count;
}

std::string_view firstCharacters(std::string_view s, std::size_t n) {
  if (n == 0) return s.substr(0, 0);
  std::size_t end = 0;
  std::size_t wanted = n;
  eachPiece(s, [&](std::string_view piece, bool isAsciiPiece) {
    const std::size_t count = pieceCharacterCount(piece, isAsciiPiece);
    if (count < wanted) {
      end += piece.size();
      wanted -= count;
      return true;
    }
    end += isAsciiPiece ? ascii::firstCharacters(piece, wanted).size()
                        : unicode::firstCharacters(piece, wanted).size();
    return false;
  });
  return s.substr(0, end);
}

}  // namespace mixed
}  // namespace

// ---------------------------------------------------------------------------
// Public functions

bool isValidUtf8(std::string_view s) {
  std::size_t at = 0;
  while (at < s.size()) {
    if (isAsciiByte(s[at])) {
      at = firstNonAscii(s, at);
      continue;
    }
    std::size_t next;
    if (unicode::codePointAt(s, at, next) < 0) return false;
    at = next;
  }
  return true;
}

std::string sanitizedUtf8(std::string_view s) {
  if (isValidUtf8(s)) return std::string(s);
  std::string out;
  out.reserve(s.size() + 8);
  std::size_t at = 0;
  while (at < s.size()) {
    std::size_t next;
    if (unicode::codePointAt(s, at, next) < 0) {
      out += unicode::replacementCharacter;
    } else {
      out.append(s, at, next - at);
    }
    at = next;
  }
  return out;
}

std::string escapedForMessage(std::string_view s) {
  static constexpr char hex[] = "0123456789abcdef";
  const std::string valid = sanitizedUtf8(s);
  std::string out;
  out.reserve(valid.size());
  for (std::size_t i = 0; i < valid.size(); ++i) {
    const auto byte = static_cast<unsigned char>(valid[i]);
    const auto next = i + 1 < valid.size() ? static_cast<unsigned char>(valid[i + 1]) : 0;
    if (byte == '\n' || byte == '\r' || byte == '\t') {
      out += byte == '\n' ? "\\n" : byte == '\r' ? "\\r" : "\\t";
    } else if (byte < 0x20 || byte == 0x7f) {
      out.append("\\x").append(1, hex[byte >> 4]).append(1, hex[byte & 0xf]);
    } else if (byte == 0xc2 && next >= 0x80 && next <= 0x9f) {  // U+0080..U+009F
      out.append("\\u00").append(1, hex[next >> 4]).append(1, hex[next & 0xf]);
      ++i;
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

std::string_view trimmed(std::string_view s) {
  return isAscii(s) ? trimmedOfAscii(s, isTrimmedAscii) : unicode::trimmed(s);
}

std::string_view strippedOfSpaces(std::string_view s) {
  return isAscii(s) ? trimmedOfAscii(s, isSpaceAscii) : unicode::strippedOfSpaces(s);
}

std::string lowercased(std::string_view s) {
  return isAscii(s) ? ascii::lowercased(s) : mixed::lowercased(s);
}

std::string nfc(std::string_view s) {
  // ASCII is already in NFC.
  return isAscii(s) ? std::string(s) : mixed::nfc(s);
}

bool equivalent(std::string_view a, std::string_view b) {
  if (a == b) return true;
  return nfc(a) == nfc(b);
}

std::size_t characterCount(std::string_view s) {
  return isAscii(s) ? ascii::characterCount(s) : mixed::characterCount(s);
}

std::string_view firstCharacters(std::string_view s, std::size_t n) {
  if (isAscii(s)) return ascii::firstCharacters(s, n);
  // A character holds at least one code point, so a text of at most n code
  // points is whole; most texts checked against a limit are, and need no
  // segmenting.
  if (codePointsAtMost(s, n) && isValidUtf8(s)) return s;
  return mixed::firstCharacters(s, n);
}

Key Key::of(std::string_view s) { return Key(isAscii(s) ? ascii::lowercased(s) : mixed::key(s)); }

bool Key::contains(const Key& part) const {
  // Both sides are NFC UTF-8, so a byte search finds exactly the code point
  // sequences.
  return text_.find(part.text_) != std::string::npos;
}

}  // namespace ostrel::text
