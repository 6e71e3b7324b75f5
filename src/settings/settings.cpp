#include "settings/settings.h"

#include <algorithm>
#include <variant>

#include "platform/text.h"

namespace fraglane::settings {

namespace {

// How a key's text maps to its field: a plain integer, a check box (checked only for 1), a
// radio index (clamped to the group), a text, or a list (a count key and one key a line).
enum class Kind { Integer, Check, Radio, Text, List };

using IntField = int& (*)(Settings&);
using BoolField = bool& (*)(Settings&);
using TextField = std::string& (*)(Settings&);
using ListField = std::vector<std::string>& (*)(Settings&);

// One key of the settings file and the field it keeps. The read default of every key is that
// field's value in DefaultSettings (the placement's: the window's bounds before the restore).
// Every value is kept as read: what cannot go into the launch texts is left out there, and
// said, never dropped here, so that the next save writes it back unchanged.
enum class Rule {
    Any,
    MapList,  // the rotation: missing and empty lines are no entries
};

struct Key {
    const char* section;
    const char* name;
    Kind kind;
    std::variant<IntField, BoolField, TextField, ListField> field;
    int radioCount = 0;
    Rule rule = Rule::Any;
};

// expr names a member, which parentheses around it would break.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define FIELD(expr)              \
    +[](Settings & s) -> auto& { \
        return s.expr;           \
    }
// NOLINTEND(bugprone-macro-parentheses)

// Every key of the operator's state, in the order the file is written and the window is
// restored. The catalogue keys are not here: only the scans write them.
const Key Keys[] = {
    {"formplacement", "left", Kind::Integer, FIELD(placement.left)},
    {"formplacement", "top", Kind::Integer, FIELD(placement.top)},
    {"formplacement", "width", Kind::Integer, FIELD(placement.width)},
    {"formplacement", "Height", Kind::Integer, FIELD(placement.height)},
    {"mods", "selected", Kind::Text, FIELD(selectedMod)},
    {"maps", "selected", Kind::Text, FIELD(options.selectedMap)},
    {"maps", "rotate", Kind::Check, FIELD(options.rotate)},
    {"maps", "rotation", Kind::List, FIELD(options.rotation), 0, Rule::MapList},
    {"game_options", "g_gametype", Kind::Radio, FIELD(options.gametype), launch::GametypeCount},
    {"game_options", "timelimit", Kind::Integer, FIELD(options.timelimit)},
    {"game_options", "fraglimit", Kind::Integer, FIELD(options.fraglimit)},
    {"game_options", "capturelimit", Kind::Integer, FIELD(options.capturelimit)},
    {"game_options", "g_dowarmup", Kind::Check, FIELD(options.doWarmup)},
    {"game_options", "g_warmup", Kind::Integer, FIELD(options.warmup)},
    {"game_options", "g_maxGameClients", Kind::Integer, FIELD(options.maxGameClients)},
    {"game_options", "devmap", Kind::Check, FIELD(options.devmap)},
    {"game_options", "sv_pure", Kind::Check, FIELD(options.pure)},
    {"game_options", "dedicated", Kind::Check, FIELD(options.dedicated)},
    {"game_options", "rconpassword", Kind::Text, FIELD(options.rconPassword)},
    {"game_options", "g_friendlyFire", Kind::Check, FIELD(options.friendlyFire)},
    {"game_options", "g_weaponrespawn", Kind::Integer, FIELD(options.weaponRespawn)},
    {"game_options", "g_weaponTeamrespawn", Kind::Integer, FIELD(options.weaponTeamRespawn)},
    {"game_options", "g_forcerespawn", Kind::Integer, FIELD(options.forceRespawn)},
    {"game_options", "com_hunkMegs", Kind::Integer, FIELD(options.hunkMegs)},
    {"game_options", "sv_allowDownload", Kind::Check, FIELD(options.allowDownload)},
    {"game_options", "g_inactivity", Kind::Integer, FIELD(options.inactivity)},
    {"bots", "skill", Kind::Integer, FIELD(skill)},
    {"bots", "team", Kind::Text, FIELD(team)},
    {"bots", "selected", Kind::List, FIELD(options.selectedBots)},
    {"display", "r_mode", Kind::Radio, FIELD(options.displayMode), launch::DisplayModeCount},
    {"display", "r_fullscreen", Kind::Check, FIELD(options.fullscreen)},
    {"display", "r_dynamiclight", Kind::Check, FIELD(options.dynamiclight)},
    {"display", "r_fastsky", Kind::Check, FIELD(options.fastsky)},
    {"display", "r_lightmap", Kind::Check, FIELD(options.lightmap)},
    {"display", "r_vertexLight", Kind::Check, FIELD(options.vertexLight)},
    {"exec", "cfgname", Kind::Text, FIELD(options.cfgName)},
    {"advanced", "useq3sdc", Kind::Check, FIELD(options.useQ3sdc)},
    {"advanced", "pre_cmd", Kind::Text, FIELD(options.pre)},
    {"advanced", "post_cmd", Kind::Text, FIELD(options.post)},
    {"advanced", "defrag_gametype", Kind::Radio, FIELD(options.defragGametype),
     launch::DefragGametypeCount},
    {"advanced", "movement", Kind::Radio, FIELD(options.movement), launch::MovementCount},
    {"advanced", "minonstart", Kind::Check, FIELD(minOnStart)},
    {EngineSection, EngineKey, Kind::Text, FIELD(engine)},
    {EngineSection, "crashrestart", Kind::Check, FIELD(crashRestart)},
};

#undef FIELD

void ReadKey(platform::ProfileFile& f, const Key& k, Settings& into, Settings& defaults) {
    if (const auto* field = std::get_if<IntField>(&k.field)) {
        const int value = f.ReadInteger(k.section, k.name, (*field)(defaults));
        (*field)(into) = k.kind == Kind::Radio ? ClampIndex(value, k.radioCount) : value;
    } else if (const auto* check = std::get_if<BoolField>(&k.field)) {
        (*check)(into) = f.ReadInteger(k.section, k.name, (*check)(defaults) ? 1 : 0) == 1;
    } else if (const auto* textField = std::get_if<TextField>(&k.field)) {
        (*textField)(into) = f.ReadString(k.section, k.name, (*textField)(defaults));
    } else {
        const ListField list = std::get<ListField>(k.field);
        const std::string countKey = std::string(k.name) + "count";
        // Missing lines read as empty ones, up to the one fixed limit of every list.
        const int count = std::min(f.ReadInteger(k.section, countKey, 0), platform::MaxStoredCount);
        std::vector<std::string>& lines = list(into);
        lines.clear();
        for (int i = 0; i < count; ++i) {
            std::string line = f.ReadString(k.section, k.name + std::to_string(i), "");
            if (k.rule == Rule::MapList && line.empty())
                continue;
            lines.push_back(std::move(line));
        }
    }
}

void WriteKey(platform::ProfileFile& f, const Key& k, Settings& from) {
    if (const auto* field = std::get_if<IntField>(&k.field)) {
        f.WriteInteger(k.section, k.name, (*field)(from));
    } else if (const auto* check = std::get_if<BoolField>(&k.field)) {
        f.WriteInteger(k.section, k.name, (*check)(from) ? 1 : 0);
    } else if (const auto* text = std::get_if<TextField>(&k.field)) {
        f.WriteString(k.section, k.name, (*text)(from));
    } else {
        const std::vector<std::string>& lines = std::get<ListField>(k.field)(from);
        f.WriteInteger(k.section, std::string(k.name) + "count", static_cast<int>(lines.size()));
        for (size_t i = 0; i < lines.size(); ++i)
            f.WriteString(k.section, k.name + std::to_string(i), lines[i]);
    }
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
    // The one place of the defaults: a first start shows these, and every read falls back
    // to them.
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
    Settings defaults = DefaultSettings();
    defaults.placement = current;
    Settings s = defaults;
    for (const Key& k : Keys)
        ReadKey(f, k, s, defaults);
    return s;
}

void SaveSettings(platform::ProfileFile& f, const Settings& settings) {
    Settings s = settings;
    platform::ProfileFile::Update update(f);
    for (const Key& k : Keys)
        WriteKey(f, k, s);
    update.Commit();
}

}  // namespace fraglane::settings
