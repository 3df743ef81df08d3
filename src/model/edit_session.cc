#include "ostrel/edit_session.h"

#include <cerrno>
#include <unordered_map>
#include <utility>

#include "config_reading.h"
#include "file_steps.h"
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

// Replaces `target` with `bytes` under the lock, if what stands there is
// still `expected` (absent: nothing) right up to the rename. Sets `changed`,
// and saves nothing, when it is not.
Status replaceIfUnchanged(Disk& disk, Locker& locker, const std::string& target,
                          std::string_view bytes, const std::optional<files::Identity>& expected,
                          unsigned mode, bool& changed) {
  changed = false;
  auto unchanged = [&]() -> Status {
    auto now = files::identityAt(disk, target);
    if (!now.ok()) return now.error();
    changed = now.value() != expected;
    if (changed) return Error{"the config changed meanwhile"};
    return {};
  };
  const std::string folder = files::parentOf(target);
  const bool lockedBefore = locker.holds(folder);
  if (auto locked = locker.lock(folder, true); !locked.ok()) return locked;
  // Read before the lock was held: another edit may have saved since.
  if (!lockedBefore) {
    if (auto same = unchanged(); !same.ok()) return same;
  }
  return files::replace(disk, target, bytes, mode, unchanged);
}

// Runs `edit` on a copy of the loaded record and validates the result into
// `validated`: the outcome of a save still to come, with its findings.
EditSession::Outcome edited(const AgentConfig::Decoded& loaded, const EditSession::Edit& edit,
                            std::optional<AgentConfig::Validated>& validated) {
  AgentConfig config = loaded.config;
  auto change = edit(config);
  if (!change.ok()) return {change.error()};
  validated = config.validated();
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
    std::optional<AgentConfig::Validated> validated;
    Outcome outcome = edited(read.value().decoded, edit, validated);
    if (!outcome.status.ok()) return outcome;
    auto bytes = validated->config.encoded();
    if (!bytes.ok()) {
      outcome.status = saveFailure(bytes.error());
      return outcome;
    }

    const auto& stored = read.value().stored;
    const std::optional<files::Identity> expected =
        stored ? std::optional(stored->identity) : std::nullopt;
    const unsigned mode = stored ? stored->permissions : files::newFileMode(disk);
    bool changed = false;
    const Status saved =
        replaceIfUnchanged(disk, locker, target.value(), bytes.value(), expected, mode, changed);
    if (changed) continue;
    if (!saved.ok()) {
      outcome.status = saveFailure(saved.error());
      if (saved.error().saved) outcome.saved = validated->config;
      return outcome;
    }
    outcome.saved = validated->config;
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
  const Status saved = replaceIfUnchanged(
      disk, locker, target.value(), bytes, stored ? std::optional(stored->identity) : std::nullopt,
      stored ? stored->permissions : files::newFileMode(disk), changed);
  if (changed) return changedMeanwhile;
  if (!saved.ok()) return saveFailure(saved.error());
  return {};
}

}  // namespace ostrel
