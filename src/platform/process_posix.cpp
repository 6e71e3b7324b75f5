// The program's own process on POSIX systems.
#include "platform/process.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>

namespace fraglane::platform {

// SIGINT, SIGTERM and SIGHUP are taken by a watcher thread (sigwait), not by a handler, so
// that the stop request runs as ordinary code. Blocking them in the creating thread before the
// watcher starts keeps them blocked in every thread started later, which the watcher alone
// then takes.
struct InterruptStop::Watcher {
    sigset_t set{};
    sigset_t previous{};
    std::atomic<bool> done{false};
    std::thread thread;
};

InterruptStop::InterruptStop() : m_watcher(std::make_unique<Watcher>()) {
    Watcher& w = *m_watcher;
    sigemptyset(&w.set);
    sigaddset(&w.set, SIGINT);
    sigaddset(&w.set, SIGTERM);
    sigaddset(&w.set, SIGHUP);  // the terminal closed
    pthread_sigmask(SIG_BLOCK, &w.set, &w.previous);
    w.thread = std::thread([&w, stop = m_stop] {
        const timespec tick{0, 100'000'000};
        while (!w.done.load()) {
            const int sig = sigtimedwait(&w.set, nullptr, &tick);
            if ((sig == SIGINT || sig == SIGTERM || sig == SIGHUP) && !w.done.load())
                stop.request_stop();
        }
    });
}

InterruptStop::~InterruptStop() {
    Watcher& w = *m_watcher;
    w.done = true;
    pthread_kill(w.thread.native_handle(), SIGINT);  // wakes the watcher at once
    w.thread.join();
    pthread_sigmask(SIG_SETMASK, &w.previous, nullptr);
}

void UseBinaryStandardStreams() {
    // POSIX streams never change line ends. A reader that goes away (start | head) fails the
    // write instead of ending the program, which has a server to look after.
    ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace fraglane::platform
