#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fraglane::platform {

// The directory lister: names of a directory's sub-directories and of its other entries,
// lower-cased and sorted, "." and ".." left out, hidden and system entries included. A
// directory that is missing or cannot be read lists as empty.
class TDirContent {
public:
    // Stores the directory (a trailing "\" added) and lists it at once while Active.
    void SetDirectory(std::string_view directory);
    const std::string& Directory() const { return m_directory; }

    // Listing happens only while active; setting it does not list by itself.
    void SetActive(bool active) { m_active = active; }
    bool Active() const { return m_active; }

    const std::vector<std::string>& DirList() const { return m_dirList; }
    const std::vector<std::string>& FileList() const { return m_fileList; }

    // Whether FileList holds an entry equal to the lower-cased text (exact) or containing it.
    bool ContainsFile(std::string_view text, bool exact) const;

private:
    void List();

    std::string m_directory;
    bool m_active = false;
    std::vector<std::string> m_dirList;
    std::vector<std::string> m_fileList;
};

}  // namespace fraglane::platform
