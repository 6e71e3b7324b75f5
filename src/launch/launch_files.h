#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/dir_content.h"

// The two files the launch texts are saved to, and the names offered for them.
namespace fraglane::launch {

enum class PopupMode { Config, Batch };

// The program's work folders beside it: the picture cache ExeDir + "levelshots\" and the
// repack's staging folder ExeDir + "temp\". The window and the CLI use the same ones.
std::string LevelshotsDirOf(std::string_view exeDir);
std::string TempDirOf(std::string_view exeDir);

// The folder of a mod: ExeDir + mod + "\".
std::string ModDirectory(std::string_view exeDir, std::string_view mod);
// ModDirectory + name: with no mod selected the backslash is doubled, which still
// names the game directory itself.
std::string ConfigFilePath(std::string_view exeDir, std::string_view mod, std::string_view cfgName);
// ConfigFilePath for saving: a cfg name that would leave the mod's folder (a ".." part, a
// leading "\" or "/", a drive) is refused with Error("Cannot create file <path>"). The game's
// exec refuses such names too, so no working name is lost.
std::string ConfigSavePath(std::string_view exeDir, std::string_view mod, std::string_view cfgName);
std::string BatchFilePath(std::string_view exeDir, std::string_view batName);
// BatchFilePath for saving, held to ConfigSavePath's rule: a batch name that would leave the
// game directory is refused with Error("Cannot create file <path>").
std::string BatchSavePath(std::string_view exeDir, std::string_view batName);

// The files of a directory that the name pop-up offers, in listing order: ".cfg" files but
// "q3config.cfg" in configuration mode, ".bat" files in batch mode, case ignored. Lists the
// directory with the given lister, as the pop-up does.
std::vector<std::string> PopupFiles(platform::TDirContent& lister, std::string_view directory,
                                    PopupMode mode);

// Both files are written anew as one step (platform::WriteFileAnew): a link or a hard link
// planted under the name is replaced, never written through, and so is a link at a folder
// on the way below the mod's folder; a folder under the name refuses the write. The game
// directory and the mod's folder themselves are the operator's and may be links.
// Writes the configuration file at ConfigSavePath (which refuses a name that leaves the
// mod's folder): every line with CR LF, the last one too.
void SaveConfigFile(std::string_view exeDir, std::string_view mod, std::string_view cfgName,
                    const std::vector<std::string>& lines);
// Writes the batch file at BatchSavePath: exactly the command line, no line end.
void SaveBatchFile(std::string_view exeDir, std::string_view batName, std::string_view commandLine);

// How the configuration file under a name stands to the composed text: what the server reads
// when it execs that name.
enum class SavedConfig { Same, Differs, Missing };
// Reads at most composed.size() + 1 bytes, so that a huge file is not read through; a folder,
// a device or a pipe under the name is not read at all and counts as Differs, as does a file
// that cannot be read. Throws nothing for what it finds there.
SavedConfig CompareSavedConfig(std::string_view path, std::string_view composed);

// The lines of a file that a page shows, CR LF, LF and CR alike. At most maxBytes are read,
// so that a huge file given that name cannot exhaust memory.
std::vector<std::string> LoadShownFile(std::string_view path, size_t maxBytes = 1 << 20);

}  // namespace fraglane::launch
