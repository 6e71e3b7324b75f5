#pragma once

#include <QTimer>

#include <chrono>
#include <optional>

#include "app/main_window.h"
#include "platform/datagram.h"
#include "server/server_run.h"

namespace fraglane::app {

// What the window knows of the game directory's server: the process it started or found, its
// log as far as shown, the status query in flight, and a stop or start under way.
struct T_Main::ServerWatch {
    using Clock = std::chrono::steady_clock;

    explicit ServerWatch(std::string_view exeDir) : log(exeDir) {}

    QTimer timer;  // ticks the log, the liveness and the status query
    std::optional<server::ServerRecord> running;
    server::LogFollower log;
    std::optional<server::ServerStatus> status;
    platform::LoopbackQuery query;
    bool queryOpen = false;
    Clock::time_point lastQuery{};
    // A start not yet proven: an end before then is a failed start, said in a box.
    std::optional<Clock::time_point> proofUntil;
    bool minimizeWhenProven = false;
    // A stop under way: when it began, whether the kill has been sent, and whether the
    // composed line starts once the server has ended.
    std::optional<Clock::time_point> stopSince;
    bool killed = false;
    bool startAfterStop = false;
};

}  // namespace fraglane::app
