#include "settings/settings.h"

#include <algorithm>

namespace fraglane::settings {

namespace {

constexpr const char* Placement = "formplacement";
constexpr const char* Mods = "mods";
constexpr const char* Maps = "maps";
constexpr const char* Game = "game_options";
constexpr const char* Bots = "bots";
constexpr const char* Display = "display";
constexpr const char* Exec = "exec";
constexpr const char* Advanced = "advanced";

bool ReadCheck(platform::ProfileFile& f, const char* section, const char* key, int def) {
    return f.ReadInteger(section, key, def) == 1;
}

int ReadRadio(platform::ProfileFile& f, const char* section, const char* key, int def, int count) {
    return ClampIndex(f.ReadInteger(section, key, def), count);
}

}  // namespace

int ClampIndex(int index, int count) {
    if (index < -1)
        return -1;
    if (index >= count)
        return count - 1;
    return index;
}

Settings DefaultSettings() {
    // With no file every read gives its default: that is exactly what a first start shows.
    Settings s;
    launch::LaunchOptions& o = s.options;
    o.gametype = 0;
    o.timelimit = 15;
    o.fraglimit = 999;
    o.capturelimit = 99;
    o.doWarmup = true;
    o.warmup = 30;
    o.maxGameClients = 32;
    o.devmap = false;
    o.pure = true;
    o.dedicated = true;
    o.rconPassword = RconPlaceholder;
    o.friendlyFire = false;
    o.weaponRespawn = 0;
    o.weaponTeamRespawn = 0;
    o.forceRespawn = 0;
    o.hunkMegs = 100;
    o.allowDownload = false;
    o.inactivity = 90;
    o.displayMode = 4;
    o.fullscreen = o.dynamiclight = o.fastsky = o.lightmap = o.vertexLight = true;
    o.cfgName = "unknown.cfg";
    o.useQ3sdc = false;
    o.defragGametype = 0;
    o.movement = 0;
    return s;
}

Settings LoadSettings(platform::ProfileFile& f, const WindowPlacement& current) {
    using launch::LaunchOptions;
    const Settings d = DefaultSettings();
    const LaunchOptions& od = d.options;
    Settings s = d;
    LaunchOptions& o = s.options;

    s.placement.left = f.ReadInteger(Placement, "left", current.left);
    s.placement.top = f.ReadInteger(Placement, "top", current.top);
    s.placement.width = f.ReadInteger(Placement, "width", current.width);
    s.placement.height = f.ReadInteger(Placement, "Height", current.height);

    s.selectedMod = f.ReadString(Mods, "selected", d.selectedMod);
    o.selectedMap = f.ReadString(Maps, "selected", "");

    o.gametype = ReadRadio(f, Game, "g_gametype", od.gametype, launch::GametypeCount);
    o.timelimit = f.ReadInteger(Game, "timelimit", od.timelimit);
    o.fraglimit = f.ReadInteger(Game, "fraglimit", od.fraglimit);
    o.capturelimit = f.ReadInteger(Game, "capturelimit", od.capturelimit);
    o.doWarmup = ReadCheck(f, Game, "g_dowarmup", 1);
    o.warmup = f.ReadInteger(Game, "g_warmup", od.warmup);
    o.maxGameClients = f.ReadInteger(Game, "g_maxGameClients", od.maxGameClients);
    o.devmap = ReadCheck(f, Game, "devmap", 0);
    o.pure = ReadCheck(f, Game, "sv_pure", 1);
    o.dedicated = ReadCheck(f, Game, "dedicated", 1);
    o.rconPassword = f.ReadString(Game, "rconpassword", od.rconPassword);
    o.friendlyFire = ReadCheck(f, Game, "g_friendlyFire", 0);
    o.weaponRespawn = f.ReadInteger(Game, "g_weaponrespawn", od.weaponRespawn);
    o.weaponTeamRespawn = f.ReadInteger(Game, "g_weaponTeamrespawn", od.weaponTeamRespawn);
    o.forceRespawn = f.ReadInteger(Game, "g_forcerespawn", od.forceRespawn);
    o.hunkMegs = f.ReadInteger(Game, "com_hunkMegs", od.hunkMegs);
    o.allowDownload = ReadCheck(f, Game, "sv_allowDownload", 0);
    o.inactivity = f.ReadInteger(Game, "g_inactivity", od.inactivity);

    s.skill = f.ReadInteger(Bots, "skill", d.skill);
    s.team = f.ReadString(Bots, "team", d.team);
    const int count = std::min(f.ReadInteger(Bots, "selectedcount", 0), f.KeyCount(Bots));
    for (int i = 0; i < count; ++i) {
        o.selectedBots.push_back(f.ReadString(Bots, "selected" + std::to_string(i), ""));
    }

    o.displayMode = ReadRadio(f, Display, "r_mode", od.displayMode, launch::DisplayModeCount);
    o.fullscreen = ReadCheck(f, Display, "r_fullscreen", 1);
    o.dynamiclight = ReadCheck(f, Display, "r_dynamiclight", 1);
    o.fastsky = ReadCheck(f, Display, "r_fastsky", 1);
    o.lightmap = ReadCheck(f, Display, "r_lightmap", 1);
    o.vertexLight = ReadCheck(f, Display, "r_vertexLight", 1);

    o.cfgName = f.ReadString(Exec, "cfgname", od.cfgName);

    o.useQ3sdc = ReadCheck(f, Advanced, "useq3sdc", 0);
    o.pre = f.ReadString(Advanced, "pre_cmd", "");
    o.post = f.ReadString(Advanced, "post_cmd", "");
    o.defragGametype =
        ReadRadio(f, Advanced, "defrag_gametype", od.defragGametype, launch::DefragGametypeCount);
    o.movement = ReadRadio(f, Advanced, "movement", od.movement, launch::MovementCount);
    s.minOnStart = ReadCheck(f, Advanced, "minonstart", 0);
    return s;
}

void SaveSettings(platform::ProfileFile& f, const Settings& s) {
    const launch::LaunchOptions& o = s.options;
    platform::ProfileFile::Update update(f);
    auto flag = [](bool b) { return b ? 1 : 0; };

    f.WriteInteger(Placement, "left", s.placement.left);
    f.WriteInteger(Placement, "top", s.placement.top);
    f.WriteInteger(Placement, "width", s.placement.width);
    f.WriteInteger(Placement, "Height", s.placement.height);
    f.WriteString(Mods, "selected", s.selectedMod);
    f.WriteString(Maps, "selected", o.selectedMap);

    f.WriteInteger(Game, "g_gametype", o.gametype);
    f.WriteInteger(Game, "timelimit", o.timelimit);
    f.WriteInteger(Game, "fraglimit", o.fraglimit);
    f.WriteInteger(Game, "capturelimit", o.capturelimit);
    f.WriteInteger(Game, "g_dowarmup", flag(o.doWarmup));
    f.WriteInteger(Game, "g_warmup", o.warmup);
    f.WriteInteger(Game, "g_maxGameClients", o.maxGameClients);
    f.WriteInteger(Game, "devmap", flag(o.devmap));
    f.WriteInteger(Game, "sv_pure", flag(o.pure));
    f.WriteInteger(Game, "dedicated", flag(o.dedicated));
    f.WriteString(Game, "rconpassword", o.rconPassword);
    f.WriteInteger(Game, "g_friendlyFire", flag(o.friendlyFire));
    f.WriteInteger(Game, "g_weaponrespawn", o.weaponRespawn);
    f.WriteInteger(Game, "g_weaponTeamrespawn", o.weaponTeamRespawn);
    f.WriteInteger(Game, "g_forcerespawn", o.forceRespawn);
    f.WriteInteger(Game, "com_hunkMegs", o.hunkMegs);
    f.WriteInteger(Game, "sv_allowDownload", flag(o.allowDownload));
    f.WriteInteger(Game, "g_inactivity", o.inactivity);

    f.WriteInteger(Bots, "skill", s.skill);
    f.WriteString(Bots, "team", s.team);
    f.WriteInteger(Bots, "selectedcount", static_cast<int>(o.selectedBots.size()));
    for (size_t i = 0; i < o.selectedBots.size(); ++i) {
        f.WriteString(Bots, "selected" + std::to_string(i), o.selectedBots[i]);
    }

    f.WriteInteger(Display, "r_mode", o.displayMode);
    f.WriteInteger(Display, "r_fullscreen", flag(o.fullscreen));
    f.WriteInteger(Display, "r_dynamiclight", flag(o.dynamiclight));
    f.WriteInteger(Display, "r_fastsky", flag(o.fastsky));
    f.WriteInteger(Display, "r_lightmap", flag(o.lightmap));
    f.WriteInteger(Display, "r_vertexLight", flag(o.vertexLight));

    f.WriteString(Exec, "cfgname", o.cfgName);

    f.WriteInteger(Advanced, "useq3sdc", flag(o.useQ3sdc));
    f.WriteString(Advanced, "pre_cmd", o.pre);
    f.WriteString(Advanced, "post_cmd", o.post);
    f.WriteInteger(Advanced, "defrag_gametype", o.defragGametype);
    f.WriteInteger(Advanced, "movement", o.movement);
    f.WriteInteger(Advanced, "minonstart", flag(s.minOnStart));
    update.Commit();
}

}  // namespace fraglane::settings
