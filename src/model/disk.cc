#include "disk.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>

#include "platform.h"

namespace ostrel {

namespace {

Error lastError() { return Error::fromErrno(errno); }

FileInfo infoFrom(const struct stat& st) {
  FileInfo::Type type = FileInfo::Type::other;
  if (S_ISREG(st.st_mode)) {
    type = FileInfo::Type::regular;
  } else if (S_ISDIR(st.st_mode)) {
    type = FileInfo::Type::directory;
  } else if (S_ISLNK(st.st_mode)) {
    type = FileInfo::Type::symbolicLink;
  }
  std::uint64_t size = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  return FileInfo{type,
                  static_cast<unsigned>(st.st_mode & 07777),
                  size,
                  static_cast<std::uint64_t>(st.st_dev),
                  static_cast<std::uint64_t>(st.st_ino),
                  platform::modifiedNanoseconds(st),
                  platform::changedNanoseconds(st)};
}

Status statusOf(int result) {
  if (result == 0) return {};
  return lastError();
}

}  // namespace

Expected<FileInfo> Disk::status(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return lastError();
  return infoFrom(st);
}

Expected<FileInfo> Disk::linkStatus(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return lastError();
  return infoFrom(st);
}

Expected<FileInfo> Disk::status(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return lastError();
  return infoFrom(st);
}

Expected<std::string> Disk::readLink(const std::string& path) {
  // Some file systems report a link size of 0, so grow until it fits.
  std::string target(256, '\0');
  for (;;) {
    ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
    if (length < 0) return lastError();
    if (static_cast<std::size_t>(length) < target.size()) {
      target.resize(static_cast<std::size_t>(length));
      return target;
    }
    if (target.size() >= (std::size_t{1} << 20)) return Error::fromErrno(ENAMETOOLONG);
    target.resize(target.size() * 2);
  }
}

Expected<int> Disk::openForReading(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return lastError();
  return fd;
}

Expected<std::string> Disk::readAll(int fd, std::uint64_t expectedSize) {
  try {
    // One byte of room beyond the expected size lets the read that finds the
    // end also notice a file that grew.
    std::string bytes(static_cast<std::size_t>(expectedSize) + 1, '\0');
    std::size_t filled = 0;
    for (;;) {
      if (filled == bytes.size()) bytes.resize(bytes.size() * 2);
      ssize_t count = ::read(fd, bytes.data() + filled, bytes.size() - filled);
      if (count > 0) {
        filled += static_cast<std::size_t>(count);
      } else if (count == 0) {
        break;
      } else if (errno != EINTR) {
        return lastError();
      }
    }
    bytes.resize(filled);
    return bytes;
  } catch (const std::bad_alloc&) {
    return Error::fromErrno(ENOMEM);
  } catch (const std::length_error&) {
    return Error::fromErrno(EFBIG);
  }
}

Status Disk::makeDirectory(const std::string& path, unsigned mode) {
  return statusOf(::mkdir(path.c_str(), static_cast<mode_t>(mode)));
}

Expected<int> Disk::openDirectory(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return lastError();
  return fd;
}

Expected<std::vector<std::string>> Disk::listDirectory(const std::string& path) {
  DIR* directory = ::opendir(path.c_str());
  if (directory == nullptr) return lastError();
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(directory);
    if (entry == nullptr) break;
    std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  int readError = errno;
  ::closedir(directory);
  if (readError != 0) return Error::fromErrno(readError);
  return names;
}

Expected<CreatedFile> Disk::createUniqueFile(const std::string& pathTemplate) {
  std::string path = pathTemplate;
  int fd = ::mkstemp(path.data());
  if (fd < 0) return lastError();
  return CreatedFile{fd, std::move(path)};
}

Expected<int> Disk::openForAppending(const std::string& path, unsigned mode) {
  int fd =
      ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, static_cast<mode_t>(mode));
  if (fd < 0) return lastError();
  return fd;
}

Status Disk::writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t count = ::write(fd, bytes.data(), bytes.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      return lastError();
    }
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
  return {};
}

Status Disk::setPermissions(int fd, unsigned mode) {
  return statusOf(::fchmod(fd, static_cast<mode_t>(mode)));
}

Status Disk::syncFile(int fd) {
  int error = platform::syncFileToStableStorage(fd);
  if (error == 0) return {};
  return Error::fromErrno(error);
}

Status Disk::syncDirectory(int fd) { return statusOf(::fsync(fd)); }

Status Disk::close(int fd) {
  // Not retried on EINTR: the descriptor is released either way, and a retry
  // could close one that was reused meanwhile.
  return statusOf(::close(fd));
}

Status Disk::rename(const std::string& from, const std::string& to) {
  return statusOf(::rename(from.c_str(), to.c_str()));
}

Status Disk::unlink(const std::string& path) { return statusOf(::unlink(path.c_str())); }

Status Disk::link(const std::string& from, const std::string& to) {
  return statusOf(::link(from.c_str(), to.c_str()));
}

Status Disk::tryLockExclusive(int fd) {
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return {};
    if (errno != EINTR) return lastError();
  }
}

Status Disk::lockExclusive(int fd, std::chrono::milliseconds limit) {
  using namespace std::chrono;
  const auto deadline = steady_clock::now() + limit;
  // The timer goes off at the limit, then repeats, so that a tick that comes
  // just before flock() starts to wait cannot leave it waiting for good.
  constexpr microseconds backstop = 100ms;
  struct sigaction interrupt {
  }, previousAction{};
  interrupt.sa_handler = [](int) {};
  sigemptyset(&interrupt.sa_mask);
  interrupt.sa_flags = 0;  // no SA_RESTART: flock must return with EINTR
  sigset_t alarmOnly, previousMask;
  sigemptyset(&alarmOnly);
  sigaddset(&alarmOnly, SIGALRM);
  itimerval ticking{}, stopped{}, previousTimer{};
  ticking.it_interval.tv_usec = static_cast<suseconds_t>(backstop.count());
  const auto first = std::max<microseconds>(limit, 1us);
  ticking.it_value.tv_sec = static_cast<time_t>(duration_cast<seconds>(first).count());
  ticking.it_value.tv_usec = static_cast<suseconds_t>((first % 1s).count());
  ::sigaction(SIGALRM, &interrupt, &previousAction);
  ::sigprocmask(SIG_UNBLOCK, &alarmOnly, &previousMask);  // blocked by whoever started us
  ::setitimer(ITIMER_REAL, &ticking, &previousTimer);

  int result = 0;
  while ((result = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    if (steady_clock::now() >= deadline) {
      errno = ETIMEDOUT;
      break;
    }
  }
  const int error = errno;
  ::setitimer(ITIMER_REAL, &stopped, nullptr);
  ::sigaction(SIGALRM, &previousAction, nullptr);  // after the timer, so no tick is left
  ::sigprocmask(SIG_SETMASK, &previousMask, nullptr);
  ::setitimer(ITIMER_REAL, &previousTimer, nullptr);
  if (result == 0) return {};
  return Error::fromErrno(error);
}

unsigned Disk::creationMask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return static_cast<unsigned>(mask);
}

Disk& realDisk() {
  static Disk disk;
  return disk;
}

}  // namespace ostrel
