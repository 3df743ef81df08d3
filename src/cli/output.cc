#include "output.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace ostrel::cli {
namespace {

// Writes all of `bytes`, resuming after partial writes and signals.
// Returns 0, or the errno of the write that failed.
int writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

}  // namespace

Status printLine(std::string_view line) {
  std::string buffer;
  buffer.reserve(line.size() + 1);
  buffer.append(line).push_back('\n');
  if (int err = writeAll(STDOUT_FILENO, buffer)) {
    return Error::fromErrno(err).within("could not write the output");
  }
  return {};
}

Status printReportOfSaved(std::string_view line) {
  Status printed = printLine(line);
  if (printed.ok()) return printed;
  const int code = printed.error().code;
  return Error{"the config was saved, but the report could not be written: " +
                   Error::fromErrno(code).description,
               code, true};
}

void printError(std::string_view message) {
  std::string buffer;
  buffer.reserve(message.size() + 9);
  buffer.append("ostrel: ").append(message).push_back('\n');
  // Nothing sensible is left to do if standard error itself is gone.
  (void)writeAll(STDERR_FILENO, buffer);
}

}  // namespace ostrel::cli

namespace ostrel::cli {

void printPrompt(std::string_view question) {
  std::string buffer = "ostrel: ";
  buffer.append(question).push_back(' ');
  (void)writeAll(STDERR_FILENO, buffer);
}

}  // namespace ostrel::cli

namespace ostrel::cli {
namespace {

constexpr int lastWordSignals[] = {SIGINT, SIGTERM, SIGHUP};
// Read by the handler, so plain static storage.
char lastWords[8192];
std::size_t lastWordsLength = 0;
struct sigaction previousActions[std::size(lastWordSignals)];
bool installed[std::size(lastWordSignals)];

extern "C" void sayLastWordsAndDie(int signal) {
  (void)writeAll(STDERR_FILENO, std::string_view(lastWords, lastWordsLength));
  ::signal(signal, SIG_DFL);
  ::raise(signal);  // delivered when the handler returns, as the default now
}

}  // namespace

LastWordsOnSignal::LastWordsOnSignal(std::string_view message) {
  const std::string line = "ostrel: " + std::string(message) + "\n";
  lastWordsLength = std::min(line.size(), sizeof lastWords);
  std::memcpy(lastWords, line.data(), lastWordsLength);
  struct sigaction action {};
  action.sa_handler = sayLastWordsAndDie;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < std::size(lastWordSignals); ++i) {
    installed[i] = false;
    if (::sigaction(lastWordSignals[i], nullptr, &previousActions[i]) != 0) continue;
    if (previousActions[i].sa_handler == SIG_IGN) continue;
    installed[i] = ::sigaction(lastWordSignals[i], &action, nullptr) == 0;
  }
}

LastWordsOnSignal::~LastWordsOnSignal() {
  for (std::size_t i = 0; i < std::size(lastWordSignals); ++i) {
    if (installed[i]) ::sigaction(lastWordSignals[i], &previousActions[i], nullptr);
  }
}

}  // namespace ostrel::cli
