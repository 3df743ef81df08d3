// The text conventions, on ICU. Pure-ASCII texts take a fast path, and the
// ASCII characters of other texts skip ICU where no neighbour can change
// their result; both give exactly the results of the general path in
// text_unicode.h.
#include "ostrel/text.h"

#include <unicode/brkiter.h>
#include <unicode/bytestream.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/stringpiece.h>
#include <unicode/uchar.h>
#include <unicode/ucasemap.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#include "text_unicode.h"

namespace ostrel::text {
namespace {

// ---------------------------------------------------------------------------
// Bytes and code points

const std::uint8_t* bytesOf(std::string_view s) {
  return reinterpret_cast<const std::uint8_t*>(s.data());
}

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

bool isAscii(std::string_view s) { return firstNonAscii(s, 0) == s.size(); }

// True when well-formed UTF-8 `s` holds at most `n` code points: bytes that
// do not continue a sequence.
bool codePointsAtMost(std::string_view s, std::size_t n) {
  if (s.size() <= n) return true;
  std::size_t count = 0;
  for (char c : s) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count <= n;
}

// The code point starting at `at`, which must be inside `s`; `next` becomes
// the offset after it. Negative for an ill-formed sequence (then `next` is
// after its maximal ill-formed subpart).
UChar32 codePointAt(std::string_view s, std::size_t at, std::size_t& next) {
  UChar32 c;
  next = at;
  U8_NEXT(bytesOf(s), next, s.size(), c);
  return c;
}

// The start of the sequence that byte `at` (< s.size()) lies in, not below
// `floor`. Inside a run of stray continuation bytes it is `at` itself, so
// cutting there never changes how the text decodes.
std::size_t sequenceStartAtOrBefore(std::string_view s, std::size_t at,
                                    std::size_t floor) {
  const std::uint8_t* p = bytesOf(s);
  std::size_t start = at;
  for (int step = 0; step < 3 && start > floor && U8_IS_TRAIL(p[start]);
       ++step) {
    --start;
  }
  return U8_IS_TRAIL(p[start]) ? at : start;
}

// Where a piece of at most `pieceBytes` (at least 4) bytes from `start`
// ends: at the start of a sequence, so no code point is split.
std::size_t pieceEnd(std::string_view s, std::size_t start,
                     std::size_t pieceBytes) {
  const std::size_t end =
      sequenceStartAtOrBefore(s, start + pieceBytes, start);
  return end > start ? end : start + pieceBytes;
}

const char* const replacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

// ---------------------------------------------------------------------------
// ICU services, created once per process

[[noreturn]] void icuFailed(const char* what, UErrorCode status) {
  // Only a broken ICU installation gets here; nothing sensible can go on.
  throw UnicodeUnavailable(std::string("unicode support unavailable \u2014 ") + what + ": " +
                           u_errorName(status));
}

void requireIcu(UErrorCode status, const char* what) {
  if (U_FAILURE(status)) icuFailed(what, status);
}

const UCaseMap* rootCaseMap() {
  // Kept for the life of the process. Used through a const pointer, which
  // ICU allows from several threads at once.
  static const UCaseMap* const map = [] {
    UErrorCode status = U_ZERO_ERROR;
    UCaseMap* made = ucasemap_open("", 0, &status);
    requireIcu(status, "case mapping");
    return made;
  }();
  return map;
}

const icu::Normalizer2& nfcNormalizer() {
  // A singleton owned by ICU, immutable and thread-safe.
  static const icu::Normalizer2* const normalizer = [] {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* instance =
        icu::Normalizer2::getNFCInstance(status);
    requireIcu(status, "NFC normalizer");
    return instance;
  }();
  return *normalizer;
}

icu::BreakIterator& graphemeIterator() {
  // A break iterator holds its text, so each thread works on its own clone
  // of one prototype. The prototype lives for the life of the process.
  static const icu::BreakIterator* const prototype = [] {
    UErrorCode status = U_ZERO_ERROR;
    icu::BreakIterator* made = icu::BreakIterator::createCharacterInstance(
        icu::Locale::getRoot(), status);
    requireIcu(status, "grapheme break iterator");
    return made;
  }();
  thread_local const std::unique_ptr<icu::BreakIterator> mine(
      prototype->clone());
  if (!mine) icuFailed("grapheme break iterator", U_MEMORY_ALLOCATION_ERROR);
  return *mine;
}

// A UText over UTF-8 bytes, closed when it goes out of scope.
class Utf8Text {
 public:
  explicit Utf8Text(std::string_view s) {
    UErrorCode status = U_ZERO_ERROR;
    utext_openUTF8(&text_, s.data(), static_cast<std::int64_t>(s.size()),
                   &status);
    requireIcu(status, "UTF-8 text");
  }
  ~Utf8Text() { utext_close(&text_); }
  Utf8Text(const Utf8Text&) = delete;
  Utf8Text& operator=(const Utf8Text&) = delete;

  UText* get() { return &text_; }

 private:
  UText text_ = UTEXT_INITIALIZER;
};

// Calls `visit(end)` with the end offset of each user-perceived character of
// `s`, in order, until `visit` returns false. Texts longer than `pieceBytes`
// go to ICU in pieces.
template <class Visit>
void forEachCharacterEnd(std::string_view s, std::size_t pieceBytes,
                         Visit visit) {
  icu::BreakIterator& iterator = graphemeIterator();
  std::size_t start = 0;
  while (start < s.size()) {
    std::size_t end = s.size();
    if (end - start > pieceBytes) {
      end = pieceEnd(s, start, pieceBytes);
    }
    const bool isLastPiece = end == s.size();
    Utf8Text text(s.substr(start, end - start));
    UErrorCode status = U_ZERO_ERROR;
    iterator.setText(text.get(), status);
    requireIcu(status, "grapheme break iterator");

    std::size_t nextStart = end;
    std::size_t previous = start;
    for (std::int32_t boundary = iterator.next();
         boundary != icu::BreakIterator::DONE; boundary = iterator.next()) {
      const std::size_t offset = start + static_cast<std::size_t>(boundary);
      // The piece's last character may go on past the cut: leave it to the
      // next piece, unless it is the piece's only one (then cut inside it
      // rather than never moving on).
      if (!isLastPiece && offset == end && previous > start) {
        nextStart = previous;
        break;
      }
      if (!visit(offset)) return;
      previous = offset;
    }
    start = nextStart;
  }
}

// Where to end a piece of valid UTF-8 handed to the normalizer: before a
// code point that never combines with what precedes it, so the pieces
// normalise independently. Looks back a bounded distance only.
std::size_t nfcPieceEnd(std::string_view s, std::size_t start,
                        std::size_t pieceBytes) {
  const std::size_t end = pieceEnd(s, start, pieceBytes);
  const icu::Normalizer2& normalizer = nfcNormalizer();
  std::size_t cut = end;
  for (int tries = 0; tries < 32 && cut > start; ++tries) {
    std::size_t next;
    if (normalizer.hasBoundaryBefore(codePointAt(s, cut, next))) return cut;
    cut = sequenceStartAtOrBefore(s, cut - 1, start);
  }
  return end;
}

// NFC of well-formed UTF-8.
std::string nfcOfValid(std::string_view s, std::size_t pieceBytes) {
  const icu::Normalizer2& normalizer = nfcNormalizer();
  std::string out;
  out.reserve(s.size());
  icu::StringByteSink<std::string> sink(&out);
  std::size_t start = 0;
  while (start < s.size()) {
    std::size_t end = s.size();
    if (end - start > pieceBytes) end = nfcPieceEnd(s, start, pieceBytes);
    const icu::StringPiece piece(s.data() + start,
                                 static_cast<std::int32_t>(end - start));
    UErrorCode status = U_ZERO_ERROR;
    if (normalizer.isNormalizedUTF8(piece, status)) {
      out.append(piece.data(), static_cast<std::size_t>(piece.size()));
    } else {
      requireIcu(status, "NFC check");
      normalizer.normalizeUTF8(0, piece, sink, nullptr, status);
      requireIcu(status, "NFC normalisation");
    }
    start = end;
  }
  return out;
}

// ---------------------------------------------------------------------------
// Membership in the white-space sets

bool isTrimmedCodePoint(UChar32 c) {
  if ((c >= 0x09 && c <= 0x0D) || c == 0x85) return true;
  const auto category = u_charType(c);
  return category == U_SPACE_SEPARATOR || category == U_LINE_SEPARATOR ||
         category == U_PARAGRAPH_SEPARATOR;
}

bool isSpaceCodePoint(UChar32 c) {
  return c == 0x09 || u_charType(c) == U_SPACE_SEPARATOR;
}

bool isTrimmedAscii(char c) { return (c >= 0x09 && c <= 0x0D) || c == ' '; }

bool isSpaceAscii(char c) { return c == '\t' || c == ' '; }

// `s` without the code points at either end for which `isMember` holds. An
// ill-formed sequence is never a member.
template <class IsMember>
std::string_view trimmedOfCodePoints(std::string_view s, IsMember isMember) {
  std::size_t begin = 0;
  while (begin < s.size()) {
    std::size_t next;
    const UChar32 c = codePointAt(s, begin, next);
    if (c < 0 || !isMember(c)) break;
    begin = next;
  }
  std::size_t end = s.size();
  while (end > begin) {
    // The last code point is the one decoded from the last lead byte, if it
    // reaches exactly to `end`; anything else there is ill-formed.
    const std::size_t start = sequenceStartAtOrBefore(s, end - 1, begin);
    std::size_t next;
    const UChar32 c = codePointAt(s, start, next);
    if (c < 0 || next != end || !isMember(c)) break;
    end = start;
  }
  return s.substr(begin, end - begin);
}

template <class IsMember>
std::string_view trimmedOfAscii(std::string_view s, IsMember isMember) {
  std::size_t begin = 0;
  std::size_t end = s.size();
  while (begin < end && isMember(s[begin])) ++begin;
  while (end > begin && isMember(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

// Appends the full lower-case mapping of the code point at `at` (U+FFFD for
// an ill-formed sequence) and returns the offset after it. One code point at
// a time, so that no context applies: capital sigma is always small sigma,
// and no locale rule can apply either.
std::size_t appendLowercasedCodePoint(std::string& out, std::string_view s,
                                      std::size_t at) {
  std::size_t next;
  if (codePointAt(s, at, next) < 0) {
    out += replacementCharacter;
    return next;
  }
  const std::size_t written = out.size();
  const auto inputLength = static_cast<std::int32_t>(next - at);
  std::int32_t room = 16;
  for (;;) {
    out.resize(written + static_cast<std::size_t>(room));
    UErrorCode status = U_ZERO_ERROR;
    const std::int32_t length =
        ucasemap_utf8ToLower(rootCaseMap(), out.data() + written, room,
                             s.data() + at, inputLength, &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
      room = length;
      continue;
    }
    requireIcu(status, "lower-case mapping");
    out.resize(written + static_cast<std::size_t>(length));
    return next;
  }
}

// ---------------------------------------------------------------------------
// ASCII fast paths

namespace ascii {

char lowercased(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

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
    const bool isCrLf =
        s[end] == '\r' && end + 1 < s.size() && s[end + 1] == '\n';
    end += isCrLf ? 2 : 1;
  }
  return s.substr(0, end);
}

}  // namespace ascii

// ---------------------------------------------------------------------------
// Mostly-ASCII texts: ASCII characters take the fast path one by one, and
// only the stretches around other characters go to ICU.

namespace mixed {

std::string lowercased(std::string_view s) {
  // An ASCII character's full lower-case mapping is its ASCII lower case.
  std::string out;
  out.reserve(s.size());
  std::size_t at = 0;
  while (at < s.size()) {
    const std::size_t asciiEnd = firstNonAscii(s, at);
    const std::size_t written = out.size();
    out.resize(written + (asciiEnd - at));
    // Plain pointers, so the compiler can map many bytes at once.
    char* to = out.data() + written;
    for (const char* from = s.data() + at; from != s.data() + asciiEnd; ++from, ++to) {
      *to = ascii::lowercased(*from);
    }
    at = asciiEnd;
    if (at < s.size()) at = appendLowercasedCodePoint(out, s, at);
  }
  return out;
}

// True when a character boundary lies at `at` (0 < at < s.size()) whatever
// comes before or after: between two ASCII characters other than CR LF. No
// segmentation rule joins anything else across two ASCII characters, and
// segmentation starts afresh after them.
bool isCertainBoundary(std::string_view s, std::size_t at) {
  return isAsciiByte(s[at - 1]) && isAsciiByte(s[at]) &&
         !(s[at - 1] == '\r' && s[at] == '\n');
}

// Calls `visit(end)` with the end offset of each user-perceived character of
// `s`, in order, until `visit` returns false; the same ends as ICU's over
// the whole text. Each stretch holding non-ASCII bytes goes to ICU from the
// certain boundary before it to the certain boundary after it.
template <class Visit>
void eachCharacterEnd(std::string_view s, Visit visit) {
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
    for (std::size_t at = start; at < stretchStart;) {
      const bool isCrLf =
          s[at] == '\r' && at + 1 < stretchStart && s[at + 1] == '\n';
      at += isCrLf ? 2 : 1;
      if (!visit(at)) return;
    }
    if (stretchStart == s.size()) return;

    std::size_t stretchEnd = other + 1;
    while (stretchEnd < s.size() && !isCertainBoundary(s, stretchEnd)) {
      ++stretchEnd;
    }
    bool goOn = true;
    forEachCharacterEnd(
        s.substr(stretchStart, stretchEnd - stretchStart), unicode::maxIcuBytes,
        [&](std::size_t end) { return goOn = visit(stretchStart + end); });
    if (!goOn) return;
    start = stretchEnd;
  }
}

std::size_t characterCount(std::string_view s) {
  std::size_t count = 0;
  eachCharacterEnd(s, [&count](std::size_t) {
    ++count;
    return true;
  });
  return count;
}

std::string_view firstCharacters(std::string_view s, std::size_t n) {
  std::size_t end = 0;
  std::size_t taken = 0;
  if (n == 0) return s.substr(0, 0);
  eachCharacterEnd(s, [&](std::size_t characterEnd) {
    end = characterEnd;
    return ++taken < n;
  });
  return s.substr(0, end);
}

}  // namespace mixed
}  // namespace

// ---------------------------------------------------------------------------
// General paths

namespace unicode {

std::string_view trimmed(std::string_view s) {
  return trimmedOfCodePoints(s, isTrimmedCodePoint);
}

std::string_view strippedOfSpaces(std::string_view s) {
  return trimmedOfCodePoints(s, isSpaceCodePoint);
}

std::string lowercased(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  std::size_t at = 0;
  while (at < s.size()) at = appendLowercasedCodePoint(out, s, at);
  return out;
}

std::string nfc(std::string_view s, std::size_t pieceBytes) {
  if (isValidUtf8(s)) return nfcOfValid(s, pieceBytes);
  return nfcOfValid(sanitizedUtf8(s), pieceBytes);
}

std::size_t characterCount(std::string_view s, std::size_t pieceBytes) {
  std::size_t count = 0;
  forEachCharacterEnd(s, pieceBytes, [&count](std::size_t) {
    ++count;
    return true;
  });
  return count;
}

std::string_view firstCharacters(std::string_view s, std::size_t n,
                                 std::size_t pieceBytes) {
  std::size_t end = 0;
  std::size_t taken = 0;
  if (n == 0) return s.substr(0, 0);
  forEachCharacterEnd(s, pieceBytes, [&](std::size_t characterEnd) {
    end = characterEnd;
    return ++taken < n;
  });
  return s.substr(0, end);
}

}  // namespace unicode

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
    if (codePointAt(s, at, next) < 0) return false;
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
    if (codePointAt(s, at, next) < 0) {
      out += replacementCharacter;
    } else {
      out.append(s, at, next - at);
    }
    at = next;
  }
  return out;
}

std::string_view trimmed(std::string_view s) {
  return isAscii(s) ? trimmedOfAscii(s, isTrimmedAscii) : unicode::trimmed(s);
}

std::string_view strippedOfSpaces(std::string_view s) {
  return isAscii(s) ? trimmedOfAscii(s, isSpaceAscii)
                    : unicode::strippedOfSpaces(s);
}

std::string lowercased(std::string_view s) {
  return isAscii(s) ? ascii::lowercased(s) : mixed::lowercased(s);
}

std::string nfc(std::string_view s) {
  // ASCII is already in NFC.
  return isAscii(s) ? std::string(s) : unicode::nfc(s);
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

Key Key::of(std::string_view s) {
  std::string lower = lowercased(s);
  if (isAscii(lower)) return Key(std::move(lower));  // already in NFC
  return Key(unicode::nfc(lower));
}

bool Key::contains(const Key& part) const {
  // Both sides are NFC UTF-8, so a byte search finds exactly the code point
  // sequences.
  return text_.find(part.text_) != std::string::npos;
}

}  // namespace ostrel::text
