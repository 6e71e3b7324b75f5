// The programs the program starts on Linux, and what /proc says about a process.
#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

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

std::vector<char*> Argv(const std::vector<std::string>& words) {
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (const std::string& word : words)
        argv.push_back(const_cast<char*>(word.c_str()));  // NOLINT: execv's signature
    argv.push_back(nullptr);
    return argv;
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

bool GroupRemains(int64_t leaderPid) {
    return leaderPid > 1 && ::kill(-static_cast<pid_t>(leaderPid), 0) == 0;
}

void KillGroup(int64_t leaderPid) {
    if (leaderPid > 1)
        ::kill(-static_cast<pid_t>(leaderPid), SIGKILL);
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
    const OwnedHandle output = OwnFd(::open(outputFile.c_str(),
        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_APPEND | O_CLOEXEC, 0644));
    if (!output.Valid())
        throw Error("Cannot create file " + outputFile + ": " + ErrnoText(errno));
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
        ChildFailure failure;
        if (::chdir(workingDirectory.c_str()) != 0) {
            failure = {1, errno};
        } else {
            ::dup2(Fd(input), 0);
            ::dup2(Fd(output), 1);
            ::dup2(Fd(output), 2);
            ResetInheritedState();
            ::execv(argv[0], argv.data());
            failure = {2, errno};
        }
        WriteAll(Fd(reportWrite), &failure, sizeof failure);
        ::_exit(127);
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

void ReplaceProcess(const std::vector<std::string>& words, const std::string& workingDirectory) {
    if (words.empty())
        throw Error("nothing to run");
    std::vector<char*> argv = Argv(words);
    if (::chdir(workingDirectory.c_str()) != 0)
        throw Error(FailureText(words[0], {1, errno}, workingDirectory));
    ResetSignals();
    // The program's whole output on standard output; this process's error stream comes back
    // if it cannot be run.
    const OwnedHandle errors = OwnFd(::fcntl(2, F_DUPFD_CLOEXEC, 3));
    ::dup2(1, 2);
    ::execv(argv[0], argv.data());
    const int error = errno;
    if (errors.Valid())
        ::dup2(Fd(errors), 2);
    throw Error(FailureText(words[0], {2, error}, workingDirectory));
}

}  // namespace fraglane::platform
