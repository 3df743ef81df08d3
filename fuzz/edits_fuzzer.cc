// Records built from fuzz data, run through the four edit operations and a
// style assignment, then validated(). Checks that nothing crashes, that the
// repaired record respects every limit, and that validating it again finds
// nothing to complain about.
//
// Texts are built from pieces chosen to reach the Unicode corners of the
// text conventions (blanks at the ends, combining marks, case mappings that
// change length, clusters of many code points) and the limits (long runs,
// many entries). The seeds in fuzz/corpus/edits_fuzzer depend on the order in
// which the data is read: keep it.

#include <fuzzer/FuzzedDataProvider.h>

#include <unordered_set>

#include "fuzz_check.h"
#include "ostrel/text.h"
#include "test_support.h"

namespace {

using ostrel::AgentConfig;
using Terms = std::vector<std::string>;
using Data = FuzzedDataProvider;
namespace text = ostrel::text;

// The last is a truncated sequence: a record may hold any bytes.
// clang-format off
const char* const pieces[] = {
    "a", "Q", "z", "0", "-", " ", "\t", "\r", "\n", "\r\n", "\u0085", "\u00A0", "\u2028", "\u3000",
    "\u0301", "e\u0301", "\u00E9", "\u0130", "\u03A3", "\u00DF", "\u212A", "\u1E9E", "\u0600",
    "\u200D", "\U0001F44D\U0001F3FD", "\U0001F1E9\U0001F1EA", "\u1112\u1161\u11AB",
    "\u0915\u094D\u0937", "trigger", "TRIGGER", "snippet", "transform", "\xF0\x9F"};
// clang-format on

std::size_t in(Data& d, std::size_t lo, std::size_t hi) { return d.ConsumeIntegralInRange(lo, hi); }
// Mostly 1, now and then up to `most`: how often to repeat something.
std::size_t repeats(Data& data, std::size_t most) { return in(data, 0, 7) ? 1 : in(data, 1, most); }

// A text of pieces; now and then a long run of one, to cross the length limits.
std::string textFrom(Data& data) {
  std::string s;
  for (std::size_t i = in(data, 0, 12); i > 0; --i) {
    const char* piece = data.PickValueInArray(pieces);
    for (std::size_t t = repeats(data, 2100); t > 0; --t) s += piece;
  }
  return s;
}

// Braced lists evaluate their elements in order, so the data is read in order.
AgentConfig::Rule ruleFrom(Data& data) {
  const char* kind = data.PickValueInArray<const char*>({"snippet", "transform", "Snippet", {}});
  return {kind ? kind : textFrom(data), textFrom(data), textFrom(data), data.ConsumeBool()};
}

// A record as a hand-edited file might hold it, after some edits. Entries
// and rules are now and then copied many times, numbered, to cross the caps
// on their numbers; a long one only twice, which keeps a run fast.
AgentConfig recordFrom(Data& data) {
  AgentConfig config(data.ConsumeIntegral<std::int64_t>(), {}, {}, std::nullopt);
  for (std::size_t i = in(data, 0, 8); i > 0; --i) {
    const std::string e = textFrom(data);
    const std::size_t n = std::min<std::size_t>(repeats(data, 2100), e.size() > 200 ? 2 : 2100);
    for (std::size_t c = 0; c < n; ++c) config.dictionary.push_back(c ? e + std::to_string(c) : e);
  }
  for (std::size_t i = in(data, 0, 6); i > 0; --i) {
    const auto rule = ruleFrom(data);
    const bool big = rule.trigger.size() + rule.replacement.size() > 4000;
    const std::size_t n = std::min<std::size_t>(repeats(data, 520), big ? 2 : 520);
    for (std::size_t c = 0; c < n; ++c) {
      config.rules.push_back(rule);
      if (c > 0) config.rules.back().trigger += std::to_string(c);
    }
  }
  if (data.ConsumeBool()) config.style = textFrom(data);
  for (std::size_t i = in(data, 0, 6); i > 0; --i) {
    // clang-format off
    switch (data.remaining_bytes() > 0 ? in(data, 0, 6) : 7) {
      case 0: config.addTerms(Terms{textFrom(data), textFrom(data), textFrom(data)}); break;
      case 1: config.removeTerms(Terms{textFrom(data), textFrom(data)}); break;
      case 2: config.upsertRule(ruleFrom(data)); break;
      case 3: config.removeRule(textFrom(data)); break;
      case 4: config.style = textFrom(data); break;
      case 5: config.style.reset(); break;
      case 6: config.addTerms(config.dictionary); break;  // terms that view the dictionary
    }  // clang-format on
  }
  return config;
}

bool within(std::string_view s, std::int64_t n) { return text::characterCount(s) <= size_t(n); }
bool isTrimmed(std::string_view s) { return !s.empty() && text::trimmed(s).size() == s.size(); }
bool isTerm(std::string_view s) { return isTrimmed(s) && within(s, AgentConfig::maxTermLength); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  FuzzedDataProvider data(bytes, size);
  const AgentConfig input = recordFrom(data);
  const auto [config, complaints, repairs] = input.validated();

  // Within every limit.
  FUZZ_CHECK(config.version == input.version);
  FUZZ_CHECK(config.dictionary.size() <= std::size_t{AgentConfig::maxDictionaryEntries});
  FUZZ_CHECK(config.rules.size() <= std::size_t{AgentConfig::maxRules});
  std::unordered_set<text::Key> words, triggers;
  for (const std::string& entry : config.dictionary)
    FUZZ_CHECK(isTerm(entry) && words.insert(text::Key::of(entry)).second);
  for (const auto& rule : config.rules) {
    const text::Key key = text::Key::of(rule.trigger);
    FUZZ_CHECK(isTerm(rule.trigger) && within(rule.replacement, AgentConfig::maxReplacementLength));
    FUZZ_CHECK(rule.kind == "snippet" ||
               (rule.kind == "transform" && !text::Key::of(rule.replacement).contains(key)));
    FUZZ_CHECK(triggers.insert(key).second);
  }
  // The style is trimmed, except that one cut to the limit may end in a blank.
  const bool cut = !complaints.empty() && complaints.back().subject == "style";
  const std::string s = config.style.value_or("");  // the style
  FUZZ_CHECK(within(s, AgentConfig::maxStyleLength));
  FUZZ_CHECK(!config.style || (cut ? text::trimmed(s).data() == s.data() : isTrimmed(s)));

  // Validating the repaired record again finds nothing to complain about;
  // at most it trims the end of a style that was cut.
  const AgentConfig::Validated second = config.validated();
  FUZZ_CHECK(second.complaints.empty());
  AgentConfig expected = config;
  if (cut) expected.style = std::string(text::trimmed(*expected.style));
  FUZZ_CHECK(ostrel::testing::sameBytes(second.config, expected));
  return 0;
}
