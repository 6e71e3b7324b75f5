// The program's own process on Windows.
#include "platform/process.h"

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cstdio>

#include "platform/error.h"
#include "platform/windows_api.h"
// After windows.h, which it needs.
#include <shellapi.h>

namespace fraglane::platform {

namespace {

std::atomic<std::stop_source*> CurrentStop{nullptr};

// The console calls this on a thread of its own, where the stop request runs as ordinary code.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    if (std::stop_source* stop = CurrentStop.load())
        stop->request_stop();
    return TRUE;
}

}  // namespace

struct InterruptStop::Watcher {};

InterruptStop::InterruptStop() {
    CurrentStop.store(&m_stop);
    ::SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

InterruptStop::~InterruptStop() {
    ::SetConsoleCtrlHandler(&OnConsoleEvent, FALSE);
    CurrentStop.store(nullptr);
}

void UseBinaryStandardStreams() {
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
}

void ShellOpen(const std::u16string& file, const std::u16string& workingDirectory,
               uintptr_t ownerWindow) {
    ::ShellExecuteW(reinterpret_cast<HWND>(ownerWindow), L"open",
                    reinterpret_cast<const wchar_t*>(file.c_str()), nullptr,
                    reinterpret_cast<const wchar_t*>(workingDirectory.c_str()), SW_SHOWNORMAL);
}

// On Windows "start" opens the batch file through the shell, which runs the game itself; the
// program neither starts nor watches the engine there.
bool StartsEngineItself() {
    return false;
}

namespace {
constexpr const char* LinuxOnly = "the server is started and watched this way on Linux only";
}

ProcessRecord StartDetached(const std::vector<std::string>&, const std::string&,
                            const std::string&) {
    throw Error(LinuxOnly);
}

struct ChildWatch::State {};

ChildWatch::ChildWatch() = default;
ChildWatch::~ChildWatch() = default;

int64_t ChildWatch::Start(const std::vector<std::string>&, const std::string&,
                          const std::string&, const std::function<void(int64_t)>&) {
    throw Error(LinuxOnly);
}

ChildWatch::Happening ChildWatch::Wait(std::chrono::milliseconds) {
    return {};
}

bool ChildWatch::HasDescendants() const {
    return false;
}

bool ChildWatch::SignalDescendants(bool) {
    return false;
}

std::vector<int64_t> ProcessIds() {
    return {};
}

bool HasChildren(int64_t) {
    return false;
}

bool HoldsUdpPort(const ProcessRecord&, uint16_t) {
    return false;
}

bool KillTree(const ProcessRecord&) {
    return false;
}

std::string OwnProgramPath() {
    return {};
}

std::string ProgramOf(int64_t) {
    return {};
}

std::vector<std::string> ArgumentsOf(int64_t) {
    return {};
}

std::optional<ProcessRecord> RecordOf(int64_t) {
    return std::nullopt;
}

std::optional<ProcessRecord> OwnRecord() {
    return std::nullopt;
}

bool IsAlive(const ProcessRecord&) {
    return false;
}

bool WorksIn(int64_t, const std::string&) {
    return false;
}

int64_t SecondsRunning(const ProcessRecord&) {
    return 0;
}

bool IsExecutableFile(const std::string&) {
    return false;
}

bool SignalProcess(const ProcessRecord&, bool) {
    return false;
}

}  // namespace fraglane::platform
