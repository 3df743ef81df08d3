// Reading a config document from a file, with the messages every command
// prints when that fails.
#pragma once

#include <optional>
#include <string>

#include "file_steps.h"
#include "ostrel/agent_config.h"
#include "ostrel/expected.h"

namespace ostrel {

struct ReadConfig {
  std::optional<files::Stored> stored;  // nothing when no file exists
  AgentConfig::Decoded decoded;         // the default config when none does
};

// The document at `path`, decoded. Fails with "could not read the config: "
// and the path and reason, or "the config is not valid JSON: " and what the
// decoder found.
Expected<ReadConfig> readConfig(Disk& disk, const std::string& path);

}  // namespace ostrel
