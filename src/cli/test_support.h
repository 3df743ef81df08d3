// Runs the built ostrel binary the way a user would, against a throw-away
// home directory, and captures everything it does.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace ostrel::testing {

// A fresh, empty directory, removed with everything in it when destroyed.
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
  std::string out;
  std::string err;
};

// A started run of the binary; finish() waits for it.
class Process {
 public:
  Process(const std::vector<std::string>& args, const std::string& home,
          const std::string& stdoutPath = "");
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t pid() const { return pid_; }
  RunResult finish();

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
};

// Runs `ostrel args...` with HOME=home and waits for it. With stdoutPath,
// standard output goes to that file instead of being captured.
RunResult runOstrel(const std::vector<std::string>& args, const std::string& home,
                    const std::string& stdoutPath = "");

// Where the tool keeps the config under `home`.
std::string configDir(const std::string& home);
std::string configPath(const std::string& home);

std::string readFile(const std::string& path);
// Creates the folders above `path` as needed.
void writeFile(const std::string& path, const std::string& bytes);
bool exists(const std::string& path);
// The names in `dir`, sorted, without "." and "..".
std::vector<std::string> listDir(const std::string& dir);

}  // namespace ostrel::testing
