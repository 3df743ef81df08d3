#include "commands.h"

#include <memory>
#include <string_view>
#include <vector>

#include "edit_transaction.h"
#include "ostrel/agent_config.h"
#include "ostrel/agent_config_file.h"
#include "ostrel/text.h"
#include "output.h"
#include "usage.h"

namespace ostrel::cli {
namespace {

using Complaints = std::vector<AgentConfig::Complaint>;

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

std::string dictionaryCount(const AgentConfig& config) {
  return std::to_string(config.dictionary.size()) + " words in the dictionary";
}

// --- Commands that need no config ----------------------------------------

void printPath(const Invocation&) { printLine(AgentConfigFile::location()); }

// --- Read-only commands: print the config as stored ----------------------

void show(const AgentConfig& config) {
  auto document = config.encoded();
  if (!document.ok()) fail("could not encode the config");
  printLine(document.value());
}

// The lines of a list go out in one write: a long list to a pipe would
// otherwise cost a system call per line.
void listWords(const AgentConfig& config) {
  if (config.dictionary.empty()) return printLine("(no words yet)");
  std::string lines;
  for (const auto& word : config.dictionary) {
    if (&word != &config.dictionary.front()) lines += '\n';
    lines += word;
  }
  printLine(lines);
}

void listRules(const AgentConfig& config) {
  if (config.rules.empty()) return printLine("(no rules yet)");
  std::string lines;
  for (const auto& rule : config.rules) {
    if (&rule != &config.rules.front()) lines += '\n';
    lines.append(rule.kind).append("\t\"").append(rule.trigger).append("\" \u2192 \"");
    lines.append(rule.replacement).append("\"");
    if (!rule.enabled) lines += "  (disabled)";
  }
  printLine(lines);
}

void showStyle(const AgentConfig& config) {
  printLine(config.style ? *config.style : "(no style set)");
}

// --- Editing commands: check the operands, then hand over the edit ---------

// dict add and dict remove: one dictionary operation over all the words.
Transaction editWords(const Invocation& in,
                      void (AgentConfig::*operation)(std::span<const std::string>)) {
  std::vector<std::string> words(in.operands().begin(), in.operands().end());
  if (words.empty()) fail("dict " + in.rest[0] + " needs at least one word");
  return {[words, operation](AgentConfig& c) {
            (c.*operation)(words);
            return Complaints();
          },
          dictionaryCount};
}

Transaction addWords(const Invocation& in) { return editWords(in, &AgentConfig::addTerms); }

Transaction removeWords(const Invocation& in) { return editWords(in, &AgentConfig::removeTerms); }

Transaction setRule(const Invocation& in) {
  auto operands = in.operands();
  if (operands.size() != 3) {
    fail("rule set needs <kind> <trigger> <replacement> \u2014 quote arguments containing spaces");
  }
  const std::string& kind = operands[0];
  bool known = false;
  for (std::string_view valid : AgentConfig::validKinds) known = known || kind == valid;
  if (!known) fail("unknown kind '" + kind + "' \u2014 use " + validKindsText());

  const AgentConfig::Rule rule(kind, operands[1], operands[2], true);
  auto refused = std::make_shared<bool>(false);
  // A rule that validation would drop is refused without touching the rules
  // already stored: the rule it would have replaced stays where it was.
  auto edit = [rule, refused](AgentConfig& config) -> Complaints {
    std::vector<AgentConfig::Rule> stored = config.rules;
    const std::size_t at = config.upsertRule(rule);
    auto refusal = config.complaintDroppingRule(at);
    if (!refusal) return {};
    *refused = true;
    config.rules = std::move(stored);
    return {*refusal};
  };
  auto describe = [rule, refused](const AgentConfig&) -> std::string {
    if (*refused) return "rule REFUSED \u2014 see the reason above";
    return "rule set: \"" + rule.trigger + "\" \u2192 \"" + rule.replacement + "\"";
  };
  return {edit, describe};
}

Transaction removeRule(const Invocation& in) {
  if (in.rest.size() != 2) fail("rule remove needs <trigger>");
  std::string trigger = in.rest[1];
  return {[trigger](AgentConfig& c) {
            c.removeRule(trigger);
            return Complaints();
          },
          [](const AgentConfig& c) { return std::to_string(c.rules.size()) + " rules remain"; }};
}

Transaction setStyle(const Invocation& in) {
  std::string style = joined(in.operands());
  if (text::strippedOfSpaces(style).empty()) fail("style set needs some text");
  return {[style](AgentConfig& c) {
            c.style = style;
            return Complaints();
          },
          [](const AgentConfig& c) {
            return "style: " + (c.style ? *c.style : std::string("(none)"));
          }};
}

Transaction clearStyle(const Invocation&) {
  return {[](AgentConfig& c) {
            c.style.reset();
            return Complaints();
          },
          [](const AgentConfig&) { return std::string("style cleared"); }};
}

// --- The table -------------------------------------------------------------

// What a command needs from the dispatcher.
enum class Phase {
  noLoad,        // answers without the config
  loadOnly,      // prints from the config as stored; never writes
  loadAndWrite,  // an edit, run by the transaction
};

struct Command {
  std::string_view word;
  std::string_view subWord;  // empty for a command without sub-commands
  Phase phase;
  void (*run)(const Invocation&) = nullptr;             // noLoad
  void (*print)(const AgentConfig&) = nullptr;          // loadOnly
  Transaction (*prepare)(const Invocation&) = nullptr;  // loadAndWrite; checks the operands
};

constexpr Command commandTable[] = {
    {.word = "path", .subWord = "", .phase = Phase::noLoad, .run = printPath},
    {.word = "show", .subWord = "", .phase = Phase::loadOnly, .print = show},
    {.word = "dict", .subWord = "add", .phase = Phase::loadAndWrite, .prepare = addWords},
    {.word = "dict", .subWord = "remove", .phase = Phase::loadAndWrite, .prepare = removeWords},
    {.word = "dict", .subWord = "list", .phase = Phase::loadOnly, .print = listWords},
    {.word = "rule", .subWord = "set", .phase = Phase::loadAndWrite, .prepare = setRule},
    {.word = "rule", .subWord = "remove", .phase = Phase::loadAndWrite, .prepare = removeRule},
    {.word = "rule", .subWord = "list", .phase = Phase::loadOnly, .print = listRules},
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

int dispatch(std::span<const std::string> args) {
  if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    printLine(usage);
    return 0;
  }
  const Invocation in{args, args.subspan(1)};
  const Command* command = find(in);
  if (command == nullptr) {
    fail("unknown command '" + joined(args) + "'\n\n" + std::string(usage));
  }
  switch (command->phase) {
    case Phase::noLoad:
      command->run(in);
      break;
    case Phase::loadAndWrite: {
      const Transaction transaction = command->prepare(in);
      mutate(transaction.edit, transaction.describe);
      break;
    }
    case Phase::loadOnly: {
      auto loaded = AgentConfigFile::load(AgentConfigFile::location());
      if (!loaded.ok()) fail(loaded.error().description);
      command->print(loaded.value());
      break;
    }
  }
  return 0;
}

}  // namespace ostrel::cli
