// Any bytes into the JSON decoder: it must not crash, leak or hang, and a
// document it accepts must survive encoding: decoding the encoded text gives
// an equal record, and encoding that gives the same bytes again.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "ostrel/agent_config.h"
#include "ostrel/text.h"

namespace {

using ostrel::AgentConfig;

bool sameBytes(const AgentConfig& a, const AgentConfig& b) {
  if (a.version != b.version || a.dictionary != b.dictionary || a.style != b.style ||
      a.rules.size() != b.rules.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.rules.size(); ++i) {
    const AgentConfig::Rule& x = a.rules[i];
    const AgentConfig::Rule& y = b.rules[i];
    if (x.kind != y.kind || x.trigger != y.trigger || x.replacement != y.replacement ||
        x.enabled != y.enabled) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view json(reinterpret_cast<const char*>(data), size);
  const auto decoded = AgentConfig::decoded(json);
  if (!decoded.ok()) {
    // The message is printed as one line of UTF-8 after "ostrel: ".
    const std::string& message = decoded.error().description;
    FUZZ_CHECK(!message.empty());
    FUZZ_CHECK(message.find('\n') == std::string::npos);
    FUZZ_CHECK(ostrel::text::isValidUtf8(message));
    return 0;
  }

  const auto encoded = decoded.value().encoded();
  FUZZ_CHECK(encoded.ok());  // the decoder lets no text in that is not UTF-8
  const auto again = AgentConfig::decoded(encoded.value());
  FUZZ_CHECK(again.ok());
  FUZZ_CHECK(again.value() == decoded.value());
  FUZZ_CHECK(sameBytes(again.value(), decoded.value()));
  const auto reencoded = again.value().encoded();
  FUZZ_CHECK(reencoded.ok());
  FUZZ_CHECK(reencoded.value() == encoded.value());
  return 0;
}
