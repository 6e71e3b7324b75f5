#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/datagram.h"
#include "server/query.h"
#include "server/server_run.h"
#include "server/watcher.h"

// The server of one game directory as the window and the command-line tool look after it:
// start and its proof, stop with the kill after the grace, restart, the crash told from the
// stop, the log as it grows and the status query. The clock is passed in: Tick does the work
// of a moment and tells what happened as events, which the window shows and the CLI prints.
namespace fraglane::server {

struct SupervisorEvent {
    enum class Kind {
        LogCleared,     // a new log begins: what was shown of the old one goes
        LogLine,        // text: one line of the log
        Started,        // the start is proven: the server answers with its map
        StartFailed,    // text: why, with the end of the log
        PortTaken,      // text: the port the engine was told was taken; it listens elsewhere
        Restarting,     // text: it crashed, and its watcher starts it again
        Ended,          // text: how it ended (EndLine)
        ConsoleAnswer,  // text: one line of the server's answer to a console command
    };
    Kind kind;
    std::string text;
    bool operator==(const SupervisorEvent&) const = default;
};

class Supervisor {
public:
    using Clock = std::chrono::steady_clock;
    enum class Phase { Stopped, Starting, Running, Stopping };

    // How long a start may take to answer with a map, and how often the status is asked.
    static constexpr std::chrono::seconds ProofLimit{30};
    static constexpr std::chrono::seconds QueryEvery{2};
    static constexpr std::chrono::milliseconds ProofQueryEvery{250};
    static constexpr size_t LogLines = 1000;

    // watcherProgram: the program started as the watcher (this program itself).
    Supervisor(std::string exeDir, std::string watcherProgram);

    // Runs the engine's words (as EngineWords gives them) through a new watcher and waits
    // until it has recorded the server. Throws Error with the reason: a server runs already,
    // the engine cannot be run.
    void Start(const std::vector<std::string>& words, const WatcherOptions& options,
               Clock::time_point now);
    // Asks the server to end; its watcher kills it after the grace, and Tick kills the
    // watcher itself if it outstays that.
    void Stop(Clock::time_point now);
    // Stops the running server and starts these words once it has ended; starts at once when
    // none runs. While a stop is under way, the start follows it.
    void Restart(const std::vector<std::string>& words, const WatcherOptions& options,
                 Clock::time_point now);
    std::vector<SupervisorEvent> Tick(Clock::time_point now);
    // Sends a console command to the running server as rcon with this password; its answer
    // comes as ConsoleAnswer events. Throws Error when it cannot be sent: no server answers
    // here, no usable password (what to set), a command that is not one line.
    void Console(std::string_view password, std::string_view command, Clock::time_point now);

    Phase phase() const { return m_phase; }
    const std::optional<ServerRecord>& running() const { return m_running; }
    const std::optional<ServerEnd>& lastEnd() const { return m_lastEnd; }
    // Whether the server has answered the status query since it was found or (re)started.
    bool answered() const { return m_status.has_value(); }
    // The port the engine listens on, once its log said so.
    std::optional<uint16_t> port() const;
    // "running, process 1234, up 0:05:12, map aggressor, 3 players", "starting, process
    // 1234", "running, process 1234, up 0:05:12, no answer since 15:21:05", "stopping: ...",
    // or how the last one ended.
    std::string StatusLine() const;

private:
    void Attach(Clock::time_point now);
    void Follow(std::vector<SupervisorEvent>& events, Clock::time_point now);
    void Judge(const std::string& line, std::vector<SupervisorEvent>& events,
               Clock::time_point now);
    void Ask(Clock::time_point now);
    void Listen(Clock::time_point now);
    void Prove(std::vector<SupervisorEvent>& events, Clock::time_point now);
    void Fail(const std::string& reason, std::vector<SupervisorEvent>& events,
              Clock::time_point now);
    void Ended(std::vector<SupervisorEvent>& events, Clock::time_point now);
    void Reset();
    void HearConsole(std::vector<SupervisorEvent>& events, Clock::time_point now);

    std::string m_exeDir;
    std::string m_program;
    Phase m_phase = Phase::Stopped;
    std::optional<ServerRecord> m_running;
    std::optional<ServerEnd> m_lastEnd;
    LogFollower m_log;

    Clock::time_point m_since{};  // the phase began
    std::optional<BoundSocket> m_socket;
    Clock::time_point m_socketLook{};  // the log was last read for it
    bool m_socketOwned = false;        // the server (its watcher's tree) holds it
    bool m_failing = false;            // a failed start being stopped: its end is told already
    std::optional<std::pair<std::vector<std::string>, WatcherOptions>> m_startNext;
    bool m_watcherKilled = false;

    platform::LoopbackQuery m_query;
    std::string m_challenge;
    bool m_queryOpen = false;
    Clock::time_point m_lastQuery{};
    std::optional<ServerStatus> m_status;
    Clock::time_point m_answeredAt{};  // the last answer, or when it began to run
    int64_t m_answeredWall = 0;        // the same in seconds since 1970, to be shown
    bool m_silent = false;             // no answer for a while: the status is not known
    Clock::time_point m_lastLook{};

    platform::LoopbackQuery m_console;
    bool m_consoleOpen = false;
    bool m_consoleAnswered = false;
    std::string m_consolePassword;
    std::string m_consolePrinted;
    Clock::time_point m_consoleSince{};
    Clock::time_point m_consoleHeard{};
};

// The words the engine runs with: the engine setting resolved (PATH from the environment),
// the game directory's own paths, the saved batch line after its program. Throws Error
// "no map selected" when the line loads no map, and Error for an engine that cannot be found.
std::vector<std::string> EngineWords(std::string_view engineSetting, std::string_view batchLine,
                                     std::string_view exeDir);

}  // namespace fraglane::server
