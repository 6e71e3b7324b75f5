#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_lock.h"

namespace fraglane::platform {

// A Windows profile (INI) file read and written one key at a time, with the semantics the
// program relies on from GetPrivateProfileStringA / WritePrivateProfileStringA:
// - sections and keys match without regard to case; the first of duplicates wins;
// - a value loses the blanks around it and one pair of enclosing quotes; at most 2047
//   characters of it are read;
// - a write changes one key and keeps every other byte of the file: other sections and keys
//   in their order, comments, blank lines, unknown lines and the file's line ends.
// - a value ends at its first NUL byte, as the Windows functions read it.
// Unlike the Windows functions, a write never leaves a torn file: the file is replaced
// atomically (a temporary file beside it, then a rename; through a link, its target is
// replaced), and temporary files that a killed process left behind are removed by the next
// write. Memory stays within about three times the file's size (see Line). A parsed copy is kept
// and trusted only while the file's size and modification time are unchanged, so reading or writing
// thousands of keys costs one parse, not one per key. Between BeginUpdate and the matching
// EndUpdate writes are gathered and committed as one replacement.
// Every write holds the write lock of the file (a lock file beside it, ".<name>.lock") from
// its last look at the file to the replacement: what another object or process wrote since
// this one read the file is read in, and the writes go on top of it rather than over it.
// The file is opened for reading as the archives are: without waiting, and only a regular
// file is read; a missing one reads as empty, anything else under its name (a named pipe, a
// folder, a device) is an error.
class ProfileFile {
public:
    static constexpr size_t MaxValueLength = 2047;

    explicit ProfileFile(std::string path);

    const std::string& FileName() const { return m_path; }

    // Throw Error("Unable to read <path>: not a regular file") when something other than a
    // regular file has the file's name.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue);
    int ReadInteger(std::string_view section, std::string_view key, int defaultValue);

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

    // The lock of one long job on this file (the scan, which ends by writing the catalogue
    // into it), held as long as the returned object lives; it holds nothing when another
    // object or process holds the lock. Apart from the write lock: writes go on meanwhile.
    // Throws Error("Unable to write to <path>") when the lock file cannot be opened.
    FileLock TryLockJob() const;

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
    // One record of the parsed file: a section header, a key line, or a run of other lines
    // (blank lines, comments, anything else) kept as one block. Its text lies in the file's
    // bytes or, once written, in the pool; its line end follows. 16 bytes, so that a huge file
    // costs little more than its own size.
    enum class Kind : uint8_t { Header, Key, Block };
    struct Line {
        uint32_t start = 0;
        uint32_t length = 0;
        // Header and key: the section's number. Block: where its trailing blank lines begin,
        // counted from start (the line ends included).
        uint32_t aux = 0;
        Kind kind = Kind::Block;
        uint8_t eol = 0;  // 0 none, 1 CR LF, 2 LF, 3 CR
        bool pooled = false;
    };
    // A line written since the file was read, for a section, in writing order.
    struct Added {
        Line line;
        uint32_t next = UINT32_MAX;
    };
    struct Section {
        uint32_t header = 0;  // record id of the header line
        uint32_t last = 0;    // last record id of its range in the file (the header when empty)
        uint32_t firstAdded = UINT32_MAX;
        uint32_t lastAdded = UINT32_MAX;
    };
    struct FileStamp {
        bool exists = false;
        int64_t size = -1;
        int64_t mtimeNs = -1;
        uint64_t inode = 0;
        bool operator==(const FileStamp&) const = default;
    };
    // An open-addressing table of record or section ids (0 free, else id + 1).
    struct IdTable {
        std::vector<uint32_t> entries;
        size_t used = 0;
    };

    // A key written since the file was read, to be written again on the file as another
    // writer left it.
    struct Change {
        std::string section;
        std::string key;
        std::string value;
    };
    static constexpr uint32_t JobSlot = 0;    // the lock file's byte for TryLockJob
    static constexpr uint32_t WriteSlot = 1;  // the byte each write holds

    FileStamp Stamp() const;  // by system
    // The file's bytes: empty when it is missing or cannot be read, at most UINT32_MAX of
    // them; throws Error(NotRegularMessage()) when its name is held by anything but a regular
    // file. The open does not wait. By system.
    std::string ReadBytes() const;
    std::string NotRegularMessage() const;
    // Locks byte slot of the lock file beside the file (beside its target, through a link).
    // Throws Error("Unable to write to <path>") when the lock file cannot be opened. By system.
    FileLock Lock(uint32_t slot, bool wait) const;
    // Writes the serialized file as one replacement of it: a reader, or a process killed
    // meanwhile, sees the old file or the new one. Throws Error(message). By system.
    void WriteReplacement(const std::string& message);
    void EnsureLoaded();
    void Load(const FileStamp& stamp);
    void Parse(std::string bytes);
    void Clear();
    std::string_view Text(const Line& line) const;
    const Line& Record(uint32_t id) const;
    Line& Record(uint32_t id);
    std::string_view SectionName(uint32_t section) const;
    std::string_view KeyOf(const Line& line) const;
    int FindSection(std::string_view lowerName) const;
    int FindKey(uint32_t section, std::string_view lowerKey) const;
    void IndexSection(uint32_t section, uint64_t hash);
    void IndexKey(uint32_t id, uint64_t hash);
    Line PoolLine(std::string_view text);
    // The keys written since the file was read, with their last values: the file's changed
    // keys in file order, then the added ones in writing order.
    std::vector<Change> Changes() const;
    void Serialize(const std::function<bool(std::string_view)>& put) const;
    // Serialize in pieces of up to 64 KiB for write; false once a write failed.
    bool SerializeInPieces(const std::function<bool(std::string_view)>& write) const;
    void Commit();
    void SetValue(std::string_view section, std::string_view key, std::string_view value);

    std::string m_path;
    std::string m_nativePath;
    std::mutex m_mutex;
    bool m_loaded = false;
    FileStamp m_stamp;
    std::string m_bytes;  // the file as read
    std::string m_pool;   // texts of lines written since
    size_t m_bomLength = 0;
    uint8_t m_defaultEol = 1;
    std::vector<Line> m_lines;   // the file's records in order
    std::vector<Added> m_added;  // records written since; ids m_lines.size() + index
    std::vector<Section> m_sections;
    size_t m_fileSections = 0;  // sections found in the file; later ones were added
    IdTable m_sectionIndex;     // folded name -> first section of that name
    IdTable m_keyIndex;         // (section, folded key) -> first key record
    int m_updateDepth = 0;
    bool m_dirty = false;
};

// The most rows a stored count is trusted with, for every list the program keeps (mods, maps,
// bots, roster): a count beyond the keys present gives empty rows, as the profile reading
// gives defaults, but never more than this many.
inline constexpr int MaxStoredCount = 100000;

// The profile reading of an integer: decimal, or hexadecimal for a text longer than two
// characters starting "0x"/"0X"; anything else gives the default.
int ParseProfileInteger(std::string_view value, int defaultValue);

}  // namespace fraglane::platform
