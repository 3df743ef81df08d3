// How the JSON reader words a failure: where, as line and column, and what,
// from the parser's own explanation made into one line of valid UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ostrel::json_messages {

// "line L, column C" of the byte at `index` (the end of the text when
// `index` is past it). Columns count characters: UTF-8 lead bytes.
std::string positionText(std::string_view json, std::size_t index);

// The byte offset of the bracket that opens nesting level `level`, in text
// that the parser has accepted up to that bracket; json.size() when none does.
std::size_t openingOfLevel(std::string_view json, int level);

// `s` as valid UTF-8 on one line: stray control characters and Unicode line
// breaks become <U+XXXX>, as the parser writes them itself.
std::string oneLine(std::string_view s);

// The parser's explanation (`what` of its exception) without its
// "[json.exception...]" tag and its own position (which counts bytes, not
// characters), with `lastToken`, the input it echoes, cut to its last
// characters when long; on one line.
std::string explanation(std::string_view what, const std::string& lastToken);

}  // namespace ostrel::json_messages
