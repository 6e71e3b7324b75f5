#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

namespace fraglane::test {

// Every entry under root, links not followed: "folder", "link " + target or "file " + bytes,
// by path relative to root.
inline std::map<std::string, std::string> Snapshot(const std::filesystem::path& root) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
        const std::string name = fs::relative(it->path(), root).string();
        if (it->is_symlink()) {
            entries[name] = "link " + fs::read_symlink(it->path()).string();
        } else if (it->is_directory()) {
            entries[name] = "folder";
        } else {
            std::ifstream in(it->path(), std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            entries[name] = "file " + bytes.str();
        }
    }
    return entries;
}

// The paths whose entry differs between two snapshots, or is in one of them only.
inline std::set<std::string> Changed(const std::map<std::string, std::string>& before,
                                     const std::map<std::string, std::string>& after) {
    std::set<std::string> changed;
    for (const auto& [name, entry] : before) {
        if (!after.count(name) || after.at(name) != entry)
            changed.insert(name);
    }
    for (const auto& [name, entry] : after) {
        if (!before.count(name))
            changed.insert(name);
    }
    return changed;
}

}  // namespace fraglane::test
