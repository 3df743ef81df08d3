// The edit operations of AgentConfig: what matches what, and where entries go.
// A key is the text trimmed then lower-cased, for arguments and stored values
// alike: validation trims what it stores, so a hand-edited " brb " is the
// rule brb, and an edit that matched it only untrimmed would contradict
// itself when run twice. Limits, kinds and leftover repeats are left to
// validated().

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "ostrel/agent_config.h"
#include "ostrel/text.h"

namespace ostrel {
namespace {

text::Key keyOf(std::string_view term) { return text::Key::of(text::trimmed(term)); }

}  // namespace

void AgentConfig::addTerms(std::span<const std::string> terms) {
  struct Candidate {
    std::string_view trimmed;
    text::Key key;
  };
  std::vector<Candidate> candidates;
  candidates.reserve(terms.size());
  std::unordered_set<text::Key> wanted;
  wanted.reserve(terms.size());
  for (const std::string& term : terms) {
    const std::string_view trimmed = text::trimmed(term);
    if (trimmed.empty()) continue;
    candidates.push_back({trimmed, text::Key::of(trimmed)});
    wanted.insert(candidates.back().key);
  }
  if (candidates.empty()) return;

  // Only the entries present when the call begins count as stored: two
  // spellings of one word in a single call are both appended, and
  // validation keeps the first. The lookup runs from the dictionary towards
  // the few terms, so a huge hand-edited dictionary is scanned once and never
  // held in a hash set of its own.
  std::unordered_set<text::Key> alreadyStored;
  for (const std::string& entry : dictionary) {
    text::Key key = keyOf(entry);
    if (wanted.contains(key)) alreadyStored.insert(std::move(key));
  }

  // Copied out before anything is appended, so that `terms` stays valid
  // even if it views this very dictionary.
  std::vector<std::string> added;
  for (const Candidate& candidate : candidates) {
    if (!alreadyStored.contains(candidate.key)) added.emplace_back(candidate.trimmed);
  }
  dictionary.reserve(dictionary.size() + added.size());
  for (std::string& term : added) dictionary.push_back(std::move(term));
}

void AgentConfig::removeTerms(std::span<const std::string> terms) {
  // A blank term keeps its empty key: it removes only blank entries.
  std::unordered_set<text::Key> removalKeys;
  removalKeys.reserve(terms.size());
  for (const std::string& term : terms) removalKeys.insert(keyOf(term));
  if (removalKeys.empty()) return;
  std::erase_if(dictionary,
                [&](const std::string& entry) { return removalKeys.contains(keyOf(entry)); });
}

std::size_t AgentConfig::upsertRule(Rule rule) {
  const text::Key key = keyOf(rule.trigger);
  for (std::size_t i = 0; i < rules.size(); ++i) {
    if (keyOf(rules[i].trigger) == key) {
      // Replaced whole, trigger spelling and blanks included; validation
      // trims the trigger afterwards.
      rules[i] = std::move(rule);
      return i;
    }
  }
  rules.push_back(std::move(rule));
  return rules.size() - 1;
}

void AgentConfig::removeRule(std::string_view trigger) {
  // The key is made before anything moves, in case `trigger` views a
  // stored rule.
  const text::Key key = keyOf(trigger);
  std::erase_if(rules, [&](const Rule& rule) { return keyOf(rule.trigger) == key; });
}

std::vector<std::size_t> AgentConfig::rulesWithTrigger(std::string_view trigger) const {
  const text::Key key = keyOf(trigger);
  std::vector<std::size_t> found;
  for (std::size_t i = 0; i < rules.size(); ++i) {
    if (keyOf(rules[i].trigger) == key) found.push_back(i);
  }
  return found;
}

}  // namespace ostrel
