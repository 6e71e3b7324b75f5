#pragma once

#include "jobs/owner_thread.h"

namespace fraglane::app {

// The window's thread as the jobs' owner: hand-overs are queued calls of the application's
// event loop, served in order; waiting serves them too, but no user input meanwhile.
class QtOwnerThread : public jobs::OwnerThread {
public:
    void Post(std::function<void()> call) override;
    void ServeUntil(const std::function<bool()>& done) override;
};

}  // namespace fraglane::app
