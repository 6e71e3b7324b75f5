#include "repack/staging.h"

#include "platform/file.h"
#include "platform/file_system.h"

namespace fraglane::repack {

namespace {

// Removes what is under dir (program path text ending in "\") but dot-entries; true when dir
// is left empty. Links are told by the platform layer, which knows them on every system.
bool ClearFolder(const std::string& dir) {
    bool empty = true;
    for (const platform::DirEntry& entry : platform::ListDirectory(dir)) {
        if (entry.name.front() == '.') {
            empty = false;
            continue;
        }
        const std::string path = dir + entry.name;
        const platform::EntryInfo info = platform::InspectEntry(path);
        if (!info.isLink && info.kind == platform::EntryKind::Directory) {
            if (!ClearFolder(path + "\\") || !platform::RemoveDir(path))
                empty = false;
            continue;
        }
        // A link, a file or anything else: the entry itself goes. A read-only file is made
        // writable only where the system refuses to delete it otherwise (Windows), so that a
        // file with other names elsewhere keeps its attributes.
        if (platform::RemoveFile(path))
            continue;
        const uint32_t attributes =
            info.isLink ? platform::InvalidAttributes : platform::GetFileAttributes(path);
        if (attributes != platform::InvalidAttributes && (attributes & platform::AttrReadOnly)) {
            platform::SetFileAttributes(path, attributes & ~platform::AttrReadOnly);
            if (platform::RemoveFile(path))
                continue;
        }
        empty = false;
    }
    return empty;
}

}  // namespace

void ClearStaging(const std::string& tempDir) {
    std::string folder = tempDir;
    if (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    const platform::EntryInfo info = platform::InspectEntry(folder);
    if (info.isLink) {
        platform::RemoveFile(folder);  // the staging folder itself as a link: removed, not entered
        return;
    }
    if (info.kind == platform::EntryKind::Directory && ClearFolder(folder + "\\"))
        platform::RemoveDir(folder);
}

}  // namespace fraglane::repack
