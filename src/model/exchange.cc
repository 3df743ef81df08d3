#include "ostrel/exchange.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "csv.h"
#include "ostrel/text.h"
#include "validation.h"

namespace ostrel::exchange {
namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

Error onLine(std::size_t line, std::string_view reason) {
  return Error{"line " + std::to_string(line) + ": " + std::string(reason)};
}

// `bytes` without a leading byte-order mark, once every line is UTF-8 (and,
// unless `nulAllowed`, free of NUL bytes).
Expected<std::string_view> checkedText(std::string_view bytes, bool nulAllowed) {
  if (bytes.starts_with(byteOrderMark)) bytes.remove_prefix(byteOrderMark.size());
  std::size_t line = 1;
  for (std::string_view rest = bytes; !rest.empty(); ++line) {
    const std::size_t end = std::min(rest.find('\n'), rest.size());
    const std::string_view text = rest.substr(0, end);
    if (!nulAllowed && text.find('\0') != std::string_view::npos) {
      return onLine(line, "holds a NUL byte");
    }
    if (!text::isValidUtf8(text)) return onLine(line, "not valid UTF-8 text");
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  return bytes;
}

std::string asciiLowercased(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return out;
}

std::optional<bool> enabledValue(std::string_view field) {
  const std::string value = asciiLowercased(field);
  if (value.empty() || value == "true" || value == "1" || value == "yes") return true;
  if (value == "false" || value == "0" || value == "no") return false;
  return std::nullopt;
}

enum Column { kind, trigger, replacement, enabled, columns };
constexpr std::array<std::string_view, columns> columnNames = {"kind", "trigger", "replacement",
                                                               "enabled"};

}  // namespace

Expected<std::vector<std::string>> wordList(std::string_view bytes) {
  auto checked = checkedText(bytes, false);
  if (!checked.ok()) return checked.error();
  std::string_view rest = checked.value();
  std::vector<std::string> words;
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find('\n'), rest.size());
    std::string_view word = rest.substr(0, end);
    if (word.ends_with('\r')) word.remove_suffix(1);
    if (!word.empty()) words.emplace_back(word);
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  if (words.size() == 1 && words[0] == noWords) words.clear();
  return words;
}

Expected<RuleTable> ruleTable(std::string_view bytes) {
  auto checked = checkedText(bytes, true);
  if (!checked.ok()) return checked.error();
  auto records = csv::parse(checked.value());
  if (!records.ok()) return records.error();
  // An empty line reads as one empty field, which no table row can be.
  std::erase_if(records.value(),
                [](const csv::Record& r) { return r.fields.size() == 1 && r.fields[0].empty(); });
  if (records.value().empty()) {
    return onLine(1, "no header; the first row names the columns trigger and replacement");
  }
  const csv::Record& header = records.value().front();
  std::array<std::optional<std::size_t>, columns> position;
  RuleTable table;
  for (std::size_t i = 0; i < header.fields.size(); ++i) {
    const std::string name = asciiLowercased(text::strippedOfSpaces(header.fields[i]));
    const auto known = std::find(columnNames.begin(), columnNames.end(), name);
    if (known == columnNames.end()) {
      table.ignoredColumns.push_back(header.fields[i]);
      continue;
    }
    auto& slot = position[static_cast<std::size_t>(known - columnNames.begin())];
    if (slot) {
      return onLine(header.line, "two columns are named '" + text::escapedForMessage(name) + "'");
    }
    slot = i;
  }
  for (Column required : {trigger, replacement}) {
    if (!position[required]) {
      return onLine(header.line, "no '" + std::string(columnNames[required]) + "' column");
    }
  }
  for (auto record = records.value().begin() + 1; record != records.value().end(); ++record) {
    const auto& fields = record->fields;
    if (fields.size() != header.fields.size()) {
      return onLine(record->line, std::to_string(fields.size()) + " fields where the header has " +
                                      std::to_string(header.fields.size()));
    }
    auto field = [&](Column c) { return position[c] ? fields[*position[c]] : std::string(); };
    std::string kindText = field(kind);
    if (kindText.empty()) kindText = "snippet";
    if (std::string problem = kindProblem(kindText); !problem.empty()) {
      return onLine(record->line, problem);
    }
    const std::optional<bool> on = enabledValue(field(enabled));
    if (!on) {
      return onLine(record->line, "enabled is '" + text::escapedForMessage(field(enabled)) +
                                      "' \u2014 use true or false");
    }
    table.rows.push_back({record->line, {kindText, field(trigger), field(replacement), *on}});
  }
  return table;
}

std::string ruleTableOf(std::span<const AgentConfig::Rule> rules) {
  std::string out = csv::row(std::vector<std::string>(columnNames.begin(), columnNames.end()));
  for (const AgentConfig::Rule& rule : rules) {
    out += csv::row(std::array<std::string, columns>{rule.kind, rule.trigger, rule.replacement,
                                                     rule.enabled ? "true" : "false"});
  }
  return out;
}

std::string kindProblem(std::string_view kind) {
  const std::optional<std::string> complaint = validation::kindComplaint(kind);
  return complaint ? text::escapedForMessage(*complaint) : std::string();
}

}  // namespace ostrel::exchange
