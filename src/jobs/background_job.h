#pragma once

#include <any>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include "jobs/owner_thread.h"

namespace fraglane::jobs {

class BackgroundJob;
class JobThread;

// The handlers of a job: the job, its worker and the data the run was started with, which the
// body may replace.
using JobDataEvent = std::function<void(BackgroundJob& Sender, JobThread& Thread, std::any& Data)>;

// The worker of one run of a job.
class JobThread {
public:
    // Set by Stop; the body looks at it at its stop points.
    bool Terminated() const { return m_stop.stop_requested(); }
    // The same flag for a job body, which knows nothing of the job machinery.
    std::stop_token StopToken() const { return m_stop.get_token(); }

    // Runs a method on the owner's thread and waits for it; skipped when Terminated is set or
    // no method is given. What the method raises is raised again here.
    void Synchronize(const JobDataEvent& method, std::any& data);
    void Synchronize(const std::function<void()>& method);
    // Hands a call to the owner's thread without waiting; it runs in order with the other
    // hand-overs of this job, and before its end handler.
    void Queue(std::function<void()> call);

private:
    friend class BackgroundJob;
    explicit JobThread(BackgroundJob& job) : m_job(job) {}

    BackgroundJob& m_job;
    std::stop_source m_stop;
    std::any m_data;
    std::thread m_thread;
    // Set on the owner's thread when the end notification has run; the worker waits for it.
    std::mutex m_endMutex;
    std::condition_variable m_endCondition;
    bool m_endDone = false;
};

// A job whose body runs on a thread of its own, owned by the window (or a test). Start, Stop,
// IsRunning and WaitFor are called on the owner's thread.
class BackgroundJob {
public:
    explicit BackgroundJob(OwnerThread& owner) : m_owner(owner) {}
    // Stops a worker that still runs and keeps serving hand-overs until it is gone; the end
    // handler is not called then.
    ~BackgroundJob();
    BackgroundJob(const BackgroundJob&) = delete;
    BackgroundJob& operator=(const BackgroundJob&) = delete;

    JobDataEvent OnExecute;
    JobDataEvent OnTerminate;
    // Called on the owner's thread, after the end handler, when the body raised: the body is
    // caught at the worker's edge and the run ends as if it had returned.
    std::function<void(const std::string& message)> OnError;

    void Start();
    bool IsRunning() const { return m_worker != nullptr; }
    void Stop();
    // Blocks until the current worker has ended, serving its hand-overs meanwhile.
    void WaitFor();
    JobThread* Worker() const { return m_worker.get(); }
    OwnerThread& Owner() const { return m_owner; }

private:
    void Run(JobThread& worker);
    void EndNotification(JobThread* worker, std::string error, bool failed);

    OwnerThread& m_owner;
    std::unique_ptr<JobThread> m_worker;
    bool m_destroying = false;
    int m_finished = 0;  // workers whose end notification has run and that were released
};

}  // namespace fraglane::jobs
