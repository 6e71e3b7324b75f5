#pragma once

#include <string>
#include <string_view>
#include <vector>

// What makes a folder a game directory: quake3.exe, or where start runs the engine itself, an
// engine beside the program or named by the settings; and the Windows reading of a command
// line that the engine setting is given in.
namespace fraglane::launch {

// Where the settings name the engine: engine=<path> [words] in section [advanced].
inline constexpr const char* EngineSection = "advanced";
inline constexpr const char* EngineKey = "engine";
// What an engine's file name beside the program begins with.
inline constexpr std::string_view EnginePrefix = "ioq3ded";

// The words of a command line as Windows hands them to a program: blanks (space, tab)
// separate; double quotes group and are dropped ("My Server" is one word); inside quotes ""
// is one quote; 2n backslashes before a quote give n backslashes and the quote groups, 2n+1
// give n and a literal quote; other backslashes stand as they are. The first word, the
// program, is read as Windows reads it: up to the first blank, quotes grouping, no escapes.
std::vector<std::string> SplitCommandWords(std::string_view line);

// The engines beside the program ("ioq3ded*", executable), as native paths in name order.
std::vector<std::string> EnginesBeside(std::string_view exeDir);
// Whether the game directory has an engine of its own beside the program ("ioq3ded*").
bool EngineBesideProgram(std::string_view exeDir);

// Whether this folder may be used as the game directory: it holds quake3.exe, or (where start
// runs the engine itself) an engine lies beside the program or the settings file names one.
bool IsGameDirectory(std::string_view exeDir, const std::string& iniPath);
// The start-up refusal's text, with how to name an engine where start runs one.
std::string StartupRefusalText();

}  // namespace fraglane::launch
