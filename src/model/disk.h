// Disk: the narrow set of file-system calls that loading, saving and the edit
// lock make. Every call reports failure as an Error made by Error::fromErrno
// (its code is the errno, its text the system's), never by throwing.
// realDisk() is the POSIX implementation; tests substitute a Disk that fails
// a chosen call to check that each step cleans up after itself.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ostrel/expected.h"

namespace ostrel {

// What stat() says about a path or an open file.
struct FileInfo {
  enum class Type { regular, directory, symbolicLink, other };
  Type type;
  unsigned permissions;  // st_mode & 07777
  std::uint64_t size;    // in bytes
  // Which file it is, and when its data and its inode last changed (in
  // nanoseconds): together they tell whether anyone wrote it meanwhile.
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t modified = 0;
  std::int64_t changed = 0;
};

// A file created by createUniqueFile(), open for writing.
struct CreatedFile {
  int fd;
  std::string path;
};

class Disk {
 public:
  virtual ~Disk() = default;

  // stat(): follows symbolic links.
  virtual Expected<FileInfo> status(const std::string& path);
  // lstat(): describes a symbolic link itself.
  virtual Expected<FileInfo> linkStatus(const std::string& path);
  // fstat().
  virtual Expected<FileInfo> status(int fd);

  // The target text of the symbolic link at `path`, as stored.
  virtual Expected<std::string> readLink(const std::string& path);

  // Opens for reading without ever blocking on a FIFO or device:
  // O_RDONLY | O_NONBLOCK | O_CLOEXEC.
  virtual Expected<int> openForReading(const std::string& path);

  // Reads from `fd` until end of file into one buffer sized for
  // `expectedSize` bytes, growing it if the file turns out longer.
  virtual Expected<std::string> readAll(int fd, std::uint64_t expectedSize);

  // mkdir() of one directory; EEXIST is reported like any other error.
  virtual Status makeDirectory(const std::string& path, unsigned mode);

  // Opens a directory read-only (O_RDONLY | O_DIRECTORY | O_CLOEXEC), for
  // flushing it or locking it.
  virtual Expected<int> openDirectory(const std::string& path);

  // Names in the directory at `path`, without "." and "..", in no order.
  virtual Expected<std::vector<std::string>> listDirectory(const std::string& path);

  // mkstemp(): `pathTemplate` ends in "XXXXXX"; the file is created with
  // mode 0600 and is new.
  virtual Expected<CreatedFile> createUniqueFile(const std::string& pathTemplate);

  // Opens for appending, creating the file with `mode` if missing:
  // O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC.
  virtual Expected<int> openForAppending(const std::string& path, unsigned mode);

  // Writes every byte, continuing after partial writes and interruptions.
  virtual Status writeAll(int fd, std::string_view bytes);

  // fchmod().
  virtual Status setPermissions(int fd, unsigned mode);

  // Flushes the file's data and metadata to stable storage.
  virtual Status syncFile(int fd);

  // fsync() of an open directory, making renames in it durable.
  virtual Status syncDirectory(int fd);

  // close(). The descriptor is gone afterwards even when this fails.
  virtual Status close(int fd);

  // rename(): atomically replaces `to`.
  virtual Status rename(const std::string& from, const std::string& to);

  virtual Status unlink(const std::string& path);

  // link(): a second name for the file at `from`.
  virtual Status link(const std::string& from, const std::string& to);

  // flock(LOCK_EX | LOCK_NB): EWOULDBLOCK while another holder has it.
  virtual Status tryLockExclusive(int fd);

  // flock(LOCK_EX), waiting in the kernel so that the lock passes to a waiter
  // the moment it is free; ETIMEDOUT once `limit` has passed. Borrows SIGALRM
  // and the real-time interval timer meanwhile, and restores both.
  virtual Status lockExclusive(int fd, std::chrono::milliseconds limit);

  // The process's file mode creation mask. Reading it means setting it twice;
  // the tool is single-threaded, so nothing can create a file in between.
  virtual unsigned creationMask();
};

// The POSIX implementation.
Disk& realDisk();

}  // namespace ostrel
