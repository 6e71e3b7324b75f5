#include "server/server_run.h"

#include <algorithm>
#include <charconv>
#include <ctime>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "server/engine.h"
#include "server/watcher.h"

namespace fraglane::server {

namespace {

constexpr size_t TailBytes = size_t{256} * 1024;
// The engine names its socket after it has listed its archives: a game directory of thousands
// of them puts the line megabytes in.
constexpr size_t SocketLineBytes = size_t{8} * 1024 * 1024;

std::string In(std::string_view exeDir, std::string_view name) {
    return std::string(exeDir) + std::string(name);
}

// Reads the words of a record line, one at a time, each a number or a plain token.
class Fields {
public:
    explicit Fields(std::string_view text) : m_text(text) {}
    template <typename T>
    bool Number(T& value) {
        Blank();
        const auto [end, ec] = std::from_chars(m_text.data(), m_text.data() + m_text.size(), value);
        if (ec != std::errc{} || end == m_text.data())
            return false;
        m_text.remove_prefix(static_cast<size_t>(end - m_text.data()));
        return true;
    }
    std::string_view Word() {
        Blank();
        const size_t end = std::min(m_text.find_first_of(" \n"), m_text.size());
        const std::string_view word = m_text.substr(0, end);
        m_text.remove_prefix(end);
        return word;
    }
    // The rest of the line, and the line end taken.
    std::string_view Line() {
        Blank();
        const size_t end = m_text.find('\n');
        const std::string_view line = m_text.substr(0, end);
        m_text.remove_prefix(end == std::string_view::npos ? m_text.size() : end + 1);
        return line;
    }
    bool LineEnd() {
        if (m_text.empty() || m_text.front() != '\n')
            return false;
        m_text.remove_prefix(1);
        return true;
    }
    bool Done() const { return m_text.empty(); }

private:
    void Blank() {
        while (!m_text.empty() && m_text.front() == ' ')
            m_text.remove_prefix(1);
    }
    std::string_view m_text;
};

std::string TwoDigits(int64_t n) {
    return (n < 10 ? "0" : "") + std::to_string(n);
}

}  // namespace

int64_t UnixNow() {
    return static_cast<int64_t>(std::time(nullptr));
}

std::string ClockText(int64_t unixSeconds, bool withSeconds) {
    std::tm local{};
    if (!platform::LocalTime(unixSeconds, local))
        return "?";
    return TwoDigits(local.tm_hour) + ":" + TwoDigits(local.tm_min) +
           (withSeconds ? ":" + TwoDigits(local.tm_sec) : "");
}

namespace {

std::string DatedLogName(int64_t unixSeconds, int attempt) {
    std::tm local{};
    if (!platform::LocalTime(unixSeconds, local))
        local = std::tm{};
    char stamp[32] = {};
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    return std::string(DatedLogPrefix) + stamp +
           (attempt > 0 ? "-" + std::to_string(attempt) : "") + ".log";
}

// "fraglane-server-YYYYMMDD-HHMMSS[-N].log", as DatedLogName makes them, and no other name
// (an operator's "fraglane-server-notes.log" is not one): its date and its attempt, which
// order the logs.
std::optional<std::pair<std::string, int>> DatedLogKey(std::string_view name) {
    const std::string_view prefix = DatedLogPrefix;
    constexpr std::string_view Digits = "0123456789";
    if (name.size() < prefix.size() + 15 + 4 || name.substr(0, prefix.size()) != prefix ||
        name.substr(name.size() - 4) != ".log")
        return std::nullopt;
    name = name.substr(prefix.size(), name.size() - prefix.size() - 4);
    const std::string_view stamp = name.substr(0, 15);
    if (stamp[8] != '-' || stamp.substr(0, 8).find_first_not_of(Digits) != std::string_view::npos ||
        stamp.substr(9).find_first_not_of(Digits) != std::string_view::npos)
        return std::nullopt;
    int attempt = 0;
    const std::string_view rest = name.substr(15);
    if (!rest.empty() &&
        (rest.front() != '-' || rest.size() > 4 ||
         std::from_chars(rest.data() + 1, rest.data() + rest.size(), attempt).ptr !=
             rest.data() + rest.size()))
        return std::nullopt;
    return std::make_pair(std::string(stamp), attempt);
}

// The log file itself, never what a link at its name leads to: nothing else is shown as the
// server's log.
std::optional<platform::File> OpenLog(const std::string& path, platform::EntryInfo* seen) {
    const platform::EntryInfo entry = platform::InspectEntry(path);
    if (entry.isLink || entry.kind != platform::EntryKind::Regular)
        return std::nullopt;
    try {
        platform::File log = platform::File::OpenExisting(path, false);
        if (!log.SameAs(entry.device, entry.inode))
            return std::nullopt;  // swapped meanwhile
        if (seen != nullptr)
            *seen = entry;
        return log;
    } catch (const Error&) {
        return std::nullopt;
    }
}

// The log's lines from a byte offset on, the first dropped when the offset cuts one.
std::vector<std::string> LogLines(std::string_view exeDir, bool fromEnd, size_t bytes) {
    std::string text;
    const std::optional<platform::File> log = OpenLog(In(exeDir, LogFileName), nullptr);
    if (!log)
        return {};
    const uint64_t size = log->Size();
    const uint64_t from = fromEnd && size > bytes ? size - bytes : 0;
    text.resize(static_cast<size_t>(std::min<uint64_t>(size - from, bytes)));
    if (!log->ReadAt(from, text.data(), text.size()))
        return {};
    const bool cut = from > 0;
    std::vector<std::string> lines;
    text::ForEachLine(text, [&](std::string_view line, std::string_view) {
        lines.push_back(ShownLogLine(line));
    });
    if (cut && !lines.empty())
        lines.erase(lines.begin());  // the first line read is only the end of one
    return lines;
}

}  // namespace

std::string ShownLogLine(std::string_view line) {
    return DisplayText(line);  // at most 4 KiB, a longer line cut and marked
}

// "watcherPid startTicks bootId port\nengine pid started\nprogram path\n".
std::string RecordText(const ServerRecord& server) {
    const platform::ProcessRecord& w = server.watcher;
    return std::to_string(w.pid) + " " + std::to_string(w.startTicks) + " " + w.bootId + " " +
           std::to_string(server.port) + "\nengine " + std::to_string(server.enginePid) + " " +
           std::to_string(server.engineStarted) + "\nprogram " + server.program + "\n";
}

std::optional<ServerRecord> ParseRecord(std::string_view text) {
    ServerRecord server;
    platform::ProcessRecord& w = server.watcher;
    Fields f(text);
    if (!f.Number(w.pid) || w.pid <= 0 || !f.Number(w.startTicks))
        return std::nullopt;
    w.bootId = std::string(f.Word());
    if (w.bootId.empty() || w.bootId.size() > 64 ||
        w.bootId.find_first_not_of("0123456789abcdef-") != std::string::npos ||
        !f.Number(server.port) || server.port == 0 || !f.LineEnd() || f.Word() != "engine" ||
        !f.Number(server.enginePid) || server.enginePid < 0 || !f.Number(server.engineStarted) ||
        !f.LineEnd() || f.Word() != "program")
        return std::nullopt;
    server.program = std::string(f.Line());
    if (server.program.empty() || server.program.front() != '/' || !f.Done())
        return std::nullopt;
    return server;
}

namespace {

// A watcher of this game directory found among the processes when the pid file records
// none (it was removed, or written by someone else): one that runs an engine, so that a
// watcher still waiting for its turn to start does not count, nor one that has written down
// its end and is leaving.
std::optional<ServerRecord> UnrecordedWatcher(std::string_view exeDir, const std::string& folder) {
    const std::optional<platform::ProcessRecord> self = platform::OwnRecord();
    const std::optional<ServerEnd> end = LastEnd(exeDir);
    for (const int64_t pid : platform::ProcessIds()) {
        if ((self && pid == self->pid) || (end && end->watcherPid == pid && end->restartIn < 0) ||
            !IsWatcherOf(platform::ArgumentsOf(pid), folder) || !platform::HasChildren(pid))
            continue;
        if (std::optional<platform::ProcessRecord> watcher = platform::RecordOf(pid))
            return ServerRecord{std::move(*watcher), 0, 0, 0, platform::ProgramOf(pid)};
    }
    return std::nullopt;
}

}  // namespace

std::optional<ServerRecord> RunningServer(std::string_view exeDir) {
    const std::string folder = NativeGameDirectory(exeDir);
    std::optional<ServerRecord> record;
    try {
        record = ParseRecord(platform::ReadRegularFile(In(exeDir, PidFileName), 8192));
    } catch (const Error&) {
        // no pid file, or something else under its name
    }
    // The very process, started as this folder's watcher: a pid file written by someone else
    // cannot make the program signal a process of its own choosing. Where the system tells
    // (a process of this user), it also runs the recorded program in the game directory.
    if (!record || !platform::IsAlive(record->watcher) ||
        !IsWatcherOf(platform::ArgumentsOf(record->watcher.pid), folder))
        return UnrecordedWatcher(exeDir, folder);
    const std::string program = platform::ProgramOf(record->watcher.pid);
    if (!program.empty() &&
        ((program != record->program && program != record->program + " (deleted)") ||
         !platform::WorksIn(record->watcher.pid, folder)))
        return UnrecordedWatcher(exeDir, folder);
    return record;
}

void RefuseWhenRunning(std::string_view exeDir) {
    if (const std::optional<ServerRecord> running = RunningServer(exeDir))
        throw Error("A server is running (process " + std::to_string(ShownPid(*running)) +
                    "): stop it first");
}

int64_t ShownPid(const ServerRecord& server) {
    return server.enginePid > 0 ? server.enginePid : server.watcher.pid;
}

void WriteRecord(std::string_view exeDir, const ServerRecord& server) {
    platform::ReplaceFileBytes(exeDir, PidFileName, RecordText(server));
}

void ForgetRecord(std::string_view exeDir, const platform::ProcessRecord& watcher) {
    const std::string path = In(exeDir, PidFileName);
    try {
        const std::optional<ServerRecord> record =
            ParseRecord(platform::ReadRegularFile(path, 8192));
        if (record && record->watcher == watcher)
            platform::RemoveFile(path);
    } catch (const Error&) {
        // nothing recorded under that name
    }
}

// "watcherPid kind code started ended restartIn gaveUp\nreason\n".
namespace {
constexpr const char* KindWords[] = {"stopped", "exited", "signalled", "failed"};
}

ServerEnd EndOf(int64_t watcherPid, ServerEnd::Kind kind) {
    ServerEnd end;
    end.watcherPid = watcherPid;
    end.kind = kind;
    return end;
}

std::string EndText(const ServerEnd& end) {
    return std::to_string(end.watcherPid) + " " + KindWords[static_cast<int>(end.kind)] + " " +
           std::to_string(end.code) + " " + std::to_string(end.started) + " " +
           std::to_string(end.ended) + " " + std::to_string(end.restartIn) + " " +
           (end.gaveUp ? "1" : "0") + "\n" + text::PrintableName(end.reason) + "\n";
}

std::optional<ServerEnd> ParseEnd(std::string_view text) {
    ServerEnd end;
    Fields f(text);
    if (!f.Number(end.watcherPid))
        return std::nullopt;
    const std::string_view kind = f.Word();
    const auto* found = std::find(std::begin(KindWords), std::end(KindWords), kind);
    int gaveUp = 0;
    if (found == std::end(KindWords) || !f.Number(end.code) || !f.Number(end.started) ||
        !f.Number(end.ended) || !f.Number(end.restartIn) || !f.Number(gaveUp) || !f.LineEnd())
        return std::nullopt;
    end.kind = static_cast<ServerEnd::Kind>(found - std::begin(KindWords));
    end.gaveUp = gaveUp != 0;
    end.reason = DisplayText(f.Line());  // a planted file's words reach a terminal
    return end;
}

bool IsCrash(const ServerEnd& end) {
    // Hang-up, interrupt and terminate (1, 2, 15) are someone's request to end, not a crash.
    const bool asked = end.code == 1 || end.code == 2 || end.code == 15;
    return (end.kind == ServerEnd::Kind::Signalled && !asked) ||
           (end.kind == ServerEnd::Kind::Exited && end.code != 0);
}

std::optional<int> SignalInLog(std::string_view exeDir) {
    // ioquake3 catches the signals that end it, says so and exits with 1 or 2:
    // "----- Server Shutdown (Received signal 11) -----".
    constexpr std::string_view Said = "Received signal ";
    const std::vector<std::string> lines = LogTail(exeDir, 20);
    std::optional<int> said;
    for (const std::string& line : lines) {
        const size_t at = line.find(Said);
        int signal = 0;
        if (at != std::string::npos &&
            std::from_chars(line.data() + at + Said.size(), line.data() + line.size(), signal).ec ==
                std::errc{} &&
            signal > 0 && signal < 65)
            said = signal;  // the last one said counts
    }
    return said;
}

void WriteEnd(std::string_view exeDir, const ServerEnd& end) {
    platform::ReplaceFileBytes(exeDir, EndFileName, EndText(end));
}

std::optional<ServerEnd> LastEnd(std::string_view exeDir) {
    try {
        return ParseEnd(platform::ReadRegularFile(In(exeDir, EndFileName), 8192));
    } catch (const Error&) {
        return std::nullopt;
    }
}

std::string DurationText(int64_t seconds) {
    seconds = std::max<int64_t>(seconds, 0);
    return std::to_string(seconds / 3600) + ":" + TwoDigits(seconds / 60 % 60) + ":" +
           TwoDigits(seconds % 60);
}

std::string EndLine(const ServerEnd& end) {
    using Kind = ServerEnd::Kind;
    if (end.kind == Kind::Stopped)
        return "stopped";
    if (end.kind == Kind::Failed)
        return "could not start: " + end.reason;
    const std::string how = end.kind == Kind::Signalled ? "signal " + std::to_string(end.code)
                                                        : "exit " + std::to_string(end.code);
    std::string line = (IsCrash(end) ? "crashed (" : "ended (") + how + ") at " +
                       ClockText(end.ended, false) + " after " +
                       DurationText(end.ended - end.started);
    if (end.restartIn >= 0)
        line += "; restarting in " + std::to_string(end.restartIn) + " s";
    else if (end.gaveUp)
        line += "; crashed " + std::to_string(CrashLimit) + " times in " +
                std::to_string(CrashWindow.count()) + " minutes, not restarted";
    return line;
}

void KeepLastLog(std::string_view exeDir) {
    const std::string log = In(exeDir, LogFileName);
    const platform::EntryInfo entry = platform::InspectEntry(log);
    if (!entry.isLink && entry.kind == platform::EntryKind::Missing)
        return;
    if (!entry.isLink && entry.kind != platform::EntryKind::Regular)
        throw Error("Cannot create file " + platform::DisplayPath(log) + ": not a regular file");
    const int64_t when = entry.modified > 0 ? entry.modified : UnixNow();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string dated = In(exeDir, DatedLogName(when, attempt));
        if (platform::InspectEntry(dated).kind != platform::EntryKind::Missing ||
            platform::InspectEntry(dated).isLink)
            continue;
        if (platform::RenameFile(log, dated))
            return;
        break;
    }
    throw Error("Cannot keep " + platform::DisplayPath(log) + " as a dated log");
}

void PruneLogs(std::string_view exeDir) {
    std::vector<std::pair<std::pair<std::string, int>, std::string>> dated;
    for (const platform::DirEntry& entry : platform::ListDirectory(exeDir)) {
        if (const auto key = DatedLogKey(entry.name); key && !entry.isDirectory)
            dated.emplace_back(*key, entry.name);
    }
    if (dated.size() <= KeptLogs)
        return;
    std::sort(dated.begin(), dated.end());  // by date, then by attempt
    for (size_t i = 0; i + KeptLogs < dated.size(); ++i)
        platform::RemoveFile(In(exeDir, dated[i].second));
}

std::vector<std::string> LogTail(std::string_view exeDir, size_t maxLines) {
    std::vector<std::string> lines = LogLines(exeDir, true, TailBytes);
    if (lines.size() > maxLines)
        lines.erase(lines.begin(), lines.end() - static_cast<ptrdiff_t>(maxLines));
    return lines;
}

std::optional<BoundSocket> LoggedSocket(std::string_view exeDir) {
    std::string head;
    const std::optional<platform::File> log = OpenLog(In(exeDir, LogFileName), nullptr);
    if (!log)
        return std::nullopt;
    head.resize(static_cast<size_t>(std::min<uint64_t>(log->Size(), SocketLineBytes)));
    if (!log->ReadAt(0, head.data(), head.size()))
        return std::nullopt;
    // Only whole lines: a line still being written could be a port the engine moves on from.
    head.erase(head.find_last_of('\n') == std::string::npos ? 0 : head.find_last_of('\n') + 1);
    return BoundSocketOfLog(head);
}

LogFollower::LogFollower(std::string_view exeDir, size_t maxLines)
    : m_path(In(exeDir, LogFileName)), m_maxLines(maxLines) {}

LogFollower::News LogFollower::Read() {
    News news;
    platform::EntryInfo info;
    const std::optional<platform::File> opened = OpenLog(m_path, &info);
    if (!opened)
        return news;
    std::string bytes;
    {
        const platform::File& log = *opened;
        const uint64_t size = log.Size();
        if (!m_known || info.device != m_device || info.inode != m_inode || size < m_offset) {
            news.restarted = true;
            m_known = true;
            m_device = info.device;
            m_inode = info.inode;
            m_offset = size > TailBytes ? size - TailBytes : 0;
            m_skipPartial = m_offset > 0;
            m_partial.clear();
        }
        if (size - m_offset > TailBytes) {  // more came than is ever shown: jump ahead
            m_offset = size - TailBytes;
            m_skipPartial = true;
            m_partial.clear();
            news.skipped = true;
        }
        bytes.resize(static_cast<size_t>(size - m_offset));
        if (!log.ReadAt(m_offset, bytes.data(), bytes.size()))
            return news;
        m_offset = size;
    }
    m_partial += bytes;
    const size_t lastEnd = m_partial.find_last_of('\n');
    if (lastEnd == std::string::npos) {
        if (m_partial.size() > TailBytes)  // one endless line is dropped, not hoarded
            m_partial.clear();
        return news;
    }
    std::vector<std::string_view> lines;
    text::ForEachLine(std::string_view(m_partial).substr(0, lastEnd + 1),
                      [&](std::string_view line, std::string_view) {
                          if (m_skipPartial)
                              m_skipPartial = false;
                          else
                              lines.push_back(line);
                      });
    if (lines.size() > m_maxLines) {
        lines.erase(lines.begin(), lines.end() - static_cast<ptrdiff_t>(m_maxLines));
        news.skipped = true;
    }
    for (const std::string_view line : lines)
        news.lines.push_back(ShownLogLine(line));
    m_partial.erase(0, lastEnd + 1);
    return news;
}

}  // namespace fraglane::server
