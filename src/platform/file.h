#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

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
    void Close();

private:
    static File CreateNative(const std::string& native, std::string_view path, bool onlyNew);

#ifdef _WIN32
    void* m_handle = nullptr;  // a Win32 HANDLE; nullptr while closed
#else
    int m_fd = -1;
#endif
    bool m_writable = false;
    uint64_t m_size = 0;
    uint64_t m_appendAt = 0;
};

// The DOS attributes of an entry: directory, read-only (no write permission), hidden (a name
// starting with "."), archive for files. InvalidAttributes when it does not exist.
uint32_t GetFileAttributes(std::string_view path);
// Applies what the file system can hold of DOS attributes: read-only as no write permission.
void SetFileAttributes(std::string_view path, uint32_t attributes);

// Date (high 16 bits) and time (low 16 bits) in DOS form, local time.
uint32_t ToDosDateTime(int64_t unixSeconds);
// The last-write time of an entry in DOS form; the current time when it cannot be read.
uint32_t FileDosDateTime(std::string_view path);
uint32_t CurrentDosDateTime();

}  // namespace fraglane::platform
