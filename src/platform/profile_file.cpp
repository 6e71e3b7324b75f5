// The file side of the settings file: when to read it again, the locks, gathered writes and
// their safe replacement of the file.
#include "platform/profile_file.h"

#include <algorithm>
#include <stdexcept>

#include "platform/error.h"
#include "platform/file_system.h"

namespace fraglane::platform {

ProfileFile::ProfileFile(std::string path)
    : m_path(std::move(path)), m_nativePath(ToNative(m_path)) {}

void ProfileFile::EnsureLoaded() {
    if (m_updateDepth > 0 && m_loaded)
        return;  // an update works on its own copy
    const FileStamp stamp = Stamp();
    if (m_loaded && stamp == m_stamp)
        return;
    Load(stamp);
}

void ProfileFile::Load(const FileStamp& stamp) {
    m_loaded = false;
    std::string bytes;
    // Records count bytes in 32 bits: a settings file of 4 GiB or more reads like a missing
    // one (and is never written over). An unreadable file reads like a missing one too.
    if (stamp.exists && stamp.size < int64_t{UINT32_MAX})
        bytes = ReadBytes();
    m_text.Parse(std::move(bytes));
    m_stamp = stamp;
    m_loaded = true;
}

std::string ProfileFile::NotRegularMessage() const {
    return "Unable to read " + DisplayPath(m_path) + ": not a regular file";
}

FileLock ProfileFile::TryLockJob() const {
    return Lock(JobSlot, false);
}

std::string ProfileFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) {
    std::lock_guard lock(m_mutex);
    EnsureLoaded();
    std::optional<std::string> value = m_text.Value(section, key);
    if (!value)
        return std::string(defaultValue.substr(0, std::min(defaultValue.size(), MaxValueLength)));
    return std::move(*value);
}

int ProfileFile::ReadInteger(std::string_view section, std::string_view key, int defaultValue) {
    const std::string value = ReadString(section, key, "");
    return ParseProfileInteger(value, defaultValue);
}

void ProfileFile::ForEachValue(
    std::string_view section,
    const std::function<void(std::string_view key, std::string value)>& value) {
    std::lock_guard lock(m_mutex);
    EnsureLoaded();
    m_text.ForEachValue(section, value);
}

void ProfileFile::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
    std::lock_guard lock(m_mutex);
    EnsureLoaded();
    try {
        m_text.Write(section, key, value);
    } catch (const std::length_error&) {
        throw Error("Unable to write to " + DisplayPath(m_path));
    }
    m_dirty = true;
    if (m_updateDepth == 0)
        Commit();
}

void ProfileFile::WriteInteger(std::string_view section, std::string_view key, int value) {
    WriteString(section, key, std::to_string(value));
}

void ProfileFile::BeginUpdate() {
    std::lock_guard lock(m_mutex);
    if (m_updateDepth == 0) {
        m_loaded = m_loaded && Stamp() == m_stamp;
        EnsureLoaded();  // a file that cannot be read begins no update
    }
    ++m_updateDepth;
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
    const std::string message = "Unable to write to " + DisplayPath(m_path);
    try {
        const FileLock writing = Lock(WriteSlot, true);
        // Another writer replaced the file since it was read: the keys written here are
        // written again on the file as it now stands.
        const FileStamp now = Stamp();
        if (now != m_stamp) {
            const std::vector<ProfileText::Change> changes = m_text.Changes();
            Load(now);
            for (const ProfileText::Change& change : changes)
                m_text.SetValue(change.section, change.key, change.value);
        }
        WriteReplacement(message);
        m_stamp = Stamp();
    } catch (...) {
        m_loaded = false;  // the copy holds what was not written
        throw;
    }
}

}  // namespace fraglane::platform
