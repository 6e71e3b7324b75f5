#include <iostream>

#include "cli/cli.h"
#include "platform/file_system.h"
#include "platform/process.h"

int main(int argc, char** argv) {
    fraglane::platform::FailWritesPastTheFileSizeLimit();
    fraglane::platform::UseBinaryStandardStreams();
    std::vector<std::string> args(argv + 1, argv + argc);
    return fraglane::cli::RunCli(args, std::cout, std::cerr);
}
