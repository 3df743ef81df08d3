// The transaction every editing command runs in: lock, load, edit, validate,
// report what validation dropped, save atomically, report the result.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ostrel/agent_config.h"

namespace ostrel::cli {

// Changes the loaded record in place. Returns complaints about the edit
// itself (a rule set refused), printed before those of validation.
using Edit = std::function<std::vector<AgentConfig::Complaint>(AgentConfig&)>;

// The report line, computed from the repaired record that was saved.
using Describe = std::function<std::string(const AgentConfig&)>;

// An editing command ready to run: its edit and its report.
struct Transaction {
  Edit edit;
  Describe describe;
};

// Runs one edit of the config at AgentConfigFile::location(). Edits by other runs
// of the tool wait for this one, so none is lost. Returns only after the file
// was saved and the report printed; on any failure prints one "ostrel: " line
// and exits with status 1, leaving the file as it was.
void mutate(const Edit& edit, const Describe& describe);

}  // namespace ostrel::cli
