#include "platform.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace ostrel::platform {

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
