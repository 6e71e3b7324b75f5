#include "platform/profile_text.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/text.h"

namespace fraglane::platform {

namespace {

constexpr uint32_t None = UINT32_MAX;
constexpr std::string_view Eols[] = {"", "\r\n", "\n", "\r"};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// The key part of a "key=value" line, or nothing for lines that hold no key.
bool SplitKeyLine(std::string_view line, std::string_view& key, std::string_view& value) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '[')
        return false;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return false;
    key = Trim(line.substr(0, eq));
    value = line.substr(eq + 1);
    return true;
}

// The name of a header line ("[name]"; a header without "]" names the rest of its line).
bool HeaderName(std::string_view line, std::string_view& name) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() != '[')
        return false;
    name = trimmed.substr(1);
    const size_t close = name.find(']');
    if (close != std::string_view::npos)
        name = name.substr(0, close);
    name = Trim(name);
    return true;
}

std::string CleanValue(std::string_view raw) {
    // The Windows functions see a value as a C string: it ends at its first NUL.
    raw = raw.substr(0, raw.find('\0'));
    std::string_view v = Trim(raw);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
    }
    if (v.size() > ProfileText::MaxValueLength)
        v = v.substr(0, ProfileText::MaxValueLength);
    return std::string(v);
}

// A value must stay on its line: line breaks in it would split the file's structure.
std::string OneLine(std::string_view value) {
    std::string out(value);
    for (char& c : out) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return out;
}

uint8_t EolKind(std::string_view eol) {
    return eol == "\r\n" ? 1 : eol == "\n" ? 2 : eol == "\r" ? 3 : 0;
}

// FNV-1a over the text with ASCII letters folded, after a seed (the section's number).
uint64_t FoldedHash(std::string_view text, uint64_t seed = 0) {
    uint64_t h = 1469598103934665603ull ^ (seed * 0x9E3779B97F4A7C15ull);
    for (const char c : text) {
        h ^= static_cast<unsigned char>(text::LowerAscii(c));
        h *= 1099511628211ull;
    }
    return h;
}

// The hash bits kept beside each entry: most entries that are not the one sought are passed by
// without reading their records.
uint16_t Tag(uint64_t hash) {
    return static_cast<uint16_t>(hash >> 48);
}

// The line ends of a text: "\n", or "\r" in a text that has no "\n". memchr goes through a
// long text many times faster than a loop over its bytes.
size_t LineEnds(std::string_view text) {
    size_t count = 0;
    for (const char end : {'\n', '\r'}) {
        const char* last = text.data() + text.size();
        for (const char* p = text.data(); p != nullptr && p < last;) {
            p = static_cast<const char*>(std::memchr(p, end, static_cast<size_t>(last - p)));
            if (p != nullptr) {
                ++count;
                ++p;
            }
        }
        if (count > 0)
            break;
    }
    return count;
}

// Room for n entries at a load of at most one half.
size_t TableSize(size_t n) {
    size_t size = 16;
    while (size < 2 * n)
        size *= 2;
    return size;
}

}  // namespace

int ParseProfileInteger(std::string_view value, int defaultValue) {
    if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        std::string_view digits = value.substr(2);
        // Leading zeros add nothing: "0x000000001E" is 30.
        while (digits.size() > 1 && digits.front() == '0')
            digits.remove_prefix(1);
        if (digits.size() > 8)
            return defaultValue;
        uint32_t result = 0;
        for (char c : digits) {
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                return defaultValue;
            result = result * 16 + static_cast<uint32_t>(d);
        }
        return static_cast<int>(result);
    }
    return text::ParseInt(value).value_or(defaultValue);
}

void ProfileText::Clear() {
    m_bytes.clear();
    m_pool.clear();
    m_bomLength = 0;
    m_defaultEol = 1;
    m_lines.clear();
    m_added.clear();
    m_sections.clear();
    m_fileSections = 0;
    m_sectionIndex = {};
    m_keyIndex = {};
}

void ProfileText::Parse(std::string bytes) {
    Clear();
    m_bytes = std::move(bytes);
    if (m_bytes.size() >= UINT32_MAX)
        m_bytes.clear();
    const std::string_view all(m_bytes);
    if (all.substr(0, 3) == "\xEF\xBB\xBF")
        m_bomLength = 3;
    const std::string_view body = all.substr(m_bomLength);

    // The records' table is allocated once from the count of line ends, at most one record
    // for each 8 bytes (a settings file's lines are longer; one of shorter lines grows its
    // table), so that no growth doubles the memory while a huge file is read. Sections are few
    // and grow as found.
    const size_t records = std::min(LineEnds(body) + 1, body.size() / 8 + 16);
    m_lines.reserve(records);

    const char* base = m_bytes.data();
    size_t block = None;  // the block that other lines join, if the last record is one
    bool eolSeen = false;
    text::ForEachLine(body, [&](std::string_view line, std::string_view eol) {
        if (!eol.empty() && !eolSeen) {
            m_defaultEol = EolKind(eol);
            eolSeen = true;
        }
        const auto start = static_cast<uint32_t>(line.data() - base);
        std::string_view name, key, value;
        if (HeaderName(line, name)) {
            const auto number = static_cast<uint32_t>(m_sections.size());
            m_lines.push_back({start, static_cast<uint32_t>(line.size()), number, Kind::Header,
                               EolKind(eol), false});
            const auto id = static_cast<uint32_t>(m_lines.size() - 1);
            m_sections.push_back({id, id, None, None});
            IndexSection(number, FoldedHash(name));
            block = None;
            return;
        }
        if (!m_sections.empty() && SplitKeyLine(line, key, value)) {
            const auto number = static_cast<uint32_t>(m_sections.size() - 1);
            m_lines.push_back({start, static_cast<uint32_t>(line.size()), number, Kind::Key,
                               EolKind(eol), false});
            const auto id = static_cast<uint32_t>(m_lines.size() - 1);
            m_sections.back().last = id;
            block = None;
            return;
        }
        // Other lines join the block before them; the block's text runs to the end of its
        // last line, and its trailing blank lines are marked.
        if (block == None) {
            m_lines.push_back({start, 0, 0, Kind::Block, 0, false});
            block = m_lines.size() - 1;
            if (!m_sections.empty())
                m_sections.back().last = static_cast<uint32_t>(block);
        }
        Line& run = m_lines[block];
        run.length = static_cast<uint32_t>(line.data() + line.size() - base) - run.start;
        run.eol = EolKind(eol);
        if (!Trim(line).empty())
            run.aux = run.length + static_cast<uint32_t>(eol.size());
    });
    m_fileSections = m_sections.size();
}

std::string_view ProfileText::Text(const Line& line) const {
    const std::string& source = line.pooled ? m_pool : m_bytes;
    return std::string_view(source).substr(line.start, line.length);
}

const ProfileText::Line& ProfileText::Record(uint32_t id) const {
    return id < m_lines.size() ? m_lines[id] : m_added[id - m_lines.size()].line;
}

ProfileText::Line& ProfileText::Record(uint32_t id) {
    return id < m_lines.size() ? m_lines[id] : m_added[id - m_lines.size()].line;
}

std::string_view ProfileText::SectionName(uint32_t section) const {
    std::string_view name;
    HeaderName(Text(Record(m_sections[section].header)), name);
    return name;
}

std::string_view ProfileText::KeyOf(const Line& line) const {
    std::string_view key, value;
    SplitKeyLine(Text(line), key, value);
    return key;
}

// Both tables probe linearly from the hash; an entry is confirmed by comparing the folded
// text of its record, so that no key text is stored twice.
int ProfileText::FindSection(std::string_view name) const {
    const std::vector<uint32_t>& entries = m_sectionIndex.entries;
    if (entries.empty())
        return -1;
    const size_t mask = entries.size() - 1;
    const uint64_t hash = FoldedHash(name);
    for (size_t i = hash & mask; entries[i] != 0; i = (i + 1) & mask) {
        if (m_sectionIndex.tags[i] == Tag(hash) &&
            text::EqualsIgnoreCase(SectionName(entries[i] - 1), name))
            return static_cast<int>(entries[i] - 1);
    }
    return -1;
}

int ProfileText::FindIndexed(uint32_t section, std::string_view key, uint64_t hash) const {
    const std::vector<uint32_t>& entries = m_keyIndex.entries;
    if (entries.empty())
        return -1;
    const size_t mask = entries.size() - 1;
    for (size_t i = hash & mask; entries[i] != 0; i = (i + 1) & mask) {
        if (m_keyIndex.tags[i] != Tag(hash))
            continue;
        const Line& line = Record(entries[i] - 1);
        if (line.aux == section && text::EqualsIgnoreCase(KeyOf(line), key))
            return static_cast<int>(entries[i] - 1);
    }
    return -1;
}

// A section's first lookups read its lines in order and stop at the key: a settings file of
// 100,000 catalogued maps is read for its options without indexing the maps' keys. Only a
// section looked up often is indexed.
int ProfileText::FindKey(uint32_t section, std::string_view key) {
    Section& sec = m_sections[section];
    if (!sec.indexed && ++sec.lookups > LinearLookups)
        IndexKeysOf(section);
    if (sec.indexed)
        return FindIndexed(section, key, FoldedHash(key, section));
    int found = -1;
    const char first = key.empty() ? '=' : text::LowerAscii(key.front());
    ForEachKeyRecord(section, [&](uint32_t id) {
        // The first letter passes by nearly every other key without splitting its line.
        const std::string_view line = Trim(Text(Record(id)));
        if (line.empty() || text::LowerAscii(line.front()) != first ||
            !text::EqualsIgnoreCase(KeyOf(Record(id)), key))
            return true;
        found = static_cast<int>(id);
        return false;
    });
    return found;
}

template <typename F>
void ProfileText::ForEachKeyRecord(uint32_t section, F&& record) const {
    const Section& sec = m_sections[section];
    if (section < m_fileSections) {
        for (uint32_t id = sec.header + 1; id <= sec.last; ++id) {
            if (m_lines[id].kind == Kind::Key && !record(id))
                return;
        }
    }
    for (uint32_t a = sec.firstAdded; a != None; a = m_added[a].next) {
        if (!record(static_cast<uint32_t>(m_lines.size()) + a))
            return;
    }
}

void ProfileText::ForEachValue(std::string_view sectionName,
                               const std::function<void(std::string_view, std::string)>& value) {
    const int s = FindSection(Trim(sectionName));
    if (s < 0)
        return;
    ForEachKeyRecord(static_cast<uint32_t>(s), [&](uint32_t id) {
        std::string_view key, raw;
        SplitKeyLine(Text(Record(id)), key, raw);
        value(key, CleanValue(raw));
        return true;
    });
}

namespace {

// Puts an entry at the first free place from its hash.
void Place(ProfileText::IdTable& table, uint64_t hash, uint32_t entry) {
    const size_t mask = table.entries.size() - 1;
    size_t i = hash & mask;
    while (table.entries[i] != 0)
        i = (i + 1) & mask;
    table.entries[i] = entry;
    table.tags[i] = Tag(hash);
}

// Puts the table's entries into a new one with room for `room`.
template <typename HashOf>
void Grow(ProfileText::IdTable& table, size_t room, HashOf&& hashOf) {
    const std::vector<uint32_t> old = std::move(table.entries);
    table.Reset(room);
    for (const uint32_t entry : old) {
        if (entry != 0)
            Place(table, hashOf(entry - 1), entry);
    }
}

// Adds id to the table, making room first: a table more than half full is rebuilt at twice
// the size.
template <typename HashOf>
void Insert(ProfileText::IdTable& table, uint64_t hash, uint32_t id, HashOf&& hashOf) {
    if (2 * (table.used + 1) > table.entries.size())
        Grow(table, table.used + 1, hashOf);
    Place(table, hash, id + 1);
    ++table.used;
}

}  // namespace

void ProfileText::IdTable::Reset(size_t room) {
    entries.assign(TableSize(room), 0);
    tags.assign(entries.size(), 0);
}

void ProfileText::IndexSection(uint32_t section, uint64_t hash) {
    const std::string_view name = SectionName(section);
    if (FindSection(name) >= 0)
        return;  // the first section of a name is the one that counts
    Insert(m_sectionIndex, hash, section,
           [this](uint32_t s) { return FoldedHash(SectionName(s)); });
}

uint64_t ProfileText::KeyHash(uint32_t id) const {
    const Line& line = Record(id);
    return FoldedHash(KeyOf(line), line.aux);
}

void ProfileText::IndexKey(uint32_t id, uint64_t hash) {
    const Line& line = Record(id);
    if (FindIndexed(line.aux, KeyOf(line), hash) >= 0)
        return;  // the first of duplicate keys wins
    Insert(m_keyIndex, hash, id, [this](uint32_t k) { return KeyHash(k); });
}

ProfileText::Line ProfileText::PoolLine(std::string_view lineText) {
    if (m_pool.size() + lineText.size() >= UINT32_MAX)
        throw std::length_error("the settings text would pass 4 GiB");
    Line line;
    line.start = static_cast<uint32_t>(m_pool.size());
    line.length = static_cast<uint32_t>(lineText.size());
    line.pooled = true;
    m_pool.append(lineText);
    return line;
}

std::optional<std::string> ProfileText::Value(std::string_view section, std::string_view key) {
    const int s = FindSection(Trim(section));
    const int k = s < 0 ? -1 : FindKey(static_cast<uint32_t>(s), Trim(key));
    if (k < 0)
        return std::nullopt;
    std::string_view storedKey, value;
    SplitKeyLine(Text(Record(static_cast<uint32_t>(k))), storedKey, value);
    return CleanValue(value);
}

void ProfileText::SetValue(std::string_view section, std::string_view key, std::string_view value) {
    int s = FindSection(Trim(section));
    if (s < 0) {
        // A new section goes at the end of the file.
        s = static_cast<int>(m_sections.size());
        Added header{PoolLine("[" + std::string(Trim(section)) + "]"), None};
        header.line.kind = Kind::Header;
        header.line.aux = static_cast<uint32_t>(s);
        header.line.eol = m_defaultEol;
        m_added.push_back(header);
        const auto id = static_cast<uint32_t>(m_lines.size() + m_added.size() - 1);
        m_sections.push_back({id, id, None, None});
        IndexSection(static_cast<uint32_t>(s), FoldedHash(Trim(section)));
    }
    const auto number = static_cast<uint32_t>(s);
    const int k = FindKey(number, Trim(key));
    if (k >= 0) {
        // The key keeps the spelling it has in the file.
        Line& line = Record(static_cast<uint32_t>(k));
        const std::string replaced = std::string(KeyOf(line)) + "=" + std::string(value);
        const Line pooled = PoolLine(replaced);
        line.start = pooled.start;
        line.length = pooled.length;
        line.pooled = true;
        return;
    }
    // A new key goes after the section's last non-blank line, before trailing blank lines
    // (Serialize puts it there), after the keys added before it.
    Added added{PoolLine(std::string(Trim(key)) + "=" + std::string(value)), None};
    added.line.kind = Kind::Key;
    added.line.aux = number;
    added.line.eol = m_defaultEol;
    m_added.push_back(added);
    const auto index = static_cast<uint32_t>(m_added.size() - 1);
    Section& sec = m_sections[number];
    if (sec.lastAdded == None)
        sec.firstAdded = index;
    else
        m_added[sec.lastAdded].next = index;
    sec.lastAdded = index;
    if (sec.indexed)
        IndexKey(static_cast<uint32_t>(m_lines.size()) + index, FoldedHash(Trim(key), number));
}

void ProfileText::Serialize(const std::function<bool(std::string_view)>& put) const {
    bool lineOpen = false;  // the output so far ends inside a line (no line end yet)
    auto emit = [&](std::string_view text, uint8_t eol) {
        put(text);
        put(Eols[eol]);
        if (!text.empty() || eol != 0)
            lineOpen = eol == 0;
    };
    auto emitAdded = [&](const Section& sec) {
        for (uint32_t a = sec.firstAdded; a != None; a = m_added[a].next) {
            if (lineOpen)
                emit({}, m_defaultEol);  // a last line without a line end gets one
            emit(Text(m_added[a].line), m_added[a].line.eol);
        }
    };
    put(std::string_view(m_bytes).substr(0, m_bomLength));
    size_t nextSection = 0;
    for (size_t id = 0; id < m_lines.size(); ++id) {
        const Line& line = m_lines[id];
        const Section* sec = nullptr;
        while (nextSection < m_fileSections && m_sections[nextSection].last < id)
            ++nextSection;
        if (nextSection < m_fileSections && m_sections[nextSection].last == id)
            sec = &m_sections[nextSection];
        if (sec == nullptr || sec->firstAdded == None) {
            emit(Text(line), line.eol);
            continue;
        }
        // The section's last record: new keys go before its trailing blank lines.
        if (line.kind != Kind::Block) {
            emit(Text(line), line.eol);
            emitAdded(*sec);
            continue;
        }
        const std::string_view whole = Text(line);
        const size_t split = std::min<size_t>(line.aux, whole.size() + Eols[line.eol].size());
        if (split > whole.size()) {
            emit(whole, line.eol);  // no trailing blank lines
            emitAdded(*sec);
        } else {
            put(whole.substr(0, split));
            lineOpen = split > 0 && whole[split - 1] != '\n' && whole[split - 1] != '\r';
            emitAdded(*sec);
            emit(whole.substr(split), line.eol);
        }
    }
    for (size_t s = m_fileSections; s < m_sections.size(); ++s) {
        if (lineOpen)
            emit({}, m_defaultEol);
        const Line& header = Record(m_sections[s].header);
        emit(Text(header), header.eol);
        emitAdded(m_sections[s]);
    }
}

bool ProfileText::SerializeInPieces(const std::function<bool(std::string_view)>& write) const {
    // Written through a small buffer: the file is never held twice in memory.
    bool ok = true;
    std::string buffer;
    buffer.reserve(1 << 16);
    Serialize([&](std::string_view piece) {
        if (buffer.size() + piece.size() > buffer.capacity()) {
            ok = ok && (buffer.empty() || write(buffer));
            buffer.clear();
            if (piece.size() > buffer.capacity()) {
                ok = ok && write(piece);
                return ok;
            }
        }
        buffer.append(piece);
        return ok;
    });
    return ok && (buffer.empty() || write(buffer));
}

std::vector<ProfileText::Change> ProfileText::Changes() const {
    std::vector<Change> changes;
    auto add = [&](const Line& line) {
        std::string_view key, value;
        if (line.kind == Kind::Key && line.pooled && SplitKeyLine(Text(line), key, value))
            changes.push_back(
                {std::string(SectionName(line.aux)), std::string(key), std::string(value)});
    };
    for (const Line& line : m_lines)
        add(line);
    for (const Added& added : m_added)
        add(added.line);
    return changes;
}

void ProfileText::Write(std::string_view section, std::string_view key, std::string_view value) {
    std::string stored = OneLine(value);
    // A value in a pair of quotes of its own would lose them when read, and one that begins
    // or ends with a blank would lose the blank: one more pair keeps it whole, and reads the
    // same with the Windows functions.
    const bool quoted = stored.size() >= 2 && (stored.front() == '"' || stored.front() == '\'') &&
                        stored.back() == stored.front();
    if (quoted || (!stored.empty() && Trim(stored).size() != stored.size()))
        stored = '"' + stored + '"';
    SetValue(section, key, stored);
}

void ProfileText::IndexKeysOf(uint32_t section) {
    size_t keys = 0;
    ForEachKeyRecord(section, [&](uint32_t) { return ++keys, true; });
    if (2 * (m_keyIndex.used + keys) > m_keyIndex.entries.size())
        Grow(m_keyIndex, m_keyIndex.used + keys, [this](uint32_t k) { return KeyHash(k); });
    ForEachKeyRecord(section, [&](uint32_t id) {
        IndexKey(id, FoldedHash(KeyOf(Record(id)), section));
        return true;
    });
    m_sections[section].indexed = true;
}

}  // namespace fraglane::platform
