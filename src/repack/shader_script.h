#pragma once

#include <string>
#include <string_view>

#include "repack/repack_run.h"

// Reading the game's shader scripts for the names a repacked map needs.
namespace fraglane::repack {

// A "skyparms" line with an "env\" box adds its six images (base + "_bk", "_dn", "_ft",
// "_lf", "_rt", "_up"). The line is prepared: trimmed, lower-cased, "/" turned to "\".
void AddSkyTextures(RepackRun& run, std::string_view line);

// Reads an extracted shader script: inside each wanted shader (a name line equal to an entry
// of TextureList, alone on its line) the images its lines name are added, sky boxes too.
// Names added while the script is read count for its later lines and for later scripts. A
// script that defines no wanted shader is deleted. Returns whether the script was kept.
bool ParseShaderFile(RepackRun& run, const std::string& path);

// A path that names no existing file: the path itself, or with a counter before its
// extension ("scripts\common.shader", then "common1.shader", "common2.shader", ...).
std::string UniqueFileName(const std::string& path);

}  // namespace fraglane::repack
