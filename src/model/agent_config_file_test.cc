// Saving and the edit lock where only the model can reach: each step of a
// save failing or killed, through the Disk seam, and what the command line
// cannot set up. Loading and the rest are covered end to end in cli_test.
#include "ostrel/agent_config_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "disk.h"
#include "test_support.h"

namespace ostrel {
namespace {

using namespace std::chrono_literals;
using testing::listDir;
using testing::readFile;
using testing::writeFile;
using Names = std::vector<std::string>;

// The disk calls of a save, in order; afterRename is just after the rename.
enum class Step { openDir, create, write, chmod, sync, close, rename, afterRename, syncDir };
constexpr int killHere = 0;  // as the errno: kill the process at the step instead

// The real disk, but the call of one step fails with errno `code`, or kills
// the process when `code` is killHere.
class FaultyDisk : public Disk {
  using Opened = Expected<int>;
  using Created = Expected<CreatedFile>;

 public:
  FaultyDisk(Step step, int code) : step_(step), code_(code) {}
#define FAULT(Ret, call, step, params, args) \
  Ret call params override { return at(step) ? Ret(Error::fromErrno(code_)) : Disk::call args; }
  FAULT(Opened, openDirectory, Step::openDir, (const std::string& p), (p))
  FAULT(Created, createUniqueFile, Step::create, (const std::string& p), (p))
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

 private:
  bool at(Step step) const {
    if (step == step_ && code_ == killHere) ::raise(SIGKILL);
    return step == step_;
  }
  Step step_;
  int code_;
};

// A record beyond the limits: a save neither validates nor repairs it.
const AgentConfig config(3, {"Quokka", "quokka", std::string(101, 't')},
                         {AgentConfig::Rule("Bogus", "b", "b", true)}, "  Be brief.  ");

struct FileTest : ::testing::Test {
  testing::TempDir root;
  const std::string folder = root.path() + "/Ostrel", location = folder + "/agent-config.json";
  const std::string old = "the old file", saved = config.encoded().value();
};

TEST_F(FileTest, FailedOrKilledStepLeavesAWholeFileAndNoTemporaryFile) {
  // Beside the file, names that only look like the save's temporary files.
  const Names kept = {".agent-config.json.tmp-", ".agent-config.json.tmp-12345",
                      ".agent-config.json.tmp-1234567", "agent-config.json",
                      "agent-config.json.tmp-123456"};
  for (const std::string& name : kept) writeFile(folder + "/" + name, old);
  const struct {
    Step step;
    int code;
    std::string start;
  } rows[] = {
      // clang-format off
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
      {Step::create, killHere, ""}, {Step::write, killHere, ""}, {Step::sync, killHere, ""},
      {Step::rename, killHere, ""}, {Step::afterRename, killHere, ""},
      // clang-format on
  };
  for (const auto& r : rows) {
    writeFile(location, old);
    FaultyDisk disk(r.step, r.code);
    Status result;
    if (r.code != killHere) {
      result = AgentConfigFile::save(config, location, disk);
      EXPECT_EQ(!result.ok(), !r.start.empty());
      EXPECT_TRUE(result.ok() || result.error().description.ends_with(": " + Error::fromErrno(r.code).description));
    } else if (const pid_t child = ::fork(); child == 0) {
      auto lock = AgentConfigFile::lockForEditing(location, 1000ms);
      if (lock.ok() && lock.value().held()) (void)AgentConfigFile::save(config, location, disk);
      ::_exit(0);  // not reached: the disk kills the process first
    } else {
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
      const auto lock = AgentConfigFile::lockForEditing(location, 0ms);
      EXPECT_TRUE(lock.ok() && lock.value().held());
    }
    const std::string description = result.ok() ? "" : result.error().description;
    EXPECT_TRUE(description.starts_with(r.start)) << description;
    const bool replaced = r.step == Step::syncDir || r.step == Step::afterRename;
    EXPECT_EQ(!result.ok() && result.error().saved, replaced && !r.start.empty());
    EXPECT_EQ(readFile(location), replaced ? saved : old) << description;  // never a mix
    EXPECT_EQ(listDir(folder), kept) << static_cast<int>(r.step) << " " << r.code;
  }
}

// An existing file keeps its mode, which the command line shows.
TEST_F(FileTest, NewFileAndFoldersAre0666And0777LessTheUmask) {
  const mode_t umask = ::umask(022);
  const auto result = AgentConfigFile::save(config, location);
  EXPECT_EQ(::umask(umask), mode_t{022});  // read, and left as it was
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(std::filesystem::status(location).permissions(), std::filesystem::perms(0644));
  EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms(0755));
}

TEST_F(FileTest, SecondLockWaitsForTheFirst) {
  {
    const auto first = AgentConfigFile::lockForEditing(location, 100ms);
    ASSERT_TRUE(first.ok() && first.value().held());
    for (const auto& [wait, text] :
         {std::pair(100ms, "0.1 seconds"), std::pair(1000ms, "1 second")}) {
      const auto refused = AgentConfigFile::lockForEditing(location, wait);
      EXPECT_EQ(refused.ok() ? "" : refused.error().description,
                "another ostrel edit is holding the config folder '" + folder + "' (waited " +
                    text + ")");
    }
  }  // released
  const auto second = AgentConfigFile::lockForEditing(location, 0ms);
  EXPECT_TRUE(second.ok() && second.value().held());
}

}  // namespace
}  // namespace ostrel
