#include "edit_transaction.h"

#include <chrono>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "ostrel/agent_config_file.h"
#include "ostrel/text.h"
#include "output.h"

namespace ostrel::cli {
namespace {

// Long enough for any edit another run has under way, short enough that a
// stuck run is reported rather than waited on forever.
constexpr std::chrono::seconds lockWait{10};
// A wait this long is no longer a blink, so say what the run is waiting for.
constexpr std::chrono::seconds lockPatience{1};

// Prints each complaint line once: a refused rule's reason can be the very
// finding that validation makes about the stored record.
class ComplaintPrinter {
 public:
  void print(const AgentConfig::Complaint& complaint) {
    std::string line = "dropped '" + text::escapedForMessage(complaint.subject) + "' \u2014 " +
                       text::escapedForMessage(complaint.reason);
    if (printed_.insert(line).second) printError(line);
  }

 private:
  std::unordered_set<std::string> printed_;
};

// The edit lock, with a word to the user when another edit keeps it long.
Expected<AgentConfigFile::EditLock> lockForEditing(const std::string& location) {
  return AgentConfigFile::lockForEditing(
      location, lockWait,
      {lockPatience, [] { printError("waiting for another ostrel edit to finish\u2026"); }});
}

// A failure once the new file is in place: the user must not believe that
// nothing happened.
Error afterSaving(std::string_view whatFailed) {
  Error error{"the config was saved, but " + std::string(whatFailed)};
  error.saved = true;
  return error;
}

// Saves the record, naming a failure before the rename as a failed write and
// one after it as a change that was saved all the same.
Status saveAt(const AgentConfig& config, const std::string& location) {
  const Status saved = AgentConfigFile::save(config, location);
  if (saved.ok()) return saved;
  if (saved.error().saved) return afterSaving(saved.error().description);
  return saved.error().within("could not write the config");
}

}  // namespace

Status runEdit(const EditTransaction& transaction) {
  const auto found = AgentConfigFile::location();
  if (!found.ok()) return found.error();
  const std::string& location = found.value();

  // Held until this function returns, past the rename of the save.
  auto lock = lockForEditing(location);
  if (!lock.ok()) return lock.error();

  auto loaded = AgentConfigFile::loadWithDrops(location);
  if (!loaded.ok()) return loaded.error();

  AgentConfig config = std::move(loaded.value().config);
  const EditResult edited = transaction.edit(config);
  if (edited.failure) return *edited.failure;
  const AgentConfig::Validated result = config.validated();

  ComplaintPrinter printer;
  if (edited.refusal) printer.print(*edited.refusal);
  // Unknown keys and earlier values of repeated keys are not written back.
  for (const auto& complaint : loaded.value().dropped) printer.print(complaint);
  for (const auto& complaint : result.complaints) printer.print(complaint);

  if (auto saved = saveAt(result.config, location); !saved.ok()) return saved;
  if (auto printed = printLine(transaction.describe(result.config, edited)); !printed.ok()) {
    return afterSaving("the report could not be written: " +
                       Error::fromErrno(printed.error().code).description);
  }
  return {};
}

Status saveUnlessChanged(const AgentConfig& config, const std::optional<std::string>& expected) {
  const auto found = AgentConfigFile::location();
  if (!found.ok()) return found.error();
  const std::string& location = found.value();
  auto lock = lockForEditing(location);
  if (!lock.ok()) return lock.error();
  auto current = AgentConfigFile::readBytes(location);
  if (!current.ok()) return current.error();
  if (current.value() != expected) {
    return Error{"the config changed while you were editing; nothing was saved"};
  }
  return saveAt(config, location);
}

}  // namespace ostrel::cli
