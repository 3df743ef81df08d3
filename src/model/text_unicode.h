// The general versions of the text conventions, on the Unicode library; one
// source file implements them and is the only one that calls it. The public
// functions of ostrel/text.h take faster paths for ASCII text and for the
// ASCII parts of other texts, and come here for the rest; tests and fuzz
// targets call both on the same input to check that the fast paths give
// exactly these results.
//
// Like the public functions, these take any bytes: an ill-formed UTF-8
// sequence is never read out of bounds and counts as one U+FFFD character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel::text::unicode {

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
std::string nfc(std::string_view s);
// Appends nfc(s) to `out`.
void appendNfc(std::string& out, std::string_view s);
std::size_t characterCount(std::string_view s);
std::string_view firstCharacters(std::string_view s, std::size_t n);

}  // namespace ostrel::text::unicode
