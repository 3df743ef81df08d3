#include "edit_transaction.h"

#include <chrono>

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

void mutate(const Edit& edit, const Describe& describe) {
  const std::string location = AgentConfigFile::location();

  // Held until the process ends, past the rename of the save.
  auto lock = AgentConfigFile::lockForEditing(location, lockWait);
  if (!lock.ok()) fail(lock.error().description);

  auto loaded = AgentConfigFile::load(location);
  if (!loaded.ok()) fail(loaded.error().description);

  AgentConfig config = std::move(loaded).value();
  const std::vector<AgentConfig::Complaint> refusals = edit(config);
  const AgentConfig::Validated result = config.validated();

  for (const auto& complaint : refusals) printComplaint(complaint);
  for (const auto& complaint : result.complaints) printComplaint(complaint);

  if (auto saved = AgentConfigFile::save(result.config, location); !saved.ok()) {
    fail("could not write the config: " + saved.error().description);
  }
  printLine(describe(result.config));
}

}  // namespace ostrel::cli
