#include "settings/settings.h"

#include <algorithm>
#include <functional>
#include <type_traits>
#include <variant>

#include "settings/options.h"

#include "platform/text.h"

namespace fraglane::settings {

namespace {

using Kind = OptionRow::Kind;
enum class KeyKind { Value, List };

using IntField = std::function<int&(Settings&)>;
using BoolField = std::function<bool&(Settings&)>;
using TextField = std::function<std::string&(Settings&)>;
using ListField = std::function<std::vector<std::string>&(Settings&)>;

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
    const char* name;  // null: the option rows of the section go here
    std::variant<IntField, BoolField, TextField, ListField> field;
    Kind kind = Kind::Integer;
    int radioCount = 0;
    Rule rule = Rule::Any;
};

// expr names a member, which parentheses around it would break.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define FIELD(expr)             \
    [](Settings & s) -> auto& { \
        return s.expr;          \
    }
// NOLINTEND(bugprone-macro-parentheses)

// Every key of the operator's state beside the options, in the order the file is written and
// the window is restored, with the places of the option rows. The catalogue keys are not here:
// only the scans write them.
const Key OwnKeys[] = {
    {"formplacement", "left", FIELD(placement.left)},
    {"formplacement", "top", FIELD(placement.top)},
    {"formplacement", "width", FIELD(placement.width)},
    {"formplacement", "Height", FIELD(placement.height)},
    {"mods", "selected", FIELD(selectedMod), Kind::Text},
    {"maps", "selected", FIELD(options.selectedMap), Kind::Text},
    {"maps", nullptr, {}},
    {"maps", "rotation", FIELD(options.rotation), Kind::Text, 0, Rule::MapList},
    {"game_options", nullptr, {}},
    {"bots", "skill", FIELD(skill)},
    {"bots", "team", FIELD(team), Kind::Text},
    {"bots", "selected", FIELD(options.selectedBots), Kind::Text},
    {"display", nullptr, {}},
    {"exec", "cfgname", FIELD(options.cfgName), Kind::Text},
    {"advanced", nullptr, {}},
    {"advanced", "minonstart", FIELD(minOnStart), Kind::Check},
    {EngineSection, EngineKey, FIELD(engine), Kind::Text},
    {EngineSection, "crashrestart", FIELD(crashRestart), Kind::Check},
};

// An option row as a key of the file.
Key KeyOf(const OptionRow& row) {
    Key key{row.section, row.key, {}, row.kind, row.radioCount};
    std::visit(
        [&](auto member) {
            key.field = [member](Settings & s) -> auto& {
                return s.options.*member;
            };
        },
        row.field);
    return key;
}

// The own keys with the option rows in their places.
const std::vector<Key>& Keys() {
    static const std::vector<Key> keys = [] {
        std::vector<Key> all;
        for (const Key& own : OwnKeys) {
            if (own.name != nullptr) {
                all.push_back(own);
                continue;
            }
            for (const OptionRow& row : OptionRows()) {
                if (std::string_view(row.section) == own.section)
                    all.push_back(KeyOf(row));
            }
        }
        return all;
    }();
    return keys;
}

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
        const ListField& list = std::get<ListField>(k.field);
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
    for (const OptionRow& row : OptionRows()) {
        std::visit(
            [&](auto member) {
                auto& field = s.options.*member;
                using T = std::decay_t<decltype(field)>;
                if constexpr (std::is_same_v<T, std::string>)
                    field = row.defaultText;
                else
                    field = static_cast<T>(row.defaultValue);
            },
            row.field);
    }
    s.options.cfgName = "unknown.cfg";
    return s;
}

Settings LoadSettings(platform::ProfileFile& f, const WindowPlacement& current) {
    Settings defaults = DefaultSettings();
    defaults.placement = current;
    Settings s = defaults;
    for (const Key& k : Keys())
        ReadKey(f, k, s, defaults);
    return s;
}

void SaveSettings(platform::ProfileFile& f, const Settings& settings) {
    Settings s = settings;
    platform::ProfileFile::Update update(f);
    for (const Key& k : Keys())
        WriteKey(f, k, s);
    update.Commit();
}

}  // namespace fraglane::settings
