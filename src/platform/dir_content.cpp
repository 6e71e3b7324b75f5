#include "platform/dir_content.h"

#include <algorithm>

#include "platform/file_system.h"
#include "platform/text.h"

namespace fraglane::platform {

void TDirContent::SetDirectory(std::string_view directory) {
    m_directory = IncludeTrailingBackslash(directory);
    if (m_active)
        List();
}

void TDirContent::List() {
    m_dirList.clear();
    m_fileList.clear();
    for (const DirEntry& entry : ListDirectory(m_directory)) {
        (entry.isDirectory ? m_dirList : m_fileList).push_back(text::LowerCase(entry.name));
    }
    std::sort(m_dirList.begin(), m_dirList.end());
    std::sort(m_fileList.begin(), m_fileList.end());
}

bool TDirContent::ContainsFile(std::string_view name, bool exact) const {
    const std::string lower = text::LowerCase(name);
    return std::any_of(m_fileList.begin(), m_fileList.end(), [&](const std::string& entry) {
        return exact ? entry == lower : entry.find(lower) != std::string::npos;
    });
}

}  // namespace fraglane::platform
