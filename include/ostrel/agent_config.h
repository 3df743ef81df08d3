// AgentConfig: the in-memory form of agent-config.json, the settings file
// shared with the desktop application. A plain value: copying it copies all of
// its contents. This header is the model's record, its JSON document, its
// limits, its validation and its edit operations; none of them touch a file,
// print or exit.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ostrel/expected.h"

namespace ostrel {

struct AgentConfig {
  // One text rule: a snippet (say a phrase, get text) or a transform
  // (rewrite how something is said).
  struct Rule {
    Rule(std::string kind, std::string trigger, std::string replacement, bool enabled)
        : kind(std::move(kind)),
          trigger(std::move(trigger)),
          replacement(std::move(replacement)),
          enabled(enabled) {}

    std::string kind;
    std::string trigger;
    std::string replacement;
    bool enabled;

    // Texts compare by canonical equivalence; case and blanks count.
    friend bool operator==(const Rule& a, const Rule& b);
  };

  // One finding about what a save changes: the item (`subject`), what is
  // wrong with it (`reason`) and what happens to it (`effect`).
  struct Complaint {
    enum class Effect {
      drop,    // the item is gone
      cut,     // the item is shortened (the style)
      trim,    // blanks at its ends go; nothing the user meant is lost
      remove,  // a blank or repeated item goes; nothing the user meant is lost
    };

    std::string subject;
    std::string reason;
    Effect effect = Effect::drop;
    // The line of an imported file that held the item; 0 for none.
    std::size_t line = 0;

    // A repair that an edit makes without a word: only `check` lists it.
    bool silent() const { return effect == Effect::trim || effect == Effect::remove; }

    // By subject and reason.
    friend bool operator==(const Complaint& a, const Complaint& b);
  };

  // The result of validated(): the repaired record, the complaints in the
  // order they were found, and the silent repairs.
  struct Validated;

  // The result of decodedWithDrops(): the record, and what the document held
  // that the record cannot: unknown keys (at the top level and in rules) and
  // the later occurrences of repeated keys, in file order.
  struct Decoded;

  static constexpr std::string_view filename = "agent-config.json";
  static constexpr std::int64_t maxDictionaryEntries = 2000;
  static constexpr std::int64_t maxRules = 500;
  static constexpr std::int64_t maxTermLength = 100;
  static constexpr std::int64_t maxReplacementLength = 2000;
  static constexpr std::int64_t maxStyleLength = 2000;
  static constexpr std::array<std::string_view, 2> validKinds = {"snippet", "transform"};

  AgentConfig(std::int64_t version, std::vector<std::string> dictionary, std::vector<Rule> rules,
              std::optional<std::string> style)
      : version(version),
        dictionary(std::move(dictionary)),
        rules(std::move(rules)),
        style(std::move(style)) {}

  std::int64_t version;
  std::vector<std::string> dictionary;
  std::vector<Rule> rules;
  std::optional<std::string> style;  // absent and empty are different

  // The JSON document: pretty-printed, keys sorted, two-space indent, no
  // escaped "/", non-ASCII as UTF-8, no line break after the final "}".
  // Fails only when a text is not valid UTF-8, which a record made by
  // decoded() or from checked input never holds.
  Expected<std::string> encoded() const;

  // Strict decoding of a JSON document, read as the desktop application
  // reads it. Never crashes or hangs, whatever the bytes. The text may be
  // UTF-8, UTF-16 or UTF-32, told by its byte-order mark or by where its
  // first four bytes are zero. The error text says what failed and where:
  // the key path (for example "rules[3].enabled") or, for a syntax error,
  // line and column. Which failure is named does not depend on where it
  // stands: text that is not JSON first, then the keys in the order
  // "version", "dictionary", "rules", "style"; within "rules" the first rule
  // with a problem, and in a rule its keys in the order "kind", "trigger",
  // "replacement", "enabled". Of two equal keys (equal once unescaped) the
  // first one counts; a later one must be JSON but is otherwise ignored. A
  // version written with a fraction or exponent is read when its value is an
  // exact 64-bit integer (1.0, 1e2). Unknown keys are ignored; a missing or
  // null "style" is absent. Throws nothing but std::bad_alloc, when the
  // document does not fit in memory.
  static Expected<AgentConfig> decoded(std::string_view json);

  // decoded(), also saying what the record leaves out: each unknown key, as a
  // Complaint whose subject is its path ("language", "rules[0].app_hotkey")
  // and whose reason is "unknown key, not kept", and each later occurrence of
  // a repeated key, with the reason "repeated key; the first one is kept".
  // What stands inside a value that is not kept is not listed on its own.
  static Expected<Decoded> decodedWithDrops(std::string_view json);

  // A copy that respects every limit, what had to be dropped or cut to get
  // there, and what was tidied without loss (blanks trimmed, blank and
  // repeated words and a blank style removed). Never fails. On an rvalue
  // the texts are moved into the result, which spares a copy of a large
  // record; otherwise *this is left as it is.
  Validated validated() const&;
  Validated validated() &&;

  // The edit operations. They only decide what matches and where entries go;
  // limits, kinds and leftover duplicates are validated()'s business. A term
  // or trigger matches when both are equal once trimmed and lower-cased, the
  // argument and the stored value alike, so a hand-edited " brb " is brb.

  // Appends each term, trimmed, unless blank or already stored (in any
  // capitalisation) when the call begins. Terms of one call are not compared
  // with one another. Returns how many terms were already stored.
  std::size_t addTerms(std::span<const std::string> terms);

  // How many dictionary entries match none of `earlier`.
  std::size_t termsNotIn(std::span<const std::string> earlier) const;

  // Removes every entry matching any of the terms; survivors keep their order.
  void removeTerms(std::span<const std::string> terms);

  // Replaces the first rule whose trigger matches rule.trigger, whole and in
  // place, or appends the rule when none matches. Returns the position where
  // the rule now stands.
  std::size_t upsertRule(Rule rule);

  // How upsertRules() took one rule.
  struct Upserted {
    enum class How { added, replaced, unchanged, refused } how;
    std::optional<Complaint> refusal = std::nullopt;  // why, when refused
  };

  // upsertRule() of each rule in turn, except that a rule validated() would
  // drop (its own complaint, or the cap on the number of rules) is refused:
  // it changes nothing, the stored rule of its trigger included. A rule that
  // is byte for byte the one it would replace, triggers trimmed, is
  // unchanged. Costs one pass over the stored rules, however many are given.
  std::vector<Upserted> upsertRules(std::span<const Rule> given);

  // What merge() kept of this record over the other's.
  struct Merged {
    std::vector<Upserted> added;              // upsertRules() of the other's new rules
    std::size_t rulesKept = 0;                // the other's rules whose trigger is stored
    std::vector<std::string> differingRules;  // of those, the stored triggers of
                                              // rules that differ
    bool differingStyle = false;              // a stored style kept over another
  };

  // Takes what `other` has and this record lacks: its words as addTerms()
  // adds them, its rules whose trigger is not stored as upsertRules() sets
  // them, and its style when this record has none (or a blank one).
  Merged merge(const AgentConfig& other);

  // Removes every rule whose trigger matches; survivors keep their order.
  void removeRule(std::string_view trigger);

  // The positions of the rules whose trigger matches, in rule order.
  std::vector<std::size_t> rulesWithTrigger(std::string_view trigger) const;

  // What the record holds, in one line: "3 words, 2 rules (1 disabled),
  // style set".
  std::string summary() const;

  // Field by field; texts compare by canonical equivalence.
  friend bool operator==(const AgentConfig& a, const AgentConfig& b);
};

struct AgentConfig::Validated {
  AgentConfig config;
  std::vector<Complaint> complaints;  // what is dropped or cut, in the order found
  std::vector<Complaint> repairs;     // silent ones, in record order
};

struct AgentConfig::Decoded {
  AgentConfig config;
  std::vector<Complaint> dropped;
};

}  // namespace ostrel
