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

// A temporary file of a write left behind longer than this belongs to a process that died.
constexpr int64_t StaleTemporarySeconds = 60;

void WriteAll(int fd, std::string_view data, bool& ok) {
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

// Removes what earlier writes of this file left when their process died between creating
// the temporary file and renaming it: "." + name + "." and six characters, in its folder.
void RemoveStaleTemporaries(const std::string& dir, const std::string& base) {
    const OwnedDir d(::opendir(dir.empty() ? "." : dir.c_str()));
    if (!d.Valid())
        return;
    const std::string prefix = "." + base + ".";
    const time_t now = ::time(nullptr);
    while (dirent* e = ::readdir(d.Get())) {
        const std::string_view name = e->d_name;
        if (name.size() != prefix.size() + 6 || name.substr(0, prefix.size()) != prefix)
            continue;
        const std::string path = dir + std::string(name);
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            now - st.st_mtime > StaleTemporarySeconds) {
            ::unlink(path.c_str());
        }
    }
}

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

    // Only a regular file is replaced. The read-only attribute refuses a write on Windows,
    // whoever the user is.
    struct stat st {};
    const bool exists = ::stat(native.c_str(), &st) == 0;
    if ((exists && (!S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR) == 0)) ||
        (exists && st.st_size >= int64_t{UINT32_MAX})) {
        m_loaded = false;
        throw Error(message);
    }

    const size_t slash = native.find_last_of('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : native.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? native : native.substr(slash + 1);
    std::string temp = dir + "." + base + ".XXXXXX";
    OwnedHandle file = OwnFd(::mkstemp(temp.data()));
    if (!file.Valid()) {
        m_loaded = false;
        throw Error(message);
    }
    bool ok = true;
    SerializeInPieces([&](std::string_view piece) {
        WriteAll(Fd(file), piece, ok);
        return ok;
    });
    if (ok)
        ok = ::fchmod(Fd(file), exists ? (st.st_mode & 07777) : 0644) == 0;
    if (ok)
        ok = ::fsync(Fd(file)) == 0;
    if (!file.Close())
        ok = false;
    if (ok)
        ok = ::rename(temp.c_str(), native.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        m_loaded = false;
        throw Error(message);
    }
    RemoveStaleTemporaries(dir, base);
}

}  // namespace fraglane::platform
