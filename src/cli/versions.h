// The way back: the versions the history keeps, and putting one back.
#pragma once

#include <optional>
#include <string>

#include "commands.h"
#include "ostrel/expected.h"

namespace ostrel::cli {

// Lists the kept versions, newest first, numbered from 1, or says there are
// none.
Status listHistory(const Invocation& in);

// Puts back version 1: the config as it was before the last change.
Status undo(const Invocation& in);

// Puts back the version its operand names.
Status restore(const Invocation& in);

}  // namespace ostrel::cli
