#pragma once

#include <string>
#include <string_view>

#include "platform/owned.h"

// Reaching a path below a confined folder (ConfineWrites) on POSIX systems.
namespace fraglane::platform {

// The folder that holds native (a native path below the confined folder of path), entered
// one component at a time from that folder on, never through a link; leaf receives the last
// component. Invalid, with errno set, when a component on the way is missing, a link or no
// folder (ELOOP, ENOTDIR: the name's own fault, never the whole folder's) or is "..". An
// empty confining folder gives invalid with errno 0: the path is not confined.
OwnedHandle OpenParentBelow(std::string_view path, const std::string& native, std::string& leaf);
// The same below a folder given as a native path (native begins with it). The folder itself
// is entered through a link only when folderMayBeLink: a folder the operator chose (the game
// directory, a mod folder) may be one; a work folder of the program may not.
OwnedHandle OpenParentFrom(std::string nativeFolder, bool folderMayBeLink,
                           const std::string& native, std::string& leaf);
// Throws message for a create that failed with errno: OutputError where the folder takes no
// writes at all (no permission, no room, a read-only medium), Error where only this name
// fails.
[[noreturn]] void ThrowCreateError(const std::string& message);

}  // namespace fraglane::platform
