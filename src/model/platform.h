// What differs between Linux and macOS, and nothing else. POSIX itself is the
// portable layer: disk.cc, agent_config_file.cc and the tool's output call it
// directly, and any call whose behaviour differs between the two systems
// belongs here instead.
#pragma once

namespace ostrel::platform {

// Flushes the file's data and metadata to stable storage (on macOS through the
// drive's cache, which fsync alone does not). Returns 0, or the errno value.
int syncFileToStableStorage(int fd);

}  // namespace ostrel::platform
