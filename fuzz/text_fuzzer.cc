// The fast paths of the text conventions against the general ICU paths on
// the same bytes, valid UTF-8 or not: every result must be identical.
//
// Input: one byte choosing a count to cut at, then the text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "ostrel/text.h"
#include "text_unicode.h"

namespace text = ostrel::text;
namespace unicode = ostrel::text::unicode;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned choice = data[0];
  const std::string_view s(reinterpret_cast<const char*>(data + 1), size - 1);

  FUZZ_CHECK(text::trimmed(s) == unicode::trimmed(s));
  FUZZ_CHECK(text::strippedOfSpaces(s) == unicode::strippedOfSpaces(s));
  const std::string lower = text::lowercased(s);
  FUZZ_CHECK(lower == unicode::lowercased(s));
  FUZZ_CHECK(text::nfc(s) == unicode::nfc(s));
  FUZZ_CHECK(text::Key::of(s).str() == unicode::nfc(lower));

  const std::size_t count = text::characterCount(s);
  FUZZ_CHECK(count == unicode::characterCount(s));
  FUZZ_CHECK(count <= s.size());
  // Cuts before, at and after the end, and where the validation limits are.
  for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{choice % 16}, count / 2,
                        count, count + 1, std::size_t{40}, std::size_t{100}}) {
    const std::string_view cut = text::firstCharacters(s, n);
    FUZZ_CHECK(cut == unicode::firstCharacters(s, n));
    FUZZ_CHECK(text::characterCount(cut) == (n < count ? n : count));
  }
  return 0;
}
