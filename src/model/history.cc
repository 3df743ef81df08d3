#include "history.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "file_steps.h"

namespace ostrel::history {
namespace {

constexpr std::string_view folderName = ".agent-config.history";
constexpr std::string_view indexName = "index";
constexpr std::string_view versionSuffix = ".json";
// Temporary files of a copy or an index being rewritten; a kill may leave one.
constexpr std::string_view temporaryPrefix = ".tmp-";

// The number of a version file's name ("17.json"), or 0 for another name.
std::uint64_t idOfName(std::string_view name) {
  if (!name.ends_with(versionSuffix)) return 0;
  name.remove_suffix(versionSuffix.size());
  std::uint64_t id = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), id);
  return error == std::errc() && end == name.data() + name.size() ? id : 0;
}

std::string versionPath(const std::string& folder, std::uint64_t id) {
  return files::joined(folder, std::to_string(id) + std::string(versionSuffix));
}

std::string line(const Entry& entry) {
  return std::to_string(entry.id) + '\t' + entry.time + '\t' + entry.summary + '\t' +
         entry.command + '\n';
}

// The complete lines of the index, oldest first; a torn last line (no line
// break) and malformed lines are skipped.
std::vector<Entry> parsed(std::string_view index) {
  std::vector<Entry> found;
  for (std::size_t end; (end = index.find('\n')) != std::string_view::npos;
       index.remove_prefix(end + 1)) {
    // Three tabs end the first three fields; the rest, maybe empty, is the
    // command.
    std::string_view rest = index.substr(0, end);
    std::string_view fields[4];
    std::size_t count = 0;
    for (std::size_t tab; count < 3 && (tab = rest.find('\t')) != std::string_view::npos; ++count) {
      fields[count] = rest.substr(0, tab);
      rest.remove_prefix(tab + 1);
    }
    if (count == 3) fields[count++] = rest;
    const std::uint64_t id = idOfName(std::string(fields[0]) + std::string(versionSuffix));
    if (count == 4 && id != 0 && !fields[1].empty()) {
      found.push_back({id, std::string(fields[1]), std::string(fields[2]), std::string(fields[3])});
    }
  }
  return found;
}

struct Index {
  std::vector<Entry> entries;  // oldest first
  bool endsTorn = false;       // a last line without its line break
};

Expected<Index> readIndex(Disk& disk, const std::string& folder) {
  auto stored = files::read(disk, files::joined(folder, indexName));
  if (!stored.ok()) return stored.error();
  if (!stored.value()) return Index{};
  const std::string& bytes = stored.value()->bytes;
  return Index{parsed(bytes), !bytes.empty() && bytes.back() != '\n'};
}

// Writes `bytes` to `path` through a temporary file renamed over it, so
// that a kill leaves the old file or the new one.
Status writeWhole(Disk& disk, const std::string& folder, const std::string& path,
                  std::string_view bytes, unsigned mode) {
  auto created =
      disk.createUniqueFile(files::joined(folder, std::string(temporaryPrefix) + "XXXXXX"));
  if (!created.ok())
    return created.error().within("cannot create a file in " + files::quoted(folder));
  const CreatedFile file = created.value();
  Status done = disk.writeAll(file.fd, bytes);
  if (done.ok()) done = disk.setPermissions(file.fd, mode);
  const Status closed = disk.close(file.fd);
  if (done.ok()) done = closed;
  if (done.ok()) done = disk.rename(file.path, path);
  if (!done.ok()) {
    (void)disk.unlink(file.path);
    return done.error().within("cannot write " + files::quoted(path));
  }
  return {};
}

// Hard links fail like this where the file system has none; a copy serves.
bool linksUnsupported(int code) {
  return code == EXDEV || code == EPERM || code == ENOTSUP || code == EOPNOTSUPP || code == EMLINK;
}

// Keeps the newest maxVersions versions, then removes every version file no
// kept line names and any temporary file a kill left, of the folder's `names`
// as listed before the newest version was added. The index is rewritten only
// once it holds twice the lines it keeps, so that most saves just append to
// it; until then the older lines name files that are gone, and are ignored.
// Housekeeping: a failure only leaves more behind.
void prune(Disk& disk, const std::string& folder, std::vector<Entry> entries,
           const std::vector<std::string>& names) {
  if (entries.size() > maxVersions) {
    const bool compact = entries.size() > 2 * maxVersions;
    entries.erase(entries.begin(), entries.end() - maxVersions);
    if (compact) {
      std::string index;
      for (const Entry& entry : entries) index += line(entry);
      if (!writeWhole(disk, folder, files::joined(folder, indexName), index, 0600).ok()) return;
    }
  }
  std::unordered_set<std::uint64_t> named;
  for (const Entry& entry : entries) named.insert(entry.id);
  for (const std::string& name : names) {
    const std::uint64_t id = idOfName(name);
    if ((id != 0 && !named.contains(id)) || name.starts_with(temporaryPrefix)) {
      (void)disk.unlink(files::joined(folder, name));
    }
  }
}

}  // namespace

std::string folderOf(const std::string& configFile) {
  return files::joined(files::parentOf(configFile), folderName);
}

std::string timeNow() {
  // Computed from the clock alone: gmtime_r would first read the time zone
  // files, which UTC does not need.
  using namespace std::chrono;
  const auto now = floor<seconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss time{now - day};
  char text[40];
  const int length = std::snprintf(
      text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d UTC", static_cast<int>(date.year()),
      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
      static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
      static_cast<int>(time.seconds().count()));
  return std::string(text, static_cast<std::size_t>(length));
}

Expected<std::vector<Entry>> entries(Disk& disk, const std::string& configFile) {
  const std::string folder = folderOf(configFile);
  auto index = readIndex(disk, folder);
  if (!index.ok()) return index.error().within("cannot read the history");
  auto names = disk.listDirectory(folder);
  if (!names.ok()) return std::vector<Entry>();
  // Only versions whose file is there: one removed by hand cannot come back.
  std::unordered_set<std::uint64_t> present;
  for (const std::string& name : names.value()) present.insert(idOfName(name));
  std::vector<Entry> newestFirst;
  for (auto entry = index.value().entries.rbegin();
       entry != index.value().entries.rend() && newestFirst.size() < maxVersions; ++entry) {
    if (present.contains(entry->id)) newestFirst.push_back(std::move(*entry));
  }
  return newestFirst;
}

Expected<std::string> bytesOf(Disk& disk, const std::string& configFile, const Entry& entry) {
  const std::string path = versionPath(folderOf(configFile), entry.id);
  auto stored = files::read(disk, path);
  if (!stored.ok()) return stored.error().within("cannot read the history");
  if (!stored.value()) return Error{"cannot read the history: " + files::quoted(path) + " is gone"};
  return std::move(stored.value()->bytes);
}

Expected<std::string> keep(Disk& disk, const std::string& configFile, const std::string& summary,
                           const std::string& command) {
  const std::string folder = folderOf(configFile);
  if (auto found = disk.status(folder); !found.ok()) {
    if (found.error().code != ENOENT) return found.error().within(files::quoted(folder));
    // Private: the versions hold everything the user ever stored.
    auto made = disk.makeDirectory(folder, 0700);
    if (!made.ok()) return made.error().within("cannot create the folder " + files::quoted(folder));
  } else if (found.value().type != FileInfo::Type::directory) {
    return Error{files::quoted(folder) + " exists and is not a folder"};
  }

  auto index = readIndex(disk, folder);
  if (!index.ok()) return index.error();
  auto names = disk.listDirectory(folder);
  if (!names.ok()) return names.error().within("cannot list " + files::quoted(folder));
  std::uint64_t last = 0;
  for (const Entry& entry : index.value().entries) last = std::max(last, entry.id);
  for (const std::string& name : names.value()) last = std::max(last, idOfName(name));
  const Entry entry{last + 1, timeNow(), summary, command};
  const std::string version = versionPath(folder, entry.id);

  if (auto linked = disk.link(configFile, version); !linked.ok()) {
    if (!linksUnsupported(linked.error().code)) {
      return linked.error().within("cannot link " + files::quoted(configFile) + " as " +
                                   files::quoted(version));
    }
    auto old = files::read(disk, configFile);
    if (!old.ok()) return old.error();
    if (old.value()) {
      auto copied = writeWhole(disk, folder, version, old.value()->bytes, old.value()->permissions);
      if (!copied.ok()) return copied.error();
    }
  }

  // One write, so that a kill leaves the line whole or torn, never mixed.
  const std::string record = (index.value().endsTorn ? "\n" : "") + line(entry);
  const std::string indexPath = files::joined(folder, indexName);
  auto opened = disk.openForAppending(indexPath, 0600);
  if (!opened.ok()) {
    (void)disk.unlink(version);
    return opened.error().within("cannot open " + files::quoted(indexPath));
  }
  Status written = disk.writeAll(opened.value(), record);
  const Status closed = disk.close(opened.value());
  if (written.ok()) written = closed;
  if (!written.ok()) {
    (void)disk.unlink(version);
    return written.error().within("cannot write " + files::quoted(indexPath));
  }

  std::vector<Entry> all = std::move(index.value().entries);
  all.push_back(entry);
  prune(disk, folder, std::move(all), names.value());
  return version;
}

}  // namespace ostrel::history
