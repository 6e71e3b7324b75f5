#pragma once

#include <dirent.h>

#include "platform/owned.h"

// Owning types of the POSIX side.
namespace fraglane::platform {

struct DirTraits {
    using Type = DIR*;
    static DIR* None() { return nullptr; }
    static bool Close(DIR* dir) { return ::closedir(dir) == 0; }
};
using OwnedDir = Owned<DirTraits>;

inline int Fd(const OwnedHandle& handle) {
    return static_cast<int>(handle.Get());
}

inline OwnedHandle OwnFd(int fd) {
    return OwnedHandle(fd < 0 ? OwnedHandle::Type{-1} : OwnedHandle::Type{fd});
}

}  // namespace fraglane::platform
