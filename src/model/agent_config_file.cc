#include "ostrel/agent_config_file.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "disk.h"
#include "ostrel/text.h"
#include "save_signals.h"

namespace ostrel {

namespace {

constexpr std::string_view folderInHome = "Library/Application Support/Ostrel";
constexpr unsigned newFolderMode = 0777;  // less the umask, as mkdir applies it
constexpr unsigned newFileMode = 0666;
constexpr int maxLinkHops = 40;                // as the kernel's own limit (ELOOP)
constexpr std::size_t uniqueSuffixLength = 6;  // mkstemp's "XXXXXX"

// The user database's home folder for the real user id; empty when unknown.
std::string databaseHomeDirectory() {
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

// Hidden, so that the desktop application and file browsers ignore it.
std::string temporaryPrefix() { return "." + std::string(AgentConfig::filename) + ".tmp-"; }

// A path echoed in a message, in single quotes and always valid UTF-8.
std::string quoted(std::string_view path) { return "'" + text::escapedForMessage(path) + "'"; }

// The path less its last component: "." for a bare name, "/" for a name
// directly under the root.
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

// mkdir -p: creates `folder` and every missing folder above it.
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

// The file that a save to `path` really replaces: symbolic links followed,
// so that a link stays a link. A dangling link gives the path it points to.
struct ResolvedTarget {
  std::string path;
  std::optional<FileInfo> existing;  // absent when nothing is there yet
};

Expected<ResolvedTarget> resolveLinks(Disk& disk, const std::string& path) {
  std::string current = path;
  for (int hops = 0;; ++hops) {
    auto found = disk.linkStatus(current);
    if (!found.ok()) {
      if (found.error().code == ENOENT) return ResolvedTarget{current, std::nullopt};
      return found.error().within("cannot look up " + quoted(current));
    }
    if (found.value().type != FileInfo::Type::symbolicLink) {
      return ResolvedTarget{current, found.value()};
    }
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

// Writes `bytes` beside the target, flushes them, renames them over the
// target and flushes the folder so the rename survives a crash.
Status replaceFile(Disk& disk, const ResolvedTarget& target, std::string_view bytes) {
  const std::string folder = parentOf(target.path);
  const unsigned mode =
      target.existing ? target.existing->permissions : newFileMode & ~disk.creationMask();

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
  if (auto renamed = disk.rename(temporary.path(), target.path); !renamed.ok()) {
    return renamed.error().within("cannot rename " + temporaryName + " to " + quoted(target.path));
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

// Under the edit lock no other edit is writing, so any temporary file left
// beside the config is debris from an edit that was killed.
void removeStaleTemporaryFiles(Disk& disk, const std::string& location) {
  auto target = resolveLinks(disk, location);
  const std::string folder = parentOf(target.ok() ? target.value().path : location);
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

}  // namespace

Expected<std::string> AgentConfigFile::location() {
  return location(std::getenv("HOME"), databaseHomeDirectory, realDisk());
}

Expected<std::string> AgentConfigFile::location(const char* environmentHome,
                                                const std::function<std::string()>& databaseHome,
                                                Disk& disk) {
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
  return joined(home, std::string(folderInHome) + "/" + std::string(AgentConfig::filename));
}

AgentConfig AgentConfigFile::defaultConfig() { return AgentConfig(1, {}, {}, std::nullopt); }

Expected<AgentConfig> AgentConfigFile::load(const std::string& from) {
  return load(from, realDisk());
}

Expected<AgentConfig> AgentConfigFile::load(const std::string& from, Disk& disk) {
  auto loaded = loadWithDrops(from, disk);
  if (!loaded.ok()) return loaded.error();
  return std::move(loaded).value().config;
}

Expected<AgentConfig::Decoded> AgentConfigFile::loadWithDrops(const std::string& from) {
  return loadWithDrops(from, realDisk());
}

Expected<AgentConfig::Decoded> AgentConfigFile::loadWithDrops(const std::string& from, Disk& disk) {
  auto bytes = readBytes(from, disk);
  if (!bytes.ok()) return bytes.error();
  if (!bytes.value()) return AgentConfig::Decoded{defaultConfig(), {}};
  auto decoded = AgentConfig::decodedWithDrops(*bytes.value());
  if (!decoded.ok()) return decoded.error().within("the config is not valid JSON");
  return decoded;
}

Expected<std::optional<std::string>> AgentConfigFile::readBytes(const std::string& from) {
  return readBytes(from, realDisk());
}

Expected<std::optional<std::string>> AgentConfigFile::readBytes(const std::string& from,
                                                                Disk& disk) {
  const std::string unreadableStep = "could not read the config: " + quoted(from);
  auto unreadable = [&](const Error& error) { return error.within(unreadableStep); };
  auto notAFile = [&](const FileInfo& info) {
    if (info.type == FileInfo::Type::directory) return Error{unreadableStep + " is a directory"};
    return Error{unreadableStep + " is not a regular file"};
  };

  // Checked before opening, so that a device or FIFO is never opened.
  auto found = disk.status(from);
  if (!found.ok()) {
    // ENOTDIR: a file stands where a folder should be, so no config either.
    if (found.error().code == ENOENT || found.error().code == ENOTDIR) {
      return std::optional<std::string>();
    }
    return unreadable(found.error());
  }
  if (found.value().type != FileInfo::Type::regular) return notAFile(found.value());

  auto opened = disk.openForReading(from);
  if (!opened.ok()) return unreadable(opened.error());
  Descriptor file(disk, opened.value());
  // Checked again: the path may have been replaced since the first look.
  auto openedInfo = disk.status(file.fd());
  if (!openedInfo.ok()) return unreadable(openedInfo.error());
  if (openedInfo.value().type != FileInfo::Type::regular) return notAFile(openedInfo.value());

  auto bytes = disk.readAll(file.fd(), openedInfo.value().size);
  if (!bytes.ok()) return unreadable(bytes.error());
  (void)file.close();  // read-only: nothing was written that a close could lose
  return std::optional<std::string>(std::move(bytes).value());
}

Status AgentConfigFile::save(const AgentConfig& config, const std::string& to) {
  return save(config, to, realDisk());
}

Status AgentConfigFile::save(const AgentConfig& config, const std::string& to, Disk& disk) {
  if (auto made = makeFolders(disk, parentOf(to)); !made.ok()) return made;
  auto encoded = config.encoded();
  if (!encoded.ok()) return encoded.error();
  auto target = resolveLinks(disk, to);
  if (!target.ok()) return target.error();
  return replaceFile(disk, target.value(), encoded.value());
}

Expected<AgentConfigFile::EditLock> AgentConfigFile::lockForEditing(const std::string& location,
                                                                    std::chrono::milliseconds wait,
                                                                    const WaitNotice& waiting,
                                                                    Disk& disk) {
  const std::string folder = parentOf(location);
  if (!makeFolders(disk, folder).ok()) return EditLock{};
  auto opened = disk.openDirectory(folder);
  if (!opened.ok()) return EditLock{};
  EditLock lock(disk, opened.value());

  auto locked = disk.tryLockExclusive(opened.value());
  auto busy = [&] {
    const int code = locked.ok() ? 0 : locked.error().code;
    return code == EWOULDBLOCK || code == EAGAIN || code == ETIMEDOUT;
  };
  const auto patience = std::clamp(waiting.after, std::chrono::milliseconds{0}, wait);
  if (busy() && patience.count() > 0) locked = disk.lockExclusive(opened.value(), patience);
  if (busy() && wait > patience) {
    if (waiting.notice) waiting.notice();
    locked = disk.lockExclusive(opened.value(), wait - patience);
  }
  if (!locked.ok()) {
    // A file system without advisory locks: nothing to lock, as with no folder.
    if (!busy()) return EditLock{};
    return Error{"another ostrel edit is holding the config folder " + quoted(folder) +
                 " (waited " + secondsText(wait) + ")"};
  }
  removeStaleTemporaryFiles(disk, location);
  return lock;
}

Expected<AgentConfigFile::EditLock> AgentConfigFile::lockForEditing(
    const std::string& location, std::chrono::milliseconds wait) {
  return lockForEditing(location, wait, WaitNotice{}, realDisk());
}

Expected<AgentConfigFile::EditLock> AgentConfigFile::lockForEditing(const std::string& location,
                                                                    std::chrono::milliseconds wait,
                                                                    const WaitNotice& waiting) {
  return lockForEditing(location, wait, waiting, realDisk());
}

void AgentConfigFile::EditLock::release() {
  // Closing the folder releases the lock; there is nothing to do if it fails.
  if (fd_ >= 0) (void)disk_->close(std::exchange(fd_, -1));
}

AgentConfigFile::EditLock& AgentConfigFile::EditLock::operator=(EditLock&& other) noexcept {
  if (this != &other) {
    release();
    disk_ = other.disk_;
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

AgentConfigFile::EditLock::~EditLock() { release(); }

}  // namespace ostrel
