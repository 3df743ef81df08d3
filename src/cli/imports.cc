#include "imports.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <memory>
#include <utility>
#include <vector>

#include "ostrel/exchange.h"
#include "ostrel/text.h"
#include "output.h"

namespace ostrel::cli {
namespace {

using Change = EditSession::Change;
using How = AgentConfig::Upserted::How;

// An import's whole input, read before the edit so that no lock is held
// while a pipe or a terminal is slow to deliver it.
struct Input {
  std::string name;  // as messages name it: the path as given, or "standard input"
  std::string bytes;
  bool dryRun = false;

  // `error` ("line N: …") as the message that names this input.
  Error at(const Error& error) const { return Error{name + ", " + error.description}; }
};

std::string commandName(const Invocation& in) {
  std::string name;
  for (std::size_t i = 0; i + in.operands.size() < in.args.size(); ++i) {
    name += (i ? " " : "") + in.args[i];
  }
  return name;
}

// Reads the file named by the one operand that is not --dry-run, or standard
// input for "-". Unlike the config, it may be a pipe or a device: a user who
// names one asks for it to be read. Reads no more than the limit allows.
Expected<Input> inputOf(const Invocation& in) {
  std::vector<std::string> paths;
  Input input;
  for (const std::string& operand : in.operands) {
    if (operand == dryRunOption) {
      input.dryRun = true;
    } else {
      paths.push_back(operand);
    }
  }
  if (paths.size() != 1) return Error{commandName(in) + " needs <file> (- reads standard input)"};
  const bool standard = paths[0] == "-";
  input.name = standard ? "standard input" : text::escapedForMessage(paths[0]);
  const std::string source = standard ? input.name : "'" + input.name + "'";
  auto failed = [&](int code) {
    return Error{"could not read " + source + ": " + Error::fromErrno(code).description, code};
  };
  const int fd = standard ? STDIN_FILENO : ::open(paths[0].c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return failed(errno);
  const std::unique_ptr<const int, void (*)(const int*)> closer(
      standard ? nullptr : &fd, [](const int* open) { ::close(*open); });
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) return failed(EISDIR);
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return failed(errno);
    if (n == 0) return input;
    input.bytes.append(buffer.data(), static_cast<std::size_t>(n));
    if (input.bytes.size() > exchange::maxInputBytes) {
      return Error{input.name + ": larger than 16 MiB, the most an import reads"};
    }
  }
}

std::string count(std::size_t n, std::string_view what) { return std::to_string(n).append(what); }

}  // namespace

std::string dictionaryCount(const AgentConfig& config) {
  return count(config.dictionary.size(), " words in the dictionary");
}

Expected<EditTransaction> importWords(const Invocation& in) {
  auto input = inputOf(in);
  if (!input.ok()) return input.error();
  auto words = exchange::wordList(input.value().bytes);
  if (!words.ok()) return input.value().at(words.error());
  // What the edit found when it last ran, for the report.
  struct Tally {
    std::vector<std::string> earlier;
    std::size_t known = 0;
  };
  auto tally = std::make_shared<Tally>();
  auto edit = [words = std::move(words).value(), tally](AgentConfig& c) -> Expected<Change> {
    tally->earlier = c.dictionary;
    tally->known = c.addTerms(words);
    return Change{};
  };
  auto describe = [tally](const AgentConfig& saved, const Change&) {
    return "dict import: " + count(saved.termsNotIn(tally->earlier), " added, ") +
           count(tally->known, " already there; ") + dictionaryCount(saved);
  };
  return EditTransaction{edit, describe, input.value().dryRun};
}

Expected<EditTransaction> importRules(const Invocation& in) {
  auto input = inputOf(in);
  if (!input.ok()) return input.error();
  auto table = exchange::ruleTable(input.value().bytes);
  if (!table.ok()) return input.value().at(table.error());
  std::vector<AgentConfig::Rule> rules;
  for (const auto& row : table.value().rows) rules.push_back(row.rule);
  std::vector<std::string> notes;
  for (const std::string& column : table.value().ignoredColumns) {
    notes.push_back("ignored column '" + text::escapedForMessage(column) + "'");
  }
  auto tally = std::make_shared<std::array<std::size_t, 3>>();  // added, replaced, unchanged
  auto edit = [rows = std::move(table.value().rows), rules, notes,
               tally](AgentConfig& c) -> Expected<Change> {
    const auto taken = c.upsertRules(rules);
    Change change{{}, notes};
    tally->fill(0);
    for (std::size_t i = 0; i < taken.size(); ++i) {
      if (taken[i].refusal) {
        change.refusals.push_back(*taken[i].refusal);
        change.refusals.back().line = rows[i].line;
      } else {
        ++(*tally)[static_cast<std::size_t>(taken[i].how)];
      }
    }
    return change;
  };
  auto describe = [tally](const AgentConfig& saved, const Change&) {
    return "rule import: " + count((*tally)[0], " added, ") + count((*tally)[1], " replaced, ") +
           count((*tally)[2], " unchanged; ") + count(saved.rules.size(), " rules");
  };
  return EditTransaction{edit, describe, input.value().dryRun};
}

Status exportRules(const AgentConfig& config) {
  std::string table = exchange::ruleTableOf(config.rules);
  table.pop_back();  // printLine ends the last line
  return printLine(table);
}

Expected<EditTransaction> mergeConfig(const Invocation& in) {
  auto input = inputOf(in);
  if (!input.ok()) return input.error();
  auto decoded = AgentConfig::decodedWithDrops(input.value().bytes);
  if (!decoded.ok()) return decoded.error().within(input.value().name + " is not valid JSON");
  struct Tally {
    std::vector<std::string> earlier;
    std::size_t rulesAdded = 0, kept = 0;
  };
  auto tally = std::make_shared<Tally>();
  auto edit = [other = std::move(decoded).value().config,
               tally](AgentConfig& c) -> Expected<Change> {
    tally->earlier = c.dictionary;
    const AgentConfig::Merged merged = c.merge(other);
    Change change;
    for (const std::string& trigger : merged.differingRules) {
      change.notes.push_back("kept your rule '" + text::escapedForMessage(trigger) +
                             "' \u2014 the merged file's differs (`ostrel rule set` replaces it)");
    }
    if (merged.differingStyle)
      change.notes.push_back("kept your style \u2014 the merged file's differs");
    tally->rulesAdded = 0;
    for (const auto& taken : merged.added) {
      if (taken.refusal) change.refusals.push_back(*taken.refusal);
      tally->rulesAdded += taken.how == How::added;
    }
    tally->kept = merged.rulesKept;
    return change;
  };
  auto describe = [tally](const AgentConfig& saved, const Change&) {
    return "merge: " + count(saved.termsNotIn(tally->earlier), " words added, ") +
           count(tally->rulesAdded, " rules added, ") + count(tally->kept, " kept as they were");
  };
  return EditTransaction{edit, describe, input.value().dryRun};
}

}  // namespace ostrel::cli
