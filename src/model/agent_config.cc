// Equality of the record and its parts. Texts are equal when canonically
// equivalent, so a precomposed accent equals a letter with a combining one;
// case and blanks still count.

#include "ostrel/agent_config.h"

#include <algorithm>
#include <cstddef>
#include <string>

#include "ostrel/text.h"

namespace ostrel {

bool operator==(const AgentConfig::Rule& a, const AgentConfig::Rule& b) {
  return a.enabled == b.enabled && text::equivalent(a.kind, b.kind) &&
         text::equivalent(a.trigger, b.trigger) && text::equivalent(a.replacement, b.replacement);
}

bool operator==(const AgentConfig::Complaint& a, const AgentConfig::Complaint& b) {
  return text::equivalent(a.subject, b.subject) && text::equivalent(a.reason, b.reason);
}

bool operator==(const AgentConfig& a, const AgentConfig& b) {
  if (a.version != b.version || a.dictionary.size() != b.dictionary.size() || a.rules != b.rules ||
      a.style.has_value() != b.style.has_value()) {
    return false;
  }
  for (std::size_t i = 0; i < a.dictionary.size(); ++i) {
    if (!text::equivalent(a.dictionary[i], b.dictionary[i])) return false;
  }
  return !a.style || text::equivalent(*a.style, *b.style);
}

std::string AgentConfig::summary() const {
  const auto disabled = std::count_if(rules.begin(), rules.end(),
                                      [](const AgentConfig::Rule& rule) { return !rule.enabled; });
  std::string text =
      std::to_string(dictionary.size()) + " words, " + std::to_string(rules.size()) + " rules";
  if (disabled > 0) text += " (" + std::to_string(disabled) + " disabled)";
  return text + (style ? ", style set" : ", no style");
}

}  // namespace ostrel
