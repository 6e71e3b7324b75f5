#pragma once

#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "archive/pk3_archive.h"
#include "platform/dir_content.h"

// The repack: the selected maps with everything they need, gathered from the mods' archives
// into the staging folder and written into one new archive there. A job body.
namespace fraglane::repack {

struct RepackRow {
    std::string map;  // as catalogued: lower-case
    std::string mod;
};

struct RepackInputs {
    std::string exeDir;           // program path text, trailing "\"
    std::string levelshotsDir;    // the picture cache
    std::string tempDir;          // the staging folder
    std::vector<RepackRow> rows;  // the selected rows, in selection order
};

struct RepackSink {
    std::function<void(int panel, const std::string& text)> status;
    // Optional: archive done of total begins (1-based), counted afresh in each phase.
    std::function<void(int done, int total)> progress;
};

struct RepackResult {
    std::string archivePath;  // empty when stopped
    bool stopped = false;
    // What went in ("maps\q3dm17.bsp from ...\pak0.pk3") and what was wanted but not found
    // ("missing textures\sfx\flame1side"), one item a line.
    std::vector<std::string> report;
};

// Runs the whole repack with the given archive object and lister, which nobody else uses
// meanwhile. Stops at the stop checks (before each archive, after each map file, between
// phases) and then writes no archive. Errors of one archive end that archive silently;
// copying a level shot or writing the archive throws Error (and leaves no archive).
RepackResult RepackMaps(const RepackInputs& inputs, archive::Pk3Archive& zip,
                        platform::TDirContent& lister, std::stop_token stop,
                        const RepackSink& sink);

// The new archive's name: the map + ".pk3" for one row, else the count + "maps.pk3".
std::string OutputName(const std::vector<RepackRow>& rows);

}  // namespace fraglane::repack
