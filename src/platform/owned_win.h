#pragma once

#include <string>
#include <string_view>

#include "platform/owned.h"
#include "platform/windows_api.h"

// Owning types of the Windows side.
namespace fraglane::platform {

// A search begun by FindFirstFile, ended by FindClose.
struct FindTraits {
    using Type = HANDLE;
    static HANDLE None() { return INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE find) { return ::FindClose(find) != 0; }
};
using OwnedFind = Owned<FindTraits>;

inline HANDLE Win(const OwnedHandle& handle) {
    return reinterpret_cast<HANDLE>(handle.Get());
}

// Whether path lies below its confined folder (ConfineWrites) only through plain folders,
// and (lastToo) is itself no link: every component from the folder on, the folder itself
// included, is looked at, and a reparse point (a link or junction) refuses it. True for a
// path that is not confined.
bool ReachableWithoutLinks(std::string_view path, bool lastToo = true);
// The same below a folder that is trusted as it is (a link too): each component of path after
// folder (path begins with it) is looked at.
bool ReachableBelow(std::string_view folder, std::string_view path, bool lastToo);

// Throws message for a create that failed with GetLastError(): OutputError where the folder
// takes no writes at all (no permission, no room, a read-only medium), Error where only this
// name fails.
[[noreturn]] void ThrowCreateError(const std::string& message);

// CreateFile's INVALID_HANDLE_VALUE is -1 as a number: it becomes no handle.
inline OwnedHandle OwnHandle(HANDLE handle) {
    return OwnedHandle(reinterpret_cast<intptr_t>(handle));
}

}  // namespace fraglane::platform
