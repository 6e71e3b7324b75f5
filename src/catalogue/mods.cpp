#include "catalogue/mods.h"

#include "catalogue/catalogue.h"

namespace fraglane::catalogue {

std::vector<std::string> DiscoverMods(launch::TDirContent& lister, const std::string& exeDir) {
    lister.SetDirectory(exeDir);
    const std::vector<std::string> directories = lister.DirList();
    std::vector<std::string> mods;
    for (const std::string& name : directories) {
        lister.SetDirectory(exeDir + name);
        if (lister.ContainsFile(".pk3", false))
            mods.push_back(name);
    }
    SortModNames(mods);
    return mods;
}

void WriteModCatalogue(platform::ProfileFile& file, const std::vector<std::string>& mods) {
    platform::ProfileFile::Update update(file);
    file.WriteInteger("mods", "count", static_cast<int>(mods.size()));
    for (size_t i = 0; i < mods.size(); ++i)
        file.WriteString("mods", "mod" + std::to_string(i), mods[i]);
    update.Commit();
}

}  // namespace fraglane::catalogue
