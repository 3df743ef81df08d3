// The fast paths of the text conventions against the general ICU paths on
// the same bytes, valid UTF-8 or not: every result must be identical.

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
  const std::string_view s(reinterpret_cast<const char*>(data), size);
  FUZZ_CHECK(text::trimmed(s) == unicode::trimmed(s));
  FUZZ_CHECK(text::strippedOfSpaces(s) == unicode::strippedOfSpaces(s));
  const std::string lower = text::lowercased(s);
  FUZZ_CHECK(lower == unicode::lowercased(s));
  FUZZ_CHECK(text::nfc(s) == unicode::nfc(s));
  FUZZ_CHECK(text::Key::of(s).str() == unicode::nfc(lower));

  const std::size_t count = text::characterCount(s);
  FUZZ_CHECK(count == unicode::characterCount(s) && count <= s.size());
  // Every cut of a short text; of a long one, about 256 and then the last 256.
  for (std::size_t n = 0; n <= count + 1; n += n + 256 > count ? 1 : 1 + count / 256) {
    const std::string_view cut = text::firstCharacters(s, n);
    FUZZ_CHECK(cut == unicode::firstCharacters(s, n));
    FUZZ_CHECK(text::characterCount(cut) == (n < count ? n : count));
  }
  return 0;
}
