#include "archive/archive_work.h"

#include <exception>

#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace fraglane::archive {

ArchiveWorkResult WorkOnArchive(Pk3Archive& zip, const std::string& path,
                                const std::function<void(Pk3Archive&)>& work) {
    ArchiveWorkResult result;
    std::exception_ptr writeFailure;
    try {
        zip.SetFileName(path);
        zip.SetActive(true);
        if (!zip.Active()) {
            result.reason = "not an archive: " + zip.RefusalReason();
        } else {
            work(zip);
            result.finished = true;
        }
    } catch (const OutputError&) {
        writeFailure = std::current_exception();
    } catch (const std::exception& e) {
        result.reason = e.what();
    } catch (...) {
        result.reason = "unknown error";
    }
    try {
        zip.SetActive(false);
    } catch (...) {
        // Closing only releases the file; nothing is left to report.
    }
    if (writeFailure)
        std::rethrow_exception(writeFailure);
    return result;
}

void PackFolder(Pk3Archive& zip, const std::string& folder, const std::string& target) {
    const std::string root = platform::IncludeTrailingBackslash(folder);
    // Written under a name of its own beside the target and moved into place when whole, so
    // that an archive under the target's name is always a finished one: a pack that fails,
    // is stopped or whose process is killed leaves at most the ".part" file.
    const std::string partial = target + ".part";
    // Only a regular file at the target is replaced: a device, a pipe, a folder or a link
    // there (to anything) stays as it is, and nothing is written beside it.
    const auto refuseOtherThanFile = [&target] {
        const platform::EntryInfo there = platform::InspectEntry(target);
        if (there.isLink || (there.kind != platform::EntryKind::Missing &&
                             there.kind != platform::EntryKind::Regular)) {
            throw Error("Cannot create file " + platform::DisplayPath(target) +
                        ": not a regular file");
        }
    };
    refuseOtherThanFile();
    platform::RemoveFile(partial);  // a leftover (a link too) is replaced, never written through
    Pk3Archive::CreateEmpty(partial, true);
    try {
        zip.SetFileName(partial);
        zip.SetActive(true);
        zip.LeaveOutOfTree(target);  // the archive this one replaces, wherever it lies
        zip.AddTree(root, root, "*.*", true);
        zip.LeaveOutOfTree({});
        zip.SetActive(false);
        refuseOtherThanFile();  // again: the pack took a while
        if (!platform::RenameFile(partial, target))
            throw Error("Cannot create file " + platform::DisplayPath(target));
    } catch (...) {
        zip.LeaveOutOfTree({});
        zip.SetActive(false);
        platform::RemoveFile(partial);
        throw;
    }
}

}  // namespace fraglane::archive
