#include <gtest/gtest.h>

#include "server/watcher.h"

// The suites that start servers through the command-line code are their watcher's program, as
// fraglane-cli is: started again as the watcher, they watch instead of testing.
int main(int argc, char** argv) {
    if (fraglane::server::IsWatcherCall(argc, argv))
        return fraglane::server::RunWatcher(std::vector<std::string>(argv + 1, argv + argc));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
