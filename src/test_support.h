// What the tests and fuzz targets share: byte-for-byte record equality,
// throw-away folders and file helpers, and runs of the built ostrel binary
// against a throw-away home, as a user would run it.
#pragma once

#include <sys/types.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <tuple>
#include <vector>

#include "ostrel/agent_config.h"

namespace ostrel::testing {

// True when every field holds the same bytes. The record's own == compares
// texts by canonical equivalence, which is too lenient for a round trip.
inline bool sameBytes(const AgentConfig& a, const AgentConfig& b) {
  auto fields = [](const AgentConfig::Rule& r) {
    return std::tie(r.kind, r.trigger, r.replacement, r.enabled);
  };
  return a.version == b.version && a.dictionary == b.dictionary && a.style == b.style &&
         std::equal(a.rules.begin(), a.rules.end(), b.rules.begin(), b.rules.end(),
                    [&](const auto& x, const auto& y) { return fields(x) == fields(y); });
}

// A fresh, empty folder, removed with everything in it when destroyed.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct RunResult {
  int status = -1;  // exit status, or 128 + signal number
  std::string out, err;
};

// A started run of `ostrel args...` (OSTREL_BIN) with HOME=home. Standard
// output goes to `stdoutPath` when given, else it is captured; standard input
// comes from `stdinPath`.
class Process {
 public:
  Process(const std::vector<std::string>& args, const std::string& home,
          const std::string& stdoutPath = "", const std::string& stdinPath = "/dev/null");
  ~Process();  // kills a run that was not finished
  pid_t pid() const { return pid_; }
  RunResult finish();

 private:
  TempDir captured_;
  pid_t pid_ = -1;
};

inline RunResult runOstrel(const std::vector<std::string>& args, const std::string& home,
                           const std::string& stdoutPath = "") {
  return Process(args, home, stdoutPath).finish();
}

// Where the tool keeps the config under `home`.
std::string configDir(const std::string& home);
std::string configPath(const std::string& home);

std::string readFile(const std::string& path);                      // throws when it cannot
void writeFile(const std::string& path, const std::string& bytes);  // makes the folders
std::vector<std::string> listDir(const std::string& dir);           // sorted; none if no folder

}  // namespace ostrel::testing
