// Files on POSIX systems, with the Windows behaviour the program relies on.
#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "platform/confined_path_posix.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/owned_posix.h"

namespace fraglane::platform {

bool FileHandleTraits::Close(intptr_t handle) {
    return ::close(static_cast<int>(handle)) == 0;
}

bool LocalTime(int64_t unixSeconds, std::tm& local) {
    const time_t t = static_cast<time_t>(unixSeconds);
    return ::localtime_r(&t, &local) != nullptr;
}

namespace {

// Opens the path as given first, so that the usual case costs one call; the case-folding
// resolution runs only when that misses.
OwnedHandle OpenResolved(std::string_view path, int flags) {
    const std::string native = DisplayPath(path);
    int fd = ::open(native.c_str(), flags | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT)
        fd = ::open(ToNative(path).c_str(), flags | O_CLOEXEC);
    return OwnFd(fd);
}

// Opens native with flags, below its confined folder without following a link at any
// component (the last one included), elsewhere as the system opens it.
OwnedHandle OpenForWriting(std::string_view path, const std::string& native, int flags) {
    std::string leaf;
    const OwnedHandle parent = OpenParentBelow(path, native, leaf);
    if (parent.Valid()) {
        // A file with other names elsewhere (a hard link planted here) is not written into:
        // its name here is removed and a file of its own made in its place.
        struct stat st {};
        if ((flags & O_TRUNC) != 0 &&
            ::fstatat(Fd(parent), leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_nlink > 1) {
            ::unlinkat(Fd(parent), leaf.c_str(), 0);
        }
        return OwnFd(::openat(Fd(parent), leaf.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0666));
    }
    if (errno == ENOTDIR || errno == EXDEV || errno == EISDIR)
        errno = ELOOP;  // something on the way is no plain folder: this name's fault
    if (errno != 0)
        return OwnedHandle();
    return OwnFd(::open(native.c_str(), flags | O_CLOEXEC, 0666));
}

}  // namespace

OwnedHandle OpenParentBelow(std::string_view path, const std::string& native, std::string& leaf) {
    errno = 0;
    const std::string folder = ConfiningFolder(path);
    if (folder.empty())
        return OwnedHandle();
    return OpenParentFrom(ToNative(folder), false, native, leaf);
}

OwnedHandle OpenParentFrom(std::string nativeFolder, bool folderMayBeLink,
                           const std::string& native, std::string& leaf) {
    errno = 0;
    if (nativeFolder.empty() || nativeFolder.back() != '/')
        nativeFolder.push_back('/');
    if (native.compare(0, nativeFolder.size(), nativeFolder) != 0) {
        errno = EXDEV;  // the case resolution led elsewhere: refused, not guessed at
        return OwnedHandle();
    }
    std::string opened = nativeFolder;
    while (opened.size() > 1 && opened.back() == '/')
        opened.pop_back();
    OwnedHandle dir = OwnFd(::open(
        opened.c_str(), O_DIRECTORY | O_RDONLY | O_CLOEXEC | (folderMayBeLink ? 0 : O_NOFOLLOW)));
    std::string_view rest = std::string_view(native).substr(nativeFolder.size());
    for (size_t slash = rest.find('/'); dir.Valid() && slash != std::string_view::npos;
         slash = rest.find('/')) {
        const std::string component(rest.substr(0, slash));
        rest.remove_prefix(slash + 1);
        if (component.empty() || component == ".")
            continue;
        if (component == "..") {
            errno = ELOOP;
            return OwnedHandle();
        }
        dir = OwnFd(
            ::openat(Fd(dir), component.c_str(), O_DIRECTORY | O_NOFOLLOW | O_RDONLY | O_CLOEXEC));
    }
    if (!dir.Valid())
        return OwnedHandle();  // errno says why
    if (rest.empty() || rest == "." || rest == "..") {
        errno = EISDIR;  // no name at the end: nothing to make or open there
        return OwnedHandle();
    }
    leaf = std::string(rest);
    return dir;
}

File File::OpenExisting(std::string_view path, bool forWriting) {
    File f;
    // Opened without waiting: a named pipe given an archive's name must not block the
    // opener (a scan would never end). Only a regular file is taken.
    // O_NONBLOCK means nothing to the regular file that is then required.
    f.m_handle = forWriting ? OpenForWriting(path, ToNative(path), O_RDWR | O_NONBLOCK)
                            : OpenResolved(path, O_RDONLY | O_NONBLOCK);
    bool readWrite = forWriting;
    if (!f.m_handle.Valid() && forWriting) {
        f.m_handle = OpenResolved(path, O_RDONLY | O_NONBLOCK);  // a read-only medium
        readWrite = false;
    }
    struct stat st {};
    if (!f.m_handle.Valid() || ::fstat(Fd(f.m_handle), &st) != 0 || !S_ISREG(st.st_mode)) {
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
    // A name taken only when new needs no look first: the exclusive create refuses whatever is
    // there (a folder, a read-only file) with the same message.
    struct stat st {};
    if (!onlyNew && ::stat(native.c_str(), &st) == 0 &&
        (S_ISDIR(st.st_mode) || (st.st_mode & S_IWUSR) == 0)) {
        throw Error(message);
    }
    File f;
    f.m_handle = OpenForWriting(path, native, O_RDWR | O_CREAT | (onlyNew ? O_EXCL : O_TRUNC));
    if (!f.m_handle.Valid())
        ThrowCreateError(message);
    f.m_writable = true;
    return f;
}

void ThrowCreateError(const std::string& message) {
    switch (errno) {
        case EACCES:
        case EPERM:
        case EROFS:
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
        case EIO:
            throw OutputError(message);  // the folder takes nothing
        default:
            // This name only: ENOTDIR too, a file where the path needs a folder, which
            // Windows reports as a path not found.
            throw Error(message);
    }
}

bool File::SameAs(uint64_t device, uint64_t inode) const {
    struct stat st {};
    return m_handle.Valid() && ::fstat(Fd(m_handle), &st) == 0 &&
           static_cast<uint64_t>(st.st_dev) == device && static_cast<uint64_t>(st.st_ino) == inode;
}

uint64_t File::Size() const {
    return m_handle.Valid() ? m_size : 0;
}

bool File::ReadAt(uint64_t offset, void* buffer, size_t n) const {
    auto* out = static_cast<char*>(buffer);
    while (n > 0) {
        const ssize_t got = ::pread(Fd(m_handle), out, n, static_cast<off_t>(offset));
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
        const ssize_t put = ::pwrite(Fd(m_handle), in, n, static_cast<off_t>(offset));
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
    if (::ftruncate(Fd(m_handle), static_cast<off_t>(size)) != 0)
        return false;
    m_size = size;
    return true;
}

namespace {

// The permission bits that hold what the file system can of DOS attributes: read-only as no
// write permission.
mode_t ModeWithAttributes(mode_t mode, uint32_t attributes) {
    mode &= 07777;
    if (attributes & AttrReadOnly)
        return mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    return mode | S_IWUSR;
}

}  // namespace

void File::SetAttributes(uint32_t attributes) {
    struct stat st {};
    if (::fstat(Fd(m_handle), &st) != 0)
        return;
    const mode_t mode = ModeWithAttributes(st.st_mode, attributes);
    if (mode != (st.st_mode & 07777))
        ::fchmod(Fd(m_handle), mode);
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
    const mode_t mode = ModeWithAttributes(st.st_mode, attributes);
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
