// End-to-end behaviour of the ostrel binary: what a user sees on standard
// output and standard error, the exit status, and what is left on disk.
#include <fcntl.h>
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

#include <gtest/gtest.h>

#include "ostrel/agent_config.h"
#include "test_support.h"

namespace ostrel {
namespace {

using testing::configDir;
using testing::configPath;
using testing::listDir;
using testing::readFile;
using testing::RunResult;
using testing::runOstrel;
using testing::TempDir;
using testing::writeFile;

const std::string kUsage = readFile(OSTREL_TESTDATA "/usage.txt");

const std::string kDefaultDocument =
    "{\n  \"dictionary\" : [\n\n  ],\n  \"rules\" : [\n\n  ],\n  \"version\" : 1\n}";

// A hand-written file: keys in another order, an unknown key, a disabled rule.
const std::string kGoodFile = R"({"version": 1, "style": "Keep my writing terse.", "extra": [1, {"a": null}],
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

std::string unknownCommand(const std::string& joined) {
  return "ostrel: unknown command '" + joined + "'\n\n" + kUsage + "\n";
}

// --- The usage text ---------------------------------------------------------

TEST(Usage, IsPrintedOnRequestWithStatusZero) {
  TempDir home;
  for (std::vector<std::string> args : {std::vector<std::string>{}, {"help"}, {"--help", "extra"}, {"-h"}}) {
    RunResult r = runOstrel(args, home.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kUsage + "\n");
    EXPECT_EQ(r.err, "");
  }
  EXPECT_TRUE(listDir(home.path()).empty());
}

TEST(Usage, HasTwentyNineLinesWithDescriptionsInColumnForty) {
  EXPECT_EQ(std::count(kUsage.begin(), kUsage.end(), '\n'), 28);
  EXPECT_NE(kUsage.back(), '\n');
  EXPECT_EQ(kUsage.find("ostrel show"), kUsage.find("  ostrel show") + 2);
  for (std::string_view described : {"Print the current config", "Teach the recognizer", "Guidance handed"}) {
    size_t at = kUsage.find(described);
    size_t lineStart = kUsage.rfind('\n', at) + 1;
    EXPECT_EQ(at - lineStart, 39u) << described;
  }
}

TEST(Usage, UnrecognisedCommandsFailWithTheUsageText) {
  TempDir home;
  const std::vector<std::vector<std::string>> cases = {
      {"dict"}, {"dict", "foo", "bar"}, {"Show"}, {""}, {"dict", "help"}, {"rule"}, {"style", "reset"},
      {"Dict", "list"}, {"dict", "List"}};
  for (const auto& args : cases) {
    std::string joined;
    for (const auto& a : args) joined += (joined.empty() && &a == &args.front() ? "" : " ") + a;
    RunResult r = runOstrel(args, home.path());
    EXPECT_EQ(r.status, 1) << joined;
    EXPECT_EQ(r.out, "") << joined;
    EXPECT_EQ(r.err, unknownCommand(joined)) << joined;
  }
  EXPECT_TRUE(listDir(home.path()).empty());
}

// --- Read-only commands -----------------------------------------------------

struct ReadCase {
  const char* name;
  std::vector<std::string> args;
  std::string out;
};

TEST(ReadOnly, MissingFileAnswersWithDefaultsAndCreatesNothing) {
  const std::vector<ReadCase> cases = {
      {"show", {"show"}, kDefaultDocument + "\n"},
      {"show extra", {"show", "extra"}, kDefaultDocument + "\n"},
      {"dict list", {"dict", "list"}, "(no words yet)\n"},
      {"rule list", {"rule", "list", "x"}, "(no rules yet)\n"},
      {"style show", {"style", "show"}, "(no style set)\n"},
  };
  for (const auto& c : cases) {
    TempDir home;
    RunResult r = runOstrel(c.args, home.path());
    EXPECT_EQ(r.status, 0) << c.name;
    EXPECT_EQ(r.out, c.out) << c.name;
    EXPECT_EQ(r.err, "") << c.name;
    EXPECT_TRUE(listDir(home.path()).empty()) << c.name;
  }
}

TEST(ReadOnly, GoodFileIsPrintedAsStoredAndLeftUntouched) {
  const std::vector<ReadCase> cases = {
      {"show", {"show"}, kGoodDocument + "\n"},
      {"dict list", {"dict", "list"}, "Quokka\nKubernetes\n"},
      {"rule list", {"rule", "list"},
       "snippet\t\"brb\" \u2192 \"be right back\"\n"
       "transform\t\"gonna\" \u2192 \"going to\"  (disabled)\n"},
      {"style show", {"style", "show"}, "Keep my writing terse.\n"},
  };
  for (const auto& c : cases) {
    TempDir home;
    writeFile(configPath(home.path()), kGoodFile);
    RunResult r = runOstrel(c.args, home.path());
    EXPECT_EQ(r.status, 0) << c.name;
    EXPECT_EQ(r.out, c.out) << c.name;
    EXPECT_EQ(r.err, "") << c.name;
    EXPECT_EQ(readFile(configPath(home.path())), kGoodFile) << c.name;
    EXPECT_EQ(listDir(configDir(home.path())), std::vector<std::string>{"agent-config.json"});
  }
}

TEST(ReadOnly, StoredValuesArePrintedUnvalidated) {
  TempDir home;
  writeFile(configPath(home.path()),
            R"({"version": 7, "dictionary": ["  spaced  ", "", "a\nb"], "rules": [
                {"kind": "Bogus", "trigger": "", "replacement": "x\ny", "enabled": true}], "style": ""})");
  EXPECT_EQ(runOstrel({"dict", "list"}, home.path()).out, "  spaced  \n\na\nb\n");
  EXPECT_EQ(runOstrel({"rule", "list"}, home.path()).out, "Bogus\t\"\" \u2192 \"x\ny\"\n");
  EXPECT_EQ(runOstrel({"style", "show"}, home.path()).out, "\n");
}

TEST(ReadOnly, BadFilesFailWithOneLineAndTouchNothing) {
  struct BadCase {
    const char* name;
    std::string bytes;  // empty name of a directory case below
    std::string prefix;
  };
  const std::string notJson = "ostrel: the config is not valid JSON: ";
  const std::vector<BadCase> cases = {
      {"empty", "", notJson},
      {"braces", "{}", notJson},
      {"wrong type", R"({"version": "1", "dictionary": [], "rules": []})", notJson},
      {"invalid UTF-8", "{\"version\": 1, \"dictionary\": [\"\xff\"], \"rules\": []}", notJson},
      {"not JSON", "version = 1", notJson},
  };
  for (const auto& c : cases) {
    for (std::vector<std::string> args : {std::vector<std::string>{"show"}, {"dict", "list"}, {"rule", "list"}, {"style", "show"}}) {
      TempDir home;
      writeFile(configPath(home.path()), c.bytes);
      RunResult r = runOstrel(args, home.path());
      EXPECT_EQ(r.status, 1) << c.name;
      EXPECT_EQ(r.out, "") << c.name;
      EXPECT_EQ(r.err.rfind(c.prefix, 0), 0u) << c.name << ": " << r.err;
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.name << ": " << r.err;
      EXPECT_EQ(readFile(configPath(home.path())), c.bytes) << c.name;
    }
  }
}

TEST(ReadOnly, DirectoryAtTheFilesPathIsUnreadable) {
  TempDir home;
  std::filesystem::create_directories(configPath(home.path()));
  RunResult r = runOstrel({"show"}, home.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("ostrel: could not read the config: ", 0), 0u) << r.err;
}

TEST(ReadOnly, PathPrintsTheLocationWithoutTouchingIt) {
  TempDir home;
  for (std::vector<std::string> args : {std::vector<std::string>{"path"}, {"path", "extra"}}) {
    RunResult r = runOstrel(args, home.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, configPath(home.path()) + "\n");
  }
  EXPECT_TRUE(listDir(home.path()).empty());
}

TEST(Output, UnwritableStandardOutputIsAFailure) {
  if (!testing::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  TempDir home;
  RunResult r = runOstrel({"show"}, home.path(), "/dev/full");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("ostrel: could not write the output: ", 0), 0u) << r.err;
}

TEST(Arguments, TextThatIsNotUtf8IsRefusedBeforeAnythingHappens) {
  TempDir home;
  RunResult r = runOstrel({"dict", "add", "caf\xe9"}, home.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "ostrel: argument 3 is not valid UTF-8 text\n");
  EXPECT_TRUE(listDir(home.path()).empty());
}

// --- Operand checks of the editing commands ------------------------------------

TEST(OperandChecks, FailWithTheirMessagesAndTouchNothing) {
  const std::string threeOperands =
      "ostrel: rule set needs <kind> <trigger> <replacement> \u2014 quote arguments containing spaces\n";
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"dict", "add"}, "ostrel: dict add needs at least one word\n"},
      {{"dict", "remove"}, "ostrel: dict remove needs at least one word\n"},
      {{"rule", "set"}, threeOperands},
      {{"rule", "set", "snippet", "hello"}, threeOperands},
      {{"rule", "set", "snippet", "a", "b", "c"}, threeOperands},
      {{"rule", "set", "Snippet", "a", "b"}, "ostrel: unknown kind 'Snippet' \u2014 use snippet or transform\n"},
      {{"rule", "set", " snippet", "a", "b"}, "ostrel: unknown kind ' snippet' \u2014 use snippet or transform\n"},
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
  // What the saved file must hold, checked through `show`'s view of it.
  std::vector<std::string> words;
  std::string rules;  // `rule list` output after the run
  std::string style;  // `style show` output after the run
};

std::string doc(const std::string& words, const std::string& rules, const std::string& style = "") {
  return R"({"version": 1, "dictionary": [)" + words + R"(], "rules": [)" + rules + "]" +
         (style.empty() ? "" : R"(, "style": )" + style) + "}";
}

std::string rule(const char* kind, const char* trigger, const char* replacement, bool enabled = true) {
  return std::string(R"({"kind": ")") + kind + R"(", "trigger": ")" + trigger + R"(", "replacement": ")" +
         replacement + R"(", "enabled": )" + (enabled ? "true" : "false") + "}";
}

std::string lines(const std::vector<std::string>& items) {
  std::string text;
  for (const auto& item : items) text += item + "\n";
  return text;
}

TEST(Edits, EachCommandEditsValidatesSavesAndReports) {
  const std::string brb = rule("snippet", "brb", "be right back");
  const std::string noRules = "(no rules yet)\n";
  const std::string noStyle = "(no style set)\n";
  const std::vector<EditCase> cases = {
      {"add to a missing file", "", {"dict", "add", "Foo"}, "1 words in the dictionary\n", "", {"Foo"}, noRules, noStyle},
      {"add trims and skips stored words in any case", doc(R"("quokka")", ""),
       {"dict", "add", "Quokka", " two words\t", "\n"}, "2 words in the dictionary\n", "", {"quokka", "two words"}, noRules, noStyle},
      {"add repeats within one call keeps the first", "", {"dict", "add", "Quokka", "quokka"},
       "1 words in the dictionary\n", "", {"Quokka"}, noRules, noStyle},
      {"remove of a missing word rewrites and reports", doc(R"("a", "b")", ""), {"dict", "remove", "zzz"},
       "2 words in the dictionary\n", "", {"a", "b"}, noRules, noStyle},
      {"remove every case", doc(R"("quokka", "b", "QUOKKA", "Quokka")", ""), {"dict", "remove", "QuOkKa"},
       "1 words in the dictionary\n", "", {"b"}, noRules, noStyle},
      {"rule set appends", "", {"rule", "set", "snippet", "my email", "me@example.com"},
       "rule set: \"my email\" \u2192 \"me@example.com\"\n", "", {},
       "snippet\t\"my email\" \u2192 \"me@example.com\"\n", noStyle},
      {"rule set replaces in any case and reports as typed", doc("", brb + "," + rule("snippet", "x", "y")),
       {"rule", "set", "snippet", "BRB", "later"}, "rule set: \"BRB\" \u2192 \"later\"\n", "", {},
       "snippet\t\"BRB\" \u2192 \"later\"\nsnippet\t\"x\" \u2192 \"y\"\n", noStyle},
      {"rule set over a disabled rule enables it", doc("", rule("transform", "gonna", "going to", false)),
       {"rule", "set", "transform", "gonna", "going to"}, "rule set: \"gonna\" \u2192 \"going to\"\n", "", {},
       "transform\t\"gonna\" \u2192 \"going to\"\n", noStyle},
      {"rule set trims the stored trigger, reports it as typed", "", {"rule", "set", "snippet", "  hi  ", "hello"},
       "rule set: \"  hi  \" \u2192 \"hello\"\n", "", {}, "snippet\t\"hi\" \u2192 \"hello\"\n", noStyle},
      {"rule set refused", "", {"rule", "set", "transform", "brb", "brb-soon"},
       "rule REFUSED \u2014 see the reason above\n",
       "ostrel: dropped 'brb' \u2014 replacement contains the trigger, which would loop\n", {}, noRules, noStyle},
      {"refused rule keeps the stored one", doc("", rule("snippet", "x", "y") + "," + brb),
       {"rule", "set", "transform", "BRB", "brb-soon"}, "rule REFUSED \u2014 see the reason above\n",
       "ostrel: dropped 'BRB' \u2014 replacement contains the trigger, which would loop\n", {},
       "snippet\t\"x\" \u2192 \"y\"\nsnippet\t\"brb\" \u2192 \"be right back\"\n", noStyle},
      {"refused as a duplicate of a hand-edited trigger", doc("", rule("snippet", " hi", "a")),
       {"rule", "set", "snippet", "hi", "b"}, "rule REFUSED \u2014 see the reason above\n",
       "ostrel: dropped 'hi' \u2014 duplicate trigger; keeping the first\n", {}, "snippet\t\"hi\" \u2192 \"a\"\n", noStyle},
      {"rule remove any case, all matches", doc("", brb + "," + rule("snippet", "x", "y") + "," + rule("snippet", "BRB", "z")),
       {"rule", "remove", " Brb "}, "1 rules remain\n", "", {}, "snippet\t\"x\" \u2192 \"y\"\n", noStyle},
      {"style set joins operands untrimmed, saves trimmed", "", {"style", "set", " Be", "brief. "},
       "style: Be brief.\n", "", {}, noRules, "Be brief.\n"},
      {"style of line breaks only becomes none", doc("", "", R"("old")"), {"style", "set", "\n\n"},
       "style: (none)\n", "", {}, noRules, noStyle},
      {"style clear with no style", "", {"style", "clear"}, "style cleared\n", "", {}, noRules, noStyle},
      {"any edit repairs what another program wrote", doc(R"(" a ", "A", ")" + std::string(101, 'x') + R"(")",
                                                            brb + "," + rule("snippet", "BRB", "dup") + "," + rule("Snippet", "k", "v"),
                                                            R"("  terse  ")"),
       {"style", "clear"}, "style cleared\n",
       "ostrel: dropped '" + std::string(40, 'x') + "' \u2014 longer than 100 characters\n"
       "ostrel: dropped 'BRB' \u2014 duplicate trigger; keeping the first\n"
       "ostrel: dropped 'k' \u2014 unknown kind 'Snippet' \u2014 use snippet or transform\n",
       {"a"}, "snippet\t\"brb\" \u2192 \"be right back\"\n", noStyle},
  };
  for (const auto& c : cases) {
    TempDir home;
    if (!c.before.empty()) writeFile(configPath(home.path()), c.before);
    RunResult r = runOstrel(c.args, home.path());
    EXPECT_EQ(r.status, 0) << c.name;
    EXPECT_EQ(r.out, c.out) << c.name;
    EXPECT_EQ(r.err, c.err) << c.name;
    EXPECT_EQ(runOstrel({"dict", "list"}, home.path()).out, c.words.empty() ? "(no words yet)\n" : lines(c.words)) << c.name;
    EXPECT_EQ(runOstrel({"rule", "list"}, home.path()).out, c.rules) << c.name;
    EXPECT_EQ(runOstrel({"style", "show"}, home.path()).out, c.style) << c.name;
    EXPECT_EQ(listDir(configDir(home.path())), std::vector<std::string>{"agent-config.json"}) << c.name;
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
      {"dict", "add", "Quokka", " Wombat "}, {"dict", "remove", "Quokka"}, {"rule", "set", "snippet", " Hi ", "hello"},
      {"rule", "set", "transform", "x", "x2"}, {"rule", "remove", "brb"}, {"style", "set", "Terse."}, {"style", "clear"}};
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
  EXPECT_EQ(r.err, "ostrel: dropped 'dictionary' \u2014 more than 2000 entries; extra ones ignored\n");
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
  const std::string complaint = "ostrel: dropped '" + std::string(40, 'y') + "' \u2014 longer than 100 characters\n";
  EXPECT_EQ(r.err.rfind(complaint + "ostrel: could not write the config: ", 0), 0u) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
  EXPECT_EQ(readFile(home.path() + "/Library/Application Support/Ostrel"), "not a folder");
}

TEST(Edits, ReadOnlyFolderFailsAndKeepsTheOldFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  TempDir home;
  writeFile(configPath(home.path()), kGoodFile);
  ::chmod(configDir(home.path()).c_str(), 0555);
  RunResult r = runOstrel({"dict", "add", "x"}, home.path());
  ::chmod(configDir(home.path()).c_str(), 0755);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("ostrel: could not write the config: ", 0), 0u) << r.err;
  EXPECT_EQ(readFile(configPath(home.path())), kGoodFile);
  EXPECT_EQ(listDir(configDir(home.path())), std::vector<std::string>{"agent-config.json"});
}

// --- The file keeps its identity ---------------------------------------------------

TEST(FileIdentity, PermissionBitsSurviveAnEdit) {
  TempDir home;
  writeFile(configPath(home.path()), kGoodFile);
  ::chmod(configPath(home.path()).c_str(), 0600);
  ASSERT_EQ(runOstrel({"dict", "add", "x"}, home.path()).status, 0);
  struct stat st;
  ASSERT_EQ(::stat(configPath(home.path()).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST(FileIdentity, SymbolicLinkStaysALinkAndItsTargetIsReplaced) {
  TempDir home;
  TempDir dotfiles;
  const std::string target = dotfiles.path() + "/ostrel.json";
  writeFile(target, kGoodFile);
  std::filesystem::create_directories(configDir(home.path()));
  ASSERT_EQ(::symlink(target.c_str(), configPath(home.path()).c_str()), 0);
  RunResult r = runOstrel({"dict", "add", "Wombat"}, home.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::filesystem::is_symlink(configPath(home.path())));
  EXPECT_EQ(decodeFile(target).dictionary, (std::vector<std::string>{"Quokka", "Kubernetes", "Wombat"}));
  EXPECT_EQ(listDir(dotfiles.path()), std::vector<std::string>{"ostrel.json"});
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
