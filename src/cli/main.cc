// ostrel: edits the dictionary, rules and style of Ostrel's agent-config.json.
//
// The only place the process ends: every command returns its outcome here,
// and a failure becomes one "ostrel: " line on standard error and status 1.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "commands.h"
#include "ostrel/expected.h"
#include "ostrel/text.h"
#include "output.h"

namespace {

ostrel::Status run(int argc, char** argv) {
  try {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
      args.emplace_back(argv[i]);
      // Text that is not UTF-8 cannot be stored, echoed or compared as text.
      if (!ostrel::text::isValidUtf8(args.back())) {
        return ostrel::Error{"argument " + std::to_string(i) + " is not valid UTF-8 text"};
      }
    }
    return ostrel::cli::dispatch(args);
  } catch (const std::bad_alloc&) {
    // A config far too large for memory; nothing has been written.
    return ostrel::Error{"not enough memory to handle the config"};
  } catch (const std::exception& error) {
    return ostrel::Error{std::string("unexpected failure: ") + error.what()};
  }
}

}  // namespace

int main(int argc, char** argv) {
  // A closed standard stream is held open read-only, so that writes to it
  // still fail and no file the tool opens can take its number.
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) (void)::open("/dev/null", O_RDONLY);
  }
  // A file-size limit (ulimit -f) then fails the write, which is reported,
  // instead of ending the run without a word.
  ::signal(SIGXFSZ, SIG_IGN);
  const ostrel::Status status = run(argc, argv);
  if (status.ok()) return 0;
  // A failure without a text has already said everything.
  if (!status.error().description.empty()) ostrel::cli::printError(status.error().description);
  return 1;
}
