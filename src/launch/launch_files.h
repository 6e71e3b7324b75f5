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

// The files of a directory that the name pop-up offers, in listing order: ".cfg" files but
// "q3config.cfg" in configuration mode, ".bat" files in batch mode, case ignored. Lists the
// directory with the given lister, as the pop-up does.
std::vector<std::string> PopupFiles(platform::TDirContent& lister, std::string_view directory,
                                    PopupMode mode);

// Writes the configuration file: every line with CR LF, the last one too.
void SaveConfigFile(std::string_view path, const std::vector<std::string>& lines);
// Writes the batch file: exactly the command line, no line end.
void SaveBatchFile(std::string_view path, std::string_view commandLine);

// The lines of a file that a page shows, CR LF, LF and CR alike. At most maxBytes are read,
// so that a huge file given that name cannot exhaust memory.
std::vector<std::string> LoadShownFile(std::string_view path, size_t maxBytes = 1 << 20);

}  // namespace fraglane::launch
