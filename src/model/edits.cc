// The edit operations of AgentConfig: what matches what, and where entries go.
// A key is the text trimmed then lower-cased, for arguments and stored values
// alike: validation trims what it stores, so a hand-edited " brb " is the
// rule brb, and an edit that matched it only untrimmed would contradict
// itself when run twice. Limits, kinds and leftover repeats are left to
// validated().

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "ostrel/agent_config.h"
#include "ostrel/text.h"
#include "validation.h"

namespace ostrel {
namespace {

text::Key keyOf(std::string_view term) { return text::Key::of(text::trimmed(term)); }

// Byte for byte, triggers trimmed: what validation saves of both is the same.
bool sameRule(const AgentConfig::Rule& a, const AgentConfig::Rule& b) {
  return a.kind == b.kind && text::trimmed(a.trigger) == text::trimmed(b.trigger) &&
         a.replacement == b.replacement && a.enabled == b.enabled;
}

}  // namespace

std::size_t AgentConfig::addTerms(std::span<const std::string> terms) {
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
  if (candidates.empty()) return 0;

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
  return candidates.size() - added.size();
}

std::size_t AgentConfig::termsNotIn(std::span<const std::string> earlier) const {
  // The set holds this dictionary's keys, not the earlier one's, which may
  // be a huge hand-edited list.
  std::vector<text::Key> keys;
  keys.reserve(dictionary.size());
  for (const std::string& entry : dictionary) keys.push_back(keyOf(entry));
  std::unordered_set<text::Key> fresh(keys.begin(), keys.end());
  for (const std::string& entry : earlier) {
    if (fresh.empty()) break;
    fresh.erase(keyOf(entry));
  }
  return static_cast<std::size_t>(
      std::ranges::count_if(keys, [&](const text::Key& key) { return fresh.contains(key); }));
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

std::vector<AgentConfig::Upserted> AgentConfig::upsertRules(std::span<const Rule> given) {
  using How = Upserted::How;
  std::unordered_map<text::Key, std::size_t> firstWith;  // the rule upsertRule() replaces
  firstWith.reserve(rules.size() + given.size());
  for (std::size_t i = 0; i < rules.size(); ++i) firstWith.try_emplace(keyOf(rules[i].trigger), i);
  const std::size_t storedCount = rules.size();
  std::unordered_map<std::size_t, Rule> replacedStored;     // as loaded, by position
  std::vector<std::pair<std::size_t, std::size_t>> placed;  // (result, position)
  std::vector<Upserted> result;
  result.reserve(given.size());
  for (const Rule& rule : given) {
    if (auto complaint = validation::ownComplaint(rule)) {
      result.push_back({How::refused, std::move(complaint)});
      continue;
    }
    const auto [at, fresh] = firstWith.try_emplace(keyOf(rule.trigger), rules.size());
    if (fresh) {
      rules.push_back(rule);
    } else if (sameRule(rules[at->second], rule)) {
      // The same as a rule this call placed, which the cap may yet refuse.
      if (at->second >= storedCount || replacedStored.contains(at->second)) {
        placed.emplace_back(result.size(), at->second);
      }
      result.push_back({How::unchanged});
      continue;
    } else {
      if (at->second < storedCount) replacedStored.try_emplace(at->second, rules[at->second]);
      rules[at->second] = rule;
    }
    placed.emplace_back(result.size(), at->second);
    result.push_back({fresh ? How::added : How::replaced});
  }
  // A rule placed at or beyond the cap is refused, as validation would drop
  // it there. Placing a rule changes nothing before its own position, so
  // taking back those beyond the cap leaves the cap where it is.
  const std::size_t cap = validation::firstCappedRule(rules);
  for (const auto& [index, position] : placed) {
    if (position < cap) continue;
    result[index] = {How::refused, validation::capComplaint()};
    if (auto stored = replacedStored.find(position); stored != replacedStored.end()) {
      rules[position] = stored->second;
    }
  }
  const std::size_t kept = std::max(cap, storedCount);  // the rules appended beyond the cap go
  if (rules.size() > kept)
    rules.erase(rules.begin() + static_cast<std::ptrdiff_t>(kept), rules.end());
  return result;
}

AgentConfig::Merged AgentConfig::merge(const AgentConfig& other) {
  addTerms(other.dictionary);
  std::unordered_map<text::Key, std::size_t> firstWith;
  for (std::size_t i = 0; i < rules.size(); ++i) firstWith.try_emplace(keyOf(rules[i].trigger), i);
  Merged merged;
  std::vector<Rule> fresh;
  for (const Rule& rule : other.rules) {
    const auto stored = firstWith.find(keyOf(rule.trigger));
    if (stored == firstWith.end()) {
      fresh.push_back(rule);
      continue;
    }
    ++merged.rulesKept;
    const Rule& mine = rules[stored->second];
    if (!sameRule(mine, rule)) merged.differingRules.emplace_back(text::trimmed(mine.trigger));
  }
  merged.added = upsertRules(fresh);
  const auto blank = [](const std::optional<std::string>& s) {
    return !s || text::trimmed(*s).empty();
  };
  if (blank(style)) {
    if (!blank(other.style)) style = other.style;
  } else if (!blank(other.style)) {
    merged.differingStyle = text::trimmed(*style) != text::trimmed(*other.style);
  }
  return merged;
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
