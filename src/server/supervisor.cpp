#include "server/supervisor.h"

#include <cstdlib>
#include <thread>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/text.h"
#include "server/engine.h"

namespace fraglane::server {

namespace {

// How long a new watcher may take to record the server, and how long a watcher may outstay
// its own grace before it is killed with what it runs.
constexpr std::chrono::seconds RecordLimit{10};
constexpr std::chrono::seconds WatcherSlack{5};
constexpr size_t FailureLogLines = 20;
// How long the console's answer is listened for, and the pause that ends it.
constexpr std::chrono::seconds ConsoleWait{3};
constexpr std::chrono::milliseconds ConsoleQuiet{300};

std::string WithLogEnd(std::string text, std::string_view exeDir) {
    const std::vector<std::string> lines = LogTail(exeDir, FailureLogLines);
    if (lines.empty())
        return text;
    text += "\n\n" + std::string(LogFileName) + " ends:";
    for (const std::string& line : lines)
        text += "\n" + line;
    return text;
}

bool LoadsMap(const std::vector<std::string>& words) {
    for (size_t i = 1; i + 1 < words.size(); ++i) {
        const std::string& w = words[i];
        const bool load =
            text::EqualsIgnoreCase(w, "+map") || text::EqualsIgnoreCase(w, "+devmap") ||
            text::EqualsIgnoreCase(w, "+spmap") || text::EqualsIgnoreCase(w, "+spdevmap");
        if (load && !words[i + 1].empty() && words[i + 1].front() != '+')
            return true;
    }
    return false;
}

}  // namespace

std::vector<std::string> EngineWords(std::string_view engineSetting, std::string_view batchLine,
                                     std::string_view exeDir) {
    const char* path = std::getenv("PATH");  // NOLINT(concurrency-mt-unsafe): nobody sets it
    std::vector<std::string> words =
        ServerWords(ResolveEngine(engineSetting, exeDir, path != nullptr ? path : ""), batchLine,
                    NativeGameDirectory(exeDir));
    if (!LoadsMap(words))
        throw Error("no map selected");
    return words;
}

Supervisor::Supervisor(std::string exeDir, std::string watcherProgram)
    : m_exeDir(std::move(exeDir)),
      m_program(std::move(watcherProgram)),
      m_lastEnd(LastEnd(m_exeDir)),
      m_log(m_exeDir, LogLines) {}

void Supervisor::Start(const std::vector<std::string>& words, const WatcherOptions& options,
                       Clock::time_point now) {
    if (m_running)
        throw Error("A server is running (process " + std::to_string(ShownPid(*m_running)) +
                    "): stop it first");
    RefuseWhenRunning(m_exeDir);
    const std::string folder = NativeGameDirectory(m_exeDir);
    const platform::ProcessRecord watcher =
        platform::StartDetached(WatcherWords(m_program, folder, options, words), folder, "");
    // The watcher records the server before its engine runs, or says why it could not.
    const Clock::time_point until = Clock::now() + RecordLimit;
    for (;;) {
        // Whether it lives is asked first: a watcher that has ended has said why by then.
        const bool alive = platform::IsAlive(watcher);
        std::optional<ServerRecord> record = RunningServer(m_exeDir);
        if (record && record->watcher == watcher && record->engineStarted > 0) {
            m_running = std::move(record);
            break;
        }
        const std::optional<ServerEnd> end = LastEnd(m_exeDir);
        if (end && end->watcherPid == watcher.pid && end->restartIn < 0) {
            m_lastEnd = end;
            if (end->kind == ServerEnd::Kind::Failed)
                throw Error(end->reason);
            throw Error(WithLogEnd("The server ended at once: " + EndLine(*end), m_exeDir));
        }
        if (!alive)
            throw Error("The server's watcher ended before it started the engine");
        if (Clock::now() >= until) {
            platform::KillTree(watcher);
            throw Error("The server's watcher did not start the engine within " +
                        std::to_string(RecordLimit.count()) + " seconds");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Reset();
    m_lastEnd.reset();
    m_phase = Phase::Starting;
    m_since = now;
    m_failing = false;
    m_watcherKilled = false;
}

void Supervisor::Stop(Clock::time_point now) {
    if (!m_running || m_phase == Phase::Stopping)
        return;
    platform::SignalProcess(m_running->watcher, false);
    m_phase = Phase::Stopping;
    m_since = now;
}

void Supervisor::Restart(const std::vector<std::string>& words, const WatcherOptions& options,
                         Clock::time_point now) {
    if (!m_running) {
        Start(words, options, now);
        return;
    }
    m_startNext.emplace(words, options);
    Stop(now);
}

std::optional<uint16_t> Supervisor::port() const {
    if (m_socket)
        return m_socket->port;
    return std::nullopt;
}

void Supervisor::Reset() {
    m_socket.reset();
    m_socketOwned = false;
    m_status.reset();
    m_queryOpen = false;
    m_silent = false;
    m_lastQuery = {};
    m_answeredAt = {};
    m_answeredWall = UnixNow();
}

// A server started elsewhere (the command-line tool, another window) is looked after too.
void Supervisor::Attach(Clock::time_point now) {
    m_lastLook = now;
    std::optional<ServerRecord> found = RunningServer(m_exeDir);
    if (!found)
        return;
    m_running = std::move(found);
    Reset();
    m_answeredAt = now;
    m_phase = Phase::Running;
    m_since = now;
    m_lastEnd.reset();
    m_socket = LoggedSocket(m_exeDir);
    m_socketOwned = m_socket && platform::HoldsUdpPort(m_running->watcher, m_socket->port);
    m_socketLook = now;
}

std::vector<SupervisorEvent> Supervisor::Tick(Clock::time_point now) {
    std::vector<SupervisorEvent> events;
    Follow(events, now);
    if (!m_running) {
        if (now - m_lastLook >= QueryEvery || m_lastLook == Clock::time_point{})
            Attach(now);
        return events;
    }
    const std::optional<ServerRecord> record = RunningServer(m_exeDir);
    if (!record || record->watcher != m_running->watcher) {
        Ended(events, now);
        return events;
    }
    if (record->enginePid != m_running->enginePid) {  // its watcher restarted it
        m_running = record;
        Reset();
        m_answeredAt = now;
    }
    const std::optional<ServerEnd> end = LastEnd(m_exeDir);
    if (end && end->watcherPid == m_running->watcher.pid && end->restartIn >= 0 &&
        end != m_lastEnd) {
        m_lastEnd = end;
        events.push_back({SupervisorEvent::Kind::Restarting, EndLine(*end)});
    }
    // The engine tries the next port while one is taken: until the start is proven, the log
    // may yet name another.
    // Only a socket of the server's own is asked: a line in its log could name another's.
    if (m_phase == Phase::Starting ||
        ((!m_socket || !m_socketOwned) && now - m_socketLook >= QueryEvery)) {
        m_socket = LoggedSocket(m_exeDir);
        m_socketOwned = m_socket && platform::HoldsUdpPort(m_running->watcher, m_socket->port);
        m_socketLook = now;
    }
    Listen(now);
    if (m_phase == Phase::Starting)
        Prove(events, now);
    if (m_phase == Phase::Stopping && !m_watcherKilled &&
        now - m_since >= StopGrace + WatcherSlack) {
        // A watcher that outstays its own grace is ended with all it runs.
        platform::KillTree(m_running->watcher);
        m_watcherKilled = true;
    }
    Ask(now);
    HearConsole(events, now);
    return events;
}

void Supervisor::Console(std::string_view password, std::string_view command,
                         Clock::time_point now) {
    if (!m_running || m_phase != Phase::Running || !m_socket || !m_socketOwned ||
        !AnswersOnLoopback(*m_socket))
        throw Error("no server of this game directory answers here");
    if (const std::string problem = RconPasswordProblem(password); !problem.empty())
        throw Error(problem);
    const std::string request = RconRequest(password, command);
    m_consoleOpen = m_console.Send(m_socket->port, request);
    m_consolePassword = std::string(password);
    m_consolePrinted.clear();
    m_consoleAnswered = false;
    m_consoleSince = m_consoleHeard = now;
}

// The answer comes in one or more datagrams, each a piece of the console's text, cut
// anywhere: it is shown once whole (a moment passed without a piece), the password hidden.
void Supervisor::HearConsole(std::vector<SupervisorEvent>& events, Clock::time_point now) {
    constexpr std::string_view Print = "\xff\xff\xff\xffprint\n";
    constexpr size_t Kept = size_t{64} * 1024;
    while (m_consoleOpen) {
        const std::optional<std::string> answer = m_console.Receive(0);
        if (!answer)
            break;
        if (answer->compare(0, Print.size(), Print) != 0)
            continue;
        m_consoleAnswered = true;
        m_consoleHeard = now;
        m_consolePrinted.append(std::string_view(*answer).substr(Print.size()), 0,
                                Kept - std::min(Kept, m_consolePrinted.size()));
    }
    if (!m_consoleOpen || (!(m_consoleAnswered && now - m_consoleHeard >= ConsoleQuiet) &&
                           now - m_consoleSince < ConsoleWait))
        return;
    m_consoleOpen = false;
    if (!m_consoleAnswered) {
        events.push_back({SupervisorEvent::Kind::ConsoleAnswer, "no answer from the server"});
        return;
    }
    const bool cut = m_consolePrinted.size() >= Kept;
    const std::string text = RconAnswerText(std::move(m_consolePrinted), cut, m_consolePassword);
    text::ForEachLine(text, [&](std::string_view line, std::string_view) {
        events.push_back({SupervisorEvent::Kind::ConsoleAnswer, std::string(line)});
    });
    m_consolePrinted.clear();
}
void Supervisor::Follow(std::vector<SupervisorEvent>& events, Clock::time_point now) {
    const LogFollower::News news = m_log.Read();
    if (news.restarted)
        events.push_back({SupervisorEvent::Kind::LogCleared, {}});
    for (const std::string& line : news.lines) {
        events.push_back({SupervisorEvent::Kind::LogLine, line});
        if (m_phase == Phase::Starting)
            Judge(line, events, now);
    }
}

// What a line of a starting server's log says of the start.
void Supervisor::Judge(const std::string& line, std::vector<SupervisorEvent>& events,
                       Clock::time_point now) {
    if (const std::optional<std::string> failure = StartFailureOf(line); failure && !m_failing)
        Fail(*failure, events, now);
}

void Supervisor::Prove(std::vector<SupervisorEvent>& events, Clock::time_point now) {
    if (m_failing)
        return;
    const bool askable = m_socket && AnswersOnLoopback(*m_socket);
    if ((m_status && !m_status->map.empty()) ||
        (m_socket && !askable && now - m_since >= StartProof)) {
        m_phase = Phase::Running;
        // Only a start that counts costs the oldest log its place.
        try {
            PruneLogs(m_exeDir);
        } catch (const Error&) {
            // the logs stay as they are
        }
        if (m_socket && m_socket->port != m_running->port)
            events.push_back({SupervisorEvent::Kind::PortTaken,
                              "port " + std::to_string(m_running->port) +
                                  " is taken (another server?): this server listens on " +
                                  std::to_string(m_socket->port)});
        events.push_back({SupervisorEvent::Kind::Started, StatusLine()});
    } else if (now - m_since >= ProofLimit) {
        Fail(m_socket && askable && !m_socketOwned
                 ? "the port its log names (" + std::to_string(m_socket->port) +
                       ") is not the server's"
                 : "the server loaded no map within " + std::to_string(ProofLimit.count()) +
                       " seconds",
             events, now);
    }
}

void Supervisor::Fail(const std::string& reason, std::vector<SupervisorEvent>& events,
                      Clock::time_point now) {
    m_failing = true;
    m_startNext.reset();
    events.push_back({SupervisorEvent::Kind::StartFailed, WithLogEnd(reason, m_exeDir)});
    Stop(now);
}

void Supervisor::Ended(std::vector<SupervisorEvent>& events, Clock::time_point now) {
    const Phase was = m_phase;
    const ServerRecord ended = *m_running;
    std::optional<ServerEnd> end = LastEnd(m_exeDir);
    if (!end || end->watcherPid != ended.watcher.pid) {
        // A watcher killed (or one that could not write) tells nothing itself.
        end = EndOf(ended.watcher.pid, ServerEnd::Kind::Stopped);
        if (was != Phase::Stopping) {
            end->kind = ServerEnd::Kind::Failed;
            end->reason = "its watcher ended without telling how";
        }
        end->started = ended.engineStarted;
        end->ended = UnixNow();
    }
    m_running.reset();
    m_lastEnd = end;
    m_phase = Phase::Stopped;
    m_lastLook = now;
    Reset();
    // A start that is stopped before it is proven has not failed.
    if (was == Phase::Starting && !m_failing && end->kind != ServerEnd::Kind::Stopped)
        events.push_back(
            {SupervisorEvent::Kind::StartFailed,
             WithLogEnd("The server ended before it ran: " + EndLine(*end), m_exeDir)});
    events.push_back({SupervisorEvent::Kind::Ended, EndLine(*end)});
    m_failing = false;
    if (m_startNext) {
        const auto next = std::move(*m_startNext);
        m_startNext.reset();
        try {
            Start(next.first, next.second, now);
        } catch (const Error& e) {
            events.push_back({SupervisorEvent::Kind::StartFailed, e.what()});
        }
    }
}

// The status query, to the port the engine bound, once that is known.
void Supervisor::Ask(Clock::time_point now) {
    if (!m_running || !m_socket || !m_socketOwned || !AnswersOnLoopback(*m_socket))
        return;
    const Clock::duration every =
        m_phase == Phase::Starting ? Clock::duration(ProofQueryEvery) : Clock::duration(QueryEvery);
    if (now - m_lastQuery < every)
        return;
    if (m_phase == Phase::Running && now - m_answeredAt > 2 * QueryEvery) {
        m_status.reset();  // what it answered last is no longer true
        m_silent = true;
    }
    m_lastQuery = now;
    m_challenge = NewChallenge();
    m_queryOpen = m_query.Send(m_socket->port, StatusQuery(m_challenge));
}

void Supervisor::Listen(Clock::time_point now) {
    while (m_queryOpen) {
        const std::optional<std::string> answer = m_query.Receive(0);
        if (!answer)
            return;
        if (std::optional<ServerStatus> status = ParseStatusAnswer(*answer, m_challenge)) {
            m_status = std::move(status);
            m_queryOpen = false;
            m_silent = false;
            m_answeredAt = now;
            m_answeredWall = UnixNow();
        }
    }
}

std::string Supervisor::StatusLine() const {
    if (!m_running)
        return m_lastEnd ? EndLine(*m_lastEnd) : "stopped";
    const std::string process = "process " + std::to_string(ShownPid(*m_running));
    if (m_phase == Phase::Starting)
        return "starting, " + process;
    std::string line =
        "running, " + process + ", up " + DurationText(UnixNow() - m_running->engineStarted);
    if (m_socket && m_socket->port != m_running->port)
        line += ", port " + std::to_string(m_socket->port);
    if (m_socket && !AnswersOnLoopback(*m_socket))
        line += ", status not asked on " + text::PrintableName(m_socket->address);
    else if (m_socket && !m_socketOwned)
        line +=
            ", status not asked: port " + std::to_string(m_socket->port) + " is not the server's";
    if (m_status) {
        if (!m_status->map.empty())
            line += ", map " + m_status->map;
        line += ", " + std::to_string(m_status->players) +
                (m_status->players == 1 ? " player" : " players");
    } else if (m_silent) {
        line += ", no answer since " + ClockText(m_answeredWall, true);
    }
    return m_phase == Phase::Stopping ? "stopping: " + line : line;
}

}  // namespace fraglane::server
