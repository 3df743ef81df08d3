// End-to-end behaviour of the ostrel binary: what a user sees on standard
// output and standard error, the exit status, and what is left on disk.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ostrel/agent_config.h"
#include "test_support.h"

namespace ostrel {
namespace {

using testing::configDir;
using testing::configPath;
using testing::listDir;
using testing::readFile;
using testing::runOstrel;
using testing::RunResult;
using testing::TempDir;
using testing::writeFile;

const std::string kUsage = readFile(OSTREL_TESTDATA "/usage.txt");

const std::string kDefaultDocument =
    "{\n  \"dictionary\" : [\n\n  ],\n  \"rules\" : [\n\n  ],\n  \"version\" : 1\n}";

// A hand-written file: keys in another order, an unknown key, a disabled rule.
const std::string kGoodFile =
    R"({"version": 1, "style": "Keep my writing terse.", "extra": [1, {"a": null}],
  "dictionary": ["Quokka", "Kubernetes"],
  "rules": [{"kind": "snippet", "trigger": "brb", "replacement": "be right back", "enabled": true},
            {"enabled": false, "kind": "transform", "trigger": "gonna", "replacement": "going to"}]})";

const std::string kGoodDocument = R"({
  "dictionary" : [
    "Quokka",
    "Kubernetes"
  ],
  "rules" : [
    {
      "enabled" : true,
      "kind" : "snippet",
      "replacement" : "be right back",
      "trigger" : "brb"
    },
    {
      "enabled" : false,
      "kind" : "transform",
      "replacement" : "going to",
      "trigger" : "gonna"
    }
  ],
  "style" : "Keep my writing terse.",
  "version" : 1
})";

AgentConfig decodeFile(const std::string& path) {
  auto config = AgentConfig::decoded(readFile(path));
  EXPECT_TRUE(config.ok()) << (config.ok() ? "" : config.error().description);
  return config.ok() ? config.value() : AgentConfig(0, {}, {}, std::nullopt);
}

// --- Dispatch and the read-only commands ----------------------------------------

TEST(Usage, IsPrintedOnRequestAndAfterAnUnknownCommand) {
  TempDir home;
  for (std::vector<std::string> args :
       {std::vector<std::string>{}, {"help"}, {"--help", "x"}, {"-h"}}) {
    RunResult r = runOstrel(args, home.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kUsage + "\n");
    EXPECT_EQ(r.err, "");
  }
  for (std::string joined :
       {"dict", "dict foo bar", "Show", "", "dict help", "rule", "style reset", "dict List"}) {
    std::vector<std::string> args;
    for (size_t at = 0, end; at <= joined.size(); at = end + 1) {
      end = std::min(joined.find(' ', at), joined.size());
      args.push_back(joined.substr(at, end - at));
    }
    RunResult r = runOstrel(args, home.path());
    EXPECT_EQ(r.status, 1) << joined;
    EXPECT_EQ(r.out, "") << joined;
    EXPECT_EQ(r.err, "ostrel: unknown command '" + joined + "'\n\n" + kUsage + "\n");
  }
  EXPECT_TRUE(listDir(home.path()).empty());
}

TEST(ReadOnly, PrintTheStoredRecordAndTouchNothing) {
  const std::optional<std::string> missing;
  const std::string handEdited =
      R"({"version": 7, "dictionary": ["  spaced  ", "", "a\nb"], "rules": [
          {"kind": "Bogus", "trigger": "", "replacement": "x\ny", "enabled": true}], "style": ""})";
  const std::string notJson = "ostrel: the config is not valid JSON: ";
  struct Case {
    std::optional<std::string> file;
    std::vector<std::string> args;
    std::string out, errPrefix;
  } cases[] = {
      {missing, {"show"}, kDefaultDocument + "\n", ""},
      {missing, {"dict", "list"}, "(no words yet)\n", ""},
      {missing, {"rule", "list", "x"}, "(no rules yet)\n", ""},
      {missing, {"style", "show"}, "(no style set)\n", ""},
      {kGoodFile, {"show", "extra"}, kGoodDocument + "\n", ""},
      {kGoodFile, {"dict", "list"}, "Quokka\nKubernetes\n", ""},
      {kGoodFile,
       {"rule", "list"},
       "snippet\t\"brb\" \u2192 \"be right back\"\ntransform\t\"gonna\" \u2192 \"going to\"  "
       "(disabled)\n",
       ""},
      {kGoodFile, {"style", "show"}, "Keep my writing terse.\n", ""},
      {handEdited, {"dict", "list"}, "  spaced  \n\na\nb\n", ""},
      {handEdited, {"rule", "list"}, "Bogus\t\"\" \u2192 \"x\ny\"\n", ""},
      {handEdited, {"style", "show"}, "\n", ""},
      {"", {"show"}, "", notJson},
      {"{}", {"dict", "list"}, "", notJson},
      {R"({"version": "1", "dictionary": [], "rules": []})", {"rule", "list"}, "", notJson},
      {"{\"version\": 1, \"dictionary\": [\"\xff\"], \"rules\": []}",
       {"style", "show"},
       "",
       notJson},
      {"version = 1", {"show"}, "", notJson},
      {"(a directory)", {"show"}, "", "ostrel: could not read the config: "},
  };
  for (const auto& c : cases) {
    TempDir home;
    if (c.file == "(a directory)") {
      std::filesystem::create_directories(configPath(home.path()));
    } else if (c.file) {
      writeFile(configPath(home.path()), *c.file);
    }
    const std::string name = c.file.value_or("(none)") + " | " + c.args[0];
    RunResult r = runOstrel(c.args, home.path());
    EXPECT_EQ(r.status, c.errPrefix.empty() ? 0 : 1) << name;
    EXPECT_EQ(r.out, c.out) << name;
    EXPECT_EQ(r.err.substr(0, c.errPrefix.size()), c.errPrefix) << name;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), c.errPrefix.empty() ? 0 : 1) << r.err;
    if (!c.file) {
      EXPECT_TRUE(listDir(home.path()).empty()) << name;
    } else if (c.file != "(a directory)") {
      EXPECT_EQ(readFile(configPath(home.path())), *c.file) << name;
    }
  }
}

TEST(ReadOnly, PathPrintsTheLocationWithoutTouchingIt) {
  TempDir home;
  RunResult r = runOstrel({"path", "extra"}, home.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, configPath(home.path()) + "\n");
  EXPECT_TRUE(listDir(home.path()).empty());
}

TEST(Failures, UnwritableOutputAndNonUtf8ArgumentsFailCleanly) {
  TempDir home;
  RunResult badArgument = runOstrel({"dict", "add", "caf\xe9"}, home.path());
  EXPECT_EQ(badArgument.status, 1);
  EXPECT_EQ(badArgument.err, "ostrel: argument 3 is not valid UTF-8 text\n");
  EXPECT_TRUE(listDir(home.path()).empty());
  if (!std::filesystem::exists("/dev/full")) return;
  RunResult fullDisk = runOstrel({"show"}, home.path(), "/dev/full");
  EXPECT_EQ(fullDisk.status, 1);
  EXPECT_EQ(fullDisk.err.rfind("ostrel: could not write the output: ", 0), 0u) << fullDisk.err;
}

// --- Operand checks of the editing commands ------------------------------------

TEST(OperandChecks, FailWithTheirMessagesAndTouchNothing) {
  const std::string threeOperands =
      "ostrel: rule set needs <kind> <trigger> <replacement> \u2014 quote arguments containing "
      "spaces\n";
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"dict", "add"}, "ostrel: dict add needs at least one word\n"},
      {{"dict", "remove"}, "ostrel: dict remove needs at least one word\n"},
      {{"rule", "set"}, threeOperands},
      {{"rule", "set", "snippet", "hello"}, threeOperands},
      {{"rule", "set", "snippet", "a", "b", "c"}, threeOperands},
      {{"rule", "set", "Snippet", "a", "b"},
       "ostrel: unknown kind 'Snippet' \u2014 use snippet or transform\n"},
      {{"rule", "set", " snippet", "a", "b"},
       "ostrel: unknown kind ' snippet' \u2014 use snippet or transform\n"},
      {{"rule", "remove"}, "ostrel: rule remove needs <trigger>\n"},
      {{"rule", "remove", "a", "b"}, "ostrel: rule remove needs <trigger>\n"},
      {{"style", "set"}, "ostrel: style set needs some text\n"},
      {{"style", "set", " ", "\t", "\u3000"}, "ostrel: style set needs some text\n"},
  };
  for (const auto& [args, err] : cases) {
    TempDir home;
    writeFile(configPath(home.path()), kGoodFile);
    RunResult r = runOstrel(args, home.path());
    EXPECT_EQ(r.status, 1) << err;
    EXPECT_EQ(r.out, "") << err;
    EXPECT_EQ(r.err, err);
    EXPECT_EQ(readFile(configPath(home.path())), kGoodFile) << err;
  }
}

// --- Editing commands ------------------------------------------------------------

struct EditCase {
  const char* name;
  std::string before;  // the file before the run; empty: no file
  std::vector<std::string> args;
  std::string out;
  std::string err;
  // What the saved file holds, as the list commands print it.
  std::string words, rules, style;
};

// A hand-written file with these JSON fragments.
std::string doc(const std::string& words, const std::string& rules, const std::string& style = "") {
  return R"({"version": 1, "dictionary": [)" + words + R"(], "rules": [)" + rules + "]" +
         (style.empty() ? "" : R"(, "style": )" + style) + "}";
}

std::string rule(const char* kind, const char* trigger, const char* replacement,
                 bool enabled = true) {
  return std::string(R"({"kind": ")") + kind + R"(", "trigger": ")" + trigger +
         R"(", "replacement": ")" + replacement + R"(", "enabled": )" +
         (enabled ? "true" : "false") + "}";
}

TEST(Edits, EachCommandEditsValidatesSavesAndReports) {
  const std::string brb = rule("snippet", "brb", "be right back");
  const std::string x = rule("snippet", "x", "y");
  const std::string none = "(no words yet)\n", noRules = "(no rules yet)\n",
                    noStyle = "(no style set)\n";
  const std::string refused = "rule REFUSED \u2014 see the reason above\n";
  const std::string loops = "\u2014 replacement contains the trigger, which would loop\n";
  const std::string listedX = "snippet\t\"x\" \u2192 \"y\"\n";
  const std::string listedBrb = "snippet\t\"brb\" \u2192 \"be right back\"\n";
  // clang-format off
  const std::vector<EditCase> cases = {
      {"add to a missing file", "", {"dict", "add", "Foo"}, "1 words in the dictionary\n", "",
       "Foo\n", noRules, noStyle},
      {"add trims, skips stored words in any case", doc(R"("quokka")", ""),
       {"dict", "add", "Quokka", " two words\t", "\n"}, "2 words in the dictionary\n", "",
       "quokka\ntwo words\n", noRules, noStyle},
      {"add keeps the first of two spellings", "", {"dict", "add", "Quokka", "quokka"},
       "1 words in the dictionary\n", "", "Quokka\n", noRules, noStyle},
      {"remove of a missing word", doc(R"("a", "b")", ""), {"dict", "remove", "zzz"},
       "2 words in the dictionary\n", "", "a\nb\n", noRules, noStyle},
      {"remove every case", doc(R"("quokka", "b", "QUOKKA", "Quokka")", ""),
       {"dict", "remove", "QuOkKa"}, "1 words in the dictionary\n", "", "b\n", noRules, noStyle},
      {"rule set appends", doc("", x), {"rule", "set", "snippet", "my email", "me@example.com"},
       "rule set: \"my email\" \u2192 \"me@example.com\"\n", "", none,
       listedX + "snippet\t\"my email\" \u2192 \"me@example.com\"\n", noStyle},
      {"rule set replaces in place, reports as typed", doc("", brb + "," + x),
       {"rule", "set", "snippet", "BRB", "later"}, "rule set: \"BRB\" \u2192 \"later\"\n", "", none,
       "snippet\t\"BRB\" \u2192 \"later\"\n" + listedX, noStyle},
      {"rule set over a disabled rule", doc("", rule("transform", "gonna", "going to", false)),
       {"rule", "set", "transform", "gonna", "going to"},
       "rule set: \"gonna\" \u2192 \"going to\"\n", "", none,
       "transform\t\"gonna\" \u2192 \"going to\"\n", noStyle},
      {"rule set trims the stored trigger", "", {"rule", "set", "snippet", "  hi  ", "hello"},
       "rule set: \"  hi  \" \u2192 \"hello\"\n", "", none, "snippet\t\"hi\" \u2192 \"hello\"\n",
       noStyle},
      {"rule set refused", "", {"rule", "set", "transform", "brb", "brb-soon"}, refused,
       "ostrel: dropped 'brb' " + loops, none, noRules, noStyle},
      {"refused rule keeps the stored one", doc("", x + "," + brb),
       {"rule", "set", "transform", "BRB", "brb-soon"}, refused, "ostrel: dropped 'BRB' " + loops,
       none, listedX + listedBrb, noStyle},
      {"refused as a duplicate of a hand-edited trigger", doc("", rule("snippet", " hi", "a")),
       {"rule", "set", "snippet", "hi", "b"}, refused,
       "ostrel: dropped 'hi' \u2014 duplicate trigger; keeping the first\n", none,
       "snippet\t\"hi\" \u2192 \"a\"\n", noStyle},
      {"rule remove: any case, all matches",
       doc("", brb + "," + x + "," + rule("snippet", "BRB", "z")),
       {"rule", "remove", " Brb "}, "1 rules remain\n", "", none, listedX, noStyle},
      {"style set joins untrimmed, saves trimmed", "", {"style", "set", " Be", "brief. "},
       "style: Be brief.\n", "", none, noRules, "Be brief.\n"},
      {"style of line breaks only", doc("", "", R"("old")"), {"style", "set", "\n\n"},
       "style: (none)\n", "", none, noRules, noStyle},
      {"style clear with no style", "", {"style", "clear"}, "style cleared\n", "", none, noRules,
       noStyle},
      {"any edit repairs what another program wrote",
       doc(R"(" a ", "A", ")" + std::string(101, 'x') + R"(")",
           brb + "," + rule("snippet", "BRB", "dup") + "," + rule("Snippet", "k", "v"),
           R"("  terse  ")"),
       {"style", "clear"}, "style cleared\n",
       "ostrel: dropped '" + std::string(40, 'x') + "' \u2014 longer than 100 characters\n"
       "ostrel: dropped 'BRB' \u2014 duplicate trigger; keeping the first\n"
       "ostrel: dropped 'k' \u2014 unknown kind 'Snippet' \u2014 use snippet or transform\n",
       "a\n", listedBrb, noStyle},
  };
  // clang-format on
  for (const auto& c : cases) {
    TempDir home;
    if (!c.before.empty()) writeFile(configPath(home.path()), c.before);
    RunResult r = runOstrel(c.args, home.path());
    EXPECT_EQ(r.status, 0) << c.name;
    EXPECT_EQ(r.out, c.out) << c.name;
    EXPECT_EQ(r.err, c.err) << c.name;
    EXPECT_EQ(runOstrel({"dict", "list"}, home.path()).out, c.words) << c.name;
    EXPECT_EQ(runOstrel({"rule", "list"}, home.path()).out, c.rules) << c.name;
    EXPECT_EQ(runOstrel({"style", "show"}, home.path()).out, c.style) << c.name;
    EXPECT_EQ(listDir(configDir(home.path())), std::vector<std::string>{"agent-config.json"})
        << c.name;
  }
}

TEST(Edits, FileIsTheEncodedDocumentWithoutUnknownKeys) {
  TempDir home;
  writeFile(configPath(home.path()), kGoodFile);
  RunResult r = runOstrel({"dict", "remove", "nothing"}, home.path());
  EXPECT_EQ(r.out, "2 words in the dictionary\n");
  EXPECT_EQ(readFile(configPath(home.path())), kGoodDocument);
}

TEST(Edits, RunningTheSameCommandTwiceLeavesTheSameFile) {
  const std::vector<std::vector<std::string>> commands = {
      {"dict", "add", "Quokka", " Wombat "},
      {"dict", "remove", "Quokka"},
      {"rule", "set", "snippet", " Hi ", "hello"},
      {"rule", "set", "transform", "x", "x2"},
      {"rule", "remove", "brb"},
      {"style", "set", "Terse."},
      {"style", "clear"}};
  for (const auto& args : commands) {
    TempDir home;
    writeFile(configPath(home.path()), kGoodFile);
    RunResult first = runOstrel(args, home.path());
    const std::string once = readFile(configPath(home.path()));
    RunResult second = runOstrel(args, home.path());
    EXPECT_EQ(readFile(configPath(home.path())), once) << args[0] << " " << args[1];
    EXPECT_EQ(first.out, second.out);
    EXPECT_EQ(second.status, 0);
  }
}

TEST(Edits, WordsBeyondTheLimitAreReportedAndCapped) {
  TempDir home;
  std::string words;
  for (int i = 0; i < 2000; ++i) words += (i ? ", \"w" : "\"w") + std::to_string(i) + "\"";
  writeFile(configPath(home.path()), doc(words, ""));
  RunResult r = runOstrel({"dict", "add", "Quokka"}, home.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "2000 words in the dictionary\n");
  EXPECT_EQ(r.err,
            "ostrel: dropped 'dictionary' \u2014 more than 2000 entries; extra ones ignored\n");
  EXPECT_EQ(decodeFile(configPath(home.path())).dictionary.back(), "w1999");
}

TEST(Edits, LoadFailureStopsTheEditAndKeepsTheFile) {
  TempDir home;
  const std::string bad = R"({"version": 1, "dictionary": [], "rules": [{"kind": "snippet"}]})";
  writeFile(configPath(home.path()), bad);
  RunResult r = runOstrel({"dict", "add", "x"}, home.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("ostrel: the config is not valid JSON: ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("rules[0]"), std::string::npos) << r.err;
  EXPECT_EQ(readFile(configPath(home.path())), bad);
}

TEST(Edits, SaveFailureReportsComplaintsThenTheReasonAndNoReport) {
  TempDir home;
  // A regular file stands where the folder should be.
  writeFile(home.path() + "/Library/Application Support/Ostrel", "not a folder");
  RunResult r = runOstrel({"dict", "add", "ok", std::string(101, 'y')}, home.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  const std::string complaint =
      "ostrel: dropped '" + std::string(40, 'y') + "' \u2014 longer than 100 characters\n";
  EXPECT_EQ(r.err.rfind(complaint + "ostrel: could not write the config: ", 0), 0u) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
  EXPECT_EQ(readFile(home.path() + "/Library/Application Support/Ostrel"), "not a folder");
}

// --- The file keeps its identity ---------------------------------------------------

TEST(FileIdentity, PermissionBitsAndSymbolicLinksSurviveAnEdit) {
  TempDir home, dotfiles;
  const std::string target = dotfiles.path() + "/ostrel.json";
  writeFile(target, kGoodFile);
  ::chmod(target.c_str(), 0600);
  std::filesystem::create_directories(configDir(home.path()));
  ASSERT_EQ(::symlink(target.c_str(), configPath(home.path()).c_str()), 0);
  RunResult r = runOstrel({"dict", "add", "Wombat"}, home.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::filesystem::is_symlink(configPath(home.path())));
  EXPECT_EQ(decodeFile(target).dictionary,
            (std::vector<std::string>{"Quokka", "Kubernetes", "Wombat"}));
  EXPECT_EQ(listDir(dotfiles.path()), std::vector<std::string>{"ostrel.json"});
  struct stat st;
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

// --- Concurrency and faults -----------------------------------------------------------

TEST(Concurrency, SimultaneousEditsAreAllKept) {
  constexpr int kRounds = 4;
  constexpr int kProcesses = 16;
  for (int round = 0; round < kRounds; ++round) {
    TempDir home;
    std::vector<std::unique_ptr<testing::Process>> runs;
    for (int k = 0; k < kProcesses; ++k) {
      runs.push_back(std::make_unique<testing::Process>(
          std::vector<std::string>{"dict", "add", "w" + std::to_string(k)}, home.path()));
    }
    for (auto& run : runs) {
      RunResult r = run->finish();
      EXPECT_EQ(r.status, 0) << r.err;
    }
    AgentConfig config = decodeFile(configPath(home.path()));
    std::vector<std::string> words = config.dictionary;
    std::sort(words.begin(), words.end());
    std::vector<std::string> expected;
    for (int k = 0; k < kProcesses; ++k) expected.push_back("w" + std::to_string(k));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(words, expected) << "round " << round;
    EXPECT_EQ(listDir(configDir(home.path())), std::vector<std::string>{"agent-config.json"});
    // Nothing is left holding the folder.
    int fd = ::open(configDir(home.path()).c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
  }
}

TEST(Faults, EditKilledWhileWaitingForTheLockChangesNothingAndBlocksNoOne) {
  TempDir home;
  writeFile(configPath(home.path()), kGoodFile);
  int fd = ::open(configDir(home.path()).c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  {
    testing::Process waiting({"dict", "add", "Lost"}, home.path());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(waiting.pid(), SIGKILL);
    EXPECT_EQ(waiting.finish().status, 128 + SIGKILL);
  }
  ::close(fd);
  EXPECT_EQ(readFile(configPath(home.path())), kGoodFile);
  RunResult next = runOstrel({"dict", "add", "Kept"}, home.path());
  EXPECT_EQ(next.status, 0) << next.err;
  EXPECT_EQ(decodeFile(configPath(home.path())).dictionary.back(), "Kept");
}

}  // namespace
}  // namespace ostrel
