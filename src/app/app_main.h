#pragma once

#include <string>

#include "app/desktop.h"

namespace fraglane::app {

// The entry point's work once the application object exists: the start-up check beside
// programFile (program path text), then the window and its message loop. Returns the exit code.
int RunFraglane(const std::string& programFile, Desktop& desktop);

// The settings file of a program file: its extension replaced by ".ini", or ".ini" added.
std::string SettingsFileOf(const std::string& programFile);

}  // namespace fraglane::app
