// ostrel: edits the dictionary, rules and style of Ostrel's agent-config.json.
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "commands.h"
#include "ostrel/text.h"
#include "output.h"

int main(int argc, char** argv) {
  try {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
      args.emplace_back(argv[i]);
      // Text that is not UTF-8 cannot be stored, echoed or compared as text.
      if (!ostrel::text::isValidUtf8(args.back())) {
        ostrel::cli::fail("argument " + std::to_string(i) + " is not valid UTF-8 text");
      }
    }
    return ostrel::cli::dispatch(args);
  } catch (const std::bad_alloc&) {
    // A config far too large for memory; nothing has been written.
    ostrel::cli::fail("not enough memory to handle the config");
  } catch (const std::exception& error) {
    ostrel::cli::fail(std::string("unexpected failure: ") + error.what());
  }
}
