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

// A started run of `ostrel args...` with HOME=home. Standard output goes to
// `stdoutPath` when given; otherwise it is captured with standard error.
class Process {
 public:
  Process(const std::vector<std::string>& args, const std::string& home,
          const std::string& stdoutPath = "");
  ~Process();  // kills a run that was not finished

  pid_t pid() const { return pid_; }
  RunResult finish();  // waits for the run

 private:
  TempDir captured_;  // its standard output and error
  pid_t pid_ = -1;
};

RunResult runOstrel(const std::vector<std::string>& args, const std::string& home,
                    const std::string& stdoutPath = "");

// Where the tool keeps the config under `home`.
std::string configDir(const std::string& home);
std::string configPath(const std::string& home);

std::string readFile(const std::string& path);
// Creates the folders above `path` as needed.
void writeFile(const std::string& path, const std::string& bytes);
// The names in `dir`, sorted, without "." and "..".
std::vector<std::string> listDir(const std::string& dir);

}  // namespace ostrel::testing
