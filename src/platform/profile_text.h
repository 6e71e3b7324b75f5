#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fraglane::platform {

// The text of a Windows profile (INI) file, read and changed one key at a time with the
// semantics the program relies on from GetPrivateProfileStringA / WritePrivateProfileStringA:
// - sections and keys match without regard to case; the first of duplicates wins;
// - a value loses the blanks around it and one pair of enclosing quotes; at most 2047
//   characters of it are read; it ends at its first NUL byte, as the Windows functions read it;
// - a change touches one key and keeps every other byte: other sections and keys in their
//   order, comments, blank lines, unknown lines and the text's line ends.
// Memory stays within about three times the text's size for lines of ordinary length (see
// Line); each record costs 16 bytes, so a text of lines of a few bytes costs more. No file here:
// ProfileFile keeps one of these for its file.
class ProfileText {
public:
    static constexpr size_t MaxValueLength = 2047;

    // Replaces the text; more than 4 GiB reads as empty.
    void Parse(std::string bytes);
    void Clear();

    // The value of a key as the profile reading gives it, or nothing for a missing key.
    std::optional<std::string> Value(std::string_view section, std::string_view key);
    // Every key of a section in the order the reading finds them (the text's lines, then the
    // keys added since), with its value as read; a key may come twice, and the first counts.
    void ForEachValue(std::string_view section,
                      const std::function<void(std::string_view key, std::string value)>& value);
    // Stores a value so that it reads back the same: line breaks become blanks, and a value
    // that would lose quotes or blanks gets one more pair of quotes. Throws std::length_error
    // when the text would pass 4 GiB.
    void Write(std::string_view section, std::string_view key, std::string_view value);
    // Stores the value's bytes as they are.
    void SetValue(std::string_view section, std::string_view key, std::string_view value);

    // A key changed since the text was parsed, with its stored value.
    struct Change {
        std::string section;
        std::string key;
        std::string value;
    };
    // The changed keys of the text's own lines in their order, then the added ones in writing
    // order: what must be written again on a text that another writer changed meanwhile.
    std::vector<Change> Changes() const;

    void Serialize(const std::function<bool(std::string_view)>& put) const;
    // Serialize in pieces of up to 64 KiB for write; false once a write failed.
    bool SerializeInPieces(const std::function<bool(std::string_view)>& write) const;

    // An open-addressing table of record or section ids (0 free, else id + 1), with the top
    // bits of each entry's hash beside it.
    struct IdTable {
        std::vector<uint32_t> entries;
        std::vector<uint16_t> tags;
        size_t used = 0;
        // Empty, with room for `room` entries at a load of at most one half.
        void Reset(size_t room);
    };

private:
    // One record of the parsed text: a section header, a key line, or a run of other lines
    // (blank lines, comments, anything else) kept as one block. Its text lies in the parsed
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
    // A line written since the text was parsed, for a section, in writing order.
    struct Added {
        Line line;
        uint32_t next = UINT32_MAX;
    };
    struct Section {
        uint32_t header = 0;  // record id of the header line
        uint32_t last = 0;    // last record id of its range in the text (the header when empty)
        uint32_t firstAdded = UINT32_MAX;
        uint32_t lastAdded = UINT32_MAX;
        uint32_t lookups = 0;  // lookups made before its keys were indexed
        bool indexed = false;
    };
    static constexpr uint32_t LinearLookups = 16;

    std::string_view Text(const Line& line) const;
    const Line& Record(uint32_t id) const;
    Line& Record(uint32_t id);
    std::string_view SectionName(uint32_t section) const;
    std::string_view KeyOf(const Line& line) const;
    int FindSection(std::string_view name) const;
    int FindKey(uint32_t section, std::string_view key);
    int FindIndexed(uint32_t section, std::string_view key, uint64_t hash) const;
    // Calls record(id) for each key record of the section while it returns true.
    template <typename F>
    void ForEachKeyRecord(uint32_t section, F&& record) const;
    void IndexKeysOf(uint32_t section);
    uint64_t KeyHash(uint32_t id) const;
    void IndexSection(uint32_t section, uint64_t hash);
    void IndexKey(uint32_t id, uint64_t hash);
    Line PoolLine(std::string_view text);

    std::string m_bytes;  // the text as parsed
    std::string m_pool;   // texts of lines written since
    size_t m_bomLength = 0;
    uint8_t m_defaultEol = 1;
    std::vector<Line> m_lines;   // the parsed records in order
    std::vector<Added> m_added;  // records written since; ids m_lines.size() + index
    std::vector<Section> m_sections;
    size_t m_fileSections = 0;  // sections found in the text; later ones were added
    IdTable m_sectionIndex;     // folded name -> first section of that name
    IdTable m_keyIndex;         // (section, folded key) -> first key record
};

// The most rows a stored count is trusted with, for every list the program keeps (mods, maps,
// bots, roster): a count beyond the keys present gives empty rows, as the profile reading
// gives defaults, but never more than this many.
inline constexpr int MaxStoredCount = 100000;

// The profile reading of an integer: decimal, or hexadecimal for a text longer than two
// characters starting "0x"/"0X"; anything else gives the default.
int ParseProfileInteger(std::string_view value, int defaultValue);

}  // namespace fraglane::platform
