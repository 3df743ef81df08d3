// The usage text: printed on request, and after the message for a command
// that is not recognised.
#include "usage.h"

namespace ostrel::cli {

const std::string_view usage =
    "ostrel — edit Ostrel's dictionary, rules and style.\n"
    "\n"
    "USAGE\n"
    "  ostrel show                          Print the current config as JSON.\n"
    "  ostrel path                          Print the config file's location.\n"
    "  ostrel check                         Report what the next edit would repair; change "
    "nothing.\n"
    "  ostrel edit                          Edit the file in $EDITOR; checked before it is saved.\n"
    "  ostrel --version                     Print the version.\n"
    "\n"
    "  ostrel dict add <word>...            Teach the recognizer words it mangles.\n"
    "  ostrel dict remove <word>...\n"
    "  ostrel dict list\n"
    "\n"
    "  ostrel rule set <kind> <trigger> <replacement>\n"
    "                                       <kind> is 'snippet' (say a phrase, get text) or\n"
    "                                       'transform' (rewrite how something is said).\n"
    "  ostrel rule remove <trigger>\n"
    "  ostrel rule enable <trigger>\n"
    "  ostrel rule disable <trigger>\n"
    "  ostrel rule list\n"
    "\n"
    "  ostrel style set <text>              Guidance handed to cleanup, e.g. \"Write emails "
    "formally.\"\n"
    "  ostrel style clear\n"
    "  ostrel style show\n"
    "\n"
    "EXAMPLES\n"
    "  ostrel dict add RunPod Kubernetes Ostrel\n"
    "  ostrel rule set snippet \"my email\" \"me@example.com\"\n"
    "  ostrel style set \"Keep my writing terse. British spelling.\"\n"
    "\n"
    "NOTES\n"
    "  Edits are idempotent — running the same command twice is the same as running it once.\n"
    "  Setting a rule whose trigger already exists REPLACES it rather than adding a second.\n"
    "  Changes are picked up by Ostrel immediately; it does not need restarting.";

}  // namespace ostrel::cli
