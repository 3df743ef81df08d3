#include "file_steps.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "ostrel/agent_config.h"
#include "ostrel/text.h"
#include "save_signals.h"

namespace ostrel::files {
namespace {

constexpr unsigned newFolderMode = 0777;       // less the umask, as mkdir applies it
constexpr int maxLinkHops = 40;                // as the kernel's own limit (ELOOP)
constexpr std::size_t uniqueSuffixLength = 6;  // mkstemp's "XXXXXX"

// Hidden, so that the desktop application and file browsers ignore it.
std::string temporaryPrefix() { return "." + std::string(AgentConfig::filename) + ".tmp-"; }

// Closes a descriptor when it goes out of scope.
class Descriptor {
 public:
  Descriptor(Disk& disk, int fd) : disk_(disk), fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) (void)disk_.close(fd_);
  }

  int fd() const { return fd_; }

  // Closes now rather than at the end of the scope.
  Status close() { return disk_.close(std::exchange(fd_, -1)); }

 private:
  Disk& disk_;
  int fd_;
};

// The new file before it replaces the old one: closed and removed unless
// kept.
class TemporaryFile {
 public:
  TemporaryFile(Disk& disk, CreatedFile file) : disk_(disk), file_(std::move(file)) {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (file_.fd >= 0) (void)disk_.close(file_.fd);
    if (!kept_) (void)disk_.unlink(file_.path);
  }

  int fd() const { return file_.fd; }
  const std::string& path() const { return file_.path; }
  // Its error can be the first sign that the data did not reach the disk.
  Status close() { return disk_.close(std::exchange(file_.fd, -1)); }
  void keep() { kept_ = true; }

 private:
  Disk& disk_;
  CreatedFile file_;
  bool kept_ = false;
};

// Under the lock no other save is writing, so any temporary file left in the
// folder is debris from a save that was killed.
void removeStaleTemporaryFiles(Disk& disk, const std::string& folder) {
  auto names = disk.listDirectory(folder);
  if (!names.ok()) return;
  const std::string prefix = temporaryPrefix();
  for (const std::string& name : names.value()) {
    if (name.size() == prefix.size() + uniqueSuffixLength && name.starts_with(prefix)) {
      (void)disk.unlink(joined(folder, name));
    }
  }
}

// "0.1 seconds", "1 second", "5 seconds".
std::string secondsText(std::chrono::milliseconds wait) {
  const long long millis = wait.count() < 0 ? 0 : static_cast<long long>(wait.count());
  std::string text = std::to_string(millis / 1000);
  if (long long fraction = millis % 1000; fraction != 0) {
    std::string digits = std::to_string(1000 + fraction).substr(1);
    while (digits.back() == '0') digits.pop_back();
    text += "." + digits;
  }
  return text + (millis == 1000 ? " second" : " seconds");
}

Error notAFile(const std::string& path, const FileInfo& info) {
  if (info.type == FileInfo::Type::directory) return Error{quoted(path) + " is a directory"};
  return Error{quoted(path) + " is not a regular file"};
}

}  // namespace

std::string quoted(std::string_view path) { return "'" + text::escapedForMessage(path) + "'"; }

std::string parentOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  while (slash > 0 && path[slash - 1] == '/') --slash;
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string joined(const std::string& folder, std::string_view name) {
  if (!folder.empty() && folder.back() == '/') return folder + std::string(name);
  return folder + "/" + std::string(name);
}

std::string databaseHomeFolder() {
  long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
  for (;;) {
    passwd entry{};
    passwd* found = nullptr;
    int error = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE && buffer.size() < (std::size_t{1} << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error != 0 || found == nullptr || found->pw_dir == nullptr) return {};
    return found->pw_dir;
  }
}

Expected<std::string> homeFolder(const char* environmentHome,
                                 const std::function<std::string()>& databaseHome, Disk& disk) {
  const std::string step = "cannot find your home folder";
  std::string home = environmentHome != nullptr ? environmentHome : "";
  if (home.empty()) {
    home = databaseHome();
    if (home.empty()) return Error{step + ": HOME is not set and the user database has none"};
  }
  // A relative home would put the config wherever the tool happens to run.
  if (!home.starts_with('/')) {
    return Error{step + ": " + quoted(home) + " is not an absolute path"};
  }
  // Creating a missing home would hide the mistake behind a new, empty config.
  auto found = disk.status(home);
  if (!found.ok()) {
    if (found.error().code == ENOENT) return Error{step + ": " + quoted(home) + " does not exist"};
    return found.error().within(step + ": " + quoted(home));
  }
  if (found.value().type != FileInfo::Type::directory) {
    return Error{step + ": " + quoted(home) + " is not a folder"};
  }
  return home;
}

Identity identityOf(const FileInfo& info) {
  return {info.device, info.inode, info.size, info.modified, info.changed};
}

Expected<std::optional<Stored>> read(Disk& disk, const std::string& path) {
  auto unreadable = [&](const Error& error) { return error.within(quoted(path)); };
  // Checked before opening, so that a device or FIFO is never opened.
  auto found = disk.status(path);
  if (!found.ok()) {
    // ENOTDIR: a file stands where a folder should be, so no file either.
    if (found.error().code == ENOENT || found.error().code == ENOTDIR) {
      return std::optional<Stored>();
    }
    return unreadable(found.error());
  }
  if (found.value().type != FileInfo::Type::regular) return notAFile(path, found.value());

  auto opened = disk.openForReading(path);
  if (!opened.ok()) return unreadable(opened.error());
  Descriptor file(disk, opened.value());
  // Checked again: the path may have been replaced since the first look.
  auto info = disk.status(file.fd());
  if (!info.ok()) return unreadable(info.error());
  if (info.value().type != FileInfo::Type::regular) return notAFile(path, info.value());

  auto bytes = disk.readAll(file.fd(), info.value().size);
  if (!bytes.ok()) return unreadable(bytes.error());
  (void)file.close();  // read-only: nothing was written that a close could lose
  return std::optional<Stored>(
      Stored{std::move(bytes).value(), identityOf(info.value()), info.value().permissions});
}

Expected<std::optional<Identity>> identityAt(Disk& disk, const std::string& path) {
  auto found = disk.status(path);
  if (found.ok()) return std::optional<Identity>(identityOf(found.value()));
  if (found.error().code == ENOENT || found.error().code == ENOTDIR) {
    return std::optional<Identity>();
  }
  return found.error().within("cannot look up " + quoted(path));
}

Expected<std::string> resolved(Disk& disk, const std::string& path) {
  std::string current = path;
  for (int hops = 0;; ++hops) {
    auto found = disk.linkStatus(current);
    if (!found.ok()) {
      if (found.error().code == ENOENT || found.error().code == ENOTDIR) return current;
      return found.error().within("cannot look up " + quoted(current));
    }
    if (found.value().type != FileInfo::Type::symbolicLink) return current;
    if (hops == maxLinkHops)
      return Error::fromErrno(ELOOP).within("cannot follow the link " + quoted(path));
    auto target = disk.readLink(current);
    if (!target.ok()) return target.error().within("cannot follow the link " + quoted(current));
    if (target.value().empty())
      return Error::fromErrno(ENOENT).within("cannot follow the link " + quoted(current));
    current =
        target.value().front() == '/' ? target.value() : joined(parentOf(current), target.value());
  }
}

Status makeFolders(Disk& disk, const std::string& folder) {
  auto notAFolder = [&](const std::string& path) {
    if (path == folder) return Error{quoted(folder) + " exists and is not a folder"};
    return Error{"cannot create the folder " + quoted(folder) + ": " + quoted(path) +
                 " exists and is not a folder"};
  };
  const std::string step = "cannot create the folder " + quoted(folder);

  // Walk up to the nearest folder that exists, then create the rest downwards.
  std::vector<std::string> missing;
  for (std::string current = folder;;) {
    auto found = disk.status(current);
    if (found.ok()) {
      if (found.value().type != FileInfo::Type::directory) return notAFolder(current);
      break;
    }
    // ENOTDIR: something further up is not a folder; the walk will find it.
    if (found.error().code != ENOENT && found.error().code != ENOTDIR) {
      return found.error().within(step);
    }
    missing.push_back(current);
    std::string parent = parentOf(current);
    if (parent == current) break;
    current = std::move(parent);
  }
  for (auto path = missing.rbegin(); path != missing.rend(); ++path) {
    auto made = disk.makeDirectory(*path, newFolderMode);
    if (made.ok()) continue;
    if (made.error().code == EEXIST) {  // made by someone else meanwhile, or not a folder
      auto found = disk.status(*path);
      if (found.ok() && found.value().type == FileInfo::Type::directory) continue;
      if (found.ok()) return notAFolder(*path);
      if (auto target = disk.readLink(*path); target.ok()) {
        return Error{(*path == folder ? "" : step + ": ") + quoted(*path) +
                     " is a symbolic link to " + quoted(target.value()) + ", which does not exist"};
      }
    }
    return made.error().within(step);
  }
  return {};
}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
  if (this != &other) {
    release();
    disk_ = other.disk_;
    fd_ = std::exchange(other.fd_, -1);
    folder_ = std::move(other.folder_);
  }
  return *this;
}

FolderLock::~FolderLock() { release(); }

void FolderLock::release() {
  // Closing the folder releases the lock; there is nothing to do if it fails.
  if (fd_ >= 0) (void)disk_->close(std::exchange(fd_, -1));
}

Expected<FolderLock> lock(Disk& disk, const std::string& folder, const LockWait& wait) {
  auto opened = disk.openDirectory(folder);
  if (!opened.ok()) return opened.error().within("cannot open the folder " + quoted(folder));
  FolderLock held(disk, opened.value(), folder);

  auto locked = disk.tryLockExclusive(opened.value());
  auto busy = [&] {
    const int code = locked.ok() ? 0 : locked.error().code;
    return code == EWOULDBLOCK || code == EAGAIN || code == ETIMEDOUT;
  };
  const auto patience = std::clamp(wait.patience, std::chrono::milliseconds{0}, wait.limit);
  if (busy() && patience.count() > 0) locked = disk.lockExclusive(opened.value(), patience);
  if (busy() && wait.limit > patience) {
    if (wait.notice) wait.notice();
    locked = disk.lockExclusive(opened.value(), wait.limit - patience);
  }
  if (!locked.ok()) {
    // A file system without advisory locks: there is nothing to lock.
    if (!busy()) return FolderLock(disk, -1, folder);
    return Error{"another ostrel edit is holding the config folder " + quoted(folder) +
                     " (waited " + secondsText(wait.limit) + ")",
                 EWOULDBLOCK};
  }
  removeStaleTemporaryFiles(disk, folder);
  return held;
}

unsigned newFileMode(Disk& disk) { return 0666 & ~disk.creationMask(); }

Status replace(Disk& disk, const std::string& target, std::string_view bytes, unsigned mode,
               const std::function<Status()>& beforeRename) {
  const std::string folder = parentOf(target);
  // Opened before anything is written, so that this step cannot fail after
  // the old file is gone.
  auto openedFolder = disk.openDirectory(folder);
  if (!openedFolder.ok())
    return openedFolder.error().within("cannot open the folder " + quoted(folder));
  Descriptor folderDescriptor(disk, openedFolder.value());

  SaveSignalGuard signals;  // made before the file, so gone after it
  auto created = signals.watchWhile([&] {
    return disk.createUniqueFile(
        joined(folder, temporaryPrefix() + std::string(uniqueSuffixLength, 'X')));
  });
  if (!created.ok())
    return created.error().within("cannot create a temporary file in " + quoted(folder));
  TemporaryFile temporary(disk, std::move(created).value());
  const std::string temporaryName = quoted(temporary.path());

  if (auto written = disk.writeAll(temporary.fd(), bytes); !written.ok()) {
    if (written.error().code == EFBIG) {
      return Error{"the new config (" + std::to_string(bytes.size()) +
                       " bytes) is larger than this process may write (ulimit -f)",
                   EFBIG};
    }
    return written.error().within("cannot write " + temporaryName);
  }
  if (auto changed = disk.setPermissions(temporary.fd(), mode); !changed.ok()) {
    return changed.error().within("cannot set the permissions of " + temporaryName);
  }
  if (auto synced = disk.syncFile(temporary.fd()); !synced.ok())
    return synced.error().within("cannot flush " + temporaryName + " to disk");
  if (auto closed = temporary.close(); !closed.ok())
    return closed.error().within("cannot close " + temporaryName);
  if (beforeRename) {
    if (auto ready = beforeRename(); !ready.ok()) return ready;
  }
  if (auto renamed = disk.rename(temporary.path(), target); !renamed.ok()) {
    return renamed.error().within("cannot rename " + temporaryName + " to " + quoted(target));
  }
  temporary.keep();
  signals.forget();

  if (auto synced = disk.syncDirectory(folderDescriptor.fd()); !synced.ok()) {
    // Some file systems cannot flush a folder; the file itself is flushed.
    const int code = synced.error().code;
    if (code == EINVAL || code == ENOTSUP || code == EOPNOTSUPP) return {};
    Error error = synced.error().within("the folder " + quoted(folder) +
                                        " could not be flushed to disk, so the change may not "
                                        "survive a crash");
    error.saved = true;
    return error;
  }
  return {};
}

}  // namespace ostrel::files
