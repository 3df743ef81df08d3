#include "test_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace ostrel::testing {
namespace fs = std::filesystem;

// Read once: a test may point TMPDIR at a folder that is not there.
const fs::path& systemTemporaryFolder() {
  static const fs::path folder = fs::temp_directory_path();
  return folder;
}

TempDir::TempDir() : path_((systemTemporaryFolder() / "ostrel-test-XXXXXX").string()) {
  if (::mkdtemp(path_.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

Process::Process(const std::vector<std::string>& args, const std::string& home,
                 const std::string& stdoutPath, const std::string& stdinPath) {
  const char* bin = std::getenv("OSTREL_BIN");
  if (bin == nullptr) throw std::runtime_error("OSTREL_BIN is not set");
  std::vector<std::string> argv = {bin};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> pointers;
  for (auto& arg : argv) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  const std::string out = stdoutPath.empty() ? captured_.path() + "/out" : stdoutPath;
  const std::string err = captured_.path() + "/err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, stdinPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT, 0600);
  ::setenv("HOME", home.c_str(), 1);  // the child takes the test's environment
  const int rc = ::posix_spawn(&pid_, bin, &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("posix_spawn failed");
}

Process::~Process() {
  if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0) ::waitpid(pid_, nullptr, 0);
}

RunResult Process::finish() {
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  RunResult r;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (fs::exists(captured_.path() + "/out")) r.out = readFile(captured_.path() + "/out");
  r.err = readFile(captured_.path() + "/err");
  return r;
}

std::string configDir(const std::string& home) {
  return home + "/Library/Application Support/Ostrel";
}

std::string configPath(const std::string& home) { return configDir(home) + "/agent-config.json"; }

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!(out << bytes)) throw std::runtime_error("cannot write " + path);
}

std::vector<std::string> listDir(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(dir, ignored)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace ostrel::testing
