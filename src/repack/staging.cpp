#include "repack/staging.h"

#include <filesystem>

#include "platform/file_system.h"

namespace fraglane::repack {

namespace {

namespace fs = std::filesystem;

// Removes what is under dir but dot-entries; true when dir is left empty.
bool ClearFolder(const fs::path& dir) {
    bool empty = true;
    std::error_code ec;
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(it->path());
    for (const fs::path& entry : entries) {
        if (entry.filename().string().front() == '.') {
            empty = false;
            continue;
        }
        const fs::file_status status = fs::symlink_status(entry, ec);
        if (fs::is_directory(status)) {
            if (ClearFolder(entry))
                fs::remove(entry, ec);
            else
                empty = false;
            continue;
        }
        // A link, a file or anything else: the entry itself goes (a read-only file too).
        fs::permissions(entry, fs::perms::owner_write,
                        fs::perm_options::add | fs::perm_options::nofollow, ec);
        if (!fs::remove(entry, ec))
            empty = false;
    }
    return empty;
}

}  // namespace

void ClearStaging(const std::string& tempDir) {
    const fs::path native = platform::ToNative(tempDir);
    std::error_code ec;
    if (fs::is_symlink(native, ec)) {
        fs::remove(native, ec);  // the staging folder itself as a link: removed, not entered
        return;
    }
    if (ClearFolder(native))
        fs::remove(native, ec);
}

}  // namespace fraglane::repack
