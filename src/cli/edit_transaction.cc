#include "edit_transaction.h"

#include <chrono>
#include <utility>
#include <vector>

#include "ostrel/agent_config_file.h"
#include "output.h"

namespace ostrel::cli {
namespace {

// Long enough for any edit another run has under way, short enough that a
// stuck run is reported rather than waited on forever.
constexpr std::chrono::seconds lockWait{10};

void printComplaint(const AgentConfig::Complaint& complaint) {
  printError("dropped '" + complaint.subject + "' \u2014 " + complaint.reason);
}

}  // namespace

Status runEdit(const EditTransaction& transaction) {
  const std::string location = AgentConfigFile::location();

  // Held until this function returns, past the rename of the save.
  auto lock = AgentConfigFile::lockForEditing(location, lockWait);
  if (!lock.ok()) return lock.error();

  auto loaded = AgentConfigFile::load(location);
  if (!loaded.ok()) return loaded.error();

  AgentConfig config = std::move(loaded).value();
  const EditResult edited = transaction.edit(config);
  if (edited.failure) return *edited.failure;
  const AgentConfig::Validated result = config.validated();

  if (edited.refusal) printComplaint(*edited.refusal);
  for (const auto& complaint : result.complaints) printComplaint(complaint);

  if (auto saved = AgentConfigFile::save(result.config, location); !saved.ok()) {
    return saved.error().within("could not write the config");
  }
  return printLine(transaction.describe(result.config, edited));
}

}  // namespace ostrel::cli

namespace ostrel::cli {

Status saveUnlessChanged(const AgentConfig& config, const std::optional<std::string>& expected) {
  const std::string location = AgentConfigFile::location();
  auto lock = AgentConfigFile::lockForEditing(location, lockWait);
  if (!lock.ok()) return lock.error();
  auto current = AgentConfigFile::readBytes(location);
  if (!current.ok()) return current.error();
  if (current.value() != expected) {
    return Error{"the config changed while you were editing; nothing was saved"};
  }
  if (auto saved = AgentConfigFile::save(config, location); !saved.ok()) {
    return saved.error().within("could not write the config");
  }
  return {};
}

}  // namespace ostrel::cli
