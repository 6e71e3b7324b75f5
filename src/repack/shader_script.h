#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "repack/name_list.h"

// Reading the game's shader scripts for the names a repacked map needs.
namespace fraglane::repack {

// A "skyparms" line with an "env\" box adds its six images (base + "_bk", "_dn", "_ft",
// "_lf", "_rt", "_up"). The line is prepared: trimmed, lower-cased, "/" turned to "\".
void AddSkyTextures(RepackRun& run, std::string_view line);

// Reads an extracted shader script: inside each wanted shader (a name line equal to an entry
// of TextureList, alone on its line) the images its lines name are added, sky boxes too.
// Names added while the script is read count for its later lines and for later scripts. A
// script that defines no wanted shader is deleted; a kept one adds every shader name it
// defines to Shaders. Returns whether the script was kept.
bool ParseShaderFile(RepackRun& run, const std::string& path);

// A path that names no existing file: the path itself, or with a counter before its
// extension ("scripts\common.shader", then "common1.shader", "common2.shader", ...).
std::string UniqueFileName(const std::string& path);

// UniqueFileName for a folder that only its owner fills (the staging folder's scripts): its
// names are read once and then kept here, and each name remembers the counter it reached, so
// that thousands of scripts of one name cost a lookup each, not a folder read per name tried.
class UniqueNames {
public:
    explicit UniqueNames(const std::string& folder);
    // What UniqueFileName would give for path, now taken.
    std::string Claim(const std::string& path);
    // Gives back the last name claimed (its file was removed again): the next claim of that
    // name takes it, as UniqueFileName would.
    void Release(const std::string& path);

private:
    std::unordered_set<std::string> m_taken;          // folded paths
    std::unordered_map<std::string, int> m_counters;  // folded path -> the counter to try first
};

}  // namespace fraglane::repack
