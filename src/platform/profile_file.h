#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_lock.h"
#include "platform/profile_text.h"

namespace fraglane::platform {

// A Windows profile (INI) file read and written one key at a time (the text itself:
// ProfileText), with what the program relies on from GetPrivateProfileStringA /
// WritePrivateProfileStringA.
// Unlike the Windows functions, a write never leaves a torn file: the file is replaced
// atomically (a temporary file beside it, then a rename; through a link, its target is
// replaced), and temporary files that a killed process left behind are removed by the next
// write. A parsed copy is kept and trusted only while the file's size and modification time
// are unchanged, so reading or writing thousands of keys costs one parse, not one per key.
// Between BeginUpdate and the matching EndUpdate writes are gathered and committed as one
// replacement.
// Every write holds the write lock of the file (a lock file beside it, ".<name>.lock") from
// its last look at the file to the replacement: what another object or process wrote since
// this one read the file is read in, and the writes go on top of it rather than over it.
// The file is opened for reading as the archives are: without waiting, and only a regular
// file is read; a missing one reads as empty, anything else under its name (a named pipe, a
// folder, a device) is an error.
class ProfileFile {
public:
    static constexpr size_t MaxValueLength = ProfileText::MaxValueLength;

    explicit ProfileFile(std::string path);

    const std::string& FileName() const { return m_path; }

    // Throw Error("Unable to read <path>: not a regular file") when something other than a
    // regular file has the file's name.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue);
    int ReadInteger(std::string_view section, std::string_view key, int defaultValue);
    // Every key of a section with its value, in one pass (see ProfileText::ForEachValue):
    // a long list costs its lines, not a lookup each. The file is held meanwhile: value must
    // not call back into it.
    void ForEachValue(std::string_view section,
                      const std::function<void(std::string_view key, std::string value)>& value);

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
    struct FileStamp {
        bool exists = false;
        int64_t size = -1;
        int64_t mtimeNs = -1;
        uint64_t inode = 0;
        bool operator==(const FileStamp&) const = default;
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
    void Commit();

    std::string m_path;
    std::string m_nativePath;
    std::mutex m_mutex;
    bool m_loaded = false;
    FileStamp m_stamp;
    ProfileText m_text;
    int m_updateDepth = 0;
    bool m_dirty = false;
};

}  // namespace fraglane::platform
