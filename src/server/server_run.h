#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process.h"
#include "server/query.h"

// The game directory's server on Linux: started detached with its log and pid file, found
// again by a later window or command, stopped, and asked for its status.
namespace fraglane::server {

// Beside the batch file in the game directory.
inline constexpr const char* LogFileName = "fraglane-server.log";
inline constexpr const char* PreviousLogFileName = "fraglane-server.log.1";
inline constexpr const char* PidFileName = "fraglane-server.pid";
// Held while a start checks for a running server, starts its own and records it.
inline constexpr const char* StartLockFileName = ".fraglane-server.lock";

// How long a server is given to end after the terminate signal before it is killed, and how
// long a start must run to count as started.
inline constexpr std::chrono::seconds StopGrace{10};
inline constexpr std::chrono::seconds StartProof{2};

// A server as the pid file records it: the process, and the port it was started to listen on.
struct ServerRecord {
    platform::ProcessRecord process;
    uint16_t port = 27960;
    bool operator==(const ServerRecord&) const = default;
};

// The server that the pid file of the game directory records, when that very process (the
// same id, start time and boot) still runs, in the game directory. A pid file that names
// anything else (another process, one that ended, a damaged file) records nothing.
std::optional<ServerRecord> RunningServer(std::string_view exeDir);

// Keeps the last log as the previous one, starts the engine (words as ServerWords gives them)
// in the game directory with its output into the log, and records it in the pid file. Starts
// of one game directory take turns, and one refuses while a recorded server runs ("A server
// is running (process N): stop it first"). Throws Error with the reason; nothing is recorded
// or started then.
ServerRecord StartServer(std::string_view exeDir, const std::vector<std::string>& words);

// Throws Error("A server is running (process N): stop it first") while a recorded server runs.
void RefuseWhenRunning(std::string_view exeDir);

// Records this process in the pid file and runs the engine in its place, in the game
// directory (the CLI's foreground start), refusing as StartServer does. Returns only by
// throwing Error.
[[noreturn]] void RunServerHere(std::string_view exeDir, const std::vector<std::string>& words);

// The terminate signal, or after StopGrace the kill signal, to the server and its group.
bool RequestStop(const ServerRecord& server, bool kill);
// Stops the server and waits for it: terminate, kill after StopGrace. Removes the pid file
// once it has ended. True when it ended.
bool StopServer(std::string_view exeDir, const ServerRecord& server);
// Forgets a server that has ended: removes the pid file if it still records that process.
void ForgetServer(std::string_view exeDir, const ServerRecord& server);

// The last lines of the server's log (at most maxLines, from its last 256 KiB).
std::vector<std::string> LogTail(std::string_view exeDir, size_t maxLines);

// Follows the server's log as it grows: each Read gives the lines completed since the last
// one. A new log (a restart) or a shorter one starts over from its last 256 KiB.
class LogFollower {
public:
    explicit LogFollower(std::string_view exeDir);
    struct News {
        bool restarted = false;  // the lines begin a new log: what was shown is stale
        std::vector<std::string> lines;
    };
    News Read();

private:
    std::string m_path;
    bool m_known = false;
    uint64_t m_device = 0;
    uint64_t m_inode = 0;
    uint64_t m_offset = 0;
    bool m_skipPartial = false;
    std::string m_partial;
};

// The status line: "running, process 1234, up 0:05:12, map aggressor, 3 players", or
// "stopped". status is what the last query answered, if anything.
std::string StatusLine(const std::optional<ServerRecord>& server,
                       const std::optional<ServerStatus>& status);

}  // namespace fraglane::server
