#pragma once

#include <functional>
#include <string>

#include "archive/pk3_archive.h"

namespace fraglane::archive {

// How work on one archive ended: finished, or ended early with the reason kept (for the CLI
// and the tests; the window says nothing).
struct ArchiveWorkResult {
    bool finished = false;
    std::string reason;
};

// Work on one archive that ends silently on any error, as the scan and the repack do with
// every archive they visit: the archive is opened as path, the work runs on it, and it is
// closed again however the work ended. An error of any kind ends this archive only; what the
// work did before it stays done. An OutputError is raised again once the archive is closed:
// the folder written into is at fault, not the archive.
ArchiveWorkResult WorkOnArchive(Pk3Archive& zip, const std::string& path,
                                const std::function<void(Pk3Archive&)>& work);

// Writes a new archive of a whole folder as the repack writes its output: CreateEmpty at
// target, AddTree of folder (as folder and root, "*.*", subfolders), RemoveMember of the
// archive's own name when it lies inside the folder, close. On any failure the unfinished
// archive is deleted before the error is raised again: nothing that looks finished stays.
// Anything but a regular file at target (a device, a pipe, a folder, a link) is refused with
// "Cannot create file %s: not a regular file" and left untouched.
void PackFolder(Pk3Archive& zip, const std::string& folder, const std::string& target);

}  // namespace fraglane::archive
