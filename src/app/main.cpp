#include <QApplication>

#include "app/app_main.h"
#include "platform/file_system.h"
#include "server/watcher.h"

int main(int argc, char** argv) {
    // The server's watcher is this program started again: it runs before any window does.
    if (fraglane::server::IsWatcherCall(argc, argv))
        return fraglane::server::RunWatcher(std::vector<std::string>(argv + 1, argv + argc));
    fraglane::platform::FailWritesPastTheFileSizeLimit();
    QApplication app(argc, argv);
    fraglane::app::SystemDesktop desktop;
    return fraglane::app::RunFraglane(fraglane::platform::ProgramFile(), desktop);
}
