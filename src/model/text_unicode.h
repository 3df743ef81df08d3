// The general (ICU) versions of the text conventions. The public functions
// of ostrel/text.h take faster paths for ASCII text and for the ASCII parts
// of other texts; tests and fuzz targets call both on the same input to
// check that the fast paths give exactly these results.
//
// Like the public functions, these take any bytes: an ill-formed UTF-8
// sequence is never read out of bounds and counts as one U+FFFD character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel::text::unicode {

// The most bytes handed to ICU at once: its string lengths are 32-bit.
// Longer texts are processed in pieces cut where the result cannot change.
inline constexpr std::size_t maxIcuBytes = INT32_MAX;

std::string_view trimmed(std::string_view s);
std::string_view strippedOfSpaces(std::string_view s);
std::string lowercased(std::string_view s);

// `pieceBytes` (at least 4) is the size of the pieces handed to ICU; tests
// pass small values to exercise the cutting of long texts.
std::string nfc(std::string_view s, std::size_t pieceBytes = maxIcuBytes);
std::size_t characterCount(std::string_view s,
                           std::size_t pieceBytes = maxIcuBytes);
std::string_view firstCharacters(std::string_view s, std::size_t n,
                                 std::size_t pieceBytes = maxIcuBytes);

}  // namespace ostrel::text::unicode
