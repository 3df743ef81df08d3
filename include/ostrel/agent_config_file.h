// AgentConfigFile: where agent-config.json lives, and moving an AgentConfig
// between that file and memory. Stateless; nothing is cached between calls.
// Neither operation validates or repairs a record; failures come back as
// Error values, and nothing here prints or exits.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "ostrel/agent_config.h"
#include "ostrel/expected.h"

namespace ostrel {

class Disk;  // the file-system seam; tests substitute one that fails on cue

class AgentConfigFile {
 public:
  AgentConfigFile() = delete;

  // A held exclusive lock that serialises this tool's edits of one config.
  // Released when destroyed (and by the kernel if the process dies). May be
  // empty: held() is false where there was no folder to lock.
  class EditLock {
   public:
    EditLock() = default;
    // Takes over `fd`, an open folder on `disk`, and closes it through `disk`.
    EditLock(Disk& disk, int fd) : disk_(&disk), fd_(fd) {}
    EditLock(EditLock&& other) noexcept : disk_(other.disk_), fd_(std::exchange(other.fd_, -1)) {}
    EditLock& operator=(EditLock&& other) noexcept;
    EditLock(const EditLock&) = delete;
    EditLock& operator=(const EditLock&) = delete;
    ~EditLock();

    bool held() const { return fd_ >= 0; }

   private:
    void release();

    Disk* disk_ = nullptr;
    int fd_ = -1;
  };

  // The location, computed afresh on every call: the home folder, then
  // "Library/Application Support/Ostrel/agent-config.json". The home folder is
  // $HOME when set and not empty, else the user database's entry; it must be
  // an absolute path to an existing folder. Creates nothing. Fails with
  // "cannot find your home folder: " and why.
  static Expected<std::string> location();
  // The same, with $HOME's value (null when unset) and the user database
  // given.
  static Expected<std::string> location(const char* environmentHome,
                                        const std::function<std::string()>& databaseHome,
                                        Disk& disk);

  // Version 1, no words, no rules, no style: what a missing file stands for.
  static AgentConfig defaultConfig();

  // The record stored at `from`, unvalidated; defaultConfig() when nothing
  // exists there. Anything that is not a regular file is unreadable; reading
  // never blocks. Never creates or changes anything on disk. The error's text
  // is the whole message: "could not read the config: " followed by the path
  // and the reason, or "the config is not valid JSON: " followed by what
  // decoded() found.
  static Expected<AgentConfig> load(const std::string& from);
  static Expected<AgentConfig> load(const std::string& from, Disk& disk);

  // load(), also with what the file held that the record leaves out (see
  // AgentConfig::decodedWithDrops); nothing for a missing file.
  static Expected<AgentConfig::Decoded> loadWithDrops(const std::string& from);
  static Expected<AgentConfig::Decoded> loadWithDrops(const std::string& from, Disk& disk);

  // The bytes stored at `from`, read as load() reads them and undecoded;
  // nothing when no file exists there. The error is load()'s unreadable one.
  static Expected<std::optional<std::string>> readBytes(const std::string& from);
  static Expected<std::optional<std::string>> readBytes(const std::string& from, Disk& disk);

  // Writes config.encoded() to `to` atomically and durably: creates the
  // folder with its parents, writes a uniquely named hidden temporary file
  // beside the file, flushes it to stable storage, renames it over the file
  // and flushes the folder. An existing file keeps its permission bits; a
  // symbolic link at `to` stays a link and its target is replaced. A failure
  // before the rename leaves the old file byte for byte and removes the
  // temporary file; one after it (flushing the folder) has Error::saved set,
  // as the new file is then in place. The error names the step and the
  // system's reason (the caller says what was being saved).
  static Status save(const AgentConfig& config, const std::string& to);
  static Status save(const AgentConfig& config, const std::string& to, Disk& disk);

  // What a caller hears while lockForEditing waits: `notice` is called once
  // when the lock has not come within `after`.
  struct WaitNotice {
    std::chrono::milliseconds after{0};
    std::function<void()> notice;
  };

  // Takes the lock that serialises edits of the config at `location`: an
  // exclusive advisory lock on its folder, created if missing, waiting at most
  // `wait`, in the kernel, so that the longest waiter is not overtaken by
  // polling newcomers. Returns an empty lock when the folder cannot be created
  // or opened (there is nothing to lock and the save will report why). Fails
  // only when another edit holds the lock for longer than `wait`. Once held,
  // removes temporary files that a killed edit left behind.
  static Expected<EditLock> lockForEditing(const std::string& location,
                                           std::chrono::milliseconds wait);
  static Expected<EditLock> lockForEditing(const std::string& location,
                                           std::chrono::milliseconds wait,
                                           const WaitNotice& waiting);
  static Expected<EditLock> lockForEditing(const std::string& location,
                                           std::chrono::milliseconds wait,
                                           const WaitNotice& waiting, Disk& disk);
};

}  // namespace ostrel
