// CSV as RFC 4180 defines it, read and written once for every table the
// tool moves in or out.
//
// Reading: records end at CRLF or LF; fields are separated by commas. A field
// that starts with a double quote is quoted: it ends at the next quote that
// is not doubled, "" stands for one quote, and commas and line breaks inside
// it are text. Anything else is taken as it stands: a quote inside an
// unquoted field, a carriage return that no line feed follows, blanks around
// fields. The last record needs no line break after it, and an empty text
// holds no record. Two inputs are refused, naming the line where the record
// at fault starts: a quote that is never closed, and text between a closing
// quote and the next comma or line break. Bytes are not interpreted beyond
// the commas, quotes and line breaks: checking the encoding is the caller's
// business. Linear in the input; never fails otherwise.
//
// Writing: exactly the fields that hold a comma, a quote or a line break
// character are quoted, so that reading the text gives the fields back byte
// for byte.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ostrel/expected.h"

namespace ostrel::csv {

struct Record {
  std::size_t line;  // where it starts, counting from 1
  std::vector<std::string> fields;
};

// The records of `text`. The error reads "line N: " and the reason.
Expected<std::vector<Record>> parse(std::string_view text);

// One record, its fields quoted where they need it, and a line feed.
std::string row(std::span<const std::string> fields);

}  // namespace ostrel::csv
