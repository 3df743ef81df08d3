// Benchmarks of decoded(), validated() and the edit operations, on a record
// at every limit and on hand-edited records far beyond them. The sized
// benchmarks report their complexity so that a cost that is not linear in
// the number of entries shows.
//
// Edits change the record, so each iteration edits a fresh copy; the copy is
// made with the timer paused.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ostrel/agent_config.h"

namespace ostrel {
namespace {

using Rule = AgentConfig::Rule;

// Mostly ASCII, with now and then a decomposed accent or an emoji with a
// skin-tone modifier, so that both the fast and the Unicode paths run.
std::string word(std::int64_t i) {
  switch (i % 20) {
    case 7:
      return "cafe\u0301-" + std::to_string(i);
    case 13:
      return "\U0001F44D\U0001F3FD-" + std::to_string(i);
    case 17:
      return "Stra\u00DFe-" + std::to_string(i);
    default:
      return "word-" + std::to_string(i);
  }
}

// `characters` user-perceived characters, mostly ASCII.
std::string prose(std::int64_t characters, std::int64_t seed) {
  std::string s;
  std::int64_t count = 0;
  while (count < characters) {
    if ((count + seed) % 97 == 0) {
      s += "e\u0301";
    } else if ((count + seed) % 211 == 0) {
      s += "\U0001F44D\U0001F3FD";
    } else {
      s += static_cast<char>('a' + (count + seed) % 26);
      if (count % 7 == 6) s.back() = ' ';
    }
    ++count;
  }
  return s;
}

// Exactly at every limit, and valid: validation keeps all of it.
AgentConfig recordAtLimits() {
  std::vector<std::string> dictionary;
  for (std::int64_t i = 0; i < AgentConfig::maxDictionaryEntries; ++i)
    dictionary.push_back(word(i));
  std::vector<Rule> rules;
  for (std::int64_t i = 0; i < AgentConfig::maxRules; ++i) {
    rules.emplace_back(i % 2 ? "snippet" : "transform", "trigger " + word(i),
                       prose(AgentConfig::maxReplacementLength, i), i % 5 != 0);
  }
  return AgentConfig(1, std::move(dictionary), std::move(rules),
                     prose(AgentConfig::maxStyleLength, 3));
}

// A file written by other means: `entries` dictionary entries with blanks
// around some, case repeats, blank and over-long ones, and one rule for every
// ten entries with the same kinds of defects.
AgentConfig handEditedRecord(std::int64_t entries) {
  std::vector<std::string> dictionary;
  dictionary.reserve(static_cast<std::size_t>(entries));
  for (std::int64_t i = 0; i < entries; ++i) {
    switch (i % 10) {
      case 3:
        dictionary.push_back("  " + word(i) + "\t");
        break;
      case 5:
        dictionary.push_back("WORD-" + std::to_string(i - 5));
        break;  // a case repeat
      case 8:
        dictionary.push_back(" \n");
        break;
      case 9:
        dictionary.push_back(i % 1000 == 9 ? prose(150, i) : word(i));
        break;
      default:
        dictionary.push_back(word(i));
        break;
    }
  }
  std::vector<Rule> rules;
  for (std::int64_t i = 0; i < entries / 10; ++i) {
    const std::string trigger = i % 9 == 4 ? " Trigger " + word(i - 1) : "trigger " + word(i);
    rules.emplace_back(i % 13 == 0 ? "Snippet" : "transform", trigger, prose(40, i), true);
  }
  return AgentConfig(1, std::move(dictionary), std::move(rules), "  " + prose(3000, 1));
}

std::vector<std::string> newTerms() {
  return {"Quokka", " quokka ", "new-term", "WORD-1", "cafe\u0301-7", ""};
}
std::vector<std::string> termsToRemove() {
  return {"WORD-10", "word-20", "absent", " Stra\u00DFe-17 "};
}

// Runs `edit` on a fresh copy of `record` in every iteration. Making the copy
// and freeing the last one are not timed.
template <class Edit>
void timeEdit(benchmark::State& state, const AgentConfig& record, Edit edit) {
  AgentConfig copy = record;
  for (auto _ : state) {
    state.PauseTiming();
    copy = record;
    state.ResumeTiming();
    edit(copy);
    benchmark::DoNotOptimize(copy.dictionary.data());
    benchmark::DoNotOptimize(copy.rules.data());
    benchmark::ClobberMemory();
  }
}

// ------------------------------------------------------------ at the limits

const AgentConfig& atLimits() {
  static const AgentConfig record = recordAtLimits();
  return record;
}

void BM_ValidatedAtLimits(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(atLimits().validated());
}
BENCHMARK(BM_ValidatedAtLimits)->Unit(benchmark::kMicrosecond);

void BM_AddTermsAtLimits(benchmark::State& state) {
  const std::vector<std::string> terms = newTerms();
  timeEdit(state, atLimits(), [&](AgentConfig& c) { c.addTerms(terms); });
}
BENCHMARK(BM_AddTermsAtLimits)->Unit(benchmark::kMicrosecond);

void BM_RemoveTermsAtLimits(benchmark::State& state) {
  const std::vector<std::string> terms = termsToRemove();
  timeEdit(state, atLimits(), [&](AgentConfig& c) { c.removeTerms(terms); });
}
BENCHMARK(BM_RemoveTermsAtLimits)->Unit(benchmark::kMicrosecond);

void BM_UpsertRuleAtLimits(benchmark::State& state) {
  // Matches the last stored rule, so the whole list is walked.
  const Rule rule("snippet", " TRIGGER " + word(499) + " ", "replaced", true);
  timeEdit(state, atLimits(),
           [&](AgentConfig& c) { benchmark::DoNotOptimize(c.upsertRule(rule)); });
}
BENCHMARK(BM_UpsertRuleAtLimits)->Unit(benchmark::kMicrosecond);

void BM_RemoveRuleAtLimits(benchmark::State& state) {
  timeEdit(state, atLimits(), [](AgentConfig& c) { c.removeRule("Trigger word-250"); });
}
BENCHMARK(BM_RemoveRuleAtLimits)->Unit(benchmark::kMicrosecond);

// Reading the document of a full config: what every command pays first.
void BM_DecodedAtLimits(benchmark::State& state) {
  const std::string document = atLimits().encoded().value();
  for (auto _ : state) benchmark::DoNotOptimize(AgentConfig::decoded(document));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(document.size()));
}
BENCHMARK(BM_DecodedAtLimits)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------- beyond the limits, by size

const AgentConfig& handEdited(std::int64_t entries) {
  // One record per size, kept for the whole run: building the largest takes
  // longer than timing it.
  static std::map<std::int64_t, AgentConfig> built;
  auto found = built.find(entries);
  if (found == built.end()) found = built.emplace(entries, handEditedRecord(entries)).first;
  return found->second;
}

void sizes(benchmark::internal::Benchmark* b) {
  b->Arg(20'000)
      ->Arg(200'000)
      ->Arg(2'000'000)
      ->Unit(benchmark::kMillisecond)
      ->Complexity(benchmark::oN);
}

void BM_ValidatedHandEdited(benchmark::State& state) {
  const AgentConfig& record = handEdited(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(record.validated());
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ValidatedHandEdited)->Apply(sizes);

void BM_AddTermsHandEdited(benchmark::State& state) {
  const std::vector<std::string> terms = newTerms();
  timeEdit(state, handEdited(state.range(0)), [&](AgentConfig& c) { c.addTerms(terms); });
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_AddTermsHandEdited)->Apply(sizes);

void BM_RemoveTermsHandEdited(benchmark::State& state) {
  const std::vector<std::string> terms = termsToRemove();
  timeEdit(state, handEdited(state.range(0)), [&](AgentConfig& c) { c.removeTerms(terms); });
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_RemoveTermsHandEdited)->Apply(sizes);

void BM_UpsertRuleHandEdited(benchmark::State& state) {
  const Rule rule("snippet", "no such trigger", "appended", true);  // walks every rule
  timeEdit(state, handEdited(state.range(0)),
           [&](AgentConfig& c) { benchmark::DoNotOptimize(c.upsertRule(rule)); });
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_UpsertRuleHandEdited)->Apply(sizes);

void BM_RemoveRuleHandEdited(benchmark::State& state) {
  timeEdit(state, handEdited(state.range(0)),
           [](AgentConfig& c) { c.removeRule("TRIGGER WORD-3"); });
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_RemoveRuleHandEdited)->Apply(sizes);

void BM_DecodedHandEdited(benchmark::State& state) {
  const std::string document = handEdited(state.range(0)).encoded().value();
  for (auto _ : state) benchmark::DoNotOptimize(AgentConfig::decoded(document));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(document.size()));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_DecodedHandEdited)->Apply(sizes);

}  // namespace
}  // namespace ostrel

BENCHMARK_MAIN();
