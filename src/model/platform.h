// What differs between Linux and macOS, and nothing else. POSIX itself is the
// portable layer: disk.cc, agent_config_file.cc and the tool's output call it
// directly, and any call whose behaviour differs between the two systems
// belongs here instead.
#pragma once

#include <sys/stat.h>

#include <cstdint>

namespace ostrel::platform {

// When the file's data (modified) and its inode (changed) last changed, in
// nanoseconds since the epoch; the two systems name these fields apart.
std::int64_t modifiedNanoseconds(const struct stat& st);
std::int64_t changedNanoseconds(const struct stat& st);

// Flushes the file's data and metadata to stable storage (on macOS through the
// drive's cache, which fsync alone does not). Returns 0, or the errno value.
int syncFileToStableStorage(int fd);

}  // namespace ostrel::platform
