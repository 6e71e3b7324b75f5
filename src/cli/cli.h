#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace fraglane::cli {

// fraglane-cli [--dir GAME_DIR] [--ini FILE] COMMAND [ARGS]; args exclude the program name.
// Returns the exit status: 0 done, 1 failed (message on err), 2 wrong usage.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace fraglane::cli
