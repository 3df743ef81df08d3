// The text conventions of every user-visible text: how text is trimmed,
// lower-cased, compared, measured and cut. This module is the only user of
// the Unicode library (utf8proc); every other module goes through it.
//
// All functions take and return UTF-8. Inputs are expected to be valid UTF-8
// (the record never holds anything else); an ill-formed sequence is never
// read out of bounds and counts as one U+FFFD character.
//
// Pure-ASCII inputs take a fast path that gives exactly the results of the
// general Unicode path.
//
// Nothing here prints or exits.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace ostrel::text {

// True when `s` is well-formed UTF-8: no overlong forms, no surrogates,
// nothing above U+10FFFF, no truncated sequence.
bool isValidUtf8(std::string_view s);

// `s` with ill-formed UTF-8 sequences replaced by U+FFFD; valid input comes
// back unchanged. For echoing untrusted bytes in messages.
std::string sanitizedUtf8(std::string_view s);

// `s` made safe to echo in a one-line message to a terminal: ill-formed UTF-8
// as in sanitizedUtf8(), line feed, carriage return and tab as \n, \r, \t,
// the other C0 controls and DEL as \x1b, the C1 controls as \u0085.
// Everything else, backslashes included, is kept as it is.
std::string escapedForMessage(std::string_view s);

// `s` without the white space and line breaks at either end: characters of
// the general categories Zs, Zl and Zp, and U+0009..U+000D and U+0085.
// Characters inside the text are kept. Returns a view into `s`.
std::string_view trimmed(std::string_view s);

// `s` without horizontal tabs and space separators (Zs) at either end; line
// breaks are kept. Returns a view into `s`.
std::string_view strippedOfSpaces(std::string_view s);

// The full lower-case mapping of every code point, independent of locale and
// of neighbouring characters: U+0130 becomes "i" U+0307, and capital sigma
// always becomes small sigma (never final sigma).
std::string lowercased(std::string_view s);

// `s` in Normalization Form C.
std::string nfc(std::string_view s);

// True when `a` and `b` are canonically equivalent (equal in NFC).
bool equivalent(std::string_view a, std::string_view b);

// The number of user-perceived characters (extended grapheme clusters) in `s`.
std::size_t characterCount(std::string_view s);

// The longest prefix of `s` made of at most `n` whole user-perceived
// characters. Never splits a character. Returns a view into `s`.
std::string_view firstCharacters(std::string_view s, std::size_t n);

// The comparison form of a term or trigger: lower-cased, then in NFC.
// Keys are equal exactly when their texts match under the text conventions,
// so they can be compared and hashed byte for byte. The only way to make a
// Key is Key::of, so an unnormalised key cannot exist.
class Key {
 public:
  // The key of `s` as given; callers trim first where a rule says so.
  static Key of(std::string_view s);

  const std::string& str() const { return text_; }

  // True when `part` occurs in this key as a substring.
  bool contains(const Key& part) const;

  friend bool operator==(const Key&, const Key&) = default;

 private:
  explicit Key(std::string text) : text_(std::move(text)) {}
  std::string text_;
};

}  // namespace ostrel::text

template <>
struct std::hash<ostrel::text::Key> {
  std::size_t operator()(const ostrel::text::Key& k) const noexcept {
    return std::hash<std::string>{}(k.str());
  }
};
