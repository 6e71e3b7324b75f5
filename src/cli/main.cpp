#include <iostream>

#include "cli/cli.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "server/watcher.h"

int main(int argc, char** argv) {
    // The server's watcher is this program started again.
    if (fraglane::server::IsWatcherCall(argc, argv))
        return fraglane::server::RunWatcher(std::vector<std::string>(argv + 1, argv + argc));
    fraglane::platform::FailWritesPastTheFileSizeLimit();
    fraglane::platform::UseBinaryStandardStreams();
    std::vector<std::string> args(argv + 1, argv + argc);
    return fraglane::cli::RunCli(args, std::cout, std::cerr);
}
