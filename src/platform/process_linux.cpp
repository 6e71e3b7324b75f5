// The programs the program starts on Linux, and what /proc says about a process.
#include <dirent.h>
#include <fcntl.h>
#include <linux/close_range.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "platform/error.h"
#include "platform/owned_posix.h"
#include "platform/process.h"

namespace fraglane::platform {

bool StartsEngineItself() {
    return true;
}

namespace {

// A small file of /proc, read whole (at most maxBytes); "" when it cannot be read.
std::string ReadProcFile(const std::string& path, size_t maxBytes) {
    const OwnedHandle file = OwnFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.Valid())
        return {};
    std::string bytes(maxBytes, '\0');
    size_t have = 0;
    while (have < maxBytes) {
        const ssize_t n = ::read(Fd(file), bytes.data() + have, maxBytes - have);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        have += static_cast<size_t>(n);
    }
    bytes.resize(have);
    return bytes;
}

std::string BootId() {
    std::string id = ReadProcFile("/proc/sys/kernel/random/boot_id", 64);
    while (!id.empty() && (id.back() == '\n' || id.back() == ' '))
        id.pop_back();
    return id;
}

std::string ErrnoText(int error) {
    return std::strerror(error);  // NOLINT(concurrency-mt-unsafe): messages are not changed
}

// What the started program's side reports through the pipe when a step fails before the
// program runs: the step and errno.
struct ChildFailure {
    int step = 0;  // 1: working directory, 2: the program itself
    int error = 0;
};

void WriteAll(int fd, const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t written = ::write(fd, p, n);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        p += written;
        n -= static_cast<size_t>(written);
    }
}

// Reads up to n bytes until the other side closes; the number read.
size_t ReadAll(int fd, void* data, size_t n) {
    char* p = static_cast<char*>(data);
    size_t have = 0;
    while (have < n) {
        const ssize_t got = ::read(fd, p + have, n - have);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        have += static_cast<size_t>(got);
    }
    return have;
}

// The started program begins with nothing of ours: every signal unblocked and at its default
// (the window and the CLI block or ignore some), no descriptor but the three streams.
// Only async-signal-safe calls: this runs between fork and exec.
void ResetSignals() {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        sigaction(sig, &byDefault, nullptr);  // SIGKILL and SIGSTOP refuse, as they may
}

void ResetInheritedState() {
    ResetSignals();
    syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC);
}

// The output file of a started program, made new: whatever has its name (a link too) is an
// error.
OwnedHandle NewOutputFile(const std::string& path) {
    OwnedHandle output = OwnFd(::open(
        path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_APPEND | O_CLOEXEC, 0644));
    if (!output.Valid())
        throw Error("Cannot create file " + path + ": " + ErrnoText(errno));
    return output;
}

std::vector<char*> Argv(const std::vector<std::string>& words) {
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (const std::string& word : words)
        argv.push_back(const_cast<char*>(word.c_str()));  // NOLINT: execv's signature
    argv.push_back(nullptr);
    return argv;
}

// The started side, once it may run: into the working directory, the streams in place, then
// the program; how a step failed goes back through report. Only async-signal-safe calls:
// this runs between fork and exec.
[[noreturn]] void RunProgram(std::vector<char*>& argv, const std::string& workingDirectory,
                             int input, int output, int report) {
    ChildFailure failure;
    if (::chdir(workingDirectory.c_str()) != 0) {
        failure = {1, errno};
    } else {
        ::dup2(input, 0);
        ::dup2(output, 1);
        ::dup2(output, 2);
        ResetInheritedState();
        ::execv(argv[0], argv.data());
        failure = {2, errno};
    }
    WriteAll(report, &failure, sizeof failure);
    ::_exit(127);
}

std::string FailureText(const std::string& program, const ChildFailure& failure,
                        const std::string& workingDirectory) {
    if (failure.step == 1)
        return "cannot enter " + workingDirectory + ": " + ErrnoText(failure.error);
    return "cannot run " + program + ": " + ErrnoText(failure.error);
}

}  // namespace

std::optional<ProcessRecord> RecordOf(int64_t pid) {
    if (pid <= 0)
        return std::nullopt;
    // "pid (name) state ppid ...": the name may hold blanks and parentheses, so the fields are
    // counted from the last ')'. The start time is field 22, the 20th after the name.
    const std::string stat = ReadProcFile("/proc/" + std::to_string(pid) + "/stat", 4096);
    const size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size())
        return std::nullopt;
    const char state = stat[close + 2];
    if (state == 'Z' || state == 'X')
        return std::nullopt;
    size_t at = close + 2;
    for (int field = 3; field < 22; ++field) {
        at = stat.find(' ', at);
        if (at == std::string::npos)
            return std::nullopt;
        ++at;
    }
    ProcessRecord record;
    record.pid = pid;
    const char* end = stat.data() + stat.size();
    if (std::from_chars(stat.data() + at, end, record.startTicks).ec != std::errc{})
        return std::nullopt;
    record.bootId = BootId();
    return record;
}

std::optional<ProcessRecord> OwnRecord() {
    return RecordOf(::getpid());
}

bool IsAlive(const ProcessRecord& process) {
    const std::optional<ProcessRecord> now = RecordOf(process.pid);
    return now && *now == process;
}

bool WorksIn(int64_t pid, const std::string& nativeFolder) {
    if (pid <= 0)
        return false;
    struct stat there {};
    struct stat folder {};
    const std::string cwd = "/proc/" + std::to_string(pid) + "/cwd";
    return ::stat(cwd.c_str(), &there) == 0 && ::stat(nativeFolder.c_str(), &folder) == 0 &&
           there.st_dev == folder.st_dev && there.st_ino == folder.st_ino;
}

int64_t SecondsRunning(const ProcessRecord& process) {
    // /proc/uptime: seconds since boot, a fraction, blank, idle time.
    const std::string uptime = ReadProcFile("/proc/uptime", 128);
    int64_t sinceBoot = 0;
    std::from_chars(uptime.data(), uptime.data() + uptime.size(), sinceBoot);
    const long ticks = ::sysconf(_SC_CLK_TCK);
    const int64_t started = ticks > 0 ? static_cast<int64_t>(process.startTicks) / ticks : 0;
    return sinceBoot > started ? sinceBoot - started : 0;
}

bool IsExecutableFile(const std::string& nativePath) {
    struct stat info {};
    return ::stat(nativePath.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(nativePath.c_str(), X_OK) == 0;
}

bool SignalProcess(const ProcessRecord& process, bool kill) {
    if (!IsAlive(process))
        return false;
    const int sig = kill ? SIGKILL : SIGTERM;
    const auto pid = static_cast<pid_t>(process.pid);
    // A process started here leads its own session, and so its process group: the group takes
    // along what an engine script started beside itself. Only a group that it leads is
    // signalled, and never through -1, which would reach every process there is.
    if (pid > 1 && ::getpgid(pid) == pid && ::kill(-pid, sig) == 0)
        return true;
    return ::kill(pid, sig) == 0;
}

ProcessRecord StartDetached(const std::vector<std::string>& words,
                            const std::string& workingDirectory, const std::string& outputFile) {
    if (words.empty())
        throw Error("nothing to run");
    // Everything that allocates happens before the fork: the other side only calls the system.
    std::vector<char*> argv = Argv(words);
    const OwnedHandle output = outputFile.empty() ? OwnFd(::open("/dev/null", O_WRONLY | O_CLOEXEC))
                                                  : NewOutputFile(outputFile);
    const OwnedHandle input = OwnFd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    int report[2] = {-1, -1};  // the started side tells its id, then how it failed, if it did
    int go[2] = {-1, -1};      // closed by us once its record is taken: then it may run
    if (!input.Valid() || ::pipe2(report, O_CLOEXEC) != 0)
        throw Error("cannot start " + words[0] + ": " + ErrnoText(errno));
    const OwnedHandle reportRead = OwnFd(report[0]);
    OwnedHandle reportWrite = OwnFd(report[1]);
    if (::pipe2(go, O_CLOEXEC) != 0)
        throw Error("cannot start " + words[0] + ": " + ErrnoText(errno));
    const OwnedHandle goRead = OwnFd(go[0]);
    OwnedHandle goWrite = OwnFd(go[1]);

    // Two forks: the middle process leaves at once, so that the program belongs to no process
    // of ours (no zombie waits for us, and closing us leaves it running). The program starts a
    // session of its own and so leads its process group, which stop signals whole.
    const pid_t middle = ::fork();
    if (middle < 0)
        throw Error("cannot start " + words[0] + ": " + ErrnoText(errno));
    if (middle == 0) {
        const pid_t program = ::fork();
        if (program != 0) {
            if (program > 0)
                WriteAll(Fd(reportWrite), &program, sizeof program);
            ::_exit(0);
        }
        ::setsid();
        ::close(Fd(goWrite));
        char wait = 0;
        while (::read(Fd(goRead), &wait, 1) < 0 && errno == EINTR) {
        }
        RunProgram(argv, workingDirectory, Fd(input), Fd(output), Fd(reportWrite));
    }
    reportWrite.Close();
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    pid_t program = 0;
    if (ReadAll(Fd(reportRead), &program, sizeof program) != sizeof program || program <= 0) {
        goWrite.Close();
        throw Error("cannot start " + words[0]);
    }
    // The program waits on the go pipe, so its record is taken before it can end.
    std::optional<ProcessRecord> record = RecordOf(program);
    goWrite.Close();
    ChildFailure failure;
    if (ReadAll(Fd(reportRead), &failure, sizeof failure) == sizeof failure)
        throw Error(FailureText(words[0], failure, workingDirectory));
    if (!record)
        throw Error("cannot start " + words[0] + ": it ended at once");
    return *record;
}

std::string OwnProgramPath() {
    return ProgramOf(::getpid());
}

std::string ProgramOf(int64_t pid) {
    if (pid <= 0)
        return {};
    std::string path(4096, '\0');
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    const ssize_t n = ::readlink(link.c_str(), path.data(), path.size());
    if (n <= 0 || static_cast<size_t>(n) >= path.size())
        return {};
    path.resize(static_cast<size_t>(n));
    return path;
}

std::vector<std::string> ArgumentsOf(int64_t pid) {
    std::vector<std::string> words;
    if (pid <= 0)
        return words;
    const std::string bytes = ReadProcFile("/proc/" + std::to_string(pid) + "/cmdline", 65536);
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = bytes.find('\0', at);
        if (end == std::string::npos)
            end = bytes.size();
        words.push_back(bytes.substr(at, end - at));
        at = end + 1;
    }
    return words;
}

namespace {

constexpr int StopSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The parent of every process there is, read from /proc.
std::vector<std::pair<pid_t, pid_t>> ProcessParents() {
    std::vector<std::pair<pid_t, pid_t>> parents;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr)
        return parents;
    while (const dirent* entry = ::readdir(proc)) {
        pid_t pid = 0;
        const char* name = entry->d_name;
        const char* end = name + std::strlen(name);
        if (std::from_chars(name, end, pid).ptr != end || pid <= 0)
            continue;
        const std::string stat = ReadProcFile("/proc/" + std::string(name) + "/stat", 4096);
        const size_t close = stat.rfind(')');
        pid_t parent = 0;
        // "pid (name) state ppid": the parent is the second field after the name.
        if (close != std::string::npos && close + 4 < stat.size() &&
            std::from_chars(stat.data() + close + 4, stat.data() + stat.size(), parent).ec ==
                std::errc{})
            parents.emplace_back(pid, parent);
    }
    ::closedir(proc);
    return parents;
}

// Every descendant of this process.
std::vector<pid_t> DescendantsOf(pid_t root) {
    const std::vector<std::pair<pid_t, pid_t>> parents = ProcessParents();
    std::vector<pid_t> found{root};
    // Each pass adds the children of what is found; a process's parent chain is finite.
    for (size_t added = 1; added > 0;) {
        added = 0;
        for (const auto& [pid, parent] : parents) {
            if (std::find(found.begin(), found.end(), parent) != found.end() &&
                std::find(found.begin(), found.end(), pid) == found.end()) {
                found.push_back(pid);
                ++added;
            }
        }
    }
    found.erase(found.begin());
    return found;
}

std::vector<pid_t> Descendants() {
    return DescendantsOf(::getpid());
}

}  // namespace

std::vector<int64_t> ProcessIds() {
    std::vector<int64_t> ids;
    for (const auto& [pid, parent] : ProcessParents())
        ids.push_back(pid);
    return ids;
}

bool HasChildren(int64_t pid) {
    const std::vector<std::pair<pid_t, pid_t>> parents = ProcessParents();
    return std::any_of(parents.begin(), parents.end(),
                       [pid](const auto& entry) { return entry.second == pid; });
}

namespace {

// The inodes of the UDP sockets bound to a port, from the kernel's tables.
std::vector<std::string> UdpSocketsOn(uint16_t port) {
    std::vector<std::string> inodes;
    for (const char* table : {"/proc/net/udp", "/proc/net/udp6"}) {
        const std::string text = ReadProcFile(table, size_t{8} * 1024 * 1024);
        size_t at = text.find('\n');  // past the heading
        while (at != std::string::npos && at + 1 < text.size()) {
            const size_t end = text.find('\n', at + 1);
            std::string_view line(text.data() + at + 1,
                                  (end == std::string::npos ? text.size() : end) - at - 1);
            at = end;
            // "sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode ..."
            std::vector<std::string_view> fields;
            while (!line.empty() && fields.size() < 10) {
                const size_t start = line.find_first_not_of(' ');
                if (start == std::string_view::npos)
                    break;
                line.remove_prefix(start);
                const size_t stop = std::min(line.find(' '), line.size());
                fields.push_back(line.substr(0, stop));
                line.remove_prefix(stop);
            }
            unsigned bound = 0;
            const size_t colon =
                fields.size() == 10 ? fields[1].rfind(':') : std::string_view::npos;
            if (colon == std::string_view::npos ||
                std::from_chars(fields[1].data() + colon + 1, fields[1].data() + fields[1].size(),
                                bound, 16)
                        .ec != std::errc{} ||
                bound != port)
                continue;
            inodes.emplace_back(fields[9]);
        }
    }
    return inodes;
}

}  // namespace

bool HoldsUdpPort(const ProcessRecord& root, uint16_t port) {
    if (!IsAlive(root))
        return false;
    const std::vector<std::string> inodes = UdpSocketsOn(port);
    if (inodes.empty())
        return false;
    std::vector<pid_t> pids = DescendantsOf(static_cast<pid_t>(root.pid));
    pids.push_back(static_cast<pid_t>(root.pid));
    for (const pid_t pid : pids) {
        const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
        DIR* fds = ::opendir(folder.c_str());
        if (fds == nullptr)
            continue;
        bool found = false;
        while (const dirent* entry = ::readdir(fds)) {
            char target[64] = {};
            const std::string link = folder + "/" + entry->d_name;
            const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
            const std::string_view text(target, n > 0 ? static_cast<size_t>(n) : 0);
            if (text.size() > 9 && text.substr(0, 8) == "socket:[" &&
                std::find(inodes.begin(), inodes.end(), text.substr(8, text.size() - 9)) !=
                    inodes.end()) {
                found = true;
                break;
            }
        }
        ::closedir(fds);
        if (found)
            return true;
    }
    return false;
}

bool KillTree(const ProcessRecord& root) {
    if (!IsAlive(root))
        return false;
    const auto pid = static_cast<pid_t>(root.pid);
    ::kill(pid, SIGSTOP);  // it starts nothing more while what it started is ended
    for (const pid_t below : DescendantsOf(pid))
        ::kill(below, SIGKILL);
    ::kill(pid, SIGKILL);
    return true;
}

struct ChildWatch::State {
    sigset_t held{};
};

ChildWatch::ChildWatch() : m_state(std::make_unique<State>()) {
    sigemptyset(&m_state->held);
    for (const int sig : StopSignals)
        sigaddset(&m_state->held, sig);
    sigaddset(&m_state->held, SIGCHLD);
    ::pthread_sigmask(SIG_BLOCK, &m_state->held, nullptr);
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
}

ChildWatch::~ChildWatch() {
    ::pthread_sigmask(SIG_UNBLOCK, &m_state->held, nullptr);
}

int64_t ChildWatch::Start(const std::vector<std::string>& words,
                          const std::string& workingDirectory, const std::string& outputFile,
                          const std::function<void(int64_t)>& recorded) {
    if (words.empty())
        throw Error("nothing to run");
    std::vector<char*> argv = Argv(words);
    const OwnedHandle output = NewOutputFile(outputFile);
    const OwnedHandle input = OwnFd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    int report[2] = {-1, -1};  // how the child failed before the program ran, if it did
    int go[2] = {-1, -1};      // one byte once the child is recorded: then it may run
    if (!input.Valid() || ::pipe2(report, O_CLOEXEC) != 0)
        throw Error("cannot start " + words[0] + ": " + ErrnoText(errno));
    const OwnedHandle reportRead = OwnFd(report[0]);
    OwnedHandle reportWrite = OwnFd(report[1]);
    if (::pipe2(go, O_CLOEXEC) != 0)
        throw Error("cannot start " + words[0] + ": " + ErrnoText(errno));
    const OwnedHandle goRead = OwnFd(go[0]);
    OwnedHandle goWrite = OwnFd(go[1]);
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child < 0)
        throw Error("cannot start " + words[0] + ": " + ErrnoText(errno));
    if (child == 0) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::close(Fd(goWrite));
        char byte = 0;
        ssize_t got = 0;
        while ((got = ::read(Fd(goRead), &byte, 1)) < 0 && errno == EINTR) {
        }
        // Not recorded (the watcher failed or ended first): the program must not run.
        if (got != 1 || ::getppid() != parent)
            ::_exit(126);
        RunProgram(argv, workingDirectory, Fd(input), Fd(output), Fd(reportWrite));
    }
    ::setpgid(child, child);
    reportWrite.Close();
    const auto reap = [child] {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    };
    try {
        recorded(child);
    } catch (...) {
        goWrite.Close();  // the child reads no byte and leaves
        reap();
        throw;
    }
    const char byte = 'g';
    WriteAll(Fd(goWrite), &byte, 1);
    goWrite.Close();
    ChildFailure failure;
    if (ReadAll(Fd(reportRead), &failure, sizeof failure) == sizeof failure) {
        reap();
        throw Error(FailureText(words[0], failure, workingDirectory));
    }
    return child;
}

ChildWatch::Happening ChildWatch::Wait(std::chrono::milliseconds limit) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point until = Clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t ended = ::waitpid(-1, &status, WNOHANG);
        if (ended > 0) {
            Happening h{Happening::Kind::ChildEnded, ended, WIFSIGNALED(status),
                        WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status)};
            return h;
        }
        const Clock::duration left = until - Clock::now();
        if (left <= Clock::duration::zero())
            return {};
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec wait{static_cast<time_t>(ns / 1000000000),
                            static_cast<long>(ns % 1000000000)};
        const int sig = ::sigtimedwait(&m_state->held, nullptr, &wait);
        if (sig == SIGTERM || sig == SIGINT || sig == SIGHUP)
            return {Happening::Kind::StopAsked};
    }
}

bool ChildWatch::HasDescendants() const {
    return !Descendants().empty();
}

bool ChildWatch::SignalDescendants(bool kill) {
    const std::vector<pid_t> found = Descendants();
    for (const pid_t pid : found)
        ::kill(pid, kill ? SIGKILL : SIGTERM);
    return !found.empty();
}

}  // namespace fraglane::platform
