#include "ostrel/edit_session.h"

#include <cerrno>
#include <unordered_map>
#include <utility>

#include "config_reading.h"
#include "file_steps.h"
#include "history.h"
#include "ostrel/agent_config_file.h"
#include "ostrel/text.h"

namespace ostrel {
namespace {

using Complaint = AgentConfig::Complaint;

// How many times an edit runs when the file keeps changing under it: enough
// for an editor's or a sync client's save to settle, few enough that a file
// rewritten without pause is reported rather than chased.
constexpr int maxAttempts = 3;

// A save's failure as the user reads it.
Error saveFailure(const Error& error) {
  if (error.saved) return Error{"the config was saved, but " + error.description, error.code, true};
  if (error.code == EWOULDBLOCK) return error;  // another edit holds the lock: said in full
  return error.within("could not write the config");
}

// The lock of one edit, taken on the folder of the file it replaces.
class Locker {
 public:
  Locker(Disk& disk, files::LockWait wait) : disk_(disk), wait_(std::move(wait)) {}

  // Takes the lock on `folder` unless it is held there already. A folder
  // that does not exist is created when `create` is set, and otherwise left
  // unlocked: there is nothing in it yet to protect.
  Status lock(const std::string& folder, bool create) {
    if (held_ && held_->folder() == folder) return {};
    held_.reset();
    if (create) {
      if (auto made = files::makeFolders(disk_, folder); !made.ok()) return made;
    } else if (auto found = disk_.status(folder);
               !found.ok() || found.value().type != FileInfo::Type::directory) {
      return {};
    }
    auto locked = files::lock(disk_, folder, wait_);
    if (!locked.ok()) return locked.error();
    held_ = std::move(locked).value();
    return {};
  }

  bool holds(const std::string& folder) const { return held_ && held_->folder() == folder; }

 private:
  Disk& disk_;
  files::LockWait wait_;
  std::optional<files::FolderLock> held_;
};

// The file a save replaces: what stood there when it was read (absent:
// nothing), and how the history sums it up.
struct Replaced {
  std::optional<files::Identity> identity;
  std::string summary;
};

std::string summaryOf(std::string_view bytes) {
  auto decoded = AgentConfig::decoded(bytes);
  return decoded.ok() ? decoded.value().summary() : "not valid JSON";
}

// Replaces `target` with `bytes` under the lock, if what stands there is
// still `old` right up to the rename, first keeping the old file in the
// history. Sets `changed`, and saves nothing, when the file is not the one
// read. Failures come worded as the user reads them.
Status replaceIfUnchanged(Disk& disk, Locker& locker, const std::string& target,
                          std::string_view bytes, const Replaced& old, unsigned mode,
                          const std::string& command, bool& changed) {
  changed = false;
  std::optional<Error> notKept;
  std::optional<std::string> version;  // kept, for a save that then fails
  auto unchanged = [&]() -> Status {
    auto now = files::identityAt(disk, target);
    if (!now.ok()) return now.error();
    changed = now.value() != old.identity;
    if (changed) return Error{"the config changed meanwhile"};
    return {};
  };
  auto keepAndCheck = [&]() -> Status {
    if (auto same = unchanged(); !same.ok()) return same;
    if (!old.identity) return {};  // nothing to keep yet
    auto kept = history::keep(disk, target, old.summary, command);
    if (!kept.ok()) {
      notKept = kept.error().within("could not keep the previous config");
      return *notKept;
    }
    version = std::move(kept).value();
    return {};
  };
  const std::string folder = files::parentOf(target);
  const bool lockedBefore = locker.holds(folder);
  if (auto locked = locker.lock(folder, true); !locked.ok()) return saveFailure(locked.error());
  // Read before the lock was held: another edit may have saved since.
  if (!lockedBefore) {
    if (auto same = unchanged(); !same.ok()) return changed ? same : saveFailure(same.error());
  }
  Status replaced = files::replace(disk, target, bytes, mode, keepAndCheck);
  if (notKept) return *notKept;
  // The old file is still in place: its copy in the history would only
  // stand for it twice.
  if (!replaced.ok() && !replaced.error().saved && version) (void)disk.unlink(*version);
  if (!replaced.ok() && !changed) return saveFailure(replaced.error());
  return replaced;
}

// replaceIfUnchanged() over `stored`, the file just read at `target`
// (nothing: none is there), which the history sums up from its bytes.
Status replaceStored(Disk& disk, Locker& locker, const std::string& target, std::string_view bytes,
                     const std::optional<files::Stored>& stored, const std::string& command,
                     bool& changed) {
  const Replaced old{stored ? std::optional(stored->identity) : std::nullopt,
                     stored ? summaryOf(stored->bytes) : ""};
  return replaceIfUnchanged(disk, locker, target, bytes, old,
                            stored ? stored->permissions : files::newFileMode(disk), command,
                            changed);
}

// Runs `edit` on the loaded record, which it takes, and validates the result
// into `validated`: the outcome of a save still to come, with its findings.
EditSession::Outcome edited(AgentConfig::Decoded& loaded, const EditSession::Edit& edit,
                            std::optional<AgentConfig::Validated>& validated) {
  AgentConfig config = std::move(loaded.config);
  auto change = edit(config);
  if (!change.ok()) return {change.error()};
  validated = std::move(config).validated();
  return {{},
          findingsOf(loaded, *validated, change.value().refusals),
          std::nullopt,
          std::move(change).value()};
}

}  // namespace

std::vector<Complaint> findingsOf(const AgentConfig::Decoded& decoded,
                                  const AgentConfig::Validated& validated,
                                  std::span<const Complaint> refusals) {
  std::vector<Complaint> findings(refusals.begin(), refusals.end());
  findings.reserve(refusals.size() + decoded.dropped.size() + validated.complaints.size() +
                   validated.repairs.size());
  findings.insert(findings.end(), decoded.dropped.begin(), decoded.dropped.end());
  // How many refusals of each text have yet to meet the finding of
  // validation that repeats them; texts compare as Complaint's == does.
  auto textOf = [](const Complaint& c) {
    return text::nfc(c.subject) + '\0' + text::nfc(c.reason);
  };
  std::unordered_map<std::string, std::size_t> unmatched;
  for (const Complaint& refusal : refusals) ++unmatched[textOf(refusal)];
  for (const Complaint& complaint : validated.complaints) {
    if (!unmatched.empty()) {
      if (auto same = unmatched.find(textOf(complaint)); same != unmatched.end() && same->second) {
        --same->second;
        continue;
      }
    }
    findings.push_back(complaint);
  }
  findings.insert(findings.end(), validated.repairs.begin(), validated.repairs.end());
  return findings;
}

Expected<EditSession> EditSession::open(Options options) {
  auto location = AgentConfigFile::location();
  if (!location.ok()) return location.error();
  return EditSession(std::move(options), std::move(location).value());
}

Disk& EditSession::disk() const { return options_.disk ? *options_.disk : realDisk(); }

Expected<std::optional<std::string>> EditSession::storedBytes() const {
  auto stored = files::read(disk(), location_);
  if (!stored.ok()) return stored.error().within("could not read the config");
  if (!stored.value()) return std::optional<std::string>();
  return std::optional<std::string>(std::move(stored.value()->bytes));
}

Expected<AgentConfig::Decoded> EditSession::load() const {
  auto read = readConfig(disk(), location_);
  if (!read.ok()) return read.error();
  return std::move(read).value().decoded;
}

EditSession::Outcome EditSession::edit(const Edit& edit) {
  Disk& disk = this->disk();
  Locker locker(disk, {options_.lockWait, options_.lockPatience, options_.waiting});
  for (int attempt = 0; attempt < maxAttempts; ++attempt) {
    auto target = files::resolved(disk, location_);
    if (!target.ok()) return {target.error().within("could not read the config")};
    const std::string folder = files::parentOf(target.value());
    if (auto locked = locker.lock(folder, false); !locked.ok()) {
      return {saveFailure(locked.error())};
    }
    // A link may have been moved while this run waited for the lock.
    if (auto again = files::resolved(disk, location_);
        !again.ok() || again.value() != target.value()) {
      continue;
    }

    auto read = readConfig(disk, target.value());
    if (!read.ok()) return {read.error()};
    ReadConfig& loaded = read.value();
    // Taken before the edit takes the record.
    const Replaced old{loaded.stored ? std::optional(loaded.stored->identity) : std::nullopt,
                       loaded.decoded.config.summary()};
    const unsigned mode = loaded.stored ? loaded.stored->permissions : files::newFileMode(disk);
    loaded.stored.reset();  // the bytes are not needed again: a large file is freed early
    std::optional<AgentConfig::Validated> validated;
    Outcome outcome = edited(loaded.decoded, edit, validated);
    if (!outcome.status.ok()) return outcome;
    auto bytes = validated->config.encoded();
    if (!bytes.ok()) {
      outcome.status = saveFailure(bytes.error());
      return outcome;
    }

    bool changed = false;
    const Status saved = replaceIfUnchanged(disk, locker, target.value(), bytes.value(), old, mode,
                                            options_.commandLine, changed);
    if (changed) continue;
    if (!saved.ok()) {
      outcome.status = saved;
      if (saved.error().saved) outcome.saved = std::move(validated->config);
      return outcome;
    }
    outcome.saved = std::move(validated->config);
    return outcome;
  }
  return {Error{"could not write the config: it kept changing while this edit ran (" +
                std::to_string(maxAttempts) + " tries); nothing was saved"}};
}

EditSession::Outcome EditSession::preview(const Edit& edit) const {
  auto loaded = load();
  if (!loaded.ok()) return {loaded.error()};
  std::optional<AgentConfig::Validated> validated;
  Outcome outcome = edited(loaded.value(), edit, validated);
  if (!outcome.status.ok()) return outcome;
  if (auto bytes = validated->config.encoded(); !bytes.ok()) {
    outcome.status = saveFailure(bytes.error());
    return outcome;
  }
  outcome.saved = std::move(validated->config);
  return outcome;
}

Status EditSession::replace(std::string_view bytes, const std::optional<std::string>& expected) {
  Disk& disk = this->disk();
  const Error changedMeanwhile{"the config changed while you were editing; nothing was saved"};
  auto target = files::resolved(disk, location_);
  if (!target.ok()) return target.error().within("could not read the config");
  // A file that is gone is a change too; its folder is not made again for it.
  const std::string folder = files::parentOf(target.value());
  if (expected && !disk.status(folder).ok()) return changedMeanwhile;
  Locker locker(disk, {options_.lockWait, options_.lockPatience, options_.waiting});
  if (auto locked = locker.lock(folder, true); !locked.ok()) return saveFailure(locked.error());

  auto current = files::read(disk, target.value());
  if (!current.ok()) return current.error().within("could not read the config");
  const auto& stored = current.value();
  if ((stored ? std::optional(stored->bytes) : std::nullopt) != expected) return changedMeanwhile;
  bool changed = false;
  const Status saved =
      replaceStored(disk, locker, target.value(), bytes, stored, options_.commandLine, changed);
  if (changed) return changedMeanwhile;
  if (!saved.ok()) return saved;
  return {};
}

Expected<std::vector<KeptVersion>> EditSession::history() const {
  auto target = files::resolved(disk(), location_);
  if (!target.ok()) return target.error().within("could not read the config");
  auto entries = history::entries(disk(), target.value());
  if (!entries.ok()) return entries.error();
  std::vector<KeptVersion> versions;
  for (auto& entry : entries.value()) {
    versions.push_back({std::move(entry.time), std::move(entry.summary), std::move(entry.command)});
  }
  return versions;
}

Expected<EditSession::Restored> EditSession::restore(std::size_t number) {
  Disk& disk = this->disk();
  const Error noVersion{"there is no version " + std::to_string(number) +
                        "; `ostrel history` lists them"};
  Locker locker(disk, {options_.lockWait, options_.lockPatience, options_.waiting});
  for (int attempt = 0; attempt < maxAttempts; ++attempt) {
    auto target = files::resolved(disk, location_);
    if (!target.ok()) return target.error().within("could not read the config");
    const std::string folder = files::parentOf(target.value());
    // No folder, no history: nothing is created for a version that is not there.
    if (!disk.status(folder).ok()) return noVersion;
    if (auto locked = locker.lock(folder, true); !locked.ok()) return saveFailure(locked.error());
    auto entries = history::entries(disk, target.value());
    if (!entries.ok()) return entries.error();
    if (number == 0 || number > entries.value().size()) return noVersion;
    const history::Entry& entry = entries.value()[number - 1];
    auto bytes = history::bytesOf(disk, target.value(), entry);
    if (!bytes.ok()) return bytes.error();

    auto current = files::read(disk, target.value());
    if (!current.ok()) return current.error().within("could not read the config");
    const auto& stored = current.value();
    bool changed = false;
    const Status saved = replaceStored(disk, locker, target.value(), bytes.value(), stored,
                                       options_.commandLine, changed);
    if (changed) continue;
    if (!saved.ok()) return saved.error();
    return Restored{{entry.time, entry.summary, entry.command}, std::move(bytes).value()};
  }
  return Error{"could not write the config: it kept changing while this restore ran (" +
               std::to_string(maxAttempts) + " tries); nothing was saved"};
}

}  // namespace ostrel
