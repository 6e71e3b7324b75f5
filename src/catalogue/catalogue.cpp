#include "catalogue/catalogue.h"

#include <algorithm>
#include <optional>

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

// A stored list's name and mod keys, "<prefix><i>name" and "<prefix><i>mod", read as the
// profile reading reads them one by one (keys without regard to case, the first of duplicates
// counts, a missing key reads empty), but in one pass over the section: 100,000 maps cost
// their lines, not two lookups each.
class StoredList {
public:
    StoredList(platform::ProfileFile& file, const char* section, std::string_view prefix) {
        file.ForEachValue(section, [&](std::string_view key, std::string value) {
            if (text::EqualsIgnoreCase(key, "count")) {
                if (!m_count)
                    m_count = platform::ParseProfileInteger(value, 0);
                return;
            }
            int i = 0;
            std::vector<Slot>* column = Column(key, prefix, i);
            if (column == nullptr)
                return;
            if (column->size() <= static_cast<size_t>(i))
                column->resize(static_cast<size_t>(i) + 1);
            Slot& slot = (*column)[static_cast<size_t>(i)];
            if (!slot.set)
                slot = {std::move(value), true};
        });
    }
    // The stored count, never beyond the one fixed limit of every list: a hostile count cannot
    // make the reader allocate without bound.
    int Count() const { return std::min(m_count.value_or(0), platform::MaxStoredCount); }
    std::string Name(int i) { return Take(m_names, i); }
    std::string Mod(int i) { return Take(m_mods, i); }

private:
    struct Slot {
        std::string value;
        bool set = false;
    };
    // The column a key belongs to, with its row; null for any other key.
    std::vector<Slot>* Column(std::string_view key, std::string_view prefix, int& row) {
        if (key.size() <= prefix.size() ||
            !text::EqualsIgnoreCase(key.substr(0, prefix.size()), prefix))
            return nullptr;
        key.remove_prefix(prefix.size());
        size_t digits = 0;
        while (digits < key.size() && key[digits] >= '0' && key[digits] <= '9')
            ++digits;
        // The number as std::to_string writes it (no sign, no leading zero) and below the limit.
        if (digits == 0 || digits > 6 || (key[0] == '0' && digits > 1))
            return nullptr;
        row = std::stoi(std::string(key.substr(0, digits)));
        if (row >= platform::MaxStoredCount)
            return nullptr;
        const std::string_view suffix = key.substr(digits);
        return text::EqualsIgnoreCase(suffix, "name")  ? &m_names
               : text::EqualsIgnoreCase(suffix, "mod") ? &m_mods
                                                       : nullptr;
    }
    static std::string Take(std::vector<Slot>& column, int i) {
        const auto at = static_cast<size_t>(i);
        return at < column.size() ? std::move(column[at].value) : std::string();
    }

    std::optional<int> m_count;
    std::vector<Slot> m_names;
    std::vector<Slot> m_mods;
};

}  // namespace

void AppendNameKey(std::string& key, std::string_view name) {
    // The folded name ended by a NUL, which sorts a name before the longer ones it begins,
    // then the name itself for the tie.
    for (const char c : name)
        key += text::LowerAscii(c);
    key += '\0';
    key += name;
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
    StoredList list(file, "maps", "map");
    std::vector<CatalogueRow> rows;
    for (int i = 0; i < list.Count(); ++i) {
        std::string mod = list.Mod(i);
        if (!modFilter.empty() && mod != modFilter)
            continue;
        CatalogueRow row{std::move(mod), list.Name(i)};
        if (const std::string problem = text::CommandNameProblem(row.name); !problem.empty())
            Skip(skipped, "map", row, problem);
        else
            rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<CatalogueRow> ReadBotRows(platform::ProfileFile& file,
                                      std::vector<std::string>* skipped) {
    StoredList list(file, "bots", "bot");
    std::vector<CatalogueRow> rows;
    for (int i = 0; i < list.Count(); ++i) {
        CatalogueRow row{list.Mod(i), list.Name(i)};
        if (const std::string problem = text::CommandNameProblem(row.name); !problem.empty())
            Skip(skipped, "bot", row, problem);
        else
            rows.push_back(std::move(row));
    }
    return rows;
}

Lists ReadLists(platform::ProfileFile& file, std::string_view modFilter) {
    Lists lists;
    lists.maps = ReadMapRows(file, modFilter, &lists.skipped);
    lists.bots = ReadBotRows(file, &lists.skipped);
    SortRows(lists.maps);
    SortRows(lists.bots);
    return lists;
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

void SortRows(std::vector<CatalogueRow>& rows) {
    std::vector<std::pair<std::string, size_t>> keyed(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        AppendNameKey(keyed[i].first, rows[i].mod);
        keyed[i].first += '\0';
        AppendNameKey(keyed[i].first, rows[i].name);
        keyed[i].second = i;
    }
    std::sort(keyed.begin(), keyed.end());  // the index breaks ties: stable
    std::vector<CatalogueRow> sorted;
    sorted.reserve(rows.size());
    for (const auto& [key, i] : keyed)
        sorted.push_back(std::move(rows[i]));
    rows = std::move(sorted);
}

}  // namespace fraglane::catalogue
