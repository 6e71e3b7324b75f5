#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

// What a program of ours asks of its own process (its standard streams, Ctrl-C) and of the
// programs it starts (the game server on Linux).
namespace fraglane::platform {

// While this object lives, Ctrl-C, the terminate and the hang-up signal (Ctrl-Break on
// Windows) request a stop on Token() instead of ending the process: the work in progress
// finishes its step and ends as cancelled, the way Esc stops a job in the window. The stop
// request runs as ordinary code, never inside a signal handler. One at a time per process.
class InterruptStop {
public:
    InterruptStop();
    ~InterruptStop();
    InterruptStop(const InterruptStop&) = delete;
    InterruptStop& operator=(const InterruptStop&) = delete;

    std::stop_token Token() const { return m_stop.get_token(); }

private:
    struct Watcher;
    std::stop_source m_stop;
    std::unique_ptr<Watcher> m_watcher;
};

// Standard output and error take bytes as they are: on Windows no CR is added before each LF,
// so that texts come out byte for byte as on every system. A reader that goes away fails the
// write rather than ending the process.
void UseBinaryStandardStreams();

// Windows only (the window's desktop seam calls it there): the shell's "open" of a file name
// relative to a working directory, owned by a window (its native id; 0 for none). UTF-16
// text, as the window holds it. The result is not checked, as the shell says nothing useful.
void ShellOpen(const std::u16string& file, const std::u16string& workingDirectory,
               uintptr_t ownerWindow);

// Whether "start" runs the engine itself, in a process of its own (Linux), rather than opening
// the batch file through the shell (Windows). The functions below answer only where it does;
// elsewhere they say that they do not (an Error, an empty record).
bool StartsEngineItself();

// A process as recorded: its id, and what tells it from a later process given the same id
// (its start time since boot, and which boot).
struct ProcessRecord {
    int64_t pid = 0;
    uint64_t startTicks = 0;
    std::string bootId;
    bool operator==(const ProcessRecord&) const = default;
};

// Starts words[0] (a native path) with the other words as its arguments, in a session of its
// own (closing the program leaves it running), in workingDirectory (native), standard input
// empty, standard output and error into outputFile (native; made new: whatever has that name
// is an error, a link too), or nowhere when outputFile is "". No shell sees the words. Returns
// once the program runs; throws Error with the reason when it cannot be started ("cannot run
// <program>: Permission denied").
ProcessRecord StartDetached(const std::vector<std::string>& words,
                            const std::string& workingDirectory, const std::string& outputFile);

// The parent's side of a watcher: a process that starts one program at a time, stays its
// parent to learn how it ended, and takes in whatever it leaves behind. One per process.
class ChildWatch {
public:
    // Stop requests (terminate, interrupt, hang-up) are held for Wait from here on, and this
    // process becomes the parent of every orphaned descendant (the Linux subreaper), so that
    // a program that daemonizes stays in reach.
    ChildWatch();
    ~ChildWatch();
    ChildWatch(const ChildWatch&) = delete;
    ChildWatch& operator=(const ChildWatch&) = delete;

    // Starts words[0] as a child leading a process group of its own, in workingDirectory,
    // standard input empty, standard output and error appended to outputFile (made new). The
    // child is killed when this process ends. recorded(pid) runs once the child exists and
    // before the program runs: when it throws, the program never runs. Throws Error with the
    // reason when the program cannot be run; returns its id once it runs.
    int64_t Start(const std::vector<std::string>& words, const std::string& workingDirectory,
                  const std::string& outputFile, const std::function<void(int64_t)>& recorded);

    struct Happening {
        enum class Kind { Nothing, StopAsked, ChildEnded };
        Kind kind = Kind::Nothing;
        int64_t pid = 0;
        bool signalled = false;  // ended by signal `code`, else exited with `code`
        int code = 0;
    };
    // Waits up to limit for a stop request or the end of a child (an adopted one too).
    Happening Wait(std::chrono::milliseconds limit);
    // Whether this process has descendants (ended ones not yet collected included).
    bool HasDescendants() const;
    // Sends terminate (or kill) to every descendant of this process; false when there is none.
    bool SignalDescendants(bool kill);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// The ids of the processes that run, and whether one has children.
std::vector<int64_t> ProcessIds();
bool HasChildren(int64_t pid);
// Whether the recorded process or one of its descendants holds a UDP socket bound to port.
bool HoldsUdpPort(const ProcessRecord& root, uint16_t port);
// Kills the recorded process and every descendant of it (those it adopted too); false when
// it no longer runs.
bool KillTree(const ProcessRecord& root);

// The program file of this process, or "" when it cannot be told.
std::string OwnProgramPath();
// The program file a living process runs, and the words it was started with, as the system
// tells them to this user (at most 64 KiB of words); empty when they cannot be read.
std::string ProgramOf(int64_t pid);
std::vector<std::string> ArgumentsOf(int64_t pid);

// The record of the living process with this id (not one that has ended and waits to be
// collected), or nothing.
std::optional<ProcessRecord> RecordOf(int64_t pid);
// The record of this process.
std::optional<ProcessRecord> OwnRecord();
// Whether the recorded process still runs: the same id, start time and boot.
bool IsAlive(const ProcessRecord& process);
// Whether a process of this user works in this folder (native): the same folder, by identity.
// False when it cannot be told (another user's process, a folder that is gone).
bool WorksIn(int64_t pid, const std::string& nativeFolder);
// How long the recorded process has run, in whole seconds.
int64_t SecondsRunning(const ProcessRecord& process);
// Whether a native path names a regular file that this user may run.
bool IsExecutableFile(const std::string& nativePath);
// Asks the recorded process and its process group to end (terminate), or ends them (kill).
// Nothing is sent unless the process is still the one recorded. False when nothing was sent.
bool SignalProcess(const ProcessRecord& process, bool kill);

}  // namespace fraglane::platform
