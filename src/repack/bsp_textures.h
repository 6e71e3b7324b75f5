#pragma once

#include <string_view>

#include "repack/name_list.h"

namespace fraglane::repack {

// The texture names of an extracted map file (TempDir + member): every "textures/" that a
// lower-case "t" starts, with the rest of its zero-terminated text, "/" turned to "\" and
// trimmed, goes to AddTexture. The map format is not parsed. A name that reaches the end of
// the file without its zero byte ends the scan and is not added.
void ScanBspTextures(RepackRun& run, std::string_view memberName);

// The same scan over bytes in memory.
void ScanBspBytes(RepackRun& run, std::string_view bytes);

}  // namespace fraglane::repack
