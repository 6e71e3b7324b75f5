#include "catalogue/mods.h"

#include "catalogue/catalogue.h"
#include "platform/text.h"

namespace fraglane::catalogue {

ModDiscovery DiscoverMods(platform::TDirContent& lister, const std::string& exeDir) {
    lister.SetDirectory(exeDir);
    const std::vector<std::string> directories = lister.DirList();
    ModDiscovery found;
    for (const std::string& name : directories) {
        lister.SetDirectory(exeDir + name);
        if (!lister.ContainsFile(".pk3", false))
            continue;
        if (IsModName(name))
            found.mods.push_back(name);
        else if (const std::string problem = text::PlainNameProblem(name); !problem.empty())
            found.skipped.push_back("skipped mod folder " + text::PrintableName(name) + ": " +
                                    problem);  // the work folders were never names: not said
    }
    SortModNames(found.mods);
    return found;
}

void WriteModCatalogue(platform::ProfileFile& file, const std::vector<std::string>& mods) {
    platform::ProfileFile::Update update(file);
    file.WriteInteger("mods", "count", static_cast<int>(mods.size()));
    for (size_t i = 0; i < mods.size(); ++i)
        file.WriteString("mods", "mod" + std::to_string(i), mods[i]);
    update.Commit();
}

}  // namespace fraglane::catalogue
