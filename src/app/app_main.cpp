#include "app/app_main.h"

#include <QApplication>

#include "app/main_window.h"
#include "launch/game_directory.h"
#include "platform/file_system.h"
#include "preview/jpeg.h"

namespace fraglane::app {

std::string SettingsFileOf(const std::string& programFile) {
    return platform::ChangeFileExt(programFile, ".ini");
}

int RunFraglane(const std::string& programFile, Desktop& desktop) {
    const std::string exeDir = platform::ExtractFilePath(programFile);
    if (!launch::IsGameDirectory(exeDir, SettingsFileOf(programFile))) {
        // Nothing is created before this check: no settings file, no work directories.
        desktop.ShowStartupError(QString::fromStdString(launch::StartupRefusalText()));
        return 0;
    }
    QApplication::setApplicationName(QStringLiteral("Fraglane"));
    const preview::JpegRegistration jpeg;  // for the program's whole run
    T_Main window(exeDir, SettingsFileOf(programFile), desktop);
    window.show();
    return QApplication::exec();
}

}  // namespace fraglane::app
