#include "csv.h"

#include <utility>

namespace ostrel::csv {
namespace {

Error at(std::size_t line, std::string_view reason) {
  return Error{"line " + std::to_string(line) + ": " + std::string(reason)};
}

bool endsRecord(std::string_view text, std::size_t i) {
  return text[i] == '\n' || (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n');
}

}  // namespace

Expected<std::vector<Record>> parse(std::string_view text) {
  std::vector<Record> records;
  std::size_t line = 1, i = 0;
  while (i < text.size()) {
    Record record{line, {}};
    for (bool more = true; more;) {
      std::string field;
      if (i < text.size() && text[i] == '"') {
        for (++i;; ++i) {
          if (i == text.size()) return at(record.line, "a quote that is never closed");
          if (text[i] == '"') {
            if (i + 1 < text.size() && text[i + 1] == '"') {
              ++i;
            } else {
              break;
            }
          }
          line += text[i] == '\n';
          field += text[i];
        }
        ++i;  // past the closing quote
        if (i < text.size() && text[i] != ',' && !endsRecord(text, i)) {
          return at(record.line, "text after a closing quote");
        }
      } else {
        const std::size_t start = i;
        while (i < text.size() && text[i] != ',' && !endsRecord(text, i)) ++i;
        field.assign(text.substr(start, i - start));
      }
      record.fields.push_back(std::move(field));
      more = i < text.size() && text[i] == ',';
      if (more) ++i;
    }
    if (i < text.size()) {
      i += text[i] == '\r' ? 2 : 1;
      ++line;
    }
    records.push_back(std::move(record));
  }
  return records;
}

std::string row(std::span<const std::string> fields) {
  std::string out;
  for (const std::string& field : fields) {
    if (&field != fields.data()) out += ',';
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
      out += field;
      continue;
    }
    out += '"';
    for (char c : field) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out + '\n';
}

}  // namespace ostrel::csv
