// Files on POSIX systems, with the Windows behaviour the program relies on.
#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "platform/error.h"
#include "platform/file_system.h"

namespace fraglane::platform {

File::~File() {
    Close();
}

File::File(File&& other) noexcept
    : m_fd(other.m_fd),
      m_writable(other.m_writable),
      m_size(other.m_size),
      m_appendAt(other.m_appendAt) {
    other.m_fd = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        m_writable = other.m_writable;
        m_size = other.m_size;
        m_appendAt = other.m_appendAt;
        other.m_fd = -1;
    }
    return *this;
}

void File::Close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

namespace {

// Opens the path as given first, so that the usual case costs one call; the case-folding
// resolution runs only when that misses.
int OpenResolved(std::string_view path, int flags) {
    const std::string native = DisplayPath(path);
    int fd = ::open(native.c_str(), flags | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT)
        fd = ::open(ToNative(path).c_str(), flags | O_CLOEXEC);
    return fd;
}

}  // namespace

File File::OpenExisting(std::string_view path, bool forWriting) {
    File f;
    // Opened without waiting: a named pipe given an archive's name must not block the
    // opener (a scan would never end). Only a regular file is taken.
    // O_NONBLOCK means nothing to the regular file that is then required.
    f.m_fd = OpenResolved(path, (forWriting ? O_RDWR : O_RDONLY) | O_NONBLOCK);
    bool readWrite = forWriting;
    if (f.m_fd < 0 && forWriting) {
        f.m_fd = OpenResolved(path, O_RDONLY | O_NONBLOCK);  // a read-only medium
        readWrite = false;
    }
    struct stat st {};
    if (f.m_fd < 0 || ::fstat(f.m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        throw Error("File \"" + DisplayPath(path) + "\" not found!");
    }
    f.m_size = static_cast<uint64_t>(st.st_size);
    // The read-only attribute refuses writing, whoever the user is.
    f.m_writable = readWrite && (st.st_mode & S_IWUSR) != 0;
    return f;
}

File File::Create(std::string_view path) {
    return CreateNative(ToNative(path), path, false);
}

File File::CreateExact(std::string_view path) {
    const std::string name = ExtractFileName(path);
    const std::string folder = ExtractFilePath(path);
    return CreateNative(folder.empty() ? name : ToNative(folder) + "/" + name, path, true);
}

File File::CreateNative(const std::string& native, std::string_view path, bool onlyNew) {
    const std::string message = "Cannot create file " + DisplayPath(path);
    struct stat st {};
    if (::stat(native.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || (st.st_mode & S_IWUSR) == 0)) {
        throw Error(message);
    }
    File f;
    f.m_fd =
        ::open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | (onlyNew ? O_EXCL : O_TRUNC), 0666);
    if (f.m_fd < 0) {
        switch (errno) {
            case EACCES:
            case EPERM:
            case EROFS:
            case ENOSPC:
            case EDQUOT:
            case EFBIG:
            case EIO:
            case ENOTDIR:
                throw OutputError(message);  // the folder takes nothing
            default:
                throw Error(message);  // this name only
        }
    }
    f.m_writable = true;
    return f;
}

bool File::SameAs(uint64_t device, uint64_t inode) const {
    struct stat st {};
    return m_fd >= 0 && ::fstat(m_fd, &st) == 0 && static_cast<uint64_t>(st.st_dev) == device &&
           static_cast<uint64_t>(st.st_ino) == inode;
}

uint64_t File::Size() const {
    return m_fd < 0 ? 0 : m_size;
}

bool File::ReadAt(uint64_t offset, void* buffer, size_t n) const {
    auto* out = static_cast<char*>(buffer);
    while (n > 0) {
        const ssize_t got = ::pread(m_fd, out, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out += got;
        n -= static_cast<size_t>(got);
        offset += static_cast<uint64_t>(got);
    }
    return true;
}

bool File::WriteAt(uint64_t offset, const void* data, size_t n) {
    const auto* in = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t put = ::pwrite(m_fd, in, n, static_cast<off_t>(offset));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        in += put;
        n -= static_cast<size_t>(put);
        offset += static_cast<uint64_t>(put);
        m_size = std::max(m_size, offset);
    }
    return true;
}

bool File::Truncate(uint64_t size) {
    if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0)
        return false;
    m_size = size;
    return true;
}

uint32_t GetFileAttributes(std::string_view path) {
    const std::string native = ToNative(path);
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0)
        return InvalidAttributes;
    uint32_t attributes = S_ISDIR(st.st_mode) ? AttrDirectory : AttrArchive;
    if ((st.st_mode & S_IWUSR) == 0)
        attributes |= AttrReadOnly;
    const std::string name = ExtractFileName(FromNative(native));
    if (!name.empty() && name.front() == '.')
        attributes |= AttrHidden;
    return attributes;
}

void SetFileAttributes(std::string_view path, uint32_t attributes) {
    const std::string native = ToNative(path);
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0)
        return;
    mode_t mode = st.st_mode & 07777;
    if (attributes & AttrReadOnly)
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    if (mode != (st.st_mode & 07777))
        ::chmod(native.c_str(), mode);
}

uint32_t FileDosDateTime(std::string_view path) {
    struct stat st {};
    if (::stat(ToNative(path).c_str(), &st) != 0)
        return CurrentDosDateTime();
    return ToDosDateTime(st.st_mtime);
}

}  // namespace fraglane::platform
