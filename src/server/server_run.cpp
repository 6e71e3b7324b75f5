#include "server/server_run.h"

#include <charconv>
#include <thread>

#include "platform/datagram.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/file_lock.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "server/engine.h"

namespace fraglane::server {

namespace {

constexpr size_t TailBytes = size_t{256} * 1024;

std::string In(std::string_view exeDir, const char* name) {
    return std::string(exeDir) + name;
}

// "pid startTicks bootId port\n".
std::string RecordText(const ServerRecord& server) {
    const platform::ProcessRecord& r = server.process;
    return std::to_string(r.pid) + " " + std::to_string(r.startTicks) + " " + r.bootId + " " +
           std::to_string(server.port) + "\n";
}

template <typename T>
bool ReadNumber(std::string_view& text, T& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end == text.data())
        return false;
    text.remove_prefix(static_cast<size_t>(end - text.data()));
    return true;
}

std::optional<ServerRecord> ParseRecord(std::string_view text) {
    ServerRecord server;
    platform::ProcessRecord& r = server.process;
    const auto blank = [&text] {
        if (text.empty() || text.front() != ' ')
            return false;
        text.remove_prefix(1);
        return true;
    };
    if (!ReadNumber(text, r.pid) || r.pid <= 0 || !blank() || !ReadNumber(text, r.startTicks) ||
        !blank())
        return std::nullopt;
    const size_t idEnd = text.find(' ');
    const std::string_view id = text.substr(0, idEnd);
    if (idEnd == std::string_view::npos || id.empty() || id.size() > 64 ||
        id.find_first_not_of("0123456789abcdef-") != std::string_view::npos)
        return std::nullopt;
    r.bootId = std::string(id);
    text.remove_prefix(idEnd + 1);
    if (!ReadNumber(text, server.port) || server.port == 0 || (text != "\n" && !text.empty()))
        return std::nullopt;
    return server;
}

// The pid file made anew, still empty: whatever has its name (a link too) is removed first,
// and the new file is made where nothing is, so nothing is written through a link or into a
// hard link. Made before the server starts, so that a name that cannot be written costs no
// start.
platform::File NewRecordFile(std::string_view exeDir) {
    const std::string path = In(exeDir, PidFileName);
    platform::RemoveFile(path);
    return platform::File::CreateExact(path);
}

void WriteRecord(std::string_view exeDir, platform::File& file, const ServerRecord& server) {
    const std::string text = RecordText(server);
    if (!file.WriteAt(0, text.data(), text.size()))
        throw Error("Cannot create file " + platform::DisplayPath(In(exeDir, PidFileName)));
}

// Starts of one game directory take turns: each finds the one before it recorded.
platform::FileLock StartTurn(std::string_view exeDir) {
    const std::string lock = In(exeDir, StartLockFileName);
    return platform::FileLock::Acquire(platform::ToNative(lock), 0, true,
                                       "Cannot create file " + platform::DisplayPath(lock));
}

// Keeps the last log as the previous one; a log that cannot be kept is not lost. True when
// there was one.
bool KeepLastLog(std::string_view exeDir) {
    const std::string log = In(exeDir, LogFileName);
    const platform::EntryInfo entry = platform::InspectEntry(log);
    if (!entry.isLink && entry.kind == platform::EntryKind::Missing)
        return false;
    if (!platform::RenameFile(log, In(exeDir, PreviousLogFileName)))
        throw Error("Cannot keep " + platform::DisplayPath(log) + " as " +
                    platform::DisplayPath(In(exeDir, PreviousLogFileName)));
    return true;
}

std::string TwoDigits(int64_t n) {
    return (n < 10 ? "0" : "") + std::to_string(n);
}

}  // namespace

std::optional<ServerRecord> RunningServer(std::string_view exeDir) {
    std::optional<ServerRecord> record;
    try {
        record = ParseRecord(platform::ReadRegularFile(In(exeDir, PidFileName), 256));
    } catch (const Error&) {
        return std::nullopt;  // no pid file, or something else under its name
    }
    // The very process, and in this game directory: a pid file written by someone else
    // cannot make the program stop a process of another folder.
    if (!record || !platform::IsAlive(record->process) ||
        !platform::WorksIn(record->process.pid, NativeGameDirectory(exeDir)))
        return std::nullopt;
    return record;
}

ServerRecord StartServer(std::string_view exeDir, const std::vector<std::string>& words) {
    const platform::FileLock turn = StartTurn(exeDir);
    RefuseWhenRunning(exeDir);
    platform::File record = NewRecordFile(exeDir);
    const std::string recordPath = In(exeDir, PidFileName);
    ServerRecord server;
    bool keptLog = false;
    try {
        keptLog = KeepLastLog(exeDir);
        server = {platform::StartDetached(words, NativeGameDirectory(exeDir),
                                          platform::ToNative(In(exeDir, LogFileName))),
                  ServerPort(words)};
    } catch (const Error&) {
        // An engine that never ran leaves the logs as they were.
        record.Close();
        platform::RemoveFile(recordPath);
        if (keptLog) {
            platform::RemoveFile(In(exeDir, LogFileName));
            platform::RenameFile(In(exeDir, PreviousLogFileName), In(exeDir, LogFileName));
        }
        throw;
    }
    try {
        WriteRecord(exeDir, record, server);
    } catch (const Error&) {
        // A server that no pid file records could be neither found nor stopped.
        platform::SignalProcess(server.process, true);
        record.Close();
        platform::RemoveFile(recordPath);
        throw;
    }
    return server;
}

void RunServerHere(std::string_view exeDir, const std::vector<std::string>& words) {
    {
        const platform::FileLock turn = StartTurn(exeDir);
        RefuseWhenRunning(exeDir);
        platform::File record = NewRecordFile(exeDir);
        // The engine keeps this process's id and start time.
        if (const std::optional<platform::ProcessRecord> self = platform::OwnRecord())
            WriteRecord(exeDir, record, {*self, ServerPort(words)});
    }
    try {
        platform::ReplaceProcess(words, NativeGameDirectory(exeDir));
    } catch (const Error&) {
        platform::RemoveFile(In(exeDir, PidFileName));
        throw;
    }
}

void RefuseWhenRunning(std::string_view exeDir) {
    if (const std::optional<ServerRecord> running = RunningServer(exeDir))
        throw Error("A server is running (process " + std::to_string(running->process.pid) +
                    "): stop it first");
}

bool RequestStop(const ServerRecord& server, bool kill) {
    return platform::SignalProcess(server.process, kill);
}

bool StopServer(std::string_view exeDir, const ServerRecord& server) {
    using Clock = std::chrono::steady_clock;
    const auto waitFor = [&server](Clock::duration limit) {
        const Clock::time_point until = Clock::now() + limit;
        while (platform::IsAlive(server.process)) {
            if (Clock::now() >= until)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return true;
    };
    RequestStop(server, false);
    bool ended = waitFor(StopGrace);
    if (!ended) {
        RequestStop(server, true);
        ended = waitFor(std::chrono::seconds(2));
    }
    if (!ended)
        return false;
    // Helpers of the engine that got the terminate signal with it have a moment to follow.
    const Clock::time_point until = Clock::now() + std::chrono::seconds(2);
    while (platform::GroupRemains(server.process.pid) && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ForgetServer(exeDir, server);
    return true;
}

void ForgetServer(std::string_view exeDir, const ServerRecord& server) {
    platform::KillGroup(server.process.pid);  // what the ended server left running
    const std::string path = In(exeDir, PidFileName);
    try {
        if (ParseRecord(platform::ReadRegularFile(path, 256)) == server)
            platform::RemoveFile(path);
    } catch (const Error&) {
        // nothing recorded under that name
    }
}

std::vector<std::string> LogTail(std::string_view exeDir, size_t maxLines) {
    std::string bytes;
    bool cut = false;
    try {
        const platform::File log = platform::File::OpenExisting(In(exeDir, LogFileName), false);
        const uint64_t size = log.Size();
        const uint64_t from = size > TailBytes ? size - TailBytes : 0;
        bytes.resize(static_cast<size_t>(size - from));
        if (!log.ReadAt(from, bytes.data(), bytes.size()))
            return {};
        cut = from > 0;
    } catch (const Error&) {
        return {};
    }
    std::vector<std::string> lines;
    text::ForEachLine(bytes, [&](std::string_view line, std::string_view) {
        lines.push_back(text::PrintableName(line));
    });
    if (cut && !lines.empty())
        lines.erase(lines.begin());  // the first line read is only the end of one
    if (lines.size() > maxLines)
        lines.erase(lines.begin(), lines.end() - static_cast<ptrdiff_t>(maxLines));
    return lines;
}

LogFollower::LogFollower(std::string_view exeDir) : m_path(In(exeDir, LogFileName)) {}

LogFollower::News LogFollower::Read() {
    News news;
    const platform::EntryInfo info = platform::InspectEntry(m_path);
    if (info.kind != platform::EntryKind::Regular)
        return news;
    std::string bytes;
    try {
        const platform::File log = platform::File::OpenExisting(m_path, false);
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
        }
        bytes.resize(static_cast<size_t>(size - m_offset));
        if (!log.ReadAt(m_offset, bytes.data(), bytes.size()))
            return news;
        m_offset = size;
    } catch (const Error&) {
        return news;
    }
    m_partial += bytes;
    const size_t lastEnd = m_partial.find_last_of('\n');
    if (lastEnd == std::string::npos) {
        if (m_partial.size() > TailBytes)  // one endless line is dropped, not hoarded
            m_partial.clear();
        return news;
    }
    text::ForEachLine(std::string_view(m_partial).substr(0, lastEnd + 1),
                      [&](std::string_view line, std::string_view) {
                          if (m_skipPartial)
                              m_skipPartial = false;
                          else
                              news.lines.push_back(text::PrintableName(line));
                      });
    m_partial.erase(0, lastEnd + 1);
    return news;
}

std::string StatusLine(const std::optional<ServerRecord>& server,
                       const std::optional<ServerStatus>& status) {
    if (!server)
        return "stopped";
    const int64_t up = platform::SecondsRunning(server->process);
    std::string line = "running, process " + std::to_string(server->process.pid) + ", up " +
                       std::to_string(up / 3600) + ":" + TwoDigits(up / 60 % 60) + ":" +
                       TwoDigits(up % 60);
    if (status) {
        if (!status->map.empty())
            line += ", map " + status->map;
        line += ", " + std::to_string(status->players) +
                (status->players == 1 ? " player" : " players");
    }
    return line;
}

}  // namespace fraglane::server
