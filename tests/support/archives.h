#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "archive/pk3_archive.h"
#include "platform/file_system.h"
#include "support/temp_dir.h"

namespace fraglane::test {

// Writes an archive at a relative path of dir with the given members (name with "\", data),
// in that order, through the program's own writer.
inline void MakeArchive(const TempDir& dir, const std::string& relative,
                        const std::vector<std::pair<std::string, std::string>>& members) {
    const std::string path = dir.Program() + relative;
    platform::ForceDirectories(platform::ExtractFilePath(path));
    archive::Pk3Archive::CreateEmpty(path);
    archive::Pk3Archive zip;
    zip.SetFileName(path);
    zip.SetActive(true);
    for (const auto& [name, data] : members) {
        dir.Write(".member", data);
        zip.AddFile(name, dir.Program() + ".member");
    }
    zip.SetActive(false);
    std::remove(dir.Path(".member").c_str());
}

}  // namespace fraglane::test
