// AgentConfigFile: where agent-config.json lives, and moving an AgentConfig
// between that file and memory. Stateless; nothing is cached between calls.
// Neither operation validates or repairs a record.
#pragma once

#include <chrono>
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

  // Why a file could not be loaded.
  class LoadError {
   public:
    enum class Kind { unreadable, malformed };

    static LoadError unreadable(std::string text) { return {Kind::unreadable, std::move(text)}; }
    static LoadError malformed(std::string text) { return {Kind::malformed, std::move(text)}; }

    Kind kind() const { return kind_; }
    const std::string& text() const { return text_; }

    // "could not read the config: " or "the config is not valid JSON: ",
    // followed directly by text().
    std::string description() const;

   private:
    LoadError(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}
    Kind kind_;
    std::string text_;
  };

  // A held exclusive lock that serialises this tool's edits of one config.
  // Released when destroyed (and by the kernel if the process dies). May be
  // empty: held() is false where there was no folder to lock.
  class EditLock {
   public:
    EditLock() = default;
    explicit EditLock(int fd) : fd_(fd) {}
    EditLock(EditLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    EditLock& operator=(EditLock&& other) noexcept;
    EditLock(const EditLock&) = delete;
    EditLock& operator=(const EditLock&) = delete;
    ~EditLock();

    bool held() const { return fd_ >= 0; }

   private:
    int fd_ = -1;
  };

  // The location, computed afresh on every call: the home directory ($HOME
  // when set and not empty, else the user database), then
  // "Library/Application Support/Ostrel/agent-config.json". Creates nothing.
  static std::string location();

  // Version 1, no words, no rules, no style: what a missing file stands for.
  static AgentConfig defaultConfig();

  // The record stored at `from`, unvalidated; defaultConfig() when nothing
  // exists there. Anything that is not a regular file is unreadable; reading
  // never blocks. Never creates or changes anything on disk.
  static Expected<AgentConfig, LoadError> load(const std::string& from);
  static Expected<AgentConfig, LoadError> load(const std::string& from, Disk& disk);

  // Writes config.encoded() to `to` atomically and durably: creates the
  // folder with its parents, writes a uniquely named hidden temporary file
  // beside the file, flushes it to stable storage, renames it over the file
  // and flushes the folder. An existing file keeps its permission bits; a
  // symbolic link at `to` stays a link and its target is replaced. On any
  // failure the old file is left byte for byte and the temporary file is
  // removed; the error names the step and the system's reason.
  static std::optional<Error> save(const AgentConfig& config, const std::string& to);
  static std::optional<Error> save(const AgentConfig& config, const std::string& to, Disk& disk);

  // Takes the lock that serialises edits of the config at `location`: an
  // exclusive advisory lock on its folder, created if missing, waiting at most
  // `wait`. Returns an empty lock when the folder cannot be created or opened
  // (there is nothing to lock and the save will report why). Fails only when
  // another edit holds the lock for longer than `wait`. Once held, removes
  // temporary files that a killed edit left behind.
  static Expected<EditLock, Error> lockForEditing(const std::string& location,
                                                  std::chrono::milliseconds wait);
};

}  // namespace ostrel
