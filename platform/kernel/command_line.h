// command_line.h: a command line split into arguments, and joined again, by the rules of the
// platform's C runtime.
//
// Splitting:
//   1. The first argument (the program) ends at the first blank, or, when it starts with '"', at
//      the next '"'; backslashes in it are plain characters.
//   2. Other arguments are separated by blanks (space, tab) outside quotes.
//   3. 2n backslashes before a '"' give n backslashes, and the '"' opens or closes a quote;
//      2n+1 backslashes before a '"' give n backslashes and a literal '"'.
//   4. Backslashes not followed by '"' are plain characters.
//   5. Inside a quote, '""' gives a literal '"'.
#ifndef PAIRWAY_KERNEL_COMMAND_LINE_H
#define PAIRWAY_KERNEL_COMMAND_LINE_H

#include <string>
#include <string_view>
#include <vector>

#include "pairway/api.h"

namespace pairway {

PAIRWAY_API std::vector<std::string> SplitCommandLine(std::string_view line);

// The inverse: quotes each argument that needs it so that SplitCommandLine gives it back.
PAIRWAY_API std::string JoinCommandLine(const std::vector<std::string>& args);

}  // namespace pairway

#endif  // PAIRWAY_KERNEL_COMMAND_LINE_H
