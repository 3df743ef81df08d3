// AgentConfigFile: where agent-config.json lives, and moving an AgentConfig
// between that file and memory. Stateless; nothing is cached between calls.
// Neither operation validates or repairs a record; failures come back as
// Error values, and nothing here prints or exits. Edits go through
// EditSession (ostrel/edit_session.h), which adds the lock, the check that
// nobody else changed the file meanwhile, and the findings.
#pragma once

#include <string>

#include "ostrel/agent_config.h"
#include "ostrel/expected.h"

namespace ostrel {

class AgentConfigFile {
 public:
  AgentConfigFile() = delete;

  // The location, computed afresh on every call: the home folder, then
  // "Library/Application Support/Ostrel/agent-config.json". The home folder is
  // $HOME when set and not empty, else the user database's entry; it must be
  // an absolute path to an existing folder. Creates nothing. Fails with
  // "cannot find your home folder: " and why.
  static Expected<std::string> location();

  // Version 1, no words, no rules, no style: what a missing file stands for.
  static AgentConfig defaultConfig();

  // The record stored at `from`, unvalidated; defaultConfig() when nothing
  // exists there. Anything that is not a regular file is unreadable; reading
  // never blocks. Never creates or changes anything on disk. The error's text
  // is the whole message: "could not read the config: " followed by the path
  // and the reason, or "the config is not valid JSON: " followed by what
  // decoded() found.
  static Expected<AgentConfig> load(const std::string& from);

  // Writes config.encoded() to `to` atomically and durably: creates the
  // folder with its parents, writes a uniquely named hidden temporary file
  // beside the file, flushes it to stable storage, renames it over the file
  // and flushes the folder. An existing file keeps its permission bits; a
  // symbolic link at `to` stays a link and its target is replaced. A failure
  // before the rename leaves the old file byte for byte and removes the
  // temporary file; one after it (flushing the folder) has Error::saved set,
  // as the new file is then in place. The error names the step and the
  // system's reason (the caller says what was being saved).
  static Status save(const AgentConfig& config, const std::string& to);
};

}  // namespace ostrel
