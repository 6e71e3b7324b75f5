#pragma once

#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "archive/pk3_archive.h"
#include "catalogue/catalogue.h"
#include "platform/dir_content.h"
#include "platform/profile_file.h"

// The map and bot scan: every ".pk3" of every mod, its maps and bot character files, their
// pictures copied into the picture cache, and the catalogue written when the scan was not
// stopped. A job body: its inputs are copies, its progress goes to a sink, and it stops at
// the stop token before each archive.
namespace fraglane::catalogue {

struct ScanInputs {
    std::string exeDir;             // program path text, trailing "\"
    std::string levelshotsDir;      // the picture cache, trailing "\"
    std::vector<std::string> mods;  // the mod list's entries, in list order
};

// Where the scan's progress goes, in the order it happens.
struct ScanSink {
    std::function<void(int panel, const std::string& text)> status;
    std::function<void(const CatalogueRow& row)> mapRow;
    std::function<void(const CatalogueRow& row)> botRow;
    // Optional: archive done of total begins (1-based), over every mod.
    std::function<void(int done, int total)> progress;
};

struct ScanResult {
    std::vector<CatalogueRow> maps;  // in discovery order, as the catalogue keys hold them
    std::vector<CatalogueRow> bots;
    // Map and bot names that are not command-safe (or empty): no row, no picture, no key.
    // One line each, with member, archive and reason: "skipped maps/r&d.bsp in
    // baseq3/maps.pk3: \"&\" cannot stand in a command line".
    std::vector<std::string> skippedNames;
    int picturesExtracted = 0;
    bool stopped = false;  // the catalogue was not written
    // Archives whose work ended early, with the reason (the window says nothing of them).
    std::vector<std::pair<std::string, std::string>> archiveFailures;
    // Pictures of the cache that were not written, with the reason: their name is taken (by a
    // folder, a link, anything) or their member cannot be read. Each costs its picture only;
    // the map or bot keeps its row and the archive is read on.
    std::vector<std::pair<std::string, std::string>> pictureFailures;
};

inline constexpr const char* ScanStartText = "scaning maps and bots... press <esc> to cancel";
inline constexpr const char* ScanRunningText = "another scan of this game directory is running";

// Runs the scan with the given archive object, directory lister and settings file, which
// nobody else uses meanwhile. Writes the map and bot catalogue keys unless stopped. One scan
// of a settings file runs at a time: the scan holds the file's job lock from its start to
// its end, and throws Error(ScanRunningText) at once when another scan holds it.
ScanResult ScanMaps(const ScanInputs& inputs, archive::Pk3Archive& zip,
                    platform::TDirContent& lister, platform::ProfileFile& settings,
                    const std::stop_token& stop, const ScanSink& sink);

// What a scan found: "100 maps, 24 bots".
std::string ScanCountText(const ScanResult& result);
// The final status text of a scan, for the window's status bar and the CLI: "done",
// "done, 3 names skipped", "done, 1 picture not written" or both; with counts, "done: 100 maps,
// 24 bots" and the rest.
std::string ScanDoneText(size_t skippedNames, size_t picturesNotWritten,
                         std::string_view counts = {});

// A map is a member under "maps\" (any case, any depth) with the extension ".bsp"; its name
// is the file name without its last extension, lower-cased.
bool IsMapMember(std::string_view member);
std::string MapNameOf(std::string_view member);
// A bot character file is a member whose whole name contains "_c.c" (any case); the bot's
// name is its file name less the last 4 characters, case kept.
bool IsBotMember(std::string_view member);
std::string BotNameOf(std::string_view member);

}  // namespace fraglane::catalogue
