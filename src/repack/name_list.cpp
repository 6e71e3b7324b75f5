#include "repack/name_list.h"

#include "platform/file_system.h"
#include "platform/text.h"

namespace fraglane::repack {

bool NameList::Add(std::string_view name) {
    if (!m_folded.insert(text::LowerCase(name)).second)
        return false;
    m_items.emplace_back(name);
    return true;
}

bool NameList::Contains(std::string_view name) const {
    return m_folded.count(text::LowerCase(name)) != 0;
}

void NameList::RemoveAt(size_t index) {
    m_folded.erase(text::LowerCase(m_items[index]));
    m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(index));
}

void NameList::Clear() {
    m_items.clear();
    m_folded.clear();
}

std::string_view TrimControls(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20)
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20)
        s.remove_suffix(1);
    return s;
}

void RepackRun::AddTexture(std::string_view name) {
    // The game's paths hold fewer than 64 bytes (MAX_QPATH): a longer name can never be
    // loaded, and a hostile one thousands of folders deep would only cost time and memory.
    if (name.size() >= MaxTextureName || !text::StaysInside(name))
        return;
    const std::string lower = text::LowerCase(name);
    if (!TextureList.Add(lower))
        return;
    const std::string folder = platform::ExtractFilePath(tempDir + lower);
    platform::ForceDirectories(folder);
}

}  // namespace fraglane::repack
