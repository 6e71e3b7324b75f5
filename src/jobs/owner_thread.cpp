#include "jobs/owner_thread.h"

namespace fraglane::jobs {

void PlainOwnerThread::Post(std::function<void()> call) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(call));
    }
    m_posted.notify_all();
}

void PlainOwnerThread::ServeUntil(const std::function<bool()>& done) {
    for (;;) {
        std::function<void()> call;
        {
            std::unique_lock lock(m_mutex);
            while (m_queue.empty()) {
                lock.unlock();
                if (done())
                    return;
                lock.lock();
                if (m_queue.empty())
                    m_posted.wait(lock);
            }
            call = std::move(m_queue.front());
            m_queue.pop_front();
        }
        call();
    }
}

}  // namespace fraglane::jobs
