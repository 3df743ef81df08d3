#include "commands.h"

#include <string_view>
#include <vector>

#include "edit_transaction.h"
#include "hand_edit.h"
#include "ostrel/agent_config.h"
#include "ostrel/agent_config_file.h"
#include "ostrel/text.h"
#include "output.h"
#include "usage.h"

namespace ostrel::cli {
namespace {

struct Invocation {
  std::span<const std::string> args;  // after the program name
  std::span<const std::string> rest;  // args less the command word

  // The arguments after the command and sub-command words.
  std::span<const std::string> operands() const {
    return args.size() > 2 ? args.subspan(2) : std::span<const std::string>();
  }
};

std::string joined(std::span<const std::string> words) {
  std::string text;
  for (const auto& word : words) {
    if (&word != &words.front()) text += ' ';
    text += word;
  }
  return text;
}

std::string validKindsText() {
  std::string text;
  for (std::string_view kind : AgentConfig::validKinds) {
    if (!text.empty()) text += " or ";
    text += kind;
  }
  return text;
}

std::string dictionaryCount(const AgentConfig& config, const EditResult&) {
  return std::to_string(config.dictionary.size()) + " words in the dictionary";
}

// --- Commands that need no config ----------------------------------------

Status printPath(const Invocation&) {
  auto location = AgentConfigFile::location();
  if (!location.ok()) return location.error();
  return printLine(location.value());
}

Status printVersion(const Invocation&) { return printLine("ostrel " OSTREL_VERSION); }

Status check(const Invocation&) { return checkConfig(); }

Status edit(const Invocation&) { return editConfig(); }

// --- Read-only commands: print the config as stored ----------------------

Status show(const AgentConfig& config) {
  auto document = config.encoded();
  if (!document.ok()) return Error{"could not encode the config"};
  return printLine(document.value());
}

// The lines of a list go out in one write: a long list to a pipe would
// otherwise cost a system call per line.
Status listWords(const AgentConfig& config) {
  if (config.dictionary.empty()) return printLine("(no words yet)");
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

// --- Editing commands: check the operands, then hand over the edit ---------

// dict add and dict remove: one dictionary operation over all the words.
Expected<EditTransaction> editWords(const Invocation& in,
                                    void (AgentConfig::*operation)(std::span<const std::string>)) {
  std::vector<std::string> words(in.operands().begin(), in.operands().end());
  if (words.empty()) return Error{"dict " + in.rest[0] + " needs at least one word"};
  return EditTransaction{[words, operation](AgentConfig& c) {
                           (c.*operation)(words);
                           return EditResult{};
                         },
                         dictionaryCount};
}

Expected<EditTransaction> addWords(const Invocation& in) {
  return editWords(in, &AgentConfig::addTerms);
}

Expected<EditTransaction> removeWords(const Invocation& in) {
  return editWords(in, &AgentConfig::removeTerms);
}

Expected<EditTransaction> setRule(const Invocation& in) {
  auto operands = in.operands();
  if (operands.size() != 3) {
    return Error{
        "rule set needs <kind> <trigger> <replacement> \u2014 quote arguments containing spaces"};
  }
  const std::string& kind = operands[0];
  bool known = false;
  for (std::string_view valid : AgentConfig::validKinds) known = known || kind == valid;
  if (!known) {
    return Error{"unknown kind '" + text::escapedForMessage(kind) + "' \u2014 use " +
                 validKindsText()};
  }

  const AgentConfig::Rule rule(kind, operands[1], operands[2], true);
  // A rule that validation would drop is refused without touching the rules
  // already stored: the rule it would have replaced stays where it was.
  auto edit = [rule](AgentConfig& config) {
    std::vector<AgentConfig::Rule> stored = config.rules;
    const std::size_t at = config.upsertRule(rule);
    EditResult result{config.complaintDroppingRule(at)};
    if (result.refusal) config.rules = std::move(stored);
    return result;
  };
  auto describe = [rule](const AgentConfig&, const EditResult& result) -> std::string {
    if (result.refusal) return "rule REFUSED \u2014 see the reason above";
    return "rule set: \"" + rule.trigger + "\" \u2192 \"" + rule.replacement + "\"";
  };
  return EditTransaction{edit, describe};
}

Expected<EditTransaction> removeRule(const Invocation& in) {
  if (in.rest.size() != 2) return Error{"rule remove needs <trigger>"};
  std::string trigger = in.rest[1];
  return EditTransaction{[trigger](AgentConfig& c) {
                           c.removeRule(trigger);
                           return EditResult{};
                         },
                         [](const AgentConfig& c, const EditResult&) {
                           return std::to_string(c.rules.size()) + " rules remain";
                         }};
}

// rule enable and rule disable: every rule with the trigger, already in that
// state or not.
Expected<EditTransaction> switchRules(const Invocation& in, bool enabled) {
  if (in.rest.size() != 2) return Error{"rule " + in.rest[0] + " needs <trigger>"};
  std::string trigger = in.rest[1];
  auto edit = [trigger, enabled](AgentConfig& c) {
    const auto found = c.rulesWithTrigger(trigger);
    if (found.empty()) return EditResult{{}, Error{"no rule has the trigger '" + trigger + "'"}};
    for (std::size_t at : found) c.rules[at].enabled = enabled;
    return EditResult{};
  };
  const std::string prefix = enabled ? "rule enabled: \"" : "rule disabled: \"";
  auto describe = [trigger, prefix](const AgentConfig& c, const EditResult&) {
    std::string lines;
    for (std::size_t at : c.rulesWithTrigger(trigger)) {
      if (!lines.empty()) lines += '\n';
      lines += prefix + c.rules[at].trigger + "\"";
    }
    return lines;
  };
  return EditTransaction{edit, describe};
}

Expected<EditTransaction> enableRules(const Invocation& in) { return switchRules(in, true); }

Expected<EditTransaction> disableRules(const Invocation& in) { return switchRules(in, false); }

Expected<EditTransaction> setStyle(const Invocation& in) {
  std::string style = joined(in.operands());
  if (text::strippedOfSpaces(style).empty()) return Error{"style set needs some text"};
  return EditTransaction{[style](AgentConfig& c) {
                           c.style = style;
                           return EditResult{};
                         },
                         [](const AgentConfig& c, const EditResult&) {
                           return "style: " + (c.style ? *c.style : std::string("(none)"));
                         }};
}

Expected<EditTransaction> clearStyle(const Invocation&) {
  return EditTransaction{
      [](AgentConfig& c) {
        c.style.reset();
        return EditResult{};
      },
      [](const AgentConfig&, const EditResult&) { return std::string("style cleared"); }};
}

// --- The table -------------------------------------------------------------

// What a command needs from the dispatcher.
enum class Phase {
  noLoad,        // answers without the config, or reads it its own way
  loadOnly,      // prints from the config as stored; never writes
  loadAndWrite,  // an edit, run by the transaction
};

struct Command {
  std::string_view word;
  std::string_view subWord;  // empty for a command without sub-commands
  Phase phase;
  Status (*run)(const Invocation&) = nullptr;     // noLoad
  Status (*print)(const AgentConfig&) = nullptr;  // loadOnly
  // loadAndWrite; checks the operands.
  Expected<EditTransaction> (*prepare)(const Invocation&) = nullptr;
};

constexpr Command commandTable[] = {
    {.word = "path", .subWord = "", .phase = Phase::noLoad, .run = printPath},
    {.word = "check", .subWord = "", .phase = Phase::noLoad, .run = check},
    {.word = "edit", .subWord = "", .phase = Phase::noLoad, .run = edit},
    {.word = "--version", .subWord = "", .phase = Phase::noLoad, .run = printVersion},
    {.word = "version", .subWord = "", .phase = Phase::noLoad, .run = printVersion},
    {.word = "show", .subWord = "", .phase = Phase::loadOnly, .print = show},
    {.word = "dict", .subWord = "add", .phase = Phase::loadAndWrite, .prepare = addWords},
    {.word = "dict", .subWord = "remove", .phase = Phase::loadAndWrite, .prepare = removeWords},
    {.word = "dict", .subWord = "list", .phase = Phase::loadOnly, .print = listWords},
    {.word = "rule", .subWord = "set", .phase = Phase::loadAndWrite, .prepare = setRule},
    {.word = "rule", .subWord = "remove", .phase = Phase::loadAndWrite, .prepare = removeRule},
    {.word = "rule", .subWord = "list", .phase = Phase::loadOnly, .print = listRules},
    {.word = "rule", .subWord = "enable", .phase = Phase::loadAndWrite, .prepare = enableRules},
    {.word = "rule", .subWord = "disable", .phase = Phase::loadAndWrite, .prepare = disableRules},
    {.word = "style", .subWord = "set", .phase = Phase::loadAndWrite, .prepare = setStyle},
    {.word = "style", .subWord = "clear", .phase = Phase::loadAndWrite, .prepare = clearStyle},
    {.word = "style", .subWord = "show", .phase = Phase::loadOnly, .print = showStyle},
};

const Command* find(const Invocation& in) {
  for (const Command& command : commandTable) {
    if (in.args[0] != command.word) continue;
    if (command.subWord.empty()) return &command;
    if (!in.rest.empty() && in.rest[0] == command.subWord) return &command;
  }
  return nullptr;
}

}  // namespace

Status dispatch(std::span<const std::string> args) {
  if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    return printLine(usage);
  }
  const Invocation in{args, args.subspan(1)};
  const Command* command = find(in);
  if (command == nullptr) {
    return Error{"unknown command '" + text::escapedForMessage(joined(args)) + "'\n\n" +
                 std::string(usage)};
  }
  if (command->phase == Phase::noLoad) return command->run(in);
  if (command->phase == Phase::loadOnly) {
    auto location = AgentConfigFile::location();
    if (!location.ok()) return location.error();
    auto loaded = AgentConfigFile::load(location.value());
    if (!loaded.ok()) return loaded.error();
    return command->print(loaded.value());
  }
  // A help word typed out of habit asks for help; it is never stored.
  for (const std::string& word : in.operands()) {
    if (word == "--help" || word == "-h") return printLine(usage);
  }
  const auto transaction = command->prepare(in);
  if (!transaction.ok()) return transaction.error();
  return runEdit(transaction.value());
}

}  // namespace ostrel::cli
