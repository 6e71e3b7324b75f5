#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process.h"
#include "server/query.h"

// What the game directory keeps of its server: the record of the running one (pid file), how
// the last one ended, and the logs.
namespace fraglane::server {

// Beside the batch file in the game directory.
inline constexpr const char* LogFileName = "fraglane-server.log";
// The logs of earlier runs: "fraglane-server-20261209-152100.log", dated by their last write.
inline constexpr const char* DatedLogPrefix = "fraglane-server-";
inline constexpr size_t KeptLogs = 10;
inline constexpr const char* PidFileName = "fraglane-server.pid";
inline constexpr const char* EndFileName = "fraglane-server.end";
// Held while a start checks for a running server and records its own.
inline constexpr const char* StartLockFileName = ".fraglane-server.lock";

// How long a server is given to end after the terminate signal before it is killed, and how
// long a start must run (where no status can be asked) to count as started.
inline constexpr std::chrono::seconds StopGrace{10};
inline constexpr std::chrono::seconds StartProof{2};

// A running server as the pid file records it: the watcher (the process that started the
// engine and stays its parent), the program it runs (what tells it from any other process
// given the same id), the port the engine was told, and the engine once it runs.
struct ServerRecord {
    platform::ProcessRecord watcher;
    uint16_t port = 27960;
    int64_t enginePid = 0;
    int64_t engineStarted = 0;  // seconds since 1970
    std::string program;
    bool operator==(const ServerRecord&) const = default;
};
std::string RecordText(const ServerRecord& server);
std::optional<ServerRecord> ParseRecord(std::string_view text);

// The server that the pid file records, when its watcher still runs: the very process (id,
// start time, boot), started as this game directory's watcher (the folder by identity) and,
// where the system tells, running the recorded program in the game directory. A pid file that
// names anything else (the window, a shell, a process that ended, a damaged file) records
// nothing; then a watcher of this game directory that runs an engine is looked for among the
// processes (a pid file removed meanwhile loses no server).
std::optional<ServerRecord> RunningServer(std::string_view exeDir);
// The process a server is shown as: its engine, or its watcher while no engine is recorded.
int64_t ShownPid(const ServerRecord& server);
// Throws Error("A server is running (process N): stop it first") while a recorded server runs.
void RefuseWhenRunning(std::string_view exeDir);
// Writes the record anew; removes it only while it still names that watcher.
void WriteRecord(std::string_view exeDir, const ServerRecord& server);
void ForgetRecord(std::string_view exeDir, const platform::ProcessRecord& watcher);

// How a server ended, as its watcher wrote it down.
struct ServerEnd {
    enum class Kind { Stopped, Exited, Signalled, Failed };
    int64_t watcherPid = 0;
    Kind kind = Kind::Stopped;
    int code = 0;         // the exit code, or the signal
    int64_t started = 0;  // seconds since 1970
    int64_t ended = 0;
    int restartIn = -1;   // seconds until the watcher starts it again; -1: it does not
    bool gaveUp = false;  // crashed too often to be started again
    std::string reason;   // why a start failed
    bool operator==(const ServerEnd&) const = default;
};
// A watcher's end of this kind, the rest to be told.
ServerEnd EndOf(int64_t watcherPid, ServerEnd::Kind kind);
std::string EndText(const ServerEnd& end);
std::optional<ServerEnd> ParseEnd(std::string_view text);
bool IsCrash(const ServerEnd& end);
// The signal that the end of the engine's log says ended it, where the engine caught it.
std::optional<int> SignalInLog(std::string_view exeDir);
void WriteEnd(std::string_view exeDir, const ServerEnd& end);
std::optional<ServerEnd> LastEnd(std::string_view exeDir);
// "stopped", "crashed (signal 11) at 15:21 after 2:13:05", "ended (exit 0) at 15:21 after
// 0:00:04", "could not start: <reason>", with "; restarting in 4 s" or "; crashed 5 times in
// 10 minutes, not restarted" after a crash.
std::string EndLine(const ServerEnd& end);
// "2:13:05".
std::string DurationText(int64_t seconds);
// Now, in seconds since 1970; a time of day as "15:21" or "15:21:05".
int64_t UnixNow();
std::string ClockText(int64_t unixSeconds, bool withSeconds);

// Keeps the current log as a dated one (named by its last write). A log that cannot be kept
// is not lost: the start fails instead.
void KeepLastLog(std::string_view exeDir);
// Removes the oldest dated logs beyond KeptLogs (a start that counts does).
void PruneLogs(std::string_view exeDir);

// The last lines of the server's log (at most maxLines, from its last 256 KiB).
std::vector<std::string> LogTail(std::string_view exeDir, size_t maxLines);
// Where the running server's engine listens, as the first 8 MiB of its log say.
std::optional<BoundSocket> LoggedSocket(std::string_view exeDir);

// A log line as shown: as DisplayText makes the server's text (colour codes dropped, control
// and bidirectional characters escaped, at most 4 KiB, a longer line cut and marked "…").
std::string ShownLogLine(std::string_view line);

// Follows the server's log as it grows: each Read gives the lines completed since the last
// one, as ShownLogLine shows them, and never more than maxLines of them.
// A new log (a restart) or a shorter one starts over from its last 256 KiB.
class LogFollower {
public:
    LogFollower(std::string_view exeDir, size_t maxLines);
    struct News {
        bool restarted = false;  // the lines begin a new log: what was shown is stale
        bool skipped = false;    // more came than is shown: only the last maxLines are here
        std::vector<std::string> lines;
    };
    News Read();

private:
    std::string m_path;
    size_t m_maxLines;
    bool m_known = false;
    uint64_t m_device = 0;
    uint64_t m_inode = 0;
    uint64_t m_offset = 0;
    bool m_skipPartial = false;
    std::string m_partial;
};

}  // namespace fraglane::server
