#pragma once

#include <string>
#include <vector>

namespace fraglane::launch {

// Number of items of each radio group of the window, for reading stored indices.
inline constexpr int GametypeCount = 8;
inline constexpr int DisplayModeCount = 12;
inline constexpr int DefragGametypeCount = 4;
inline constexpr int MovementCount = 3;

// Everything the launch texts are made from, as the option controls hold it. Spin edits are
// their values, radio groups their indices (-1: none selected), edits their text unchanged.
struct LaunchOptions {
    // game options
    int gametype = 0;
    int timelimit = 0;
    int fraglimit = 0;
    int capturelimit = 0;
    bool doWarmup = false;
    int warmup = 0;
    int maxGameClients = 0;
    bool devmap = false;
    bool pure = false;
    bool dedicated = false;
    std::string rconPassword;
    bool friendlyFire = false;
    int weaponRespawn = 0;
    int weaponTeamRespawn = 0;
    int forceRespawn = 0;
    int hunkMegs = 0;
    bool allowDownload = false;
    int inactivity = 0;
    // map page
    std::string mod;  // the selected mod's text; empty when none is selected
    std::string selectedMap;
    // bots page
    std::vector<std::string> selectedBots;
    // rotation page: the maps played in turn, when rotate is on and at least two are listed
    bool rotate = false;
    std::vector<std::string> rotation;
    // display
    int displayMode = -1;
    bool fullscreen = false;
    bool dynamiclight = false;
    bool fastsky = false;
    bool lightmap = false;
    bool vertexLight = false;
    // ready page
    std::string cfgName;
    // advanced
    bool useQ3sdc = false;
    std::string pre;
    std::string post;
    int defragGametype = -1;
    int movement = -1;
};

struct LaunchTexts {
    std::string commandLine;               // the batch file's one line
    std::vector<std::string> configLines;  // the seta lines of the configuration
    std::string batchName;                 // the automatic batch-file name
    // What the texts leave out, one line each with its reason ("left out map dm_hall+beta:
    // \"+\" cannot stand in a command line"), in the order of the options.
    std::vector<std::string> leftOut;
};

// Which of the typed names hold what a settings file gave (one written elsewhere, perhaps):
// those are checked before they go into the texts. What the operator typed goes in as typed.
struct StoredNames {
    bool map = true;
    bool cfgName = true;
    bool rconPassword = true;  // a value of the config: what would end its line stays out
};

// Builds the three launch texts from scratch. Nothing typed is quoted or escaped: the game
// gets exactly what the operator wrote. A stored name that would act as more than a name in
// the batch line (the map, the cfg name; every rotation entry and bot line, which the window
// only fills with catalogued names) is left out of the texts and listed in leftOut; the
// options themselves keep it, so that it is saved back as it was.
LaunchTexts Compose(const LaunchOptions& options, StoredNames stored = {});

// Whether the rotation takes part in the texts: on, with at least two maps listed.
bool RotationActive(const LaunchOptions& options);

// One status text for lines of names left out or skipped: how many, and the first line ("3
// names left out; left out map a+b: ..."), so that the count shows in a narrow panel.
std::string LeftOutSummary(const std::vector<std::string>& lines);

// The configuration file's bytes: every line followed by CR LF, the last one too.
std::string ConfigFileText(const std::vector<std::string>& lines);

}  // namespace fraglane::launch
