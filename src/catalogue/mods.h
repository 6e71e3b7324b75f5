#pragma once

#include <string>
#include <vector>

#include "launch/dir_content.h"
#include "platform/profile_file.h"

namespace fraglane::catalogue {

// The mods of a game directory: its direct sub-directories that hold a file whose name
// contains ".pk3" (any case; an archive deeper down does not count), lower-cased, in the mod
// list's order. Lists with the given lister, as the window's one lister does.
std::vector<std::string> DiscoverMods(launch::TDirContent& lister, const std::string& exeDir);

// Writes "count" and "mod" + i of section "mods" as one replacement of the file; keys of a
// longer earlier list stay. Throws Error("Unable to write to %s").
void WriteModCatalogue(platform::ProfileFile& file, const std::vector<std::string>& mods);

}  // namespace fraglane::catalogue
