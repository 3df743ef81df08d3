// The few calls that differ between the systems the tool runs on. Nothing
// else in the project may use platform-specific APIs.
#pragma once

#include <sys/types.h>

#include <string>

namespace ostrel::platform {

// The current user's home directory: $HOME when set and not empty, else the
// user database's entry for the real user id. Empty when neither is known.
std::string homeDirectory();

// Flushes the file's data and metadata to stable storage (on macOS through the
// drive's cache, which fsync alone does not). Returns 0, or the errno value.
int syncFileToStableStorage(int fd);

// The process's file mode creation mask. Reading it means setting it twice;
// the tool is single-threaded, so nothing can create a file in between.
mode_t currentUmask();

}  // namespace ostrel::platform
