#include "commands.h"

#include <string_view>
#include <vector>

#include "completion.h"
#include "edit_transaction.h"
#include "hand_edit.h"
#include "imports.h"
#include "ostrel/agent_config.h"
#include "ostrel/agent_config_file.h"
#include "ostrel/exchange.h"
#include "ostrel/text.h"
#include "output.h"
#include "versions.h"

namespace ostrel::cli {
namespace {

using Change = EditSession::Change;

std::string joined(std::span<const std::string> words) {
  std::string text;
  for (const auto& word : words) {
    if (&word != &words.front()) text += ' ';
    text += word;
  }
  return text;
}

constexpr std::string_view refused = "rule REFUSED \u2014 see the reason above";

// --- Commands that need no config ----------------------------------------

Status printUsage(const Invocation&) { return printLine(usage()); }

Status printPath(const Invocation&) {
  auto location = AgentConfigFile::location();
  if (!location.ok()) return location.error();
  return printLine(location.value());
}

Status printVersion(const Invocation&) { return printLine("ostrel " OSTREL_VERSION); }

Status check(const Invocation&) { return checkConfig(); }

Status edit(const Invocation& in) { return editConfig(in); }

// --- Read-only commands: print the config as stored ----------------------

// Loads the config as stored and prints from it; never writes.
template <Status (*print)(const AgentConfig&)>
Status fromStored(const Invocation&) {
  auto session = EditSession::open();
  if (!session.ok()) return session.error();
  auto loaded = session.value().load();
  if (!loaded.ok()) return loaded.error();
  return print(loaded.value().config);
}

Status show(const AgentConfig& config) {
  auto document = config.encoded();
  if (!document.ok()) return Error{"could not encode the config"};
  return printLine(document.value());
}

// The lines of a list go out in one write: a long list to a pipe would
// otherwise cost a system call per line.
Status listWords(const AgentConfig& config) {
  if (config.dictionary.empty()) return printLine(exchange::noWords);
  std::string lines;
  for (const auto& word : config.dictionary) {
    if (&word != &config.dictionary.front()) lines += '\n';
    lines += word;
  }
  return printLine(lines);
}

Status listRules(const AgentConfig& config) {
  if (config.rules.empty()) return printLine("(no rules yet)");
  std::string lines;
  for (const auto& rule : config.rules) {
    if (&rule != &config.rules.front()) lines += '\n';
    lines.append(rule.kind).append("\t\"").append(rule.trigger).append("\" \u2192 \"");
    lines.append(rule.replacement).append("\"");
    if (!rule.enabled) lines += "  (disabled)";
  }
  return printLine(lines);
}

Status showStyle(const AgentConfig& config) {
  return printLine(config.style ? *config.style : "(no style set)");
}

// --- Editing commands: check the operands, then run the edit ---------------

// Checks the operands, then runs the edit they make.
template <Expected<EditTransaction> (*prepare)(const Invocation&)>
Status editing(const Invocation& in) {
  const auto transaction = prepare(in);
  if (!transaction.ok()) return transaction.error();
  return runEdit(in, transaction.value());
}

// dict add and dict remove: one dictionary operation over all the words.
template <class Result>
Expected<EditTransaction> editWords(
    const Invocation& in, Result (AgentConfig::*operation)(std::span<const std::string>)) {
  std::vector<std::string> words(in.operands.begin(), in.operands.end());
  if (words.empty()) return Error{"dict " + in.args[1] + " needs at least one word"};
  return EditTransaction{[words, operation](AgentConfig& c) -> Expected<Change> {
                           (c.*operation)(words);
                           return Change{};
                         },
                         [](const AgentConfig& c, const Change&) { return dictionaryCount(c); }};
}

Expected<EditTransaction> addWords(const Invocation& in) {
  return editWords(in, &AgentConfig::addTerms);
}

Expected<EditTransaction> removeWords(const Invocation& in) {
  return editWords(in, &AgentConfig::removeTerms);
}

Expected<EditTransaction> setRule(const Invocation& in) {
  if (in.operands.size() != 3) {
    return Error{
        "rule set needs <kind> <trigger> <replacement> \u2014 quote arguments containing spaces"};
  }
  const std::string& kind = in.operands[0];
  if (std::string problem = exchange::kindProblem(kind); !problem.empty()) return Error{problem};

  const AgentConfig::Rule rule(kind, in.operands[1], in.operands[2], true);
  // A rule that validation would drop is refused without touching the rules
  // already stored: the rule it would have replaced stays where it was.
  auto edit = [rule](AgentConfig& config) -> Expected<Change> {
    auto taken = config.upsertRules(std::span(&rule, 1));
    Change change;
    if (taken[0].refusal) change.refusals.push_back(std::move(*taken[0].refusal));
    return change;
  };
  auto describe = [rule](const AgentConfig&, const Change& change) -> std::string {
    if (!change.refusals.empty()) return std::string(refused);
    return "rule set: \"" + rule.trigger + "\" \u2192 \"" + rule.replacement + "\"";
  };
  return EditTransaction{edit, describe};
}

Expected<EditTransaction> removeRule(const Invocation& in) {
  if (in.operands.size() != 1) return Error{"rule remove needs <trigger>"};
  std::string trigger = in.operands[0];
  return EditTransaction{[trigger](AgentConfig& c) -> Expected<Change> {
                           c.removeRule(trigger);
                           return Change{};
                         },
                         [](const AgentConfig& c, const Change&) {
                           return std::to_string(c.rules.size()) + " rules remain";
                         }};
}

// rule enable and rule disable: every rule with the trigger, already in that
// state or not.
Expected<EditTransaction> switchRules(const Invocation& in, bool enabled) {
  if (in.operands.size() != 1) return Error{"rule " + in.args[1] + " needs <trigger>"};
  std::string trigger = in.operands[0];
  auto edit = [trigger, enabled](AgentConfig& c) -> Expected<Change> {
    const auto found = c.rulesWithTrigger(trigger);
    if (found.empty()) {
      return Error{"no rule has the trigger '" + text::escapedForMessage(trigger) + "'"};
    }
    for (std::size_t at : found) c.rules[at].enabled = enabled;
    return Change{};
  };
  const std::string prefix = enabled ? "rule enabled: \"" : "rule disabled: \"";
  // From the rules as saved: validation may have dropped the one switched.
  auto describe = [trigger, prefix](const AgentConfig& c, const Change&) {
    std::string lines;
    for (std::size_t at : c.rulesWithTrigger(trigger)) {
      if (!lines.empty()) lines += '\n';
      lines += prefix + c.rules[at].trigger + "\"";
    }
    return lines.empty() ? std::string(refused) : lines;
  };
  return EditTransaction{edit, describe};
}

Expected<EditTransaction> enableRules(const Invocation& in) { return switchRules(in, true); }

Expected<EditTransaction> disableRules(const Invocation& in) { return switchRules(in, false); }

Expected<EditTransaction> setStyle(const Invocation& in) {
  std::string style = joined(in.operands);
  if (text::strippedOfSpaces(style).empty()) return Error{"style set needs some text"};
  return EditTransaction{[style](AgentConfig& c) -> Expected<Change> {
                           c.style = style;
                           return Change{};
                         },
                         [](const AgentConfig& c, const Change&) {
                           return "style: " + (c.style ? *c.style : std::string("(none)"));
                         }};
}

Expected<EditTransaction> clearStyle(const Invocation&) {
  return EditTransaction{
      [](AgentConfig& c) -> Expected<Change> {
        c.style.reset();
        return Change{};
      },
      [](const AgentConfig&, const Change&) { return std::string("style cleared"); }};
}

// --- The table -------------------------------------------------------------

using Listing = Command::Listing;
constexpr bool acts = true;      // "--help" or "-h" among its operands asks for help
constexpr bool answers = false;  // ignores what follows its name

// clang-format off
constexpr Command table[] = {
    {"help", "", "", Listing::hidden, answers, printUsage},
    {"--help", "", "", Listing::hidden, answers, printUsage},
    {"-h", "", "", Listing::hidden, answers, printUsage},
    {"__complete", "", "", Listing::internal, answers, complete},
    {"show", "", "Print the current config as JSON.", Listing::listed, answers, fromStored<show>},
    {"path", "", "Print the config file's location.", Listing::listed, answers, printPath},
    {"check", "", "Report what the next edit would repair; change nothing.", Listing::listed, acts,
     check},
    {"edit", "", "Edit the file in $EDITOR; checked before it is saved.", Listing::listed, acts,
     edit},
    {"history", "", "List the kept versions, newest first.", Listing::listed, acts, listHistory},
    {"undo", "", "Put back the config as it was before the last change.", Listing::listed, acts,
     undo},
    {"restore", "<n>", "Put back version <n> of the history.", Listing::listed, acts, restore},
    {"--version", "", "Print the version.", Listing::listed, answers, printVersion},
    {"version", "", "", Listing::hidden, answers, printVersion},
    {"dict add", "<word>...", "Teach the recognizer words it mangles.", Listing::afterBlankLine,
     acts, editing<addWords>},
    {"dict remove", "<word>...", "", Listing::listed, acts, editing<removeWords>, {Operand::word}},
    {"dict list", "", "", Listing::listed, answers, fromStored<listWords>},
    {"dict import", "<file>", "Add the words of a file, one per line (- reads stdin).",
     Listing::listed, acts, editing<importWords>, {Operand::file}, dryRunOption},
    {"rule set", "<kind> <trigger> <replacement>",
     "<kind> is 'snippet' (say a phrase, get text) or\n'transform' (rewrite how something is said).",
     Listing::afterBlankLine, acts, editing<setRule>, {Operand::kind}},
    {"rule remove", "<trigger>", "", Listing::listed, acts, editing<removeRule>, {Operand::trigger}},
    {"rule enable", "<trigger>", "", Listing::listed, acts, editing<enableRules>,
     {Operand::trigger}},
    {"rule disable", "<trigger>", "", Listing::listed, acts, editing<disableRules>,
     {Operand::trigger}},
    {"rule list", "", "", Listing::listed, answers, fromStored<listRules>},
    {"rule import", "<file>", "Set the rules of a CSV file (- reads stdin).", Listing::listed, acts,
     editing<importRules>, {Operand::file}, dryRunOption},
    {"rule export", "", "Print the rules as CSV, as rule import reads them.", Listing::listed,
     answers, fromStored<exportRules>},
    {"style set", "<text>", "Guidance handed to cleanup, e.g. \"Write emails formally.\"",
     Listing::afterBlankLine, acts, editing<setStyle>},
    {"style clear", "", "", Listing::listed, acts, editing<clearStyle>},
    {"style show", "", "", Listing::listed, answers, fromStored<showStyle>},
    {"merge", "<file>", "Add another config's words and rules; keep yours.", Listing::listed, acts,
     editing<mergeConfig>, {Operand::file}, dryRunOption},
};
// clang-format on

// The number of leading arguments that spell `name`, or 0 when they do not.
std::size_t wordsMatched(std::string_view name, std::span<const std::string> args) {
  std::size_t used = 0;
  while (!name.empty()) {
    const std::size_t space = std::min(name.find(' '), name.size());
    if (used == args.size() || args[used] != name.substr(0, space)) return 0;
    ++used;
    name.remove_prefix(std::min(space + 1, name.size()));
  }
  return used;
}

// The column where descriptions start, counting from 0.
constexpr std::size_t summaryColumn = 39;

}  // namespace

std::span<const Command> commands() { return table; }

const Command* selected(std::span<const std::string> args, std::size_t& used) {
  for (const Command& command : table) {
    used = wordsMatched(command.name, args);
    if (used > 0) return &command;
  }
  return nullptr;
}

bool isHelpWord(std::string_view word) { return word == "--help" || word == "-h"; }

const std::string& usage() {
  static const std::string text = [] {
    std::string out = "ostrel \u2014 edit Ostrel's dictionary, rules and style.\n\nUSAGE\n";
    for (const Command& command : table) {
      if (command.listing == Listing::hidden || command.listing == Listing::internal) continue;
      if (command.listing == Listing::afterBlankLine) out += '\n';
      std::string line = "  ostrel " + std::string(command.name);
      if (!command.operands.empty()) line += " " + std::string(command.operands);
      std::string_view summary = command.summary;
      while (!summary.empty()) {
        // A description that does not fit beside the command goes below it.
        if (line.size() >= summaryColumn) {
          out += line + '\n';
          line.clear();
        }
        line.resize(summaryColumn, ' ');
        const std::size_t end = std::min(summary.find('\n'), summary.size());
        line += summary.substr(0, end);
        summary.remove_prefix(std::min(end + 1, summary.size()));
      }
      out += line + '\n';
    }
    return out +
           "\n"
           "EXAMPLES\n"
           "  ostrel dict add RunPod Kubernetes Ostrel\n"
           "  ostrel rule set snippet \"my email\" \"me@example.com\"\n"
           "  ostrel style set \"Keep my writing terse. British spelling.\"\n"
           "\n"
           "NOTES\n"
           "  Edits are idempotent \u2014 running the same command twice is the same as running it "
           "once.\n"
           "  Setting a rule whose trigger already exists REPLACES it rather than adding a "
           "second.\n"
           "  Changes are picked up by Ostrel immediately; it does not need restarting.";
  }();
  return text;
}

Status dispatch(std::span<const std::string> args) {
  if (args.empty()) return printLine(usage());
  std::size_t used = 0;
  const Command* command = selected(args, used);
  if (!command) {
    return Error{"unknown command '" + text::escapedForMessage(joined(args)) + "'\n\n" + usage()};
  }
  const Invocation in{args, args.subspan(used)};
  // A help word typed out of habit asks for help; it is never stored.
  if (command->helpAmongOperands) {
    for (const std::string& word : in.operands) {
      if (isHelpWord(word)) return printLine(usage());
    }
  }
  return command->run(in);
}

}  // namespace ostrel::cli
