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

AgentConfig sampleConfig() {
  return AgentConfig(3, {"Quokka", "naïve"},
                     {AgentConfig::Rule("snippet", "brb", "be right back", true)}, "Be brief.");
}

std::string encodedBytes(const AgentConfig& config) {
  auto bytes = config.encoded();
  EXPECT_TRUE(bytes.ok());
  return bytes.ok() ? bytes.value() : std::string();
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
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
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
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
};

// Sets $HOME for one test.
class ScopedHome {
 public:
  explicit ScopedHome(const char* value) {
    if (const char* old = std::getenv("HOME")) saved_ = old;
    if (value)
      ::setenv("HOME", value, 1);
    else
      ::unsetenv("HOME");
  }
  ~ScopedHome() {
    if (saved_)
      ::setenv("HOME", saved_->c_str(), 1);
    else
      ::unsetenv("HOME");
  }

 private:
  std::optional<std::string> saved_;
};

// Delegates to the real disk but fails every call of one step.
enum class Step {
  none,
  makeDirectory,
  openDirectory,
  createUniqueFile,
  writeAll,
  setPermissions,
  syncFile,
  close,
  rename,
  syncDirectory,
  statusOfOpenFile,
  readAll
};

class FaultyDisk : public Disk {
 public:
  FaultyDisk(Step step, int code) : step_(step), code_(code) {}

  DiskStatus makeDirectory(const std::string& path, unsigned mode) override {
    return fails(Step::makeDirectory) ? error() : Disk::makeDirectory(path, mode);
  }
  Expected<int, SystemError> openDirectory(const std::string& path) override {
    if (fails(Step::openDirectory)) return SystemError{code_};
    return Disk::openDirectory(path);
  }
  Expected<CreatedFile, SystemError> createUniqueFile(const std::string& pathTemplate) override {
    if (fails(Step::createUniqueFile)) return SystemError{code_};
    return Disk::createUniqueFile(pathTemplate);
  }
  DiskStatus writeAll(int fd, std::string_view bytes) override {
    return fails(Step::writeAll) ? error() : Disk::writeAll(fd, bytes);
  }
  DiskStatus setPermissions(int fd, unsigned mode) override {
    return fails(Step::setPermissions) ? error() : Disk::setPermissions(fd, mode);
  }
  DiskStatus syncFile(int fd) override {
    return fails(Step::syncFile) ? error() : Disk::syncFile(fd);
  }
  DiskStatus close(int fd) override {
    DiskStatus closed = Disk::close(fd);  // the descriptor is gone either way
    return fails(Step::close) ? error() : closed;
  }
  DiskStatus rename(const std::string& from, const std::string& to) override {
    return fails(Step::rename) ? error() : Disk::rename(from, to);
  }
  DiskStatus syncDirectory(int fd) override {
    return fails(Step::syncDirectory) ? error() : Disk::syncDirectory(fd);
  }
  Expected<FileInfo, SystemError> status(int fd) override {
    if (fails(Step::statusOfOpenFile)) return SystemError{code_};
    return Disk::status(fd);
  }
  using Disk::status;
  Expected<std::string, SystemError> readAll(int fd, std::uint64_t expectedSize) override {
    if (fails(Step::readAll)) return SystemError{code_};
    return Disk::readAll(fd, expectedSize);
  }

 private:
  bool fails(Step step) const { return step == step_; }
  DiskStatus error() const { return SystemError{code_}; }
  Step step_;
  int code_;
};

TEST(AgentConfigFileUrl, FollowsHomeOrTheUserDatabase) {
  const passwd* user = ::getpwuid(::getuid());
  ASSERT_NE(user, nullptr);
  const std::string fromDatabase =
      std::string(user->pw_dir) + "/Library/Application Support/Ostrel/agent-config.json";
  struct Case {
    const char* home;
    std::string expected;
  } cases[] = {
      {"/h", "/h/Library/Application Support/Ostrel/agent-config.json"},
      {"/h/", "/h/Library/Application Support/Ostrel/agent-config.json"},
      {"rel", "rel/Library/Application Support/Ostrel/agent-config.json"},
      {"", fromDatabase},
      {nullptr, fromDatabase},
  };
  for (const Case& c : cases) {
    ScopedHome home(c.home);
    EXPECT_EQ(AgentConfigFile::url(), c.expected) << (c.home ? c.home : "(unset)");
  }
}

TEST(AgentConfigFileLoadError, PrefixesTheTextWithOneSpace) {
  EXPECT_EQ(AgentConfigFile::LoadError::unreadable("x").description(),
            "could not read the config: x");
  EXPECT_EQ(AgentConfigFile::LoadError::malformed("").description(),
            "the config is not valid JSON: ");
}

TEST_F(FileTest, MissingFileGivesTheDefaultAndCreatesNothing) {
  fs::create_directory(root / "existing");
  writeFile(root / "plain", "x");
  const std::vector<std::string> before = namesIn(root);
  for (const fs::path& path :
       {root / "existing" / "agent-config.json", root / "missing" / "agent-config.json",
        root / "plain" / "agent-config.json"}) {
    auto loaded = AgentConfigFile::load(path);
    ASSERT_TRUE(loaded.ok()) << path;
    EXPECT_EQ(loaded.value(), AgentConfig(1, {}, {}, std::nullopt));
    EXPECT_FALSE(loaded.value().style.has_value());
  }
  EXPECT_EQ(namesIn(root), before);
  EXPECT_EQ(namesIn(root / "existing"), std::vector<std::string>{});
}

TEST_F(FileTest, UndecodableBytesAreMalformed) {
  fs::create_directory(folder);
  for (const char* bytes : {"", "{}", "not json", "{\"version\":1}"}) {
    writeFile(location, bytes);
    auto loaded = AgentConfigFile::load(location);
    ASSERT_FALSE(loaded.ok()) << bytes;
    EXPECT_EQ(loaded.error().kind(), AgentConfigFile::LoadError::Kind::malformed) << bytes;
    EXPECT_EQ(readFile(location), bytes);
  }
}

TEST_F(FileTest, WhatCannotBeReadAsAFileIsUnreadable) {
  fs::create_directory(root / "dir");
  ASSERT_EQ(::mkfifo((root / "fifo").c_str(), 0644), 0);
  fs::create_symlink(root / "loop", root / "loop");
  struct Case {
    fs::path path;
    std::string expected;
  } cases[] = {
      {root / "dir", "'" + (root / "dir").string() + "' is a directory"},
      {root / "fifo",
       "'" + (root / "fifo").string() + "' is not a regular file"},  // must not block
      {"/dev/zero", "'/dev/zero' is not a regular file"},            // must not read forever
      {root / "loop", "'" + (root / "loop").string() + "': Too many levels of symbolic links"},
  };
  for (const Case& c : cases) {
    auto loaded = AgentConfigFile::load(c.path);
    ASSERT_FALSE(loaded.ok()) << c.path;
    EXPECT_EQ(loaded.error().kind(), AgentConfigFile::LoadError::Kind::unreadable);
    EXPECT_EQ(loaded.error().text(), c.expected);
  }
}

TEST_F(FileTest, FileWithoutReadPermissionIsUnreadable) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads any file";
  writeFile(root / "secret", "{}");
  fs::permissions(root / "secret", fs::perms::none);
  auto loaded = AgentConfigFile::load(root / "secret");
  ASSERT_FALSE(loaded.ok());
  EXPECT_EQ(loaded.error().text(), "'" + (root / "secret").string() + "': Permission denied");
}

TEST_F(FileTest, FailedReadSystemCallsAreUnreadable) {
  writeFile(root / "file", encodedBytes(sampleConfig()));
  for (Step step : {Step::statusOfOpenFile, Step::readAll}) {
    FaultyDisk disk(step, EIO);
    auto loaded = AgentConfigFile::load(root / "file", disk);
    ASSERT_FALSE(loaded.ok());
    EXPECT_EQ(loaded.error().description(),
              "could not read the config: '" + (root / "file").string() + "': Input/output error");
  }
}

TEST_F(FileTest, RecordBeyondTheLimitsLoadsUnchanged) {
  AgentConfig big(1, std::vector<std::string>(AgentConfig::maxDictionaryEntries + 1, "word"), {},
                  std::string(AgentConfig::maxStyleLength + 5, 's'));
  big.dictionary.push_back(std::string(AgentConfig::maxTermLength + 1, 't'));
  ASSERT_EQ(AgentConfigFile::save(big, location), std::nullopt);
  auto loaded = AgentConfigFile::load(location);
  ASSERT_TRUE(loaded.ok());
  EXPECT_EQ(loaded.value(), big);
}

TEST_F(FileTest, SaveCreatesFoldersAndWritesExactlyTheEncodedBytes) {
  const fs::path deep = root / "a" / "b" / "agent-config.json";
  ASSERT_EQ(AgentConfigFile::save(sampleConfig(), deep), std::nullopt);
  EXPECT_EQ(readFile(deep), encodedBytes(sampleConfig()));
  auto loaded = AgentConfigFile::load(deep);
  ASSERT_TRUE(loaded.ok());
  EXPECT_EQ(loaded.value(), sampleConfig());
  EXPECT_EQ(namesIn(root / "a" / "b"), std::vector<std::string>{"agent-config.json"});
}

TEST_F(FileTest, SaveReplacesTheWholeFile) {
  fs::create_directory(folder);
  writeFile(location, R"({"version":1,"dictionary":["old"],"rules":[],"unknown":{"deep":[1,2]}})");
  ASSERT_EQ(AgentConfigFile::save(sampleConfig(), location), std::nullopt);
  EXPECT_EQ(readFile(location), encodedBytes(sampleConfig()));
}

TEST_F(FileTest, FileWhereAFolderShouldBeStopsTheSave) {
  struct Case {
    fs::path file;  // the regular file in the way
    fs::path location;
    std::string expected;
  } cases[] = {
      {folder, location, "'" + folder.string() + "' exists and is not a folder"},
      {root / "Library", root / "Library" / "Ostrel" / "agent-config.json",
       "cannot create the folder '" + (root / "Library" / "Ostrel").string() + "': '" +
           (root / "Library").string() + "' exists and is not a folder"},
  };
  for (const Case& c : cases) {
    writeFile(c.file, "in the way");
    auto error = AgentConfigFile::save(sampleConfig(), c.location);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->description, c.expected);
    EXPECT_EQ(readFile(c.file), "in the way");
    EXPECT_EQ(namesIn(root), std::vector<std::string>{c.file.filename().string()});
    fs::remove(c.file);
  }
}

TEST_F(FileTest, FailedFolderCreationWritesNothing) {
  FaultyDisk disk(Step::makeDirectory, EACCES);
  auto error = AgentConfigFile::save(sampleConfig(), location, disk);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->description,
            "cannot create the folder '" + folder.string() + "': Permission denied");
  EXPECT_EQ(namesIn(root), std::vector<std::string>{});
}

TEST_F(FileTest, FailedStepLeavesTheOldFileAndNoTemporaryFile) {
  struct Case {
    Step step;
    int code;
    std::string expectedStart;
  } cases[] = {
      {Step::openDirectory, EMFILE, "cannot open the folder"},
      {Step::createUniqueFile, EACCES, "cannot create a temporary file in"},
      {Step::writeAll, ENOSPC, "cannot write"},
      {Step::setPermissions, EPERM, "cannot set the permissions of"},
      {Step::syncFile, EIO, "cannot flush"},
      {Step::close, EIO, "cannot close"},
      {Step::rename, EXDEV, "cannot rename"},
  };
  fs::create_directory(folder);
  const std::string old = R"({"version":1,"dictionary":["old"],"rules":[]})";
  writeFile(location, old);
  for (const Case& c : cases) {
    FaultyDisk disk(c.step, c.code);
    auto error = AgentConfigFile::save(sampleConfig(), location, disk);
    ASSERT_TRUE(error.has_value()) << c.expectedStart;
    EXPECT_TRUE(error->description.starts_with(c.expectedStart)) << error->description;
    EXPECT_TRUE(error->description.ends_with(": " + SystemError{c.code}.text()))
        << error->description;
    EXPECT_EQ(readFile(location), old);
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"agent-config.json"});
  }
}

TEST_F(FileTest, FolderFlushFailureIsReportedAfterTheReplacement) {
  fs::create_directory(folder);
  writeFile(location, "old");
  FaultyDisk failing(Step::syncDirectory, EIO);
  auto error = AgentConfigFile::save(sampleConfig(), location, failing);
  ASSERT_TRUE(error.has_value());
  EXPECT_TRUE(error->description.starts_with("cannot flush the folder '" + folder.string() + "'"));
  EXPECT_EQ(readFile(location), encodedBytes(sampleConfig()));
  EXPECT_EQ(namesIn(folder), std::vector<std::string>{"agent-config.json"});

  FaultyDisk unsupported(Step::syncDirectory, EINVAL);  // some file systems cannot flush a folder
  EXPECT_EQ(AgentConfigFile::save(sampleConfig(), location, unsupported), std::nullopt);
}

TEST_F(FileTest, ExistingFileKeepsItsPermissions) {
  fs::create_directory(folder);
  for (unsigned mode : {0600u, 0640u, 0604u}) {
    writeFile(location, "old");
    ASSERT_EQ(::chmod(location.c_str(), mode), 0);
    ASSERT_EQ(AgentConfigFile::save(sampleConfig(), location), std::nullopt);
    EXPECT_EQ(permissionsOf(location), mode);
  }
}

TEST_F(FileTest, NewFileFollowsTheUmask) {
  for (auto [mask, expected] :
       {std::pair{022u, 0644u}, std::pair{077u, 0600u}, std::pair{0u, 0666u}}) {
    fs::remove_all(folder);
    const mode_t saved = ::umask(mask);
    auto error = AgentConfigFile::save(sampleConfig(), location);
    ::umask(saved);
    ASSERT_EQ(error, std::nullopt);
    EXPECT_EQ(permissionsOf(location), expected) << std::oct << mask;
    EXPECT_EQ(permissionsOf(folder), 0777u & ~mask) << std::oct << mask;
  }
}

TEST_F(FileTest, SymbolicLinkStaysALinkAndItsTargetIsReplaced) {
  struct Case {
    std::string linkText;  // as stored in the link
    fs::path target;       // the file it leads to
    bool targetExists;
  } cases[] = {
      {(root / "elsewhere" / "real.json").string(), root / "elsewhere" / "real.json", true},
      {"../elsewhere/real.json", root / "elsewhere" / "real.json", true},
      {"../elsewhere/not-yet.json", root / "elsewhere" / "not-yet.json", false},
      {"hop", root / "elsewhere" / "real.json", true},  // via Ostrel/hop, a second link
  };
  fs::create_directory(folder);
  fs::create_directory(root / "elsewhere");
  fs::create_symlink("../elsewhere/real.json", folder / "hop");
  for (const Case& c : cases) {
    if (c.targetExists) writeFile(c.target, "old");
    fs::remove(location);
    fs::create_symlink(c.linkText, location);
    ASSERT_EQ(AgentConfigFile::save(sampleConfig(), location), std::nullopt) << c.linkText;
    ASSERT_TRUE(fs::is_symlink(location));
    EXPECT_EQ(fs::read_symlink(location).string(), c.linkText);
    EXPECT_EQ(readFile(c.target), encodedBytes(sampleConfig())) << c.linkText;
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"agent-config.json", "hop"}));
  }
}

TEST_F(FileTest, LinkLoopFailsTheSave) {
  fs::create_directory(folder);
  fs::create_symlink("agent-config.json", location);
  auto error = AgentConfigFile::save(sampleConfig(), location);
  ASSERT_TRUE(error.has_value());
  EXPECT_TRUE(error->description.ends_with("Too many levels of symbolic links"))
      << error->description;
  EXPECT_TRUE(fs::is_symlink(location));
}

TEST_F(FileTest, SecondLockWaitsForTheFirst) {
  auto first = AgentConfigFile::lockForEditing(location, 100ms);
  ASSERT_TRUE(first.ok());
  EXPECT_TRUE(first.value().held());
  EXPECT_TRUE(fs::is_directory(folder));

  auto refused = AgentConfigFile::lockForEditing(location, 100ms);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().description, "another ostrel edit is holding the config folder '" +
                                             folder.string() + "' (waited 0.1 seconds)");

  first = AgentConfigFile::EditLock();  // releases
  auto second = AgentConfigFile::lockForEditing(location, 100ms);
  ASSERT_TRUE(second.ok());
  EXPECT_TRUE(second.value().held());
}

TEST_F(FileTest, LockOfAKilledProcessIsReleased) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto lock = AgentConfigFile::lockForEditing(location, 0ms);
    char held = lock.ok() && lock.value().held() ? 'y' : 'n';
    (void)!::write(ready[1], &held, 1);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char held = 0;
  ASSERT_EQ(::read(ready[0], &held, 1), 1);
  ::close(ready[0]);
  EXPECT_EQ(held, 'y');
  EXPECT_FALSE(AgentConfigFile::lockForEditing(location, 0ms).ok());

  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  auto lock = AgentConfigFile::lockForEditing(location, 0ms);
  ASSERT_TRUE(lock.ok());
  EXPECT_TRUE(lock.value().held());
}

TEST_F(FileTest, LockSweepsOnlyStaleTemporaryFiles) {
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

  auto lock = AgentConfigFile::lockForEditing(location, 100ms);
  ASSERT_TRUE(lock.ok());
  // The save writes beside the link's target, so that is where debris lies.
  std::vector<std::string> expected = kept;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(namesIn(root / "elsewhere"), expected);
  EXPECT_EQ(namesIn(folder).size(), kept.size() + 2);  // the link and the untouched debris
}

// Delegates to the real disk but kills the process at one point of a save:
// before a step, or halfway through writing the new document.
class KillingDisk : public Disk {
 public:
  enum class Moment { beforeCreate, halfWritten, beforeSync, beforeRename, afterRename };
  explicit KillingDisk(Moment moment) : moment_(moment) {}

  Expected<CreatedFile, SystemError> createUniqueFile(const std::string& pathTemplate) override {
    killAt(Moment::beforeCreate);
    return Disk::createUniqueFile(pathTemplate);
  }
  DiskStatus writeAll(int fd, std::string_view bytes) override {
    if (moment_ == Moment::halfWritten) {
      (void)Disk::writeAll(fd, bytes.substr(0, bytes.size() / 2));
      ::raise(SIGKILL);
    }
    return Disk::writeAll(fd, bytes);
  }
  DiskStatus syncFile(int fd) override {
    killAt(Moment::beforeSync);
    return Disk::syncFile(fd);
  }
  DiskStatus rename(const std::string& from, const std::string& to) override {
    killAt(Moment::beforeRename);
    DiskStatus renamed = Disk::rename(from, to);
    killAt(Moment::afterRename);
    return renamed;
  }

 private:
  void killAt(Moment moment) const {
    if (moment == moment_) ::raise(SIGKILL);
  }
  Moment moment_;
};

TEST_F(FileTest, EditKilledDuringTheSaveLeavesAWholeFileAndBlocksNoOne) {
  using Moment = KillingDisk::Moment;
  const AgentConfig before = sampleConfig();
  AgentConfig after = before;
  after.dictionary.assign(5000, "a longer document than the old one");
  const std::vector<std::pair<Moment, const AgentConfig*>> cases = {
      {Moment::beforeCreate, &before}, {Moment::halfWritten, &before}, {Moment::beforeSync, &before},
      {Moment::beforeRename, &before}, {Moment::afterRename, &after}};
  for (const auto& [moment, survivor] : cases) {
    fs::create_directories(folder);
    writeFile(location, encodedBytes(before));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      auto lock = AgentConfigFile::lockForEditing(location, 1000ms);
      KillingDisk disk(moment);
      (void)AgentConfigFile::save(after, location, disk);
      ::_exit(0);  // not reached: the disk kills the process first
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << static_cast<int>(moment);

    // The file is one whole document, old or new, never a mix.
    EXPECT_EQ(readFile(location), encodedBytes(*survivor)) << static_cast<int>(moment);
    // The next edit gets the lock at once and clears the killed run's debris.
    auto lock = AgentConfigFile::lockForEditing(location, 0ms);
    ASSERT_TRUE(lock.ok());
    EXPECT_TRUE(lock.value().held());
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"agent-config.json"}) << static_cast<int>(moment);
    fs::remove_all(folder);
  }
}

TEST_F(FileTest, NoFolderToLockGivesAnEmptyLock) {
  writeFile(folder, "in the way");
  auto lock = AgentConfigFile::lockForEditing(location, 100ms);
  ASSERT_TRUE(lock.ok());
  EXPECT_FALSE(lock.value().held());
  EXPECT_EQ(readFile(folder), "in the way");
}

}  // namespace
}  // namespace ostrel
