// The transaction every editing command runs in: lock, load, edit, validate,
// report what validation dropped, save atomically, report the result.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "ostrel/agent_config.h"
#include "ostrel/expected.h"

namespace ostrel::cli {

// What an edit did with the loaded record.
struct EditResult {
  // Set when the edit refused itself and left the record as it was loaded:
  // the reason, printed before the complaints of validation.
  std::optional<AgentConfig::Complaint> refusal;
  // Set when the edit cannot be made at all: nothing is saved, and this is
  // the message.
  std::optional<Error> failure = std::nullopt;
};

// Changes the loaded record in place.
using Edit = std::function<EditResult(AgentConfig&)>;

// The report line, from the repaired record that was saved and what the edit
// did.
using Describe = std::function<std::string(const AgentConfig& saved, const EditResult& result)>;

// An editing command ready to run: its edit and its report.
struct EditTransaction {
  Edit edit;
  Describe describe;
};

// Runs one edit of the config at AgentConfigFile::location(). Edits by other
// runs of the tool wait for this one, so none is lost. Prints the complaints
// (the edit's refusal, the keys the file held that are not kept, then what
// validation dropped; each line once) and, once the file is saved, the report
// line. On a failure before the new file is in place, returns the message for
// the caller to print, with the file left as it was; on one after it (the
// folder not flushed, the report not written), a message that begins "the
// config was saved, but ".
Status runEdit(const EditTransaction& transaction);

// Saves `config` at AgentConfigFile::location() under the same lock, but only
// if the file still holds `expected` (nothing: no file). Otherwise, or on any
// failure, returns the message, with the file left as it was.
Status saveUnlessChanged(const AgentConfig& config, const std::optional<std::string>& expected);

}  // namespace ostrel::cli
