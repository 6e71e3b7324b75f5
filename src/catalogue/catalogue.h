#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/profile_file.h"

// The catalogue as the settings file stores it: section "mods" (count, mod0...), "maps"
// (count, map0name, map0mod, ...) and "bots" (count, bot0name, bot0mod, ...). Readers go by
// "count" alone; keys beyond it are left over from a longer list and ignored.
namespace fraglane::catalogue {

struct CatalogueRow {
    std::string mod;
    std::string name;
    bool operator==(const CatalogueRow&) const = default;
};

// Rows of the catalogue that cannot be listed go into skipped, when given, one line each
// with the reason ("left out catalogue map r&d (baseq3): \"&\" cannot stand in a command
// line"): a settings file from an older version or from elsewhere may hold them.

// The mod names in the order the mod list keeps them (sorted without regard to case); names
// that cannot be mods (IsModName) are left out, as discovery leaves them out.
std::vector<std::string> ReadModList(platform::ProfileFile& file,
                                     std::vector<std::string>* skipped = nullptr);
// The index of the first mod that equals the stored selection exactly (case counts), or -1.
int ChooseModIndex(const std::vector<std::string>& mods, std::string_view selected);
// That mod's name, or empty.
std::string ChooseMod(const std::vector<std::string>& mods, std::string_view selected);
// Sorts mod names as the mod list does: ASCII letters folded, equal names in their order.
void SortModNames(std::vector<std::string>& mods);

// Whether a name may be a mod: a plain folder name (text::IsPlainName) or empty (a missing
// row), and not one of the program's own work folders, "levelshots" and "temp" (any case).
bool IsModName(std::string_view name);
// Why a name cannot be a mod; empty when it can.
std::string ModNameProblem(std::string_view name);

// Map rows of the catalogue; a non-empty filter keeps the rows whose mod equals it exactly.
// The name key of a row that the filter drops is not read. Rows whose name is not
// command-safe are left out: they come from archives and would reach the batch file.
std::vector<CatalogueRow> ReadMapRows(platform::ProfileFile& file, std::string_view modFilter,
                                      std::vector<std::string>* skipped = nullptr);
// Bot rows of the catalogue, command-safe names only.
std::vector<CatalogueRow> ReadBotRows(platform::ProfileFile& file,
                                      std::vector<std::string>* skipped = nullptr);

// Both lists as the window shows them: sorted, with the lines of the rows left out.
struct Lists {
    std::vector<CatalogueRow> maps;
    std::vector<CatalogueRow> bots;
    std::vector<std::string> skipped;
};
Lists ReadLists(platform::ProfileFile& file, std::string_view modFilter);

// The roster line that adds a bot to the game: "addbot <bot> <skill> <team>".
std::string RosterLine(std::string_view bot, int skill, std::string_view team);

// Whether a map of mapMod cannot be loaded while mod runs: it is neither a base map
// ("baseq3", any case) nor of the running mod (ASCII case folded).
bool CannotLoadInMod(std::string_view mapMod, std::string_view mod);

// Writes the map and bot catalogue as one replacement of the file: "count" and, for each row
// in order, its name and mod keys ("map0name", "map0mod", ...; "bot0name", ...). Keys of a
// longer earlier catalogue stay. Throws Error("Unable to write to %s").
void WriteCatalogue(platform::ProfileFile& file, const std::vector<CatalogueRow>& maps,
                    const std::vector<CatalogueRow>& bots);

// Text order of the lists: ASCII letters folded first, then bytes, so that the order is total.
// Appends to key the bytes whose byte order is that order (a NUL may follow for the next key).
void AppendNameKey(std::string& key, std::string_view name);
// The lists' sort order: mod first, name second, both ascending; equal rows keep their order.
void SortRows(std::vector<CatalogueRow>& rows);

}  // namespace fraglane::catalogue
