// The commands that move vocabulary in and out in bulk: dict import, rule
// import, rule export and merge. Each import reads its whole input first,
// then makes one edit of the session (or, with --dry-run, a preview of it).
#pragma once

#include <string>
#include <string_view>

#include "commands.h"
#include "edit_transaction.h"
#include "ostrel/agent_config.h"

namespace ostrel::cli {

// The option of every import, before or after its file: report what a run
// would, and save nothing.
inline constexpr std::string_view dryRunOption = "--dry-run";

Expected<EditTransaction> importWords(const Invocation& in);
Expected<EditTransaction> importRules(const Invocation& in);
Expected<EditTransaction> mergeConfig(const Invocation& in);
Status exportRules(const AgentConfig& config);

// "N words in the dictionary", the close of every dictionary report.
std::string dictionaryCount(const AgentConfig& config);

}  // namespace ostrel::cli
