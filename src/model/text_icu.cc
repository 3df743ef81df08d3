// The general paths of the text conventions (text_unicode.h), on ICU. This
// is the only file in the project that calls ICU; ostrel/text.h's functions
// come here for what their ASCII fast paths cannot answer.
#include <unicode/brkiter.h>
#include <unicode/bytestream.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/stringpiece.h>
#include <unicode/ucasemap.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "ostrel/text.h"
#include "text_unicode.h"

namespace ostrel::text::unicode {
namespace {

// ---------------------------------------------------------------------------
// Bytes and code points

const std::uint8_t* bytesOf(std::string_view s) {
  return reinterpret_cast<const std::uint8_t*>(s.data());
}

// The start of the sequence that byte `at` (< s.size()) lies in, not below
// `floor`. Inside a run of stray continuation bytes it is `at` itself, so
// cutting there never changes how the text decodes.
std::size_t sequenceStartAtOrBefore(std::string_view s, std::size_t at, std::size_t floor) {
  const std::uint8_t* p = bytesOf(s);
  std::size_t start = at;
  for (int step = 0; step < 3 && start > floor && U8_IS_TRAIL(p[start]); ++step) {
    --start;
  }
  return U8_IS_TRAIL(p[start]) ? at : start;
}

// Where a piece of at most `pieceBytes` (at least 4) bytes from `start`
// ends: at the start of a sequence, so no code point is split.
std::size_t pieceEnd(std::string_view s, std::size_t start, std::size_t pieceBytes) {
  const std::size_t end = sequenceStartAtOrBefore(s, start + pieceBytes, start);
  return end > start ? end : start + pieceBytes;
}

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
    const icu::Normalizer2* instance = icu::Normalizer2::getNFCInstance(status);
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
    icu::BreakIterator* made =
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status);
    requireIcu(status, "grapheme break iterator");
    return made;
  }();
  thread_local const std::unique_ptr<icu::BreakIterator> mine(prototype->clone());
  if (!mine) icuFailed("grapheme break iterator", U_MEMORY_ALLOCATION_ERROR);
  return *mine;
}

// A UText over UTF-8 bytes, closed when it goes out of scope.
class Utf8Text {
 public:
  explicit Utf8Text(std::string_view s) {
    UErrorCode status = U_ZERO_ERROR;
    utext_openUTF8(&text_, s.data(), static_cast<std::int64_t>(s.size()), &status);
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
void forEachCharacterEnd(std::string_view s, std::size_t pieceBytes, Visit visit) {
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
    for (std::int32_t boundary = iterator.next(); boundary != icu::BreakIterator::DONE;
         boundary = iterator.next()) {
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
std::size_t nfcPieceEnd(std::string_view s, std::size_t start, std::size_t pieceBytes) {
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
    const icu::StringPiece piece(s.data() + start, static_cast<std::int32_t>(end - start));
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

bool isSpaceCodePoint(UChar32 c) { return c == 0x09 || u_charType(c) == U_SPACE_SEPARATOR; }

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

// Appends the full lower-case mapping of the code point at `at` (U+FFFD for
// an ill-formed sequence) and returns the offset after it. One code point at
// a time, so that no context applies: capital sigma is always small sigma,
// and no locale rule can apply either.
std::size_t appendLowercasedCodePoint(std::string& out, std::string_view s, std::size_t at) {
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
    const std::int32_t length = ucasemap_utf8ToLower(rootCaseMap(), out.data() + written, room,
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

}  // namespace

std::int32_t codePointAt(std::string_view s, std::size_t at, std::size_t& next) {
  UChar32 c;
  next = at;
  U8_NEXT(bytesOf(s), next, s.size(), c);
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

std::string_view firstCharacters(std::string_view s, std::size_t n, std::size_t pieceBytes) {
  std::size_t end = 0;
  std::size_t taken = 0;
  if (n == 0) return s.substr(0, 0);
  forEachCharacterEnd(s, pieceBytes, [&](std::size_t characterEnd) {
    end = characterEnd;
    return ++taken < n;
  });
  return s.substr(0, end);
}

void appendLowercased(std::string& out, std::string_view s) {
  std::size_t at = 0;
  while (at < s.size()) at = appendLowercasedCodePoint(out, s, at);
}

}  // namespace ostrel::text::unicode
