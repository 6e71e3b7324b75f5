// The settings file on Linux (POSIX calls, and nanosecond stat times): its stamp, and its
// replacement as one step.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>

#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/owned_posix.h"
#include "platform/profile_file.h"

namespace fraglane::platform {

namespace {

// The file a write replaces: through a link, its target, so that the link keeps pointing at
// the file that holds the settings.
std::string ReplacedFile(const std::string& native) {
    std::string target = native;
    if (char* real = ::realpath(native.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    return target;
}

}  // namespace

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

std::string ProfileFile::ReadBytes() const {
    // Opened as the archives are, without waiting: the open of a named pipe would wait for a
    // writer for ever. What is open is then checked, not the name.
    const OwnedHandle file = OwnFd(::open(m_nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (!file.Valid()) {
        // A socket cannot be opened at all; a file that may not be read reads as missing.
        if (::stat(m_nativePath.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
            throw Error(NotRegularMessage());
        return {};
    }
    if (::fstat(Fd(file), &st) != 0 || !S_ISREG(st.st_mode))
        throw Error(NotRegularMessage());
    std::string bytes;
    if (st.st_size > 0)
        bytes.reserve(static_cast<size_t>(std::min<int64_t>(st.st_size, UINT32_MAX)));
    char buffer[65536];
    while (bytes.size() < UINT32_MAX) {
        const ssize_t n = ::read(Fd(file), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return {};  // cut short, it must not pass for the whole file
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
}

FileLock ProfileFile::Lock(uint32_t slot, bool wait) const {
    const std::string native = ReplacedFile(m_nativePath);
    const size_t slash = native.find_last_of('/');
    const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    const std::string lockFile = native.substr(0, nameAt) + "." + native.substr(nameAt) + ".lock";
    return FileLock::Acquire(lockFile, slot, wait, "Unable to write to " + DisplayPath(m_path));
}

void ProfileFile::WriteReplacement(const std::string& message) {
    const std::string native = ReplacedFile(m_nativePath);
    // Records count bytes in 32 bits: a file of 4 GiB or more is never written over.
    struct stat st {};
    if (::stat(native.c_str(), &st) == 0 && st.st_size >= int64_t{UINT32_MAX}) {
        m_loaded = false;
        throw Error(message);
    }
    const size_t slash = native.find_last_of('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : native.substr(0, slash + 1);
    try {
        WriteFileAnew(FromNative(dir), FromNative(native.substr(dir.size())),
                      [this](const std::function<bool(std::string_view)>& write) {
                          return m_text.SerializeInPieces(write);
                      });
    } catch (const Error&) {
        // Only a regular file is replaced; the read-only attribute refuses it, as on Windows.
        m_loaded = false;
        throw Error(message);
    }
}

}  // namespace fraglane::platform
