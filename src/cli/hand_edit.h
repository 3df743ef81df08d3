// For the user who edits the config by hand: `check` says what the next edit
// would repair, `edit` runs the user's editor on a copy and saves the result
// only when it decodes and nobody else changed the file meanwhile.
#pragma once

#include "commands.h"
#include "ostrel/expected.h"

namespace ostrel::cli {

// Prints each finding as "would drop" lines and a verdict line. Fails with no
// message (all has been said) when there is something to repair.
Status checkConfig();

// Edits the config in $VISUAL, else $EDITOR, else vi.
Status editConfig(const Invocation& in);

}  // namespace ostrel::cli
