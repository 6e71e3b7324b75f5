#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

// Name lists of the repack: the mods to search and the wanted texture names.
namespace fraglane::repack {

// Names in the order first added, without duplicates (ASCII letters folded), with an index
// beside the list so that membership costs the same for ten names or ten thousand.
class NameList {
public:
    // Appends the name unless an equal one is there; true when appended.
    bool Add(std::string_view name);
    bool Contains(std::string_view name) const;
    // Removes the entry at a position of Items().
    void RemoveAt(size_t index);
    const std::vector<std::string>& Items() const { return m_items; }
    size_t Size() const { return m_items.size(); }
    void Clear();

private:
    std::vector<std::string> m_items;
    std::unordered_set<std::string> m_folded;
};

// The text without the bytes up to 0x20 (blanks and control bytes) at either end.
std::string_view TrimControls(std::string_view s);

// The longest texture name the game can load is one byte shorter.
inline constexpr size_t MaxTextureName = 64;

struct RepackRun {
    std::string tempDir;  // the staging folder, program path text with trailing "\"
    NameList ModList;
    NameList TextureList;  // lower-cased names, "\" separated, without extension
    // The shader names that the kept scripts define (as TextureList spells them): such a name
    // is satisfied without an image of its own.
    std::unordered_set<std::string> Shaders;

    void AddMod(std::string_view mod) { ModList.Add(mod); }
    // Appends the lower-cased name unless it is there, and makes the folder its image will be
    // extracted into (from the same lower-cased name). A name that would leave the staging
    // folder is not added.
    void AddTexture(std::string_view name);
};

}  // namespace fraglane::repack
