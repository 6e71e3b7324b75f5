#pragma once

#include <QString>
#include <QTimer>

#include <deque>

#include "app/main_window.h"
#include "server/supervisor.h"

namespace fraglane::app {

// What the window keeps of the game directory's server: the supervisor that looks after it,
// the timer that ticks it, and whether the window is minimized once a start is proven.
struct T_Main::ServerWatch {
    ServerWatch(std::string exeDir, std::string program)
        : supervisor(std::move(exeDir), std::move(program)) {}

    QTimer timer;
    server::Supervisor supervisor;
    bool minimizeWhenProven = false;
    // Log lines not yet in the page (it is not shown): the last Supervisor::LogLines.
    std::deque<QString> pending;
};

}  // namespace fraglane::app
