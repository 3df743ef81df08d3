// The editing commands' side of the edit session: one session per run, set
// up the same way for every command, and the one way findings are worded.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "commands.h"
#include "ostrel/agent_config.h"
#include "ostrel/edit_session.h"
#include "ostrel/expected.h"

namespace ostrel::cli {

// The report line, from the record as saved and what the edit said.
using Describe =
    std::function<std::string(const AgentConfig& saved, const EditSession::Change& change)>;

// An editing command ready to run: its edit and its report.
struct EditTransaction {
  EditSession::Edit edit;
  Describe describe;
  bool dryRun = false;  // report what a save would do, and save nothing
};

// The session on the user's config for the run `in`, waiting for another
// edit's lock as long as every command does, saying so when it waits, and
// recording the command line in the history of what it saves.
Expected<EditSession> openSession(const Invocation& in);

// The command line as the history records it: "ostrel rule set snippet
// 'my email' me@example.com", values quoted where a shell would need it and
// escaped as in messages.
std::string commandLine(const Invocation& in);

// How a finding is worded: after a save ("dropped '…' — …"), or of a save
// still to come ("would drop", "would cut", "would trim", "would remove"),
// after "line N: " when it names the line of an imported file.
enum class Tense { done, toCome };
std::string findingLine(const AgentConfig::Complaint& finding, Tense tense);

// Prints each finding, one line each; the silent repairs only when asked
// for, as only `check` lists them. Returns how many lines it printed.
std::size_t printFindings(const std::vector<AgentConfig::Complaint>& findings, Tense tense,
                          bool silentRepairsToo = false);

// Runs one edit: prints the edit's notes, what the save lost and, once the
// file is saved (or, for a dry run, the edit previewed), the report line. On
// a failure before the new file is in place, returns the message, with the
// file left as it was; on one after it (the folder not flushed, the report
// not written), a message that begins "the config was saved, but ".
Status runEdit(const Invocation& in, const EditTransaction& transaction);

}  // namespace ostrel::cli
