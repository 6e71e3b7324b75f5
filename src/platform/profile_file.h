#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace fraglane::platform {

// A Windows profile (INI) file read and written one key at a time, with the semantics the
// program relies on from GetPrivateProfileStringA / WritePrivateProfileStringA:
// - sections and keys match without regard to case; the first of duplicates wins;
// - a value loses the blanks around it and one pair of enclosing quotes; at most 2047
//   characters of it are read;
// - a write changes one key and keeps every other byte of the file: other sections and keys
//   in their order, comments, blank lines, unknown lines and the file's line ends.
// Unlike the Windows functions, a write never leaves a torn file: the file is replaced
// atomically (a temporary file beside it, then a rename). A parsed copy is kept and trusted
// only while the file's size and modification time are unchanged, so reading or writing
// thousands of keys costs one parse, not one per key. Between BeginUpdate and the matching
// EndUpdate writes are gathered and committed as one replacement.
class ProfileFile {
public:
    static constexpr size_t MaxValueLength = 2047;

    explicit ProfileFile(std::string path);

    const std::string& FileName() const { return m_path; }

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue);
    int ReadInteger(std::string_view section, std::string_view key, int defaultValue);
    // Number of key lines in a section (0 when it is missing): a bound for stored counts.
    int KeyCount(std::string_view section);

    // Throw Error("Unable to write to <path>") when the file cannot be replaced; the file
    // then stays as it was.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int value);

    void BeginUpdate();
    // Commits the gathered writes of the outermost update. On failure the pending writes are
    // dropped, the file keeps its previous state and the error is raised.
    void EndUpdate();
    // Drops the gathered writes of an update that is abandoned.
    void CancelUpdate();

    // Gathers the writes of one operation; commits when Commit() is called, drops them when
    // the scope is left without it (an exception in the middle of a save).
    class Update {
    public:
        explicit Update(ProfileFile& file) : m_file(file) { m_file.BeginUpdate(); }
        ~Update() {
            if (!m_done)
                m_file.CancelUpdate();
        }
        void Commit() {
            m_done = true;
            m_file.EndUpdate();
        }
        Update(const Update&) = delete;
        Update& operator=(const Update&) = delete;

    private:
        ProfileFile& m_file;
        bool m_done = false;
    };

private:
    struct Line {
        std::string text;
        std::string eol;  // "\r\n", "\n", "\r" or empty for a last line without one
    };
    struct Section {
        std::string lowerName;
        Line header;
        std::vector<Line> body;
        std::unordered_map<std::string, size_t> keys;  // lower-cased key -> body index
    };
    struct FileStamp {
        bool exists = false;
        int64_t size = -1;
        int64_t mtimeNs = -1;
        uint64_t inode = 0;
        bool operator==(const FileStamp&) const = default;
    };

    FileStamp Stamp() const;
    void EnsureLoaded();
    void Parse(const std::string& bytes);
    std::string Serialize() const;
    void Commit();
    const std::string* FindRawValue(std::string_view section, std::string_view key) const;
    void SetValue(std::string_view section, std::string_view key, std::string_view value);

    std::string m_path;
    std::string m_nativePath;
    std::mutex m_mutex;
    bool m_loaded = false;
    FileStamp m_stamp;
    std::string m_bom;
    std::string m_defaultEol = "\r\n";
    std::vector<Line> m_preamble;  // lines before the first section
    std::vector<Section> m_sections;
    std::unordered_map<std::string, size_t> m_sectionIndex;  // lower-cased name -> first one
    int m_updateDepth = 0;
    bool m_dirty = false;
};

// The profile reading of an integer: decimal, or hexadecimal for a text longer than two
// characters starting "0x"/"0X"; anything else gives the default.
int ParseProfileInteger(std::string_view value, int defaultValue);

}  // namespace fraglane::platform
