// Records built from fuzz data, run through the four edit operations and a
// style assignment, then validated(). Checks that nothing crashes, that the
// repaired record respects every limit, that validating it again finds
// nothing to complain about, and that validated() leaves its input alone.
//
// Texts are built from pieces chosen to reach the Unicode corners of the
// text conventions (blanks at the ends, combining marks, case mappings that
// change length, clusters of many code points) and the limits (long runs,
// many entries).

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "fuzz_check.h"
#include "ostrel/agent_config.h"
#include "ostrel/text.h"

namespace {

using ostrel::AgentConfig;
using Rule = AgentConfig::Rule;
namespace text = ostrel::text;

const char* const pieces[] = {
    "a", "Q", "z", "0", "-", " ", "\t", "\r", "\n", "\r\n", "\u0085", "\u00A0", "\u2028",
    "\u3000", "\u0301", "e\u0301", "\u00E9", "\u0130", "\u03A3", "\u00DF", "\u212A",
    "\u1E9E", "\u0600", "\u200D", "\U0001F44D\U0001F3FD", "\U0001F1E9\U0001F1EA",
    "\u1112\u1161\u11AB", "\u0915\u094D\u0937", "trigger", "TRIGGER", "snippet",
    "transform", "\xF0\x9F",  // a truncated sequence: the record may hold any bytes
};
constexpr std::size_t pieceCount = sizeof pieces / sizeof pieces[0];

// Mostly 1, now and then up to `most`: how often to repeat something.
std::size_t repeatsFrom(FuzzedDataProvider& data, std::size_t most) {
  if (data.ConsumeIntegralInRange<int>(0, 7) != 0) return 1;
  return data.ConsumeIntegralInRange<std::size_t>(1, most);
}

// A text of pieces; now and then a long run of one piece, to cross the
// length limits.
std::string textFrom(FuzzedDataProvider& data) {
  std::string s;
  const std::size_t parts = data.ConsumeIntegralInRange<std::size_t>(0, 12);
  for (std::size_t i = 0; i < parts; ++i) {
    const char* piece = pieces[data.ConsumeIntegralInRange<std::size_t>(0, pieceCount - 1)];
    const std::size_t times = repeatsFrom(data, 2100);
    for (std::size_t t = 0; t < times; ++t) s += piece;
  }
  return s;
}

std::string kindFrom(FuzzedDataProvider& data) {
  switch (data.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: return "snippet";
    case 1: return "transform";
    case 2: return "Snippet";
    default: return textFrom(data);
  }
}

Rule ruleFrom(FuzzedDataProvider& data) {
  std::string kind = kindFrom(data);
  std::string trigger = textFrom(data);
  std::string replacement = textFrom(data);
  return Rule(std::move(kind), std::move(trigger), std::move(replacement), data.ConsumeBool());
}

std::vector<std::string> termsFrom(FuzzedDataProvider& data) {
  std::vector<std::string> terms(data.ConsumeIntegralInRange<std::size_t>(0, 4));
  for (std::string& term : terms) term = textFrom(data);
  return terms;
}

// Only short entries and rules are copied many times, which keeps a run
// small and fast.
constexpr std::size_t maxCopiedBytes = 200;

// A record as a hand-edited file might hold it. Entries and rules may be
// repeated many times, to cross the caps on their numbers.
AgentConfig recordFrom(FuzzedDataProvider& data) {
  AgentConfig config(data.ConsumeIntegral<std::int64_t>(), {}, {}, std::nullopt);
  const std::size_t entries = data.ConsumeIntegralInRange<std::size_t>(0, 8);
  for (std::size_t i = 0; i < entries; ++i) {
    const std::string entry = textFrom(data);
    std::size_t copies = repeatsFrom(data, 2100);
    if (entry.size() > maxCopiedBytes) copies = std::min<std::size_t>(copies, 2);
    const bool numbered = data.ConsumeBool();  // distinct entries, or repeats
    for (std::size_t c = 0; c < copies; ++c) {
      config.dictionary.push_back(numbered ? entry + std::to_string(c) : entry);
    }
  }
  const std::size_t rules = data.ConsumeIntegralInRange<std::size_t>(0, 6);
  for (std::size_t i = 0; i < rules; ++i) {
    const Rule rule = ruleFrom(data);
    std::size_t copies = repeatsFrom(data, 520);
    if (rule.trigger.size() + rule.replacement.size() > 20 * maxCopiedBytes) {
      copies = std::min<std::size_t>(copies, 2);
    }
    for (std::size_t c = 0; c < copies; ++c) {
      config.rules.push_back(rule);
      if (data.ConsumeBool()) config.rules.back().trigger += std::to_string(c);
    }
  }
  if (data.ConsumeBool()) config.style = textFrom(data);
  return config;
}

void applyEdits(FuzzedDataProvider& data, AgentConfig& config) {
  const std::size_t edits = data.ConsumeIntegralInRange<std::size_t>(0, 6);
  for (std::size_t i = 0; i < edits && data.remaining_bytes() > 0; ++i) {
    switch (data.ConsumeIntegralInRange<int>(0, 6)) {
      case 0: config.addTerms(termsFrom(data)); break;
      case 1: config.removeTerms(termsFrom(data)); break;
      case 2: config.upsertRule(ruleFrom(data)); break;
      case 3: config.removeRule(textFrom(data)); break;
      case 4: config.style = textFrom(data); break;
      case 5: config.style.reset(); break;
      default:
        // Terms that view the dictionary being edited.
        config.addTerms(config.dictionary);
        break;
    }
  }
}

bool sameBytes(const AgentConfig& a, const AgentConfig& b) {
  if (a.version != b.version || a.dictionary != b.dictionary || a.style != b.style ||
      a.rules.size() != b.rules.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.rules.size(); ++i) {
    if (a.rules[i].kind != b.rules[i].kind || a.rules[i].trigger != b.rules[i].trigger ||
        a.rules[i].replacement != b.rules[i].replacement || a.rules[i].enabled != b.rules[i].enabled) {
      return false;
    }
  }
  return true;
}

std::size_t characters(const std::string& s) { return text::characterCount(s); }
bool isTrimmed(const std::string& s) { return text::trimmed(s).size() == s.size(); }

void checkWithinLimits(const AgentConfig::Validated& result) {
  const AgentConfig& config = result.config;
  FUZZ_CHECK(config.dictionary.size() <= static_cast<std::size_t>(AgentConfig::maxDictionaryEntries));
  std::unordered_set<text::Key> words;
  for (const std::string& entry : config.dictionary) {
    FUZZ_CHECK(!entry.empty() && isTrimmed(entry));
    FUZZ_CHECK(characters(entry) <= static_cast<std::size_t>(AgentConfig::maxTermLength));
    FUZZ_CHECK(words.insert(text::Key::of(entry)).second);
  }

  FUZZ_CHECK(config.rules.size() <= static_cast<std::size_t>(AgentConfig::maxRules));
  std::unordered_set<text::Key> triggers;
  for (const Rule& rule : config.rules) {
    FUZZ_CHECK(rule.kind == "snippet" || rule.kind == "transform");
    FUZZ_CHECK(!rule.trigger.empty() && isTrimmed(rule.trigger));
    FUZZ_CHECK(characters(rule.trigger) <= static_cast<std::size_t>(AgentConfig::maxTermLength));
    FUZZ_CHECK(characters(rule.replacement) <= static_cast<std::size_t>(AgentConfig::maxReplacementLength));
    const text::Key key = text::Key::of(rule.trigger);
    if (rule.kind == "transform") FUZZ_CHECK(!text::Key::of(rule.replacement).contains(key));
    FUZZ_CHECK(triggers.insert(key).second);
  }

  if (config.style) {
    const std::string& style = *config.style;
    FUZZ_CHECK(!style.empty());
    FUZZ_CHECK(characters(style) <= static_cast<std::size_t>(AgentConfig::maxStyleLength));
    // Trimmed, except that a style cut to the limit may end in a blank.
    bool cut = false;
    for (const auto& complaint : result.complaints) cut = cut || complaint.subject == "style";
    FUZZ_CHECK(cut ? text::trimmed(style).data() == style.data() : isTrimmed(style));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  FuzzedDataProvider data(bytes, size);
  AgentConfig config = recordFrom(data);
  applyEdits(data, config);

  const AgentConfig before = config;
  const AgentConfig::Validated first = config.validated();
  FUZZ_CHECK(sameBytes(config, before));
  FUZZ_CHECK(first.config.version == config.version);
  checkWithinLimits(first);

  // Validating the repaired record again finds nothing to complain about;
  // at most it trims the end of a style that was cut.
  const AgentConfig::Validated second = first.config.validated();
  FUZZ_CHECK(second.complaints.empty());
  FUZZ_CHECK(second.config.dictionary == first.config.dictionary);
  AgentConfig expected = first.config;
  if (expected.style) expected.style = std::string(text::trimmed(*expected.style));
  FUZZ_CHECK(sameBytes(second.config, expected));
  return 0;
}
