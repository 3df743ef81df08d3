// Shell completion from the command table. The scripts in completions/ run
//   ostrel __complete WORD... CURRENT
// where the WORDs are those typed after "ostrel" and CURRENT is the word being
// completed, possibly empty, all unquoted. The output is a directive line,
// then the candidates, one per line:
//   words   offer the lines that follow, each exactly (none: offer nothing)
//   files   offer file names, which the shell lists itself
// Any other first line, or none (an older ostrel), offers nothing.
//
// Every candidate starts with CURRENT, byte for byte, so that every shell
// offers the same; command words that begin with "-" wait for a typed "-".
// Stored words and triggers come from one read of the config, unvalidated;
// nothing is created or locked, and a config that cannot be read has none.
// A stored text that cannot be typed back exactly is not offered: an empty
// one, one holding a control character (C0, DEL or C1), and a help word,
// which the tool would take as a request for the usage text.
#pragma once

#include "commands.h"

namespace ostrel::cli {

// `ostrel __complete`: prints the directive and the candidates.
Status complete(const Invocation& in);

}  // namespace ostrel::cli
