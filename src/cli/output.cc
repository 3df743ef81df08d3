#include "output.h"

#include <unistd.h>

#include <cerrno>
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
