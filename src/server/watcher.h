#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The watcher: the process that runs the engine of one game directory and stays its parent.
// It records the server before the engine runs, learns how the engine ended (only a parent
// can), keeps what the engine leaves running within reach, ends it all on a stop request, and
// restarts the engine after a crash when asked to. It is the program itself, started again
// with WatcherFlag, so that it outlives the window and the command that started it.
namespace fraglane::server {

inline constexpr const char* WatcherFlag = "--server-watcher";

// Crash restarts: a growing pause (1, 2, 4, 8 s...), and no restart once CrashLimit crashes
// fell within CrashWindow.
inline constexpr int CrashLimit = 5;
inline constexpr std::chrono::minutes CrashWindow{10};

class CrashRestarts {
public:
    using Clock = std::chrono::steady_clock;
    // A crash at now: the pause before the restart, or nothing when the crashes are too many.
    std::optional<std::chrono::seconds> OnCrash(Clock::time_point now);

private:
    std::vector<Clock::time_point> m_crashes;
};

struct WatcherOptions {
    std::chrono::milliseconds grace{10000};  // after terminate, before kill
    bool restartAfterCrash = false;
};

// The words that start the watcher: program, WatcherFlag, the game directory (native), the
// grace in milliseconds, 0 or 1 for restarts, "--", then the engine's words.
std::vector<std::string> WatcherWords(const std::string& program, std::string_view nativeFolder,
                                      const WatcherOptions& options,
                                      const std::vector<std::string>& engineWords);
// Whether a process's words are those of the watcher of this game directory (native), the
// folder told by identity, not by spelling.
bool IsWatcherOf(const std::vector<std::string>& words, std::string_view nativeFolder);
// Whether a program was started as a watcher: its words after the program begin with
// WatcherFlag.
bool IsWatcherCall(int argc, char** argv);
// The watcher's whole life; args as WatcherWords gives them after the program. Returns the
// process's exit code.
int RunWatcher(const std::vector<std::string>& args);

}  // namespace fraglane::server
