#include "catalogue/catalogue.h"

#include <algorithm>

#include "platform/text.h"

namespace fraglane::catalogue {

namespace {

// A stored count gives empty rows for missing keys, up to the one fixed limit of every list:
// a hostile count cannot make the reader allocate without bound.
int BoundedCount(platform::ProfileFile& file, const char* section) {
    return std::min(file.ReadInteger(section, "count", 0), platform::MaxStoredCount);
}

void Skip(std::vector<std::string>* skipped, std::string_view kind, const CatalogueRow& row,
          const std::string& problem) {
    if (skipped == nullptr)
        return;
    std::string line =
        "left out catalogue " + std::string(kind) + " " + text::PrintableName(row.name);
    if (!row.mod.empty())
        line += " (" + text::PrintableName(row.mod) + ")";
    skipped->push_back(line + ": " + problem);
}

}  // namespace

int CompareNames(std::string_view a, std::string_view b) {
    const int folded = text::CompareIgnoreCase(a, b);
    return folded != 0 ? folded : a.compare(b);
}

std::string ModNameProblem(std::string_view name) {
    // An empty row of a stored list stays, as the lists keep rows of missing keys.
    if (name.empty())
        return {};
    std::string problem = text::PlainNameProblem(name);
    if (problem.empty() &&
        (text::EqualsIgnoreCase(name, "levelshots") || text::EqualsIgnoreCase(name, "temp")))
        problem = "it is one of the program's own folders";
    return problem;
}

bool IsModName(std::string_view name) {
    return ModNameProblem(name).empty();
}

void SortModNames(std::vector<std::string>& mods) {
    std::stable_sort(mods.begin(), mods.end(), [](const std::string& a, const std::string& b) {
        return text::CompareIgnoreCase(a, b) < 0;
    });
}

std::vector<std::string> ReadModList(platform::ProfileFile& file,
                                     std::vector<std::string>* skipped) {
    platform::ProfileFile::Update reading(file);
    const int count = BoundedCount(file, "mods");
    std::vector<std::string> mods;
    for (int i = 0; i < count; ++i) {
        std::string mod = file.ReadString("mods", "mod" + std::to_string(i), "");
        if (const std::string problem = ModNameProblem(mod); !problem.empty())
            Skip(skipped, "mod", {{}, mod}, problem);
        else
            mods.push_back(std::move(mod));
    }
    reading.Commit();
    SortModNames(mods);
    return mods;
}

int ChooseModIndex(const std::vector<std::string>& mods, std::string_view selected) {
    const auto it = std::find(mods.begin(), mods.end(), selected);
    return it == mods.end() ? -1 : static_cast<int>(it - mods.begin());
}

std::string ChooseMod(const std::vector<std::string>& mods, std::string_view selected) {
    const int index = ChooseModIndex(mods, selected);
    return index < 0 ? std::string() : mods[static_cast<size_t>(index)];
}

std::string RosterLine(std::string_view bot, int skill, std::string_view team) {
    return "addbot " + std::string(bot) + " " + std::to_string(skill) + " " + std::string(team);
}

bool CannotLoadInMod(std::string_view mapMod, std::string_view mod) {
    return !text::EqualsIgnoreCase(mapMod, "baseq3") && !text::EqualsIgnoreCase(mapMod, mod);
}

std::vector<CatalogueRow> ReadMapRows(platform::ProfileFile& file, std::string_view modFilter,
                                      std::vector<std::string>* skipped) {
    platform::ProfileFile::Update reading(file);
    const int count = BoundedCount(file, "maps");
    std::vector<CatalogueRow> rows;
    for (int i = 0; i < count; ++i) {
        const std::string prefix = "map" + std::to_string(i);
        std::string mod = file.ReadString("maps", prefix + "mod", "");
        if (!modFilter.empty() && mod != modFilter)
            continue;
        CatalogueRow row{std::move(mod), file.ReadString("maps", prefix + "name", "")};
        if (const std::string problem = text::CommandNameProblem(row.name); !problem.empty())
            Skip(skipped, "map", row, problem);
        else
            rows.push_back(std::move(row));
    }
    reading.Commit();
    return rows;
}

std::vector<CatalogueRow> ReadBotRows(platform::ProfileFile& file,
                                      std::vector<std::string>* skipped) {
    platform::ProfileFile::Update reading(file);
    const int count = BoundedCount(file, "bots");
    std::vector<CatalogueRow> rows;
    for (int i = 0; i < count; ++i) {
        const std::string prefix = "bot" + std::to_string(i);
        std::string name = file.ReadString("bots", prefix + "name", "");
        CatalogueRow row{file.ReadString("bots", prefix + "mod", ""), std::move(name)};
        if (const std::string problem = text::CommandNameProblem(row.name); !problem.empty())
            Skip(skipped, "bot", row, problem);
        else
            rows.push_back(std::move(row));
    }
    reading.Commit();
    return rows;
}

void WriteCatalogue(platform::ProfileFile& file, const std::vector<CatalogueRow>& maps,
                    const std::vector<CatalogueRow>& bots) {
    platform::ProfileFile::Update update(file);
    auto write = [&](const char* section, const char* prefix,
                     const std::vector<CatalogueRow>& rows) {
        file.WriteInteger(section, "count", static_cast<int>(rows.size()));
        for (size_t i = 0; i < rows.size(); ++i) {
            const std::string key = prefix + std::to_string(i);
            file.WriteString(section, key + "name", rows[i].name);
            file.WriteString(section, key + "mod", rows[i].mod);
        }
    };
    write("maps", "map", maps);
    write("bots", "bot", bots);
    update.Commit();
}

bool RowLess(const CatalogueRow& a, const CatalogueRow& b) {
    const int byMod = CompareNames(a.mod, b.mod);
    if (byMod != 0)
        return byMod < 0;
    return CompareNames(a.name, b.name) < 0;
}

void SortRows(std::vector<CatalogueRow>& rows) {
    std::stable_sort(rows.begin(), rows.end(), RowLess);
}

}  // namespace fraglane::catalogue
