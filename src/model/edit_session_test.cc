// Saving and the edit lock where only the model can reach: each step of a
// save failing, killed or raced by another writer, through the Disk seam, and
// what the command line cannot set up. Loading and the rest are covered end
// to end in cli_test.
#include "ostrel/edit_session.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "disk.h"
#include "file_steps.h"
#include "ostrel/agent_config_file.h"
#include "test_support.h"

namespace ostrel {
namespace {

using namespace std::chrono_literals;
using namespace testing;  // readFile, writeFile, listDir

// The disk calls of a save, in order; link and index keep the old file in
// the history; afterRename is just after the rename.
enum class Step {
  openDir,
  create,
  write,
  chmod,
  sync,
  close,
  link,
  index,
  rename,
  afterRename,
  syncDir
};
// Written over the config at a step by "another program", on every attempt.
constexpr int foreignWrite = 1 << 20;
const std::string foreign = R"({"version":1,"dictionary":["Quokka"],"rules":[]})";

// The real disk, but the call of one step fails with errno `code`, raises
// the signal -`code` there, or lets another program write the config there
// (`foreignWrite` + the number of times).
template <class T>
using Or = Expected<T>;
struct FaultyDisk : Disk {
  FaultyDisk(Step step, int code, std::string config)
      : step_(step), code_(code), config_(std::move(config)) {}
#define FAULT(Ret, call, step, params, args) \
  Ret call params override { return at(step) ? Ret(Error::fromErrno(code_)) : Disk::call args; }
  FAULT(Or<int>, openDirectory, Step::openDir, (const std::string& p), (p))
  FAULT(Or<CreatedFile>, createUniqueFile, Step::create, (const std::string& p), (p))
  FAULT(Status, writeAll, Step::write, (int fd, std::string_view b), (fd, b))
  FAULT(Status, setPermissions, Step::chmod, (int fd, unsigned mode), (fd, mode))
  FAULT(Status, syncFile, Step::sync, (int fd), (fd))
  FAULT(Status, syncDirectory, Step::syncDir, (int fd), (fd))
  FAULT(Status, link, Step::link, (const std::string& f, const std::string& t), (f, t))
  FAULT(Or<int>, openForAppending, Step::index, (const std::string& p, unsigned m), (p, m))
#undef FAULT
  Status close(int fd) override {
    const Status closed = Disk::close(fd);  // the descriptor is gone either way
    return at(Step::close) ? Error::fromErrno(code_) : closed;
  }
  Status rename(const std::string& from, const std::string& to) override {
    const Status renamed = at(Step::rename) ? Error::fromErrno(code_) : Disk::rename(from, to);
    return at(Step::afterRename) ? Error::fromErrno(code_) : renamed;
  }
  // Whether this is the step that fails; raises the step's signal, or writes
  // the config as another program would and carries on.
  bool at(Step step) {
    if (step != step_) return false;
    if (code_ < 0) return ::raise(-code_) == 0;
    if (code_ < foreignWrite) return true;
    if (code_ > foreignWrite) {
      --code_;
      writeFile(config_ + ".other", foreign);
      std::filesystem::rename(config_ + ".other", config_);
    }
    return false;
  }
  Step step_;
  int code_;
  std::string config_;
};

// A record beyond the limits: saved repaired.
const AgentConfig config(3, {"Quokka", "quokka", std::string(101, 't')},
                         {AgentConfig::Rule("Bogus", "b", "b", true)}, "  Be brief.  ");

struct SessionTest : ::testing::Test {
  testing::TempDir root;
  const std::string folder = root.path() + "/Library/Application Support/Ostrel";
  const std::string location = folder + "/agent-config.json";
  const std::string old = "{\"version\":1,\"dictionary\":[],\"rules\":[]}";
  const std::string saved = config.validated().config.encoded().value();
  void SetUp() override { ::setenv("HOME", root.path().c_str(), 1); }

  EditSession::Outcome edit(Disk& disk, const EditSession::Edit& change) {
    auto session = EditSession::open({.disk = &disk, .lockWait = 1000ms});
    return session.value().edit(change);
  }
};

EditSession::Edit replaceWith(const AgentConfig& record) {
  return [&record](AgentConfig& c) -> Expected<EditSession::Change> {
    c = record;
    return EditSession::Change{};
  };
}

EditSession::Edit addWombat = [](AgentConfig& c) -> Expected<EditSession::Change> {
  c.addTerms(std::vector<std::string>{"Wombat"});
  return EditSession::Change{};
};

TEST_F(SessionTest, FailedKilledOrRacedStepLeavesAWholeFileAndNoTemporaryFile) {
  // Beside the file, names that only look like the save's temporary files.
  // clang-format off
  const std::vector<std::string> kept = {".agent-config.json.tmp-", ".agent-config.json.tmp-12345",
      ".agent-config.json.tmp-1234567", "agent-config.json", "agent-config.json.tmp-123456"};
  for (const std::string& name : kept) writeFile(folder + "/" + name, old);
  const std::string write = "could not write the config: ";
  const std::string keep = "could not keep the previous config: ";
  const std::string history = folder + "/.agent-config.history";
  // The config's folder, less the history.
  auto listed = [&] {
    std::vector<std::string> names = listDir(folder);
    std::erase(names, ".agent-config.history");
    return names;
  };
  const struct { Step step; int code; std::string start; bool preview = false; } rows[] = {
      {Step::openDir, EMFILE, write + "cannot open the folder '" + folder + "'"},
      {Step::create, EACCES, write + "cannot create a temporary file in '" + folder + "'"},
      {Step::write, ENOSPC, write + "cannot write '" + folder + "/.agent-config.json.tmp-"},
      {Step::chmod, EPERM, write + "cannot set the permissions of '"},
      {Step::sync, EIO, write + "cannot flush '"},
      {Step::close, EIO, write + "cannot close '"},
      {Step::rename, EXDEV, write + "cannot rename '"},
      // The history: an edit whose old file cannot be kept is not made; where
      // links fail, a copy serves.
      {Step::link, EACCES, keep + "cannot link '" + location + "' as '" + history + "/1.json'"},
      {Step::index, ENOSPC, keep + "cannot open '" + history + "/index'"},
      {Step::link, EXDEV, ""},
      {Step::syncDir, EIO, "the config was saved, but the folder '" + folder + "' could not be "
                           "flushed to disk, so the change may not survive a crash"},
      {Step::syncDir, EINVAL, ""},  // a file system that cannot flush a folder
      // Another program writes the file while the edit runs: the edit runs
      // again on what it wrote, and gives up when it never stops.
      {Step::sync, foreignWrite + 1, ""}, {Step::create, foreignWrite + 2, ""},
      {Step::sync, foreignWrite + 3, write + "it kept changing while this edit ran (3 tries)"},
      // Killed: the lock goes with the process, and the next one sweeps what it left.
      {Step::create, -SIGKILL, ""}, {Step::write, -SIGKILL, ""}, {Step::sync, -SIGKILL, ""},
      {Step::link, -SIGKILL, ""}, {Step::index, -SIGKILL, ""}, {Step::rename, -SIGKILL, ""},
      {Step::afterRename, -SIGKILL, ""},
      // Interrupted: the process removes its temporary file, then dies of the signal.
      {Step::write, -SIGINT, ""}, {Step::sync, -SIGTERM, ""}, {Step::rename, -SIGHUP, ""},
      // A preview opens no folder, so takes no lock and saves nothing.
      {Step::openDir, EMFILE, "", true},
      // clang-format on
  };
  for (const auto& r : rows) {
    std::filesystem::remove_all(history);
    writeFile(location, old);
    FaultyDisk disk(r.step, r.code, location);
    std::string got;  // the error's description
    bool savedAnyway = false;
    if (r.code >= 0) {
      const auto outcome =
          r.preview ? EditSession::open({.disk = &disk}).value().preview(replaceWith(config))
                    : edit(disk, replaceWith(config));
      if (!outcome.status.ok()) {
        got = outcome.status.error().description;
        savedAnyway = outcome.status.error().saved;
      }
      // Repeat, length, kind, style trimmed; none before the load or after giving up.
      const bool loaded = (r.step != Step::openDir || r.preview) && r.code != foreignWrite + 3;
      EXPECT_EQ(outcome.findings.size(), loaded ? 4u : 0u);
      EXPECT_EQ(outcome.saved.has_value(), got.empty() || savedAnyway);
    } else if (const pid_t child = ::fork(); child == 0) {
      (void)edit(disk, replaceWith(config));
      ::_exit(0);  // not reached: the disk kills the process first
    } else {
      int status = 0;
      ASSERT_TRUE(::waitpid(child, &status, 0) == child && WIFSIGNALED(status) &&
                  WTERMSIG(status) == -r.code);
      EXPECT_TRUE(r.code == -SIGKILL || listed() == kept);  // before the sweep below
      EXPECT_TRUE(files::lock(realDisk(), folder, {}).ok());
    }
    EXPECT_TRUE(got.starts_with(r.start) && got.empty() == r.start.empty()) << got;
    if (r.code < foreignWrite) {
      EXPECT_TRUE(got.empty() || got.ends_with(": " + Error::fromErrno(r.code).description)) << got;
    }
    const bool replaced =
        (r.code >= 0 && !r.preview && (r.start.empty() || r.step == Step::syncDir)) ||
        r.step == Step::afterRename;
    EXPECT_EQ(savedAnyway, replaced && !r.start.empty());
    EXPECT_EQ(readFile(location), replaced                ? saved
                                  : r.code > foreignWrite ? foreign
                                                          : old)
        << got;  // never a mix
    // What was replaced is kept, and nothing that was not; a kill may leave
    // in the history an old file that is also still the config.
    std::vector<std::string> versions;
    for (const std::string& name : listDir(history)) {
      if (name.ends_with(".json")) versions.push_back(readFile(history + "/" + name));
    }
    const bool killedKeeping = r.code < 0 && r.step >= Step::index && r.step <= Step::rename;
    EXPECT_EQ(versions.size(), replaced || killedKeeping ? 1u : 0u) << got;
    for (const std::string& version : versions) {
      EXPECT_EQ(version, r.code > foreignWrite ? foreign : old);
    }
    EXPECT_EQ(listed(), kept) << static_cast<int>(r.step) << " " << r.code;
  }
}

// What another program wrote meanwhile is edited, not overwritten.
TEST_F(SessionTest, AnEditRacedByAnotherWriterKeepsItsChange) {
  writeFile(location, old);
  FaultyDisk disk(Step::close, foreignWrite + 1, location);
  const auto outcome = edit(disk, addWombat);
  ASSERT_TRUE(outcome.status.ok()) << outcome.status.error().description;
  EXPECT_EQ(AgentConfig::decoded(readFile(location)).value().dictionary,
            (std::vector<std::string>{"Quokka", "Wombat"}));
}

// Each save appends a line to the history's index, which is rewritten to the
// kept versions once it holds twice as many; 50 versions stay throughout.
TEST_F(SessionTest, TheHistoryIndexStaysSmall) {
  const std::string history = folder + "/.agent-config.history";
  for (int save = 1; save <= 102; ++save) {
    ASSERT_TRUE(edit(realDisk(), [save](AgentConfig& c) -> Expected<EditSession::Change> {
                  c.addTerms(std::vector<std::string>{std::to_string(save)});
                  return EditSession::Change{};
                }).status.ok());
    if (save < 101) continue;
    EXPECT_EQ(std::ranges::count(readFile(history + "/index"), '\n'), save == 101 ? 100 : 50);
    EXPECT_EQ(std::ranges::count_if(listDir(history), [](auto& n) { return n.ends_with(".json"); }),
              50);
    const auto versions = EditSession::open({}).value().history().value();
    ASSERT_EQ(versions.size(), 50u);
    EXPECT_EQ(versions.back().summary, std::to_string(save - 50) + " words, 0 rules, no style");
  }
}

// A refused rule's finding is listed once, first.
TEST_F(SessionTest, ARefusalIsListedOnce) {
  const AgentConfig::Complaint cap{"rules", "more than 500; extra ones ignored"};
  std::vector<AgentConfig::Rule> rules;
  for (int i = 0; i < 501; ++i) rules.emplace_back("snippet", std::to_string(i), "x", true);
  const AgentConfig full(1, {}, rules, std::nullopt);
  const auto refused = edit(realDisk(), [&](AgentConfig& c) -> Expected<EditSession::Change> {
    c = full;
    return EditSession::Change{{cap, cap}};  // each takes out one equal finding of validation's
  });
  EXPECT_EQ(refused.findings, (std::vector<AgentConfig::Complaint>{cap, cap}));
}

// An existing file keeps its mode, which the command line shows.
TEST_F(SessionTest, NewFileAndFoldersAre0666And0777LessTheUmask) {
  const mode_t umask = ::umask(022);
  EXPECT_TRUE(AgentConfigFile::save(config, location).ok());
  EXPECT_EQ(::umask(umask), mode_t{022});  // read, and left as it was
  EXPECT_EQ(std::filesystem::status(location).permissions(), std::filesystem::perms(0644));
  EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms(0755));
}

TEST_F(SessionTest, SecondLockWaitsForTheFirst) {
  std::filesystem::create_directories(folder);
  {
    const auto first = files::lock(realDisk(), folder, {100ms});
    ASSERT_TRUE(first.ok());
    for (const auto& [wait, text] :
         {std::pair(100ms, "0.1 seconds"), std::pair(1000ms, "1 second")}) {
      const auto refused = files::lock(realDisk(), folder, {wait});
      EXPECT_EQ(refused.ok() ? "" : refused.error().description,
                "another ostrel edit is holding the config folder '" + folder + "' (waited " +
                    text + ")");
    }
  }  // released
  EXPECT_TRUE(files::lock(realDisk(), folder, {}).ok());
}

// HOME, else the user database, must name an existing folder by an absolute path.
TEST_F(SessionTest, HomeIsAnAbsoluteExistingFolder) {
  const std::string home = root.path(), why = "cannot find your home folder: ";
  for (const auto& [variable, database, expected] : std::vector<std::array<std::string, 3>>{
           {"", home, home},
           {"rel/home", home, why + "'rel/home' is not an absolute path"},
           {"", "", why + "HOME is not set and the user database has none"},
           {home + "/gone", "/", why + "'" + home + "/gone' does not exist"}}) {
    const auto found = files::homeFolder(
        variable.c_str(), [&] { return database; }, realDisk());
    EXPECT_EQ(found.ok() ? found.value() : found.error().description, expected);
  }
}

TEST_F(SessionTest, DanglingLinkForAFolderIsNamed) {
  std::filesystem::create_directories(root.path() + "/Library/Application Support");
  std::filesystem::create_directory_symlink(root.path() + "/gone", folder);
  const Status saved = AgentConfigFile::save(config, location);
  EXPECT_EQ(
      saved.ok() ? "" : saved.error().description,
      "'" + folder + "' is a symbolic link to '" + root.path() + "/gone', which does not exist");
}

}  // namespace
}  // namespace ostrel
