// EditSession: one run's dealings with the config file, for every command
// that reads it or saves it. It finds the file (the home folder, then any
// symbolic links followed to the file they end at), reads it as the desktop
// application reads it, and saves under the lock that serialises this tool's
// edits of that file, atomically, and only over the file it read: a save that
// finds the file written by someone else meanwhile (an editor, a sync client,
// the application) runs the edit again on what is there now. Every save
// first keeps the file it replaces in the history beside it, so that any
// save can be undone; a save whose old file cannot be kept is not made.
//
// Nothing here prints or exits; failures are Error values whose text is the
// whole message. What a save drops or repairs is computed in one place,
// findingsOf(), for every command that reports it.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ostrel/agent_config.h"
#include "ostrel/expected.h"

namespace ostrel {

class Disk;  // the file-system seam; tests substitute one that fails on cue

// What a save of `decoded`, once edited and validated into `validated`, loses
// or changes, in the order a report lists it: the edit's own `refusals`, the
// keys the record cannot hold, what validation dropped or cut, then the
// silent repairs. Each occurrence is listed once: each refusal leaves out one
// of validation's findings equal to it, which would say it again.
std::vector<AgentConfig::Complaint> findingsOf(
    const AgentConfig::Decoded& decoded, const AgentConfig::Validated& validated,
    std::span<const AgentConfig::Complaint> refusals = {});

// How an EditSession meets the world, given once when it is opened.
struct SessionOptions {
  // The real disk when null.
  Disk* disk = nullptr;
  // How long a save waits for another edit's lock, and after how long it
  // calls `waiting` (once) to say so.
  std::chrono::milliseconds lockWait{std::chrono::seconds(10)};
  std::chrono::milliseconds lockPatience{std::chrono::seconds(1)};
  std::function<void()> waiting = nullptr;
  // The command the history records as having replaced a version, its
  // values escaped as in messages: "ostrel dict add Quokka".
  std::string commandLine = {};
};

// A version of the config that the history keeps.
struct KeptVersion {
  std::string time;     // when it was replaced: "2026-12-07 20:15:03 UTC"
  std::string summary;  // what it held: "3 words, 2 rules, style set"
  std::string command;  // what replaced it
};

class EditSession {
 public:
  using Options = SessionOptions;

  // What an edit says of itself, besides the change it made to the record.
  struct Change {
    // What the edit refused to store, leaving the record as loaded there:
    // the reasons, listed first among the findings.
    std::vector<AgentConfig::Complaint> refusals = {};
    // What else the edit has to say, one line each, before the findings.
    std::vector<std::string> notes = {};
  };

  // Changes the loaded record in place; an error stops the edit unsaved.
  using Edit = std::function<Expected<Change>(AgentConfig&)>;

  struct Outcome {
    // Why nothing was saved; or, with Error::saved set, what failed once the
    // new file was in place ("the config was saved, but …").
    Status status = {};
    // findingsOf() the saved record, set once validation has run, also when
    // the save then failed.
    std::vector<AgentConfig::Complaint> findings = {};
    std::optional<AgentConfig> saved = std::nullopt;  // the record as saved
    Change change = {};
  };

  // Finds the config at AgentConfigFile::location(). Creates nothing.
  static Expected<EditSession> open(Options options = {});

  // The config's path as the user knows it, before links are followed.
  const std::string& location() const { return location_; }

  // The stored bytes, undecoded; nothing when no file exists. Takes no lock
  // and creates nothing. The error is "could not read the config: …".
  Expected<std::optional<std::string>> storedBytes() const;

  // The stored record, unvalidated, with the keys it leaves out; the default
  // config when no file exists. Takes no lock and creates nothing.
  Expected<AgentConfig::Decoded> load() const;

  // The edit transaction: lock, load, edit, validate, save. The folder is
  // created only for the save, so a failed edit leaves nothing behind. When
  // the file turns out changed by someone else just before the rename, the
  // whole edit runs again on its new contents, a few times at most.
  Outcome edit(const Edit& edit);

  // What edit() would do, saving nothing: loads without a lock, edits,
  // validates and gives the same findings, with `saved` the record a save
  // would write. Creates nothing.
  Outcome preview(const Edit& edit) const;

  // Saves `bytes` as they are, under the lock, if the file still holds
  // `expected` (nothing: no file); otherwise fails with "the config changed
  // while you were editing; nothing was saved".
  Status replace(std::string_view bytes, const std::optional<std::string>& expected);

  // The kept versions, newest first (version 1 is the newest). Takes no lock
  // and creates nothing.
  Expected<std::vector<KeptVersion>> history() const;

  // Puts back the exact bytes of version `number` (from 1), neither
  // validated nor repaired, with the same lock, history and atomic save as
  // an edit. Fails with "there is no version N; `ostrel history` lists
  // them" when there is none. Returns the version and its bytes.
  struct Restored {
    KeptVersion version;
    std::string bytes;
  };
  Expected<Restored> restore(std::size_t number);

 private:
  EditSession(Options options, std::string location)
      : options_(std::move(options)), location_(std::move(location)) {}

  Disk& disk() const;

  Options options_;
  std::string location_;
};

}  // namespace ostrel
