#include "jobs/background_job.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <vector>

namespace fraglane::jobs {
namespace {

using namespace std::chrono_literals;

// A body's stop point that a test can hold until it lets go.
struct Gate {
    std::mutex mutex;
    std::condition_variable condition;
    bool open = false;
    void Open() {
        {
            std::lock_guard lock(mutex);
            open = true;
        }
        condition.notify_all();
    }
    void Wait() {
        std::unique_lock lock(mutex);
        condition.wait(lock, [&] { return open; });
    }
};

class JobTest : public ::testing::Test {
protected:
    PlainOwnerThread owner;
    std::thread::id ownerId = std::this_thread::get_id();
};

TEST_F(JobTest, HandOversRunInOrderOnTheOwnerThreadBeforeTheEndHandler) {
    BackgroundJob job(owner);
    std::vector<std::string> seen;
    bool allOnOwner = true;
    job.OnExecute = [&](BackgroundJob&, JobThread& t, std::any&) {
        for (int i = 0; i < 50; ++i) {
            t.Queue([&, i] {
                allOnOwner = allOnOwner && std::this_thread::get_id() == ownerId;
                seen.push_back("queued " + std::to_string(i));
            });
        }
        t.Synchronize([&] { seen.push_back("synchronized"); });
    };
    job.OnTerminate = [&](BackgroundJob& sender, JobThread& t, std::any&) {
        EXPECT_EQ(&sender, &job);
        EXPECT_FALSE(job.IsRunning());
        EXPECT_FALSE(t.Terminated());
        seen.push_back("end");
    };
    job.Start();
    EXPECT_TRUE(job.IsRunning());
    job.WaitFor();
    EXPECT_FALSE(job.IsRunning());
    ASSERT_EQ(seen.size(), 52u);
    EXPECT_EQ(seen[0], "queued 0");
    EXPECT_EQ(seen[49], "queued 49");
    EXPECT_EQ(seen[50], "synchronized");
    EXPECT_EQ(seen[51], "end");
    EXPECT_TRUE(allOnOwner);
}

TEST_F(JobTest, StopEndsTheBodyAtItsNextStopPoint) {
    BackgroundJob job(owner);
    Gate started;
    std::atomic<int> rounds{0};
    bool terminatedSeen = false;
    job.OnExecute = [&](BackgroundJob&, JobThread& t, std::any&) {
        started.Open();
        while (!t.Terminated()) {
            ++rounds;
            std::this_thread::sleep_for(1ms);
        }
    };
    job.OnTerminate = [&](BackgroundJob&, JobThread& t, std::any&) {
        terminatedSeen = t.Terminated();
    };
    job.Start();
    started.Wait();
    job.Stop();
    job.WaitFor();
    EXPECT_TRUE(terminatedSeen);
    EXPECT_GE(rounds.load(), 0);
}

TEST_F(JobTest, StartWhileRunningIsIgnoredAndEachRunGetsANewWorker) {
    BackgroundJob job(owner);
    Gate release;
    std::atomic<int> runs{0};
    std::vector<JobThread*> workers;
    job.OnExecute = [&](BackgroundJob&, JobThread& t, std::any& data) {
        EXPECT_FALSE(data.has_value());
        data = 42;
        ++runs;
        if (runs == 1)
            release.Wait();
        t.Synchronize([&] { workers.push_back(&t); });
    };
    int dataAtEnd = 0;
    job.OnTerminate = [&](BackgroundJob&, JobThread&, std::any& data) {
        dataAtEnd = std::any_cast<int>(data);
    };
    job.Start();
    job.Start();
    release.Open();
    job.WaitFor();
    EXPECT_EQ(runs.load(), 1);
    EXPECT_EQ(dataAtEnd, 42);
    job.Start();
    job.WaitFor();
    EXPECT_EQ(runs.load(), 2);
}

TEST_F(JobTest, WaitForCompletesWhileTheWorkerIsBlockedInSynchronize) {
    BackgroundJob job(owner);
    Gate inBody;
    bool handedOver = false;
    job.OnExecute = [&](BackgroundJob&, JobThread& t, std::any&) {
        inBody.Open();
        std::this_thread::sleep_for(20ms);  // the owner is already waiting
        t.Synchronize([&] { handedOver = true; });
    };
    job.Start();
    inBody.Wait();
    job.WaitFor();  // would deadlock if waiting did not serve the hand-over
    EXPECT_TRUE(handedOver);
}

TEST_F(JobTest, SynchronizeIsSkippedOnceTerminatedAndRethrowsWhatTheMethodRaises) {
    BackgroundJob job(owner);
    bool skippedRan = false;
    std::string caught;
    std::atomic<bool> rethrown{false};
    Gate stopped;
    job.OnExecute = [&](BackgroundJob&, JobThread& t, std::any&) {
        try {
            t.Synchronize([] { throw std::runtime_error("from the owner"); });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        rethrown = true;
        t.Queue([] {});  // wakes the owner
        stopped.Wait();
        t.Synchronize([&] { skippedRan = true; });
        std::any none;
        t.Synchronize(JobDataEvent(), none);  // no method: nothing happens
    };
    job.Start();
    owner.ServeUntil([&] { return rethrown.load(); });
    job.Stop();
    stopped.Open();
    job.WaitFor();
    EXPECT_EQ(caught, "from the owner");
    EXPECT_FALSE(skippedRan);
}

TEST_F(JobTest, BodyThatThrowsEndsTheRunAndReportsAfterTheEndHandler) {
    BackgroundJob job(owner);
    std::vector<std::string> order;
    job.OnExecute = [](BackgroundJob&, JobThread&, std::any&) {
        throw std::runtime_error("broken body");
    };
    job.OnTerminate = [&](BackgroundJob&, JobThread&, std::any&) { order.push_back("end"); };
    job.OnError = [&](const std::string& message) { order.push_back("error: " + message); };
    job.Start();
    job.WaitFor();
    EXPECT_FALSE(job.IsRunning());
    EXPECT_EQ(order, (std::vector<std::string>{"end", "error: broken body"}));
    job.Start();  // the job can run again
    job.WaitFor();
    EXPECT_EQ(order.size(), 4u);
}

TEST_F(JobTest, DestructionDuringARunStopsWaitsAndSkipsTheEndHandler) {
    Gate started;
    bool ended = false;
    std::atomic<bool> bodyReturned{false};
    {
        BackgroundJob job(owner);
        job.OnExecute = [&](BackgroundJob&, JobThread& t, std::any&) {
            started.Open();
            while (!t.Terminated())
                std::this_thread::sleep_for(1ms);
            bodyReturned = true;
        };
        job.OnTerminate = [&](BackgroundJob&, JobThread&, std::any&) { ended = true; };
        job.Start();
        started.Wait();
    }
    EXPECT_TRUE(bodyReturned.load());
    EXPECT_FALSE(ended);
}

TEST_F(JobTest, StopAndWaitForDoNothingWhenIdle) {
    BackgroundJob job(owner);
    job.Stop();
    job.WaitFor();
    EXPECT_FALSE(job.IsRunning());
    EXPECT_EQ(job.Worker(), nullptr);
}

}  // namespace
}  // namespace fraglane::jobs
