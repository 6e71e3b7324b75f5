#pragma once

#include <string>
#include <string_view>

namespace fraglane::test {

// A temporary directory of one test, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Native path with trailing "/", and the same as program path text with trailing "\".
    const std::string& Native() const { return m_native; }
    std::string Program() const;

    // Native path of a relative name ("a/b.txt").
    std::string Path(std::string_view relative) const;
    void Write(std::string_view relative, std::string_view bytes) const;  // parents made
    std::string Read(std::string_view relative) const;
    bool Exists(std::string_view relative) const;
    void MakeDir(std::string_view relative) const;
    // Names in the directory, sorted (for "nothing else was created" checks).
    std::string Listing() const;

private:
    std::string m_native;
};

// A game directory: a placeholder quake3.exe in a temporary directory.
class GameDir : public TempDir {
public:
    GameDir();
    // Links baseq3/ to the OpenArena archives (hard links or copies on Windows); false when
    // they are not installed.
    bool LinkOpenArena() const;
};

}  // namespace fraglane::test
