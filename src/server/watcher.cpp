#include "server/watcher.h"

#include <charconv>
#include <cstring>
#include <thread>

#include "platform/error.h"
#include "platform/file_lock.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "server/engine.h"
#include "server/server_run.h"

namespace fraglane::server {

using Clock = std::chrono::steady_clock;
using Happening = platform::ChildWatch::Happening;

// How long a start waits for its turn.
constexpr std::chrono::seconds LockWait{5};

std::optional<std::chrono::seconds> CrashRestarts::OnCrash(Clock::time_point now) {
    std::erase_if(m_crashes, [now](Clock::time_point at) { return now - at >= CrashWindow; });
    m_crashes.push_back(now);
    if (m_crashes.size() >= static_cast<size_t>(CrashLimit))
        return std::nullopt;
    return std::chrono::seconds(int64_t{1} << (m_crashes.size() - 1));
}

std::vector<std::string> WatcherWords(const std::string& program, std::string_view nativeFolder,
                                      const WatcherOptions& options,
                                      const std::vector<std::string>& engineWords) {
    std::vector<std::string> words = {program,
                                      WatcherFlag,
                                      std::string(nativeFolder),
                                      std::to_string(options.grace.count()),
                                      options.restartAfterCrash ? "1" : "0",
                                      "--"};
    words.insert(words.end(), engineWords.begin(), engineWords.end());
    return words;
}

bool IsWatcherOf(const std::vector<std::string>& words, std::string_view nativeFolder) {
    if (words.size() <= 6 || words[1] != WatcherFlag || words[5] != "--")
        return false;
    // The same folder however it was spelled (a link, "./"): by identity.
    const platform::EntryInfo theirs = platform::InspectNativeEntry(words[2]);
    const platform::EntryInfo ours = platform::InspectNativeEntry(std::string(nativeFolder));
    return theirs.kind == platform::EntryKind::Directory &&
           ours.kind == platform::EntryKind::Directory && theirs.device == ours.device &&
           theirs.inode == ours.inode;
}

bool IsWatcherCall(int argc, char** argv) {
    return argc > 1 && std::strcmp(argv[1], WatcherFlag) == 0;
}

namespace {

// One watcher's work: the game directory, its record, and the engine it runs.
class Watcher {
public:
    Watcher(std::string nativeFolder, WatcherOptions options, std::vector<std::string> words)
        : m_folder(std::move(nativeFolder)),
          m_exeDir(platform::FromNative(m_folder) + "\\"),
          m_options(options),
          m_words(std::move(words)) {}

    int Run();

private:
    bool Record();
    ServerEnd RunEngineOnce();
    ServerEnd AwaitEnd(int64_t engine, int64_t started);
    void EndEverything();
    void Finish(const ServerEnd& end);

    std::string m_folder;
    std::string m_exeDir;
    WatcherOptions m_options;
    std::vector<std::string> m_words;
    platform::ChildWatch m_children;
    ServerRecord m_record;
    bool m_stopAsked = false;
};

// Under the start lock: no other server runs, and this one is recorded before its engine can.
bool Watcher::Record() {
    const std::optional<platform::ProcessRecord> self = platform::OwnRecord();
    ServerEnd refused = EndOf(self ? self->pid : 0, ServerEnd::Kind::Failed);
    try {
        // Starts take turns; one that holds the lock for long (another program, another user)
        // is said, not waited for.
        const std::string lock = m_exeDir + StartLockFileName;
        platform::FileLock turn;
        const Clock::time_point until = Clock::now() + LockWait;
        while (!(turn = platform::FileLock::Acquire(
                     platform::ToNative(lock), 0, false,
                     "Cannot create file " + platform::DisplayPath(lock)))
                    .Held()) {
            if (Clock::now() >= until)
                throw Error("Another process holds " + platform::DisplayPath(lock) +
                            ": no start can take its turn");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        RefuseWhenRunning(m_exeDir);
        if (!self)
            throw Error("the watcher cannot read its own process record");
        m_record = {*self, ServerPort(m_words), 0, 0, platform::OwnProgramPath()};
        WriteRecord(m_exeDir, m_record);
        return true;
    } catch (const Error& e) {
        refused.reason = e.what();
        refused.started = refused.ended = UnixNow();
        WriteEnd(m_exeDir, refused);
        return false;
    }
}

int Watcher::Run() {
    if (!Record())
        return 1;
    CrashRestarts crashes;
    for (;;) {
        ServerEnd end = RunEngineOnce();
        if (IsCrash(end) && m_options.restartAfterCrash && !m_stopAsked) {
            const std::optional<std::chrono::seconds> pause = crashes.OnCrash(Clock::now());
            end.gaveUp = !pause;
            if (pause) {
                end.restartIn = static_cast<int>(pause->count());
                WriteEnd(m_exeDir, end);
                const Clock::time_point until = Clock::now() + *pause;
                while (!m_stopAsked && Clock::now() < until) {
                    const auto left =
                        std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
                    if (m_children.Wait(left).kind == Happening::Kind::StopAsked)
                        m_stopAsked = true;
                }
                if (!m_stopAsked)
                    continue;
                end.restartIn = -1;
                end.kind = ServerEnd::Kind::Stopped;  // stopped while it waited to restart
            }
        }
        Finish(end);
        return end.kind == ServerEnd::Kind::Failed || IsCrash(end) ? 1 : 0;
    }
}

ServerEnd Watcher::RunEngineOnce() {
    ServerEnd end = EndOf(m_record.watcher.pid, ServerEnd::Kind::Failed);
    end.started = UnixNow();
    int64_t engine = 0;
    try {
        KeepLastLog(m_exeDir);
        // Recorded before it runs; recorded as running once it does.
        engine = m_children.Start(m_words, m_folder, platform::ToNative(m_exeDir + LogFileName),
                                  [&](int64_t pid) {
                                      m_record.enginePid = pid;
                                      m_record.engineStarted = 0;
                                      WriteRecord(m_exeDir, m_record);
                                  });
    } catch (const Error& e) {
        end.reason = e.what();
        end.ended = UnixNow();
        return end;
    }
    m_record.engineStarted = end.started;
    try {
        WriteRecord(m_exeDir, m_record);
    } catch (const Error&) {
        // it runs and is recorded, only its start time is not
    }
    return AwaitEnd(engine, end.started);
}

// Waits for the server to end: the engine, and whatever it started that stays (an engine
// that daemonizes leaves only such). The end told is the engine's, or once the engine has
// left without an error, that of the last of what it left.
ServerEnd Watcher::AwaitEnd(int64_t engine, int64_t started) {
    ServerEnd end = EndOf(m_record.watcher.pid, ServerEnd::Kind::Exited);
    end.started = started;
    bool engineGone = false;
    std::optional<Clock::time_point> killAt;
    for (;;) {
        const Happening h = m_children.Wait(std::chrono::milliseconds(250));
        if (h.kind == Happening::Kind::StopAsked && !m_stopAsked) {
            m_stopAsked = true;
            m_children.SignalDescendants(false);
            killAt = Clock::now() + m_options.grace;
        }
        if (killAt && Clock::now() >= *killAt) {
            m_children.SignalDescendants(true);
            killAt.reset();
        }
        if (h.kind != Happening::Kind::ChildEnded)
            continue;
        const bool mainEnd = h.pid == engine || engineGone;
        if (h.pid == engine)
            engineGone = true;
        if (mainEnd) {
            end.kind = h.signalled ? ServerEnd::Kind::Signalled : ServerEnd::Kind::Exited;
            end.code = h.code;
            const std::optional<int> caught =
                h.signalled || h.code == 0 ? std::nullopt : SignalInLog(m_exeDir);
            if (caught) {
                end.kind = ServerEnd::Kind::Signalled;
                end.code = *caught;
            }
        }
        const bool failed = mainEnd && IsCrash(end);
        if (failed || !m_children.HasDescendants()) {
            if (m_stopAsked)
                end.kind = ServerEnd::Kind::Stopped;
            end.ended = UnixNow();
            EndEverything();
            return end;
        }
    }
}

// Nothing of the server outlives its end: what remains is killed and collected.
void Watcher::EndEverything() {
    for (int round = 0; round < 100 && m_children.SignalDescendants(true); ++round) {
        while (m_children.Wait(std::chrono::milliseconds(20)).kind != Happening::Kind::Nothing) {
        }
    }
}

void Watcher::Finish(const ServerEnd& end) {
    try {
        WriteEnd(m_exeDir, end);
    } catch (const Error&) {
        // the end is not told; the record below still goes
    }
    ForgetRecord(m_exeDir, m_record.watcher);
}

}  // namespace

int RunWatcher(const std::vector<std::string>& args) {
    // WatcherFlag folder grace restart -- words...
    if (args.size() < 6 || args[0] != WatcherFlag || args[4] != "--")
        return 2;
    WatcherOptions options;
    int64_t grace = 0;
    const std::string& g = args[2];
    if (std::from_chars(g.data(), g.data() + g.size(), grace).ec != std::errc{} || grace < 0)
        return 2;
    options.grace = std::chrono::milliseconds(grace);
    options.restartAfterCrash = args[3] == "1";
    try {
        Watcher watcher(args[1], options, std::vector<std::string>(args.begin() + 5, args.end()));
        return watcher.Run();
    } catch (const std::exception&) {
        return 1;
    }
}

}  // namespace fraglane::server
