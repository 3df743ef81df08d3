#include "hand_edit.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <utility>
#include <vector>

#include "edit_transaction.h"
#include "ostrel/agent_config_file.h"
#include "ostrel/edit_session.h"
#include "ostrel/text.h"
#include "output.h"

extern char** environ;

namespace ostrel::cli {
namespace {

// A decoded document and what its save would lose or change.
struct Findings {
  AgentConfig repaired;
  std::vector<AgentConfig::Complaint> findings;
};

Findings findingsIn(const AgentConfig::Decoded& decoded) {
  AgentConfig::Validated validated = decoded.config.validated();
  std::vector<AgentConfig::Complaint> findings = findingsOf(decoded, validated);
  return {std::move(validated.config), std::move(findings)};
}

bool losesSomething(const std::vector<AgentConfig::Complaint>& findings) {
  return std::any_of(findings.begin(), findings.end(), [](const auto& f) { return !f.silent(); });
}

std::string defaultDocument() {
  return AgentConfigFile::defaultConfig().encoded().value();  // plain ASCII: never fails
}

std::string environmentOr(const char* name, std::string fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' ? std::string(value) : fallback;
}

// A private folder (mode 0700) for the copy the editor works on. It goes,
// with everything in it (editors leave backups and swap files, which are how
// a killed editor's work is recovered), only once the edit is saved or found
// unchanged; on every other way out, an interrupt included, it stays and its
// path is said.
class EditFolder {
 public:
  EditFolder() = default;
  EditFolder(const EditFolder&) = delete;
  EditFolder& operator=(const EditFolder&) = delete;
  ~EditFolder() {
    std::error_code ignored;
    if (done_) std::filesystem::remove_all(path_, ignored);
  }

  Status create() {
    std::string parent = environmentOr("TMPDIR", "/tmp");
    std::string pattern = parent + (parent.back() == '/' ? "" : "/") + "ostrel-edit-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      return Error::fromErrno(errno).within("could not create a folder for the edit in '" +
                                            text::escapedForMessage(parent) + "'");
    }
    path_ = pattern;
    return {};
  }

  std::string copyPath() const { return path_ + "/" + std::string(AgentConfig::filename); }

  // The line that says where the user's work is: the copy, or the folder
  // when the editor left no copy in it.
  std::string keptLine() const {
    std::error_code error;
    const bool copyThere = std::filesystem::is_regular_file(copyPath(), error);
    if (copyThere) return "your edit is kept in '" + text::escapedForMessage(copyPath()) + "'";
    return "the edit's folder is kept in '" + text::escapedForMessage(path_) + "'";
  }

  // The edit is saved or unchanged: nothing is left to keep.
  void finish() { done_ = true; }

 private:
  std::string path_;
  bool done_ = false;
};

Status writeCopy(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  out.close();
  if (!out) return Error{"could not write the copy to edit in '" + text::sanitizedUtf8(path) + "'"};
  return {};
}

// The text of the copy the editor worked on. An editor may remove the copy
// or leave something else in its place; the message names the copy, not
// the config.
Expected<std::string> readCopy(const std::string& path) {
  const std::string name = "'" + text::escapedForMessage(path) + "'";
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) {
    return Error{"the editor removed the copy " + name + "; nothing was saved"};
  }
  if (status.type() != std::filesystem::file_type::regular) {
    return Error{"the copy " + name + " is no longer a file; nothing was saved"};
  }
  std::ifstream in(path, std::ios::binary);
  std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (!in.is_open() || in.bad()) {
    return Error{"could not read the copy " + name + "; nothing was saved"};
  }
  return bytes;
}

// Runs the editor through the shell, so that a value with arguments works;
// the path goes in as an argument, never as shell text. Interrupts from the
// terminal are the editor's business while it runs.
Status runEditor(const std::string& path) {
  const std::string script = environmentOr("VISUAL", environmentOr("EDITOR", "vi")) + " \"$1\"";
  const char* argv[] = {"sh", "-c", script.c_str(), "sh", path.c_str(), nullptr};
  struct sigaction ignore = {}, oldInt = {}, oldQuit = {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGINT, &ignore, &oldInt);
  ::sigaction(SIGQUIT, &ignore, &oldQuit);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGQUIT);
  sigaddset(&defaults, SIGXFSZ);  // ignored by this process, not by the editor
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  const int spawned =
      ::posix_spawn(&pid, "/bin/sh", nullptr, &attributes, const_cast<char* const*>(argv), environ);
  posix_spawnattr_destroy(&attributes);
  int status = 0;
  int waited = 0;
  if (spawned == 0) {
    while ((waited = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
  }
  const int waitError = errno;
  ::sigaction(SIGINT, &oldInt, nullptr);
  ::sigaction(SIGQUIT, &oldQuit, nullptr);

  if (spawned != 0)
    return Error{"could not start the editor: " + Error::fromErrno(spawned).description};
  if (waited < 0)
    return Error{"could not wait for the editor: " + Error::fromErrno(waitError).description};
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  // The shell reports an editor that a signal ended as 128 + its number.
  const int signal = WIFSIGNALED(status) ? WTERMSIG(status)
                     : WEXITSTATUS(status) > 128 && WEXITSTATUS(status) < 128 + NSIG
                         ? WEXITSTATUS(status) - 128
                         : 0;
  if (signal != 0) {
    return Error{"the editor was ended by signal " + std::to_string(signal) +
                 "; nothing was saved"};
  }
  return Error{"the editor exited with status " + std::to_string(WEXITSTATUS(status)) +
               "; nothing was saved"};
}

// Asks on standard error and reads one line of standard input. Returns the
// answer's first character in lower case, '\n' for an empty answer, or
// nothing at end of input.
std::optional<char> ask(std::string_view question) {
  printPrompt(question);
  std::string line;
  char ch = 0;
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, &ch, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return line.empty() ? std::nullopt : std::optional<char>(line[0]);
    if (ch == '\n') break;
    if (line.empty() && (ch == ' ' || ch == '\t')) continue;
    line += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  }
  return line.empty() ? '\n' : line[0];
}

// The editor, again and again, until its text can be saved or the user
// gives up. Every way out but a save or "no changes" leaves the edit kept.
Status editUntilSaved(EditSession& session, EditFolder& folder,
                      const std::optional<std::string>& stored) {
  const std::string start = stored ? *stored : defaultDocument();
  const std::string copy = folder.copyPath();
  if (auto written = writeCopy(copy, start); !written.ok()) return written;
  const LastWordsOnSignal interrupted(folder.keptLine());
  auto startRecord = AgentConfig::decoded(start);
  const bool onTerminal = ::isatty(STDIN_FILENO) == 1;

  for (;;) {
    if (auto ran = runEditor(copy); !ran.ok()) return ran;
    auto edited = readCopy(copy);
    if (!edited.ok()) return edited.error();
    const std::string& text = edited.value();
    auto decoded = AgentConfig::decodedWithDrops(text);
    // Editors end a file with a line break, so saving an untouched copy is
    // no change; nor is any text that means the same record.
    const auto endTrimmed = [](std::string_view s) {
      return s.substr(0, s.find_last_not_of(" \t\r\n") + 1);
    };
    if (endTrimmed(text) == endTrimmed(start) ||
        (decoded.ok() && startRecord.ok() && decoded.value().config == startRecord.value())) {
      folder.finish();
      return printLine("no changes");
    }
    if (!decoded.ok()) {
      printError("your edit is not valid JSON: " + decoded.error().description);
      const auto answer = onTerminal ? ask("edit again? [Y/n]") : std::optional<char>('n');
      if (answer == '\n' || answer == 'y') continue;
      return Error{};
    }
    const Findings found = findingsIn(decoded.value());
    // On a terminal the user still chooses, so the losses are yet to come.
    if (onTerminal && losesSomething(found.findings)) {
      printFindings(found.findings, Tense::toCome);
      std::optional<char> answer;
      do {
        answer = ask("(e)dit again, (s)ave with these repairs, or (q)uit without saving?");
      } while (answer && *answer != 'e' && *answer != 's' && *answer != 'q');
      if (answer == 'e') continue;
      if (answer != 's') return Error{};
    } else {
      printFindings(found.findings, Tense::done);
    }

    const auto bytes = found.repaired.encoded();
    if (!bytes.ok()) return bytes.error().within("could not write the config");
    if (auto saved = session.replace(bytes.value(), stored); !saved.ok()) return saved;
    folder.finish();
    return printLine("saved: " + found.repaired.summary());
  }
}

}  // namespace

Status checkConfig() {
  auto session = EditSession::open();
  if (!session.ok()) return session.error();
  auto loaded = session.value().load();
  if (!loaded.ok()) return loaded.error();
  const std::size_t problems =
      printFindings(findingsIn(loaded.value()).findings, Tense::toCome, /*silentRepairsToo=*/true);
  if (problems == 0) return printLine("ok: " + loaded.value().config.summary());
  auto printed = printLine(std::to_string(problems) +
                           " problems; the next edit will drop what is listed above");
  if (!printed.ok()) return printed;
  return Error{};
}

Status editConfig(const Invocation& in) {
  auto session = openSession(in);
  if (!session.ok()) return session.error();
  auto stored = session.value().storedBytes();
  if (!stored.ok()) return stored.error();
  EditFolder folder;
  if (auto created = folder.create(); !created.ok()) return created;
  const Status edited = editUntilSaved(session.value(), folder, stored.value());
  // Once saved, only what came after the save failed: nothing is left to keep.
  if (edited.ok() || edited.error().saved) return edited;
  if (!edited.error().description.empty()) printError(edited.error().description);
  return Error{folder.keptLine()};
}

}  // namespace ostrel::cli
