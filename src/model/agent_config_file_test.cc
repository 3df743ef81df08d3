// Saving and the edit lock where only the model can reach: each step of a
// save failing or killed, through the Disk seam, and what the command line
// cannot set up. Loading and the rest are covered end to end in cli_test.
#include "ostrel/agent_config_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <filesystem>

#include "disk.h"
#include "test_support.h"

namespace ostrel {
namespace {

using namespace std::chrono_literals;
using namespace testing;  // readFile, writeFile, listDir

// The disk calls of a save, in order; afterRename is just after the rename.
enum class Step { openDir, create, write, chmod, sync, close, rename, afterRename, syncDir };
// The real disk, but the call of one step fails with errno `code`, or, when
// `code` is a negative signal number, raises that signal there.
template <class T>
using Or = Expected<T>;
struct FaultyDisk : Disk {
  FaultyDisk(Step step, int code) : step_(step), code_(code) {}
#define FAULT(Ret, call, step, params, args) \
  Ret call params override { return at(step) ? Ret(Error::fromErrno(code_)) : Disk::call args; }
  FAULT(Or<int>, openDirectory, Step::openDir, (const std::string& p), (p))
  FAULT(Or<CreatedFile>, createUniqueFile, Step::create, (const std::string& p), (p))
  FAULT(Status, writeAll, Step::write, (int fd, std::string_view b), (fd, b))
  FAULT(Status, setPermissions, Step::chmod, (int fd, unsigned mode), (fd, mode))
  FAULT(Status, syncFile, Step::sync, (int fd), (fd))
  FAULT(Status, syncDirectory, Step::syncDir, (int fd), (fd))
#undef FAULT
  Status close(int fd) override {
    const Status closed = Disk::close(fd);  // the descriptor is gone either way
    return at(Step::close) ? Error::fromErrno(code_) : closed;
  }
  Status rename(const std::string& from, const std::string& to) override {
    const Status renamed = at(Step::rename) ? Error::fromErrno(code_) : Disk::rename(from, to);
    return at(Step::afterRename) ? Error::fromErrno(code_) : renamed;
  }
  // Whether this is the step; raises the step's signal when code_ names one.
  bool at(Step step) const { return step == step_ && (code_ >= 0 || ::raise(-code_) == 0); }
  Step step_;
  int code_;
};

// A record beyond the limits: a save neither validates nor repairs it.
const AgentConfig config(3, {"Quokka", "quokka", std::string(101, 't')},
                         {AgentConfig::Rule("Bogus", "b", "b", true)}, "  Be brief.  ");

bool held(const auto& lock) { return lock.ok() && lock.value().held(); }

struct FileTest : ::testing::Test {
  testing::TempDir root;
  const std::string folder = root.path() + "/Ostrel", location = folder + "/agent-config.json";
  const std::string old = "the old file", saved = config.encoded().value();
};

TEST_F(FileTest, FailedOrKilledStepLeavesAWholeFileAndNoTemporaryFile) {
  // Beside the file, names that only look like the save's temporary files.
  // clang-format off
  const std::vector<std::string> kept = {".agent-config.json.tmp-", ".agent-config.json.tmp-12345",
      ".agent-config.json.tmp-1234567", "agent-config.json", "agent-config.json.tmp-123456"};
  for (const std::string& name : kept) writeFile(folder + "/" + name, old);
  const struct { Step step; int code; std::string start; } rows[] = {
      {Step::openDir, EMFILE, "cannot open the folder '" + folder + "'"},
      {Step::create, EACCES, "cannot create a temporary file in '" + folder + "'"},
      {Step::write, ENOSPC, "cannot write '" + folder + "/.agent-config.json.tmp-"},
      {Step::chmod, EPERM, "cannot set the permissions of '"},
      {Step::sync, EIO, "cannot flush '"},
      {Step::close, EIO, "cannot close '"},
      {Step::rename, EXDEV, "cannot rename '"},
      {Step::syncDir, EIO, "the folder '" + folder + "' could not be flushed to disk, so the "
                           "change may not survive a crash"},
      {Step::syncDir, EINVAL, ""},  // a file system that cannot flush a folder
      // Killed: the lock goes with the process, and the next one sweeps what it left.
      {Step::create, -SIGKILL, ""}, {Step::write, -SIGKILL, ""}, {Step::sync, -SIGKILL, ""},
      {Step::rename, -SIGKILL, ""}, {Step::afterRename, -SIGKILL, ""},
      // Interrupted: the process removes its temporary file, then dies of the signal.
      {Step::write, -SIGINT, ""}, {Step::sync, -SIGTERM, ""}, {Step::rename, -SIGHUP, ""},
      // clang-format on
  };
  for (const auto& r : rows) {
    writeFile(location, old);
    FaultyDisk disk(r.step, r.code);
    std::string got;  // the error's description
    bool savedAnyway = false;
    if (r.code >= 0) {
      if (const Status e = AgentConfigFile::save(config, location, disk); !e.ok()) {
        got = e.error().description;
        savedAnyway = e.error().saved;
      }
    } else if (const pid_t child = ::fork(); child == 0) {
      auto lock = AgentConfigFile::lockForEditing(location, 1000ms);
      if (held(lock)) (void)AgentConfigFile::save(config, location, disk);
      ::_exit(0);  // not reached: the disk kills the process first
    } else {
      int status = 0;
      ASSERT_TRUE(::waitpid(child, &status, 0) == child && WIFSIGNALED(status) &&
                  WTERMSIG(status) == -r.code);
      EXPECT_TRUE(r.code == -SIGKILL || listDir(folder) == kept);  // before the sweep below
      EXPECT_TRUE(held(AgentConfigFile::lockForEditing(location, 0ms)));
    }
    EXPECT_TRUE(got.starts_with(r.start) && got.empty() == r.start.empty()) << got;
    EXPECT_TRUE(got.empty() || got.ends_with(": " + Error::fromErrno(r.code).description)) << got;
    const bool replaced = r.step == Step::syncDir || r.step == Step::afterRename;
    EXPECT_EQ(savedAnyway, replaced && !r.start.empty());
    EXPECT_EQ(readFile(location), replaced ? saved : old) << got;  // never a mix
    EXPECT_EQ(listDir(folder), kept) << static_cast<int>(r.step) << " " << r.code;
  }
}

// An existing file keeps its mode, which the command line shows.
TEST_F(FileTest, NewFileAndFoldersAre0666And0777LessTheUmask) {
  const mode_t umask = ::umask(022);
  EXPECT_TRUE(AgentConfigFile::save(config, location).ok());
  EXPECT_EQ(::umask(umask), mode_t{022});  // read, and left as it was
  EXPECT_EQ(std::filesystem::status(location).permissions(), std::filesystem::perms(0644));
  EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms(0755));
}

TEST_F(FileTest, SecondLockWaitsForTheFirst) {
  {
    const auto first = AgentConfigFile::lockForEditing(location, 100ms);
    ASSERT_TRUE(held(first));
    for (const auto& [wait, text] :
         {std::pair(100ms, "0.1 seconds"), std::pair(1000ms, "1 second")}) {
      const auto refused = AgentConfigFile::lockForEditing(location, wait);
      EXPECT_EQ(refused.ok() ? "" : refused.error().description,
                "another ostrel edit is holding the config folder '" + folder + "' (waited " +
                    text + ")");
    }
  }  // released
  EXPECT_TRUE(held(AgentConfigFile::lockForEditing(location, 0ms)));
}

// HOME, else the user database, must name an existing folder by an absolute path.
TEST_F(FileTest, HomeIsAnAbsoluteExistingFolder) {
  const std::string home = root.path(), why = "cannot find your home folder: ";
  for (const auto& [variable, database, expected] : std::vector<std::array<std::string, 3>>{
           {"", home, home + "/Library/Application Support/Ostrel/agent-config.json"},
           {"rel/home", home, why + "'rel/home' is not an absolute path"},
           {"", "", why + "HOME is not set and the user database has none"},
           {home + "/gone", "/", why + "'" + home + "/gone' does not exist"}}) {
    const auto found = AgentConfigFile::location(
        variable.c_str(), [&] { return database; }, realDisk());
    EXPECT_EQ(found.ok() ? found.value() : found.error().description, expected);
  }
}

TEST_F(FileTest, DanglingLinkForAFolderIsNamed) {
  std::filesystem::create_directory_symlink(root.path() + "/gone", folder);
  const Status saved = AgentConfigFile::save(config, location);
  EXPECT_EQ(
      saved.ok() ? "" : saved.error().description,
      "'" + folder + "' is a symbolic link to '" + root.path() + "/gone', which does not exist");
}

}  // namespace
}  // namespace ostrel
