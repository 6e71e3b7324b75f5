#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <cstdio>
#include <iostream>

#include "cli/cli.h"
#include "platform/file_system.h"

int main(int argc, char** argv) {
    fraglane::platform::FailWritesPastTheFileSizeLimit();
#ifdef _WIN32
    // Texts go out byte for byte, as on every system: no CR added before each LF.
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
#endif
    std::vector<std::string> args(argv + 1, argv + argc);
    return fraglane::cli::RunCli(args, std::cout, std::cerr);
}
