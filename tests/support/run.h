#pragma once

#include <cstdio>
#include <string>

// A test whose fixtures or checks come from Linux tools (sh, python3, zip, unzip, ImageMagick)
// is skipped where those tools are not at hand: in the Windows build, run under Wine.
#ifdef _WIN32
#define FRAGLANE_NEEDS_LINUX_TOOLS() GTEST_SKIP() << "needs Linux tools"
#else
#define FRAGLANE_NEEDS_LINUX_TOOLS() static_cast<void>(0)
#endif

namespace fraglane::test {

struct CommandResult {
    int status = -1;
    std::string output;  // stdout and stderr together
};

// Runs a shell command and gathers what it prints.
inline CommandResult RunCommand(const std::string& command) {
    CommandResult result;
#ifdef _WIN32
    FILE* pipe = ::_popen((command + " 2>&1").c_str(), "rb");
#else
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
#endif
    if (pipe == nullptr)
        return result;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, n);
#ifdef _WIN32
    result.status = ::_pclose(pipe);
#else
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return result;
}

// A quoted shell word: single quotes for sh, double quotes for cmd.
inline std::string Quote(const std::string& s) {
#ifdef _WIN32
    return "\"" + s + "\"";
#endif
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

}  // namespace fraglane::test
