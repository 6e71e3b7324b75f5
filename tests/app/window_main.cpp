#include <QApplication>

#include <gtest/gtest.h>

#include "preview/jpeg.h"
#include "server/watcher.h"

// The window tests share one application object, offscreen unless told otherwise.
int main(int argc, char** argv) {
    // A server started by a window under test is watched by this program, as by the window's.
    if (fraglane::server::IsWatcherCall(argc, argv))
        return fraglane::server::RunWatcher(std::vector<std::string>(argv + 1, argv + argc));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const fraglane::preview::JpegRegistration jpeg;  // as the program has it
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
