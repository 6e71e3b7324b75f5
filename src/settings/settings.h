#pragma once

#include <string>

#include "launch/compose.h"
#include "launch/game_directory.h"
#include "platform/profile_file.h"

namespace fraglane::settings {

struct WindowPlacement {
    int left = 327;
    int top = 173;
    int width = 674;
    int height = 575;
};

// The operator's state as the settings file keeps it (every key but the catalogue ones).
// options.mod is not stored: the mod is the "mods"/"selected" text, chosen from the mod list
// by exact comparison (ChooseMod).
struct Settings {
    WindowPlacement placement;
    std::string selectedMod = "baseq3";
    launch::LaunchOptions options;
    int skill = 5;
    std::string team = "blue";
    bool minOnStart = false;
    // The server program that "start" runs on Linux, with any words of its own; "" finds one.
    std::string engine;
    // Whether the server's watcher starts it again after a crash (Linux).
    bool crashRestart = false;
};

// The one-character placeholder of the rcon password, in the form and as the key's default.
inline constexpr const char* RconPlaceholder = "*";

// Where the engine setting is kept (the start-up check in launch reads it before the window
// exists).
using launch::EngineKey;
using launch::EngineSection;

// What a first start shows: every default of the settings file, no mod chosen yet.
Settings DefaultSettings();

// Reads every stored key in the window's restore order. current gives the defaults of the
// window placement (the window's bounds before the restore).
Settings LoadSettings(platform::ProfileFile& file,
                      const WindowPlacement& current = WindowPlacement{});

// Writes every key of the operator's state, in the documented order, as one replacement of
// the file. Never writes a catalogue key. Throws Error("Unable to write to %s").
void SaveSettings(platform::ProfileFile& file, const Settings& settings);

// Radio indices as stored: below -1 reads as -1 (none), past the end as the last item.
int ClampIndex(int index, int count);

}  // namespace fraglane::settings
