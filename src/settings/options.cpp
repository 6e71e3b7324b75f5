#include "settings/options.h"

#include <algorithm>

#include "settings/settings.h"

namespace fraglane::settings {

namespace {

using O = launch::LaunchOptions;
using Kind = OptionRow::Kind;

const OptionRow Rows[] = {
    {&O::rotate, Kind::Check, 0, "maps", "rotate", "cRotate",
     "play the listed maps in turn (nextmap chain)"},
    {&O::gametype, Kind::Radio, 0, "game_options", "g_gametype", "cGametype", "g_gametype", "",
     launch::GametypeCount},
    {&O::timelimit, Kind::Integer, 15, "game_options", "timelimit", "cTimelimit",
     "timelimit (minutes)"},
    {&O::fraglimit, Kind::Integer, 999, "game_options", "fraglimit", "cFraglimit", "fraglimit"},
    {&O::capturelimit, Kind::Integer, 99, "game_options", "capturelimit", "cCapturelimit",
     "capturelimit"},
    {&O::doWarmup, Kind::Check, 1, "game_options", "g_dowarmup", "cDoWarmup", "g_dowarmup"},
    {&O::warmup, Kind::Integer, 30, "game_options", "g_warmup", "cWarmup", "g_warmup (minutes)"},
    {&O::maxGameClients, Kind::Integer, 32, "game_options", "g_maxGameClients", "cMaxGameClients",
     "g_maxGameClients & sv_maxclients"},
    {&O::devmap, Kind::Check, 0, "game_options", "devmap", "cDevmap", "devmap"},
    {&O::pure, Kind::Check, 1, "game_options", "sv_pure", "cPure",
     "sv_pure (if 1 maps used only in pk3 files)"},
    {&O::dedicated, Kind::Check, 1, "game_options", "dedicated", "cDedicated",
     "dedicated (server console mode)"},
    {&O::rconPassword, Kind::Text, 0, "game_options", "rconpassword", "cRconPassword",
     "rconpassword", RconPlaceholder},
    {&O::friendlyFire, Kind::Check, 0, "game_options", "g_friendlyFire", "cFriendlyFire",
     "g_friendlyFire (0 for safe)"},
    {&O::weaponRespawn, Kind::Integer, 0, "game_options", "g_weaponrespawn", "cWeaponRespawn",
     "g_weaponrespawn (seconds)"},
    {&O::weaponTeamRespawn, Kind::Integer, 0, "game_options", "g_weaponTeamrespawn",
     "cWeaponTeamRespawn", "g_weaponTeamrespawn (seconds)"},
    {&O::forceRespawn, Kind::Integer, 0, "game_options", "g_forcerespawn", "cForceRespawn",
     "g_forcerespawn (seconds)"},
    {&O::hunkMegs, Kind::Integer, 100, "game_options", "com_hunkMegs", "cCom_HunkMegs",
     "com_hunkMegs (memory for quake in Mb)"},
    {&O::allowDownload, Kind::Check, 0, "game_options", "sv_allowDownload", "cAllowDownload",
     "sv_allowDownload"},
    {&O::inactivity, Kind::Integer, 90, "game_options", "g_inactivity", "cInactivity",
     "g_inactivity"},
    {&O::displayMode, Kind::Radio, 4, "display", "r_mode", "cDisplayMode", "r_mode", "",
     launch::DisplayModeCount},
    {&O::fullscreen, Kind::Check, 1, "display", "r_fullscreen", "cFullscreen", "r_fullscreen"},
    {&O::dynamiclight, Kind::Check, 1, "display", "r_dynamiclight", "cDynamiclight",
     "r_dynamiclight"},
    {&O::fastsky, Kind::Check, 1, "display", "r_fastsky", "cFastsky",
     "r_fastsky (no skies, no throw teleport view)"},
    {&O::lightmap, Kind::Check, 1, "display", "r_lightmap", "cLightmap", "r_lightmap"},
    {&O::vertexLight, Kind::Check, 1, "display", "r_vertexLight", "cVertexLight", "r_vertexLight"},
    {&O::useQ3sdc, Kind::Check, 0, "advanced", "useq3sdc", "cUseQ3sdc", ""},
    {&O::pre, Kind::Text, 0, "advanced", "pre_cmd", "cPre", ""},
    {&O::post, Kind::Text, 0, "advanced", "post_cmd", "cPost", ""},
    {&O::defragGametype, Kind::Radio, 0, "advanced", "defrag_gametype", "cDefragGametype",
     "df_gametype", "", launch::DefragGametypeCount},
    {&O::movement, Kind::Radio, 0, "advanced", "movement", "cMovement", "", "",
     launch::MovementCount},
};

}  // namespace

std::span<const OptionRow> OptionRows() {
    return Rows;
}

const OptionRow* OptionOfControl(std::string_view control) {
    const auto* row = std::find_if(std::begin(Rows), std::end(Rows),
                                   [&](const OptionRow& r) { return r.control == control; });
    return row == std::end(Rows) ? nullptr : row;
}

}  // namespace fraglane::settings
