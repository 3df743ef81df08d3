// The steps of finding, reading, locking and replacing a file through the
// Disk seam, which AgentConfigFile and EditSession put together. Errors name
// the path and the system's reason; callers say what was being done.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "disk.h"
#include "ostrel/expected.h"

namespace ostrel::files {

// `path` in single quotes, escaped as every echoed value is.
std::string quoted(std::string_view path);

// The path less its last component: "." for a bare name, "/" for a name
// directly under the root.
std::string parentOf(const std::string& path);

std::string joined(const std::string& folder, std::string_view name);

// The home folder: `environmentHome` ($HOME) when set and not empty, else
// `databaseHome()`; it must be an absolute path to an existing folder.
// Fails with "cannot find your home folder: " and why.
Expected<std::string> homeFolder(const char* environmentHome,
                                 const std::function<std::string()>& databaseHome, Disk& disk);

// The user database's home folder for the real user id; empty when unknown.
std::string databaseHomeFolder();

// Which file stands at a path, and how it was last written; any write to it
// by anyone changes this. Absent when nothing stands there.
struct Identity {
  std::uint64_t device, inode, size;
  std::int64_t modified, changed;
  friend bool operator==(const Identity&, const Identity&) = default;
};

Identity identityOf(const FileInfo& info);

// A file as read.
struct Stored {
  std::string bytes;
  Identity identity;
  unsigned permissions;
};

// The regular file at `path`; nothing when nothing exists there (also when a
// file stands where one of its folders should be). Anything else is an error
// ("'…' is a directory"), and reading never blocks. Creates nothing.
Expected<std::optional<Stored>> read(Disk& disk, const std::string& path);

// What stands at `path` now, as read() would see it: absent for nothing.
Expected<std::optional<Identity>> identityAt(Disk& disk, const std::string& path);

// The file a save to `path` really replaces: symbolic links followed to the
// end, so that a link stays a link. A dangling link gives the path it points
// to.
Expected<std::string> resolved(Disk& disk, const std::string& path);

// mkdir -p: `folder` and every missing folder above it.
Status makeFolders(Disk& disk, const std::string& folder);

// An exclusive advisory lock on a folder, released when destroyed (and by
// the kernel if the process dies). Empty where the file system has none.
class FolderLock {
 public:
  FolderLock() = default;
  FolderLock(Disk& disk, int fd, std::string folder)
      : disk_(&disk), fd_(fd), folder_(std::move(folder)) {}
  FolderLock(FolderLock&& other) noexcept
      : disk_(other.disk_), fd_(std::exchange(other.fd_, -1)), folder_(std::move(other.folder_)) {}
  FolderLock& operator=(FolderLock&& other) noexcept;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  ~FolderLock();

  // The folder it was taken on, also when empty.
  const std::string& folder() const { return folder_; }

 private:
  void release();

  Disk* disk_ = nullptr;
  int fd_ = -1;
  std::string folder_;
};

// How long lock() waits, and what it says meanwhile: `notice` is called once
// when the lock has not come within `patience`.
struct LockWait {
  std::chrono::milliseconds limit{0};
  std::chrono::milliseconds patience{0};
  std::function<void()> notice = nullptr;
};

// Locks the existing `folder`, waiting in the kernel, so that the longest
// waiter is not overtaken by polling newcomers. Fails when another holder
// keeps it beyond the limit ("another ostrel edit is holding the config
// folder '…' (waited 10 seconds)", code EWOULDBLOCK) or the folder cannot be
// opened. Once held,
// removes the temporary files that a killed save left in the folder.
Expected<FolderLock> lock(Disk& disk, const std::string& folder, const LockWait& wait);

// Replaces the file `target` with `bytes` atomically and durably: a hidden,
// uniquely named temporary file beside it, given `mode`, flushed, then
// renamed over it, then the folder flushed. `beforeRename` runs last of all
// before the rename; its failure, like any failure up to the rename, leaves
// the old file as it was and removes the temporary file. A failure after the
// rename has Error::saved set. The error names the step.
Status replace(Disk& disk, const std::string& target, std::string_view bytes, unsigned mode,
               const std::function<Status()>& beforeRename);

// The mode of a new file: 0666 less the umask.
unsigned newFileMode(Disk& disk);

}  // namespace ostrel::files
