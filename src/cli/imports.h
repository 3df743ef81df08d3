// The commands that move vocabulary in and out in bulk: dict import, rule
// import, rule export and merge. Each import reads its whole input first,
// then makes one edit of the session (or, with --dry-run, a preview of it).
#pragma once

#include <string>

#include "commands.h"
#include "edit_transaction.h"
#include "ostrel/agent_config.h"

namespace ostrel::cli {

Expected<EditTransaction> importWords(const Invocation& in);
Expected<EditTransaction> importRules(const Invocation& in);
Expected<EditTransaction> mergeConfig(const Invocation& in);
Status exportRules(const AgentConfig& config);

// "N words in the dictionary", the close of every dictionary report.
std::string dictionaryCount(const AgentConfig& config);

}  // namespace ostrel::cli
