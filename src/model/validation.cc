// AgentConfig::validated(): turns any record, hand-edited or just changed by
// an edit, into one that respects every limit, and says what it dropped or
// cut. Blanks, blank and repeated dictionary entries and a blank style are
// repaired without a complaint, as nothing the user meant is lost, but are
// listed as repairs for `check`; everything else that is lost gets a
// complaint.
//
// Cost is linear in the size of the record: one pass over each list, every
// key computed once, hash sets for repeats, and long texts measured only when
// their byte length leaves any doubt.

#include "validation.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "ostrel/agent_config.h"
#include "ostrel/text.h"

namespace ostrel {
namespace {

using Complaint = AgentConfig::Complaint;
using Rule = AgentConfig::Rule;

// How many characters of an over-long entry or trigger a complaint quotes.
constexpr std::size_t quotedCharacters = 40;

std::size_t asSize(std::int64_t limit) { return static_cast<std::size_t>(limit); }

// True when `s` has more than `limit` user-perceived characters. A character
// takes at least one byte, so a text of at most `limit` bytes passes without
// being segmented. A longer one is segmented only as far as its first `limit`
// characters: when they do not reach its end, it is too long, and a huge
// entry costs no more than a short one.
bool longerThan(std::string_view s, std::int64_t limit) {
  if (s.size() <= asSize(limit)) return false;
  return text::firstCharacters(s, asSize(limit)).size() < s.size();
}

std::string quoted(std::string_view s) {
  return std::string(text::firstCharacters(s, quotedCharacters));
}

using Effect = Complaint::Effect;

Complaint trimmedRepair(std::string_view item) {
  return {std::string(item), "blanks at either end", Effect::trim};
}

// `text` cut to `trimmed`, a view of it, with the repair listed when that
// cut anything; a text that needs no cut is moved.
std::string takenTrimmed(std::string& text, std::string_view trimmed,
                         std::vector<Complaint>& repairs) {
  if (trimmed.size() == text.size()) return std::move(text);
  repairs.push_back(trimmedRepair(trimmed));
  return std::string(trimmed);
}

std::string unknownKindReason(std::string_view kind) {
  std::string reason = "unknown kind '" + std::string(kind) + "' \u2014 use ";
  for (std::size_t i = 0; i < AgentConfig::validKinds.size(); ++i) {
    if (i > 0) reason += " or ";
    reason += AgentConfig::validKinds[i];
  }
  return reason;
}

bool isValidKind(std::string_view kind) {
  for (std::string_view valid : AgentConfig::validKinds) {
    if (kind == valid) return true;
  }
  return false;
}

// Trimmed, non-blank, not over-long entries, the first spelling of each key,
// capped at maxDictionaryEntries.
std::vector<std::string> validatedDictionary(std::vector<std::string>& dictionary,
                                             std::vector<Complaint>& complaints,
                                             std::vector<Complaint>& repairs) {
  const std::size_t cap = asSize(AgentConfig::maxDictionaryEntries);
  std::vector<std::string> survivors;
  survivors.reserve(std::min(dictionary.size(), cap));
  // Each key's survivor, which a repeat names.
  std::unordered_map<text::Key, std::size_t> seen;
  seen.reserve(std::min(dictionary.size(), cap + 1));
  bool overCap = false;

  for (std::string& entry : dictionary) {
    const std::string_view trimmed = text::trimmed(entry);
    if (trimmed.empty()) {
      repairs.push_back({quoted(entry), "a blank word", Effect::remove});
      continue;
    }
    if (longerThan(trimmed, AgentConfig::maxTermLength)) {
      complaints.push_back(
          {quoted(trimmed),
           "longer than " + std::to_string(AgentConfig::maxTermLength) + " characters"});
      continue;
    }
    // Once one survivor beyond the cap is known, later entries can only
    // matter for their length complaint: repeats are dropped silently and
    // new ones would be cut anyway.
    if (overCap) continue;
    text::Key key = text::Key::of(trimmed);
    if (auto first = seen.find(key); first != seen.end()) {
      repairs.push_back(
          {std::string(trimmed), "repeats '" + survivors[first->second] + "'", Effect::remove});
      continue;
    }
    if (survivors.size() == cap) {
      overCap = true;
      continue;
    }
    seen.emplace(std::move(key), survivors.size());
    survivors.push_back(takenTrimmed(entry, trimmed, repairs));
  }

  if (overCap) {
    complaints.push_back({"dictionary", "more than " +
                                            std::to_string(AgentConfig::maxDictionaryEntries) +
                                            " entries; extra ones ignored"});
  }
  return survivors;
}

// The complaint that drops `rule`, or nothing when it survives; a survivor's
// key is added to `seen`. The tests run in a fixed order and the first that
// fails decides.
std::optional<Complaint> ruleComplaint(const Rule& rule, std::string_view trigger,
                                       std::unordered_set<text::Key>& seen) {
  if (trigger.empty()) return Complaint{"(empty trigger)", "a rule needs something to match"};
  if (!isValidKind(rule.kind)) return Complaint{std::string(trigger), unknownKindReason(rule.kind)};
  if (longerThan(trigger, AgentConfig::maxTermLength)) {
    return Complaint{
        quoted(trigger),
        "trigger longer than " + std::to_string(AgentConfig::maxTermLength) + " characters"};
  }
  if (longerThan(rule.replacement, AgentConfig::maxReplacementLength)) {
    return Complaint{std::string(trigger), "replacement longer than " +
                                               std::to_string(AgentConfig::maxReplacementLength) +
                                               " characters"};
  }
  text::Key key = text::Key::of(trigger);
  // A snippet may quote its own trigger; a transform that did would rewrite
  // its own output forever.
  if (rule.kind != "snippet" && text::Key::of(rule.replacement).contains(key)) {
    return Complaint{std::string(trigger), "replacement contains the trigger, which would loop"};
  }
  if (!seen.insert(std::move(key)).second) {
    return Complaint{std::string(trigger), "duplicate trigger; keeping the first"};
  }
  return std::nullopt;
}

Complaint rulesCapComplaint() {
  return {"rules", "more than " + std::to_string(AgentConfig::maxRules) + "; extra ones ignored"};
}

// The rules that pass every test, triggers trimmed, capped at maxRules.
std::vector<Rule> validatedRules(std::vector<Rule>& rules, std::vector<Complaint>& complaints,
                                 std::vector<Complaint>& repairs) {
  const std::size_t cap = asSize(AgentConfig::maxRules);
  std::vector<Rule> survivors;
  survivors.reserve(std::min(rules.size(), cap));
  // Unlike the dictionary, every survivor's key is needed to the end: a
  // duplicate beyond the cap still gets its own complaint.
  std::unordered_set<text::Key> seen;
  seen.reserve(rules.size());
  bool overCap = false;

  for (Rule& rule : rules) {
    const std::string_view trigger = text::trimmed(rule.trigger);
    if (std::optional<Complaint> complaint = ruleComplaint(rule, trigger, seen)) {
      complaints.push_back(std::move(*complaint));
    } else if (survivors.size() < cap) {
      std::string kept = takenTrimmed(rule.trigger, trigger, repairs);
      survivors.emplace_back(std::move(rule.kind), std::move(kept), std::move(rule.replacement),
                             rule.enabled);
    } else {
      overCap = true;
    }
  }

  if (overCap) complaints.push_back(rulesCapComplaint());
  return survivors;
}

// The trimmed style, absent when blank, cut to maxStyleLength characters. The
// cut is not trimmed again, so it may end in a blank.
std::optional<std::string> validatedStyle(const std::optional<std::string>& style,
                                          std::vector<Complaint>& complaints,
                                          std::vector<Complaint>& repairs) {
  if (!style) return std::nullopt;
  const std::string_view trimmed = text::trimmed(*style);
  if (trimmed.empty()) {
    repairs.push_back({"style", "only blanks", Effect::remove});
    return std::nullopt;
  }
  if (longerThan(trimmed, AgentConfig::maxStyleLength)) {
    complaints.push_back(
        {"style",
         "longer than " + std::to_string(AgentConfig::maxStyleLength) + " characters; truncated",
         Effect::cut});
    return std::string(text::firstCharacters(trimmed, asSize(AgentConfig::maxStyleLength)));
  }
  if (trimmed.size() != style->size()) repairs.push_back(trimmedRepair("style"));
  return std::string(trimmed);
}

}  // namespace

AgentConfig::Validated AgentConfig::validated() const& { return AgentConfig(*this).validated(); }

AgentConfig::Validated AgentConfig::validated() && {
  // The helpers run in this order so that the complaints come out in it:
  // dictionary entries, dictionary cap, rules, rules cap, style.
  std::vector<Complaint> complaints, repairs;
  std::vector<std::string> survivingEntries = validatedDictionary(dictionary, complaints, repairs);
  std::vector<Rule> survivingRules = validatedRules(rules, complaints, repairs);
  std::optional<std::string> repairedStyle = validatedStyle(style, complaints, repairs);
  return Validated{AgentConfig(version, std::move(survivingEntries), std::move(survivingRules),
                               std::move(repairedStyle)),
                   std::move(complaints), std::move(repairs)};
}

namespace validation {

std::optional<Complaint> ownComplaint(const Rule& rule) {
  std::unordered_set<text::Key> none;
  return ruleComplaint(rule, text::trimmed(rule.trigger), none);
}

std::size_t firstCappedRule(const std::vector<Rule>& rules) {
  // Whether a rule survives depends only on the rules before it: their keys
  // make duplicates and their number decides the cap. No more rules than
  // the cap can reach it.
  if (rules.size() <= asSize(AgentConfig::maxRules)) return rules.size();
  std::unordered_set<text::Key> seen;
  std::size_t survivors = 0, at = 0;
  for (; at < rules.size() && survivors < asSize(AgentConfig::maxRules); ++at) {
    if (!ruleComplaint(rules[at], text::trimmed(rules[at].trigger), seen)) ++survivors;
  }
  return at;
}

Complaint capComplaint() { return rulesCapComplaint(); }

std::optional<std::string> kindComplaint(std::string_view kind) {
  if (isValidKind(kind)) return std::nullopt;
  return unknownKindReason(kind);
}

}  // namespace validation

}  // namespace ostrel
