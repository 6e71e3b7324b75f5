#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The engine that "start" runs on Linux, and the words it is given.
namespace fraglane::server {

// The words of a command line as Windows hands them to a program: blanks (space, tab)
// separate; double quotes group and are dropped ("My Server" is one word); inside quotes ""
// is one quote; 2n backslashes before a quote give n backslashes and the quote groups, 2n+1
// give n and a literal quote; other backslashes stand as they are. The first word, the
// program, is read as Windows reads it: up to the first blank, quotes grouping, no escapes.
std::vector<std::string> SplitCommandWords(std::string_view line);

// The engine setting resolved: the program (a native path) and its own words after it.
// setting: the "engine" text (a path, optionally followed by words of its own), or "" for the
// first of: a file beside the program whose name begins with "ioq3ded" (in name order),
// "ioq3ded" on pathVariable, /usr/lib/ioquake3/ioq3ded. A named program with no "/" is looked
// up on pathVariable (its absolute folders only), a relative one with "/" from the game
// directory.
// exeDir: the game directory as program path text. Throws Error with the reason.
std::vector<std::string> ResolveEngine(std::string_view setting, std::string_view exeDir,
                                       std::string_view pathVariable);

// Whether the game directory has an engine of its own beside the program ("ioq3ded*").
bool EngineBesideProgram(std::string_view exeDir);

// The game directory as a native path without a trailing "/": what fs_basepath and the
// engine's working directory are given.
std::string NativeGameDirectory(std::string_view exeDir);

// What the engine is run with: its words, "+set fs_basepath <game directory>" unless those
// words set it already, then the batch line after its first word (the Windows program), cut
// so that the engine reads it as the Windows engine reads the batch line (quotes kept where
// they group no blank). A mod that "+set fs_game" names is given as its folder is spelled
// ("WFA" for "wfa"). Throws Error for a word the engine could not be given as meant.
// gameDirectory: native, without a trailing "/".
std::vector<std::string> ServerWords(const std::vector<std::string>& engine,
                                     std::string_view batchLine, std::string_view gameDirectory);

// The port the server listens on: the last "net_port" that the words set, else 27960.
uint16_t ServerPort(const std::vector<std::string>& words);

// Whether this folder may be used as the game directory: it holds quake3.exe, or (where start
// runs the engine itself) an engine lies beside the program or the settings file names one.
bool IsGameDirectory(std::string_view exeDir, const std::string& iniPath);
// The start-up refusal's text, with how to name an engine where start runs one.
std::string StartupRefusalText();

}  // namespace fraglane::server
