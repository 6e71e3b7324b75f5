#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace fraglane::jobs {

// The thread that owns the jobs (the window's thread): it runs the calls that workers hand
// over, in the order they were handed over.
class OwnerThread {
public:
    virtual ~OwnerThread() = default;
    // From any thread: queue a call to run on the owner's thread.
    virtual void Post(std::function<void()> call) = 0;
    // On the owner's thread: run queued calls until done() holds. Every change that makes
    // done() true is followed by a Post, so that a waiting owner wakes up.
    virtual void ServeUntil(const std::function<bool()>& done) = 0;
};

// An owner thread without a windowing system: a plain queue that the owner serves while it
// waits. Used by core tests and the command-line tool.
class PlainOwnerThread : public OwnerThread {
public:
    void Post(std::function<void()> call) override;
    void ServeUntil(const std::function<bool()>& done) override;

private:
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::function<void()>> m_queue;
};

}  // namespace fraglane::jobs
