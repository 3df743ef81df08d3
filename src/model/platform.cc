#include "platform.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace ostrel::platform {
namespace {

std::int64_t nanoseconds(const timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

}  // namespace

#ifdef __APPLE__
std::int64_t modifiedNanoseconds(const struct stat& st) { return nanoseconds(st.st_mtimespec); }
std::int64_t changedNanoseconds(const struct stat& st) { return nanoseconds(st.st_ctimespec); }
#else
std::int64_t modifiedNanoseconds(const struct stat& st) { return nanoseconds(st.st_mtim); }
std::int64_t changedNanoseconds(const struct stat& st) { return nanoseconds(st.st_ctim); }
#endif

int syncFileToStableStorage(int fd) {
#ifdef __APPLE__
  if (fcntl(fd, F_FULLFSYNC) == 0) return 0;
  // Some file systems (network, FAT) do not support a full flush.
  if (errno != ENOTSUP && errno != EINVAL) return errno;
#endif
  if (fsync(fd) == 0) return 0;
  return errno;
}

}  // namespace ostrel::platform
