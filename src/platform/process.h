#pragma once

#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>

// What a program of ours asks of its own process: its standard streams, Ctrl-C.
namespace fraglane::platform {

// While this object lives, Ctrl-C (and Ctrl-Break on Windows) requests a stop on Token()
// instead of ending the process: the work in progress finishes its step and ends as cancelled,
// the way Esc stops a job in the window. The stop request runs as ordinary code, never inside
// a signal handler. One at a time per process.
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
// so that texts come out byte for byte as on every system.
void UseBinaryStandardStreams();

// Windows only (the window's desktop seam calls it there): the shell's "open" of a file name
// relative to a working directory, owned by a window (its native id; 0 for none). UTF-16
// text, as the window holds it. The result is not checked, as the shell says nothing useful.
void ShellOpen(const std::u16string& file, const std::u16string& workingDirectory,
               uintptr_t ownerWindow);

}  // namespace fraglane::platform
