// Any bytes into the JSON decoder: it must not crash, leak or hang, and a
// document it accepts must survive encoding: decoding the encoded text gives
// the same record byte for byte, and encoding that gives the same text again.

#include <cstdint>

#include "fuzz_check.h"
#include "ostrel/text.h"
#include "test_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto decoded = ostrel::AgentConfig::decoded({reinterpret_cast<const char*>(data), size});
  if (!decoded.ok()) {
    // The message is printed as one line of UTF-8 after "ostrel: ".
    const std::string& m = decoded.error().description;
    FUZZ_CHECK(!m.empty() && m.find('\n') == std::string::npos && ostrel::text::isValidUtf8(m));
    return 0;
  }
  const auto encoded = decoded.value().encoded();
  FUZZ_CHECK(encoded.ok());  // the decoder lets no text in that is not UTF-8
  const auto again = ostrel::AgentConfig::decoded(encoded.value());
  FUZZ_CHECK(again.ok() && ostrel::testing::sameBytes(again.value(), decoded.value()));
  const auto reencoded = again.value().encoded();
  FUZZ_CHECK(reencoded.ok() && reencoded.value() == encoded.value());
  return 0;
}
