// The encoding a JSON document comes in. Editors may save the settings file
// as UTF-16 or UTF-32, and the desktop application reads those too, so the
// reader converts them to UTF-8 before it parses.
#pragma once

#include <string>
#include <string_view>

#include "ostrel/expected.h"

namespace ostrel::json_encoding {

// `bytes` as UTF-8 text. UTF-8 comes back as it is, a byte-order mark
// included. UTF-16 and UTF-32, big- or little-endian, are told by their
// byte-order mark or, without one, by where the first four bytes are zero
// (a JSON text starts with two ASCII characters); they are converted into
// `storage`, without the mark, and the result views it. Fails on a sequence
// that is not valid in its encoding, naming the encoding and the byte.
Expected<std::string_view> asUtf8(std::string_view bytes, std::string& storage);

}  // namespace ostrel::json_encoding
