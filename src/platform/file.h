#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "platform/owned.h"

// An open file with positional reads and writes, and the DOS attribute view of files.
namespace fraglane::platform {

// DOS attribute bits as the archive format and the program use them.
inline constexpr uint32_t AttrReadOnly = 0x01;
inline constexpr uint32_t AttrHidden = 0x02;
inline constexpr uint32_t AttrSystem = 0x04;
inline constexpr uint32_t AttrDirectory = 0x10;
inline constexpr uint32_t AttrArchive = 0x20;
inline constexpr uint32_t InvalidAttributes = 0xFFFFFFFF;

class File {
public:
    File() = default;

    // Opens an existing file for reading only, or for reading and writing. A file that may
    // not be written (read-only attribute, read-only medium) is opened for reading. Throws
    // Error("File "x" not found!") when it cannot be opened at all.
    static File OpenExisting(std::string_view path, bool forWriting);
    // Creates or empties a file for writing. An existing read-only file refuses, as it does on
    // Windows whoever the user is. Throws Error("Cannot create file %s").
    static File Create(std::string_view path);
    // Create for a file the caller knows not to exist under any case of its name: only the
    // folder is looked up without regard to case, so that a folder that keeps changing is not
    // read again for every new file. Whatever has the name already, a link too (leading
    // anywhere, or nowhere), makes it fail: nothing is written through a planted link.
    static File CreateExact(std::string_view path);

    bool Writable() const { return m_writable; }
    // The device and inode of the open file, to tell it among directory entries.
    bool SameAs(uint64_t device, uint64_t inode) const;
    uint64_t Size() const;
    // Reads exactly n bytes at offset; false when the file ends before or the read fails.
    bool ReadAt(uint64_t offset, void* buffer, size_t n) const;
    bool WriteAt(uint64_t offset, const void* data, size_t n);
    bool Append(const void* data, size_t n);
    bool Truncate(uint64_t size);
    // What SetFileAttributes does by name, done to the open file: a name may meanwhile lead
    // elsewhere, the open file may not.
    void SetAttributes(uint32_t attributes);
    void Close() { m_handle.Close(); }

private:
    static File CreateNative(const std::string& native, std::string_view path, bool onlyNew);

    OwnedHandle m_handle;
    bool m_writable = false;
    uint64_t m_size = 0;
    uint64_t m_appendAt = 0;
};

// From now on, every file and folder the program creates, opens for writing or removes below
// folder (program path text) is reached one component at a time from folder on, never
// through a link: an existing link at any depth below it, where a folder is to be entered or
// a file to be written, is an error for that file ("Cannot create file %s"), never followed;
// a file there with other names elsewhere (a hard link) is replaced, not written into. folder
// itself must be a folder, not a link. The work
// folders (the picture cache, the staging folder) are confined by the job bodies that write
// into them; folder itself is trusted. Safe from any thread.
void ConfineWrites(std::string_view folder);
// The confined folder that path lies below (program path text with trailing "\"), or empty.
std::string ConfiningFolder(std::string_view path);

// The DOS attributes of an entry: directory, read-only (no write permission), hidden (a name
// starting with "."), archive for files. InvalidAttributes when it does not exist.
uint32_t GetFileAttributes(std::string_view path);
// Applies what the file system can hold of DOS attributes: read-only as no write permission.
void SetFileAttributes(std::string_view path, uint32_t attributes);

// The local calendar time of a moment; false when the system cannot tell it.
bool LocalTime(int64_t unixSeconds, std::tm& local);
// Date (high 16 bits) and time (low 16 bits) in DOS form, local time.
uint32_t ToDosDateTime(int64_t unixSeconds);
// The last-write time of an entry in DOS form; the current time when it cannot be read.
uint32_t FileDosDateTime(std::string_view path);
uint32_t CurrentDosDateTime();

}  // namespace fraglane::platform
