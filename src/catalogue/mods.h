#pragma once

#include <string>
#include <vector>

#include "platform/dir_content.h"
#include "platform/profile_file.h"

namespace fraglane::catalogue {

struct ModDiscovery {
    std::vector<std::string> mods;
    // Folders that would be mods but whose names cannot be (a mod name goes into the batch
    // line, "+set fs_game x", and the batch file's name), one line each with the reason:
    // "skipped mod folder r&d: \"&\" cannot stand in a command line".
    std::vector<std::string> skipped;
};

// The mods of a game directory: its direct sub-directories that hold a file whose name
// contains ".pk3" (any case; an archive deeper down does not count), lower-cased, in the mod
// list's order. Lists with the given lister, as the window's one lister does.
ModDiscovery DiscoverMods(platform::TDirContent& lister, const std::string& exeDir);

// Writes "count" and "mod" + i of section "mods" as one replacement of the file; keys of a
// longer earlier list stay. Throws Error("Unable to write to %s").
void WriteModCatalogue(platform::ProfileFile& file, const std::vector<std::string>& mods);

}  // namespace fraglane::catalogue
