// The history of the config: before a save replaces the file, the file being
// replaced is kept, byte for byte, in the folder ".agent-config.history"
// beside it, so that no save, not even one that drops what breaks the limits,
// is ever beyond undoing.
//
// The folder (mode 0700) holds one file per version, named by its number
// ("17.json", numbers only grow), and an index with one line per version:
// its number, when it was replaced (UTC), a summary of what it held and the
// command that replaced it, separated by tabs. A version is a hard link of
// the replaced file where the file system allows, which costs no copy: the
// rename leaves the old file to it. Every step survives a kill at any
// moment: a line is appended in one write after its file is in place, a torn
// last line is ignored and never joins the next, and a version file that no
// line names is removed when the history is next pruned.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disk.h"
#include "ostrel/expected.h"

namespace ostrel::history {

// How many versions are kept; older ones are removed.
inline constexpr std::size_t maxVersions = 50;

struct Entry {
  std::uint64_t id = 0;  // the version file's number
  std::string time;      // "2026-12-07 20:15:03 UTC": when it was replaced
  std::string summary;   // what it held: "3 words, 2 rules, style set"
  std::string command;   // what replaced it: "ostrel dict add Quokka"
};

// The history folder of the config file `configFile` (links followed).
std::string folderOf(const std::string& configFile);

// The kept versions, newest first, at most maxVersions of them; none when
// there is no history. Lines that are torn or malformed are skipped.
Expected<std::vector<Entry>> entries(Disk& disk, const std::string& configFile);

// The bytes of a kept version.
Expected<std::string> bytesOf(Disk& disk, const std::string& configFile, const Entry& entry);

// Keeps the file now at `configFile` as the newest version, with `summary`
// and `command` (the time is now), then removes all but the newest
// maxVersions. Creates the folder if missing. Returns the version's path,
// for a save that then fails to remove; the error names the step.
Expected<std::string> keep(Disk& disk, const std::string& configFile, const std::string& summary,
                           const std::string& command);

// The current time as an entry writes it.
std::string timeNow();

}  // namespace ostrel::history
