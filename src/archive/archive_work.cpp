#include "archive/archive_work.h"

#include <exception>

namespace fraglane::archive {

ArchiveWorkResult WorkOnArchive(Pk3Archive& zip, const std::string& path,
                                const std::function<void(Pk3Archive&)>& work) {
    ArchiveWorkResult result;
    try {
        zip.SetFileName(path);
        zip.SetActive(true);
        if (!zip.Active()) {
            result.reason = "not an archive";
        } else {
            work(zip);
            result.finished = true;
        }
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
    return result;
}

}  // namespace fraglane::archive
