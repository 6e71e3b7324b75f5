#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The engine that "start" runs on Linux, and the words it is given.
namespace fraglane::server {

// The engine setting resolved: the program (a native path) and its own words after it.
// setting: the "engine" text (a path, optionally followed by words of its own), or "" for the
// first of: a file beside the program whose name begins with "ioq3ded" (in name order),
// "ioq3ded" on pathVariable, /usr/lib/ioquake3/ioq3ded. A named program with no "/" is looked
// up on pathVariable (its absolute folders only), a relative one with "/" from the game
// directory.
// exeDir: the game directory as program path text. Throws Error with the reason.
std::vector<std::string> ResolveEngine(std::string_view setting, std::string_view exeDir,
                                       std::string_view pathVariable);

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

}  // namespace fraglane::server
