// Loading, saving and the edit lock, down to each failing or killed step of a
// save. What a user sees of them is covered end to end by src/cli/cli_test.cc:
// a missing, malformed or directory config, the bytes written, folders
// created, a 0600 file and an absolute link kept, a file where the folder
// should be, concurrent edits.
#include "ostrel/agent_config_file.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "disk.h"

namespace ostrel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Beyond the limits, so that every save also shows it neither validates nor
// repairs.
AgentConfig sampleConfig() {
  return AgentConfig(3, {"Quokka", "quokka", std::string(AgentConfig::maxTermLength + 1, 't')},
                     {AgentConfig::Rule("Bogus", "brb", "brb", true)}, "  Be brief.  ");
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string readFile(const fs::path& path) {
  std::stringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

std::vector<std::string> namesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

unsigned permissionsOf(const fs::path& path) {
  return static_cast<unsigned>(fs::status(path).permissions() & fs::perms::mask);
}

// A fresh folder per test, removed afterwards.
class FileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "ostrel-file-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root = pattern;
    folder = root / "Ostrel";
    location = folder / "agent-config.json";
  }
  void TearDown() override { fs::remove_all(root); }

  fs::path root, folder, location;
  const std::string old = "the old file";  // a save never reads what it replaces
  const std::string newBytes = sampleConfig().encoded().value();
};

// The disk calls of a save, in order; afterRename is the moment just after
// the rename succeeded.
enum class Step {
  openDirectory,
  createUniqueFile,
  writeAll,
  setPermissions,
  syncFile,
  close,
  rename,
  afterRename,
  syncDirectory
};

// As a FaultyDisk code: kill the process at the step instead of failing it.
constexpr int killHere = 0;

// Delegates to the real disk, but at one step fails with errno `code`, or
// kills the process (a write is killed halfway through the document).
class FaultyDisk : public Disk {
 public:
  FaultyDisk(Step step, int code) : step_(step), code_(code) {}

  Expected<int> openDirectory(const std::string& path) override {
    if (at(Step::openDirectory)) return Error::fromErrno(code_);
    return Disk::openDirectory(path);
  }
  Expected<CreatedFile> createUniqueFile(const std::string& pathTemplate) override {
    if (at(Step::createUniqueFile)) return Error::fromErrno(code_);
    return Disk::createUniqueFile(pathTemplate);
  }
  Status writeAll(int fd, std::string_view bytes) override {
    if (step_ == Step::writeAll && code_ == killHere)
      (void)Disk::writeAll(fd, bytes.substr(0, bytes.size() / 2));
    return at(Step::writeAll) ? error() : Disk::writeAll(fd, bytes);
  }
  Status setPermissions(int fd, unsigned mode) override {
    return at(Step::setPermissions) ? error() : Disk::setPermissions(fd, mode);
  }
  Status syncFile(int fd) override { return at(Step::syncFile) ? error() : Disk::syncFile(fd); }
  Status close(int fd) override {
    Status closed = Disk::close(fd);  // the descriptor is gone either way
    return at(Step::close) ? error() : closed;
  }
  Status rename(const std::string& from, const std::string& to) override {
    if (at(Step::rename)) return error();
    Status renamed = Disk::rename(from, to);
    return at(Step::afterRename) ? error() : renamed;
  }
  Status syncDirectory(int fd) override {
    return at(Step::syncDirectory) ? error() : Disk::syncDirectory(fd);
  }

 private:
  // Whether `step` is the one to fail; never returns when it is to be killed.
  bool at(Step step) const {
    if (step == step_ && code_ == killHere) ::raise(SIGKILL);
    return step == step_;
  }
  Status error() const { return Error::fromErrno(code_); }
  Step step_;
  int code_;
};

// A plain $HOME is covered by `ostrel path`.
TEST(AgentConfigFileUrl, FollowsHomeOrTheUserDatabase) {
  const passwd* user = ::getpwuid(::getuid());
  ASSERT_NE(user, nullptr);
  const std::string tail = "/Library/Application Support/Ostrel/agent-config.json";
  const char* savedHome = std::getenv("HOME");
  const std::string saved = savedHome ? savedHome : "";
  for (const auto& [home, expected] : std::vector<std::pair<std::string, std::string>>{
           {"/h/", "/h" + tail}, {"", user->pw_dir + tail}}) {
    ::setenv("HOME", home.c_str(), 1);
    EXPECT_EQ(AgentConfigFile::location(), expected) << "HOME=" << home;
  }
  if (savedHome)
    ::setenv("HOME", saved.c_str(), 1);
  else
    ::unsetenv("HOME");
}

TEST_F(FileTest, LoadNamesTheUnreadablePathAndNeverBlocks) {
  fs::create_directory(root / "dir");
  writeFile(root / "secret", "{}");
  fs::permissions(root / "secret", fs::perms::none);
  ASSERT_EQ(::mkfifo((root / "fifo").c_str(), 0644), 0);
  fs::create_symlink(root / "loop", root / "loop");
  std::vector<std::pair<std::string, std::string>> cases = {
      {"dir", " is a directory"},
      {"fifo", " is not a regular file"},
      {"loop", ": Too many levels of symbolic links"},
  };
  if (::geteuid() != 0) cases.push_back({"secret", ": Permission denied"});  // root reads all
  for (const auto& [name, why] : cases) {
    auto loaded = AgentConfigFile::load(root / name);
    ASSERT_FALSE(loaded.ok()) << name;
    EXPECT_EQ(loaded.error().description,
              "could not read the config: '" + (root / name).string() + "'" + why);
  }
}

// The save fails and writes nothing; the lock has nothing to lock.
TEST_F(FileTest, FileWhereAFolderShouldBeStopsTheSaveAndEmptiesTheLock) {
  struct Case {
    fs::path inTheWay;
    fs::path location;
    std::string expected;
  } cases[] = {
      {folder, location, "'" + folder.string() + "' exists and is not a folder"},
      {root / "Library", root / "Library" / "Ostrel" / "agent-config.json",
       "cannot create the folder '" + (root / "Library" / "Ostrel").string() + "': '" +
           (root / "Library").string() + "' exists and is not a folder"},
  };
  for (const Case& c : cases) {
    writeFile(c.inTheWay, old);
    auto saved = AgentConfigFile::save(sampleConfig(), c.location);
    ASSERT_FALSE(saved.ok()) << c.expected;
    EXPECT_EQ(saved.error().description, c.expected);
    auto lock = AgentConfigFile::lockForEditing(c.location, 100ms);
    ASSERT_TRUE(lock.ok()) << c.expected;
    EXPECT_FALSE(lock.value().held());
    EXPECT_EQ(readFile(c.inTheWay), old);
    EXPECT_EQ(namesIn(root), std::vector<std::string>{c.inTheWay.filename().string()});
    fs::remove(c.inTheWay);
  }
}

TEST_F(FileTest, SavedRecordLoadsBackEqualAndUnrepaired) {
  for (const std::optional<std::string>& style :
       {std::optional<std::string>(), std::optional<std::string>("")}) {
    AgentConfig config = sampleConfig();
    config.style = style;
    config.dictionary.push_back("e\u0301t\u00E9 \U0001F44D\U0001F3FD / \"q\"\n");
    ASSERT_TRUE(AgentConfigFile::save(config, location.string()).ok());
    EXPECT_EQ(readFile(location), config.encoded().value());
    auto loaded = AgentConfigFile::load(location.string());
    ASSERT_TRUE(loaded.ok());
    EXPECT_TRUE(loaded.value() == config);
    EXPECT_EQ(loaded.value().style.has_value(), style.has_value());
  }
}

TEST_F(FileTest, FailedStepLeavesTheOldFileAndNoTemporaryFile) {
  struct Case {
    Step step;
    int code;
    std::string expectedStart;
    bool replaced;  // the failure comes after the new file took the old one's place
  } cases[] = {
      {Step::openDirectory, EMFILE, "cannot open the folder", false},
      {Step::createUniqueFile, EACCES, "cannot create a temporary file in", false},
      {Step::writeAll, ENOSPC, "cannot write", false},
      {Step::setPermissions, EPERM, "cannot set the permissions of", false},
      {Step::syncFile, EIO, "cannot flush", false},
      {Step::close, EIO, "cannot close", false},
      {Step::rename, EXDEV, "cannot rename", false},
      {Step::syncDirectory, EIO, "cannot flush the folder '" + folder.string() + "'", true},
  };
  fs::create_directory(folder);
  for (const Case& c : cases) {
    writeFile(location, old);
    FaultyDisk disk(c.step, c.code);
    auto saved = AgentConfigFile::save(sampleConfig(), location, disk);
    ASSERT_FALSE(saved.ok()) << c.expectedStart;
    const std::string& description = saved.error().description;
    EXPECT_TRUE(description.starts_with(c.expectedStart)) << description;
    EXPECT_TRUE(description.ends_with(": " + Error::fromErrno(c.code).description)) << description;
    EXPECT_EQ(readFile(location), c.replaced ? newBytes : old) << c.expectedStart;
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"agent-config.json"}) << c.expectedStart;
  }
  FaultyDisk unsupported(Step::syncDirectory, EINVAL);  // some file systems cannot flush a folder
  EXPECT_TRUE(AgentConfigFile::save(sampleConfig(), location, unsupported).ok());
}

// fchmod ignores the umask, so an old file keeps its mode even under 077.
TEST_F(FileTest, SaveKeepsTheOldModeAndGivesANewFile0666LessTheUmask) {
  struct Case {
    std::optional<unsigned> existing;  // the old file's mode, if there is one
    unsigned umask, expected;
  } cases[] = {{0604, 077, 0604}, {std::nullopt, 022, 0644}, {std::nullopt, 077, 0600}};
  for (const Case& c : cases) {
    fs::remove_all(folder);
    const mode_t saved = ::umask(c.umask);
    if (c.existing) {
      fs::create_directory(folder);
      writeFile(location, old);
      ::chmod(location.c_str(), *c.existing);
    }
    auto status = AgentConfigFile::save(sampleConfig(), location);
    ::umask(saved);
    ASSERT_TRUE(status.ok());
    EXPECT_EQ(permissionsOf(location), c.expected) << std::oct << c.umask;
    EXPECT_EQ(permissionsOf(folder), 0777u & ~c.umask) << std::oct << c.umask;
  }
}

TEST_F(FileTest, SymbolicLinkStaysALinkAndItsTargetIsReplacedUnlessItLoops) {
  const fs::path real = root / "elsewhere" / "real.json";
  struct Case {
    std::string linkText;  // as stored in the link
    fs::path target;       // the file it leads to
  } cases[] = {
      {"../elsewhere/real.json", real},
      {"../elsewhere/not-yet.json", root / "elsewhere" / "not-yet.json"},  // dangling
      {"hop", real},  // via Ostrel/hop, a second link
  };
  fs::create_directory(folder);
  fs::create_directory(root / "elsewhere");
  writeFile(real, old);
  fs::create_symlink("../elsewhere/real.json", folder / "hop");
  for (const Case& c : cases) {
    fs::remove(location);
    fs::create_symlink(c.linkText, location);
    ASSERT_TRUE(AgentConfigFile::save(sampleConfig(), location).ok()) << c.linkText;
    EXPECT_EQ(fs::read_symlink(location).string(), c.linkText);
    EXPECT_EQ(readFile(c.target), newBytes) << c.linkText;
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"agent-config.json", "hop"}));
    writeFile(c.target, old);
  }
  fs::remove(location);
  fs::create_symlink("agent-config.json", location);
  auto saved = AgentConfigFile::save(sampleConfig(), location);
  ASSERT_FALSE(saved.ok());
  EXPECT_TRUE(saved.error().description.ends_with("Too many levels of symbolic links"));
  EXPECT_TRUE(fs::is_symlink(location));
}

TEST_F(FileTest, SecondLockWaitsForTheFirst) {
  auto first = AgentConfigFile::lockForEditing(location, 100ms);
  ASSERT_TRUE(first.ok());
  EXPECT_TRUE(first.value().held());
  auto refused = AgentConfigFile::lockForEditing(location, 100ms);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().description, "another ostrel edit is holding the config folder '" +
                                             folder.string() + "' (waited 0.1 seconds)");
  first = AgentConfigFile::EditLock();  // releases
  auto second = AgentConfigFile::lockForEditing(location, 100ms);
  ASSERT_TRUE(second.ok());
  EXPECT_TRUE(second.value().held());
}

TEST_F(FileTest, LockSweepsOnlyStaleTemporaryFilesBesideTheTarget) {
  fs::create_directory(folder);
  fs::create_directory(root / "elsewhere");
  const std::vector<std::string> kept = {".agent-config.json.tmp-", ".agent-config.json.tmp-abc12",
                                         ".agent-config.json.tmp-abc1234",
                                         "agent-config.json.tmp-abc123", "notes.txt"};
  for (const fs::path& where : {folder, root / "elsewhere"}) {
    for (const std::string& name : kept) writeFile(where / name, "keep");
    writeFile(where / ".agent-config.json.tmp-aB3xZ9", "debris");
  }
  fs::create_symlink(root / "elsewhere" / "real.json", location);
  ASSERT_TRUE(AgentConfigFile::lockForEditing(location, 100ms).ok());
  // The save writes beside the link's target, so that is where debris lies.
  EXPECT_EQ(namesIn(root / "elsewhere"), kept);
  EXPECT_EQ(namesIn(folder).size(), kept.size() + 2);  // the link and the untouched debris
}

// Also shows that the lock of a killed edit is released: the child holds it
// when it dies.
TEST_F(FileTest, EditKilledDuringTheSaveLeavesAWholeFileAndBlocksNoOne) {
  const std::vector<std::pair<Step, std::string>> cases = {
      {Step::createUniqueFile, old}, {Step::writeAll, old},         {Step::syncFile, old},
      {Step::rename, old},           {Step::afterRename, newBytes},
  };
  for (const auto& [moment, survivor] : cases) {
    fs::create_directories(folder);
    writeFile(location, old);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      auto lock = AgentConfigFile::lockForEditing(location, 1000ms);
      if (!lock.ok() || !lock.value().held()) ::_exit(1);
      FaultyDisk disk(moment, killHere);
      (void)AgentConfigFile::save(sampleConfig(), location, disk);
      ::_exit(0);  // not reached: the disk kills the process first
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << static_cast<int>(moment);
    // The file is one whole document, old or new, never a mix.
    EXPECT_EQ(readFile(location), survivor) << static_cast<int>(moment);
    // The next edit gets the lock at once and clears the killed run's debris.
    auto lock = AgentConfigFile::lockForEditing(location, 0ms);
    ASSERT_TRUE(lock.ok());
    EXPECT_TRUE(lock.value().held());
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"agent-config.json"})
        << static_cast<int>(moment);
    fs::remove_all(folder);
  }
}

}  // namespace
}  // namespace ostrel
