#include "launch/compose.h"

#include "platform/text.h"

namespace fraglane::launch {

namespace {

const char* Flag(bool checked) {
    return checked ? "1" : "0";
}

const char* GametypeAbbreviation(int gametype) {
    switch (gametype) {
        case 0:
            return "ffa";
        case 1:
            return "1x1";
        case 3:
            return "teamdm";
        case 4:
            return "ctf";
        case 5:
            return "1ctf";
        default:
            return "";  // single player, overload, harvester and none have no abbreviation
    }
}

// The nextmap chain: each entry loads its map and points nextmap at the next one (the last
// back at the first), because the game resets nextmap whenever a map loads; "rotation"
// starts the chain at the entry after the selected map.
void AddRotation(const LaunchOptions& o, std::vector<std::string>& cfg) {
    const size_t n = o.rotation.size();
    const char* load = o.devmap ? "devmap " : "map ";
    size_t start = 0;
    for (size_t i = 0; i < n; ++i) {
        cfg.push_back("set rotation" + std::to_string(i) + " \"" + load + o.rotation[i] +
                      "; set nextmap vstr rotation" + std::to_string((i + 1) % n) + "\"");
    }
    for (size_t i = 0; i < n; ++i) {
        if (text::EqualsIgnoreCase(o.rotation[i], o.selectedMap)) {
            start = (i + 1) % n;
            break;
        }
    }
    cfg.push_back("set rotation \"set nextmap vstr rotation" + std::to_string(start) + "\"");
}

void LeaveOut(std::vector<std::string>& leftOut, std::string_view what, std::string_view value,
              const std::string& problem) {
    leftOut.push_back("left out " + std::string(what) + " " + text::PrintableName(value) + ": " +
                      problem);
}

std::string CfgNameProblem(std::string_view cfgName) {
    if (cfgName.empty())
        return {};
    std::string problem = text::CommandNameProblem(cfgName);
    if (problem.empty() && !text::StaysInside(cfgName))
        problem = "it would lead out of the mod's folder";
    return problem;
}

// The options with every name taken out that cannot stand in the batch line as it is.
LaunchOptions UsableOptions(const LaunchOptions& given, StoredNames stored,
                            std::vector<std::string>& leftOut) {
    LaunchOptions o = given;
    if (stored.map && !o.selectedMap.empty()) {
        if (std::string problem = text::PlainNameProblem(o.selectedMap); !problem.empty()) {
            LeaveOut(leftOut, "map", o.selectedMap, problem);
            o.selectedMap.clear();
        }
    }
    std::erase_if(o.rotation, [&](const std::string& map) {
        std::string problem = text::PlainNameProblem(map);
        if (!problem.empty())
            LeaveOut(leftOut, "rotation entry", map, problem);
        return !problem.empty();
    });
    std::erase_if(o.selectedBots, [&](const std::string& line) {
        std::string problem = text::CommandLineProblem(line);
        if (!problem.empty())
            LeaveOut(leftOut, "bot line", line, problem);
        return !problem.empty();
    });
    if (std::string problem =
            stored.rconPassword ? text::ConfigValueProblem(o.rconPassword) : std::string();
        !problem.empty()) {
        // The password itself is not shown where anyone may read the status bar.
        leftOut.push_back("left out the rcon password: " + problem);
        o.rconPassword.clear();
    }
    if (std::string problem = stored.cfgName ? CfgNameProblem(o.cfgName) : std::string();
        !problem.empty()) {
        LeaveOut(leftOut, "cfg name", o.cfgName, problem);
        o.cfgName.clear();
    }
    return o;
}

}  // namespace

bool RotationActive(const LaunchOptions& options) {
    return options.rotate && options.rotation.size() >= 2;
}

LaunchTexts Compose(const LaunchOptions& options, StoredNames stored) {
    using std::to_string;
    LaunchTexts out;
    const LaunchOptions o = UsableOptions(options, stored, out.leftOut);
    std::string& cmd = out.commandLine;
    std::vector<std::string>& cfg = out.configLines;
    const bool isBaseq3 = text::EqualsIgnoreCase(o.mod, "baseq3");

    cmd = o.useQ3sdc ? "q3sdc.exe" : "quake3.exe";
    cmd += " " + o.pre + " ";
    cmd += std::string(" +set dedicated ") + Flag(o.dedicated);
    cmd += " +set com_hunkmegs " + to_string(o.hunkMegs);
    cmd += std::string(" +set sv_pure ") + Flag(o.pure);
    if (!o.dedicated) {
        cmd += " +set r_mode " + to_string(o.displayMode);
        cmd += std::string(" +set r_fullscreen ") + Flag(o.fullscreen);
        cmd += std::string(" +set r_dynamiclight ") + Flag(o.dynamiclight);
        cmd += std::string(" +set r_fastsky ") + Flag(o.fastsky);
        cmd += std::string(" +set r_lightmap ") + Flag(o.lightmap);
        cmd += std::string(" +set r_vertexLight ") + Flag(o.vertexLight);
    }
    if (text::EqualsIgnoreCase(o.mod, "defrag")) {
        cmd += " +set df_gametype " + to_string(o.defragGametype);
    }

    cfg.push_back("seta g_gametype " + to_string(o.gametype));
    cfg.push_back("seta timelimit " + to_string(o.timelimit));
    cfg.push_back("seta fraglimit " + to_string(o.fraglimit));
    cfg.push_back("seta capturelimit " + to_string(o.capturelimit));
    cfg.push_back(std::string("seta g_dowarmup ") + Flag(o.doWarmup));
    cfg.push_back("seta g_warmup " + to_string(o.warmup));
    cfg.push_back("seta g_maxGameClients " + to_string(o.maxGameClients));
    cfg.push_back("seta sv_maxclients " + to_string(o.maxGameClients));
    cfg.push_back("seta rconpassword " + o.rconPassword);
    cfg.push_back(std::string("seta g_friendlyFire ") + Flag(o.friendlyFire));
    cfg.push_back("seta g_weaponrespawn " + to_string(o.weaponRespawn));
    cfg.push_back("seta g_weaponTeamrespawn " + to_string(o.weaponTeamRespawn));
    cfg.push_back("seta g_forcerespawn " + to_string(o.forceRespawn));
    cfg.push_back(std::string("seta sv_allowDownload ") + Flag(o.allowDownload));
    cfg.push_back("seta g_inactivity " + to_string(o.inactivity));

    if (o.movement == 1) {
        cfg.insert(cfg.end(),
                   {"seta pmove_fixed 1", "seta pmove_msec 8", "seta g_synchronousClients 0"});
    } else if (o.movement == 2) {
        cfg.insert(cfg.end(), {"seta sv_maxfps 125", "seta pmove_fixed 1", "seta pmove_msec 4",
                               "seta g_synchronousClients 1"});
    }

    if (RotationActive(o))
        AddRotation(o, cfg);

    // An empty mod is "not baseq3" too: the line then ends in " +set fs_game ".
    if (!isBaseq3)
        cmd += " +set fs_game " + o.mod;
    cmd += " +exec " + o.cfgName;
    cmd += (o.devmap ? " +devmap " : " +map ") + o.selectedMap;
    if (RotationActive(o))
        cmd += " +vstr rotation";  // after the map: its loading resets nextmap
    cmd += " " + o.post;
    for (const std::string& line : o.selectedBots)
        cmd += " +" + line;
    if (o.useQ3sdc)
        cmd += " +set sdr_waitForClients 1 +sdrecord";

    out.batchName =
        isBaseq3 ? "runmap_" + o.selectedMap + "_" : "runmap_" + o.mod + "_" + o.selectedMap + "_";
    out.batchName += GametypeAbbreviation(o.gametype);
    out.batchName += ".bat";
    return out;
}

std::string LeftOutSummary(const std::vector<std::string>& lines) {
    if (lines.empty())
        return {};
    if (lines.size() == 1)
        return lines.front();
    return std::to_string(lines.size()) + " names left out; " + lines.front();
}

std::string ConfigFileText(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

}  // namespace fraglane::launch
