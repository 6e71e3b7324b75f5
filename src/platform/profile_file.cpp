#include "platform/profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace fraglane::platform {

namespace {

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

std::string CleanValue(std::string_view raw) {
    std::string_view v = Trim(raw);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
    }
    if (v.size() > ProfileFile::MaxValueLength)
        v = v.substr(0, ProfileFile::MaxValueLength);
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

void WriteAll(int fd, const std::string& data, bool& ok) {
    size_t done = 0;
    while (ok && done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ok = false;
        else
            done += static_cast<size_t>(n);
    }
}

}  // namespace

int ParseProfileInteger(std::string_view value, int defaultValue) {
    if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        const std::string_view digits = value.substr(2);
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

ProfileFile::ProfileFile(std::string path)
    : m_path(std::move(path)), m_nativePath(ToNative(m_path)) {}

ProfileFile::FileStamp ProfileFile::Stamp() const {
    FileStamp stamp;
    struct stat st {};
    if (::stat(m_nativePath.c_str(), &st) != 0)
        return stamp;
    stamp.exists = true;
    stamp.size = st.st_size;
    stamp.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.inode = st.st_ino;
    return stamp;
}

void ProfileFile::EnsureLoaded() {
    if (m_updateDepth > 0 && m_loaded)
        return;  // an update works on its own copy
    const FileStamp stamp = Stamp();
    if (m_loaded && stamp == m_stamp)
        return;
    std::string bytes;
    if (stamp.exists) {
        try {
            bytes = ReadFileBytes(m_path);
        } catch (const Error&) {
            bytes.clear();  // an unreadable file reads like a missing one
        }
    }
    Parse(bytes);
    m_stamp = stamp;
    m_loaded = true;
}

void ProfileFile::Parse(const std::string& bytes) {
    m_bom.clear();
    m_preamble.clear();
    m_sections.clear();
    m_sectionIndex.clear();
    m_defaultEol = "\r\n";
    bool eolSeen = false;

    size_t pos = 0;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        m_bom = bytes.substr(0, 3);
        pos = 3;
    }
    text::ForEachLine(std::string_view(bytes).substr(pos),
                      [&](std::string_view lineText, std::string_view eol) {
                          Line line{std::string(lineText), std::string(eol)};
                          if (!eol.empty() && !eolSeen) {
                              m_defaultEol = line.eol;
                              eolSeen = true;
                          }
                          const std::string_view trimmed = Trim(line.text);
                          if (!trimmed.empty() && trimmed.front() == '[') {
                              // A header without "]" names the rest of its line.
                              std::string_view name = trimmed.substr(1);
                              const size_t close = name.find(']');
                              if (close != std::string_view::npos)
                                  name = name.substr(0, close);
                              Section section;
                              section.lowerName = text::LowerCase(Trim(name));
                              section.header = std::move(line);
                              m_sectionIndex.try_emplace(section.lowerName, m_sections.size());
                              m_sections.push_back(std::move(section));
                              return;
                          }
                          if (m_sections.empty()) {
                              m_preamble.push_back(std::move(line));
                              return;
                          }
                          Section& section = m_sections.back();
                          std::string_view key, value;
                          if (SplitKeyLine(line.text, key, value)) {
                              section.keys.try_emplace(text::LowerCase(key), section.body.size());
                          }
                          section.body.push_back(std::move(line));
                      });
}

std::string ProfileFile::Serialize() const {
    std::string out = m_bom;
    auto put = [&out](const Line& line) {
        out += line.text;
        out += line.eol;
    };
    for (const Line& line : m_preamble)
        put(line);
    for (const Section& section : m_sections) {
        put(section.header);
        for (const Line& line : section.body)
            put(line);
    }
    return out;
}

const std::string* ProfileFile::FindRawValue(std::string_view section, std::string_view key) const {
    const auto s = m_sectionIndex.find(text::LowerCase(Trim(section)));
    if (s == m_sectionIndex.end())
        return nullptr;
    const Section& sec = m_sections[s->second];
    const auto k = sec.keys.find(text::LowerCase(Trim(key)));
    if (k == sec.keys.end())
        return nullptr;
    return &sec.body[k->second].text;
}

std::string ProfileFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) {
    std::lock_guard lock(m_mutex);
    EnsureLoaded();
    const std::string* line = FindRawValue(section, key);
    if (line == nullptr) {
        return std::string(defaultValue.substr(0, std::min(defaultValue.size(), MaxValueLength)));
    }
    std::string_view k, value;
    SplitKeyLine(*line, k, value);
    return CleanValue(value);
}

int ProfileFile::ReadInteger(std::string_view section, std::string_view key, int defaultValue) {
    const std::string value = ReadString(section, key, "");
    return ParseProfileInteger(value, defaultValue);
}

int ProfileFile::KeyCount(std::string_view section) {
    std::lock_guard lock(m_mutex);
    EnsureLoaded();
    const auto s = m_sectionIndex.find(text::LowerCase(Trim(section)));
    return s == m_sectionIndex.end() ? 0 : static_cast<int>(m_sections[s->second].keys.size());
}

void ProfileFile::SetValue(std::string_view section, std::string_view key, std::string_view value) {
    const std::string lowerSection = text::LowerCase(Trim(section));
    auto s = m_sectionIndex.find(lowerSection);
    if (s == m_sectionIndex.end()) {
        // A last line without a line end gets one, so that the new header starts a line.
        Line* last = nullptr;
        if (!m_sections.empty()) {
            Section& prev = m_sections.back();
            last = prev.body.empty() ? &prev.header : &prev.body.back();
        } else if (!m_preamble.empty()) {
            last = &m_preamble.back();
        }
        if (last != nullptr && last->eol.empty())
            last->eol = m_defaultEol;
        Section created;
        created.lowerName = lowerSection;
        created.header = {"[" + std::string(Trim(section)) + "]", m_defaultEol};
        s = m_sectionIndex.emplace(lowerSection, m_sections.size()).first;
        m_sections.push_back(std::move(created));
    }
    Section& sec = m_sections[s->second];
    const std::string lowerKey = text::LowerCase(Trim(key));
    const auto k = sec.keys.find(lowerKey);
    if (k != sec.keys.end()) {
        Line& line = sec.body[k->second];
        std::string_view storedKey, oldValue;
        SplitKeyLine(line.text, storedKey, oldValue);
        line.text = std::string(storedKey) + "=" + std::string(value);
        return;
    }
    // A new key goes after the section's last non-blank line, before trailing blank lines.
    size_t at = sec.body.size();
    while (at > 0 && Trim(sec.body[at - 1].text).empty())
        --at;
    Line line{std::string(Trim(key)) + "=" + std::string(value), m_defaultEol};
    if (at == sec.body.size()) {
        Line& prev = sec.body.empty() ? sec.header : sec.body.back();
        if (prev.eol.empty())
            prev.eol = m_defaultEol;
        sec.body.push_back(std::move(line));
        sec.keys.emplace(lowerKey, sec.body.size() - 1);
        return;
    }
    sec.body.insert(sec.body.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
    for (auto& entry : sec.keys) {
        if (entry.second >= at)
            ++entry.second;
    }
    sec.keys.emplace(lowerKey, at);
}

void ProfileFile::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
    std::lock_guard lock(m_mutex);
    EnsureLoaded();
    SetValue(section, key, OneLine(value));
    m_dirty = true;
    if (m_updateDepth == 0)
        Commit();
}

void ProfileFile::WriteInteger(std::string_view section, std::string_view key, int value) {
    WriteString(section, key, std::to_string(value));
}

void ProfileFile::BeginUpdate() {
    std::lock_guard lock(m_mutex);
    if (m_updateDepth++ == 0) {
        m_loaded = m_loaded && Stamp() == m_stamp;
        EnsureLoaded();
    }
}

void ProfileFile::EndUpdate() {
    std::lock_guard lock(m_mutex);
    if (m_updateDepth == 0)
        return;
    if (--m_updateDepth == 0 && m_dirty)
        Commit();
}

void ProfileFile::CancelUpdate() {
    std::lock_guard lock(m_mutex);
    if (m_updateDepth == 0)
        return;
    if (--m_updateDepth == 0 && m_dirty) {
        m_dirty = false;
        m_loaded = false;  // the next read parses the file as it stands
    }
}

void ProfileFile::Commit() {
    m_dirty = false;
    const std::string& native = m_nativePath;
    const std::string message = "Unable to write to " + DisplayPath(m_path);
    const std::string bytes = Serialize();

    // The read-only attribute refuses a write on Windows, whoever the user is.
    struct stat st {};
    const bool exists = ::stat(native.c_str(), &st) == 0;
    if (exists && (S_ISDIR(st.st_mode) || (st.st_mode & S_IWUSR) == 0)) {
        m_loaded = false;
        throw Error(message);
    }

    const size_t slash = native.find_last_of('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : native.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? native : native.substr(slash + 1);
    std::string temp = dir + "." + base + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        m_loaded = false;
        throw Error(message);
    }
    bool ok = true;
    WriteAll(fd, bytes, ok);
    if (ok)
        ok = ::fchmod(fd, exists ? (st.st_mode & 07777) : 0644) == 0;
    if (ok)
        ok = ::fsync(fd) == 0;
    if (::close(fd) != 0)
        ok = false;
    if (ok)
        ok = ::rename(temp.c_str(), native.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        m_loaded = false;
        throw Error(message);
    }
    m_stamp = Stamp();
}

}  // namespace fraglane::platform
