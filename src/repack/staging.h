#pragma once

#include <string>

namespace fraglane::repack {

// Empties the staging folder for a new run: every file and folder under it goes, a read-only
// file made writable first, then the folder itself; entries whose name begins with "." stay,
// and so do the folders that hold them. A link is removed, never entered. Failures to delete
// are ignored.
void ClearStaging(const std::string& tempDir);

}  // namespace fraglane::repack
