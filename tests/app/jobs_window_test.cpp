#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>

#include "app/fake_desktop.h"
#include "app/window_controls.h"
#include "support/temp_dir.h"

namespace fraglane::app {
namespace {

using jobs::BackgroundJob;
using jobs::JobThread;

class JobWindow : public ::testing::Test {
protected:
    fraglane::test::GameDir game;
    test::FakeDesktop desktop;
    std::unique_ptr<T_Main> window =
        std::make_unique<T_Main>(game.Program(), game.Program() + "fraglane.ini", desktop);
    std::atomic<bool> started{false};

    // A scan-like body: reports, then works until it is told to stop, and ends as a stopped
    // scan does, with its final status text.
    void LoopUntilStopped(BackgroundJob& job) {
        job.OnExecute = [this](BackgroundJob&, JobThread& t, std::any& runData) {
            window->QueueStatusText(t, 0, "working... press <esc> to cancel");
            started = true;
            while (!t.Terminated())
                QThread::msleep(1);
            runData = std::string("done");
        };
    }
    void WaitUntilStarted() {
        QElapsedTimer timer;
        timer.start();
        while (!started && timer.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ASSERT_TRUE(started) << "the body never started";
        QCoreApplication::processEvents();
    }
    bool PagesEnabled() const {
        return window->PageControl->isEnabled() && window->PageConfig->isEnabled();
    }
};

TEST_F(JobWindow, EscStopsAScanThatThenReportsDone) {
    LoopUntilStopped(window->ThreadScanMaps);
    window->StartBusyJob(window->ThreadScanMaps);
    WaitUntilStarted();
    EXPECT_FALSE(window->PageControl->isEnabled());
    EXPECT_FALSE(window->PageConfig->isEnabled());
    EXPECT_EQ(window->StatusText(0), "working... press <esc> to cancel");
    QTest::keyClick(window.get(), Qt::Key_Escape);
    window->ThreadScanMaps.WaitFor();
    EXPECT_FALSE(window->ThreadScanMaps.IsRunning());
    EXPECT_TRUE(PagesEnabled());
    EXPECT_EQ(window->StatusText(0), "done");
    EXPECT_EQ(window->StatusText(1), "");
}

TEST_F(JobWindow, CloseIsRefusedWhileTheScanRunsAndAllowedAfter) {
    window->show();
    LoopUntilStopped(window->ThreadScanMaps);
    window->StartBusyJob(window->ThreadScanMaps);
    WaitUntilStarted();
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->ThreadScanMaps.IsRunning());
    window->FormKeyDown(Qt::Key_Escape);
    window->ThreadScanMaps.WaitFor();
    EXPECT_TRUE(window->close());
}

TEST_F(JobWindow, RepackStoppedShowsCancelledAndCompletedKeepsThePathWritten) {
    LoopUntilStopped(window->ThreadRepackMaps);
    window->StartBusyJob(window->ThreadRepackMaps);
    WaitUntilStarted();
    EXPECT_TRUE(window->FormCloseQuery());  // a running repack does not refuse the close
    QTest::keyClick(window->cCfgName, Qt::Key_Escape);
    window->ThreadRepackMaps.WaitFor();
    EXPECT_TRUE(PagesEnabled());
    EXPECT_EQ(window->StatusText(0), "cancelled");
    EXPECT_EQ(window->StatusText(1), "");
    EXPECT_EQ(window->StatusText(2), "");

    window->ThreadRepackMaps.OnExecute = [this](BackgroundJob&, JobThread& t, std::any&) {
        for (int i = 0; i < 200; ++i)
            window->QueueStatusText(t, 2, "step " + std::to_string(i));
        window->QueueStatusText(t, 1, "mod: baseq3");
    };
    window->StartBusyJob(window->ThreadRepackMaps);
    window->ThreadRepackMaps.WaitFor();
    EXPECT_EQ(window->StatusText(0), "repack done");
    EXPECT_EQ(window->StatusText(1), "");
    EXPECT_EQ(window->StatusText(2), "step 199");  // the last text set, after all the others
}

TEST_F(JobWindow, EscWithOnlyThePictureLoaderRunningDoesNothing) {
    // The picture job runs for the window's whole life.
    ASSERT_TRUE(window->ThreadGetMapImage.IsRunning());
    QTest::keyClick(window.get(), Qt::Key_Escape);
    QTest::qWait(20);
    EXPECT_TRUE(window->ThreadGetMapImage.IsRunning());
    EXPECT_FALSE(window->ThreadGetMapImage.Worker()->Terminated());
}

TEST_F(JobWindow, DestroyingTheWindowStopsEveryJobBeforeTheSettingsAreSaved) {
    LoopUntilStopped(window->ThreadRepackMaps);
    window->StartBusyJob(window->ThreadRepackMaps);
    WaitUntilStarted();
    window.reset();
    EXPECT_TRUE(game.Exists("fraglane.ini"));
}

TEST_F(JobWindow, BodyThatThrowsEndsTheRunAndShowsTheMessageAfterTheEndHandler) {
    window->ThreadScanMaps.OnExecute = [](BackgroundJob&, JobThread&, std::any&) {
        throw std::runtime_error("scan failed badly");
    };
    window->StartBusyJob(window->ThreadScanMaps);
    window->ThreadScanMaps.WaitFor();
    EXPECT_TRUE(PagesEnabled());
    EXPECT_EQ(window->StatusText(0), "");  // not done
    EXPECT_EQ(desktop.errors, QStringList{"scan failed badly"});
}

}  // namespace
}  // namespace fraglane::app
