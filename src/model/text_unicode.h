// The general versions of the text conventions, on ICU (in text_icu.cc, the
// only file that calls it). The public functions of ostrel/text.h take
// faster paths for ASCII text and for the ASCII parts of other texts, and
// come here for the rest; tests and fuzz targets call both on the same input
// to check that the fast paths give exactly these results.
//
// Like the public functions, these take any bytes: an ill-formed UTF-8
// sequence is never read out of bounds and counts as one U+FFFD character.
// They throw UnicodeUnavailable when ICU cannot be set up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel::text::unicode {

// The most bytes handed to ICU at once: its string lengths are 32-bit.
// Longer texts are processed in pieces cut where the result cannot change.
inline constexpr std::size_t maxIcuBytes = INT32_MAX;

// What an ill-formed sequence becomes wherever text is rewritten.
inline constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

// The code point starting at `at`, which must be inside `s`; `next` becomes
// the offset after it. Negative for an ill-formed sequence (then `next` is
// after its maximal ill-formed subpart).
std::int32_t codePointAt(std::string_view s, std::size_t at, std::size_t& next);

std::string_view trimmed(std::string_view s);
std::string_view strippedOfSpaces(std::string_view s);
std::string lowercased(std::string_view s);
// Appends lowercased(s) to `out`.
void appendLowercased(std::string& out, std::string_view s);

// `pieceBytes` (at least 4) is the size of the pieces handed to ICU; tests
// pass small values to exercise the cutting of long texts.
std::string nfc(std::string_view s, std::size_t pieceBytes = maxIcuBytes);
std::size_t characterCount(std::string_view s, std::size_t pieceBytes = maxIcuBytes);
std::string_view firstCharacters(std::string_view s, std::size_t n,
                                 std::size_t pieceBytes = maxIcuBytes);

}  // namespace ostrel::text::unicode
