#include "completion.h"

#include <algorithm>
#include <string>
#include <vector>

#include "ostrel/agent_config.h"
#include "ostrel/edit_session.h"
#include "ostrel/text.h"
#include "output.h"

namespace ostrel::cli {
namespace {

// True when the shell can hand `stored` back to the tool as exactly this text.
bool typable(std::string_view stored) {
  if (stored.empty() || isHelpWord(stored) || !text::isValidUtf8(stored)) return false;
  for (std::size_t at = 0; at < stored.size(); ++at) {
    const auto byte = static_cast<unsigned char>(stored[at]);
    if (byte < 0x20 || byte == 0x7f) return false;
    // U+0080..U+009F are C2 80..C2 9F; the input is valid UTF-8.
    if (byte == 0xc2 && static_cast<unsigned char>(stored[at + 1]) < 0xa0) return false;
  }
  return true;
}

// What `command` completes as the operand at `position`, counting from 0.
Operand operandAt(const Command& command, std::size_t position) {
  const auto shown =
      static_cast<std::size_t>(std::count(command.operands.begin(), command.operands.end(), '<'));
  if (position >= shown && command.operands.ends_with("...")) position = shown - 1;
  return position < std::min(shown, command.completes.size()) ? command.completes[position]
                                                              : Operand::text;
}

// The stored words or triggers; none when the config cannot be read.
std::vector<std::string> stored(Operand what) {
  auto session = EditSession::open();
  if (!session.ok()) return {};
  auto loaded = session.value().load();
  if (!loaded.ok()) return {};
  AgentConfig& config = loaded.value().config;
  if (what == Operand::word) return std::move(config.dictionary);
  std::vector<std::string> triggers;
  for (auto& rule : config.rules) triggers.push_back(std::move(rule.trigger));
  return triggers;
}

}  // namespace

Status complete(const Invocation& in) {
  const std::string current = in.operands.empty() ? "" : in.operands.back();
  const auto before = in.operands.first(in.operands.empty() ? 0 : in.operands.size() - 1);
  std::string out = "words";
  auto offer = [&](std::string_view candidate) {
    if (candidate.starts_with(current)) out.append("\n").append(candidate);
  };

  // The next word of every command whose name continues the words before.
  std::vector<std::string_view> next;
  for (const Command& command : commands()) {
    if (command.listing == Command::Listing::internal) continue;
    std::string_view name = command.name;
    std::size_t matched = 0;
    for (; matched < before.size() && name.starts_with(before[matched] + ' '); ++matched) {
      name.remove_prefix(before[matched].size() + 1);
    }
    const std::string_view word = name.substr(0, name.find(' '));
    if (matched < before.size() || (current.empty() && word.starts_with('-'))) continue;
    if (std::find(next.begin(), next.end(), word) == next.end()) next.push_back(word);
  }
  for (std::string_view word : next) offer(word);

  std::size_t used = 0;
  const Command* command = next.empty() ? selected(before, used) : nullptr;
  if (command && !command->option.empty()) {
    if (current.starts_with('-')) offer(command->option);
    used +=
        static_cast<std::size_t>(std::count(before.begin() + used, before.end(), command->option));
  }
  const Operand operand = command ? operandAt(*command, before.size() - used) : Operand::text;
  // A typed "-" asks for the option, not for a file.
  if (operand == Operand::file && !current.starts_with('-')) return printLine("files");
  if (operand == Operand::kind) {
    for (std::string_view kind : AgentConfig::validKinds) offer(kind);
  } else if (operand == Operand::word || operand == Operand::trigger) {
    for (const std::string& text : stored(operand)) {
      if (typable(text)) offer(text);
    }
  }
  return printLine(out);
}

}  // namespace ostrel::cli
