// The fast paths of the text conventions against the general paths on the
// same bytes, valid UTF-8 or not: every result must be identical.

#include <cstdint>

#include "fuzz_check.h"
#include "ostrel/text.h"
#include "text_unicode.h"

using namespace ostrel::text;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view s(reinterpret_cast<const char*>(data), size);
  const std::string lower = lowercased(s);
  FUZZ_CHECK(trimmed(s) == unicode::trimmed(s));
  FUZZ_CHECK(strippedOfSpaces(s) == unicode::strippedOfSpaces(s));
  FUZZ_CHECK(lower == unicode::lowercased(s) && nfc(s) == unicode::nfc(s));
  FUZZ_CHECK(Key::of(s).str() == unicode::nfc(lower));

  const std::size_t count = characterCount(s);
  FUZZ_CHECK(count == unicode::characterCount(s) && count <= s.size());
  // Every cut of a short text; of a long one, about 256 and then the last 256.
  for (std::size_t n = 0; n <= count + 1; n += n + 256 > count ? 1 : 1 + count / 256) {
    const std::string_view cut = firstCharacters(s, n);
    FUZZ_CHECK(cut == unicode::firstCharacters(s, n) && characterCount(cut) == std::min(n, count));
  }
  return 0;
}
