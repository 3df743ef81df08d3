// End-to-end behaviour of the ostrel binary: what a user sees on standard
// output and standard error, the exit status, and what is left on disk. The
// cases are data in testdata/cli_cases.txt; what needs many runs at once or
// a hand-made folder is written out below.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace ostrel::testing {
namespace {

using Json = nlohmann::ordered_json;

struct Case {
  std::string name;  // its line in the file and its arguments
  Json fields = Json::object();
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

std::vector<Case> loadCases() {
  std::vector<Case> cases;
  std::istringstream lines(readFile(OSTREL_TESTDATA "/cli_cases.txt"));
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    if (++number, line.empty() || line[0] == '#') continue;
    const std::size_t space = line.find(' ');
    Json value = Json::parse(line.substr(space + 1));
    if (line.substr(0, space) == "run") {
      cases.push_back({"line" + std::to_string(number)});
      for (const Json& arg : value) cases.back().name += "_" + arg.get<std::string>();
    }
    cases.back().fields[line.substr(0, space)] = std::move(value);
  }
  return cases;
}

// Expands ${...} in a case's text; ${*} is left for `matches`.
std::string expand(const std::string& text, const std::string& home, const std::string& input) {
  static const std::string usage = runOstrel({"help"}, home).out;
  std::string out;
  std::size_t at = 0;
  for (std::size_t open; (open = text.find("${", at)) != std::string::npos;) {
    const std::size_t close = text.find('}', open);
    const std::string token = text.substr(open + 2, close - open - 2);
    out += text.substr(at, open - at);
    at = close + 1;
    const std::map<std::string, std::string> named = {{"version", OSTREL_VERSION},
                                                      {"usage", usage},
                                                      {"config", configPath(home)},
                                                      {"home", home},
                                                      {"input", input},
                                                      {"*", "${*}"}};
    if (const auto found = named.find(token); found != named.end()) {
      out += found->second;
    } else if (token[0] == 'x') {
      out += static_cast<char>(std::stoi(token.substr(1), nullptr, 16));
    } else {
      const std::size_t star = token.find('*');
      for (int n = std::stoi(token.substr(0, star)); n > 0; --n) out += token.substr(star + 1);
    }
  }
  return out + text.substr(at);
}

// Where the history of the config under `home` is kept.
std::string historyDir(const std::string& home) {
  return configDir(home) + "/.agent-config.history";
}

// The bytes of the newest version in the history; empty when there is none.
std::string newestVersion(const std::string& home) {
  int newest = 0;
  for (const std::string& name : listDir(historyDir(home))) {
    if (name.ends_with(".json")) newest = std::max(newest, std::atoi(name.c_str()));
  }
  return newest > 0 ? readFile(historyDir(home) + "/" + std::to_string(newest) + ".json") : "";
}

// Sets up what the case's `setup` (or a step of `before`) names.
void prepare(const std::string& setup, const std::string& home) {
  const std::string config = configPath(home);
  if (setup == "config is a folder") std::filesystem::create_directories(config);
  if (setup == "folder is a file") writeFile(configDir(home), "not a folder");
  if (setup == "Library is a file") writeFile(home + "/Library", "not a folder");
  if (setup == "history folder is a file") writeFile(historyDir(home), "not a folder");
  if (setup == "torn history index") {
    std::ofstream(historyDir(home) + "/index", std::ios::app) << "99\t2026-12-0";
  }
}

// True when `actual` is `expected` with each ${*} standing for one line's text.
bool matches(std::string_view actual, std::string_view expected) {
  const std::size_t star = expected.find("${*}");
  if (star == std::string_view::npos) return actual == expected;
  if (actual.substr(0, star) != expected.substr(0, star)) return false;
  const std::size_t lineEnd = std::min(actual.find('\n', star), actual.size());
  for (std::size_t skip = star; skip <= lineEnd; ++skip) {
    if (matches(actual.substr(skip), expected.substr(star + 4))) return true;
  }
  return false;
}

// Where temporary folders go, before a test points TMPDIR at its own.
const std::string systemTmp = std::filesystem::temp_directory_path().string();

class Cli : public ::testing::TestWithParam<Case> {};

TEST_P(Cli, RunsAsDescribed) {
  const Json& c = GetParam().fields;
  TempDir home, tmp, inputs;
  const std::string config = configPath(home.path()), input = inputs.path() + "/input";
  auto text = [&](const char* key) {
    if (!c.contains(key)) return std::string();
    const std::string value = c[key].is_string() ? c[key].get<std::string>() : c[key].dump();
    return expand(value, home.path(), input);
  };
  ::setenv("TMPDIR", tmp.path().c_str(), 1);
  for (const char* name : {"VISUAL", "EDITOR"}) ::unsetenv(name);
  const Json env = c.value("env", Json::object());
  for (const auto& [name, value] : env.items()) {
    ::setenv(name.c_str(), expand(value.get<std::string>(), home.path(), input).c_str(), 1);
  }
  const std::string setup = text("setup");
  if (c.contains("file")) writeFile(config, text("file"));
  prepare(setup, home.path());
  for (const Json& step : c.value("before", Json::array())) {
    if (step.is_string()) prepare(step.get<std::string>(), home.path());
    const Json& run = step.is_object() ? step["run"] : step;
    for (int n = step.is_object() ? step["times"].get<int>() : 1; run.is_array() && n > 0; --n) {
      ASSERT_EQ(runOstrel(run.get<std::vector<std::string>>(), home.path()).status, 0) << run;
    }
  }
  const std::string prepared = std::filesystem::exists(config) ? readFile(config) : "";
  if (c.contains("input")) writeFile(input, text("input"));
  std::jthread holder;  // another edit, which holds the lock for 2 s
  if (setup == "folder locked for 2 s") {
    std::filesystem::create_directories(configDir(home.path()));
    const int fd = ::open(configDir(home.path()).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    holder = std::jthread([fd] { ::usleep(2000000), ::close(fd); });
  }
  std::vector<std::string> args;
  for (const Json& arg : c["run"])
    args.push_back(expand(arg.get<std::string>(), home.path(), input));

  rlimit fileSize{};
  ::getrlimit(RLIMIT_FSIZE, &fileSize);
  const rlimit oneKilobyte{1024, fileSize.rlim_max};
  if (setup == "file size limit 1 KB") ::setrlimit(RLIMIT_FSIZE, &oneKilobyte);
  const RunResult r =
      Process(args, home.path(), text("stdout"), c.contains("input") ? input : "/dev/null")
          .finish();
  ::setrlimit(RLIMIT_FSIZE, &fileSize);
  ::setenv("TMPDIR", systemTmp.c_str(), 1);
  EXPECT_EQ(r.status, c.value("status", c.contains("fail") ? 1 : 0));
  EXPECT_PRED2(matches, r.out, text("out"));
  EXPECT_PRED2(matches, r.err, text(c.contains("fail") ? "fail" : "err"));
  EXPECT_EQ(listDir(tmp.path()).empty(), r.err.find("is kept in") == std::string::npos);

  // Beside the config only its history, whose newest version is what the
  // run replaced, if anything.
  std::vector<std::string> beside = listDir(configDir(home.path()));
  std::erase(beside, ".agent-config.history");
  const bool layout = !c.contains("after") || !c["after"].is_string();
  if (c.contains("after") && !layout) {
    EXPECT_EQ(readFile(config), text("after"));
  } else if (c.contains("after")) {
    const std::string saved = readFile(config);
    EXPECT_EQ(nlohmann::json::parse(saved), nlohmann::json::parse(text("after")));
    EXPECT_EQ(AgentConfig::decoded(saved).value().encoded().value(), saved);  // our layout
  } else if (c.contains("file") || c.contains("before")) {
    EXPECT_EQ(readFile(config), prepared);
  } else if (setup == "folder is a file") {
    EXPECT_EQ(readFile(configDir(home.path())), "not a folder");
  } else if (setup.empty()) {
    EXPECT_TRUE(listDir(home.path()).empty());
  }
  if (layout && (c.contains("after") || c.contains("file") || c.contains("before"))) {
    EXPECT_EQ(beside, std::vector<std::string>{"agent-config.json"});
  }
  if (c.contains("file") && !c.contains("before")) {
    EXPECT_EQ(newestVersion(home.path()), c.contains("after") ? text("file") : "");
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, Cli, ::testing::ValuesIn(loadCases()), [](const auto& info) {
  std::string name = info.param.name;
  std::replace_if(
      name.begin(), name.end(), [](char ch) { return !std::isalnum(ch); }, '_');
  return name;
});

std::vector<std::string> savedWords(const std::string& home) {
  return AgentConfig::decoded(readFile(configPath(home))).value().dictionary;
}

TEST(FileIdentity, PermissionBitsAndSymbolicLinksSurviveAnEdit) {
  TempDir home, dotfiles;
  const std::string target = dotfiles.path() + "/ostrel.json";
  writeFile(target, R"({"version": 1, "dictionary": ["Quokka"], "rules": []})");
  ::chmod(target.c_str(), 0600);
  std::filesystem::create_directories(configDir(home.path()));
  ASSERT_EQ(::symlink(target.c_str(), configPath(home.path()).c_str()), 0);
  EXPECT_EQ(runOstrel({"dict", "add", "Wombat"}, home.path()).status, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(configPath(home.path())));
  EXPECT_EQ(savedWords(home.path()), (std::vector<std::string>{"Quokka", "Wombat"}));
  // The history sits beside the file a save replaces.
  EXPECT_EQ(listDir(dotfiles.path()),
            (std::vector<std::string>{".agent-config.history", "ostrel.json"}));
  struct stat st;
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST(Concurrency, SimultaneousEditsOfAOneMegabyteFileAreAllKept) {
  std::vector<AgentConfig::Rule> rules;  // about 1 MB, all within the limits
  for (int k = 0; k < AgentConfig::maxRules; ++k)
    rules.emplace_back("snippet", "t" + std::to_string(k), std::string(2000, 'r'), true);
  const std::string big = AgentConfig(1, {}, rules, std::nullopt).encoded().value();
  // In the second round half the edits reach the file through another home
  // whose config is a symbolic link to it: one file, so one lock.
  for (int round = 0; round < 2; ++round) {
    TempDir home, linked;
    writeFile(configPath(home.path()), big);
    std::filesystem::create_directories(configDir(linked.path()));
    std::filesystem::create_symlink(configPath(home.path()), configPath(linked.path()));
    std::vector<std::unique_ptr<Process>> runs;
    std::vector<std::string> expected;
    for (int k = 10; k < 18; ++k) {
      expected.push_back("w" + std::to_string(k));
      runs.push_back(
          std::make_unique<Process>(std::vector<std::string>{"dict", "add", expected.back()},
                                    round == 1 && k % 2 ? linked.path() : home.path()));
    }
    for (auto& run : runs) EXPECT_EQ(run->finish().status, 0);
    std::vector<std::string> words = savedWords(home.path());
    std::sort(words.begin(), words.end());
    EXPECT_EQ(words, expected) << "round " << round;
    EXPECT_EQ(AgentConfig::decoded(readFile(configPath(home.path()))).value().rules.size(),
              rules.size());
    EXPECT_EQ(listDir(configDir(home.path())),
              (std::vector<std::string>{".agent-config.history", "agent-config.json"}));
    // Each edit kept the file it replaced.
    EXPECT_EQ(listDir(historyDir(home.path())).size(), runs.size() + 1);  // and the index
    // Nothing is left holding the folder.
    const int fd = ::open(configDir(home.path()).c_str(), O_RDONLY | O_DIRECTORY);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
  }
}

// What dict list and rule export print, imported into an empty home, saves
// the same file byte for byte.
TEST(RoundTrip, ListedWordsAndExportedRulesImportToTheSameFile) {
  using Rule = AgentConfig::Rule;
  const AgentConfig configs[] = {
      AgentConfig(1, {}, {}, std::nullopt),
      AgentConfig(
          1, {"C#", "New York", "#tag", "caf\u00e9", "cafe\u0301s", "a,\"b\"", "x\ty", "a\u2028b"},
          {Rule("snippet", "my, \"sig\"", "Best,\r\n\"Ada\"\n", false),
           Rule("transform", "b\rt\nw", std::string(" by\0 the way,", 13), true),
           Rule("snippet", "e", "", true)},
          std::nullopt)};
  for (const AgentConfig& config : configs) {
    TempDir from, to, lists;
    writeFile(configPath(from.path()), config.validated().config.encoded().value());
    const std::string words = lists.path() + "/words", rules = lists.path() + "/rules";
    ASSERT_EQ(runOstrel({"dict", "list"}, from.path(), words).status, 0);
    ASSERT_EQ(runOstrel({"rule", "export"}, from.path(), rules).status, 0);
    EXPECT_EQ(runOstrel({"dict", "import", words}, to.path()).err, "");
    EXPECT_EQ(runOstrel({"rule", "import", rules}, to.path()).err, "");
    EXPECT_EQ(readFile(configPath(to.path())), readFile(configPath(from.path())));
  }
}

// On a terminal, edit asks again after text that does not decode, then
// after text that validation must repair, until the answer saves or quits;
// an editor killed after "edit again" leaves the earlier text kept.
TEST(EditOnTerminal, AsksUntilSavedOrQuit) {
  const std::string notJson =
      "ostrel: your edit is not valid JSON: ${*}\nostrel: edit again? [Y/n] ";
  const std::string repair = "ostrel: would drop '" + std::string(40, '0') +
                             "' \u2014 longer than 100 characters\nostrel: (e)dit again, (s)ave "
                             "with these repairs, or (q)uit without saving? ";
  const std::string kept = "ostrel: your edit is kept in '${*}'\n";
  const struct {
    std::string answers, out, err, killSecond;
  } rows[] = {
      {"\ne\ns\n", "saved: 0 words, 0 rules, no style\n", notJson + repair + repair, ""},
      {"y\nq\n", "", notJson + repair + kept, ""},
      {"\n", "", notJson + "ostrel: the editor was ended by signal 9; nothing was saved\n" + kept,
       "yes"},
  };
  // Text that does not decode first, then a word that is too long.
  ::setenv("EDITOR",
           "f() { [ -e \"$1.again\" ] && [ -n \"$KILL_SECOND\" ] && kill -KILL $$; [ -e "
           "\"$1.again\" ] && printf '{\"version\":1,\"dictionary\":[\"%0101d\"],"
           "\"rules\":[]}' 0 >\"$1\" || { : >\"$1.again\"; printf '{' >\"$1\"; }; }; f",
           1);
  for (const auto& row : rows) {
    ::setenv("KILL_SECOND", row.killSecond.c_str(), 1);
    TempDir home, tmp;
    ::setenv("TMPDIR", tmp.path().c_str(), 1);
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(terminal >= 0 && ::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
    const std::string side = ::ptsname(terminal);
    const int open = ::open(side.c_str(), O_RDWR | O_NOCTTY);  // keeps the input queued
    ASSERT_EQ(::write(terminal, row.answers.data(), row.answers.size()),
              static_cast<ssize_t>(row.answers.size()));
    const RunResult r = Process({"edit"}, home.path(), "", side).finish();
    ::setenv("TMPDIR", systemTmp.c_str(), 1);
    EXPECT_EQ(r.status, row.out.empty() ? 1 : 0);
    EXPECT_EQ(r.out, row.out);
    EXPECT_PRED2(matches, r.err, row.err);
    EXPECT_EQ(listDir(tmp.path()).empty(), !row.out.empty());
    EXPECT_EQ(listDir(home.path()).empty(), row.out.empty());
    if (!row.killSecond.empty()) {
      const std::string folder = tmp.path() + "/" + listDir(tmp.path()).at(0);
      EXPECT_EQ(readFile(folder + "/agent-config.json"), "{");
    }
    ::close(open);
    ::close(terminal);
  }
  ::unsetenv("EDITOR");
  ::unsetenv("KILL_SECOND");
}

}  // namespace
}  // namespace ostrel::testing
