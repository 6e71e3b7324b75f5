#include "jobs/background_job.h"

namespace fraglane::jobs {

void JobThread::Synchronize(const JobDataEvent& method, std::any& data) {
    if (Terminated() || !method)
        return;
    Synchronize([this, &method, &data] { method(m_job, *this, data); });
}

void JobThread::Synchronize(const std::function<void()>& method) {
    if (Terminated() || !method)
        return;
    std::mutex mutex;
    std::condition_variable condition;
    bool done = false;
    std::exception_ptr error;
    m_job.Owner().Post([&] {
        try {
            method();
        } catch (...) {
            error = std::current_exception();
        }
        // Notified under the lock: the waiting worker owns these and may leave at once.
        std::lock_guard lock(mutex);
        done = true;
        condition.notify_all();
    });
    std::unique_lock lock(mutex);
    condition.wait(lock, [&] { return done; });
    if (error)
        std::rethrow_exception(error);
}

void JobThread::Queue(std::function<void()> call) {
    m_job.Owner().Post(std::move(call));
}

BackgroundJob::~BackgroundJob() {
    m_destroying = true;
    if (m_worker) {
        m_worker->m_stop.request_stop();
        WaitFor();
    }
}

void BackgroundJob::Start() {
    if (IsRunning())
        return;
    m_worker.reset(new JobThread(*this));
    JobThread* worker = m_worker.get();
    worker->m_thread = std::thread([this, worker] { Run(*worker); });
}

void BackgroundJob::Stop() {
    if (m_worker)
        m_worker->m_stop.request_stop();
}

void BackgroundJob::WaitFor() {
    if (!m_worker)
        return;
    const int target = m_finished + 1;
    m_owner.ServeUntil([this, target] { return m_finished >= target; });
}

void BackgroundJob::Run(JobThread& worker) {
    std::string error;
    bool failed = false;
    try {
        if (OnExecute)
            OnExecute(*this, worker, worker.m_data);
    } catch (const std::exception& e) {
        error = e.what();
        failed = true;
    } catch (...) {
        error = "unknown error";
        failed = true;
    }
    // The end notification runs on the owner's thread while this worker waits for it.
    m_owner.Post([this, &worker, error, failed] { EndNotification(&worker, error, failed); });
    std::unique_lock lock(worker.m_endMutex);
    worker.m_endCondition.wait(lock, [&] { return worker.m_endDone; });
}

void BackgroundJob::EndNotification(JobThread* worker, std::string error, bool failed) {
    // (1) forget the worker, so that the job no longer counts as running; (2) the end handler,
    // unless the job is being destroyed; then let the worker's thread end and release it.
    std::unique_ptr<JobThread> ended = std::move(m_worker);
    if (!m_destroying) {
        try {
            if (OnTerminate)
                OnTerminate(*this, *worker, worker->m_data);
        } catch (const std::exception& e) {
            if (!failed)
                error = e.what();
            failed = true;
        }
    }
    {
        std::lock_guard lock(worker->m_endMutex);
        worker->m_endDone = true;
    }
    worker->m_endCondition.notify_all();
    if (worker->m_thread.joinable())
        worker->m_thread.join();
    ended.reset();
    ++m_finished;
    if (failed && !m_destroying && OnError)
        OnError(error);
    m_owner.Post([] {});  // wakes an owner that waits in WaitFor
}

}  // namespace fraglane::jobs
