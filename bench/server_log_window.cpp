// The window following its game directory's server for a number of seconds, the server page
// shown or another page: prints the window's CPU seconds per second and its peak memory.
// bench/server_log_flood.sh runs it beside an idle window, with a flooding stand-in engine.
//   server_log_window GAME_DIR SECONDS server|other
#include <QApplication>
#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "../tests/app/window_controls.h"
#include "platform/file_system.h"
#include "silent_desktop.h"

namespace {

double CpuSeconds() {
    rusage use{};
    ::getrusage(RUSAGE_SELF, &use);
    return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

void RunFor(int milliseconds) {
    QTimer::singleShot(milliseconds, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string dir =
        fraglane::platform::IncludeTrailingBackslash(fraglane::platform::FromNative(argv[1]));
    SilentDesktop desktop;
    fraglane::app::T_Main window(dir, dir + "fraglane.ini", desktop);
    window.show();
    if (std::string(argv[3]) == "server")
        window.PageConfig->setCurrentWidget(window.TabServer);
    RunFor(3000);  // start-up and the log's first read are not what is measured
    const double cpu = CpuSeconds();
    const auto wall = std::chrono::steady_clock::now();
    RunFor(std::stoi(argv[2]) * 1000);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
    rusage use{};
    ::getrusage(RUSAGE_SELF, &use);
    std::fprintf(stderr, "the page holds %d lines\n", window.cServerLog->blockCount());
    std::printf("%.4f %ld\n", (CpuSeconds() - cpu) / seconds, use.ru_maxrss);
    return 0;
}
