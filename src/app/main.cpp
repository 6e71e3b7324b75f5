#include <QApplication>

#include "app/app_main.h"
#include "platform/file_system.h"

int main(int argc, char** argv) {
    fraglane::platform::FailWritesPastTheFileSizeLimit();
    QApplication app(argc, argv);
    fraglane::app::SystemDesktop desktop;
    return fraglane::app::RunFraglane(fraglane::platform::ProgramFile(), desktop);
}
